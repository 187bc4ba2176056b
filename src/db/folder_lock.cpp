#include "folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "file_ops.h"

namespace lorelist {

namespace {

int OpenFolder(const std::string& dir) {
  int fd;
  do fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// The whole file, from its start to wherever it ends.
struct flock WholeFile(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  return range;
}

}  // namespace

std::string UnlockableWarning(const std::string& folder, const std::string& reason) {
  return "The folder " + folder + " cannot be locked (" + reason +
         "), so Lorelist cannot tell whether another window has Florilex.txt open. This window "
         "keeps no recovery journal and restores none.";
}

FolderLock::~FolderLock() {
  Release();
}

FolderLock::State FolderLock::Acquire(const std::string& dir) {
  Release();
  reason_.clear();
  const int fd = OpenFolder(dir);
  if (fd < 0) {
    reason_ = SystemReason(errno);
    return State::kUnavailable;
  }
  // Locks of the open file, not of the process: two windows of one process
  // see each other, and a save's flock() is another kind that never meets
  // these.
  struct flock shared = WholeFile(F_RDLCK);
  int rc;
  do rc = ::fcntl(fd, F_OFD_SETLK, &shared);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    reason_ = SystemReason(errno);
    ::close(fd);
    return State::kUnavailable;
  }
  fd_ = fd;
  struct flock probe = WholeFile(F_WRLCK);
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) {
    reason_ = SystemReason(errno);
    Release();
    return State::kUnavailable;
  }
  return probe.l_type == F_UNLCK ? State::kHeld : State::kHeldElsewhere;
}

bool FolderLock::Alone() const {
  // Anyone else's shared lock stands in the way of an exclusive one; this
  // holder's own does not.
  struct flock probe = WholeFile(F_WRLCK);
  return fd_ >= 0 && ::fcntl(fd_, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_UNLCK;
}

void FolderLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor drops the lock
  fd_ = -1;
}

SaveLock::~SaveLock() {
  Release();
}

SaveLock::State SaveLock::Acquire(const std::string& dir, int waitMilliseconds) {
  Release();
  const int fd = OpenFolder(dir);
  if (fd < 0) return State::kUnavailable;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return State::kHeld;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= until) {
      ::close(fd);
      return State::kBusy;
    }
    // Another save is under way: they take well under a second at a million
    // nodes, so a short nap costs little.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(fd);
  return State::kUnavailable;
}

void SaveLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace lorelist
