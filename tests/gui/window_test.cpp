// The window and its panes: title, menus, keys and focus, layout, fonts,
// dialogs of its own, what clicks and double-clicks show, the splash.

#include <QAbstractItemModelTester>
#include <QAction>
#include <QFontDialog>
#include <QFontInfo>
#include <QListView>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <map>

#include "app/command_table.h"
#include "app/dialogs.h"
#include "db/load.h"
#include "frame_fixture.h"
#include "panes/text.h"
#include "tools/splash.h"

namespace lorelist::test {
namespace {

// A load error is shown before the window, what was read stays, and a save
// of that part asks first: No writes nothing.
TEST_F(FrameTest, LoadMessagesAreShownBeforeTheWindowAndSavingAPartAsksFirst) {
  bool visibleDuringMessage = true;
  modal.onMessage = [&](const QString&) { visibleDuringMessage = frame && frame->isVisible(); };
  const std::string broken = CrLf({"@Q1 First", "@Q1.1 Child", "@Q3 wrong", "@Q4 never"});
  Open(broken);
  EXPECT_EQ(modal.Messages(),
            std::vector<QString>{"Final number does not increment by 1: @Q3 wrong"});
  EXPECT_FALSE(modal.shown[0].hadParent);
  EXPECT_FALSE(visibleDuringMessage);
  modal.answers = {Modal::Answer::kNo, Modal::Answer::kYes};
  frame->OnCommand(cmd::kSave);
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), broken);
  EXPECT_EQ(modal.shown.back().text.toStdString(), kPartlyLoadedQuestion);
  EXPECT_EQ(SavedFile(), CrLf({"@Q1 First", "@Q1.1 Child", "@@"}));
}

// Every menu item, toolbar button and key reaches the command it names, and a
// menu item shows keys that really run it.
TEST_F(FrameTest, EveryItemButtonAndKeyRunsItsCommand) {
  Open();
  std::map<int, int> runs;
  for (const Command& command : Commands())
    frame->SetHandler(command.id, [&runs, id = command.id] { ++runs[id]; });
  auto runsOnly = [&](int id) { return runs.size() == 1 && runs.count(id) && runs[id] == 1; };
  // The action whose keys these are; the move keys belong to no one menu
  // item but to the tree pane that last had the focus.
  auto owner = [&](const QKeySequence& keys, bool popupsToo) -> const QAction* {
    const QAction* found = nullptr;
    for (const Command& command : Commands())
      if (QAction* action = frame->Action(command.id); action && (popupsToo || !command.popup))
        if (action->shortcuts().contains(keys)) found = action;
    return found;
  };

  int items = 0;
  for (QAction* popup : frame->menuBar()->actions()) {
    for (QAction* item : popup->menu()->actions()) {
      const int id = item->data().toInt();
      if (item->isSeparator() || id == cmd::kToolbar) continue;  // acts on the bar itself
      SCOPED_TRACE(item->text().toStdString());
      ++items;
      runs.clear();
      item->setEnabled(true);  // the Edit group waits for the Workspace
      item->trigger();
      EXPECT_TRUE(runsOnly(id));
      if (const qsizetype tab = item->text().indexOf(u'\t'); tab >= 0) {
        const QKeySequence shown(item->text().mid(tab + 1));
        const QAction* runner = owner(shown, false) ? owner(shown, false) : item;
        EXPECT_TRUE(runner->shortcuts().contains(shown)) << "shows keys that do not run it";
      }
    }
  }
  EXPECT_GT(items, 20);

  for (QAction* button : frame->ToolBar().actions()) {
    if (button->isSeparator()) continue;
    SCOPED_TRACE(button->toolTip().toStdString());
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_FALSE(button->toolTip().isEmpty());
    runs.clear();
    button->setEnabled(true);
    QTest::mouseClick(frame->ToolBar().widgetForAction(button), Qt::LeftButton);
    EXPECT_TRUE(runsOnly(button->data().toInt()));
  }

  for (const Accelerator& accelerator : Accelerators()) {
    const QKeySequence keys(QString::fromLatin1(accelerator.keys));
    const QAction* action = owner(keys, true);
    ASSERT_NE(action, nullptr) << accelerator.keys;
    runs.clear();
    QTest::keyClick(frame.get(), keys[0].key(), keys[0].keyboardModifiers());
    EXPECT_TRUE(runsOnly(action->data().toInt())) << accelerator.keys;
  }
}

// Right after the start no pane is active: typing reaches none and the Edit
// group is off, but the accelerators work. Then the Edit group follows the
// Workspace, toolbar buttons too; Ctrl+Z there (and in the subject index's
// field) is Add Reference, undo Alt+Backspace.
TEST_F(FrameTest, TheEditGroupFollowsTheWorkspaceWhereCtrlZRunsAddReference) {
  Open();
  int addReference = 0, addSubject = 0;
  frame->SetHandler(cmd::kAddReference, [&] { ++addReference; });
  frame->SetHandler(cmd::kAddSubject, [&] { ++addSubject; });
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClicks(focus, "typed");
  EXPECT_EQ(Panes().Workspace().GetText(), "");
  EXPECT_EQ(Panes().Subjects().Edit().text(), "");
  EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kNone);
  for (int id : {cmd::kCut, cmd::kCopy, cmd::kUndo}) EXPECT_FALSE(frame->Action(id)->isEnabled());
  QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(addReference, 1);

  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  QTest::keyClicks(&workspace, "words");
  QTest::keyClick(&workspace, Qt::Key_A, Qt::ControlModifier);
  for (int id : {cmd::kCut, cmd::kCopy, cmd::kUndo}) EXPECT_TRUE(frame->Action(id)->isEnabled());
  QTest::keyClick(&workspace, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(&workspace, Qt::Key_End);
  QTest::keyClick(&workspace, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(workspace.GetText(), "wordswords");
  QTest::keyClick(&workspace, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(addReference, 2);
  EXPECT_EQ(workspace.GetText(), "wordswords");  // not undone
  QTest::keyClick(&workspace, Qt::Key_Backspace, Qt::AltModifier);
  EXPECT_EQ(workspace.GetText(), "words");

  QLineEdit& edit = Panes().Subjects().Edit();
  QTest::mouseClick(&edit, Qt::LeftButton);
  QTest::keyClick(&edit, Qt::Key_B, Qt::ControlModifier);
  QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(addSubject, 1);
  EXPECT_EQ(addReference, 3);

  Click(Panes().Quotations(), Quotation("1"));
  EXPECT_FALSE(frame->Action(cmd::kCut)->isEnabled());
  EXPECT_FALSE(frame->Action(cmd::kPaste)->isEnabled());
  EXPECT_FALSE(frame->ToolBar().widgetForAction(frame->Action(cmd::kCut))->isEnabled());
}

// Clicks on what is no pane leave the focus where it was, so what is typed
// next still lands in the pane; Ctrl+A in a tree selects the Workspace.
TEST_F(FrameTest, CaptionsBarsAndEmptyBarsKeepTheFocus) {
  Open();
  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  ASSERT_TRUE(workspace.hasFocus());
  auto* outer = qobject_cast<QSplitter*>(frame->centralWidget());
  ASSERT_NE(outer, nullptr);
  QToolBar& toolbar = frame->ToolBar();
  QMenuBar& menu = *frame->menuBar();
  const QRect lastButton = toolbar.actionGeometry(toolbar.actions().back());
  const std::pair<QWidget*, QPoint> places[] = {
      {Panes().Captions()[3], Panes().Captions()[3]->rect().center()},
      {Panes().Captions()[0], Panes().Captions()[0]->rect().center()},
      {outer->handle(1), outer->handle(1)->rect().center()},
      {&toolbar, QPoint(lastButton.right() + 40, toolbar.height() / 2)},
      {&menu, QPoint(menu.width() - 10, menu.height() / 2)},
  };
  QString typed;
  for (const auto& [widget, at] : places) {
    SCOPED_TRACE(widget->metaObject()->className());
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    EXPECT_TRUE(workspace.hasFocus());
    EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kWorkspace);
    QTest::keyClicks(QApplication::focusWidget(), "x");
    EXPECT_EQ(workspace.GetText(), typed += "x");
  }

  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  QTest::keyClick(&Panes().Quotations(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(workspace.hasFocus());
  EXPECT_EQ(workspace.textCursor().selectedText(), workspace.GetText());
  EXPECT_FALSE(workspace.GetText().isEmpty());
}

// The close guard: Cancel keeps everything, No closes touching no file, Yes
// saves with the backup; a save that fails, or that No declines over another
// program's change, keeps the window open; an unchanged database closes
// without a question. File Exit asks the same.
TEST_F(FrameTest, TheCloseGuardAsksAndKeepsWhatWasNotSaved) {
  enum Trouble { kNone, kUnwritable, kChangedOutside };
  using enum Modal::Answer;
  struct Case {
    std::vector<Modal::Answer> answers;  // none: unchanged, nothing asked
    Trouble trouble;
    bool staysOpen, saved;
  };
  const Case cases[] = {{{kCancel}, kNone, true, false},
                        {{kNo}, kNone, false, false},
                        {{kYes}, kNone, false, true},
                        {{kYes}, kUnwritable, true, false},
                        {{kYes, kNo}, kChangedOutside, true, false},
                        {{}, kNone, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    Reopen(kGuiSample);
    if (!c.answers.empty()) {
      frame->Db().quotations.SetItemText(Quotation("1"), "Changed");
      frame->Db().MarkChanged();
      modal.answers = {c.answers.begin(), c.answers.end()};
    }
    // The question of a file changed outside has buttons of its own.
    if (c.trouble == kChangedOutside) {
      modal.choices = {modal.answers.back() == kNo ? "No" : "Yes"};
      modal.answers.pop_back();
    }
    ASSERT_TRUE(c.trouble != kUnwritable || ::mkdir(dir.File("LorTemp.BK!").c_str(), 0755) == 0);
    if (c.trouble == kChangedOutside) WriteFile(dir.File(kDatabaseFile), kGuiSample + "@C3 X\r\n");
    frame->OnCommand(cmd::kExit);
    EXPECT_EQ(frame->isVisible(), c.staysOpen);
    EXPECT_EQ(modal.shown.size(), c.answers.size() + (c.trouble == kUnwritable));
    if (!c.answers.empty()) {
      EXPECT_EQ(modal.shown.front().text,
                "Changes have been made. Do you want to save them before exiting?");
    }
    EXPECT_TRUE(c.trouble != kChangedOutside || modal.shown.back().text == kChangedOutsideQuestion);
    EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)).rfind("@Q1 Changed\r\n", 0) == 0, c.saved);
    EXPECT_EQ(Exists(dir.File(kBackupFile)), c.saved);
    EXPECT_TRUE(!c.staysOpen || frame->Db().IsChanged());
    ::rmdir(dir.File("LorTemp.BK!").c_str());
    std::remove(dir.File(kBackupFile).c_str());
  }
}

// The views go before the database they observe: when the window is
// destroyed without closing, each pane still finds the database whole.
TEST_F(FrameTest, ThePanesGoBeforeTheDatabase) {
  Open();
  const Database& db = frame->Db();
  const size_t all = db.quotations.GetCount() + db.categories.GetCount();
  std::vector<size_t> seen;
  for (QObject* view : std::initializer_list<QObject*>{&Panes().Quotations(), &Panes().Categories(),
                                                       &Panes().Subjects()})
    QObject::connect(view, &QObject::destroyed,
                     [&] { seen.push_back(db.quotations.GetCount() + db.categories.GetCount()); });
  frame->Db().ClearChanged();
  frame.reset();
  EXPECT_EQ(seen, std::vector<size_t>(3, all));
}

// A bar dragged by the user holds until the next resize, which puts every
// pane back in proportion; captions keep their height.
TEST_F(FrameTest, PanesKeepTheirProportionsAfterEveryResize) {
  Open();
  frame->showNormal();
  frame->resize(1000, 700);
  Settle();
  auto* outer = qobject_cast<QSplitter*>(frame->centralWidget());
  ASSERT_NE(outer, nullptr);
  auto shares = [outer] {
    std::vector<double> all;
    for (int size : outer->sizes()) all.push_back(double(size) / outer->width());
    return all;
  };
  const std::vector<double> proportions = shares();
  EXPECT_EQ(outer->sizes()[0], outer->sizes()[1]);
  outer->setSizes({100, 300, outer->sizes()[2]});
  Settle();
  EXPECT_EQ(outer->sizes()[0], 100);
  for (QSize size : {QSize(1000, 701), QSize(500, 400)}) {
    frame->resize(size);
    Settle();
    for (size_t i = 0; i < proportions.size(); ++i) EXPECT_NEAR(shares()[i], proportions[i], 0.02);
    EXPECT_EQ(Panes().Captions()[1]->height(), CTitle::CaptionHeight());
  }
}

// The real chooser: it finds the start-up font's face in its list, at the
// size that is 16 pixels here, and OK without a change leaves the panes.
TEST_F(FrameTest, TheRealFontChooserOpensOnTheStartupFont) {
  Open();
  modal.realFontChooser = true;
  const QFont startup = CMainFrame::StartupFont();
  ASSERT_EQ(Panes().Workspace().font(), startup);
  QString family, listed;
  double pixels = 0;
  // Ctrl+F as a user presses it, in the window active again; the chooser
  // looked at once it is up, a size set or not, and Enter pressed.
  auto pressCtrlF = [&](double size) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    family.clear();
    QTimer::singleShot(0, [&, size] {
      auto* chooser = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      QTimer::singleShot(20000, chooser, [chooser] { chooser->reject(); });
      family = chooser->currentFont().family();
      pixels = chooser->currentFont().pointSizeF() * frame->logicalDpiY() / 72.0;
      // The face is picked in the chooser's own list of faces.
      for (QListView* list : chooser->findChildren<QListView*>())
        if (list->currentIndex().isValid() && listed.isEmpty())
          listed = list->currentIndex().data().toString();
      if (size > 0) {
        QFont bigger = chooser->currentFont();
        bigger.setPointSizeF(size);
        chooser->setCurrentFont(bigger);
      }
      QTest::keyClick(chooser, Qt::Key_Return);
    });
    QTest::keyClick(frame.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(family.isEmpty()) << "the chooser did not open";
  };
  pressCtrlF(0);
  EXPECT_EQ(family, QFontInfo(startup).family());
  EXPECT_EQ(listed, family);
  EXPECT_NE(family, "Sans Serif");
  EXPECT_NEAR(pixels, 16.0, 0.01);
  EXPECT_EQ(Panes().Workspace().font(), startup) << "OK without a change changes nothing";
  pressCtrlF(20);
  for (QWidget* window : Panes().FontBearingWindows()) {
    EXPECT_EQ(window->font().pointSizeF(), 20) << window->metaObject()->className();
    EXPECT_EQ(window->font().family(), family);
  }
  for (CTitle* caption : Panes().Captions()) EXPECT_NE(caption->font().pointSizeF(), 20);
  pressCtrlF(0);  // on the start-up font again, whatever the panes have
  EXPECT_NEAR(pixels, 16.0, 0.01);
  EXPECT_EQ(family, QFontInfo(startup).family());
}

TEST_F(FrameTest, AboutAndHelpShowTheirDialogs) {
  Open();
  modal.dialogScripts.push_back([](QDialog& dialog) {
    QTest::mouseClick(&dynamic_cast<CAboutDlg&>(dialog).OkButton(), Qt::LeftButton);
  });
  frame->OnCommand(cmd::kAbout);
  EXPECT_EQ(modal.shown.back().text, "About Lorelist");

  // Help lists every item of the menu with the keys that run it.
  std::multimap<QString, QString> keys;
  modal.dialogScripts.push_back([&](QDialog& dialog) {
    const QTableWidget& table = dynamic_cast<CHelpDlg&>(dialog).Table();
    for (int row = 0; row < table.rowCount(); ++row)
      keys.emplace(table.item(row, 0)->text(), table.item(row, 1)->text());
  });
  QTest::keyClick(frame.get(), Qt::Key_F1);
  for (QAction* popup : frame->menuBar()->actions())
    for (QAction* item : popup->menu()->actions()) {
      if (item->isSeparator() || item->menu()) continue;
      const QString name = popup->text().remove(u'&') + QStringLiteral(" > ") +
                           item->text().section(u'\t', 0, 0).remove(u'&');
      ASSERT_TRUE(keys.count(name)) << name.toStdString();
      const auto [first, last] = keys.equal_range(name);
      for (const QKeySequence& shortcut : item->shortcuts())
        EXPECT_TRUE(std::any_of(first, last, [&](const auto& row) {
          return row.second.contains(shortcut.toString());
        })) << name.toStdString();
    }
}

// A click only selects (and marks); a double-click loads the Workspace and
// the Derivation, which a click elsewhere keeps. A category clicked shows its
// references and clears the Derivation; double-clicked, it loads its title.
TEST_F(FrameTest, ClickingANodeOnlySelectsItDoubleClickingLoadsIt) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  CReference& workspace = Panes().Workspace();
  HTREEITEM deep = Quotation("1.1.1.1");
  Click(tree, deep);
  EXPECT_EQ(Panes().selectedQuotation, deep);
  EXPECT_EQ(workspace.GetText(), "");
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);

  DoubleClick(tree, deep);
  EXPECT_EQ(workspace.GetText(), "A note three levels deep");
  EXPECT_EQ(Lines(Panes().Derivation()), QStringList({"Montaigne", "Essais", "Que sais-je?"}));
  Click(tree, Quotation("2"));
  EXPECT_EQ(workspace.GetText(), "A note three levels deep");
  EXPECT_EQ(Panes().Derivation().GetCount(), 3);
  DoubleClick(tree, Quotation("2"));  // top-level: no Derivation
  EXPECT_EQ(workspace.GetText(), "Pascal");
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);

  DoubleClick(tree, Quotation("2.1.1"));  // texts cross from Windows-1252
  EXPECT_EQ(workspace.GetText(), QString::fromUtf8("Le c\u0153ur a ses raisons \u20ac \u0081"));
  EXPECT_EQ(Panes().Derivation().GetText(1), QString::fromUtf8("Pens\u00e9es"));

  Click(Panes().Categories(), Category("1"));
  EXPECT_EQ(Lines(Panes().References()), QStringList({"the motto", "heart"}));
  EXPECT_EQ(Panes().Derivation().GetCount(), 0);
  DoubleClick(Panes().Categories(), Category("1.1"));
  EXPECT_EQ(workspace.GetText(), "Wager");
  EXPECT_EQ(workspace.Source(), WorkspaceSource::kCategory);
}

TEST_F(FrameTest, AReferenceJumpsIntoACollapsedBranch) {
  Open();
  QuoteTree& quotations = Panes().Quotations();
  quotations.collapseAll();
  Click(Panes().Categories(), Category("1"));
  Panes().findReference = {Category("1"), 0};
  DoubleClickLine(Panes().References(), 1);
  EXPECT_TRUE(quotations.isExpanded(quotations.Model().IndexOf(Quotation("2.1"))));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("2.1.1"));
  EXPECT_TRUE(Panes().findReference.IsClear());
  EXPECT_TRUE(Panes().Workspace().GetText().startsWith("Le c"));
  EXPECT_EQ(Lines(Panes().Derivation()),
            QStringList({"Pascal", QString::fromUtf8("Pens\u00e9es")}));
  // The References pane keeps its current line.
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
  DoubleClickLine(subjects.ListView(), 2);  // "risk", under the collapsed "Doubt"
  EXPECT_EQ(Panes().selectedCategory, Category("1.1"));
  EXPECT_TRUE(categories.isExpanded(categories.Model().IndexOf(Category("1"))));
  EXPECT_EQ(Panes().Workspace().GetText(), "kept");
  // Typing in the edit field moves the list to the entry it leads to.
  QTest::keyClicks(&subjects.Edit(), "SC");
  EXPECT_EQ(subjects.GetCurSel(), 3);
}

// The mark stays, painted navy, when the focus goes elsewhere.
TEST_F(FrameTest, HighlightsStayWhenTheFocusMoves) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  Click(tree, Quotation("1.1"));
  QTest::mouseClick(Panes().Workspace().viewport(), Qt::LeftButton);
  EXPECT_FALSE(tree.hasFocus());
  const QImage shot = tree.viewport()->grab().toImage();
  auto colour = [&](HTREEITEM node) {
    const QRect rect = tree.visualRect(tree.Model().IndexOf(node));
    return QColor(shot.pixel(rect.right() - 2, rect.center().y()));
  };
  EXPECT_EQ(colour(Quotation("1.1")), QColor(0, 0, 128));
  EXPECT_NE(colour(Quotation("2")), QColor(0, 0, 128));
}

// The tree moves its current node, and the selection follows: onto the
// collapsed node, or off a node deleted.
TEST_F(FrameTest, TheSelectionFollowsTheTreesCurrentNode) {
  Open();
  QuoteTree& tree = Panes().Quotations();
  Click(tree, Quotation("1.1.1.1"));
  tree.collapse(tree.Model().IndexOf(Quotation("1.1")));
  EXPECT_EQ(Panes().selectedQuotation, Quotation("1.1"));

  CCatTree& categories = Panes().Categories();
  HTREEITEM doomed = Category("2");
  Click(categories, doomed);
  ASSERT_EQ(frame->Db().DeleteReference(doomed, 0), "");
  ASSERT_EQ(frame->Db().DeleteSubject(doomed, "Coeur"), "");
  ASSERT_EQ(frame->Db().DeleteNode(Tree::kCategories, doomed), "");
  Settle();
  EXPECT_NE(Panes().selectedCategory, doomed);
  EXPECT_EQ(Panes().selectedCategory, categories.GetCurrentItem());
  EXPECT_EQ(categories.Model().DropHighlight(), Panes().selectedCategory);
}

TEST(TreeModel, PassesTheItemModelTesterThroughEdits) {
  TreeStore store;
  const Encoding encoding = Encoding::kWindows1252;
  TreeModel model(store, encoding);
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
  const Encoding encoding = Encoding::kWindows1252;
  SubjectIndexModel model(list, encoding);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  for (const char* entry : {"beta", "alpha", "gamma"}) list.AddString(entry);
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

// Windows-1252 names the first character it lacks, UTF-8 holds every one; a
// line separator is a line break in either; texts are cut for showing at
// characters, not bytes.
TEST(Text, EachEncodingHoldsWhatItCan) {
  std::string bytes;
  QString bad;
  EXPECT_FALSE(ToDb("a\u4e2db", Encoding::kWindows1252, bytes, &bad));
  EXPECT_EQ(bad, "\u4e2d");
  EXPECT_FALSE(ToDb("x\U0001F600", Encoding::kWindows1252, bytes, &bad));
  EXPECT_EQ(bad, "\U0001F600");
  EXPECT_TRUE(ToDb("caf\u00e9 \u20ac", Encoding::kWindows1252, bytes));
  EXPECT_EQ(bytes, "caf\xE9 \x80");
  EXPECT_TRUE(ToDb("\u4e2d\U0001F600", Encoding::kUtf8, bytes));
  EXPECT_EQ(bytes, "\u4e2d\U0001F600");
  EXPECT_EQ(ToEditText("\U0001F600 \u0142", Encoding::kUtf8).unstorable, "");
  for (Encoding encoding : {Encoding::kWindows1252, Encoding::kUtf8})
    EXPECT_EQ(ToEditText("a\u2028b\u2029c", encoding).bytes, "a\nb\nc");
  EXPECT_EQ(FromDbShown("\xCE\xB1\xCE\xB2", Encoding::kUtf8, 2), "\u03b1\u03b2");
  EXPECT_EQ(FromDbShown("\xCE\xB1\xCE\xB2\xCE\xB3", Encoding::kUtf8, 2),
            "\u03b1\u03b2\u2026 (1 more characters)");
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
  // Opens the window with a picture of that size to show.
  void OpenWithPicture(QSize size) {
    QPixmap picture(size);
    picture.fill(Qt::darkBlue);
    ASSERT_TRUE(picture.save(Q(dir.File("splash.png"))));
    CSplashWnd::SetPicturePath(Q(dir.File("splash.png")));
    Open();
  }
};

// A key closes it and then acts; a mouse movement leaves it up.
TEST_F(SplashTest, APictureShowsUntilAKeyWhichThenActs) {
  OpenWithPicture({40, 30});
  ASSERT_NE(CSplashWnd::Current(), nullptr);
  EXPECT_EQ(CSplashWnd::Current()->size(), QSize(40, 30));
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(frame.get(), &move);
  EXPECT_NE(CSplashWnd::Current(), nullptr);
  int statistics = 0;
  frame->SetHandler(cmd::kStatistics, [&] { ++statistics; });
  QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  EXPECT_EQ(statistics, 1);
}

// Without a picture nothing is shown; with one it closes by itself.
TEST_F(SplashTest, APictureClosesByItself) {
  CSplashWnd::ShowSplashScreen(nullptr);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  OpenWithPicture({10, 10});
  CSplashWnd* splash = CSplashWnd::Current();
  ASSERT_NE(splash, nullptr);
  // The closing is the splash's own single-shot timer, not something a test
  // could only see by waiting a guessed time.
  QTimer* timer = splash->findChild<QTimer*>();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive() && timer->isSingleShot());
  QSignalSpy closed(splash, &QObject::destroyed);
  ASSERT_TRUE(closed.wait(5000));
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

}  // namespace
}  // namespace lorelist::test
