// The window's queries and tools: Search, Find Reference, Find Unreferenced,
// Count References, Statistics, Special Character, Export and Print.

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <cstdlib>

#include "app/command_table.h"
#include "db/load.h"
#include "db/statistics.h"
#include "frame_fixture.h"
#include "tools/query_dialogs.h"
#include "tools/settings.h"
#include "tools/unicode_special.h"

namespace lorelist::test {
namespace {

using Said = std::vector<std::pair<QString, Modal::Icon>>;
constexpr Modal::Icon kWarn = Modal::Icon::kWarning, kTell = Modal::Icon::kInformation;

using Codes = std::vector<char32_t>;

class QueriesTest : public FrameTest {
 protected:
  // The first characters the Unicode inventory shows.
  static Codes Shown(const UnicodeSpecial& special, size_t count) {
    const QAbstractItemModel& model = *special.Grid().model();
    Codes shown;
    for (int row = 0; row < model.rowCount() && shown.size() < count; ++row)
      shown.push_back(model.index(row, 0).data(Qt::UserRole).toUInt());
    return shown;
  }
  void Run(int id) { frame->OnCommand(id); }
  // A Search dialog script: the text, the case box, OK.
  void Search(const QString& text, bool caseSignificant = false) {
    modal.dialogScripts.push_back([=](QDialog& dialog) {
      auto& search = dynamic_cast<CSearch&>(dialog);
      search.Edit().selectAll();
      if (text.toLatin1() == text.toUtf8())
        QTest::keyClicks(&search.Edit(), text);
      else
        search.Edit().insert(text);  // typed through the input method, as accents are
      if (search.CaseBox().isChecked() != caseSignificant)
        QTest::mouseClick(&search.CaseBox(), Qt::LeftButton);
      QTest::keyClick(&search.Edit(), Qt::Key_Return);
    });
    Keys(Qt::Key_Q);
  }
  HTREEITEM Found() const { return frame->Panes().selectedQuotation; }
  // The messages shown, each with its icon.
  Said Messages() const {
    Said said;
    for (const auto& s : modal.shown)
      if (s.kind == "message") said.emplace_back(s.text, s.icon);
    return said;
  }
  // The lines of the Statistics dialog.
  QStringList Statistics() {
    QStringList lines;
    modal.dialogScripts.push_back([&](QDialog& dialog) {
      for (int row = 0; row < kStatisticsRows; ++row)
        lines << dynamic_cast<CStats&>(dialog).Line(row);
      QTest::keyClick(&dialog, Qt::Key_Return);
    });
    Keys(Qt::Key_N);
    return lines;
  }
  // What lorelist-db export writes for the same file, run in its folder.
  std::string CommandLineExport(const char* format) {
    const std::string out = dir.File(std::string("cli.") + format);
    const std::string command =
        "cd " + dir.path() + " && " + LORELIST_DB_BINARY + " export --" + format + " -o " + out;
    EXPECT_EQ(std::system(command.c_str()), 0);
    return ReadFile(out);
  }
};

// A new text is tested on the start node itself (the first top-level node
// when none is selected), a repeated one from the node after it, with no
// wrap-around, not even from the last node; a node found is selected, marked
// and loaded. An empty text is refused in the dialog, which stays open.
TEST_F(QueriesTest, SearchTestsANewTextOnTheStartNodeAndARepeatedOneAfterIt) {
  Open();
  Search("e");
  EXPECT_EQ(Found(), Quotation("1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Montaigne");
  Search("e");
  EXPECT_EQ(Found(), Quotation("1.1"));
  Search("e", true);  // only the case box changed: still the next one
  EXPECT_EQ(Found(), Quotation("1.1.1"));
  Search("sais");  // a new text that the selected node holds: found again, reloaded
  Panes().Workspace().SetText("edited");
  Search("SAIS");
  EXPECT_EQ(Found(), Quotation("1.1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Que sais-je?");
  Search("Essais");  // only in a node before the start
  EXPECT_EQ(Messages(), (Said{{"String not found", kTell}}));
  EXPECT_EQ(Found(), Quotation("1.1.1"));
  const QString heart = QString::fromUtf8("C\u0152UR");
  Search(heart);  // the accented text reaches the search
  EXPECT_EQ(Found(), Quotation("2.1.1"));
  Panes().Workspace().SetText("my edit");
  Search(heart);  // repeated, from the last node: nothing is tested again
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Found(), Quotation("2.1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "my edit");

  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& search = dynamic_cast<CSearch&>(dialog);
    search.Edit().clear();
    QTest::mouseClick(&search.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
  });
  Keys(Qt::Key_Q);
  EXPECT_EQ(modal.Messages().back(), "Specify the text for which to search");
  EXPECT_EQ(frame->Queries().Searching().text, heart);
}

// In a UTF-8 dictionary the typed text is searched by its characters:
// capitals find small Greek letters, a combining accent typed finds the
// accented letter of the text, accents count, and so does case when the box
// is ticked.
TEST_F(QueriesTest, SearchFindsTheCharactersOfAUtf8Dictionary) {
  Open(std::string(kByteOrderMark) +
       CrLf({"@Q1 Πλάτων", "@Q1.1 Ἡ σοφία, café", "@Q1.2 Σοφός cafe", "@@"}));
  Search(QString::fromUtf8("ΣΟΦ"));  // ΣΟΦ
  EXPECT_EQ(Found(), Quotation("1.1"));
  Search(QString::fromUtf8("CAFÉ"));
  EXPECT_EQ(Found(), Quotation("1.1"));
  Search("CAFE");
  EXPECT_EQ(Found(), Quotation("1.2"));
  Search(QString::fromUtf8("σοφ"), true);  // σοφ
  EXPECT_EQ(Messages(), (Said{{"String not found", kTell}}));
  EXPECT_EQ(Found(), Quotation("1.2"));
}

const std::string kReferenced =
    CrLf({"@Q1 Author", "@Q1.1 Target", "@Q1.2 Other", "@Q2 Lonely author", "@@", "@C1 First",
          "@R1.1 in the first category", "@C1.1 Empty", "@C2 Second", "@R1.1 second, first",
          "@R1.2 not it", "@R1.1 second, third", "@C3 Third", "@R1.1 third"});

// Every reference to the node in turn, then "No more references", then
// again from the start; selecting a category keeps the place, another
// quotation node starts afresh.
TEST_F(QueriesTest, FindReferenceStepsThroughEveryReferenceThenStartsAgain) {
  Open(kReferenced);
  Click(Panes().Quotations(), Quotation("1.1"));
  const std::pair<std::string, int> hits[] = {{"1", 0}, {"2", 0}, {"2", 2}, {"3", 0}, {"1", 0}};
  for (const auto& [category, row] : hits) {
    Run(cmd::kFindReference);
    EXPECT_EQ(Panes().selectedCategory, Category(category));
    EXPECT_EQ(Panes().References().GetCurSel(), row);
    if (category == "3") {
      Run(cmd::kFindReference);
      EXPECT_EQ(Messages(), (Said{{"No more references", kTell}}));
      EXPECT_TRUE(Panes().findReference.IsClear());
    }
  }
  Run(cmd::kFindReference);  // category 2, row 0
  Click(Panes().Categories(), Category("1.1"));
  Run(cmd::kFindReference);
  EXPECT_EQ(Panes().selectedCategory, Category("2"));
  EXPECT_EQ(Panes().References().GetCurSel(), 2);
  Click(Panes().Quotations(), Quotation("1.2"));
  Click(Panes().Quotations(), Quotation("1.1"));
  Run(cmd::kFindReference);
  EXPECT_EQ(Panes().selectedCategory, Category("1"));
  Click(Panes().Quotations(), Quotation("2"));  // no references: at once the end
  Run(cmd::kFindReference);
  EXPECT_EQ(Messages().size(), 2u);
}

// Refusals warn and results inform.
TEST_F(QueriesTest, FindUnreferencedAndCountReferences) {
  Open(kReferenced);
  Run(cmd::kCountReferences);
  Run(cmd::kFindUnreferenced);  // 1.1 and 1.2 are referenced; 2 has no children
  EXPECT_EQ(Found(), Quotation("2"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Lonely author");
  Run(cmd::kCountReferences);
  Click(Panes().Quotations(), Quotation("1.1"));
  Run(cmd::kCountReferences);
  Click(Panes().Quotations(), Quotation("1"));
  Run(cmd::kCountReferences);  // references to the nodes below do not count
  EXPECT_EQ(Messages(), (Said{{"First select a quotation", kWarn},
                              {"Quotations node highlighted has 0 references", kTell},
                              {"Quotations node highlighted has 4 references", kTell},
                              {"Quotations node highlighted has 0 references", kTell}}));
}

// Empty trees and lists take double-clicks calmly, and the queries give
// their natural messages.
TEST_F(QueriesTest, EmptyTreesGetTheNaturalMessages) {
  Open(CrLf({"@@"}));
  for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{
           &Panes().Quotations(), &Panes().Categories(), &Panes().References(),
           &Panes().Subjects().ListView()})
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kNone);
  Search("anything");
  Run(cmd::kFindUnreferenced);
  Run(cmd::kFindReference);
  Run(cmd::kCountReferences);
  EXPECT_EQ(Messages(), (Said{{"String not found", kTell},
                              {"No lowest level quotation found without references.", kTell},
                              {"First select a quotation", kWarn},
                              {"First select a quotation", kWarn}}));
  EXPECT_EQ(Statistics(), QStringList({"0", "0", "0", "0", "0", "0", "0"}));
}

// After an edit (the one unreferenced leaf gets a reference) the dialog
// counts what a load of the saved file counts.
TEST_F(QueriesTest, StatisticsAgreeWithTheSavedFile) {
  Open();
  Click(Panes().Categories(), Category("2"));
  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  Keys(Qt::Key_Z);
  const QStringList lines = Statistics();
  Database saved;
  ASSERT_EQ(LoadBytes(saved, SavedFile()).status, LoadResult::kComplete);
  QStringList counts;
  for (int row = 0; row < kStatisticsRows; ++row)
    counts << QString::number(CountStatistics(saved).Row(row));
  EXPECT_EQ(lines, counts);
  EXPECT_EQ(counts[3], "5");  // the new reference among them
}

// Characters go in at the caret over the selection, not undoably, and are
// saved in Windows-1252; a double-click only selects, Enter closes.
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
    QListWidget& grid = special.Grid();
    ASSERT_EQ(grid.count(), 254);
    // Code n stands in row n mod 10 of column n div 10, all 26 columns in view.
    const QRect origin = grid.visualItemRect(grid.item(0));
    const QRect cell57 = grid.visualItemRect(grid.item(57));
    EXPECT_EQ(cell57.topLeft() - origin.topLeft(),
              QPoint(5 * grid.gridSize().width(), 7 * grid.gridSize().height()));
    EXPECT_TRUE(grid.viewport()->rect().contains(grid.visualItemRect(grid.item(253))));
    QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);  // nothing selected
    EXPECT_TRUE(dialog.isVisible());
    const QRect cell = grid.visualItemRect(grid.item(0xE9));
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(grid.currentRow(), 0xE9);
    for (int i = 0; i < 3; ++i) QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
  });
  Keys(Qt::Key_Y);
  EXPECT_EQ(workspace.GetText(), QString::fromUtf8("P\u00e9\u00e9\u00e9l"));
  EXPECT_EQ(workspace.Source(), WorkspaceSource::kQuotationNode);
  EXPECT_FALSE(frame->Db().IsChanged());
  EXPECT_FALSE(workspace.document()->isUndoAvailable());

  // The empty entry deletes the selection; Insert and Close inserts, closing.
  workspace.selectAll();
  modal.dialogScripts.push_back([&workspace](QDialog& dialog) {
    auto& special = dynamic_cast<CSpecial&>(dialog);
    special.Grid().setCurrentRow(0);
    QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);
    EXPECT_EQ(workspace.GetText(), "");
    special.Grid().setCurrentRow(0x9C);  // œ
    QTest::mouseClick(&special.InsertAndCloseButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  });
  Keys(Qt::Key_Y);
  Keys(Qt::Key_K);
  EXPECT_TRUE(Has(SavedFile(), "@Q2 \x9C"));
}

// A UTF-8 dictionary's inventory: a search by name typed and a result
// double-clicked, a code typed and Return, Insert and close; the characters
// go in at the caret, one beyond the BMP as two units; the next opening
// shows them first, the last one inserted leading.
TEST_F(QueriesTest, UnicodeCharactersAreFoundByNameOrCodeAndRemembered) {
  ProgramSettings().remove(QStringLiteral("specialCharacters/recent"));
  Open("\xEF\xBB\xBF" + CrLf({"@Q1 test", "@@"}));
  DoubleClick(Panes().Quotations(), Quotation("1"));
  CReference& workspace = Panes().Workspace();
  QTextCursor cursor = workspace.textCursor();
  cursor.setPosition(2);
  workspace.setTextCursor(cursor);
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<UnicodeSpecial&>(dialog);
    EXPECT_EQ(special.Blocks().currentItem()->text(), "Basic Latin");  // nothing recent yet
    QTest::keyClicks(&special.FindEdit(), "SIGMA");
    EXPECT_EQ(Shown(special, 3), Codes({0x3A3, 0x3C2, 0x3C3}));
    DoubleClickLine(special.Grid(), 2);
    EXPECT_EQ(special.About().text(), "U+03C3  GREEK SMALL LETTER SIGMA  (Greek and Coptic)");
    QTest::mouseClick(&special.InsertButton(), Qt::LeftButton);
    special.FindEdit().selectAll();
    QTest::keyClicks(&special.FindEdit(), "u+1d11e");
    QTest::keyClick(&special.FindEdit(), Qt::Key_Return);  // Insert is the default
    special.FindEdit().selectAll();
    QTest::keyClicks(&special.FindEdit(), "05D0");
    QTest::mouseClick(&special.InsertAndCloseButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  });
  Keys(Qt::Key_Y);
  EXPECT_EQ(workspace.GetText(), QString::fromUtf8("te\u03C3\U0001D11E\u05D0st"));
  EXPECT_EQ(workspace.textCursor().position(), 6);
  EXPECT_FALSE(frame->Db().IsChanged());

  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<UnicodeSpecial&>(dialog);
    EXPECT_EQ(special.Blocks().currentRow(), 0);
    EXPECT_EQ(Shown(special, 4), Codes({0x5D0, 0x1D11E, 0x3C3}));
    QTest::keyClick(&special.FindEdit(), Qt::Key_Down);
    QTest::keyClick(&special.FindEdit(), Qt::Key_Down);
    QTest::keyClick(&special.FindEdit(), Qt::Key_Return);
  });
  Keys(Qt::Key_Y);
  EXPECT_EQ(workspace.GetText(), QString::fromUtf8("te\u03C3\U0001D11E\u05D0\U0001D11Est"));
}

// What a search finds: every word at the start of a word of the name, whole
// words first; a code finds only a character a text can hold; a block lists
// its assigned characters.
TEST_F(QueriesTest, UnicodeSearchesAndBlocks) {
  Open("\xEF\xBB\xBF" + CrLf({"@Q1 test", "@@"}));
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& special = dynamic_cast<UnicodeSpecial&>(dialog);
    const std::pair<const char*, std::vector<char32_t>> searches[] = {
        {"greek small sigma", {0x3C2, 0x3C3, 0x37B}},  // no capital
        {" width non joiner ", {0x200C}},
        {"ACUTE   lat e", {0xC9, 0xE9, 0x1E16}},
        {"041", {0x41}},
        {"face", {0xFACE, 0x2639}},  // the code, then the names
        {"U+D800", {}},              // a surrogate
        {"u+0007", {}},              // a control
        {"U+E000", {}},              // private use
        {"U+2028", {}},              // a line break
        {"U+110000", {}},
        {"zzzq", {}}};
    for (const auto& [query, first] : searches) {
      special.FindEdit().selectAll();
      QTest::keyClicks(&special.FindEdit(), query);
      EXPECT_EQ(Shown(special, std::max<size_t>(first.size(), 1)), first) << query;
    }
    EXPECT_EQ(special.About().text(), "No character has such a name.");
    special.FindEdit().setText("U+0378");
    EXPECT_EQ(special.About().text(), "U+0378 is not a character a text can hold.");
    const auto greek = special.Blocks().findItems("Greek and Coptic", Qt::MatchExactly);
    ASSERT_EQ(greek.size(), 1);
    QTest::mouseClick(special.Blocks().viewport(), Qt::LeftButton, {},
                      special.Blocks().visualItemRect(greek[0]).center());
    EXPECT_TRUE(special.FindEdit().text().isEmpty());
    EXPECT_EQ(Shown(special, 9),
              Codes({0x370, 0x371, 0x372, 0x373, 0x374, 0x375, 0x376, 0x377, 0x37A}));
    EXPECT_EQ(special.About().text(), "135 characters");
  });
  Keys(Qt::Key_Y);
}

// The window's export is the command line's; cancelled it writes nothing,
// onto the database itself it is refused, and a write that fails is told.
TEST_F(QueriesTest, TheFileMenuExportsWhatTheCommandLineExports) {
  Open();
  for (const char* format : {"html", "markdown"}) {
    SCOPED_TRACE(format);
    const std::string path = dir.File(std::string("window.") + format);
    modal.files = {Q(path)};
    frame->Action(std::string(format) == "html" ? cmd::kExportHtml : cmd::kExportMarkdown)
        ->trigger();
    EXPECT_GT(ReadFile(path).size(), 1000u);
    EXPECT_EQ(ReadFile(path), CommandLineExport(format));
  }
  EXPECT_TRUE(modal.Messages().empty());
  EXPECT_EQ(frame->windowTitle(), kUnchanged);

  const std::set<std::string> before = Names();
  modal.files = {std::nullopt, Q(dir.File(kDatabaseFile)), Q(dir.File("no/such/out.html"))};
  frame->Action(cmd::kExportHtml)->trigger();
  frame->Action(cmd::kExportMarkdown)->trigger();
  frame->Action(cmd::kExportHtml)->trigger();
  EXPECT_EQ(
      modal.Messages(),
      (std::vector<QString>{
          "That is the database file itself: Save writes it, with its backup.",
          Q("Cannot write " + dir.File("no/such/out.html") + ": No such file or directory")}));
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kGuiSample);
  EXPECT_EQ(Names(), before);
}

TEST_F(QueriesTest, TheRealFileChooserOffersTheFolderAndAName) {
  Open();
  modal.realFileChooser = true;
  QString openedIn, suggested;
  AnswerRealChooser(QStringLiteral("the dictionary.md"), &openedIn, &suggested);
  frame->Action(cmd::kExportMarkdown)->trigger();
  EXPECT_EQ(openedIn.toStdString(), std::filesystem::canonical(dir.path()).string());
  EXPECT_EQ(suggested, "Florilex.md");
  EXPECT_EQ(ReadFile(dir.File("the dictionary.md")), CommandLineExport("markdown"));
}

// A page of contents and the dictionary after it, in the preview.
TEST_F(QueriesTest, PrintShowsThePrintableDictionaryInThePreview) {
  Open();
  modal.printPdf = Q(dir.File("printed.pdf"));
  frame->Action(cmd::kPrint)->trigger();
  ASSERT_EQ(modal.shown.size(), 1u);
  EXPECT_EQ(modal.shown[0].kind, "print");
  EXPECT_TRUE(modal.shown[0].hadParent);
  const std::string bytes = ReadFile(dir.File("printed.pdf"));
  ASSERT_EQ(bytes.rfind("%PDF-", 0), 0u);
  EXPECT_NE(bytes.find("/Type /Page\n", bytes.find("/Type /Page\n") + 1), std::string::npos)
      << "fewer than two pages";
}

}  // namespace
}  // namespace lorelist::test
