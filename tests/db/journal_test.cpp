#include "db/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/checksum.h"
#include "db/save.h"
#include "support/fixtures.h"
#include "support/random_edits.h"

namespace lorelist {
namespace {

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
    JournalContents found = Journal::Read(journal.Path(), into);
    const size_t replayed = Journal::Replay(into, found.records);
    if (made) *made = replayed;
    EXPECT_EQ(test::CheckConsistency(into, test::EntryOrder::kAnyAmongEquals), "");
    return found;
  }
  // Another window's journal of the same folder, as the next start finds it.
  std::unique_ptr<Journal> Next() {
    auto next = std::make_unique<Journal>(dir.path());
    next->SetMessageHook([this](const std::string& message) { told.push_back(message); });
    return next;
  }
  HTREEITEM First(Tree tree) { return db.Of(tree).GetRootItem(); }
  std::string Header() const { return Journal::Line(Journal::HeaderFor(db.disk, db.encoding)); }

  test::TempDir dir;
  Database db;
  Journal journal{dir.path()};
  std::vector<std::string> told;
};

TEST_F(JournalTest, ReplayingTheJournalGivesTheSameDatabaseUndoAndRedoIncluded) {
  test::RandomEdits edits(db, 11, true, true);
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
  const std::string file = ReadFile(File());
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(Checksum::Of(file.data(), file.size())));
  EXPECT_NE(text.find(" Lorelist journal 1 " + std::to_string(file.size()) + " " + hex + "\n"),
            std::string::npos);
  EXPECT_NE(text.find(" update Q 1 back\\\\slash\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  struct stat st;
  ASSERT_EQ(::stat(journal.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(JournalTest, SavingRemovesItAndTheNextEditStartsOneForTheSavedFile) {
  ASSERT_EQ(db.MoveNode(Tree::kQuotations, First(Tree::kQuotations),
                        db.quotations.GetChildAt(nullptr, 1), 0),
            "");
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
  test::LoadBytes(older, ReadFile(dir.File(kBackupFile)));
  EXPECT_EQ(Journal::Read(journal.Path(), older).status, JournalContents::kOtherFile);
}

// A restore makes the edits up to a torn last line, which is what a crash
// leaves, or up to a damaged or refused record, which it tells, keeping the
// whole journal aside; the journal then goes on from what was restored.
TEST_F(JournalTest, ARestoreStopsAtDamageAndTheJournalGoesOnFromWhatItRestored) {
  db.SetJournal(nullptr);
  const std::string first = Header() + Journal::Line("update Q 1 first");
  const std::string third = Journal::Line("update Q 2 third");
  std::string damaged = Journal::Line("update Q 1 damaged");
  damaged[20] ^= 1;
  const struct {
    const char* what;
    std::string journal;
    size_t offered, made;
  } cases[] = {
      {"torn", first + third + "0123456789abcdef update Q 1 cut of", 2, 2},
      {"its checksum failing", first + third + "0123456789abcdef update Q 1 z\n", 2, 2},
      {"damaged", first + damaged + third, 1, 1},
      {"refused", first + Journal::Line("update Q 1 ends with -") + third, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    told.clear();
    std::filesystem::remove(dir.File(kJournalAsideFile));
    WriteFile(journal.Path(), c.journal);
    Database restored;
    Load(restored);
    std::unique_ptr<Journal> next = Next();
    restored.SetJournal(next.get());
    EXPECT_EQ(next->Recover(restored, [&](size_t n) { return n == c.offered; }), c.made);
    EXPECT_EQ(restored.quotations.GetItemText(restored.quotations.GetRootItem()), "first");
    if (c.made < 2) {
      EXPECT_EQ(told, std::vector<std::string>{
                          "The recovery journal " + journal.Path() +
                          " is damaged after its first 1 change: only those were restored. The "
                          "whole journal was kept as " +
                          dir.File(kJournalAsideFile) + "."});
      EXPECT_EQ(ReadFile(dir.File(kJournalAsideFile)), c.journal);
    } else {
      EXPECT_TRUE(told.empty());
    }
    ASSERT_EQ(restored.UpdateText(Tree::kQuotations, restored.quotations.GetRootItem(), "after"),
              "");
    restored.SetJournal(nullptr);
    Database again;
    size_t made = 0;
    EXPECT_FALSE(Recover(again, &made).damaged);
    EXPECT_EQ(made, c.made + 1);
    EXPECT_EQ(Content(again), Content(restored));
  }
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenIsToldOnceAndEditingGoesOn) {
  // Never written over what is there: a journal kept from before is not this
  // run's to drop.
  WriteFile(journal.Path(), "kept from before\n");
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "x"), "");
  EXPECT_EQ(told.size(), 1u);
  EXPECT_EQ(ReadFile(journal.Path()), "kept from before\n");
  told.clear();
  std::filesystem::remove(journal.Path());
  journal.Discard();

  ASSERT_EQ(::mkdir(journal.Path().c_str(), 0700), 0);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), std::to_string(i)), "");
  EXPECT_EQ(told, std::vector<std::string>{
                      "Cannot write the recovery journal " + journal.Path() +
                      ": Is a directory. Editing and saving go on, but the changes made after "
                      "the last save could not be restored after a crash."});
  EXPECT_TRUE(SaveDatabase(db, dir.path()).ok);
  // After the save, a new run of failures: told again.
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "after"), "");
  EXPECT_EQ(told.size(), 2u);
  journal.Discard();  // leaves the folder of that name alone
  EXPECT_TRUE(std::filesystem::is_directory(journal.Path()));
  EXPECT_EQ(Journal::Read(journal.Path(), db).status, JournalContents::kUnreadable);
  EXPECT_EQ(Journal::Read(dir.File("none"), db).status, JournalContents::kNone);
}

// A journal that is not replayed is removed when it holds nothing; any other
// is set aside under a name of its own, never over one set aside before,
// told with that name, and left there by saves: only the window that wrote
// a journal removes it.
TEST_F(JournalTest, AJournalNotReplayedIsSetAsideByNameOrRemovedIfItHoldsNothing) {
  db.SetJournal(nullptr);
  const std::string file = ReadFile(File());
  const std::string edit = Journal::Line("update Q 1 restored?");
  std::string damagedFirst = Header() + edit;
  damagedFirst[18] ^= 1;  // in "Lorelist": its checksum no longer holds
  const std::string path = journal.Path();
  struct Case {
    const char* what;
    std::string journal;  // empty: one that fits the file as loaded
    std::string file;     // Florilex.txt as the next start finds it
    std::string message;  // %: where it went; empty: removed, nothing told
  } cases[] = {
      {"empty", "", file, ""},
      {"the first line alone", Header(), file, ""},
      {"loaded in part", "", file + "stray line\r\n", PartlyLoadedMessage(path, "%")},
      {"first line damaged", damagedFirst, file,
       UnreadableMessage(path, "its first line is damaged", "%")},
      {"another version", Header() + edit, file + "@C99 elsewhere\r\n",
       OtherFileMessage(path, "%")},
      // Its checksums are another program's: a journal of another version.
      {"an earlier program's", "0123456789abcdef" + Header().substr(16) + edit, file,
       OtherFileMessage(path, "%")},
      // The same file read as UTF-8: its texts are another encoding's.
      {"of the other encoding", Journal::Line(Journal::HeaderFor(db.disk, Encoding::kUtf8)) + edit,
       file, OtherFileMessage(path, "%")},
      {"not a journal", "plain words\n", file,
       UnreadableMessage(path, "it is not a recovery journal", "%")},
      {"its first line cut", "0123456789abcdef Lorelist jour", file,
       UnreadableMessage(path, "it is not a recovery journal", "%")},
  };
  std::vector<std::string> aside;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    told.clear();
    WriteFile(File(), c.file);
    Database loaded;
    LoadDatabase(loaded, File());
    const bool fits = c.journal.empty() && !c.message.empty();
    WriteFile(path, fits ? Journal::Line(Journal::HeaderFor(loaded.disk, loaded.encoding)) + edit
                         : c.journal);
    const std::string kept = ReadFile(path);
    std::unique_ptr<Journal> next = Next();
    loaded.SetJournal(next.get());
    EXPECT_EQ(next->Recover(loaded, [](size_t) -> bool { throw "never offered"; }), 0u);
    EXPECT_FALSE(test::Exists(path));
    if (c.message.empty()) {
      EXPECT_TRUE(told.empty());
      continue;
    }
    aside.push_back(dir.File(
        aside.empty() ? "LorJournal.old" : "LorJournal." + std::to_string(aside.size()) + ".old"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], c.message.replace(c.message.rfind('%'), 1, aside.back()));
    // Edited and saved: the journal of this run comes and goes, the one set
    // aside stays.
    ASSERT_EQ(loaded.UpdateText(Tree::kQuotations, loaded.quotations.GetRootItem(), "x"), "");
    ASSERT_TRUE(SaveDatabase(loaded, dir.path()).ok);
    loaded.SetJournal(nullptr);
    EXPECT_FALSE(test::Exists(path));
    EXPECT_EQ(ReadFile(aside.back()), kept);
  }
  for (const std::string& earlier : aside) EXPECT_TRUE(test::Exists(earlier));
}

// A journal that the version before this one left, its lines summed by that
// version's checksum, is offered like any other and goes on being written so
// until the next save.
TEST_F(JournalTest, AJournalOfThePreviousVersionIsOfferedAndGoesOn) {
  const std::string data = LORELIST_DB_DATA "/previous-version/";
  WriteFile(File(), ReadFile(data + kDatabaseFile));
  WriteFile(journal.Path(), ReadFile(data + kJournalFile));
  Database loaded;
  Load(loaded);
  std::unique_ptr<Journal> next = Next();
  loaded.SetJournal(next.get());
  size_t offered = 0;
  EXPECT_EQ(next->Recover(loaded, [&](size_t changes) { return offered = changes; }), 4u);
  EXPECT_EQ(offered, 4u);
  EXPECT_EQ(loaded.quotations.GetItemText(loaded.quotations.GetRootItem()), "Seneca the Younger");
  ASSERT_EQ(loaded.DeleteReference(loaded.categories.GetRootItem(), 0), "");

  Database recovered;
  Load(recovered);
  const JournalContents again = Journal::Read(journal.Path(), recovered, File());
  EXPECT_TRUE(again.previous);
  EXPECT_EQ(again.records.size(), 5u);
  EXPECT_EQ(Journal::Replay(recovered, again.records), 5u);
  EXPECT_EQ(Content(recovered), Content(loaded));
  EXPECT_TRUE(told.empty());
}

// Saving removes the journal this window wrote, and nothing else of that name.
TEST_F(JournalTest, OnlyTheJournalThisWindowWroteIsRemoved) {
  WriteFile(journal.Path(), "somebody else's\n");
  Next()->Discard();
  EXPECT_EQ(ReadFile(journal.Path()), "somebody else's\n");
  std::filesystem::remove(journal.Path());

  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "mine"), "");
  // Replaced meanwhile by another file: that one stays.
  std::filesystem::remove(journal.Path());
  WriteFile(journal.Path(), "put there later\n");
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_EQ(ReadFile(journal.Path()), "put there later\n");
}

// Until a complete save makes the file equal to the database: from then on
// it is journalled, and saved without the question, as any loaded one.
TEST_F(JournalTest, APartlyLoadedDatabaseKeepsNoJournalAndSaysSoOnceTillItIsSaved) {
  db.partlyLoaded = true;
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "a"), "");
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "b"), "");
  EXPECT_FALSE(test::Exists(journal.Path()));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("loaded only in part"), std::string::npos);

  EXPECT_EQ(CheckSave(db, dir.path()).questions, std::vector<std::string>{kPartlyLoadedQuestion});
  ASSERT_TRUE(SaveDatabase(db, dir.path()).ok);
  EXPECT_TRUE(CheckSave(db, dir.path()).questions.empty());
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, First(Tree::kQuotations), "c"), "");
  Database recovered;
  EXPECT_EQ(Recover(recovered).status, JournalContents::kApplies);
  EXPECT_EQ(Content(recovered), Content(db));
  EXPECT_EQ(told.size(), 1u);
}

// A record alone on the file as loaded: one that does not fit the database
// (a tree, a code, a place or an escape that is not there, a node deleted
// with children, a move into its own subtree), or that its edits refuse,
// makes nothing and changes nothing. What an undo
// past a save puts back is what the database held, which the file may hold
// (empty texts, a lone CR): it is made, and saves and loads again.
TEST_F(JournalTest, ARecordThatDoesNotFitOrIsRefusedChangesNothing) {
  db.SetJournal(nullptr);
  const std::string before = Content(db);
  // One a line, each ended by "|" so that a final blank shows.
  std::vector<std::string> refused;
  std::istringstream lines(ReadFile(LORELIST_DB_DATA "/refused-records.txt"));
  for (std::string line; std::getline(lines, line);)
    refused.push_back(line.substr(0, line.size() - 1));
  ASSERT_GT(refused.size(), 20u);
  for (const std::string& record : refused) {
    SCOPED_TRACE(record);
    EXPECT_EQ(Journal::Replay(db, {record}), 0u);
    EXPECT_EQ(Content(db), before);
  }
  for (const char* record : {"undo insert Q - 0 ", "undo update Q 1 lone\\rCR",
                             "undo addref 1 0 1 ", "undo addsubj 1 0 end "}) {
    SCOPED_TRACE(record);
    Database restored;
    Load(restored);
    EXPECT_EQ(Journal::Replay(restored, {record}), 1u);
    const std::string written = WrittenDatabase(restored);
    EXPECT_EQ(WrittenDatabase(test::DatabaseFolder(written).db), written);
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
