#pragma once

#include <cstdint>
#include <string>

#include "database.h"

namespace lorelist {

// Where loading reports its one message: the window shows a message box, the
// command line prints it.
class LoadReporter {
 public:
  virtual ~LoadReporter() = default;
  // line: the 1-based number of the failing logical line's first physical
  // line; 0 when the file could not be opened.
  virtual void ReportLoadError(const std::string& message, uint64_t line) = 0;
};

struct LoadResult {
  // kMissing: no file there, which is a new, empty database, and no error
  // for the reporter (its message is kept for those who call it one).
  enum Status { kComplete, kStopped, kCannotOpen, kMissing };
  Status status = kComplete;
  std::string message;  // empty when complete
  uint64_t line = 0;
  // The file starts with the byte-order mark: a UTF-8 dictionary.
  bool marked = false;
  // Read as Windows-1252, the whole file is valid UTF-8 with multi-byte
  // sequences: see Utf8Notice.
  bool looksLikeUtf8 = false;
};

// The start of the message of a UTF-8 dictionary's line that is not UTF-8.
inline constexpr const char* kNotUtf8Line = "Line is not valid UTF-8 text: ";

// What the editor says, once, after loading a file that looks like UTF-8.
std::string Utf8Notice(const std::string& path);
// What it says of a folder without a database: a new dictionary.
std::string NewDictionaryNotice(const std::string& folder);

// Reads the database file at path into db, emptied first. At the first
// line that breaks the format it reports one message and stops, keeping what
// was read before that line (db.partlyLoaded is then set). The file's
// encoding is UTF-8 when it starts with the byte-order mark, `unmarked`
// otherwise; a missing file is a new dictionary, in UTF-8.
LoadResult LoadDatabase(Database& db, const std::string& path, LoadReporter* reporter = nullptr,
                        Encoding unmarked = Encoding::kWindows1252);

}  // namespace lorelist
