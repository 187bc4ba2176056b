#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/command_table.h"
#include "db/load.h"
#include "db/statistics.h"
#include "frame_fixture.h"
#include "tools/query_dialogs.h"

namespace lorelist::test {
namespace {

class QueriesTest : public FrameTest {
 protected:
  void Run(int id) { frame->OnCommand(id); }
  // A Search dialog script: the text, the case box, OK.
  void Search(const QString& text, bool caseSignificant = false) {
    modal.dialogScripts.push_back([=](QDialog& dialog) {
      auto& search = dynamic_cast<CSearch&>(dialog);
      search.Edit().selectAll();
      bool ascii = true;
      for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
      if (ascii)
        QTest::keyClicks(&search.Edit(), text);
      else
        search.Edit().insert(text);  // typed through the input method, as accents are
      if (search.CaseBox().isChecked() != caseSignificant)
        QTest::mouseClick(&search.CaseBox(), Qt::LeftButton);
      QTest::keyClick(&search.Edit(), Qt::Key_Return);
    });
    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
  }
  HTREEITEM Found() const { return frame->Panes().selectedQuotation; }
};

TEST_F(QueriesTest, SearchTestsANewTextOnTheStartNodeAndARepeatedOneAfterIt) {
  Open();
  Search("e");  // new text, nothing selected: the first top-level node itself
  EXPECT_EQ(Found(), Quotation("1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Montaigne");
  EXPECT_EQ(Panes().Quotations().Model().DropHighlight(), Quotation("1"));
  Search("e");  // the same text: the next occurrence
  EXPECT_EQ(Found(), Quotation("1.1"));
  EXPECT_EQ(Panes().Derivation().GetCount(), 1);
  Search("e", true);  // only the case box changed: still the next one
  EXPECT_EQ(Found(), Quotation("1.1.1"));
  Search("sais");  // a new text that the selected node holds: found again, reloaded
  Panes().Workspace().SetText("edited");
  Search("SAIS");
  EXPECT_EQ(Found(), Quotation("1.1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Que sais-je?");
  EXPECT_TRUE(modal.Messages().empty());
  Search("Essais");  // only in a node before the start: no wrap-around
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"String not found"});
  EXPECT_EQ(Found(), Quotation("1.1.1"));
}

TEST_F(QueriesTest, SearchFoldsAccentedLettersUnlessCaseMatters) {
  Open();
  Search(QString::fromUtf8("P\u00c9RENNE"));
  EXPECT_EQ(Found(), Quotation("1.1.2"));
  Click(Panes().Quotations(), Quotation("1"));
  Search(QString::fromUtf8("C\u0152UR"));  // œ folds to Œ
  EXPECT_EQ(Found(), Quotation("2.1.1"));
  Click(Panes().Quotations(), Quotation("1"));
  Search(QString::fromUtf8("p\u00c9renne"), true);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"String not found"});
  EXPECT_EQ(Found(), Quotation("1"));
  Search(QString::fromUtf8("p\u00e9renne"), true);
  EXPECT_EQ(Found(), Quotation("1.1.2"));
}

TEST_F(QueriesTest, SearchEndsAtTheLastNodeWithoutLookingBack) {
  Open();
  Search("Pascal");
  EXPECT_EQ(Found(), Quotation("2"));
  DoubleClick(Panes().Quotations(), Quotation("2.1.1"));
  Panes().Workspace().SetText("my edit");
  Search("Pascal");  // repeated, from the last node: "Pascal" (node 2) is not tested again
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"String not found"});
  EXPECT_EQ(Found(), Quotation("2.1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "my edit");
  // An empty text is refused in the dialog, which stays open.
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& search = dynamic_cast<CSearch&>(dialog);
    search.Edit().clear();
    QTest::mouseClick(&search.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
  });
  QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(modal.Messages().back(), "Specify the text for which to search");
  EXPECT_EQ(frame->Queries().Searching().text, "Pascal");
}

const std::string kReferenced =
    CrLf({"@Q1 Author", "@Q1.1 Target", "@Q1.2 Other", "@Q2 Lonely author", "@@", "@C1 First",
          "@R1.1 in the first category", "@C1.1 Empty", "@C2 Second", "@R1.1 second, first",
          "@R1.2 not it", "@R1.1 second, third", "@C3 Third", "@R1.1 third"});

TEST_F(QueriesTest, FindReferenceStepsThroughEveryReferenceThenStartsAgain) {
  Open(kReferenced);
  Run(cmd::kFindReference);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a quotation"});
  Click(Panes().Quotations(), Quotation("1.1"));
  const std::pair<std::string, int> hits[] = {{"1", 0}, {"2", 0}, {"2", 2}, {"3", 0}};
  for (const auto& [category, row] : hits) {
    Run(cmd::kFindReference);
    EXPECT_EQ(Panes().selectedCategory, Category(category));
    EXPECT_EQ(Panes().References().GetCurSel(), row);
  }
  Run(cmd::kFindReference);
  EXPECT_EQ(modal.Messages().back(), "No more references");
  EXPECT_TRUE(Panes().findReference.IsClear());
  Run(cmd::kFindReference);
  EXPECT_EQ(Panes().selectedCategory, Category("1"));
  EXPECT_EQ(modal.Messages().size(), 2u);
}

TEST_F(QueriesTest, FindReferenceKeepsItsPlaceAcrossCategorySelections) {
  Open(kReferenced);
  Click(Panes().Quotations(), Quotation("1.1"));
  Run(cmd::kFindReference);
  Run(cmd::kFindReference);  // category 2, row 0
  Click(Panes().Categories(), Category("1.1"));
  Run(cmd::kFindReference);
  EXPECT_EQ(Panes().selectedCategory, Category("2"));
  EXPECT_EQ(Panes().References().GetCurSel(), 2);
  // Another quotation node restarts the pass, and back again too.
  Click(Panes().Quotations(), Quotation("1.2"));
  Click(Panes().Quotations(), Quotation("1.1"));
  Run(cmd::kFindReference);
  EXPECT_EQ(Panes().selectedCategory, Category("1"));
  // A node without references: at once "No more references".
  Click(Panes().Quotations(), Quotation("2"));
  Run(cmd::kFindReference);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"No more references"});
}

TEST_F(QueriesTest, FindUnreferencedAndCountReferences) {
  Open(kReferenced);
  Run(cmd::kCountReferences);
  Run(cmd::kFindUnreferenced);  // 1.1 and 1.2 are referenced; 2 has no children
  EXPECT_EQ(Found(), Quotation("2"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Lonely author");
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kQuotationNode);
  Run(cmd::kCountReferences);
  Click(Panes().Quotations(), Quotation("1.1"));
  Run(cmd::kCountReferences);
  Click(Panes().Quotations(), Quotation("1"));
  Run(cmd::kCountReferences);  // references to the nodes below do not count
  EXPECT_EQ(modal.Messages(),
            (std::vector<QString>{"First select a quotation",
                                  "Quotations node highlighted has 0 references",
                                  "Quotations node highlighted has 4 references",
                                  "Quotations node highlighted has 0 references"}));
  // Once it is referenced too, nothing is left.
  Click(Panes().Categories(), Category("1.1"));
  DoubleClick(Panes().Quotations(), Quotation("2"));
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  Run(cmd::kFindUnreferenced);
  EXPECT_EQ(modal.Messages().back(), "No lowest level quotation found without references.");
}

TEST_F(QueriesTest, StatisticsAgreeWithTheSavedFile) {
  Open();
  // An edit first: the one unreferenced leaf gets a reference.
  Click(Panes().Categories(), Category("2"));
  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  QStringList lines;
  modal.dialogScripts.push_back([&](QDialog& dialog) {
    auto& stats = dynamic_cast<CStats&>(dialog);
    for (int row = 0; row < kStatisticsRows; ++row) lines << stats.Line(row);
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(lines, QStringList({"2", "3", "0", "5", "4", "3", "2"}));

  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  Database saved;
  ASSERT_EQ(LoadDatabase(saved, dir.File("Florilex.txt")).status, LoadResult::kComplete);
  const Statistics counts = CountStatistics(saved);
  for (int row = 0; row < kStatisticsRows; ++row)
    EXPECT_EQ(QString::number(counts.Row(row)), lines[row]) << row;
}

TEST_F(QueriesTest, EmptyTreesGetTheNaturalMessages) {
  Open(CrLf({"@@"}));
  Search("anything");
  Run(cmd::kFindUnreferenced);
  Run(cmd::kFindReference);
  Run(cmd::kCountReferences);
  EXPECT_EQ(modal.Messages(),
            (std::vector<QString>{"String not found",
                                  "No lowest level quotation found without references.",
                                  "First select a quotation", "First select a quotation"}));
  QStringList lines;
  modal.dialogScripts.push_back([&](QDialog& dialog) {
    for (int row = 0; row < kStatisticsRows; ++row)
      lines << dynamic_cast<CStats&>(dialog).Line(row);
  });
  Run(cmd::kStatistics);
  EXPECT_EQ(lines, QStringList({"0", "0", "0", "0", "0", "0", "0"}));
}

TEST_F(QueriesTest, SpecialCharactersGoToTheWorkspaceCaretAndIntoTheFile) {
  Open();
  DoubleClick(Panes().Quotations(), Quotation("2"));  // "Pascal"
  CReference& workspace = Panes().Workspace();
  QTextCursor cursor = workspace.textCursor();
  cursor.setPosition(1);
  cursor.setPosition(5, QTextCursor::KeepAnchor);  // "asca" selected
  workspace.setTextCursor(cursor);
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<CSpecial&>(dialog);
    ASSERT_EQ(special.Grid().count(), 254);
    EXPECT_EQ(special.Grid().item(0)->text(), "");
    EXPECT_EQ(special.Grid().item(0x80)->text(), QString::fromUtf8("\u20ac"));
    // Code n stands in row n mod 10 of column n div 10, all 26 columns in view.
    const QRect origin = special.Grid().visualItemRect(special.Grid().item(0));
    const QRect cell57 = special.Grid().visualItemRect(special.Grid().item(57));
    const QSize grid = special.Grid().gridSize();
    EXPECT_EQ(cell57.left() - origin.left(), 5 * grid.width());
    EXPECT_EQ(cell57.top() - origin.top(), 7 * grid.height());
    const QRect cell253 = special.Grid().visualItemRect(special.Grid().item(253));
    EXPECT_TRUE(special.Grid().viewport()->rect().contains(cell253));
    QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);  // nothing selected
    EXPECT_TRUE(dialog.isVisible());
    // A double-click only selects.
    const QRect cell = special.Grid().visualItemRect(special.Grid().item(0xE9));
    QTest::mouseDClick(special.Grid().viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(special.Grid().currentRow(), 0xE9);
    for (int i = 0; i < 3; ++i) QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);
    QTest::keyClick(&special.Grid(), Qt::Key_Return);  // Enter presses Close
    EXPECT_FALSE(dialog.isVisible());
  });
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(workspace.GetText(), QString::fromUtf8("P\u00e9\u00e9\u00e9l"));
  EXPECT_EQ(workspace.Source(), WorkspaceSource::kQuotationNode);
  EXPECT_FALSE(frame->Db().IsChanged());
  EXPECT_FALSE(workspace.document()->isUndoAvailable());  // the insertion cannot be undone

  // The empty entry deletes the selection; Insert and close with nothing
  // selected just closes.
  workspace.selectAll();
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<CSpecial&>(dialog);
    special.Grid().setCurrentRow(0);
    QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);
    special.Grid().clearSelection();
    QTest::mouseClick(&special.InsertAndCloseButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  });
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(workspace.GetText(), "");

  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<CSpecial&>(dialog);
    special.Grid().setCurrentRow(0x9C);  // œ
    QTest::mouseClick(&special.InsertAndCloseButton(), Qt::LeftButton);
  });
  QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier);
  QTest::keyClick(frame.get(), Qt::Key_K, Qt::ControlModifier);
  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_NE(ReadFile(dir.File("Florilex.txt")).find("\r\n@Q2 \x9C\r\n"), std::string::npos);
}

// One rule for every message: refusals warn, results inform.
TEST_F(QueriesTest, RefusalsWarnAndResultsInform) {
  Open();
  Run(cmd::kCountReferences);  // nothing selected: refused
  Run(cmd::kFindReference);
  Click(Panes().Quotations(), Quotation("2.1.1"));
  Run(cmd::kCountReferences);  // a count: a result
  Run(cmd::kFindReference);
  Run(cmd::kFindReference);
  Run(cmd::kFindReference);  // "No more references"
  Search("nowhere at all");  // "String not found"
  Click(Panes().Categories(), Category("1"));
  QTest::keyClick(frame.get(), Qt::Key_J, Qt::ControlModifier);  // has nodes below: refused
  std::vector<std::pair<QString, Modal::Icon>> seen;
  for (const auto& s : modal.shown)
    if (s.kind == "message") seen.emplace_back(s.text, s.icon);
  using I = Modal::Icon;
  EXPECT_EQ(seen, (std::vector<std::pair<QString, Modal::Icon>>{
                      {"First select a quotation", I::kWarning},
                      {"First select a quotation", I::kWarning},
                      {"Quotations node highlighted has 2 references", I::kInformation},
                      {"No more references", I::kInformation},
                      {"String not found", I::kInformation},
                      {"This category has nodes below it. Delete those first.", I::kWarning}}));
}

}  // namespace
}  // namespace lorelist::test
