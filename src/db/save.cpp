#include "save.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <memory>

#include "folder_lock.h"
#include "journal.h"

namespace lorelist {

void WriteDatabase(const Database& db, OutputFile& out) {
  std::string line, codes;
  std::vector<size_t> codeEnds;
  const Encoding encoding = db.encoding;
  if (encoding == Encoding::kUtf8) out.Put(kByteOrderMark);
  WalkWithCodes(db.quotations, [&](HTREEITEM node, std::string_view code, int) {
    line.assign("@Q").append(code).append(" ").append(db.quotations.GetItemText(node));
    WriteLogicalLine(out, line, encoding);
  });
  out.Put("@@\r\n");
  WalkWithCodes(db.categories, [&](HTREEITEM node, std::string_view code, int) {
    line.assign("@C").append(code).append(" ").append(db.categories.GetItemText(node));
    WriteLogicalLine(out, line, encoding);
    const CategoryRecord* record = db.Record(node);
    if (!record) return;
    for (std::string_view entry : record->subjectEntries) {
      line.assign("@S").append(entry);
      WriteLogicalLine(out, line, encoding);
    }
    // The targets' codes from their positions: the codes the walk above gave.
    const auto& targets = record->referenceTargets;
    NodeCodes(targets.data(), targets.size(), codes, codeEnds);
    for (size_t i = 0, begin = 0; i < targets.size(); begin = codeEnds[i++]) {
      line.assign("@R").append(codes, begin, codeEnds[i] - begin).append(" ");
      line.append(record->referenceTexts[i]);
      WriteLogicalLine(out, line, encoding);
    }
  });
}

namespace {

std::string Failure(const std::string& what, const std::string& name, int error) {
  return what + name + ": " + SystemReason(error);
}

// Why nothing can be saved in dir at all; empty when something can.
std::string FolderRefusal(const std::string& dir) {
  struct stat st;
  int error = 0;
  if (::stat(dir.c_str(), &st) != 0)
    error = errno;
  else if (!S_ISDIR(st.st_mode))
    error = ENOTDIR;
  if (!error) return {};
  return "Cannot save in the folder " + AbsolutePath(dir) + ": " + SystemReason(error) +
         ". Save Copy As... can keep the database in another file.";
}

// The file a save replaces, symbolic links followed.
struct Target {
  std::string path;  // the file itself
  std::string dir;   // its folder: the temporary file goes there
  bool exists = false;
  struct stat st {};
  int error = 0;  // why it could not be looked at, other than not being there
};

Target FindTarget(const std::string& path) {
  Target target;
  target.path = FollowLinks(path);
  target.dir = DirectoryOf(target.path);
  if (::stat(target.path.c_str(), &target.st) == 0)
    target.exists = true;
  else if (errno != ENOENT)
    target.error = errno;
  return target;
}

// Why the file in place must not be replaced; empty when it may.
std::string Refusal(const Target& target, const std::string& name) {
  if (target.error) return Failure("Cannot write ", name, target.error);
  if (!target.exists) return {};
  if (!S_ISREG(target.st.st_mode))
    return "Cannot write " + name + ": " +
           FileReason(S_ISDIR(target.st.st_mode) ? EISDIR : kNotRegularFile);
  if (IsReadOnly(target.path, target.st)) return "Cannot write " + name + ": the file is read-only";
  return {};
}

// Creates path afresh for a file that replaces `like` (nullptr: replaces
// nothing). Never more open than that file, not even for a moment: it starts
// with the owner's bits only and gets the rest once its owner and group are
// those of the file; where the group cannot be kept, the group gets no more
// than everybody else.
int CreateLike(FileOps& ops, const std::string& path, const struct stat* like) {
  if (!like) return ops.CreateNew(path, 0666);
  const mode_t mode = like->st_mode & 0777;
  const int fd = ops.CreateNew(path, mode & S_IRWXU);
  if (fd < 0) return fd;
  mode_t final = mode;
  struct stat made;
  if (::fstat(fd, &made) != 0 || made.st_uid != like->st_uid || made.st_gid != like->st_gid) {
    const bool kept = ops.ChangeOwner(fd, like->st_uid, like->st_gid) == 0 ||
                      ops.ChangeOwner(fd, static_cast<uid_t>(-1), like->st_gid) == 0;
    if (!kept) final = (mode & ~S_IRWXG) | (mode & S_IRWXG & ((mode & S_IRWXO) << 3));
  }
  // Should this fail, the file stays closed to all but its owner: safe.
  ops.ChangeMode(fd, final);
  return fd;
}

// Writes a new file whole: a leftover of that name is removed first and a
// planted link never followed; `fill` writes the bytes (and returns a failure
// message of its own, or nothing); then it is synced and closed. On failure
// it is removed again and the message names the file (as `name`) and the
// reason. stamp, when given, receives the file's stamp.
template <typename Fill>
SaveResult WriteNewFile(FileOps& ops, const std::string& path, const std::string& name,
                        const struct stat* like, Fill fill, FileStamp* stamp,
                        const char* cannotCreate = "Cannot open file ") {
  SaveResult result;
  int leftover = 0;
  if (ops.Remove(path) != 0 && errno != ENOENT) leftover = errno;
  const int fd = CreateLike(ops, path, like);
  if (fd < 0) {
    // A leftover that could not be removed (a folder of that name, say) says why.
    const int error = errno == EEXIST && leftover ? leftover : errno;
    result.ok = false;
    result.message = Failure(cannotCreate, name, error);
    return result;
  }
  OutputFile out(ops, fd);
  std::string failure = fill(out);
  if (failure.empty()) {
    int error = 0;
    if (!out.Flush())
      error = out.Error();
    else if (ops.Sync(fd) != 0)
      error = errno;
    struct stat st;
    if (!error && stamp && ::fstat(fd, &st) == 0) *stamp = FileStamp::Of(st, out.Sum());
    if (ops.Close(fd) != 0 && !error) error = errno;
    if (error) failure = Failure("Cannot write ", name, error);
  } else {
    ops.Close(fd);
  }
  if (!failure.empty()) {
    ops.Remove(path);
    result.ok = false;
    result.message = failure;
  }
  return result;
}

// The bytes of the file at path, as a fill for WriteNewFile.
auto CopyOf(const std::string& path, const std::string& name) {
  return [path, name](OutputFile& out) -> std::string {
    int error = 0;
    const int fd = OpenRegularFile(path, error);
    if (fd < 0) return "Cannot open file " + name + ": " + FileReason(error);
    constexpr size_t kChunk = 1 << 20;
    auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    for (;;) {
      const ssize_t got = ::read(fd, buffer.get(), kChunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error = errno;
      if (got <= 0) break;
      out.Put(std::string_view(buffer.get(), static_cast<size_t>(got)));
    }
    ::close(fd);
    return error ? Failure("Cannot read ", name, error) : std::string();
  };
}

// The names a save and the recovery journal keep for files of their own.
bool IsSavesOwnName(std::string_view name) {
  if (name == kBackupFile || name == kTemporaryFile || name == kKeepFile || name == kJournalFile)
    return true;
  // Journals set aside: LorJournal.old, LorJournal.1.old, ...
  return name.starts_with("LorJournal.") && name.ends_with(".old");
}

SaveResult Failed(std::string message) {
  return {false, std::move(message)};
}

// True when path is still the file that stamp's identity names: nobody put
// another file under that name meanwhile.
bool StillThere(const std::string& path, const FileStamp& stamp) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && st.st_dev == stamp.device && st.st_ino == stamp.inode;
}

// Writes the database into the file target names and rotates the backup;
// the caller holds the save lock of the target's folder.
SaveResult WriteAndRotate(Database& db, const std::string& dir, const Target& target,
                          const std::string& shown, FileOps& ops) {
  const std::string temporary = JoinPath(target.dir, kTemporaryFile);
  const std::string keep = JoinPath(dir, kKeepFile);
  const std::string backup = JoinPath(dir, kBackupFile);
  const struct stat* like = target.exists ? &target.st : nullptr;

  FileStamp stamp;
  auto database = [&](OutputFile& out) {
    WriteDatabase(db, out);
    return std::string();
  };
  SaveResult result = WriteNewFile(ops, temporary, kTemporaryFile, like, database, &stamp);
  if (!result.ok) return result;

  if (target.exists) {
    // The previous file under a second name, until the new one is in place:
    // the backup is not touched before then.
    ops.Remove(keep);  // a leftover of a save cut short
    if (ops.Link(target.path, keep) != 0) {
      // No hard links here, or the file lies on another file system behind a
      // link: a copy keeps it instead.
      SaveResult copied =
          WriteNewFile(ops, keep, kKeepFile, like, CopyOf(target.path, shown), nullptr);
      if (!copied.ok) {
        ops.Remove(temporary);
        return copied;
      }
    }
  }
  const std::string cannotRename = std::string("Cannot rename ") + kTemporaryFile + " to " + shown;
  // Only what this save wrote goes in place: a program that does not take
  // the save lock may have put another file under the temporary name.
  if (!StillThere(temporary, stamp)) {
    if (target.exists) ops.Remove(keep);
    return Failed(cannotRename + ": another program replaced " + kTemporaryFile +
                  " while it was written");
  }
  if (ops.Rename(temporary, target.path) != 0) {
    const int error = errno;
    ops.Remove(temporary);
    if (target.exists) ops.Remove(keep);
    return Failed(cannotRename + ": " + SystemReason(error));
  }
  // Makes the renames durable; the file itself is already on disk, and some
  // file systems cannot sync a folder, so a failure here is not reported.
  ops.SyncDirectory(target.dir);
  db.disk = stamp;
  db.disk.encoding = db.encoding;
  // The file holds the whole database now, whatever the load left out.
  db.partlyLoaded = false;
  db.ClearChanged();
  // The edits it kept for a crash are in the file now.
  if (Journal* journal = db.GetJournal()) journal->Discard();

  if (target.exists) {
    if (ops.Rename(keep, backup) != 0) {
      // The database is saved; only the backup's rotation is behind.
      result.message = shown + " was saved, but the previous database could " + "not be kept as " +
                       kBackupFile + " (" + SystemReason(errno) + "): it is in " + kKeepFile + ".";
    } else {
      // Still there only when it and the backup were one file under two names.
      ops.Remove(keep);
    }
    // The backup's rename is as durable as the file's.
    ops.SyncDirectory(dir);
  }
  return result;
}

// The name of the temporary file that WriteFileSafely writes beside path:
// the file's own name and a suffix, cut to fit the longest name a folder
// holds.
std::string TemporaryNameFor(const std::string& path) {
  constexpr std::string_view kSuffix = ".lorelist-new";
  std::string name = BaseName(path);
  if (name.size() + kSuffix.size() > NAME_MAX) name.resize(NAME_MAX - kSuffix.size());
  return JoinPath(DirectoryOf(path), name.append(kSuffix));
}

}  // namespace

SaveCheck CheckSave(const Database& db, const std::string& dir) {
  SaveCheck check;
  check.refusal = FolderRefusal(dir);
  if (check.refusal.empty()) check.refusal = SavedNameRefusal(dir);
  if (!check.refusal.empty()) return check;
  const Target target = FindTarget(JoinPath(dir, kDatabaseFile));
  check.refusal = Refusal(target, AbsolutePath(JoinPath(dir, kDatabaseFile)));
  if (!check.refusal.empty()) return check;
  if (db.partlyLoaded) check.questions.emplace_back(kPartlyLoadedQuestion);
  if (ChangedSince(db.disk, target.path)) check.questions.emplace_back(kChangedOutsideQuestion);
  return check;
}

std::string SavedNameRefusal(const std::string& dir) {
  const std::string database = AbsolutePath(JoinPath(dir, kDatabaseFile));
  const std::vector<std::string> chain = LinkChain(database);
  for (size_t i = 1; i < chain.size(); ++i)
    if (IsSavesOwnName(BaseName(chain[i])))
      return database + " leads to " + chain[i] +
             ", a name that saving keeps for files of its own: a save would destroy the "
             "database there. Let " +
             kDatabaseFile + " lead to a file of another name.";
  return {};
}

SaveResult SaveDatabase(Database& db, const std::string& dir, FileOps& ops, const AskSave& ask) {
  const std::string path = JoinPath(dir, kDatabaseFile);
  // Messages about the database file say where it is.
  const std::string shown = AbsolutePath(path);
  for (;;) {
    // The file as it was when the user agreed to replace its outside changes,
    // readable or not.
    bool agreed = false;
    FileStamp accepted;
    if (ask) {
      const SaveCheck check = CheckSave(db, dir);
      if (!check.refusal.empty()) return Failed(check.refusal);
      for (const std::string& question : check.questions) {
        if (question == kChangedOutsideQuestion) {
          agreed = true;
          accepted = StampOfFile(FollowLinks(path));
        }
        if (!ask(question)) return Failed({});
      }
    }

    // One writer at a time in the folder that receives the new file: a save
    // under way elsewhere ends first. The link may change meanwhile: the
    // folder locked is the one of the file as it is once the lock is held.
    SaveLock lock;
    Target target;
    for (int tries = 0;; ++tries) {
      const std::string locked = DirectoryOf(FollowLinks(path));
      if (lock.Acquire(locked, kSaveLockWait) == SaveLock::State::kBusy)
        return Failed("Cannot save " + shown + ": another save into the folder " +
                      AbsolutePath(locked) + " has not ended after two minutes.");
      target = FindTarget(path);
      if (target.dir == locked || tries == 3) break;
    }
    std::string refusal = FolderRefusal(dir);
    if (refusal.empty()) refusal = SavedNameRefusal(dir);
    if (refusal.empty()) refusal = Refusal(target, shown);
    if (!refusal.empty()) return Failed(refusal);
    // Another save that ended while this one waited is an outside change:
    // the user is asked about it before it is replaced. The file the user
    // agreed to replace is not asked about again.
    if (ask && ChangedSince(db.disk, target.path) &&
        (!agreed || ChangedSince(accepted, target.path)))
      continue;
    return WriteAndRotate(db, dir, target, shown, ops);
  }
}

SaveResult WriteFileSafely(const std::string& path,
                           const std::function<std::string(OutputFile&)>& fill, FileOps& ops) {
  SaveResult result;
  const Target target = FindTarget(path);
  result.message = Refusal(target, path);
  if (!result.message.empty()) {
    result.ok = false;
    return result;
  }
  const std::string temporary = TemporaryNameFor(target.path);
  // Through a link by that name, replacing the temporary file would cut the
  // way to the file itself.
  const std::vector<std::string> chain = LinkChain(path);
  for (const std::string& hop : chain)
    if (hop == temporary || (hop != target.path && SameEntry(hop, temporary)))
      return Failed("Cannot write " + path + ": it leads to " + temporary +
                    ", the name of its own temporary file");
  // Messages name the file asked for: the temporary one is this function's affair.
  result = WriteNewFile(ops, temporary, path, target.exists ? &target.st : nullptr, fill, nullptr,
                        "Cannot write ");
  if (!result.ok) return result;
  if (ops.Rename(temporary, target.path) != 0) {
    const int error = errno;
    ops.Remove(temporary);
    result.ok = false;
    result.message = Failure("Cannot write ", path, error);
    return result;
  }
  ops.SyncDirectory(target.dir);
  return result;
}

SaveResult WriteDatabaseFile(const Database& db, const std::string& path, FileOps& ops) {
  return WriteFileSafely(
      path,
      [&](OutputFile& out) {
        WriteDatabase(db, out);
        return std::string();
      },
      ops);
}

}  // namespace lorelist
