#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <memory>

#include "app/command_table.h"
#include "db/code_check.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

class UndoMoveTest : public FrameTest {
 protected:
  QString ActionText(int id) { return frame->Action(id)->text(); }
  bool Enabled(int id) { return frame->Action(id)->isEnabled(); }
  std::string SavedFile() {
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    return ReadFile(dir.File("Florilex.txt"));
  }
  static bool Has(const std::string& file, const std::string& line) {
    return file.find("\r\n" + line + "\r\n") != std::string::npos;
  }
  // Double-clicks the category's first reference line and deletes it with
  // its keys: a database edit that needs no dialog.
  void DeleteFirstReference(const std::string& category) {
    Click(Panes().Categories(), Category(category));
    QTest::mouseClick(
        Panes().References().viewport(), Qt::LeftButton, {},
        Panes().References().visualRect(Panes().References().model()->index(0, 0)).center());
    QTest::keyClick(frame.get(), Qt::Key_D, Qt::ControlModifier);
  }
};

TEST_F(UndoMoveTest, CtrlShiftZInTheWorkspaceUndoesTheEditAndAltBackspaceTheText) {
  Open();
  EXPECT_FALSE(Enabled(cmd::kUndoEdit));
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo\tCtrl+Shift+Z");
  DeleteFirstReference("2");
  EXPECT_TRUE(frame->Db().Record(Category("2"))->referenceTexts.empty());
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Delete Reference\tCtrl+Shift+Z");
  EXPECT_TRUE(Enabled(cmd::kUndoEdit));
  EXPECT_FALSE(Enabled(cmd::kRedoEdit));

  // The deleted reference's text came back to the Workspace; type after it.
  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  workspace.moveCursor(QTextCursor::End);
  QTest::keyClicks(&workspace, " typed");
  ASSERT_EQ(workspace.GetText(), "reasons typed");
  QTest::keyClick(&workspace, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(workspace.GetText(), "reasons typed");  // the text is not what it undid
  ASSERT_EQ(frame->Db().Record(Category("2"))->referenceTexts.size(), 1u);
  EXPECT_EQ(Panes().References().GetCount(), 1);
  EXPECT_EQ(Panes().selectedCategory, Category("2"));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("2.1.1"));
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
  EXPECT_EQ(ActionText(cmd::kRedoEdit), "Redo Delete Reference\tCtrl+Shift+Y");
  EXPECT_FALSE(Enabled(cmd::kUndoEdit));

  QTest::keyClick(&workspace, Qt::Key_Backspace, Qt::AltModifier);
  EXPECT_NE(workspace.GetText(), "reasons typed");

  QTest::keyClick(&workspace, Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(frame->Db().Record(Category("2"))->referenceTexts.empty());
  EXPECT_EQ(Panes().References().GetCount(), 0);
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1");
}

TEST_F(UndoMoveTest, MovingAReferencedQuotationRenumbersItsReferencesOnSave) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  HTREEITEM motto = Quotation("1.1.1");
  // Onto Pascal's Pensees: its last child, with the note below it.
  ASSERT_TRUE(DragAndDrop(tree, motto, Quotation("2.1")));
  EXPECT_EQ(NodeCode(motto), "2.1.2");
  EXPECT_EQ(Panes().selectedQuotation, motto);
  EXPECT_EQ(tree.GetCurrentItem(), motto);
  EXPECT_EQ(tree.Model().DropHighlight(), motto);
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Move Node\tCtrl+Shift+Z");
  const std::string saved = SavedFile();
  EXPECT_TRUE(Has(saved, "@Q2.1.2 Que sais-je?"));
  EXPECT_TRUE(Has(saved, "@Q2.1.2.1 A note three levels deep"));
  EXPECT_TRUE(Has(saved, "@Q1.1.1 Le monde n'est qu'une branloire p\xE9renne."));
  EXPECT_TRUE(Has(saved, "@R2.1.2 the motto"));
  EXPECT_TRUE(Has(saved, "@R2.1.2.1 deep"));
  EXPECT_TRUE(Has(saved, "@R2.1.1 heart"));

  // With the keys: out of Pensees, then up above Pascal.
  Click(tree, motto);
  QTest::keyClick(&tree, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(NodeCode(motto), "2.2");
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Move Out\tCtrl+Shift+Z");
  QTest::keyClick(&tree, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(NodeCode(motto), "2.1");
  QTest::keyClick(&tree, Qt::Key_Up, Qt::AltModifier);  // the first already: nothing
  EXPECT_EQ(NodeCode(motto), "2.1");
  EXPECT_EQ(tree.GetCurrentItem(), motto);
  // Undone to the state saved, the title says so.
  QTest::keyClick(&tree, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(&tree, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(NodeCode(motto), "2.1.2");
  EXPECT_EQ(tree.GetCurrentItem(), motto);
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
}

TEST_F(UndoMoveTest, TheKeysMoveInTheTreePaneThatLastHadTheFocus) {
  Open();
  HTREEITEM heart = Category("2");
  Click(Panes().Categories(), heart);
  Click(Panes().Quotations(), Quotation("2"));
  Click(Panes().Categories(), heart);
  QTest::mouseClick(Panes().Workspace().viewport(), Qt::LeftButton);
  QTest::keyClick(&Panes().Workspace(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(NodeCode(heart), "1.2");
  EXPECT_EQ(NodeCode(Quotation("2")), "2");
  EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kWorkspace);
  // The menu items name their tree, whichever had the focus.
  frame->Action(cmd::kMoveQuotationUp)->trigger();
  EXPECT_EQ(frame->Db().quotations.GetItemText(frame->Db().quotations.GetRootItem()), "Pascal");
  EXPECT_EQ(NodeCode(heart), "1.2");
}

TEST_F(UndoMoveTest, DragAndDropMovesACategoryIntoAnotherButNotIntoItself) {
  Open();
  CCatTree& tree = Panes().Categories();
  HTREEITEM heart = Category("2");
  ASSERT_TRUE(DragAndDrop(tree, heart, Category("1.1")));
  EXPECT_EQ(NodeCode(heart), "1.1.1");
  EXPECT_EQ(Panes().selectedCategory, heart);
  EXPECT_EQ(tree.Model().DropHighlight(), heart);
  EXPECT_TRUE(tree.isExpanded(tree.Model().IndexOf(Category("1.1"))));

  // Before a node: its sibling there.
  ASSERT_TRUE(DragAndDrop(tree, heart, Category("1"), true));
  EXPECT_EQ(NodeCode(heart), "1");
  // Into its own subtree: refused, nothing moves.
  HTREEITEM doubt = Category("2");
  modal.shown.clear();
  DragAndDrop(tree, doubt, Category("2.1"));
  EXPECT_EQ(NodeCode(doubt), "2");
  if (!modal.Messages().empty()) {
    EXPECT_EQ(modal.Messages().back(), "A node cannot be moved into its own subtree.");
  }

  // Both moves undone: the tree as it was loaded.
  frame->Action(cmd::kUndoEdit)->trigger();
  frame->Action(cmd::kUndoEdit)->trigger();
  EXPECT_EQ(NodeCode(heart), "2");
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
  EXPECT_EQ(tree.Model().DropHighlight(), heart);
}

TEST_F(UndoMoveTest, UndoingANewNodeLeavesNoPaneOnIt) {
  Open();
  Database& db = frame->Db();
  HTREEITEM made = nullptr;
  ASSERT_EQ(db.InsertNode(Tree::kQuotations, Quotation("2.1.1"), Placement::kAfter, "new", &made),
            "");
  QuoteTree& tree = Panes().Quotations();
  DoubleClick(tree, made);
  ASSERT_EQ(Panes().selectedQuotation, made);
  QTest::keyClick(frame.get(), Qt::Key_T, Qt::ControlModifier);  // Find Reference: none
  modal.shown.clear();
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(db.quotations.IsDetached(made));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("2.1.1"));
  EXPECT_EQ(tree.GetCurrentItem(), Quotation("2.1.1"));
  EXPECT_EQ(tree.Model().DropHighlight(), Quotation("2.1.1"));
  EXPECT_TRUE(Panes().findReference.IsClear());
  // Every command works on what is there.
  QTest::keyClick(frame.get(), Qt::Key_R, Qt::ControlModifier);  // Count References
  EXPECT_EQ(modal.Messages().size(), 1u);
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Panes().selectedQuotation, made);
  EXPECT_EQ(tree.GetCurrentItem(), made);
}

}  // namespace
}  // namespace lorelist::test
