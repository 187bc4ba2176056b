#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/command_table.h"
#include "commands/dialogs.h"
#include "db/file_format.h"
#include "db/save.h"
#include "frame_fixture.h"
#include "support/capture_ops.h"

namespace lorelist::test {
namespace {

// Everything a refused command must leave as it was.
class EditingTest : public FrameTest {
 protected:
  std::string Snapshot() {
    const Database& db = frame->Db();
    std::string counts;
    for (HTREEITEM h = db.quotations.GetRootItem(); h;) {
      counts += std::to_string(db.quotations.GetItemData(h)) + ",";
      if (NextNode(h, db.quotations) == kEndOfWalk) break;
    }
    return WrittenDatabase(db) + counts + "|" + std::to_string(db.referenceTotal) + "|" +
           std::to_string(db.subjectTotal) + "|" + frame->windowTitle().toStdString() + "|" +
           std::to_string(db.subjects.GetCount());
  }

  std::string SavedFile() {
    Keys(Qt::Key_S);
    return ReadFile(dir.File("Florilex.txt"));
  }

  static bool Has(const std::string& file, const std::string& line) {
    return file.find("\r\n" + line + "\r\n") != std::string::npos;
  }
};

// The new node becomes the selected one, current and marked, and the title
// tells the change; a restart reads back what was saved.
TEST_F(EditingTest, ANewNodeIsSelectedAndSavedWhereItStands) {
  Open();
  Click(Panes().Quotations(), Quotation("1.1.1"));
  NewNode("Nouvelle", Placement::kBefore);
  Keys(Qt::Key_G);
  HTREEITEM node = Quotation("1.1.1");
  EXPECT_EQ(frame->Db().quotations.GetItemText(node), "Nouvelle");
  EXPECT_EQ(Panes().selectedQuotation, node);
  EXPECT_EQ(Panes().Quotations().GetCurrentItem(), node);
  EXPECT_EQ(Panes().Quotations().Model().DropHighlight(), node);
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1");
  const std::string saved = SavedFile();
  EXPECT_TRUE(Has(saved, "@R1.1.2 the motto"));
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
  TearDown();
  Open("");
  EXPECT_EQ(SavedFile(), saved);
}

// The dialog's placement reaches the database; below a collapsed node opens it.
TEST_F(EditingTest, TheDialogsPlacementIsTheNewNodesPlace) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  Click(tree, Quotation("1"));
  NewNode("First", Placement::kBefore);
  Keys(Qt::Key_G);
  EXPECT_EQ(frame->Db().quotations.GetItemText(frame->Db().quotations.GetRootItem()), "First");
  tree.collapseAll();
  Click(tree, Quotation("2.1.2"));
  NewNode("Only child", Placement::kBelow);
  Keys(Qt::Key_G);
  EXPECT_EQ(NodeCode(Panes().selectedQuotation), "2.1.2.1");
  EXPECT_TRUE(tree.isExpanded(tree.Model().IndexOf(Quotation("2.1.2"))));
  // A new category shows its (empty) references.
  Click(Panes().Categories(), Category("2"));
  NewNode("Brevity");
  Keys(Qt::Key_I);
  EXPECT_EQ(Panes().selectedCategory, Category("3"));
  EXPECT_EQ(Panes().References().GetCount(), 0);
  EXPECT_TRUE(modal.Messages().empty());
}

TEST_F(EditingTest, CheckBoxesStayExclusive) {
  Open();
  Click(Panes().Quotations(), Quotation("1.1.2"));
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& node = dynamic_cast<NewNodeDialog&>(dialog);
    QTest::keyClicks(&dynamic_cast<CNewQuoteNode&>(dialog).Edit(), "x");
    QTest::mouseClick(&node.BelowBox(), Qt::LeftButton);
    QTest::mouseClick(&node.PrecedeBox(), Qt::LeftButton);
    EXPECT_FALSE(node.BelowBox().isChecked());
    EXPECT_TRUE(node.PrecedeBox().isChecked());
    QTest::mouseClick(&node.PrecedeBox(), Qt::LeftButton);  // back to the default
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_G);
  EXPECT_EQ(NodeCode(Panes().selectedQuotation), "1.1.3");
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
    node.Edit().setPlainText(QString::fromUtf8("\u4e2d"));
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(&node.CancelButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_G);
  ASSERT_EQ(modal.Messages().size(), 3u);
  EXPECT_EQ(modal.Messages().back(),
            QString::fromUtf8("The character '\u4e2d' cannot be stored in the database."));
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(EditingTest, UpdateTakesTheWorkspaceIntoTheSelectedNode) {
  Open();
  QTest::keyClick(frame.get(), Qt::Key_K, Qt::ControlModifier);
  QTest::keyClick(frame.get(), Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(modal.Messages(),
            (std::vector<QString>{"First select a quotation node", "First select a category"}));

  DoubleClick(Panes().Quotations(), Quotation("1.1.1"));
  Click(Panes().Quotations(), Quotation("1.1.2"));  // source stays "quotation node"
  CReference& workspace = Panes().Workspace();
  workspace.SetText("  edited, blanks kept ");
  Click(Panes().Categories(), Category("2"));
  Keys(Qt::Key_L);  // loaded from a quotation: not for a category
  EXPECT_EQ(modal.Messages().back(), "First select a category");
  Keys(Qt::Key_K);
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1.1.2")), "  edited, blanks kept ");
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1.1.1")), "Que sais-je?");
  EXPECT_TRUE(frame->Db().IsChanged());

  DoubleClick(Panes().Categories(), Category("1.1"));
  workspace.SetText("");
  Click(Panes().Quotations(), Quotation("1"));
  Keys(Qt::Key_K);
  EXPECT_EQ(modal.Messages().back(), "First select a quotation node");
  Keys(Qt::Key_L);
  EXPECT_EQ(frame->Db().categories.GetItemText(Category("1.1")), "");
}

TEST_F(EditingTest, ReferencesComeOffThenTheNodesGo) {
  Open();
  // Empty "Heart" (2): its subject, then its reference, then the category.
  Click(Panes().Categories(), Category("2"));
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& del = dynamic_cast<CDelSubj&>(dialog);
    QTest::mouseClick(&del.OkButton(), Qt::LeftButton);  // nothing highlighted
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
  EXPECT_EQ(frame->Db().quotations.GetItemData(Quotation("2.1.1")), 1u);
  Keys(Qt::Key_J);
  EXPECT_EQ(frame->Db().categories.GetCount(), 2u);

  // Pascal's quotation: its last reference, then the node itself.
  Click(Panes().Categories(), Category("1"));
  Panes().References().SetCurSel(1);
  Keys(Qt::Key_D);
  EXPECT_EQ(Panes().selectedQuotation, Quotation("2.1.1"));
  Keys(Qt::Key_H);
  EXPECT_EQ(frame->Db().quotations.GetChildCount(Quotation("2.1")), 0);
  EXPECT_EQ(frame->Db().referenceTotal, 2);
  EXPECT_EQ(frame->Db().subjectTotal, 3);
  const std::string saved = SavedFile();
  EXPECT_FALSE(Has(saved, "@C2 Heart"));
  EXPECT_FALSE(Has(saved,
                   "@Q2.1.1 Le c\x9C"
                   "ur a ses raisons \x80 \x81"));
}

// The Workspace must hold a quotation's text; the reference goes after the
// highlighted line, or last.
TEST_F(EditingTest, AddReferenceInsertsAfterTheHighlightedLine) {
  Open();
  const std::string before = Snapshot();
  Click(Panes().Quotations(), Quotation("1.1.2"));
  DoubleClick(Panes().Categories(), Category("1"));  // Workspace now holds a category title
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
  QStringList lines;
  for (int i = 0; i < Panes().References().GetCount(); ++i)
    lines << Panes().References().GetText(i);
  EXPECT_EQ(lines, QStringList({"the motto", "second", "heart", "appended"}));
  EXPECT_EQ(frame->Db().quotations.GetItemData(Quotation("1.1.2")), 2u);
  EXPECT_EQ(frame->Db().referenceTotal, 6);
  const std::string saved = SavedFile();
  EXPECT_NE(
      saved.find("@R1.1.1 the motto\r\n@R1.1.2 second\r\n@R2.1.1 heart\r\n@R1.1.2 appended\r\n"),
      std::string::npos);
}

TEST_F(EditingTest, AReferenceMovesBetweenCategoriesWithCountsIntact) {
  Open();
  const HTREEITEM target = Quotation("2.1.1");
  const uintptr_t count = frame->Db().quotations.GetItemData(target);
  const int total = frame->Db().referenceTotal;
  Click(Panes().Categories(), Category("2"));
  Panes().References().SetCurSel(0);
  Keys(Qt::Key_D);
  EXPECT_EQ(Panes().Workspace().GetText(), "reasons");
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kQuotationNode);
  EXPECT_EQ(Panes().Derivation().GetCount(), 2);
  EXPECT_EQ(Panes().References().GetCount(), 0);
  Click(Panes().Categories(), Category("1.1"));
  Keys(Qt::Key_Z);
  const CategoryRecord* wager = frame->Db().Record(Category("1.1"));
  ASSERT_EQ(wager->referenceTexts.size(), 2u);
  EXPECT_EQ(wager->referenceTexts[1], "reasons");
  EXPECT_EQ(wager->referenceTargets[1], target);
  EXPECT_EQ(frame->Db().quotations.GetItemData(target), count);
  EXPECT_EQ(frame->Db().referenceTotal, total);
  Keys(Qt::Key_D);  // nothing highlighted after the move
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a reference"});
}

// The dialogs list the category's own entries; an equal entry of another
// category keeps its line when this one goes.
TEST_F(EditingTest, SubjectsJoinTheIndexInOrderAndLeaveFromTheRightCategory) {
  Open();
  Click(Panes().Categories(), Category("1.1"));
  // An empty entry is dropped without a word.
  modal.dialogScripts.push_back([](QDialog& d) {
    QTest::mouseClick(&dynamic_cast<CNewSubj&>(d).OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_B);
  EXPECT_EQ(frame->Db().subjectTotal, 4);

  // "Coeur" now under Wager too: two equal lines, each to its own category.
  modal.dialogScripts.push_back([](QDialog& d) {
    auto& add = dynamic_cast<CNewSubj&>(d);
    EXPECT_EQ(add.List().count(), 1);
    QTest::keyClicks(&add.Edit(), "Coeur");
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
  });
  Keys(Qt::Key_B);
  EXPECT_EQ(frame->Db().subjectTotal, 5);
  const SubjectIndexList& index = frame->Db().subjects;
  ASSERT_EQ(index.GetCount(), 5);
  EXPECT_EQ(index.GetLBText(0), "Coeur");
  EXPECT_EQ(index.GetItemData(0), Category("2"));
  EXPECT_EQ(index.GetLBText(1), "Coeur");
  EXPECT_EQ(index.GetItemData(1), Category("1.1"));
  EXPECT_EQ(frame->Db().Record(Category("1.1"))->subjectEntries,
            (std::vector<std::string>{"risk", "Coeur"}));

  modal.dialogScripts.push_back([](QDialog& d) {
    auto& del = dynamic_cast<CDelSubj&>(d);
    ASSERT_EQ(del.List().count(), 2);
    EXPECT_EQ(del.List().item(0)->text(), "Coeur");  // sorted
    del.List().setCurrentRow(0);
    QTest::mouseClick(&del.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_E);
  ASSERT_EQ(index.GetCount(), 4);
  EXPECT_EQ(index.GetItemData(0), Category("2"));  // the other category's line stays
  EXPECT_EQ(frame->Db().Record(Category("1.1"))->subjectEntries, std::vector<std::string>{"risk"});
  EXPECT_EQ(frame->Db().subjectTotal, 4);
}

// An entry the file cannot hold is refused in the dialog, which stays open
// with the entry as typed, to be put right.
TEST_F(EditingTest, AddSubjectRefusesABadEntryInItsDialog) {
  Open();
  Click(Panes().Categories(), Category("1.1"));
  modal.dialogScripts.push_back([&](QDialog& d) {
    auto& add = dynamic_cast<CNewSubj&>(d);
    QTest::keyClicks(&add.Edit(), "bad-");
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
    ASSERT_EQ(modal.Messages().size(), 1u);
    EXPECT_EQ(modal.shown.back().parent, &d);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(add.Edit().text(), "bad-");
    QTest::keyClick(&add.Edit(), Qt::Key_Backspace);
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
  });
  Keys(Qt::Key_B);
  EXPECT_EQ(modal.Messages(),
            std::vector<QString>{"A text cannot end with '-': the database file would read it as "
                                 "continued on the next line."});
  EXPECT_EQ(frame->Db().Record(Category("1.1"))->subjectEntries,
            (std::vector<std::string>{"risk", "bad"}));
}

// Both edit boxes of the New Node dialogs show the style's focus frame.
TEST_F(EditingTest, EveryEditBoxShowsAFocusFrame) {
  Open();
  CNewQuoteNode quote(frame->Db(), Quotation("1"), frame.get());
  CNewCat category(frame->Db(), Category("1"), frame.get());
  for (QWidget* edit :
       {static_cast<QWidget*>(&quote.Edit()), static_cast<QWidget*>(&category.Edit())}) {
    SCOPED_TRACE(edit->metaObject()->className());
    QDialog* dialog = qobject_cast<QDialog*>(edit->window());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    // The border: the outermost two pixels all round.
    auto border = [edit] {
      const QImage image = edit->grab().toImage();
      std::vector<QRgb> pixels;
      for (int x = 0; x < image.width(); ++x)
        for (int y : {0, 1, image.height() - 2, image.height() - 1})
          pixels.push_back(image.pixel(x, y));
      return pixels;
    };
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    edit->setFocus();
    QTest::qWait(20);
    const auto focused = border();
    QTest::keyClick(edit, Qt::Key_Tab);  // on to the check box below it
    QTest::qWait(20);
    ASSERT_FALSE(edit->hasFocus());
    EXPECT_NE(border(), focused);
    dialog->reject();
  }
}

}  // namespace
}  // namespace lorelist::test
