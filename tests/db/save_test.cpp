#include "db/save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/capture_ops.h"
#include "support/fixtures.h"
#include "support/injected_ops.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::DatabaseFolder;
using test::Exists;
using test::InjectedOps;
using test::ReadFile;
using test::WriteFile;

const std::string kSample = CrLf(
    {"@Q1 Montaigne", "@Q1.1 Essais",
     "@Q1.1.1 Que sais-je? A quotation long enough to be broken over more than -",
     "one physical line of the file, which the writer does at a blank.", "@Q1.1.2 ", "@Q2 Pascal",
     "@Q2.1 Pens\xE9"
     "es",
     "@@", "@C1 Doubt", "@Sdoubt", "@S scepticism", "@R1.1.1 the motto", "@R2.1 ", "@C1.1 Wager",
     "@C2 Empty"});

bool HoldsTheChange(const std::string& bytes) {
  return bytes.find("@Q1 Changed\r\n") != std::string::npos;
}

// The message with each % replaced by the path given.
std::string At(std::string message, const std::string& path) {
  for (size_t at; (at = message.find('%')) != std::string::npos;) message.replace(at, 1, path);
  return message;
}

TEST(SaveDatabase, WritesWhatItLoadedByteForByteAndKeepsTheOldFile) {
  DatabaseFolder folder(kSample);
  std::vector<std::string> titles;
  folder.db.SetTitleHook([&](const std::string& title) { titles.push_back(title); });
  folder.db.MarkChanged();
  const SaveResult result = SaveDatabase(folder.db, folder.dir.path());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, "");
  EXPECT_EQ(folder.Saved(), kSample);
  EXPECT_EQ(ReadFile(folder.dir.File(kBackupFile)), kSample);
  EXPECT_FALSE(Exists(folder.dir.File(kTemporaryFile)));
  EXPECT_FALSE(folder.db.IsChanged());
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Lorelist Version 1.1", "Lorelist Version 1.1 - Unchanged"}));
  EXPECT_EQ(test::WrittenDatabase(DatabaseFolder(folder.Saved()).db), kSample);
}

// Codes come from the nodes' positions as they are written; references follow
// their nodes.
TEST(WriteDatabase, RenumbersAfterADeletionAndTheReferencesFollow) {
  Database db;
  test::LoadBytes(db, CrLf({"@Q1 a", "@Q2 b", "@Q3 c", "@Q3.1 c1", "@@", "@C1 cat", "@Sx", "@Sy",
                            "@R3.1 to c1", "@R3 to c", "@R1 to a"}));
  db.quotations.DeleteItem(test::NodeAt(db.quotations, "2"));
  EXPECT_EQ(test::WrittenDatabase(db), CrLf({"@Q1 a", "@Q2 c", "@Q2.1 c1", "@@", "@C1 cat", "@Sx",
                                             "@Sy", "@R2.1 to c1", "@R2 to c", "@R1 to a"}));
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
      {InjectedOps::kWrite, 77, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
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
    DatabaseFolder folder(kSample);
    const std::string temporary = folder.dir.File(kTemporaryFile);
    const std::string backup = folder.dir.File(kBackupFile);
    WriteFile(backup, "older");
    if (c.step == InjectedOps::kNone) std::filesystem::create_directory(temporary);
    folder.Change();
    InjectedOps ops;
    ops.step = c.step;
    ops.bytesBeforeFailure = c.bytes;
    ops.error = c.error;
    const SaveResult result = SaveDatabase(folder.db, folder.dir.path(), ops);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, At(c.message, folder.File()));
    EXPECT_EQ(folder.Saved(), kSample);
    EXPECT_EQ(ReadFile(backup), "older");
    EXPECT_EQ(Exists(temporary), c.step == InjectedOps::kNone);
    EXPECT_FALSE(Exists(folder.dir.File(kKeepFile)));
    EXPECT_TRUE(folder.db.IsChanged());

    std::filesystem::remove(temporary);
    ASSERT_TRUE(SaveDatabase(folder.db, folder.dir.path()).ok);
    EXPECT_EQ(ReadFile(backup), kSample);
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
    DatabaseFolder folder(kSample);
    const std::string backup = folder.dir.File(kBackupFile);
    if (c.linked)
      std::filesystem::create_hard_link(folder.File(), backup);
    else
      WriteFile(backup, "older");
    folder.Change();
    InjectedOps ops;
    ops.step = c.step;
    ops.error = c.error;
    const SaveResult result = SaveDatabase(folder.db, folder.dir.path(), ops);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, At(c.message, folder.File()));
    EXPECT_TRUE(HoldsTheChange(folder.Saved()));
    EXPECT_EQ(ReadFile(backup), c.backup ? std::string(c.backup) : kSample);
    EXPECT_EQ(Exists(folder.dir.File(kKeepFile)) ? ReadFile(folder.dir.File(kKeepFile)) : "",
              c.kept ? kSample : "");
    EXPECT_FALSE(folder.db.IsChanged());
  }
}

}  // namespace
}  // namespace lorelist
