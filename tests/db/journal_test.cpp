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
  // Without a first line, nothing says what it is.
  WriteFile(journal.Path(), "");
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kNotAJournal);
  WriteFile(journal.Path(), "0123456789abcdef Lorelist jour");
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kNotAJournal);
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
  // After the save, a new run of failures: told again.
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "after"), "");
  EXPECT_EQ(told.size(), 2u);
  Database fresh;
  Load(fresh);
  EXPECT_EQ(Journal::Read(journal.Path(), fresh.disk).status, JournalContents::kUnreadable);
}

// Every journal that is not restored is moved aside under a name of its
// own, told with that name, and left there by saves: only the window that
// wrote a journal removes it.
TEST_F(JournalTest, AJournalNotRestoredIsSetAsideByNameNeverOverAnotherAndOutlivesSaves) {
  db.SetJournal(nullptr);
  const std::string file = ReadFile(File());
  const std::string edit = Journal::Line("update Q 1 restored?");
  const std::string forThisFile = Journal::Line(Journal::HeaderFor(db.disk)) + edit;
  std::string damagedFirst = forThisFile;
  damagedFirst[0] = damagedFirst[0] == '0' ? '1' : '0';
  struct Case {
    const char* what;
    std::string journal;
    std::string file;     // Florilex.txt as the next start finds it
    std::string message;  // %: where it went
  };
  const std::string path = journal.Path();
  Case cases[] = {
      {"loaded in part", "", file + "stray line\r\n", PartlyLoadedMessage(path, "%")},
      {"first line damaged", damagedFirst, file,
       UnreadableMessage(path, "its first line is damaged", "%")},
      {"another version", forThisFile, file + "@C99 elsewhere\r\n", OtherFileMessage(path, "%")},
      {"not a journal", "plain words\n", file,
       UnreadableMessage(path, "it is not a recovery journal", "%")},
  };
  std::vector<std::string> aside;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    told.clear();
    WriteFile(File(), c.file);
    Database loaded;
    LoadDatabase(loaded, File());
    // A journal that matches the file even as loaded in part.
    WriteFile(path, c.journal.empty() ? Journal::Line(Journal::HeaderFor(loaded.disk)) + edit
                                      : c.journal);
    const std::string kept = ReadFile(path);
    Journal next(dir.path());
    next.SetMessageHook([this](const std::string& message) { told.push_back(message); });
    loaded.SetJournal(&next);
    EXPECT_EQ(next.Recover(loaded, [](size_t) -> bool { throw "never offered"; }), 0u);
    aside.push_back(dir.File(
        aside.empty() ? "LorJournal.old" : "LorJournal." + std::to_string(aside.size()) + ".old"));
    const std::string expected = c.message.replace(c.message.rfind('%'), 1, aside.back());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], expected);
    EXPECT_FALSE(test::Exists(path));
    // Edited and saved: the journal of this run comes and goes, the one set
    // aside stays.
    ASSERT_EQ(loaded.UpdateText(Tree::kQuotations, loaded.quotations.GetRootItem(), "x"), "");
    ASSERT_TRUE(SaveDatabase(loaded, dir.path()).ok);
    loaded.SetJournal(nullptr);
    EXPECT_FALSE(test::Exists(path));
    EXPECT_EQ(ReadFile(aside.back()), kept);
  }
  for (size_t i = 0; i + 1 < aside.size(); ++i) EXPECT_TRUE(test::Exists(aside[i]));
}

// A record that the editor's own edits refuse ends a restore as damage does:
// the edits before it come back, the whole journal is kept aside, and what
// comes back can be saved and loaded again. What an undo puts back is what
// the database held, which a file may hold: empty texts, a lone CR.
TEST_F(JournalTest, ARecordTheEditsRefuseEndsTheRestoreThere) {
  db.SetJournal(nullptr);
  const char* const refused[] = {
      "update Q 1 ends with -", "update Q 1 two\\nlines",  "update Q 1 lone\\rCR",
      "insert Q - 0 ",          "insert C 1 0 ",           "addref 1 0 1 ",
      "addsubj 1 0 end ",       "addref 1 0 1 cut-",       "addsubj 1 0 end two\\nlines",
      "undo update Q 1 back-",  "undo insert Q - 0 a\\nb",
  };
  for (const char* record : refused) {
    SCOPED_TRACE(record);
    const std::string header = Journal::Line(Journal::HeaderFor(db.disk));
    WriteFile(journal.Path(), header + Journal::Line("update Q 1 first") + Journal::Line(record) +
                                  Journal::Line("update Q 2 third"));
    const std::string kept = ReadFile(journal.Path());
    Database restored;
    Load(restored);
    Journal next(dir.path());
    next.SetMessageHook([this](const std::string& message) { told.push_back(message); });
    EXPECT_EQ(next.Recover(restored, [](size_t n) { return n == 3; }), 1u);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], DamagedMessage(journal.Path(), 1, dir.File(kJournalAsideFile)));
    told.clear();
    EXPECT_EQ(ReadFile(dir.File(kJournalAsideFile)), kept);
    EXPECT_EQ(restored.quotations.GetItemText(restored.quotations.GetRootItem()), "first");
    // The journal goes on with what was restored.
    Database again;
    Load(again);
    EXPECT_EQ(Journal::Replay(again, Journal::Read(journal.Path(), again.disk).records), 1u);
    EXPECT_EQ(WrittenDatabase(again), WrittenDatabase(restored));
    WriteFile(dir.File("copy.txt"), WrittenDatabase(restored));
    Database reloaded;
    EXPECT_EQ(LoadDatabase(reloaded, dir.File("copy.txt")).status, LoadResult::kComplete);
    ::unlink(dir.File(kJournalAsideFile).c_str());
    next.Discard();
  }
  // Put back by an undo past a save, what the file can hold is restored.
  for (const char* record : {"undo insert Q - 0 ", "undo update Q 1 lone\\rCR",
                             "undo addref 1 0 1 ", "undo addsubj 1 0 end "}) {
    SCOPED_TRACE(record);
    Database restored;
    Load(restored);
    EXPECT_EQ(Journal::Replay(restored, {record}), 1u);
    WriteFile(dir.File("copy.txt"), WrittenDatabase(restored));
    Database reloaded;
    EXPECT_EQ(LoadDatabase(reloaded, dir.File("copy.txt")).status, LoadResult::kComplete);
    EXPECT_EQ(WrittenDatabase(reloaded), WrittenDatabase(restored));
  }
}

// Saving removes the journal this window wrote, and nothing else of that name.
TEST_F(JournalTest, OnlyTheJournalThisWindowWroteIsRemoved) {
  Journal other(dir.path());
  WriteFile(other.Path(), "somebody else's\n");
  other.Discard();
  EXPECT_EQ(ReadFile(other.Path()), "somebody else's\n");
  ::unlink(other.Path().c_str());

  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "mine"), "");
  ASSERT_TRUE(test::Exists(journal.Path()));
  // Replaced meanwhile by another file: that one stays.
  ::unlink(journal.Path().c_str());
  WriteFile(journal.Path(), "put there later\n");
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_EQ(ReadFile(journal.Path()), "put there later\n");
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
