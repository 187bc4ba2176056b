#include <QAction>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <map>

#include "app/command_table.h"
#include "app/dialogs.h"
#include "db/save.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

const QString kUnchanged = QStringLiteral("Lorelist Version 1.1 - Unchanged");
const QString kChanged = QStringLiteral("Lorelist Version 1.1");

TEST_F(FrameTest, TitleTellsTheChangedFlagAndSaveBringsItBack) {
  Open();
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  frame->Db().MarkChanged();
  EXPECT_EQ(frame->windowTitle(), kChanged);
  frame->Db().MarkChanged();
  EXPECT_EQ(frame->windowTitle(), kChanged);
  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  EXPECT_EQ(ReadFile(dir.File("FlorilexOld.txt")), kGuiSample);
  EXPECT_EQ(ReadFile(dir.File("Florilex.txt")), kGuiSample);
  EXPECT_TRUE(modal.shown.empty());
}

// A load error is shown before the window, what was read stays, and a save
// of that part asks first: No writes nothing.
TEST_F(FrameTest, LoadErrorIsShownBeforeTheWindowAndSavingThePartAsksFirst) {
  bool visibleDuringMessage = true;
  modal.onMessage = [&](const QString&) { visibleDuringMessage = frame && frame->isVisible(); };
  const std::string broken = CrLf({"@Q1 First", "@Q1.1 Child", "@Q3 wrong", "@Q4 never"});
  Open(broken);
  ASSERT_EQ(modal.Messages().size(), 1u);
  EXPECT_EQ(modal.Messages()[0], "Final number does not increment by 1: @Q3 wrong");
  EXPECT_FALSE(modal.shown[0].hadParent);
  EXPECT_FALSE(visibleDuringMessage);
  EXPECT_EQ(frame->Db().quotations.GetCount(), 2u);
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  modal.answers = {Modal::Answer::kNo};
  frame->OnCommand(cmd::kSave);
  EXPECT_EQ(ReadFile(dir.File("Florilex.txt")), broken);
  EXPECT_EQ(modal.shown.back().text.toStdString(), kPartlyLoadedQuestion);
  modal.answers = {Modal::Answer::kYes};
  frame->OnCommand(cmd::kSave);
  EXPECT_EQ(ReadFile(dir.File("Florilex.txt")), CrLf({"@Q1 First", "@Q1.1 Child", "@@"}));
}

// Every menu item, toolbar button and key reaches the command it names, and a
// menu item shows keys that really run it.
TEST_F(FrameTest, EveryItemButtonAndKeyRunsItsCommand) {
  Open();
  std::map<int, int> runs;
  for (const Command& command : Commands())
    frame->SetHandler(command.id, [&runs, id = command.id] { ++runs[id]; });
  auto runsOnly = [&](int id) { return runs.size() == 1 && runs.count(id) && runs[id] == 1; };

  int items = 0;
  for (QAction* popup : frame->menuBar()->actions()) {
    for (QAction* item : popup->menu()->actions()) {
      const int id = item->data().toInt();
      if (item->isSeparator() || id == cmd::kToolbar)
        continue;  // the toggle acts on the bar itself
      SCOPED_TRACE(item->text().toStdString());
      ++items;
      runs.clear();
      item->setEnabled(true);  // the Edit group waits for the Workspace
      item->trigger();
      EXPECT_TRUE(runsOnly(id));
      const qsizetype tab = item->text().indexOf(u'\t');
      if (tab >= 0) {
        const QKeySequence shown(item->text().mid(tab + 1));
        // The move keys belong to no one menu: they move in the tree pane
        // that last had the focus.
        const QAction* owner = item;
        for (const Command& command : Commands())
          if (QAction* action = frame->Action(command.id); action && !command.popup)
            if (action->shortcuts().contains(shown)) owner = action;
        EXPECT_TRUE(owner->shortcuts().contains(shown)) << "shows keys that do not run it";
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

  // Every key of the accelerator table, pressed in the window.
  for (const Accelerator& accelerator : Accelerators()) {
    const QKeySequence keys(QString::fromLatin1(accelerator.keys));
    const QAction* owner = nullptr;
    for (const Command& command : Commands())
      if (QAction* action = frame->Action(command.id))
        if (action->shortcuts().contains(keys)) owner = action;
    ASSERT_NE(owner, nullptr) << accelerator.keys;
    const QKeyCombination key = keys[0];
    runs.clear();
    QTest::keyClick(frame.get(), key.key(), key.keyboardModifiers());
    EXPECT_TRUE(runsOnly(owner->data().toInt())) << accelerator.keys;
  }
}

TEST_F(FrameTest, CtrlZRunsAddReferenceEvenInTheWorkspace) {
  Open();
  int addReference = 0, addSubject = 0;
  frame->SetHandler(cmd::kAddReference, [&] { ++addReference; });
  frame->SetHandler(cmd::kAddSubject, [&] { ++addSubject; });
  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  QTest::keyClicks(&workspace, "abc");
  QTest::keyClick(&workspace, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(addReference, 1);
  EXPECT_EQ(workspace.GetText(), "abc");  // not undone
  // Undo is on Alt+Backspace.
  QTest::keyClick(&workspace, Qt::Key_Backspace, Qt::AltModifier);
  EXPECT_EQ(workspace.GetText(), "");
  // The subject index's edit field gives way too.
  QLineEdit& edit = Panes().Subjects().Edit();
  QTest::mouseClick(&edit, Qt::LeftButton);
  QTest::keyClick(&edit, Qt::Key_B, Qt::ControlModifier);
  QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(addSubject, 1);
  EXPECT_EQ(addReference, 2);
  EXPECT_FALSE(frame->Db().IsChanged());
}

TEST_F(FrameTest, CtrlAFromATreeSelectsTheWholeWorkspace) {
  Open();
  DoubleClick(Panes().Quotations(), Quotation("1.1.2"));
  QTest::keyClick(&Panes().Quotations(), Qt::Key_A, Qt::ControlModifier);
  CReference& workspace = Panes().Workspace();
  EXPECT_TRUE(workspace.hasFocus());
  EXPECT_EQ(workspace.textCursor().selectedText(), workspace.GetText());
  EXPECT_FALSE(workspace.GetText().isEmpty());
}

TEST_F(FrameTest, AtStartTypingReachesNoPaneButAcceleratorsWork) {
  Open();
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClicks(focus, "typed");
  EXPECT_EQ(Panes().Workspace().GetText(), "");
  EXPECT_EQ(Panes().Subjects().Edit().text(), "");
  EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kNone);
  int statistics = 0;
  frame->SetHandler(cmd::kStatistics, [&] { ++statistics; });
  QTest::keyClick(focus, Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(statistics, 1);
  // A caption takes no click and does not become the active pane.
  QTest::mouseClick(Panes().Captions()[3], Qt::LeftButton);
  EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kNone);
  EXPECT_FALSE(Panes().Workspace().hasFocus());
}

// Clicks on what is no pane leave the focus where it was: what is typed next
// still lands in the pane, and the Edit group still follows it.
TEST_F(FrameTest, CaptionsBarsAndEmptyBarsKeepTheFocus) {
  Open();
  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  ASSERT_TRUE(workspace.hasFocus());
  auto* outer = qobject_cast<QSplitter*>(frame->centralWidget());
  ASSERT_NE(outer, nullptr);
  QToolBar& toolbar = frame->ToolBar();
  const QRect lastButton = toolbar.actionGeometry(toolbar.actions().back());
  const std::pair<QWidget*, QPoint> places[] = {
      {Panes().Captions()[3], Panes().Captions()[3]->rect().center()},
      {Panes().Captions()[0], Panes().Captions()[0]->rect().center()},
      {outer->handle(1), outer->handle(1)->rect().center()},
      {&toolbar, QPoint(lastButton.right() + 40, toolbar.height() / 2)},
      {frame->menuBar(), QPoint(frame->menuBar()->width() - 10, frame->menuBar()->height() / 2)},
  };
  QString typed;
  for (const auto& [widget, at] : places) {
    SCOPED_TRACE(widget->metaObject()->className());
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    EXPECT_TRUE(workspace.hasFocus());
    EXPECT_EQ(Panes().ActivePane(), PaneSet::Pane::kWorkspace);
    QTest::keyClicks(QApplication::focusWidget(), "x");
    typed += "x";
    EXPECT_EQ(workspace.GetText(), typed);
  }
}

TEST_F(FrameTest, EditGroupIsAvailableOnlyInTheWorkspace) {
  Open();
  QAction* cut = frame->Action(cmd::kCut);
  QAction* copy = frame->Action(cmd::kCopy);
  QAction* undo = frame->Action(cmd::kUndo);
  EXPECT_FALSE(cut->isEnabled());  // right after start no pane is active
  EXPECT_FALSE(copy->isEnabled());
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_TRUE(frame->Action(cmd::kSearch)->isEnabled());

  CReference& workspace = Panes().Workspace();
  QTest::mouseClick(workspace.viewport(), Qt::LeftButton);
  QTest::keyClicks(&workspace, "words");
  QTest::keyClick(&workspace, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(cut->isEnabled());
  EXPECT_TRUE(copy->isEnabled());
  EXPECT_TRUE(undo->isEnabled());
  QTest::keyClick(&workspace, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(&workspace, Qt::Key_End);
  QTest::keyClick(&workspace, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(workspace.GetText(), "wordswords");

  Click(Panes().Quotations(), Quotation("1"));
  EXPECT_FALSE(cut->isEnabled());
  EXPECT_FALSE(frame->Action(cmd::kPaste)->isEnabled());
  // The toolbar's buttons follow their commands.
  auto* button = qobject_cast<QToolButton*>(frame->ToolBar().widgetForAction(cut));
  ASSERT_NE(button, nullptr);
  EXPECT_FALSE(button->isEnabled());
}

// The close guard: Cancel keeps everything, No closes touching no file, Yes
// saves with the backup, a failed save keeps the window open, and an
// unchanged database closes without a question. File Exit asks the same.
TEST_F(FrameTest, TheCloseGuardAsksAndKeepsWhatWasNotSaved) {
  struct Case {
    std::optional<Modal::Answer> answer;  // none: unchanged, nothing asked
    bool failing;                         // the save cannot write
    bool staysOpen;
    bool saved;
  };
  const Case cases[] = {{Modal::Answer::kCancel, false, true, false},
                        {Modal::Answer::kNo, false, false, false},
                        {Modal::Answer::kYes, false, false, true},
                        {Modal::Answer::kYes, true, true, false},
                        {std::nullopt, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer ? static_cast<int>(*c.answer) : -1);
    Open();
    if (c.answer) {
      frame->Db().quotations.SetItemText(Quotation("1"), "Changed");
      frame->Db().MarkChanged();
      modal.answers = {*c.answer};
    }
    if (c.failing) {
      ASSERT_EQ(::mkdir(dir.File("LorTemp.BK!").c_str(), 0755), 0);
    }
    frame->OnCommand(cmd::kExit);
    EXPECT_EQ(frame->isVisible(), c.staysOpen);
    EXPECT_EQ(modal.shown.empty(), !c.answer);
    if (c.answer) {
      EXPECT_EQ(modal.shown.front().text,
                "Changes have been made. Do you want to save them before exiting?");
    }
    if (c.failing) {
      EXPECT_EQ(modal.Messages(),
                std::vector<QString>{"Cannot open file LorTemp.BK!: Is a directory"});
    }
    EXPECT_EQ(ReadFile(dir.File("Florilex.txt")).rfind("@Q1 Changed\r\n", 0) == 0, c.saved);
    EXPECT_EQ(Exists(dir.File("FlorilexOld.txt")), c.saved);
    if (c.staysOpen) {
      EXPECT_TRUE(frame->Db().IsChanged());
    }
    TearDown();
    ::rmdir(dir.File("LorTemp.BK!").c_str());
    std::remove(dir.File("FlorilexOld.txt").c_str());
    modal.shown.clear();
  }
}

// The views go before the database they observe: when the window is
// destroyed without closing, each pane still finds the database whole.
TEST_F(FrameTest, ThePanesGoBeforeTheDatabase) {
  Open();
  const size_t nodes = frame->Db().quotations.GetCount();
  ASSERT_GT(nodes, 0u);
  std::vector<size_t> seen;
  for (QObject* view :
       {static_cast<QObject*>(&Panes().Quotations()), static_cast<QObject*>(&Panes().Categories()),
        static_cast<QObject*>(&Panes().Subjects())})
    QObject::connect(view, &QObject::destroyed, [&, db = &frame->Db()] {
      seen.push_back(db->quotations.GetCount() + db->categories.GetCount());
    });
  const size_t all = nodes + frame->Db().categories.GetCount();
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
// size that is 16 pixels here, and OK without a change leaves every pane.
TEST_F(FrameTest, TheRealFontChooserOpensOnTheStartupFont) {
  Open();
  modal.realFontChooser = true;
  const QFont startup = CMainFrame::StartupFont();
  auto fonts = [&] {
    std::vector<QFont> all;
    for (QWidget* window : Panes().FontBearingWindows()) all.push_back(window->font());
    return all;
  };
  const std::vector<QFont> before = fonts();
  ASSERT_EQ(before.front(), startup);
  QString family, listed;
  double points = 0;
  // Looks at the chooser once it is up, then presses Enter, or sets a size first.
  auto answer = [&](double size) {
    QTimer::singleShot(0, [&, size] {
      auto* chooser = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      QTimer::singleShot(20000, chooser, [chooser] { chooser->reject(); });
      family = chooser->currentFont().family();
      points = chooser->currentFont().pointSizeF();
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
  };
  // Ctrl+F as a user presses it, in the window, active again once a chooser closed.
  auto pressCtrlF = [&](double size) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    family.clear();
    answer(size);
    QTest::keyClick(frame.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(family.isEmpty()) << "the chooser did not open";
  };
  for (int round = 0; round < 2; ++round) {
    pressCtrlF(0);
    EXPECT_EQ(family, QFontInfo(startup).family());
    EXPECT_EQ(listed, family);
    EXPECT_NE(family, "Sans Serif");
    EXPECT_NEAR(points * frame->logicalDpiY() / 72.0, 16.0, 0.01);
    EXPECT_EQ(fonts(), before) << "OK without a change changes nothing";
  }
  pressCtrlF(20);
  // Every pane takes it, the captions keep theirs.
  for (QWidget* window : Panes().FontBearingWindows()) {
    EXPECT_EQ(window->font().pointSizeF(), 20) << window->metaObject()->className();
    EXPECT_EQ(window->font().family(), family);
  }
  for (CTitle* caption : Panes().Captions()) EXPECT_NE(caption->font().pointSizeF(), 20);
  // And the next time it opens on the start-up font again.
  pressCtrlF(0);
  EXPECT_NEAR(points * frame->logicalDpiY() / 72.0, 16.0, 0.01);
}

TEST_F(FrameTest, AboutAndHelpShowTheirDialogs) {
  Open();
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto* about = qobject_cast<CAboutDlg*>(&dialog);
    ASSERT_NE(about, nullptr);
    QTest::mouseClick(&about->OkButton(), Qt::LeftButton);
  });
  frame->OnCommand(cmd::kAbout);
  EXPECT_EQ(modal.shown.back().text, "About Lorelist");

  // Help lists every item of the menu with the keys that run it.
  std::multimap<QString, QString> keys;
  modal.dialogScripts.push_back([&](QDialog& dialog) {
    auto* help = qobject_cast<CHelpDlg*>(&dialog);
    ASSERT_NE(help, nullptr);
    for (int row = 0; row < help->Table().rowCount(); ++row)
      keys.emplace(help->Table().item(row, 0)->text(), help->Table().item(row, 1)->text());
  });
  QTest::keyClick(frame.get(), Qt::Key_F1);
  for (QAction* popup : frame->menuBar()->actions())
    for (QAction* item : popup->menu()->actions()) {
      if (item->isSeparator() || item->menu()) continue;
      const QString name = popup->text().remove(u'&') + QStringLiteral(" > ") +
                           item->text().section(u'\t', 0, 0).remove(u'&');
      ASSERT_TRUE(keys.count(name)) << name.toStdString();
      for (const QKeySequence& shortcut : item->shortcuts()) {
        const auto [first, last] = keys.equal_range(name);
        EXPECT_TRUE(std::any_of(first, last, [&](const auto& row) {
          return row.second.contains(shortcut.toString());
        })) << name.toStdString();
      }
    }
}

TEST_F(FrameTest, AFileThatLooksLikeUtf8IsLoadedWithANoticeOnce) {
  Open(CrLf({"@Q1 Caf\xC3\xA9 cr\xC3\xA8me", "@@", "@C1 na\xC3\xAFve"}));
  ASSERT_EQ(modal.shown.size(), 1u);
  EXPECT_EQ(modal.shown[0].icon, Modal::Icon::kInformation);
  EXPECT_EQ(modal.shown[0].text,
            QString::fromStdString(dir.File("Florilex.txt") +
                                   " looks like UTF-8 text. Lorelist reads and writes "
                                   "Windows-1252, so accented letters may show wrongly. "
                                   "lorelist-db convert can change the file's encoding."));
  EXPECT_EQ(frame->Db().quotations.GetCount(), 1u);  // loaded as ever
  TearDown();
  modal.shown.clear();
  Open();  // Windows-1252 accents: nothing to say
  EXPECT_TRUE(modal.shown.empty());
}

}  // namespace
}  // namespace lorelist::test
