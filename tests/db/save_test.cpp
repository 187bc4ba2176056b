// Saving: the file written whole through a temporary file, the backup
// rotated, a failing step leaving everything as it was, and whatever
// surrounds the file: changes made by others, modes and groups, symbolic
// links, planted names, files that are not files, folders that go away, and a
// second window on the same folder.

#include "db/save.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "db/folder_lock.h"
#include "db/journal.h"
#include "support/fixtures.h"
#include "support/injected_ops.h"

namespace lorelist {
namespace {

namespace fs = std::filesystem;
using test::CrLf;
using test::DatabaseFolder;
using test::Exists;
using test::InjectedOps;
using test::ReadFile;
using test::WriteFile;

// A long line broken at a blank, empty texts, an entry that begins with one.
const std::string kBefore = CrLf(
    {"@Q1 Montaigne", "@Q1.1 Que sais-je? A quotation long enough to be broken over more than -",
     "one physical line of the file, which the writer does at a blank.", "@Q1.2 ", "@@",
     "@C1 Doubt", "@Sdoubt", "@S scepticism", "@R1.1 the motto", "@R1.2 "});
const std::vector<std::string> kAskChanged{kChangedOutsideQuestion};

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

bool HoldsTheChange(const std::string& bytes) {
  return bytes.find("@Q1 Changed\r\n") != std::string::npos;
}

std::vector<std::string> Questions(const DatabaseFolder& folder) {
  return CheckSave(folder.db, folder.dir.path()).questions;
}

// Every name in the folder and below it, with the bytes of each file.
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error))
    names.insert(it->path().string() +
                 (it->is_regular_file() ? " " + ReadFile(it->path().string()) : ""));
  return names;
}

// The message with each % replaced by the path given.
std::string At(std::string message, const std::string& path) {
  for (size_t at; (at = message.find('%')) != std::string::npos;) message.replace(at, 1, path);
  return message;
}

TEST(SaveDatabase, WritesWhatItLoadedByteForByte) {
  DatabaseFolder folder(kBefore);
  folder.db.MarkChanged();
  ASSERT_TRUE(folder.Save().ok);
  EXPECT_EQ(folder.Saved(), kBefore);
}

// A save that fails at any step leaves Florilex.txt, FlorilexOld.txt and the
// changed flag as they were, and no file of its own; once the fault is gone
// the next save completes the rotation.
TEST(SaveDatabase, AFailureAtAnyStepLeavesEverythingAsItWasTillTheNextSave) {
  const struct {
    InjectedOps::Step step;  // kNone: a folder named LorTemp.BK! stands in the way
    size_t bytes;
    int error;
    const char* message;  // %: Florilex.txt's full path
  } cases[] = {
      {InjectedOps::kNone, 0, 0, "Cannot open file LorTemp.BK!: Is a directory"},
      {InjectedOps::kCreate, 0, EACCES, "Cannot open file LorTemp.BK!: Permission denied"},
      {InjectedOps::kWrite, 0, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kWrite, 40, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kSync, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kClose, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kRename, 0, EXDEV, "Cannot rename LorTemp.BK! to %: Invalid cross-device link"},
      // No hard links and no renames: the previous file is kept by a copy,
      // then the new one cannot be put in place.
      {InjectedOps::kRenameBoth, 0, EPERM,
       "Cannot rename LorTemp.BK! to %: Operation not permitted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    DatabaseFolder folder(kBefore);
    const std::string temporary = folder.dir.File(kTemporaryFile);
    const std::string backup = folder.dir.File(kBackupFile);
    WriteFile(backup, "older");
    if (c.step == InjectedOps::kNone) fs::create_directory(temporary);
    std::vector<std::string> titles;
    folder.db.SetTitleHook([&](const std::string& title) { titles.push_back(title); });
    folder.Change();
    InjectedOps ops;
    ops.step = c.step;
    ops.bytesBeforeFailure = c.bytes;
    ops.error = c.error;
    const SaveResult result = folder.Save(ops);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, At(c.message, folder.File()));
    EXPECT_EQ(folder.Saved(), kBefore);
    EXPECT_EQ(ReadFile(backup), "older");
    EXPECT_EQ(Exists(temporary), c.step == InjectedOps::kNone);
    EXPECT_FALSE(Exists(folder.dir.File(kKeepFile)));
    EXPECT_TRUE(folder.db.IsChanged());

    fs::remove(temporary);
    const SaveResult saved = folder.Save();
    EXPECT_TRUE(saved.ok);
    EXPECT_EQ(saved.message, "");
    EXPECT_EQ(titles, (std::vector<std::string>{"Lorelist Version 1.1",
                                                "Lorelist Version 1.1 - Unchanged"}));
    EXPECT_EQ(ReadFile(backup), kBefore);
    EXPECT_TRUE(HoldsTheChange(folder.Saved()));
    EXPECT_FALSE(Exists(temporary));
    EXPECT_FALSE(folder.db.IsChanged());
  }
}

// Where the previous file cannot become the backup the usual way, the
// database is saved all the same.
TEST(SaveDatabase, KeepsThePreviousFileWhereHardLinksOrTheBackupsRenameFail) {
  const struct {
    const char* what;
    InjectedOps::Step step;
    int error;
    bool linked;         // Florilex.txt and FlorilexOld.txt one file, as a cut save could leave
    const char* backup;  // nullptr: the previous database
    bool kept;           // the previous database left in LorOld.BK!
    const char* message;
  } cases[] = {
      {"no hard links: a copy", InjectedOps::kLink, EPERM, false, nullptr, false, ""},
      {"hard-linked", InjectedOps::kNone, 0, true, nullptr, false, ""},
      {"the backup's rename fails", InjectedOps::kRenameBackup, EACCES, false, "older", true,
       "% was saved, but the previous database could not be kept as FlorilexOld.txt "
       "(Permission denied): it is in LorOld.BK!."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DatabaseFolder folder(kBefore);
    const std::string backup = folder.dir.File(kBackupFile);
    if (c.linked)
      fs::create_hard_link(folder.File(), backup);
    else
      WriteFile(backup, "older");
    folder.Change();
    InjectedOps ops;
    ops.step = c.step;
    ops.error = c.error;
    const SaveResult result = folder.Save(ops);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, At(c.message, folder.File()));
    EXPECT_TRUE(HoldsTheChange(folder.Saved()));
    EXPECT_EQ(ReadFile(backup), c.backup ? std::string(c.backup) : kBefore);
    EXPECT_EQ(Exists(folder.dir.File(kKeepFile)) ? ReadFile(folder.dir.File(kKeepFile)) : "",
              c.kept ? kBefore : "");
    EXPECT_FALSE(folder.db.IsChanged());
  }
}

TEST(OutsideChange, AskedOnlyWhenTheBytesChanged) {
  DatabaseFolder folder(kBefore);
  folder.Change();
  const std::string database = folder.File();
  EXPECT_TRUE(Questions(folder).empty());
  // Touched: a new time, the same bytes.
  struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 123}};
  ASSERT_EQ(::utimensat(AT_FDCWD, database.c_str(), later, 0), 0);
  EXPECT_TRUE(Questions(folder).empty());
  // Replaced by another file holding the same bytes (as another editor saves).
  WriteFile(folder.dir.File("other"), kBefore);
  fs::rename(folder.dir.File("other"), database);
  EXPECT_TRUE(Questions(folder).empty());

  // The same size, one byte different, and the time put back as it was.
  struct stat st;
  ASSERT_EQ(::stat(database.c_str(), &st), 0);
  std::string edited = kBefore;
  edited[5] = 'X';
  WriteFile(database, edited);
  struct timespec same[2] = {{0, UTIME_OMIT}, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, database.c_str(), same, 0), 0);
  EXPECT_EQ(Questions(folder), kAskChanged);
  fs::remove(database);
  EXPECT_EQ(Questions(folder), kAskChanged);

  // Saved anyway: from then on the file is this window's again.
  ASSERT_TRUE(folder.Save().ok);
  EXPECT_TRUE(Questions(folder).empty());
  EXPECT_TRUE(HoldsTheChange(folder.Saved()));
}

// A changed file that this user cannot read: Yes accepts it as it is, and
// the save goes ahead without asking again. Run as another user where the
// tests run as root, who reads every file.
TEST(OutsideChange, YesAcceptsAFileThatCannotBeRead) {
  DatabaseFolder folder(kBefore);
  folder.Change();
  WriteFile(folder.File(), kBefore + "@C2 another machine's\r\n");
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(::chmod(folder.dir.path().c_str(), 0777), 0);
  if (root) {
    ASSERT_EQ(::chown(folder.File().c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod(folder.File().c_str(), 0200), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && ::seteuid(65534) != 0) ::_exit(90);
    int asked = 0;
    const SaveResult saved = SaveDatabase(
        folder.db, folder.dir.path(), SystemFileOps(), [&](const std::string& question) {
          return question == kChangedOutsideQuestion && ++asked < 5;
        });
    ::_exit(saved.ok ? asked : 50 + asked);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "asked once, then saved";
  ASSERT_EQ(::chmod(folder.File().c_str(), 0600), 0);
  EXPECT_TRUE(HoldsTheChange(folder.Saved()));
}

TEST(OutsideChange, AFileThatAppearsIsAChangeAndPartlyLoadedIsAskedFirst) {
  DatabaseFolder folder;  // no file: a new database
  EXPECT_TRUE(Questions(folder).empty());
  WriteFile(folder.File(), kBefore);
  EXPECT_EQ(Questions(folder), kAskChanged);

  // A load that stopped at an error still knows the whole file.
  WriteFile(folder.File(), kBefore + "bad line\r\n@C2 after the error\r\n");
  folder.Reload();
  ASSERT_TRUE(folder.db.partlyLoaded);
  EXPECT_EQ(Questions(folder), std::vector<std::string>{kPartlyLoadedQuestion});
  WriteFile(folder.File(), kBefore + "bad line\r\n@C2 after the error, changed\r\n");
  EXPECT_EQ(Questions(folder),
            (std::vector<std::string>{kPartlyLoadedQuestion, kChangedOutsideQuestion}));
}

// The new file gets the mode and the group of the one it replaces, and is
// never more open than that, not even before its group is set; where the
// group cannot be kept, the group gets no more than everybody.
TEST(SaveModes, TheNewFileKeepsModeAndGroupAndIsNeverMoreOpen) {
  const mode_t umaskWas = ::umask(022);  // would take group write from a plain create
  // The mode the new file has before it gets its last: it has no other.
  struct Watching : InjectedOps {
    mode_t first = 0;
    int ChangeMode(int fd, mode_t mode) override {
      struct stat st;
      if (::fstat(fd, &st) == 0) first = st.st_mode & 0777;
      return InjectedOps::ChangeMode(fd, mode);
    }
  };
  const struct {
    mode_t mode;
    bool groupKept;
    mode_t expected;
  } cases[] = {{0600, true, 0600},  {0640, true, 0640},  {0664, true, 0664}, {0660, true, 0660},
               {0660, false, 0600}, {0664, false, 0644}, {0640, false, 0600}};
  const bool root = ::geteuid() == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode << (c.groupKept ? "" : " group lost"));
    if (!root && !c.groupKept) continue;  // needs to set a file's group freely
    DatabaseFolder folder(kBefore);
    fs::permissions(folder.File(), fs::perms(c.mode));
    // Another group than this process's, which the new file comes with.
    const gid_t group = ::getegid() == 65534 ? 0 : 65534;
    ASSERT_TRUE(!root || ::chown(folder.File().c_str(), static_cast<uid_t>(-1), group) == 0);
    Watching ops;
    if (!c.groupKept) {
      ops.step = InjectedOps::kChangeOwner;
      ops.error = EPERM;
    }
    ASSERT_TRUE(folder.Save(ops).ok);
    struct stat st;
    ASSERT_EQ(::lstat(folder.File().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, c.expected);
    EXPECT_EQ(ops.first & ~c.expected, 0u);
    if (root && c.groupKept) {
      EXPECT_EQ(st.st_gid, group);
    }
  }
  ::umask(umaskWas);
}

// What a save must not replace, or cannot write into, is refused before
// anything is written: CheckSave tells it and the save gives it, leaving the
// folder as it was. A link onto a name that a save removes or renames would
// let the save destroy the database.
TEST(SaveRefusals, AreToldBeforeAndGivenBySavingAndNothingIsWritten) {
  struct Case {
    std::string what;
    std::function<void(const std::string& folder, const std::string& database)> make;
    std::string load;     // what loading says; %: the folder
    std::string refusal;  // %: the folder
  };
  std::vector<Case> cases = {
      {"read-only", [](auto&, auto& db) { fs::permissions(db, fs::perms(0444)); }, "",
       "Cannot write %/Florilex.txt: the file is read-only"},
      // A pipe without a writer, or an endless device, must not hold loading up.
      {"a pipe",
       [](auto&, auto& db) {
         fs::remove(db);
         ASSERT_EQ(::mkfifo(db.c_str(), 0644), 0);
       },
       "Cannot open file %/Florilex.txt: not a regular file",
       "Cannot write %/Florilex.txt: not a regular file"},
      {"a device",
       [](auto&, auto& db) {
         fs::remove(db);
         fs::create_symlink("/dev/zero", db);
       },
       "Cannot open file %/Florilex.txt: not a regular file",
       "Cannot write %/Florilex.txt: not a regular file"},
      {"a folder",
       [](auto&, auto& db) {
         fs::remove(db);
         fs::create_directory(db);
       },
       "Cannot open file %/Florilex.txt: Is a directory",
       "Cannot write %/Florilex.txt: Is a directory"},
      {"the folder gone", [](auto& dir, auto&) { fs::remove_all(dir); },
       "Cannot open file %/Florilex.txt",
       "Cannot save in the folder %: No such file or directory. Save Copy As... can keep the "
       "database in another file."},
  };
  for (std::string name :
       {kBackupFile, kTemporaryFile, kKeepFile, kJournalFile, "LorJournal.3.old"})
    cases.push_back(
        {"a link onto " + name,
         [name](auto& dir, auto& db) {
           // Straight onto the name, or onto it on the way to the file.
           fs::create_directory(dir + "/real");
           fs::rename(db, dir + "/real/quotes.txt");
           fs::create_symlink("real/quotes.txt", dir + "/" + name);
           fs::create_symlink(name, db);
         },
         "",
         "%/Florilex.txt leads to %/" + name +
             ", a name that saving keeps for files of its own: a save would destroy the database "
             "there. Let Florilex.txt lead to a file of another name."});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DatabaseFolder folder(kBefore);
    const std::string dir = folder.dir.path();
    c.make(dir, folder.File());
    EXPECT_EQ(folder.Reload().message, At(c.load, dir));
    folder.db.MarkChanged();
    const std::set<std::string> before = Listing(dir);
    EXPECT_EQ(CheckSave(folder.db, dir).refusal, At(c.refusal, dir));
    const SaveResult saved = folder.Save();
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.message, At(c.refusal, dir));
    EXPECT_EQ(Listing(dir), before);
    EXPECT_TRUE(folder.db.IsChanged());
  }
}

// Florilex.txt as a link (into a synced folder, say): the file it leads to is
// replaced, keeping its mode; the link stays, the backup is a file of its own
// beside the link, and the stamp follows the link.
TEST(SaveLinks, ALinkStaysALinkAndItsTargetIsReplaced) {
  DatabaseFolder folder;
  const std::string real = folder.dir.File("synced/quotes.txt");
  fs::create_directory(folder.dir.File("synced"));
  WriteFile(real, kBefore);
  fs::permissions(real, fs::perms(0640));
  fs::create_symlink("synced/quotes.txt", folder.File());
  folder.Reload();
  folder.Change();
  EXPECT_TRUE(Questions(folder).empty());
  for (int save = 0; save < 2; ++save) {
    ASSERT_TRUE(folder.Save().ok);
    EXPECT_EQ(fs::read_symlink(folder.File()), "synced/quotes.txt");
    EXPECT_TRUE(HoldsTheChange(ReadFile(real)));
    EXPECT_EQ(ModeOf(real) & 0777, 0640u);
    const std::string backup = folder.dir.File(kBackupFile);
    EXPECT_TRUE(S_ISREG(ModeOf(backup)));
    EXPECT_EQ(ReadFile(backup), save == 0 ? kBefore : ReadFile(real));
    for (const char* name : {kTemporaryFile, "synced/LorTemp.BK!", kKeepFile})
      EXPECT_FALSE(Exists(folder.dir.File(name))) << name;
    EXPECT_TRUE(Questions(folder).empty()) << "the stamp follows the link";
  }
}

// A new database is the separator alone, in the file a link to nothing
// names, with no backup: there was no previous file.
TEST(SaveLinks, ANewDatabaseGoesWhereALinkToNothingLeads) {
  DatabaseFolder folder;
  fs::create_symlink("new.txt", folder.File());
  ASSERT_TRUE(folder.Save().ok);
  EXPECT_TRUE(S_ISLNK(ModeOf(folder.File())));
  EXPECT_EQ(ReadFile(folder.dir.File("new.txt")), "\xEF\xBB\xBF@@\r\n") << "new ones are UTF-8";
  EXPECT_FALSE(Exists(folder.dir.File(kBackupFile)));
}

// Each rename is made durable as it is made, the backup's too.
TEST(SaveBackup, TheFolderIsSyncedAfterEveryRename) {
  struct Order : FileOps {
    std::vector<std::string> calls;
    int Rename(const std::string& from, const std::string& to) override {
      calls.push_back("rename " + BaseName(to));
      return FileOps::Rename(from, to);
    }
    int SyncDirectory(const std::string& dir) override {
      calls.push_back("sync");
      return FileOps::SyncDirectory(dir);
    }
  } order;
  DatabaseFolder folder(kBefore);
  ASSERT_TRUE(folder.Save(order).ok);
  EXPECT_EQ(order.calls, (std::vector<std::string>{"rename Florilex.txt", "sync",
                                                   "rename FlorilexOld.txt", "sync"}));
}

// Save Copy As and the command line write a file whole through a temporary
// file beside it, with no backup, keeping an existing file's mode and link; a
// link planted under the temporary name is replaced, never followed. What
// must not be replaced is refused, and nothing is written.
TEST(WriteDatabaseFile, ReplacesTheFileItNamesKeepingItsModeAndLink) {
  DatabaseFolder folder(kBefore);
  const auto file = [&](const std::string& name) { return folder.dir.File(name); };
  WriteFile(file("real.txt"), "old");
  fs::permissions(file("real.txt"), fs::perms(0600));
  fs::create_symlink("real.txt", file("out.txt"));
  WriteFile(file("precious.txt"), "someone else's");
  fs::create_symlink("precious.txt", file("real.txt.lorelist-new"));
  ASSERT_TRUE(WriteDatabaseFile(folder.db, file("out.txt")).ok);
  EXPECT_EQ(fs::read_symlink(file("out.txt")), "real.txt");
  EXPECT_EQ(ReadFile(file("real.txt")), kBefore);
  EXPECT_EQ(ModeOf(file("real.txt")) & 0777, 0600u);
  EXPECT_EQ(ReadFile(file("precious.txt")), "someone else's");
  EXPECT_FALSE(Exists(file("real.txt.lorelist-new")));
  EXPECT_FALSE(Exists(file(kBackupFile)));
  // Any name the folder can hold: the temporary name is cut to fit.
  for (size_t length : {size_t{250}, size_t{NAME_MAX}}) {
    ASSERT_TRUE(WriteDatabaseFile(folder.db, file(std::string(length, 'n'))).ok) << length;
    EXPECT_EQ(ReadFile(file(std::string(length, 'n'))), kBefore);
  }

  WriteFile(file("read-only.txt"), "kept");
  fs::permissions(file("read-only.txt"), fs::perms(0444));
  // A way to the file through the name of its temporary file.
  fs::create_symlink("real.txt.lorelist-new", file("through.txt"));
  fs::create_symlink("real.txt", file("real.txt.lorelist-new"));
  const std::pair<std::string, std::string> refused[] = {
      {file("read-only.txt"), "the file is read-only"},
      {"/dev/null", "not a regular file"},  // as root, a device would be replaced by a file
      {"/nonexistent-lorelist-folder/out.txt", "No such file or directory"},
      {file("through.txt"),
       "it leads to " + file("real.txt.lorelist-new") + ", the name of its own temporary file"},
  };
  const std::set<std::string> before = Listing(folder.dir.path());
  for (const auto& [path, reason] : refused) {
    const SaveResult result = WriteDatabaseFile(folder.db, path);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Cannot write " + path + ": " + reason);
  }
  EXPECT_EQ(Listing(folder.dir.path()), before);
}

// A save that found the folder busy waits for the other save to end, and is
// then asked about the file that save left, as about any outside change.
TEST(OneWriter, ASaveWaitsForOneUnderWayAndIsAskedAboutWhatItWrote) {
  DatabaseFolder mine(kBefore);
  mine.Change();
  Database other;
  LoadDatabase(other, mine.File());
  other.quotations.SetItemText(other.quotations.GetRootItem(), "Other");
  // Holds its save, with the folder locked, between writing and renaming.
  struct Holding : FileOps {
    std::atomic<bool> inside{false}, release{false};
    int Sync(int fd) override {
      inside = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return FileOps::Sync(fd);
    }
  } holding;
  const std::string dir = mine.dir.path();
  std::thread otherSave([&] { EXPECT_TRUE(SaveDatabase(other, dir, holding).ok); });
  while (!holding.inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::vector<std::string> asked;
  SaveResult result;
  std::thread mySave([&] {
    result = SaveDatabase(mine.db, dir, SystemFileOps(), [&](const std::string& question) {
      asked.push_back(question);
      return true;
    });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(mine.Saved(), kBefore) << "nothing written while the other save runs";
  holding.release = true;
  otherSave.join();
  mySave.join();
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_EQ(asked, kAskChanged);
  EXPECT_TRUE(HoldsTheChange(mine.Saved()));
  EXPECT_NE(ReadFile(mine.dir.File(kBackupFile)).find("@Q1 Other\r\n"), std::string::npos);

  // No to the question writes nothing.
  const SaveResult declined =
      SaveDatabase(other, dir, SystemFileOps(), [](const std::string&) { return false; });
  EXPECT_FALSE(declined.ok);
  EXPECT_EQ(declined.message, "");
  EXPECT_TRUE(HoldsTheChange(mine.Saved()));
}

// The lock is on the folder: a second holder is told, even in this process.
TEST(FolderLock, ASecondHolderIsTold) {
  test::TempDir dir;
  FolderLock first, second;
  EXPECT_EQ(first.Acquire(dir.path()), FolderLock::State::kHeld);
  EXPECT_EQ(second.Acquire(dir.path()), FolderLock::State::kHeldElsewhere);
  EXPECT_TRUE(fs::is_empty(dir.path())) << "the lock adds no name to the folder";
  first.Release();
  EXPECT_EQ(second.Acquire(dir.path()), FolderLock::State::kHeld);
  EXPECT_EQ(FolderLock().Acquire(dir.File("missing")), FolderLock::State::kUnavailable);
}

}  // namespace
}  // namespace lorelist
