#pragma once

#include <sys/types.h>

#include <string>

namespace lorelist {

// The file services saving uses, POSIX-style: -1 with errno set on failure.
// Tests replace it to make any step fail.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Creates or empties the file for writing; returns a descriptor.
  virtual int CreateForWriting(const std::string& path);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  virtual int Remove(const std::string& path);
  virtual int Link(const std::string& from, const std::string& to);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int SyncDirectory(const std::string& dir);
  virtual bool Exists(const std::string& path);
};

// The real file system.
FileOps& SystemFileOps();

// The system's reason for errno, e.g. "No space left on device".
std::string SystemReason(int error);

}  // namespace lorelist
