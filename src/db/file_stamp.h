#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "charset.h"
#include "checksum.h"

namespace lorelist {

// A database file as this program last read or wrote it: its identity and a
// checksum of its bytes, so that a later change by anyone else is noticed.
struct FileStamp {
  bool known = false;  // false: it could not be read, so nothing can be said
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  uint64_t size = 0;
  int64_t seconds = 0;  // modification time
  long nanoseconds = 0;
  uint64_t checksum = 0;
  // False: the file could not be read, and is known by its identity alone.
  bool summed = false;
  // How this program read or wrote its texts: a journal of edits made on it
  // is of that encoding, whatever the dictionary was converted to since.
  Encoding encoding = Encoding::kWindows1252;

  // No file was there.
  static FileStamp Missing();
  // The file described by st, whose bytes gave sum.
  static FileStamp Of(const struct stat& st, const Checksum& sum);
  // The file described by st, whose bytes could not be read.
  static FileStamp Seen(const struct stat& st);
};

// True when the file at path is no longer the one stamp describes: its bytes
// changed, or it was removed, or it appeared. A file touched or replaced by
// one with the same bytes has not changed. The file is read only when its
// identity changed and its size did not.
bool ChangedSince(const FileStamp& stamp, const std::string& path);

// The stamp of the file at path as it is now (read whole): Missing() when
// there is none, Seen() when it cannot be read, an unknown stamp when it
// cannot even be looked at or is no regular file.
FileStamp StampOfFile(const std::string& path);

// The checksum of a whole file; false when it cannot be read.
bool ChecksumOfFile(const std::string& path, Checksum& sum);

}  // namespace lorelist
