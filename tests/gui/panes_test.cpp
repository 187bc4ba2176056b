#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTimer>

#include "frame_fixture.h"
#include "panes/list_panes.h"
#include "panes/text.h"
#include "tools/splash.h"

namespace lorelist::test {
namespace {

QStringList Lines(const ListBox& list) {
  QStringList lines;
  for (int i = 0; i < list.GetCount(); ++i) lines << list.GetText(i);
  return lines;
}

TEST_F(FrameTest, ClickingAQuotationOnlySelectsItDoubleClickingLoadsIt) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  CReference& workspace = Panes().Workspace();
  HTREEITEM deep = Quotation("1.1.1.1");
  Click(tree, deep);
  EXPECT_EQ(Panes().selectedQuotation, deep);
  EXPECT_EQ(tree.Model().DropHighlight(), deep);
  EXPECT_EQ(workspace.GetText(), "");
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);

  DoubleClick(tree, deep);
  EXPECT_EQ(workspace.GetText(), "A note three levels deep");
  EXPECT_EQ(workspace.Source(), WorkspaceSource::kQuotationNode);
  EXPECT_EQ(Lines(Panes().Derivation()), QStringList({"Montaigne", "Essais", "Que sais-je?"}));

  // A single click elsewhere keeps Workspace and Derivation; a top-level
  // node's double-click empties the Derivation.
  Click(tree, Quotation("2"));
  EXPECT_EQ(workspace.GetText(), "A note three levels deep");
  EXPECT_EQ(Panes().Derivation().GetCount(), 3);
  DoubleClick(tree, Quotation("2"));
  EXPECT_EQ(workspace.GetText(), "Pascal");
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);
}

TEST_F(FrameTest, TextsCrossFromWindows1252) {
  Open();
  DoubleClick(Panes().Quotations(), Quotation("2.1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(),
            QString::fromUtf8("Le c\u0153ur a ses raisons \u20ac \u0081"));
  EXPECT_EQ(Panes().Derivation().GetText(1), QString::fromUtf8("Pens\u00e9es"));
}

TEST_F(FrameTest, ClickingACategoryShowsItsReferencesDoubleClickingLoadsItsTitle) {
  Open();
  CCatTree& tree = Panes().Categories();
  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  Click(tree, Category("1"));
  EXPECT_EQ(Panes().selectedCategory, Category("1"));
  EXPECT_EQ(Lines(Panes().References()), QStringList({"the motto", "heart"}));
  EXPECT_EQ(Panes().References().GetItemData(1), Quotation("2.1.1"));
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);
  EXPECT_TRUE(Panes().Workspace().GetText().startsWith("Le monde"));
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kQuotationNode);

  DoubleClick(tree, Category("1.1"));
  EXPECT_EQ(Panes().Workspace().GetText(), "Wager");
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kCategory);
  EXPECT_EQ(Lines(Panes().References()), QStringList({"deep"}));
}

TEST_F(FrameTest, AReferenceJumpsIntoACollapsedBranch) {
  Open();
  QuoteTree& quotations = Panes().Quotations();
  quotations.collapseAll();
  Click(Panes().Categories(), Category("1"));
  Panes().findReference = {Category("1"), 0};
  DoubleClickLine(Panes().References(), 1);
  HTREEITEM target = Quotation("2.1.1");
  EXPECT_TRUE(quotations.isExpanded(quotations.Model().IndexOf(Quotation("2.1"))));
  EXPECT_EQ(quotations.GetCurrentItem(), target);
  EXPECT_EQ(Panes().selectedQuotation, target);
  EXPECT_EQ(quotations.Model().DropHighlight(), target);
  EXPECT_TRUE(Panes().findReference.IsClear());
  EXPECT_TRUE(Panes().Workspace().GetText().startsWith("Le c"));
  EXPECT_EQ(Lines(Panes().Derivation()),
            QStringList({"Pascal", QString::fromUtf8("Pens\u00e9es")}));
  // The References pane keeps its lines and its current line.
  EXPECT_EQ(Panes().References().GetCount(), 2);
  EXPECT_EQ(Panes().References().GetCurSel(), 1);
  EXPECT_EQ(Panes().selectedCategory, Category("1"));

  // Again on the node already selected: loaded, but the position is kept.
  Panes().Workspace().SetText("edited");
  Panes().findReference = {Category("1"), 1};
  DoubleClickLine(Panes().References(), 1);
  EXPECT_TRUE(Panes().Workspace().GetText().startsWith("Le c"));
  EXPECT_FALSE(Panes().findReference.IsClear());
}

TEST_F(FrameTest, ASubjectEntryJumpsToItsCategory) {
  Open();
  CCatTree& categories = Panes().Categories();
  categories.collapseAll();
  Panes().Workspace().SetText("kept");
  CSubjCombo& subjects = Panes().Subjects();
  // Sorted without regard to case: Coeur, doubt, risk, scepticism.
  ASSERT_EQ(subjects.GetCount(), 4);
  EXPECT_EQ(subjects.ListView().model()->index(0, 0).data().toString(), "Coeur");
  DoubleClickLine(subjects.ListView(), 2);  // "risk", under the collapsed "Doubt"
  EXPECT_EQ(categories.GetCurrentItem(), Category("1.1"));
  EXPECT_EQ(Panes().selectedCategory, Category("1.1"));
  EXPECT_TRUE(categories.isExpanded(categories.Model().IndexOf(Category("1"))));
  EXPECT_EQ(Lines(Panes().References()), QStringList({"deep"}));
  EXPECT_EQ(Panes().Workspace().GetText(), "kept");

  // Typing in the edit field moves the list to the entry it leads to.
  QTest::keyClicks(&subjects.Edit(), "SC");
  EXPECT_EQ(subjects.GetCurSel(), 3);
}

TEST_F(FrameTest, HighlightsStayWhenTheFocusMoves) {
  Open();
  HTREEITEM quotation = Quotation("1.1");
  Click(Panes().Quotations(), quotation);
  Click(Panes().Categories(), Category("2"));
  QTest::mouseClick(Panes().Workspace().viewport(), Qt::LeftButton);
  EXPECT_FALSE(Panes().Quotations().hasFocus());
  const QModelIndex index = Panes().Quotations().Model().IndexOf(quotation);
  EXPECT_TRUE(index.data(TreeModel::kDropHighlightRole).toBool());
  // And it is painted so: navy behind the node's text.
  QuoteTree& tree = Panes().Quotations();
  const QImage shot = tree.viewport()->grab().toImage();
  const QRect rect = tree.visualRect(index);
  EXPECT_EQ(QColor(shot.pixel(rect.right() - 2, rect.center().y())), QColor(0, 0, 128));
  const QRect other = tree.visualRect(tree.Model().IndexOf(Quotation("2")));
  EXPECT_NE(QColor(shot.pixel(other.right() - 2, other.center().y())), QColor(0, 0, 128));
  EXPECT_TRUE(Panes()
                  .Categories()
                  .Model()
                  .IndexOf(Category("2"))
                  .data(TreeModel::kDropHighlightRole)
                  .toBool());
  EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kWorkspace);
}

TEST_F(FrameTest, CollapsingTheBranchOfTheCurrentNodeSelectsTheCollapsedNode) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  Click(tree, Quotation("1.1.1.1"));
  tree.collapse(tree.Model().IndexOf(Quotation("1.1")));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("1.1"));
}

TEST_F(FrameTest, EmptyTreesAndListsTakeDoubleClicksCalmly) {
  Open(CrLf({"@@"}));
  QuoteTree& quotations = Panes().Quotations();
  QTest::mouseDClick(quotations.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseDClick(Panes().Categories().viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseDClick(Panes().References().viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseDClick(Panes().Subjects().ListView().viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Panes().selectedQuotation, nullptr);
  EXPECT_EQ(Panes().selectedCategory, nullptr);
  EXPECT_EQ(Panes().Workspace().Source(), WorkspaceSource::kNone);
}

TEST_F(FrameTest, DeletingTheCurrentNodeLetsTheTreeChooseAnother) {
  Open();
  CCatTree& tree = Panes().Categories();
  Click(tree, Category("2"));
  HTREEITEM doomed = Category("2");
  ASSERT_EQ(frame->Db().DeleteReference(doomed, 0), "");
  ASSERT_EQ(frame->Db().DeleteSubject(doomed, "Coeur"), "");
  ASSERT_EQ(frame->Db().DeleteNode(Tree::kCategories, doomed), "");
  Settle();
  EXPECT_NE(Panes().selectedCategory, doomed);
  if (Panes().selectedCategory) {
    EXPECT_EQ(Panes().selectedCategory, tree.GetCurrentItem());
    EXPECT_EQ(tree.Model().DropHighlight(), Panes().selectedCategory);
  }
}

TEST(TreeModel, PassesTheItemModelTesterThroughEdits) {
  TreeStore store;
  TreeModel model(store);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  HTREEITEM a = store.InsertItem("a");
  HTREEITEM b = store.InsertItem("b");
  HTREEITEM a1 = store.InsertItem("a1", a);
  store.InsertItem("a0", a, TVI_FIRST);
  store.InsertItem("a2", a, a1);
  store.SetItemText(b, "B");
  model.SetDropHighlight(a1);
  store.DeleteItem(a1);
  EXPECT_EQ(model.DropHighlight(), nullptr);
  EXPECT_EQ(model.rowCount(model.IndexOf(a)), 2);
  store.DeleteItem(a);
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.index(0, 0).data().toString(), "B");
  model.SuspendUpdates();
  store.InsertItem("bulk");
  model.ResumeUpdates();
  EXPECT_EQ(model.rowCount(), 2);
  store.DeleteAllItems();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(SubjectIndexModel, PassesTheItemModelTesterThroughEdits) {
  SubjectIndexList list;
  SubjectIndexModel model(list);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  list.AddString("beta");
  list.AddString("alpha");
  list.AddString("gamma");
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.index(0, 0).data().toString(), "alpha");
  list.DeleteString(1);
  EXPECT_EQ(model.index(1, 0).data().toString(), "gamma");
  model.SuspendUpdates();
  list.AppendUnsorted("delta", nullptr);
  list.AppendUnsorted("aardvark", nullptr);
  list.SortAppended();
  model.ResumeUpdates();
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.index(0, 0).data().toString(), "aardvark");
  list.ResetContent();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(Text, RefusesCharactersOutsideTheSet) {
  std::string bytes;
  QString bad;
  EXPECT_TRUE(ToDb(QString::fromUtf8("caf\u00e9 \u20ac"), bytes));
  EXPECT_EQ(bytes, "caf\xE9 \x80");
  EXPECT_FALSE(ToDb(QString::fromUtf8("a\u4e2db"), bytes, &bad));
  EXPECT_EQ(bad, QString::fromUtf8("\u4e2d"));
  EXPECT_FALSE(ToDb(QString::fromUtf8("x\U0001F600"), bytes, &bad));
  EXPECT_EQ(bad, QString::fromUtf8("\U0001F600"));
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    ASSERT_TRUE(ToDb(FromDb(one), bytes));
    EXPECT_EQ(bytes, one);
  }
}

class SplashTest : public FrameTest {
 protected:
  void SetUp() override {
    CSplashWnd::EnableSplashScreen(true);
    CSplashWnd::InstallApplicationHook();
  }
  void TearDown() override {
    CSplashWnd::HideSplashScreen();
    CSplashWnd::EnableSplashScreen(false);
    CSplashWnd::SetPicturePath(QStringLiteral(":/splash.png"));
    FrameTest::TearDown();
  }
};

TEST_F(SplashTest, WithoutAPictureNothingIsShown) {
  Open();
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  EXPECT_EQ(frame->Db().quotations.GetRootItem() != nullptr, true);
}

TEST_F(SplashTest, APictureShowsUntilAKeyWhichThenActs) {
  QPixmap picture(40, 30);
  picture.fill(Qt::darkBlue);
  ASSERT_TRUE(picture.save(QString::fromStdString(dir.File("splash.png"))));
  CSplashWnd::SetPicturePath(QString::fromStdString(dir.File("splash.png")));
  Open();
  ASSERT_NE(CSplashWnd::Current(), nullptr);
  EXPECT_EQ(CSplashWnd::Current()->size(), QSize(40, 30));
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(frame.get(), &move);
  EXPECT_NE(CSplashWnd::Current(), nullptr);  // movement leaves it up
  int statistics = 0;
  frame->SetHandler(32789, [&] { ++statistics; });
  QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  EXPECT_EQ(statistics, 1);
}

TEST_F(SplashTest, APictureClosesByItself) {
  QPixmap picture(10, 10);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(dir.File("splash.png"))));
  CSplashWnd::SetPicturePath(QString::fromStdString(dir.File("splash.png")));
  Open();
  CSplashWnd* splash = CSplashWnd::Current();
  ASSERT_NE(splash, nullptr);
  // The closing is the splash's own single-shot timer, not something a test
  // could only see by waiting a guessed time.
  QTimer* timer = splash->findChild<QTimer*>();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
  EXPECT_TRUE(timer->isSingleShot());
  QSignalSpy closed(splash, &QObject::destroyed);
  ASSERT_TRUE(closed.wait(5000));
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

}  // namespace
}  // namespace lorelist::test
