#include "db/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/checksum.h"
#include "db/load.h"
#include "db/save.h"
#include "support/random_edits.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::RandomEdits;
using test::ReadFile;
using test::WriteFile;
using test::WrittenDatabase;

// The state without the changed flag: a replayed database is changed.
std::string Content(const Database& db) {
  std::string state = test::State(db);
  return state.substr(0, state.rfind('\n') + 1);
}

// A folder with a generated database saved as Florilex.txt, loaded, and the
// journal beside it.
class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Database generated;
    GenerateDatabase(generated, 120, 7);
    WriteFile(File(), WrittenDatabase(generated));
    Load(db);
    journal.SetMessageHook([this](const std::string& message) { told.push_back(message); });
    db.SetJournal(&journal);
  }
  std::string File() const { return dir.File(kDatabaseFile); }
  void Load(Database& into) { ASSERT_EQ(LoadDatabase(into, File()).status, LoadResult::kComplete); }
  // A fresh load of the file with the journal's edits made again.
  JournalContents Recover(Database& into, size_t* made = nullptr) {
    Load(into);
    JournalContents found = Journal::Read(journal.Path(), into.disk);
    const size_t replayed = Journal::Replay(into, found.records);
    if (made) *made = replayed;
    EXPECT_EQ(test::CheckConsistency(into, test::EntryOrder::kAnyAmongEquals), "");
    return found;
  }
  HTREEITEM First(Tree tree) { return db.Of(tree).GetRootItem(); }

  test::TempDir dir;
  Database db;
  Journal journal{dir.path()};
  std::vector<std::string> told;
};

TEST_F(JournalTest, ReplayingTheJournalGivesTheSameDatabaseUndoAndRedoIncluded) {
  RandomEdits edits(db, 11, true);
  for (int i = 0; i < 600; ++i) edits.Step();
  ASSERT_GT(db.UndoCount(), 50u);
  Database recovered;
  size_t made = 0;
  const JournalContents found = Recover(recovered, &made);
  EXPECT_EQ(found.status, JournalContents::kApplies);
  EXPECT_EQ(made, found.records.size());
  EXPECT_FALSE(found.damaged);
  EXPECT_EQ(Content(recovered), Content(db));
  EXPECT_TRUE(recovered.IsChanged());
  // Undo works over what was replayed, back to the file.
  while (recovered.Undo()) {
  }
  EXPECT_EQ(WrittenDatabase(recovered), ReadFile(File()));
  EXPECT_TRUE(told.empty());
}

TEST_F(JournalTest, ItIsPlainTextOneCheckedRecordALineAndNoMoreOpenThanTheFile) {
  ASSERT_EQ(::chmod(File().c_str(), 0640), 0);
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "back\\slash"), "");
  ASSERT_TRUE(db.Undo());
  const std::string text = ReadFile(journal.Path());
  Checksum sum;
  const std::string file = ReadFile(File());
  sum.Add(file.data(), file.size());
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum.Value()));
  EXPECT_NE(text.find(" Lorelist journal 1 " + std::to_string(file.size()) + " " + hex + "\n"),
            std::string::npos);
  EXPECT_NE(text.find(" update Q 1 back\\\\slash\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  struct stat st;
  ASSERT_EQ(::stat(journal.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(JournalTest, SavingRemovesItAndTheNextEditStartsOneForTheSavedFile) {
  ASSERT_EQ(db.AddSubject(First(Tree::kCategories), "before the save"), "");
  ASSERT_TRUE(test::Exists(journal.Path()));
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_FALSE(test::Exists(journal.Path()));
  // Undo across the save is journalled as the change it makes to the new file.
  ASSERT_TRUE(db.Undo());
  Database recovered;
  EXPECT_EQ(Recover(recovered).status, JournalContents::kApplies);
  EXPECT_EQ(Content(recovered), Content(db));
  // Against the file before the save the journal does not apply.
  Database older;
  WriteFile(dir.File("old.txt"), ReadFile(dir.File(kBackupFile)));
  ASSERT_EQ(LoadDatabase(older, dir.File("old.txt")).status, LoadResult::kComplete);
  EXPECT_EQ(Journal::Read(journal.Path(), older.disk).status, JournalContents::kOtherFile);
  journal.Discard();
  EXPECT_FALSE(test::Exists(journal.Path()));
}

TEST_F(JournalTest, ATornLastRecordIsIgnoredADamagedOneStopsTheReplay) {
  for (int i = 0; i < 6; ++i)
    ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), std::to_string(i)), "");
  const std::string whole = ReadFile(journal.Path());
  db.SetJournal(nullptr);

  WriteFile(journal.Path(), whole + "0123456789abcdef update Q 1 cut of");
  Database torn;
  JournalContents found = Recover(torn);
  EXPECT_EQ(found.status, JournalContents::kApplies);
  EXPECT_EQ(found.records.size(), 6u);
  EXPECT_FALSE(found.damaged);
  // A last line whose checksum fails is torn too.
  WriteFile(journal.Path(), whole + "0123456789abcdef update Q 1 zzz\n");
  EXPECT_EQ(Recover(torn).records.size(), 6u);

  // One changed byte in the fourth record: three edits come back.
  std::string damaged = whole;
  size_t line = 0;
  for (int n = 0; n < 4; ++n) line = damaged.find('\n', line) + 1;
  damaged[damaged.find(" 3\n", line) + 1] = '9';
  WriteFile(journal.Path(), damaged);
  Database partial;
  size_t made = 0;
  found = Recover(partial, &made);
  EXPECT_TRUE(found.damaged);
  EXPECT_EQ(made, 3u);
  EXPECT_EQ(partial.quotations.GetItemText(partial.quotations.GetRootItem()), "2");
  EXPECT_EQ(DamagedMessage("J", 3),
            "The recovery journal J is damaged after its first 3 changes: "
            "only those were restored.");
  // Going on from there cuts the damage away.
  Journal resumed(dir.path());
  resumed.Resume(found, made);
  partial.SetJournal(&resumed);
  ASSERT_EQ(partial.UpdateText(Tree::kQuotations, partial.quotations.GetRootItem(), "after"), "");
  partial.SetJournal(nullptr);
  Database again;
  found = Recover(again, &made);
  EXPECT_FALSE(found.damaged);
  EXPECT_EQ(made, 4u);
  EXPECT_EQ(Content(again), Content(partial));
}

TEST_F(JournalTest, EmptyOrHeaderOnlyJournalsHoldNoEdits) {
  Database fresh;
  Load(fresh);
  WriteFile(journal.Path(), "");
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kNoEdits);
  WriteFile(journal.Path(), "0123456789abcdef Lorelist jour");
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kNoEdits);
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "x"), "");
  EXPECT_EQ(told.size(), 1u);  // the leftover is not this run's to replace
  ::unlink(journal.Path().c_str());
  journal.Discard();
  ASSERT_TRUE(db.Undo());
  ASSERT_TRUE(db.Redo());
  const std::string text = ReadFile(journal.Path());
  WriteFile(journal.Path(), text.substr(0, text.find('\n') + 1));
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kNoEdits);
  EXPECT_EQ(Journal::Read(dir.File("none"), fresh.disk).status, JournalContents::kNone);
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenIsToldOnceAndEditingGoesOn) {
  ASSERT_EQ(::mkdir(journal.Path().c_str(), 0700), 0);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), std::to_string(i)), "");
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], "Cannot write the recovery journal " + journal.Path() +
                         ": Is a directory. Editing and saving go on, but the changes made "
                         "after the last save could not be restored after a crash.");
  EXPECT_TRUE(SaveDatabase(db, dir.path()).ok);
  journal.Discard();  // leaves the folder of that name alone
  struct stat st;
  EXPECT_EQ(::stat(journal.Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  Database fresh;
  Load(fresh);
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kUnreadable);
}

TEST_F(JournalTest, APartlyLoadedDatabaseKeepsNoJournalAndSaysSoOnce) {
  db.partlyLoaded = true;
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "a"), "");
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "b"), "");
  EXPECT_FALSE(test::Exists(journal.Path()));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("loaded only in part"), std::string::npos);
}

TEST_F(JournalTest, RecordsThatDoNotFitStopTheReplayAndChangeNothing) {
  db.SetJournal(nullptr);
  const std::string before = Content(db);
  const char* const misfits[] = {
      "",
      "insert Q - 999 too far",
      "insert X - 0 no such tree",
      "delete Q 1 0",  // a node with children below it
      "delete Q 1.1.1",
      "update Q - top",
      "update Q 1.x text",
      "update Q 1. text",
      "update Q 1",
      "move Q 1 1.1 0",  // into its own subtree
      "move Q 1 - -1",
      "addref 1 99 1 beyond the end",
      "addref 1 0 - no quotation",
      "delref 1 100000",
      "addsubj 1 100000 end x",
      "delsubj 1 100000 0",
      "update Q 1 bad \\escape",
      "unknown 1 2 3",
  };
  for (const char* record : misfits) {
    SCOPED_TRACE(record);
    EXPECT_EQ(Journal::Replay(db, {record}), 0u);
    EXPECT_EQ(Content(db), before);
  }
  // Random words from the vocabulary of records: never a crash, never an
  // inconsistent database.
  const char* const words[] = {"insert",  "delete", "update", "move", "addref", "delref", "addsubj",
                               "delsubj", "Q",      "C",      "-",    "0",      "1",      "2",
                               "1.1",     "1.2.1",  "3",      "end",  "x"};
  std::mt19937 random(5);
  for (int i = 0; i < 3000; ++i) {
    std::string record;
    for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
      record += std::string(record.empty() ? "" : " ") + words[random() % std::size(words)];
    Journal::Replay(db, {record});
  }
  EXPECT_EQ(test::CheckConsistency(db, test::EntryOrder::kAnyAmongEquals), "");
}

}  // namespace
}  // namespace lorelist
