#pragma once

#include <string>

namespace lorelist {

// What a second window on the same folder is told before it appears.
inline constexpr const char* kAlreadyOpenWarning =
    "Florilex.txt is already open in another Lorelist window. Changes saved in one window will "
    "be overwritten by saves in the other.";

// An advisory lock on the database's folder itself, so that it adds no name
// to the folder; the system drops it when the process ends, however it ends.
class FolderLock {
 public:
  enum class State { kHeld, kHeldElsewhere, kUnavailable };

  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // kHeldElsewhere: another window (of this process or another) holds it.
  // kUnavailable: the folder cannot be opened or locked at all (then there
  // is nothing to warn about).
  State Acquire(const std::string& dir);
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace lorelist
