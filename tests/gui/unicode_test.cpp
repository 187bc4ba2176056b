// Dictionaries in Unicode from the window: texts of every script typed,
// shown and saved; the conversion of a Windows-1252 dictionary, from the
// menu or where a typed character does not fit; a file that looks like
// UTF-8 without the mark; right-to-left texts.

#include <QAction>

#include "app/command_table.h"
#include "db/journal.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

const std::string kMark = "\xEF\xBB\xBF";

class UnicodeTest : public FrameTest {
 protected:
  // Selects the Workspace's text and types this one over it.
  void TypeInWorkspace(const QString& text) {
    Keys(Qt::Key_A);
    Type(&Panes().Workspace(), text);
  }
  // What the panes show: every line of both trees, tooltips too, of the
  // References and the Subject index, and last the Workspace's text.
  QStringList Shown() {
    QStringList shown;
    for (TreeView* tree : {static_cast<TreeView*>(&Panes().Quotations()),
                           static_cast<TreeView*>(&Panes().Categories())})
      for (HTREEITEM node : Nodes(tree->Store()))
        for (int role : {Qt::DisplayRole, Qt::ToolTipRole})
          shown << tree->Model().IndexOf(node).data(role).toString();
    shown << Lines(Panes().References());
    const QAbstractItemModel& subjects = *Panes().Subjects().ListView().model();
    for (int row = 0; row < subjects.rowCount(); ++row)
      shown << subjects.index(row, 0).data().toString();
    return shown << Panes().Workspace().GetText();
  }
  QString UndoText() { return frame->Action(cmd::kUndoEdit)->text(); }
  void UndoKeys() {
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  }
};

// Greek and Polish typed into New Node and the Workspace, Cyrillic into Add
// Subject, a Hebrew reference: a new dictionary saves them in UTF-8 with
// the mark, and shows them again when opened.
TEST_F(UnicodeTest, ANewDictionaryTakesEveryScriptAndSavesItInUtf8) {
  Open("");
  NewNode("Ἡράκλειτος", Placement::kBelow);
  Keys(Qt::Key_G);
  NewNode("Wątpliwość");
  Keys(Qt::Key_I);
  NewNode("Πάντα ῥεῖ", Placement::kBelow);
  Keys(Qt::Key_G);
  DoubleClick(Panes().Quotations(), Quotation("1.1"));
  TypeInWorkspace("Nic dwa razy się nie zdarza");
  Keys(Qt::Key_K);
  TypeInWorkspace("הכל זורם");
  Keys(Qt::Key_Z);
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& add = dynamic_cast<CNewSubj&>(dialog);
    Type(&add.Edit(), "изменение");
    QTest::keyClick(&add.Edit(), Qt::Key_Return);
  });
  Keys(Qt::Key_B);
  EXPECT_EQ(SavedFile(), kMark + CrLf({"@Q1 Ἡράκλειτος", "@Q1.1 Nic dwa razy się nie zdarza", "@@",
                                       "@C1 Wątpliwość", "@Sизменение", "@R1.1 הכל זורם"}));

  Reopen();
  EXPECT_TRUE(modal.shown.empty());
  Click(Panes().Categories(), Category("1"));
  DoubleClick(Panes().Quotations(), Quotation("1.1"));
  EXPECT_EQ(Shown(), QStringList({"Ἡράκλειτος", "Ἡράκλειτος", "Nic dwa razy się nie zdarza",
                                  "Nic dwa razy się nie zdarza", "Wątpliwość", "Wątpliwość",
                                  "הכל זורם", "изменение", "Nic dwa razy się nie zdarza"}));
  EXPECT_FALSE(frame->Action(cmd::kConvertToUnicode)->isEnabled());
}

// "ł" in a Windows-1252 dictionary: Update Node asks whether to convert;
// No changes nothing, Yes converts and updates; two undos give the very
// bytes back, the panes showing the same characters all along. Where
// Unicode would not help either, the refusal stands alone. The New Node
// dialog stays open over a No. File > Convert to Unicode asks first; the
// file changes at the next save, the one before it kept as FlorilexOld.txt.
TEST_F(UnicodeTest, ConvertToUnicodeFromTheMenuOrWhereACharacterDoesNotFit) {
  const std::string file = CrLf({"@Q1 Caf\xE9 \x80", "@@", "@C1 Na\xEFve", "@R1 Caf\xE9 \x80"});
  Open(file);
  Click(Panes().Categories(), Category("1"));
  DoubleClick(Panes().Quotations(), Quotation("1"));
  const QStringList shown = Shown();
  const std::string before = Contents(frame->Db());
  TypeInWorkspace("ł-");
  Keys(Qt::Key_K);
  EXPECT_EQ(modal.Messages().back().left(26), "A text cannot end with '-'");
  TypeInWorkspace("Café ł");
  modal.answers = {Modal::Answer::kNo};
  Keys(Qt::Key_Z);  // Add Reference asks too
  for (int i = 0; i < 3; ++i)
    modal.answers.insert(modal.answers.end(), {Modal::Answer::kNo, Modal::Answer::kYes});
  Keys(Qt::Key_K);
  EXPECT_EQ(modal.Questions(),
            std::vector<QString>(2,
                                 "The character 'ł' cannot be stored in the database. Convert "
                                 "the dictionary to Unicode, so that it can hold it?"));
  EXPECT_EQ(Contents(frame->Db()), before);
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  Keys(Qt::Key_K);
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1")), "Café ł");
  EXPECT_EQ(UndoText(), "Undo Update Node\tCtrl+Shift+Z");
  UndoKeys();
  EXPECT_EQ(UndoText(), "Undo Convert to Unicode\tCtrl+Shift+Z");
  EXPECT_FALSE(frame->Action(cmd::kConvertToUnicode)->isEnabled());
  Panes().Workspace().SetText(shown.back());
  EXPECT_EQ(Shown(), shown);
  UndoKeys();
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  EXPECT_EQ(SavedFile(), file);

  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& node = dynamic_cast<CNewQuoteNode&>(dialog);
    Type(&node.Edit(), "Łódź");
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_G);
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("2")), "Łódź");
  UndoKeys();
  UndoKeys();

  QAction& convert = *frame->Action(cmd::kConvertToUnicode);
  ASSERT_TRUE(convert.isEnabled());
  convert.trigger();
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  convert.trigger();
  EXPECT_EQ(modal.Questions().size(), 7u);
  EXPECT_EQ(modal.Questions().back(), kConvertQuestion);
  EXPECT_EQ(UndoText(), "Undo Convert to Unicode\tCtrl+Shift+Z");
  EXPECT_EQ(SavedFile(), kMark + CrLf({"@Q1 Café €", "@@", "@C1 Naïve", "@R1 Café €"}));
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), file);
}

// A file without the mark that looks like UTF-8 is asked about before
// anything else: Yes reads it as UTF-8 (Save then adds the mark), No as
// Windows-1252, as before. A load error waits for the answer, and quotes
// its line as read; a journal of a UTF-8 reading is offered after it.
TEST_F(UnicodeTest, AFileThatLooksLikeUtf8IsAskedAbout) {
  const std::string file = CrLf({"@Q1 Caf\xC3\xA9 cr\xC3\xA8me", "@@", "@C1 na\xC3\xAFve"});
  const struct {
    Modal::Answer answer;
    const char* shown;
    std::string saved;
  } cases[] = {
      {Modal::Answer::kYes, "Café crème", kMark + file},
      {Modal::Answer::kNo, "CafÃ© crÃ¨me", file},
  };
  for (const auto& c : cases) {
    modal.answers = {c.answer};
    Reopen(file);
    EXPECT_EQ(modal.Questions(), std::vector<QString>{Utf8Question(dir.File(kDatabaseFile))});
    EXPECT_FALSE(modal.shown[0].hadParent);
    EXPECT_EQ(Panes().Quotations().Model().index(0, 0).data().toString(), c.shown);
    EXPECT_EQ(SavedFile(), c.saved);
  }

  modal.answers = {Modal::Answer::kYes};
  Reopen(CrLf({"@Q1 Caf\xC3\xA9", "@Q3 cr\xC3\xA8me"}));
  EXPECT_EQ(modal.Messages(),
            std::vector<QString>{"Final number does not increment by 1: @Q3 crème"});

  modal.answers = {Modal::Answer::kYes};
  Reopen(file);
  DoubleClick(Panes().Quotations(), Quotation("1"));
  TypeInWorkspace("Crème brûlée ł");
  Keys(Qt::Key_K);
  frame.reset();  // a crash
  modal.answers = {Modal::Answer::kYes, Modal::Answer::kYes};
  Reopen();
  EXPECT_EQ(modal.Questions(),
            (std::vector<QString>{Utf8Question(dir.File(kDatabaseFile)), Q(RestoreQuestion(1))}));
  EXPECT_EQ(frame->Db().quotations.GetItemText(Quotation("1")), "Crème brûlée ł");
}

// Right to left: at the rectangle's right edge, the full stop that ends the
// text at its left; left to right: at its left edge, as ever.
void ExpectDirection(QWidget& widget, const QRect& rect, bool rightToLeft) {
  // Inside the focus frame the current item may have; the background is
  // the commonest colour.
  const QImage image = widget.grab(rect.adjusted(2, 2, -2, -2)).toImage();
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  const QRgb background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                            return a.second < b.second;
                          })->first;
  int left = -1, right = -1, top = image.height();
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (image.pixel(x, y) != background) {
        if (left < 0) left = x;
        if (x <= left + 1) top = std::min(top, y);
        right = x;
      }
  ASSERT_GE(left, 0) << "nothing drawn";
  const bool lowAtLeft = top > image.height() / 2;
  EXPECT_EQ(lowAtLeft, rightToLeft);
  if (rightToLeft) {
    EXPECT_GT(right, image.width() - 16);
    EXPECT_GT(left, image.width() / 2);
  } else {
    EXPECT_LT(left, 12);
  }
}

// The rows' lines, to the pane's right edge: those given, or the first ones.
void ExpectRows(QAbstractItemView& view, const std::vector<bool>& rightToLeft,
                std::vector<QModelIndex> rows = {}) {
  for (size_t i = 0; i < rightToLeft.size(); ++i) {
    if (rows.size() <= i) rows.push_back(view.model()->index(static_cast<int>(i), 0));
    QRect line = view.visualRect(rows[i]);
    line.setRight(view.viewport()->width() - 1);
    ExpectDirection(*view.viewport(), line, rightToLeft[i]);
  }
}

// Each text in its own direction, in every pane that shows texts; in a tree
// wider than its pane (a long line), at the pane's edge, not out of sight.
TEST_F(UnicodeTest, HebrewAndArabicReadRightToLeftInEveryPane) {
  Open(kMark + CrLf({"@Q1 קהלת.", "@Q1.1 הבל הבלים.",
                     "@Q2 Montaigne." + std::string(400, ' ') + "!", "@Q3 المتنبي.", "@@",
                     "@C1 חכמה.", "@Sflux.", "@Sשינוי.", "@R1.1 הבל.", "@R2 Montaigne."}));
  QuoteTree& quotations = Panes().Quotations();
  Click(Panes().Categories(), Category("1"));
  DoubleClick(quotations, Quotation("1.1"));
  Settle();
  const TreeModel& model = quotations.Model();
  const std::vector<QModelIndex> rows = {
      model.IndexOf(Quotation("1")), model.IndexOf(Quotation("1.1")), model.IndexOf(Quotation("2")),
      model.IndexOf(Quotation("3"))};
  ExpectRows(quotations, {true, true, false, true}, rows);
  ExpectRows(Panes().Categories(), {true});
  // A wider pane: still at its right edge.
  frame->resize(frame->width() + 200, frame->height());
  Settle();
  ExpectRows(quotations, {true, true, false, true}, rows);
  ExpectRows(Panes().References(), {true, false});
  ExpectRows(Panes().Subjects().ListView(), {false, true});
  ExpectRows(Panes().Derivation(), {true});
  CReference& workspace = Panes().Workspace();
  auto firstLine = [&workspace] {
    const QRect line = workspace.cursorRect(QTextCursor(workspace.document()));
    return QRect(0, line.top(), workspace.viewport()->width(), line.height());
  };
  ExpectDirection(*workspace.viewport(), firstLine(), true);
  DoubleClick(quotations, Quotation("2"));
  ExpectDirection(*workspace.viewport(), firstLine(), false);
}

}  // namespace
}  // namespace lorelist::test
