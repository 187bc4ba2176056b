#include <QAction>
#include <filesystem>
#include <set>

#include "app/command_table.h"
#include "db/journal.h"
#include "db/save.h"
#include "frame_fixture.h"
#include "support/capture_ops.h"

namespace lorelist::test {
namespace {

class JournalGuiTest : public FrameTest {
 protected:
  std::string Journal() const { return dir.File(kJournalFile); }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.insert(entry.path().filename().string());
    return names;
  }
  // Three edits by their keys: a reference deleted, a node moved, one undone
  // and made again.
  void Edit() {
    Click(Panes().Categories(), Category("2"));
    QTest::mouseClick(
        Panes().References().viewport(), Qt::LeftButton, {},
        Panes().References().visualRect(Panes().References().model()->index(0, 0)).center());
    QTest::keyClick(frame.get(), Qt::Key_D, Qt::ControlModifier);
    Click(Panes().Quotations(), Quotation("2"));
    QTest::keyClick(&Panes().Quotations(), Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
  }
  // The window goes without closing, as in a crash.
  void Crash() { frame.reset(); }
};

TEST_F(JournalGuiTest, AfterACrashYesRestoresTheEditsAndUndoWorksOverThem) {
  Open();
  Edit();
  const std::string expected = WrittenDatabase(frame->Db());
  ASSERT_TRUE(Exists(Journal()));
  Crash();

  modal.answers.push_back(Modal::Answer::kYes);
  Open("");
  ASSERT_EQ(modal.shown.size(), 1u);
  EXPECT_EQ(modal.shown[0].kind, "question");
  EXPECT_EQ(modal.shown[0].text,
            "Lorelist was not closed normally. Restore the 4 changes made after the last save?");
  EXPECT_FALSE(modal.shown[0].hadParent);  // before the window appears
  EXPECT_EQ(WrittenDatabase(frame->Db()), expected);
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1");
  EXPECT_EQ(frame->Action(cmd::kUndoEdit)->text(), "Undo Move Node\tCtrl+Shift+Z");

  // The journal goes on from there: one more edit, one more crash.
  frame->Action(cmd::kUndoEdit)->trigger();
  const std::string undone = WrittenDatabase(frame->Db());
  Crash();
  modal.answers.push_back(Modal::Answer::kYes);
  Open("");
  EXPECT_EQ(modal.shown.back().text,
            "Lorelist was not closed normally. Restore the 5 changes made after the last save?");
  EXPECT_EQ(WrittenDatabase(frame->Db()), undone);

  // Saved: the journal is gone, the file holds the edits.
  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(Exists(Journal()));
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), undone);
}

TEST_F(JournalGuiTest, NoSetsTheJournalAsideAndLoadsTheFileAsItIs) {
  Open();
  Edit();
  Crash();
  modal.answers.push_back(Modal::Answer::kNo);
  Open("");
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
  EXPECT_EQ(WrittenDatabase(frame->Db()), kGuiSample);
  EXPECT_FALSE(Exists(Journal()));
  EXPECT_TRUE(Exists(dir.File(kJournalAsideFile)));
  // Closed normally, the next start asks nothing.
  frame->close();
  frame.reset();
  Open("");
  EXPECT_EQ(modal.shown.size(), 1u);
}

TEST_F(JournalGuiTest, AJournalForAnotherVersionOfTheFileIsSetAsideWithAMessage) {
  Open();
  Edit();
  Crash();
  WriteFile(dir.File(kDatabaseFile), kGuiSample + "@C3 Added elsewhere\r\n");
  Open("");
  ASSERT_EQ(modal.Messages().size(), 1u);
  EXPECT_EQ(modal.Messages()[0],
            QString::fromStdString("The recovery journal " + Journal() +
                                   " holds changes made to another version of Florilex.txt, so "
                                   "they cannot be restored. It was set aside as " +
                                   dir.File(kJournalAsideFile) + "."));
  EXPECT_EQ(modal.shown[0].kind, "message");
  EXPECT_FALSE(Exists(Journal()));
  EXPECT_TRUE(Exists(dir.File(kJournalAsideFile)));
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
}

TEST_F(JournalGuiTest, ANormalRunLeavesTheUsualNamesOnly) {
  Open();
  Edit();
  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(Exists(Journal()));
  Edit();
  ASSERT_TRUE(Exists(Journal()));
  // No at the close guard gives the edits up, and their journal with them.
  modal.answers.push_back(Modal::Answer::kNo);
  frame->close();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(Names(), (std::set<std::string>{kDatabaseFile, kBackupFile}));
}

TEST_F(JournalGuiTest, ASecondWindowOnTheFolderNeitherOffersNorWritesTheJournal) {
  Open();
  Edit();
  const std::string journal = ReadFile(Journal());
  CMainFrame second(dir.path());
  ASSERT_EQ(modal.Messages().size(), 1u);  // the warning that the folder is open
  EXPECT_EQ(second.Db().quotations.GetCount(), frame->Db().quotations.GetCount());
  HTREEITEM first = second.Db().quotations.GetRootItem();
  ASSERT_EQ(second.Db().UpdateText(Tree::kQuotations, first, "elsewhere"), "");
  EXPECT_EQ(ReadFile(Journal()), journal);
  second.Db().ClearChanged();
}

}  // namespace
}  // namespace lorelist::test
