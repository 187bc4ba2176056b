#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "charset.h"
#include "checksum.h"
#include "file_ops.h"

namespace lorelist {

// Reads a database file as logical lines: a physical line ending in "-"
// continues on the next one, the "-" removed. Line ends are CR LF or LF
// alone; a CR not followed by LF is part of the line, also as the file's last
// byte. The last line may have no line end. Lines have no length limit.
//
// Where there is a second core, a thread of the reader's own reads the file
// ahead, takes its checksum and finds its line ends, while the caller works
// on the lines already found.
class LineReader {
 public:
  enum class Threads { kAsTheMachineHas, kOne };
  // chunk: the bytes read at a time. utf8: the file is UTF-8 even without
  // the byte-order mark.
  explicit LineReader(int fd, Threads threads = Threads::kAsTheMachineHas,
                      size_t chunk = size_t{1} << 20, bool utf8 = false);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next logical line; false at end of file (or a read error: see
  // Error()). The view stays valid until the next call.
  bool ReadLogical(std::string_view& line);
  // The tag letter: the second character of the logical line's first
  // physical line, or '\0' when that line is shorter.
  char Tag() const { return tag_; }
  // The 1-based number of the logical line's first physical line.
  uint64_t FirstLineNumber() const { return firstLine_; }
  // errno of a failed read, 0 when none; known once ReadLogical gave false
  // or Drain returned.
  int Error() const;
  // Reads whatever is left, only to take it into the checksum.
  void Drain();
  // Of every byte read, once ReadLogical gave false or Drain returned.
  const Checksum& Sum() const;
  bool LooksLikeUtf8() const;
  // The file starts with the byte-order mark of UTF-8, which is then no part
  // of its first line; known once the first line was read.
  bool Marked() const;
  // The logical line just read is known to be UTF-8 (the reading side
  // checked the lines around it, in a UTF-8 file); false says nothing.
  bool KnownUtf8() const { return knownUtf8_; }

  struct Batch;
  struct Ahead;

 private:
  bool ReadPhysical(std::string_view& line);
  bool NextBatch();

  std::unique_ptr<Ahead> ahead_;
  std::unique_ptr<Batch> batch_;  // the lines being handed out
  size_t next_ = 0;               // the next of them
  uint64_t physicalLines_ = 0;
  uint64_t firstLine_ = 0;
  char tag_ = '\0';
  std::string joined_;
  bool knownUtf8_ = false;
};

// A file written through FileOps with every write checked. After the first
// failure nothing more is written and Error() tells the errno.
class OutputFile {
 public:
  OutputFile(FileOps& ops, int fd) : ops_(ops), fd_(fd) { buffer_.reserve(kFlushAt + 256); }
  void Put(std::string_view bytes);
  bool Flush();
  int Error() const { return error_; }
  // Of every byte written so far.
  const Checksum& Sum() const { return sum_; }

 private:
  bool WriteAll(std::string_view bytes);

  static constexpr size_t kFlushAt = 1 << 20;
  FileOps& ops_;
  int fd_;
  std::string buffer_;
  int error_ = 0;
  Checksum sum_;
};

// Writes a logical line, broken into physical lines of the file: where it is
// longer than 70 characters it breaks after the first blank at position 70
// or later and continues with "-"; without such a blank it is never broken.
// Characters are bytes in Windows-1252 and code points in UTF-8. Every
// physical line ends with CR LF.
void WriteLogicalLine(OutputFile& out, std::string_view line,
                      Encoding encoding = Encoding::kWindows1252);

}  // namespace lorelist
