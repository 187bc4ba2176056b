#include "folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace lorelist {

FolderLock::~FolderLock() {
  Release();
}

FolderLock::State FolderLock::Acquire(const std::string& dir) {
  Release();
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return State::kUnavailable;
  int rc;
  do rc = ::flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? State::kHeldElsewhere : State::kUnavailable;
  }
  fd_ = fd;
  return State::kHeld;
}

void FolderLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the lock
  fd_ = -1;
}

}  // namespace lorelist
