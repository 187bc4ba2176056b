#pragma once

#include <string>

namespace lorelist {

// What a second window on the same folder is told before it appears.
inline constexpr const char* kAlreadyOpenWarning =
    "Florilex.txt is already open in another Lorelist window. Changes saved in one window will "
    "be overwritten by saves in the other. Edits in this window are not protected by a recovery "
    "journal while the other window is open.";

// What a window is told when its folder cannot be locked at all (some
// network file systems): it cannot know whether it is alone.
std::string UnlockableWarning(const std::string& folder, const std::string& reason);

// The lock a window holds on its database's folder for its whole life, to
// tell a second window that it is not alone. Every window holds a shared
// lock on the folder itself, so that it adds no name to the folder, and
// looks for anyone else's; the system drops it when the process ends,
// however it ends. It never stands in a save's way: saves take a lock of
// their own (SaveLock).
class FolderLock {
 public:
  enum class State { kHeld, kHeldElsewhere, kUnavailable };

  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // kHeldElsewhere: another window (of this process or another) holds the
  // folder too. kUnavailable: it cannot be opened or locked at all, and
  // Reason() says why.
  State Acquire(const std::string& dir);
  void Release();
  bool Held() const { return fd_ >= 0; }
  // True when this holder is the only one left: every other has gone.
  bool Alone() const;
  const std::string& Reason() const { return reason_; }

 private:
  int fd_ = -1;
  std::string reason_;
};

// The lock a save holds, for its whole duration, on the folder that receives
// the new file: one writer at a time in a folder, from any process. Taking
// it waits for a save under way elsewhere to end.
class SaveLock {
 public:
  enum class State {
    kHeld,
    kBusy,        // another save held it for longer than the wait allowed
    kUnavailable  // this file system cannot lock the folder: saving goes on without
  };

  SaveLock() = default;
  ~SaveLock();
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;

  State Acquire(const std::string& dir, int waitMilliseconds);
  void Release();

 private:
  int fd_ = -1;
};

// How long a save waits for another one to end before it gives up.
constexpr int kSaveLockWait = 120000;

}  // namespace lorelist
