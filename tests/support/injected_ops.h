#pragma once

#include <algorithm>
#include <cerrno>
#include <string>

#include "db/file_ops.h"
#include "db/save.h"

namespace lorelist::test {

// Fails one chosen step of saving, the way a full disk or a broken file
// system would.
class InjectedOps : public FileOps {
 public:
  // kRenameBoth: hard links fail too, and every rename.
  // kRenameBackup: only the rename that makes the backup fails.
  // kChangeOwner: the owner and group of a new file cannot be set.
  enum Step {
    kNone,
    kCreate,
    kWrite,
    kSync,
    kClose,
    kLink,
    kRename,
    kRenameBoth,
    kRenameBackup,
    kChangeOwner
  };
  Step step = kNone;
  size_t bytesBeforeFailure = 0;
  int error = EIO;

  int CreateNew(const std::string& path, mode_t mode) override {
    if (step == kCreate) return Fail();
    return FileOps::CreateNew(path, mode);
  }
  int ChangeOwner(int fd, uid_t owner, gid_t group) override {
    return step == kChangeOwner ? Fail() : FileOps::ChangeOwner(fd, owner, group);
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    if (step == kWrite) {
      if (bytesBeforeFailure == 0) return Fail();
      size = std::min(size, bytesBeforeFailure);
      bytesBeforeFailure -= size;
    }
    return FileOps::Write(fd, data, size);
  }
  int Sync(int fd) override { return step == kSync ? Fail() : FileOps::Sync(fd); }
  int Close(int fd) override {
    int rc = FileOps::Close(fd);
    return step == kClose ? Fail() : rc;
  }
  int Link(const std::string& from, const std::string& to) override {
    return step == kLink || step == kRenameBoth ? Fail() : FileOps::Link(from, to);
  }
  int Rename(const std::string& from, const std::string& to) override {
    const bool toDatabase = to.ends_with(kDatabaseFile);
    const bool toBackup = to.ends_with(kBackupFile);
    if (step == kRenameBoth || (step == kRename && toDatabase) ||
        (step == kRenameBackup && toBackup))
      return Fail();
    return FileOps::Rename(from, to);
  }

 private:
  int Fail() {
    errno = error;
    return -1;
  }
};

}  // namespace lorelist::test
