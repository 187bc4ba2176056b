#include "db/save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "db/load.h"
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

const std::string kSample = CrLf(
    {"@Q1 Montaigne", "@Q1.1 Essais",
     "@Q1.1.1 Que sais-je? A quotation long enough to be broken over more than -",
     "one physical line of the file, which the writer does at a blank.", "@Q1.1.2 ", "@Q2 Pascal",
     "@Q2.1 Pens\xE9"
     "es",
     "@@", "@C1 Doubt", "@Sdoubt", "@S scepticism", "@R1.1.1 the motto", "@R2.1 ", "@C1.1 Wager",
     "@C2 Empty"});

std::string Load(Database& db, const TempDir& dir) {
  LoadResult result = LoadDatabase(db, dir.File(kDatabaseFile));
  return result.message;
}

TEST(SaveDatabase, WritesWhatItLoadedByteForByteAndKeepsTheOldFile) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kSample);
  Database db;
  ASSERT_EQ(Load(db, dir), "");
  std::vector<std::string> titles;
  db.SetTitleHook([&](const std::string& title) { titles.push_back(title); });
  db.MarkChanged();

  SaveResult result = SaveDatabase(db, dir.path());
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kSample);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kSample);
  EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
  EXPECT_FALSE(db.IsChanged());
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Lorelist Version 1.1", "Lorelist Version 1.1 - Unchanged"}));

  // Saved, loaded and saved again: the same bytes.
  Database again;
  ASSERT_EQ(Load(again, dir), "");
  ASSERT_TRUE(SaveDatabase(again, dir.path()).ok);
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kSample);
}

TEST(SaveDatabase, WritesAnEmptyDatabaseAsTheSeparatorAlone) {
  TempDir dir;
  Database db;
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), "@@\r\n");
  // No previous file, so no backup: a new database can be created.
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
}

TEST(SaveDatabase, RenumbersAfterADeletionAndFollowsTheReferences) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), CrLf({"@Q1 a", "@Q2 b", "@Q3 c", "@Q3.1 c1", "@@", "@C1 cat",
                                           "@Sx", "@Sy", "@R3.1 to c1", "@R3 to c", "@R1 to a"}));
  Database db;
  ASSERT_EQ(Load(db, dir), "");
  db.quotations.DeleteItem(db.quotations.GetChildAt(nullptr, 1));
  db.MarkChanged();
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)),
            CrLf({"@Q1 a", "@Q2 c", "@Q2.1 c1", "@@", "@C1 cat", "@Sx", "@Sy", "@R2.1 to c1",
                  "@R2 to c", "@R1 to a"}));
}

TEST(SaveDatabase, RefusesWhenTheTemporaryFileCannotBeCreated) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kSample);
  ASSERT_EQ(::mkdir(dir.File(kTemporaryFile).c_str(), 0755), 0);
  Database db;
  ASSERT_EQ(Load(db, dir), "");
  db.MarkChanged();
  SaveResult result = SaveDatabase(db, dir.path());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "Cannot open file LorTemp.BK!: Is a directory");
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kSample);
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
  EXPECT_TRUE(db.IsChanged());
}

// A folder the user may not write to. Root may write anywhere, so as root
// the save runs in a child that has become an ordinary user.
TEST(SaveDatabase, RefusesInAFolderThatCannotBeWritten) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kSample);
  // The file itself anyone may write: only the folder stands in the way.
  ASSERT_EQ(::chmod(dir.File(kDatabaseFile).c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  auto attempt = [&] {
    Database db;
    if (!Load(db, dir).empty()) return false;
    db.MarkChanged();
    SaveResult result = SaveDatabase(db, dir.path());
    return !result.ok && result.message == "Cannot open file LorTemp.BK!: Permission denied" &&
           db.IsChanged();
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(attempt());
  } else {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      ::_exit(attempt() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kSample);
  EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
}

TEST(SaveDatabase, ReportsAMissingFolderByItsPath) {
  Database db;
  SaveResult result = SaveDatabase(db, "/nonexistent-lorelist-folder");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message,
            "Cannot save in the folder /nonexistent-lorelist-folder: No such file or directory. "
            "Save Copy As... can keep the database in another file.");
  EXPECT_EQ(CheckSave(db, "/nonexistent-lorelist-folder").refusal, result.message);
}

struct FailureCase {
  InjectedOps::Step step;
  size_t bytes;
  int error;
  const char* message;
};

TEST(SaveDatabase, AFailureAtAnyStepLeavesTheDatabaseFileAndTheFlag) {
  const FailureCase cases[] = {
      {InjectedOps::kCreate, 0, EACCES, "Cannot open file LorTemp.BK!: Permission denied"},
      {InjectedOps::kWrite, 0, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kWrite, 77, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kSync, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kClose, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kRename, 0, EXDEV,
       "Cannot rename LorTemp.BK! to Florilex.txt: Invalid cross-device link"},
      // No hard links and no renames: the backup is kept by a copy, then the
      // database cannot be put in place.
      {InjectedOps::kRenameBoth, 0, EPERM,
       "Cannot rename LorTemp.BK! to Florilex.txt: Operation not permitted"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    WriteFile(dir.File(kDatabaseFile), kSample);
    Database db;
    ASSERT_EQ(Load(db, dir), "");
    db.quotations.SetItemText(db.quotations.GetRootItem(), "Changed");
    db.MarkChanged();
    InjectedOps ops;
    ops.step = c.step;
    ops.bytesBeforeFailure = c.bytes;
    ops.error = c.error;
    SaveResult result = SaveDatabase(db, dir.path(), ops);
    EXPECT_FALSE(result.ok);
    // The database file by its full path.
    std::string expected = c.message;
    if (const size_t at = expected.find(" Florilex.txt"); at != std::string::npos)
      expected.replace(at + 1, 12, dir.File(kDatabaseFile));
    EXPECT_EQ(result.message, expected);
    EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kSample);
    EXPECT_TRUE(db.IsChanged());
    if (c.step <= InjectedOps::kClose) {
      EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
    }

    // Once the fault is gone, the next save completes the rotation.
    ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
    EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kSample);
    EXPECT_NE(ReadFile(dir.File(kDatabaseFile)).find("@Q1 Changed\r\n"), std::string::npos);
    EXPECT_FALSE(Exists(dir.File(kTemporaryFile)));
    EXPECT_FALSE(db.IsChanged());
  }
}

TEST(SaveDatabase, KeepsTheBackupByACopyWhereHardLinksFail) {
  TempDir dir;
  WriteFile(dir.File(kDatabaseFile), kSample);
  WriteFile(dir.File(kBackupFile), "older");
  Database db;
  ASSERT_EQ(Load(db, dir), "");
  db.quotations.SetItemText(db.quotations.GetRootItem(), "Changed");
  InjectedOps ops;
  ops.step = InjectedOps::kLink;
  ops.error = EPERM;
  ASSERT_TRUE(SaveDatabase(db, dir.path(), ops).ok);
  EXPECT_NE(ReadFile(dir.File(kDatabaseFile)).find("@Q1 Changed\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kSample);
  EXPECT_FALSE(Exists(dir.File(kKeepFile)));
}

TEST(WriteDatabaseFile, ReplacesTheTargetWithoutABackup) {
  TempDir dir;
  WriteFile(dir.File("in.txt"), kSample);
  WriteFile(dir.File("out.txt"), "old contents");
  Database db;
  ASSERT_EQ(LoadDatabase(db, dir.File("in.txt")).status, LoadResult::kComplete);
  ASSERT_TRUE(WriteDatabaseFile(db, dir.File("out.txt")).ok);
  EXPECT_EQ(ReadFile(dir.File("out.txt")), kSample);
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
  SaveResult bad = WriteDatabaseFile(db, "/nonexistent-lorelist-folder/out.txt");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.message,
            "Cannot write /nonexistent-lorelist-folder/out.txt: No such file or directory");
}

}  // namespace
}  // namespace lorelist
