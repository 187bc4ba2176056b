// Editing from the window: the New, Update and Delete commands and their
// dialogs, references and subject entries, moves by keys and by drag and
// drop, undo and redo.

#include <QAction>
#include <QListWidget>
#include <QPlainTextEdit>

#include "app/command_table.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

class EditingTest : public FrameTest {
 protected:
  // Everything a refused command must leave as it was.
  std::string Snapshot() {
    return Contents(frame->Db()) + "|" + frame->windowTitle().toStdString() + "|" +
           std::to_string(frame->Db().subjects.GetCount());
  }
  QString ActionText(int id) { return frame->Action(id)->text(); }
  bool Enabled(int id) { return frame->Action(id)->isEnabled(); }
  void UndoKeys(QWidget* at, Qt::Key key = Qt::Key_Z) {
    QTest::keyClick(at, key, Qt::ControlModifier | Qt::ShiftModifier);
  }
};

// The new node goes where the dialog's placement says, becomes the selected
// node, current and marked; below a collapsed node opens it.
TEST_F(EditingTest, ANewNodeGoesWhereTheDialogSaysAndIsSelected) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  Click(tree, Quotation("1.1.1"));
  NewNode("Nouvelle", Placement::kBefore);
  Keys(Qt::Key_G);
  HTREEITEM node = Quotation("1.1.1");
  EXPECT_EQ(frame->Db().quotations.GetItemText(node), "Nouvelle");
  EXPECT_EQ(Panes().selectedQuotation, node);
  EXPECT_EQ(frame->windowTitle(), kChanged);

  tree.collapseAll();
  Click(tree, Quotation("1.1.3"));
  NewNode("Only child", Placement::kBelow);
  Keys(Qt::Key_G);
  EXPECT_EQ(NodeCode(Panes().selectedQuotation), "1.1.3.1");
  EXPECT_TRUE(tree.isExpanded(tree.Model().IndexOf(Quotation("1.1.3"))));

  // The placement boxes exclude each other; none ticked is After.
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& node = dynamic_cast<NewNodeDialog&>(dialog);
    QTest::keyClicks(&dynamic_cast<CNewQuoteNode&>(dialog).Edit(), "x");
    QTest::mouseClick(&node.BelowBox(), Qt::LeftButton);
    QTest::mouseClick(&node.PrecedeBox(), Qt::LeftButton);
    EXPECT_FALSE(node.BelowBox().isChecked());
    EXPECT_TRUE(node.PrecedeBox().isChecked());
    QTest::mouseClick(&node.PrecedeBox(), Qt::LeftButton);
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_G);
  EXPECT_EQ(NodeCode(Panes().selectedQuotation), "1.1.3.2");

  // A new category shows its (empty) references.
  Click(Panes().Categories(), Category("2"));
  NewNode("Brevity");
  Keys(Qt::Key_I);
  EXPECT_EQ(Panes().selectedCategory, Category("3"));
}

// No selection: no dialog. In the dialog a refusal keeps it open over what
// was typed, Enter presses OK, Ctrl+Enter is a line break, a character the
// set lacks is named, and Cancel changes nothing.
TEST_F(EditingTest, NewNodeRefusesInItsDialogAndCancelChangesNothing) {
  Open();
  const std::string before = Snapshot();
  Keys(Qt::Key_G);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a quotation node"});
  EXPECT_TRUE(modal.dialogScripts.empty());

  Click(Panes().Quotations(), Quotation("1.1"));
  modal.dialogScripts.push_back([&](QDialog& dialog) {
    auto& node = dynamic_cast<CNewQuoteNode&>(dialog);
    QTest::keyClicks(&node.Edit(), "text");
    QTest::mouseClick(&node.BelowBox(), Qt::LeftButton);
    QTest::keyClick(&node.Edit(), Qt::Key_Return);  // 1.1 has children
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(modal.shown.back().parent, &dialog);
    QTest::keyClick(&node.Edit(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(&node.Edit(), "more");
    EXPECT_EQ(node.Edit().toPlainText(), "text\nmore");
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);  // the break stays one
    EXPECT_TRUE(dialog.isVisible());
    node.Edit().setPlainText(QString::fromUtf8("\u4e2d"));
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(&node.CancelButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_G);
  ASSERT_EQ(modal.Messages().size(), 4u);
  EXPECT_EQ(modal.Messages()[2],
            "A text cannot contain line breaks: the database file keeps each text on one line.");
  EXPECT_EQ(modal.Messages().back(),
            QString::fromUtf8("The character '\u4e2d' cannot be stored in the database."));
  EXPECT_EQ(Snapshot(), before);
}

// The Workspace's text goes to the selected node of the tree it was loaded
// from, blanks and all, whichever node that was.
TEST_F(EditingTest, UpdateTakesTheWorkspaceIntoTheSelectedNode) {
  Open();
  DoubleClick(Panes().Quotations(), Quotation("1.1.1"));
  Click(Panes().Quotations(), Quotation("1.1.2"));
  CReference& workspace = Panes().Workspace();
  workspace.SetText("  edited, blanks kept ");
  Click(Panes().Categories(), Category("2"));
  Keys(Qt::Key_L);  // loaded from a quotation: not for a category
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a category"});
  Keys(Qt::Key_K);
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1.1.2")), "  edited, blanks kept ");
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1.1.1")), "Que sais-je?");

  DoubleClick(Panes().Categories(), Category("1.1"));
  workspace.SetText("");
  Click(Panes().Quotations(), Quotation("1"));
  Keys(Qt::Key_K);
  EXPECT_EQ(modal.Messages().back(), "First select a quotation node");
  Keys(Qt::Key_L);
  EXPECT_EQ(frame->Db().categories.GetItemText(Category("1.1")), "");
}

// Every byte a node holds reaches the file as it was, whatever widget the
// text passed through: the Workspace (Update, Add Reference, Copy) and the
// New Quotation Node dialog (typed, pasted). Qt's plain text would make a
// no-break space (0xA0), as French puts before "?", a blank.
TEST_F(EditingTest, EveryByteOfTheSetPassesThroughTheWidgetsUnchanged) {
  std::string every = "All:";
  for (int byte = 0x20; byte <= 0xFF; ++byte) every += static_cast<char>(byte);
  Open(CrLf({"@Q1 " + every, "@@", "@C1 Doubt"}));
  DoubleClick(Panes().Quotations(), Quotation("1"));
  Keys(Qt::Key_K);
  Click(Panes().Categories(), Category("1"));
  Keys(Qt::Key_Z);
  Keys(Qt::Key_A);  // selects the Workspace's text, to be copied and pasted
  Keys(Qt::Key_C);
  Click(Panes().Quotations(), Quotation("1"));
  modal.dialogScripts.push_back([](QDialog& dialog) {
    QPlainTextEdit& edit = dynamic_cast<CNewQuoteNode&>(dialog).Edit();
    QTest::keyClicks(&edit, QString::fromUtf8("Pourquoi\u00a0? "));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_Return);
  });
  Keys(Qt::Key_G);
  EXPECT_TRUE(modal.Messages().empty());
  EXPECT_EQ(SavedFile(), CrLf({"@Q1 " + every, "@Q2 Pourquoi\xA0? " + every, "@@", "@C1 Doubt",
                               "@R1 " + every}));
}

// Empty "Heart" (2) goes: its subject (the dialog stays open until one is
// highlighted), then its reference, whose text stays in the Workspace as its
// quotation's, to be added to another category; then the category. A
// quotation referenced nowhere goes at once.
TEST_F(EditingTest, ReferencesComeOffAndMoveThenTheNodesGo) {
  Open();
  Click(Panes().Categories(), Category("2"));
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& del = dynamic_cast<CDelSubj&>(dialog);
    QTest::mouseClick(&del.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    del.List().setCurrentRow(0);
    QTest::mouseClick(&del.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_E);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"Select one of the subject index entries"});
  Keys(Qt::Key_J);
  EXPECT_EQ(modal.Messages().back(), "This category has references. Delete those first.");
  Panes().References().SetCurSel(0);
  Keys(Qt::Key_D);
  EXPECT_EQ(Panes().Workspace().GetText(), "reasons");
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kQuotationNode);
  EXPECT_EQ(Panes().Derivation().GetCount(), 2);
  Keys(Qt::Key_J);
  EXPECT_EQ(frame->Db().categories.GetCount(), 2u);

  Click(Panes().Categories(), Category("1.1"));
  Keys(Qt::Key_Z);
  const CategoryRecord* wager = frame->Db().Record(Category("1.1"));
  ASSERT_EQ(wager->referenceTexts.size(), 2u);
  EXPECT_EQ(std::string_view(wager->referenceTexts[1]), "reasons");
  EXPECT_EQ(wager->referenceTargets[1], Quotation("2.1.1"));
  Keys(Qt::Key_D);  // nothing highlighted after the addition
  EXPECT_EQ(modal.Messages().back(), "First select a reference");
  Click(Panes().Quotations(), Quotation("1.1.2"));
  Keys(Qt::Key_H);
  EXPECT_EQ(frame->Db().quotations.GetChildCount(Quotation("1.1")), 1);
  EXPECT_EQ(modal.Messages().size(), 3u);
}

// Add Reference needs a quotation's text in the Workspace; it goes after the
// highlighted line, or last, and ends a Find Reference pass.
TEST_F(EditingTest, AddReferenceInsertsAfterTheHighlightedLine) {
  Open();
  const std::string before = Snapshot();
  Click(Panes().Quotations(), Quotation("1.1.2"));
  DoubleClick(Panes().Categories(), Category("1"));  // the Workspace holds a category's title
  Keys(Qt::Key_Z);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a quotation"});
  EXPECT_EQ(Snapshot(), before);

  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  Panes().Workspace().SetText("appended");
  Keys(Qt::Key_Z);
  Panes().References().SetCurSel(0);
  Panes().Workspace().SetText("second");
  Panes().findReference = {Category("1"), 0};
  Keys(Qt::Key_Z);
  EXPECT_TRUE(Panes().findReference.IsClear());
  EXPECT_EQ(Lines(Panes().References()), QStringList({"the motto", "second", "heart", "appended"}));
  EXPECT_EQ(frame->Db().Record(Category("1"))->referenceTargets[1], Quotation("1.1.2"));
}

// The dialogs list the category's own entries; an entry the file cannot hold
// is refused in the dialog, which stays open over it to be put right.
TEST_F(EditingTest, SubjectEntriesComeAndGoThroughTheirDialogs) {
  Open();
  Click(Panes().Categories(), Category("1.1"));
  modal.dialogScripts.push_back([&](QDialog& d) {
    auto& add = dynamic_cast<CNewSubj&>(d);
    EXPECT_EQ(add.List().count(), 1);
    QTest::keyClicks(&add.Edit(), "Coeur-");
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
    ASSERT_EQ(modal.Messages().size(), 1u);
    EXPECT_EQ(modal.shown.back().parent, &d);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(add.Edit().text(), "Coeur-");
    QTest::keyClick(&add.Edit(), Qt::Key_Backspace);
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
  });
  Keys(Qt::Key_B);
  const SubjectIndexList& index = frame->Db().subjects;
  ASSERT_EQ(index.GetCount(), 5);

  modal.dialogScripts.push_back([](QDialog& d) {
    auto& del = dynamic_cast<CDelSubj&>(d);
    ASSERT_EQ(del.List().count(), 2);
    EXPECT_EQ(del.List().item(0)->text(), "Coeur");  // sorted
    del.List().setCurrentRow(0);
    QTest::mouseClick(&del.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_E);
  EXPECT_EQ(index.GetCount(), 4);
  EXPECT_EQ(frame->Db().Record(Category("1.1"))->subjectEntries,
            std::vector<std::string_view>{"risk"});
}

// The multi-line edit box of the New Quotation Node dialog shows the focus
// frame of the style, as a one-line edit box does.
TEST_F(EditingTest, TheMultiLineEditBoxShowsAFocusFrame) {
  Open();
  CNewQuoteNode dialog(frame->Db(), Quotation("1"), frame.get());
  QPlainTextEdit& edit = dialog.Edit();
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  // The border: the outermost two pixels all round.
  auto border = [&edit] {
    const QImage image = edit.grab().toImage();
    std::vector<QRgb> pixels;
    for (int x = 0; x < image.width(); ++x)
      for (int y : {0, 1, image.height() - 2, image.height() - 1})
        pixels.push_back(image.pixel(x, y));
    return pixels;
  };
  edit.setFocus();
  const auto focused = border();
  QTest::keyClick(&edit, Qt::Key_Tab);  // on to the check box below it
  ASSERT_FALSE(edit.hasFocus());
  EXPECT_NE(border(), focused);
}

// Ctrl+Shift+Z undoes the last edit even in the Workspace, not its text; the
// panes show what the undo gave back.
TEST_F(EditingTest, CtrlShiftZInTheWorkspaceUndoesTheEditNotTheText) {
  Open();
  EXPECT_FALSE(Enabled(cmd::kUndoEdit));
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo\tCtrl+Shift+Z");
  DeleteFirstReference("2");
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Delete Reference\tCtrl+Shift+Z");
  EXPECT_TRUE(Enabled(cmd::kUndoEdit));

  // The deleted reference's text came back to the Workspace; type after it.
  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  workspace.moveCursor(QTextCursor::End);
  QTest::keyClicks(&workspace, " typed");
  ASSERT_EQ(workspace.GetText(), "reasons typed");
  UndoKeys(&workspace);
  EXPECT_EQ(workspace.GetText(), "reasons typed");  // the text is not what it undid
  EXPECT_EQ(Panes().References().GetCount(), 1);
  EXPECT_EQ(Panes().selectedCategory, Category("2"));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("2.1.1"));
  EXPECT_EQ(ActionText(cmd::kRedoEdit), "Redo Delete Reference\tCtrl+Shift+Y");
  EXPECT_FALSE(Enabled(cmd::kUndoEdit));
  UndoKeys(&workspace, Qt::Key_Y);
  EXPECT_EQ(Panes().References().GetCount(), 0);
}

// Dropped onto Pensees: its last child, selected; then out of it and up by
// the keys, the first staying first. A category dropped onto another goes
// in, the branch opened; onto a node's top edge, before it. All undone to
// the state saved, and redone.
TEST_F(EditingTest, NodesMoveByDragAndByKeysAndAreUndone) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  HTREEITEM motto = Quotation("1.1.1");
  ASSERT_TRUE(DragAndDrop(tree, motto, Quotation("2.1")));
  EXPECT_EQ(NodeCode(motto), "2.1.2");
  EXPECT_EQ(Panes().selectedQuotation, motto);
  EXPECT_EQ(tree.GetCurrentItem(), motto);
  EXPECT_EQ(tree.Model().DropHighlight(), motto);
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Move Node\tCtrl+Shift+Z");
  EXPECT_TRUE(Has(SavedFile(), "@R2.1.2 the motto"));

  Click(tree, motto);
  QTest::keyClick(&tree, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(NodeCode(motto), "2.2");
  EXPECT_EQ(ActionText(cmd::kUndoEdit), "Undo Move Out\tCtrl+Shift+Z");
  QTest::keyClick(&tree, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(NodeCode(motto), "2.1");
  QTest::keyClick(&tree, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(NodeCode(motto), "2.1");
  EXPECT_EQ(tree.GetCurrentItem(), motto);

  CCatTree& categories = Panes().Categories();
  HTREEITEM heart = Category("2");
  ASSERT_TRUE(DragAndDrop(categories, heart, Category("1.1")));
  EXPECT_EQ(NodeCode(heart), "1.1.1");
  EXPECT_EQ(Panes().selectedCategory, heart);
  EXPECT_TRUE(categories.isExpanded(categories.Model().IndexOf(Category("1.1"))));
  ASSERT_TRUE(DragAndDrop(categories, heart, Category("1"), true));  // before it: its sibling
  EXPECT_EQ(NodeCode(heart), "1");

  for (int undo = 0; undo < 4; ++undo) UndoKeys(&tree);
  EXPECT_EQ(NodeCode(heart), "2");
  EXPECT_EQ(Panes().selectedCategory, heart);
  EXPECT_EQ(NodeCode(motto), "2.1.2");
  EXPECT_EQ(tree.GetCurrentItem(), motto);
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  Click(tree, Quotation("1"));
  UndoKeys(&tree, Qt::Key_Y);  // redone: the node it moved is selected again
  EXPECT_EQ(Panes().selectedQuotation, motto);
}

// The move keys act in the tree pane that last had the focus; the menu
// items name their tree, whichever had it.
TEST_F(EditingTest, TheKeysMoveInTheTreePaneThatLastHadTheFocus) {
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
  frame->Action(cmd::kMoveQuotationUp)->trigger();
  EXPECT_EQ(frame->Db().quotations.GetItemText(frame->Db().quotations.GetRootItem()), "Pascal");
  EXPECT_EQ(NodeCode(heart), "1.2");
}

}  // namespace
}  // namespace lorelist::test
