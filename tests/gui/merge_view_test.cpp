// The merge view: a plan's changes listed in the dictionary's terms under
// their groups, ticked and answered with real clicks and keys, and the plan
// then made as the view left it.

#include "tools/merge_view.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeView>
#include <string>

#include "support/capture_ops.h"
#include "support/fixtures.h"

namespace lorelist::test {
namespace {

// A file from its lines, given apart by "|", each ended by CR LF.
std::string File(std::string_view lines) {
  std::string file;
  for (size_t at = 0; at <= lines.size();) {
    const size_t end = std::min(lines.find('|', at), lines.size());
    file.append(lines.substr(at, end - at)).append("\r\n");
    at = end + 1;
  }
  return file;
}

// Theirs, against the base, changes a node of every kind (a category only
// among its siblings) and a reference and an entry each way; mine changes
// what two of those changes touch, and adds an entry of its own.
const std::string kBase = File(
    "@Q1 Seneca|@Q1.1 Letters|@Q1.1.1 On anger|@Q1.1.2 On leisure|@Q1.2 Essays|@Q2 Pascal|"
    "@Q2.1 Pens\xE9"
    "es|@Q2.1.1 The heart|@Q2.1.2 The reed|@Q2.2 Provincial letters|@Q2.2.1 Letter 1|@@|"
    "@C1 Virtue|@Scourage|@Sfortitude|@R1.1.1 calm|@R2.1.2 frail|@C2 Doubt|@Sdoubt|"
    "@C2.1 Certainty");
const std::string kMine = File(
    "@Q1 Seneca|@Q1.1 Letters|@Q1.1.1 On anger|@Q1.1.2 On leisure, mine|@Q1.2 Essays|"
    "@Q2 Pascal|@Q2.1 Pens\xE9"
    "es|@Q2.1.1 The heart has reasons|@Q2.1.2 The reed|@Q2.2 Provincial letters|"
    "@Q2.2.1 Letter 1|@@|@C1 Virtue|@Scourage|@Sfortitude|@Swisdom|@R1.1.1 calm|"
    "@R2.1.2 frail|@C2 Doubt|@Sdoubt|@C2.1 Certainty");
const std::string kTheirs = File(
    "@Q1 Seneca|@Q1.1 Letters|@Q1.1.1 On free time|@Q1.2 Moral essays|@Q1.2.1 On anger|"
    "@Q2 Pascal|@Q2.1 Pens\xE9"
    "es|@Q2.1.1 The reed|@Q3 Epictetus|@Q3.1 Enchiridion|@@|@C1 Doubts|@Sdoubt|"
    "@Sscepticism|@R3.1 brief|@C1.1 Certainty|@C2 Virtue|@Scourage|@R1.2.1 calm|@C3 Hope|"
    "@Shope");

// The list as shown: each group with its box ([x] ticked, [ ] not, [-] in
// part), each change under it with its box (none for a conflict) and its
// columns; a change that will not be made as it stands is marked "(grey)".
QStringList Shown(const QTreeView& view) {
  const QAbstractItemModel& model = *view.model();
  auto box = [](const QModelIndex& index) {
    const QVariant state = index.data(Qt::CheckStateRole);
    if (!state.isValid()) return QString();
    return QString::fromLatin1(state.toInt() == Qt::Checked            ? "[x] "
                               : state.toInt() == Qt::PartiallyChecked ? "[-] "
                                                                       : "[ ] ");
  };
  QStringList shown;
  for (int g = 0; g < model.rowCount(); ++g) {
    const QModelIndex group = model.index(g, 0);
    shown << box(group) + group.data().toString();
    for (int r = 0; r < model.rowCount(group); ++r) {
      QStringList columns;
      for (int c = 0; c < CMergeView::kColumns; ++c) {
        const QString text = model.index(r, c, group).data().toString();
        if (!text.isEmpty()) columns << text;
      }
      const QModelIndex row = model.index(r, 0, group);
      shown << "  " + box(row) + columns.join(" | ") +
                   (row.data(Qt::ForegroundRole).isValid() ? " (grey)" : "");
    }
  }
  return shown;
}

class MergeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [db, bytes] : {std::pair{&base, &kBase}, {&mine, &kMine}, {&theirs, &kTheirs}})
      ASSERT_EQ(LoadBytes(*db, *bytes).status, LoadResult::kComplete);
  }
  // The view on a plan, shown, the list focused.
  std::unique_ptr<CMergeView> Open(MergePlan& plan) {
    auto view = std::make_unique<CMergeView>(plan, mine, theirs, QStringLiteral("Florilex.txt"));
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->activateWindow();
    view->Changes().setFocus();
    return view;
  }
  static QModelIndex Row(const QTreeView& view, int group, int row, int column = 0) {
    const QAbstractItemModel& model = *view.model();
    return model.index(row, column, model.index(group, 0));
  }
  static void Key(const QTreeView& view, Qt::Key key) { QTest::keyClick(view.viewport(), key); }
  // A click on a row's box, where the style draws it.
  static void ClickBox(QTreeView& view, const QModelIndex& index) {
    view.scrollTo(index);
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = view.visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box =
        view.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, box.center());
  }
  // A click on a conflict's answer: the choice it opens, its list shown.
  static QComboBox* OpenAnswers(QTreeView& view, const QModelIndex& index) {
    view.scrollTo(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(index).center());
    QApplication::processEvents();
    auto* choice = view.findChild<QComboBox*>();
    return choice && choice->view()->isVisible() ? choice : nullptr;
  }
  // What each change is to do: taken ("t"), with both texts ("b"), or not (".").
  static std::string Taken(const MergePlan& plan) {
    std::string taken;
    for (const Change& change : plan.changes) taken += change.both ? 'b' : change.take ? 't' : '.';
    return taken;
  }

  Database base, mine, theirs;
};

TEST_F(MergeViewTest, ListsTicksAnswersAndGivesThePlanWhatWasChosen) {
  MergePlan plan(base, mine, theirs);
  auto view = Open(plan);
  QTreeView& list = view->Changes();
  EXPECT_EQ(view->Summary().text(),
            "Florilex.txt: 13 changes, 2 conflicts. Each conflict asks which side to keep.");
  const QStringList expected = {
      "[ ] Conflicts (2)",
      "  Seneca \u203A Letters | On leisure, mine | On free time | Mine",
      "  Pascal \u203A Pens\u00E9"
      "es | The heart has reasons | deleted | Mine",
      "[x] Quotation nodes inserted (1)",
      "  [x] top level | none | Epictetus (subtree of 2 nodes)",
      "[x] Quotation nodes deleted (1)",
      "  [x] Pascal | Provincial letters (subtree of 2 nodes) | deleted",
      "[x] Quotation texts changed (1)",
      "  [x] Seneca | Essays | Moral essays",
      "[x] Quotation nodes moved (1)",
      "  [x] Seneca \u203A Letters \u203A On anger | under Seneca \u203A Letters | under Seneca "
      "\u203A Moral essays",
      "[x] Categories inserted (1)",
      "  [x] top level | none | Hope",
      "[x] Category titles changed (1)",
      "  [x] top level | Doubt | Doubts",
      "[x] Categories moved (1)",
      "  [x] Virtue | at the top level, place 1 | at the top level, place 2",
      "[x] References added (1)",
      "  [x] Doubt | none | brief \u2192 Epictetus \u203A Enchiridion",
      "[x] References deleted (1)",
      "  [x] Virtue | frail \u2192 Pascal \u203A Pens\u00E9"
      "es \u203A The reed | deleted",
      "[x] Subject entries added (1)",
      "  [x] Doubt | none | scepticism",
      "[x] Subject entries deleted (1)",
      "  [x] Virtue | fortitude | deleted",
  };
  EXPECT_EQ(Shown(list), expected);

  // The insertion unticked with Space, reached with the arrows: the
  // reference to its quotation shows that it will not be made, and why.
  EXPECT_EQ(list.currentIndex(), list.model()->index(0, 0));
  for (int i = 0; i < 4; ++i) Key(list, Qt::Key_Down);
  ASSERT_EQ(list.currentIndex().siblingAtColumn(0), Row(list, 1, 0));
  Key(list, Qt::Key_Space);
  const QModelIndex brief = Row(list, 8, 0);
  EXPECT_TRUE(Shown(list)[18].endsWith("(grey)")) << Shown(list)[18].toStdString();
  EXPECT_TRUE(brief.data(Qt::ToolTipRole)
                  .toString()
                  .startsWith("Not made unless this is taken too: Quotation nodes inserted: "
                              "Epictetus (subtree of 2 nodes)"));
  // An added entry unticked with a click on its box; a group's box clicked
  // unticks all of it, clicked again ticks it.
  ClickBox(list, Row(list, 10, 0));
  ClickBox(list, list.model()->index(11, 0));
  EXPECT_EQ(Shown(list)[23], "[ ] Subject entries deleted (1)");
  ClickBox(list, list.model()->index(11, 0));
  EXPECT_EQ(Shown(list)[23], "[x] Subject entries deleted (1)");
  // The text conflict answered both: a click on its answer opens the
  // choice, and the keys pick the last.
  QComboBox* choice = OpenAnswers(list, Row(list, 0, 0, CMergeView::kKeep));
  ASSERT_TRUE(choice);
  EXPECT_TRUE(view->Detail().toPlainText().startsWith(
      "Both changed the text. Keep mine, take theirs, or both: mine's text, then theirs'."));
  QTest::keyClick(choice->view(), Qt::Key_Down);
  QTest::keyClick(choice->view(), Qt::Key_Down);
  QTest::keyClick(choice->view(), Qt::Key_Return);
  QApplication::processEvents();
  // The deletion against mine's change: its choice opened and closed by
  // Escape, the answer still mine; then theirs, by Space on the list.
  choice = OpenAnswers(list, Row(list, 0, 1, CMergeView::kKeep));
  ASSERT_TRUE(choice);
  QTest::keyClick(choice->view(), Qt::Key_Escape);
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(list.findChild<QComboBox*>());
  EXPECT_EQ(view->result(), QDialog::Rejected) << "the dialog is still open";
  ASSERT_EQ(QApplication::focusWidget(), &list);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(Shown(list).mid(0, 3),
            QStringList({"[x] Conflicts (2)",
                         "  Seneca \u203A Letters | On leisure, mine | On free time | Both",
                         "  Pascal \u203A Pens\u00E9"
                         "es | The heart has reasons | deleted | "
                         "Theirs"}));
  EXPECT_EQ(Taken(plan), "ttttt.t.ttttt") << "nothing given before OK";

  Key(list, Qt::Key_Return);
  EXPECT_EQ(view->result(), QDialog::Accepted);
  // The plan's order: entries and references first, then the quotations',
  // then the categories' changes.
  EXPECT_EQ(Taken(plan), "tt.ttbttt.ttt");
  ASSERT_EQ(plan.Apply(mine), "");
  EXPECT_EQ(WrittenDatabase(mine),
            File("@Q1 Seneca|@Q1.1 Letters|@Q1.1.1 On leisure, mine On free time|"
                 "@Q1.2 Moral essays|@Q1.2.1 On anger|@Q2 Pascal|@Q2.1 Pens\xE9"
                 "es|@Q2.1.1 The reed|@@|@C1 Doubts|@Sdoubt|@C1.1 Certainty|@C2 Virtue|"
                 "@Scourage|@Swisdom|@R1.2.1 calm|@C3 Hope|@Shope"));
}

// Cancel, by its key, gives the plan nothing of what was ticked; in a plan
// without a common version nothing is ticked at first.
TEST_F(MergeViewTest, CancelLeavesThePlanAndTwoWayStartsUnticked) {
  MergePlan plan(base, mine, theirs);
  plan.TakeTheirsInConflicts(true);
  const std::string before = Taken(plan);
  auto view = Open(plan);
  QTreeView& list = view->Changes();
  Key(list, Qt::Key_Space);  // every conflict back to mine
  list.setCurrentIndex(Row(list, 2, 0));
  Key(list, Qt::Key_Space);
  QTest::mouseClick(&view->CancelButton(), Qt::LeftButton);
  EXPECT_EQ(view->result(), QDialog::Rejected);
  EXPECT_EQ(Taken(plan), before);

  MergePlan differences(mine, mine, theirs);
  view = Open(differences);
  EXPECT_FALSE(Shown(view->Changes()).join('\n').contains("[x]"));
  Key(view->Changes(), Qt::Key_Escape);
  EXPECT_EQ(view->result(), QDialog::Rejected);
}

// A conflict of a kind this view does not know is listed among the
// conflicts, said in general words, and answered mine or theirs; a change
// of a kind it does not know is listed apart, by its node.
TEST_F(MergeViewTest, KindsNotKnownAreListedInGeneralWords) {
  MergePlan plan(base, mine, theirs);
  ASSERT_EQ(plan.changes[4].kind, Change::kMoved);
  plan.changes[4].conflict = static_cast<Change::Conflict>(7);
  ASSERT_EQ(plan.changes[11].kind, Change::kText);
  plan.changes[11].kind = static_cast<Change::Kind>(15);
  auto view = Open(plan);
  QTreeView& list = view->Changes();
  EXPECT_EQ(Shown(list).mid(Shown(list).size() - 2),
            QStringList({"[x] Other changes (1)", "  [x] Doubt | Doubt | Doubts"}));
  const QModelIndex keep = Row(list, 0, 0, CMergeView::kKeep);
  EXPECT_EQ(Shown(list)[0], "[-] Conflicts (3)");
  EXPECT_TRUE(keep.data(Qt::ToolTipRole)
                  .toString()
                  .startsWith("Mine and theirs differ here. Keep mine, or take theirs."));
  list.setCurrentIndex(keep);
  QStringList answers;
  for (int i = 0; i < 3; ++i) {
    answers << keep.data().toString();
    Key(list, Qt::Key_Space);
  }
  EXPECT_EQ(answers, QStringList({"Theirs", "Mine", "Theirs"}));
}

}  // namespace
}  // namespace lorelist::test
