// Saving whatever surrounds the file: changes made by others, modes and
// groups, symbolic links, planted names, files that are not files, folders
// that go away, and a second window on the same folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <random>
#include <string>
#include <thread>

#include "db/checksum.h"
#include "db/folder_lock.h"
#include "db/journal.h"
#include "db/load.h"
#include "db/save.h"
#include "support/injected_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::Exists;
using test::InjectedOps;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kBefore =
    CrLf({"@Q1 Montaigne", "@Q1.1 Que sais-je?", "@@", "@C1 Doubt", "@Sdoubt", "@R1.1 the motto"});

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

// A database loaded from dir/Florilex.txt, its first text then changed.
struct Session {
  explicit Session(const TempDir& dir) : Session(dir.path()) {}
  explicit Session(const std::string& dir) : folder(dir) {
    LoadDatabase(db, JoinPath(folder, kDatabaseFile));
    if (HTREEITEM first = db.quotations.GetRootItem()) db.quotations.SetItemText(first, "Changed");
    db.MarkChanged();
  }
  std::vector<std::string> Questions() const { return CheckSave(db, folder).questions; }
  SaveResult Save(FileOps& ops = SystemFileOps()) { return SaveDatabase(db, folder, ops); }
  std::string Saved() const { return ReadFile(JoinPath(folder, kDatabaseFile)); }

  std::string folder;
  Database db;
};

bool HoldsTheChange(const std::string& bytes) {
  return bytes.find("@Q1 Changed\r\n") != std::string::npos;
}

TEST(Checksum, DependsOnTheBytesNotOnHowTheyArrive) {
  std::mt19937 random(5);
  std::string bytes(100000, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  Checksum whole;
  whole.Add(bytes.data(), bytes.size());
  for (int round = 0; round < 20; ++round) {
    Checksum pieces;
    for (size_t at = 0; at < bytes.size();) {
      const size_t size = std::min<size_t>(random() % 70, bytes.size() - at);
      pieces.Add(bytes.data() + at, size);
      at += size;
    }
    EXPECT_EQ(pieces.Value(), whole.Value());
  }
  // Any one byte changed, or one byte more or less, gives another value.
  for (size_t at : {size_t{0}, size_t{31}, size_t{32}, bytes.size() - 1}) {
    std::string other = bytes;
    other[at] ^= 1;
    Checksum changed;
    changed.Add(other.data(), other.size());
    EXPECT_NE(changed.Value(), whole.Value()) << at;
  }
  Checksum shorter;
  shorter.Add(bytes.data(), bytes.size() - 1);
  EXPECT_NE(shorter.Value(), whole.Value());
  Checksum zeros1, zeros2;
  zeros1.Add("\0", 1);
  zeros2.Add("\0\0", 2);
  EXPECT_NE(zeros1.Value(), zeros2.Value());
}

TEST(OutsideChange, AskedOnlyWhenTheBytesChanged) {
  TempDir dir;
  const std::string database = dir.File(kDatabaseFile);
  WriteFile(database, kBefore);
  Session session(dir);
  EXPECT_TRUE(session.Questions().empty());

  // Touched: a new time, the same bytes.
  struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 123}};
  ASSERT_EQ(::utimensat(AT_FDCWD, database.c_str(), later, 0), 0);
  EXPECT_TRUE(session.Questions().empty());
  // Replaced by another file holding the same bytes (as another editor saves).
  WriteFile(dir.File("other"), kBefore);
  ASSERT_EQ(::rename(dir.File("other").c_str(), database.c_str()), 0);
  EXPECT_TRUE(session.Questions().empty());

  // The same size, one byte different, and the time put back as it was.
  struct stat st;
  ASSERT_EQ(::stat(database.c_str(), &st), 0);
  std::string edited = kBefore;
  edited[5] = 'X';
  WriteFile(database, edited);
  struct timespec same[2] = {{0, UTIME_OMIT}, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, database.c_str(), same, 0), 0);
  EXPECT_EQ(session.Questions(), std::vector<std::string>{kChangedOutsideQuestion});

  WriteFile(database, kBefore + "@C2 Added elsewhere\r\n");
  EXPECT_EQ(session.Questions(), std::vector<std::string>{kChangedOutsideQuestion});
  std::remove(database.c_str());
  EXPECT_EQ(session.Questions(), std::vector<std::string>{kChangedOutsideQuestion});

  // Saved anyway: from then on the file is this session's again.
  ASSERT_TRUE(session.Save().ok);
  EXPECT_TRUE(session.Questions().empty());
  EXPECT_TRUE(HoldsTheChange(session.Saved()));
}

TEST(OutsideChange, AFileThatAppearsIsAChangeAndPartlyLoadedIsAskedFirst) {
  TempDir dir;
  Session fresh(dir);  // no file: a new database
  EXPECT_TRUE(fresh.Questions().empty());
  WriteFile(dir.File(kDatabaseFile), kBefore);
  EXPECT_EQ(fresh.Questions(), std::vector<std::string>{kChangedOutsideQuestion});

  // A load that stopped at an error still knows the whole file.
  WriteFile(dir.File(kDatabaseFile), kBefore + "bad line\r\n@C2 after the error\r\n");
  Session partly(dir);
  ASSERT_TRUE(partly.db.partlyLoaded);
  EXPECT_EQ(partly.Questions(), std::vector<std::string>{kPartlyLoadedQuestion});
  WriteFile(dir.File(kDatabaseFile), kBefore + "bad line\r\n@C2 after the error, changed\r\n");
  EXPECT_EQ(partly.Questions(),
            (std::vector<std::string>{kPartlyLoadedQuestion, kChangedOutsideQuestion}));
}

TEST(SaveModes, TheNewFileKeepsTheModeAndGroupAndIsNeverMoreOpen) {
  const mode_t umaskWas = ::umask(022);  // would take group write from a plain create
  // Watches every write: the temporary file is never more open than the end result.
  struct Watching : FileOps {
    mode_t widest = 0;
    ssize_t Write(int fd, const void* data, size_t size) override {
      struct stat st;
      if (::fstat(fd, &st) == 0) widest |= st.st_mode & 0777;
      return FileOps::Write(fd, data, size);
    }
  };
  for (mode_t mode : {0600, 0640, 0664, 0660}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string database = dir.File(kDatabaseFile);
    WriteFile(database, kBefore);
    ASSERT_EQ(::chmod(database.c_str(), mode), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::chown(database.c_str(), 0, 65534), 0);  // another group
    }
    Session session(dir);
    Watching ops;
    ASSERT_TRUE(session.Save(ops).ok);
    EXPECT_EQ(ModeOf(database) & 07777, mode);
    EXPECT_EQ(ops.widest & ~mode, 0u);
    struct stat st;
    ASSERT_EQ(::stat(database.c_str(), &st), 0);
    if (root) {
      EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
  ::umask(umaskWas);
}

TEST(SaveModes, WhereTheGroupCannotBeKeptItGetsNoMoreThanEverybody) {
  const std::pair<mode_t, mode_t> cases[] = {{0660, 0600}, {0664, 0644}, {0640, 0600}};
  for (auto [mode, expected] : cases) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string database = dir.File(kDatabaseFile);
    WriteFile(database, kBefore);
    ASSERT_EQ(::chmod(database.c_str(), mode), 0);
    if (::geteuid() != 0) GTEST_SKIP() << "needs to set a file's group freely";
    // The new file comes with this process's group, which is not the file's.
    ASSERT_EQ(::chown(database.c_str(), static_cast<uid_t>(-1), ::getegid() == 65534 ? 0 : 65534),
              0);
    Session session(dir);
    InjectedOps ops;
    ops.step = InjectedOps::kChangeOwner;
    ops.error = EPERM;
    ASSERT_TRUE(session.Save(ops).ok);
    EXPECT_EQ(ModeOf(database) & 0777, expected);
  }
}

TEST(SaveModes, AReadOnlyFileIsNotReplaced) {
  TempDir dir;
  const std::string database = dir.File(kDatabaseFile);
  WriteFile(database, kBefore);
  ASSERT_EQ(::chmod(database.c_str(), 0444), 0);
  Session session(dir);
  const std::string refusal = "Cannot write " + database + ": the file is read-only";
  EXPECT_EQ(CheckSave(session.db, dir.path()).refusal, refusal);
  SaveResult result = session.Save();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, refusal);
  EXPECT_EQ(ReadFile(database), kBefore);
  EXPECT_EQ(ModeOf(database) & 0777, 0444u);
  EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
  EXPECT_TRUE(session.db.IsChanged());

  // rewrite refuses a read-only OUT the same way.
  SaveResult rewrite = WriteDatabaseFile(session.db, database);
  EXPECT_FALSE(rewrite.ok);
  EXPECT_EQ(rewrite.message, "Cannot write " + database + ": the file is read-only");
  EXPECT_EQ(ReadFile(database), kBefore);
}

TEST(SaveLinks, ALinkStaysALinkAndItsTargetIsReplaced) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("synced").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.File("work").c_str(), 0755), 0);
  const std::string real = dir.File("synced/quotes.txt");
  WriteFile(real, kBefore);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const std::string link = dir.File("work/Florilex.txt");
  ASSERT_EQ(::symlink("../synced/quotes.txt", link.c_str()), 0);

  Session session(dir.File("work"));
  EXPECT_TRUE(session.Questions().empty());
  for (int save = 0; save < 2; ++save) {
    ASSERT_TRUE(session.Save().ok);
    EXPECT_TRUE(S_ISLNK(ModeOf(link)));
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../synced/quotes.txt");
    EXPECT_TRUE(HoldsTheChange(ReadFile(real)));
    EXPECT_EQ(ModeOf(real) & 0777, 0640u);
    // The backup lies beside the link, a file of its own.
    const std::string backup = dir.File("work/FlorilexOld.txt");
    EXPECT_TRUE(S_ISREG(ModeOf(backup)));
    EXPECT_EQ(ReadFile(backup), save == 0 ? kBefore : ReadFile(real));
    for (const char* name : {"work/LorTemp.BK!", "synced/LorTemp.BK!", "work/LorOld.BK!"})
      EXPECT_FALSE(Exists(dir.File(name))) << name;
    EXPECT_TRUE(session.Questions().empty()) << "the stamp follows the link";
  }
}

TEST(SaveLinks, ALinkToNothingYetGetsItsFile) {
  TempDir dir;
  ASSERT_EQ(::symlink("new.txt", dir.File(kDatabaseFile).c_str()), 0);
  Session session(dir);
  ASSERT_TRUE(session.Save().ok);
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.File(kDatabaseFile))));
  EXPECT_EQ(ReadFile(dir.File("new.txt")), "@@\r\n");
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
}

TEST(SaveLinks, APlantedTemporaryLinkIsNeverFollowed) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kBefore);
  const std::string victim = dir.File("precious.txt");
  const std::string precious = "years of someone else's work\n";
  WriteFile(victim, precious);
  ASSERT_EQ(::symlink(victim.c_str(), dir.File(kTemporaryFile).c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), dir.File(kKeepFile).c_str()), 0);
  Session session(dir);
  ASSERT_TRUE(session.Save().ok);
  EXPECT_EQ(ReadFile(victim), precious);
  EXPECT_FALSE(S_ISLNK(ModeOf(dir.File(kDatabaseFile))));
  EXPECT_FALSE(S_ISLNK(ModeOf(dir.File(kBackupFile))));
  EXPECT_TRUE(HoldsTheChange(session.Saved()));
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kBefore);
  EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
  EXPECT_FALSE(Exists(dir.File(kKeepFile)));

  // rewrite's temporary name too.
  const std::string out = dir.File("out.txt");
  ASSERT_EQ(::symlink(victim.c_str(), (out + ".lorelist-new").c_str()), 0);
  ASSERT_TRUE(WriteDatabaseFile(session.db, out).ok);
  EXPECT_EQ(ReadFile(victim), precious);
  EXPECT_EQ(ReadFile(out), session.Saved());
}

TEST(SaveBackup, AFailedSaveNeverTouchesTheBackup) {
  const InjectedOps::Step steps[] = {InjectedOps::kCreate, InjectedOps::kWrite,
                                     InjectedOps::kSync,   InjectedOps::kClose,
                                     InjectedOps::kRename, InjectedOps::kRenameBoth};
  for (InjectedOps::Step step : steps) {
    SCOPED_TRACE(step);
    TempDir dir;
    WriteFile(dir.File(kDatabaseFile), kBefore);
    WriteFile(dir.File(kBackupFile), "the backup of before");
    Session session(dir);
    InjectedOps ops;
    ops.step = step;
    EXPECT_FALSE(session.Save(ops).ok);
    EXPECT_EQ(ReadFile(dir.File(kBackupFile)), "the backup of before");
    EXPECT_EQ(session.Saved(), kBefore);
    EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
    EXPECT_FALSE(Exists(dir.File(kKeepFile)));
    EXPECT_TRUE(session.db.IsChanged());
  }
}

TEST(SaveBackup, ABackupThatCannotBeReplacedLeavesThePreviousDatabaseKept) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kBefore);
  WriteFile(dir.File(kBackupFile), "older");
  Session session(dir);
  InjectedOps ops;
  ops.step = InjectedOps::kRenameBackup;
  ops.error = EACCES;
  SaveResult result = session.Save(ops);
  EXPECT_TRUE(result.ok);  // the database itself is saved
  EXPECT_EQ(result.message, dir.File(kDatabaseFile) +
                                " was saved, but the previous database could not be kept as "
                                "FlorilexOld.txt (Permission denied): it is in LorOld.BK!.");
  EXPECT_TRUE(HoldsTheChange(session.Saved()));
  EXPECT_EQ(ReadFile(dir.File(kKeepFile)), kBefore);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), "older");
  EXPECT_FALSE(session.db.IsChanged());
}

TEST(SaveBackup, HardLinkedDatabaseAndBackupEndAsTwoFiles) {
  // What a save of an earlier version cut short could leave.
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kBefore);
  ASSERT_EQ(::link(dir.File(kDatabaseFile).c_str(), dir.File(kBackupFile).c_str()), 0);
  Session session(dir);
  ASSERT_TRUE(session.Save().ok);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kBefore);
  EXPECT_TRUE(HoldsTheChange(session.Saved()));
  EXPECT_FALSE(Exists(dir.File(kKeepFile)));
}

TEST(NotARegularFile, RefusedAtLoadAtOnceAndNeverReplaced) {
  TempDir dir;
  const std::string database = dir.File(kDatabaseFile);
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* reason;
  };
  const Case cases[] = {
      {"pipe", [&] { ASSERT_EQ(::mkfifo(database.c_str(), 0644), 0); }, "not a regular file"},
      {"folder", [&] { ASSERT_EQ(::mkdir(database.c_str(), 0755), 0); }, "Is a directory"},
      {"device", [&] { ASSERT_EQ(::symlink("/dev/zero", database.c_str()), 0); },
       "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.make();
    Database db;
    // A pipe without a writer, or an endless device, must not hold loading up.
    LoadResult result = LoadDatabase(db, database);
    EXPECT_EQ(result.status, LoadResult::kCannotOpen);
    EXPECT_EQ(result.message, "Cannot open file " + database + ": " + c.reason);
    EXPECT_TRUE(db.partlyLoaded);
    const std::string refusal = "Cannot write " + database + ": " + c.reason;
    EXPECT_EQ(CheckSave(db, dir.path()).refusal, refusal);
    SaveResult saved = SaveDatabase(db, dir.path());
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.message, refusal);
    EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
    std::filesystem::remove(database);
  }
}

TEST(FolderGone, SaveNamesTheFolderAndWorksAgainOnceItIsBack) {
  TempDir parent;
  const std::string folder = parent.File("db");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteFile(JoinPath(folder, kDatabaseFile), kBefore);
  Database db;
  ASSERT_EQ(LoadDatabase(db, JoinPath(folder, kDatabaseFile)).status, LoadResult::kComplete);
  db.MarkChanged();
  std::filesystem::remove_all(folder);
  const std::string refusal = "Cannot save in the folder " + folder +
                              ": No such file or directory. Save Copy As... can keep the database "
                              "in another file.";
  EXPECT_EQ(CheckSave(db, folder).refusal, refusal);
  EXPECT_EQ(SaveDatabase(db, folder).message, refusal);
  EXPECT_TRUE(db.IsChanged());
  // Kept somewhere else meanwhile.
  ASSERT_TRUE(WriteDatabaseFile(db, parent.File("copy.txt")).ok);
  EXPECT_EQ(ReadFile(parent.File("copy.txt")), kBefore);
  EXPECT_TRUE(db.IsChanged());

  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  EXPECT_EQ(CheckSave(db, folder).questions, std::vector<std::string>{kChangedOutsideQuestion});
  ASSERT_TRUE(SaveDatabase(db, folder).ok);
  EXPECT_EQ(ReadFile(JoinPath(folder, kDatabaseFile)), kBefore);
}

TEST(RewriteTarget, KeepsAnExistingFilesModeAndLink) {
  TempDir dir;
  Database db;
  WriteFile(dir.File("in.txt"), kBefore);
  ASSERT_EQ(LoadDatabase(db, dir.File("in.txt")).status, LoadResult::kComplete);
  WriteFile(dir.File("real.txt"), "old");
  ASSERT_EQ(::chmod(dir.File("real.txt").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("real.txt", dir.File("out.txt").c_str()), 0);
  ASSERT_TRUE(WriteDatabaseFile(db, dir.File("out.txt")).ok);
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("out.txt"))));
  EXPECT_EQ(ReadFile(dir.File("real.txt")), kBefore);
  EXPECT_EQ(ModeOf(dir.File("real.txt")) & 0777, 0600u);
  EXPECT_FALSE(Exists(dir.File("real.txt.lorelist-new")));
  // Any name the folder can hold; a way to the file through the name of its
  // temporary file is refused before anything is removed.
  for (size_t length : {size_t{250}, size_t{NAME_MAX}}) {
    const std::string path = dir.File(std::string(length, 'n'));
    ASSERT_TRUE(WriteDatabaseFile(db, path).ok) << length;
    EXPECT_EQ(ReadFile(path), kBefore);
  }
  ASSERT_EQ(::symlink("real.txt", dir.File("real.txt.lorelist-new").c_str()), 0);
  ASSERT_EQ(::symlink("real.txt.lorelist-new", dir.File("through.txt").c_str()), 0);
  const SaveResult through = WriteDatabaseFile(db, dir.File("through.txt"));
  EXPECT_FALSE(through.ok);
  EXPECT_NE(through.message.find("real.txt.lorelist-new"), std::string::npos) << through.message;
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("real.txt.lorelist-new"))));
  // Never a device: as root, /dev/null itself would be replaced by a file.
  SaveResult device = WriteDatabaseFile(db, "/dev/null");
  EXPECT_FALSE(device.ok);
  EXPECT_EQ(device.message, "Cannot write /dev/null: not a regular file");
}

// A save that found the folder busy waits for the other save to end, and is
// then asked about the file that save left, as about any outside change.
TEST(OneWriter, ASaveWaitsForOneUnderWayAndIsAskedAboutWhatItWrote) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kBefore);
  Session mine(dir), other(dir);
  other.db.quotations.SetItemText(other.db.quotations.GetRootItem(), "Other");
  // Holds its save, with the folder locked, between writing and renaming.
  struct Holding : FileOps {
    std::atomic<bool> inside{false}, release{false};
    int Sync(int fd) override {
      inside = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return FileOps::Sync(fd);
    }
  } holding;
  std::thread otherSave([&] { EXPECT_TRUE(other.Save(holding).ok); });
  while (!holding.inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::vector<std::string> asked;
  SaveResult result;
  std::thread mySave([&] {
    result = SaveDatabase(mine.db, dir.path(), SystemFileOps(), [&](const std::string& question) {
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
  EXPECT_EQ(asked, std::vector<std::string>{kChangedOutsideQuestion});
  EXPECT_TRUE(HoldsTheChange(mine.Saved()));
  EXPECT_NE(ReadFile(dir.File(kBackupFile)).find("@Q1 Other\r\n"), std::string::npos);

  // No to the question writes nothing.
  const SaveResult declined =
      SaveDatabase(other.db, dir.path(), SystemFileOps(), [](const std::string&) { return false; });
  EXPECT_FALSE(declined.ok);
  EXPECT_EQ(declined.message, "");
  EXPECT_TRUE(HoldsTheChange(mine.Saved()));
}

// A link onto a name that a save removes or renames would let the save
// destroy the database: refused, with both paths named, and nothing written.
TEST(SaveLinks, ADatabaseThatLeadsOntoTheSavesOwnNamesIsRefused) {
  for (const char* name :
       {kBackupFile, kTemporaryFile, kKeepFile, kJournalFile, "LorJournal.3.old"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
    WriteFile(dir.File("real/quotes.txt"), kBefore);
    // Straight onto the name, or onto it on the way to the file.
    ASSERT_EQ(::symlink("real/quotes.txt", dir.File(name).c_str()), 0);
    ASSERT_EQ(::symlink(name, dir.File(kDatabaseFile).c_str()), 0);
    Session session(dir);
    const std::string refusal = SavedNameRefusal(dir.path());
    EXPECT_NE(refusal.find(dir.File(kDatabaseFile) + " leads to " + dir.File(name)),
              std::string::npos)
        << refusal;
    EXPECT_EQ(CheckSave(session.db, dir.path()).refusal, refusal);
    EXPECT_EQ(session.Save().message, refusal);
    EXPECT_EQ(ReadFile(dir.File("real/quotes.txt")), kBefore);
    EXPECT_TRUE(S_ISLNK(ModeOf(dir.File(name))));
    size_t names = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
      ++names;
    EXPECT_EQ(names, 3u) << "nothing added to the folder";
  }
  // A file of another name elsewhere is fine.
  TempDir dir;
  WriteFile(dir.File("quotes.txt"), kBefore);
  ASSERT_EQ(::symlink("quotes.txt", dir.File(kDatabaseFile).c_str()), 0);
  EXPECT_EQ(SavedNameRefusal(dir.path()), "");
}

// Each rename is made durable as it is made, the backup's too.
TEST(SaveBackup, TheFolderIsSyncedAfterEveryRename) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kBefore);
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
  Session session(dir);
  ASSERT_TRUE(session.Save(order).ok);
  EXPECT_EQ(order.calls, (std::vector<std::string>{"rename Florilex.txt", "sync",
                                                   "rename FlorilexOld.txt", "sync"}));
}

// The lock is on the folder: a second holder is told, a dead one counts not.
TEST(FolderLock, SecondHolderIsToldAndADeadHolderCountsNot) {
  TempDir dir;
  {
    FolderLock first, second;
    EXPECT_EQ(first.Acquire(dir.path()), FolderLock::State::kHeld);
    EXPECT_EQ(second.Acquire(dir.path()), FolderLock::State::kHeldElsewhere);
    first.Release();
    EXPECT_EQ(second.Acquire(dir.path()), FolderLock::State::kHeld);
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FolderLock held;
    const char state = held.Acquire(dir.path()) == FolderLock::State::kHeld ? 'y' : 'n';
    if (::write(ready[1], &state, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char state = 0;
  ASSERT_EQ(::read(ready[0], &state, 1), 1);
  EXPECT_EQ(state, 'y');
  FolderLock mine;
  EXPECT_EQ(mine.Acquire(dir.path()), FolderLock::State::kHeldElsewhere);
  ::kill(child, SIGKILL);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_EQ(mine.Acquire(dir.path()), FolderLock::State::kHeld);
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator())
      << "the lock adds no name to the folder";
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(FolderLock().Acquire(dir.File("missing")), FolderLock::State::kUnavailable);
}

}  // namespace
}  // namespace lorelist
