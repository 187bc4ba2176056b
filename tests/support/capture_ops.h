#pragma once

#include <string>

#include "db/database.h"
#include "db/file_format.h"
#include "db/file_ops.h"
#include "db/save.h"

namespace lorelist::test {

// Keeps what the writer writes in memory.
class CaptureOps : public FileOps {
 public:
  std::string bytes;
  ssize_t Write(int, const void* data, size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
  }
};

// The database as Save would write it.
inline std::string WrittenDatabase(const Database& db) {
  CaptureOps capture;
  OutputFile out(capture, -1);
  WriteDatabase(db, out);
  out.Flush();
  return capture.bytes;
}

}  // namespace lorelist::test
