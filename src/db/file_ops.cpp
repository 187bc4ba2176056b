#include "file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lorelist {

int FileOps::CreateForWriting(const std::string& path) {
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t FileOps::Write(int fd, const void* data, size_t size) {
  return ::write(fd, data, size);
}

int FileOps::Sync(int fd) {
  return ::fsync(fd);
}

int FileOps::Close(int fd) {
  return ::close(fd);
}

int FileOps::Remove(const std::string& path) {
  return ::unlink(path.c_str());
}

int FileOps::Link(const std::string& from, const std::string& to) {
  return ::link(from.c_str(), to.c_str());
}

int FileOps::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int FileOps::SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = ::fsync(fd);
  int saved = errno;
  ::close(fd);
  errno = saved;
  return rc;
}

bool FileOps::Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

FileOps& SystemFileOps() {
  static FileOps ops;
  return ops;
}

std::string SystemReason(int error) {
  return std::strerror(error);
}

}  // namespace lorelist
