#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/main_frame.h"
#include "commands/dialogs.h"
#include "db/save.h"
#include "panes/list_panes.h"
#include "scripted_modal.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace lorelist::test {

// A small database with a node three levels deep, references into a
// collapsed branch and Windows-1252 characters.
inline const std::string kGuiSample = ReadFile(LORELIST_GUI_DATA "/sample.txt");
inline const QString kUnchanged = QStringLiteral("Lorelist Version 1.1 - Unchanged");
inline const QString kChanged = QStringLiteral("Lorelist Version 1.1");

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Nodes of a tree in pre-order.
inline std::vector<HTREEITEM> Nodes(const TreeStore& tree) {
  std::vector<HTREEITEM> nodes;
  for (HTREEITEM h = tree.GetRootItem(); h;) {
    nodes.push_back(h);
    if (NextNode(h, tree) == kEndOfWalk) break;
  }
  return nodes;
}

// The database whole: the file it saves as and the counts kept beside it.
inline std::string Contents(const Database& db) {
  std::string counts;
  for (HTREEITEM node : Nodes(db.quotations))
    counts += std::to_string(db.quotations.GetItemData(node)) + ",";
  return WrittenDatabase(db) + counts + "|" + std::to_string(db.referenceTotal) + "|" +
         std::to_string(db.subjectTotal);
}

inline QStringList Lines(const ListBox& list) {
  QStringList lines;
  for (int i = 0; i < list.GetCount(); ++i) lines << list.GetText(i);
  return lines;
}

inline bool Has(const std::string& file, const std::string& line) {
  return file.find("\r\n" + line + "\r\n") != std::string::npos;
}

// A main window on a database of its own, shown on the offscreen platform,
// with every modal interaction scripted.
class FrameTest : public ::testing::Test {
 protected:
  void Open(const std::string& database = kGuiSample) {
    if (!database.empty()) WriteFile(dir.File("Florilex.txt"), database);
    frame = std::make_unique<CMainFrame>(dir.path());
    frame->resize(1200, 800);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    Settle();
  }
  void TearDown() override {
    if (frame && frame->isVisible()) {
      // Close without questions whatever the test left.
      frame->Db().ClearChanged();
      frame->close();
    }
    frame.reset();
  }

  // Closed without questions and opened again, the shown list emptied.
  void Reopen(const std::string& database = "") {
    TearDown();
    modal.shown.clear();
    Open(database);
  }

  // Lets posted events (the proportional layout among them) run.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }

  PaneSet& Panes() { return frame->Panes(); }
  // A command by its keys, Ctrl and the letter, as the user runs it.
  void Keys(Qt::Key key) { QTest::keyClick(frame.get(), key, Qt::ControlModifier); }
  // Types a text key by key, as a keyboard of its script would: each
  // character a key press of its own (QTest::keyClicks knows Latin-1 only).
  static void Type(QWidget* widget, const QString& text) {
    for (char32_t ch : text.toUcs4())
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&ch, 1),
                          Qt::NoModifier);
  }
  // Scripts the next New Node dialog: the text typed, the placement ticked, OK.
  void NewNode(const QString& text, Placement place = Placement::kAfter) {
    modal.dialogScripts.push_back([text, place](QDialog& dialog) {
      auto& node = dynamic_cast<NewNodeDialog&>(dialog);
      if (auto* quote = dynamic_cast<CNewQuoteNode*>(&dialog))
        Type(&quote->Edit(), text);
      else
        Type(&dynamic_cast<CNewCat&>(dialog).Edit(), text);
      if (place == Placement::kBelow) QTest::mouseClick(&node.BelowBox(), Qt::LeftButton);
      if (place == Placement::kBefore) QTest::mouseClick(&node.PrecedeBox(), Qt::LeftButton);
      QTest::mouseClick(&node.OkButton(), Qt::LeftButton);
    });
  }
  // Saved by its keys: what Florilex.txt then holds.
  std::string SavedFile() {
    Keys(Qt::Key_S);
    return ReadFile(dir.File(kDatabaseFile));
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.insert(entry.path().filename().string());
    return names;
  }
  // An edit without a dialog: the category's first reference clicked and
  // deleted by its keys.
  void DeleteFirstReference(const std::string& category) {
    Click(Panes().Categories(), Category(category));
    CLocalRef& references = Panes().References();
    QTest::mouseClick(references.viewport(), Qt::LeftButton, {},
                      references.visualRect(references.model()->index(0, 0)).center());
    Keys(Qt::Key_D);
  }
  HTREEITEM Quotation(const std::string& code) { return Find(frame->Db().quotations, code); }
  HTREEITEM Category(const std::string& code) { return Find(frame->Db().categories, code); }

  static HTREEITEM Find(const TreeStore& tree, const std::string& code) {
    HTREEITEM node = NodeAt(tree, code);
    if (!node) ADD_FAILURE() << "no node " << code;
    return node;
  }

  // Where a node stands in its pane, made visible first as a user would by
  // expanding its ancestors.
  static QPoint Reveal(TreeView& tree, HTREEITEM node) {
    for (HTREEITEM p = tree.Store().GetParentItem(node); p; p = tree.Store().GetParentItem(p))
      tree.expand(tree.Model().IndexOf(p));
    const QModelIndex index = tree.Model().IndexOf(node);
    tree.scrollTo(index);
    QRect rect = tree.visualRect(index);
    if (!tree.viewport()->rect().contains(rect.center())) {
      // Deep down, far to the right: scrolled sideways to its start.
      QScrollBar& bar = *tree.horizontalScrollBar();
      bar.setValue(bar.value() + rect.left() - 4);
      rect = tree.visualRect(index);
      return {rect.left() + std::min(8, rect.width() / 2), rect.center().y()};
    }
    return rect.center();
  }
  static void Click(TreeView& tree, HTREEITEM node) {
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, Reveal(tree, node));
  }
  static void DoubleClick(TreeView& tree, HTREEITEM node) {
    const QPoint at = Reveal(tree, node);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, at);
  }
  static void DoubleClickLine(QAbstractItemView& list, int row) {
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    const QPoint at = list.visualRect(index).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
  }

  // Drags a node over its pane and drops it at a point of another node's row
  // (its middle: onto it; its top edge: before it; a null node: the bottom of
  // the pane), as the view receives a drag. False when the view refused the
  // drop where it was.
  static bool DragAndDrop(TreeView& tree, HTREEITEM node, HTREEITEM onto, bool before = false) {
    Click(tree, node);
    std::unique_ptr<QMimeData> data(tree.Model().mimeData({tree.Model().IndexOf(node)}));
    QPoint at(10, tree.viewport()->height() - 2);
    if (onto) at = Reveal(tree, onto);
    if (onto && before) at.setY(tree.visualRect(tree.Model().IndexOf(onto)).top() + 1);
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree.viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree.viewport(), &move);
    if (!move.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree.viewport(), &drop);
    return drop.isAccepted();
  }

  // Answers the real file chooser once it is up, as a user would: types a
  // name into it, or pastes a path, and presses Return, or without one
  // presses Escape. openedIn and suggested receive the folder it opened in
  // and the name it offered.
  static void AnswerRealChooser(std::optional<QString> name, QString* openedIn = nullptr,
                                QString* suggested = nullptr) {
    QTimer::singleShot(0, [=] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      // Whatever goes wrong below, the chooser does not stay open.
      QTimer::singleShot(20000, chooser, [chooser] { chooser->reject(); });
      if (openedIn) *openedIn = chooser->directory().absolutePath();
      auto* edit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(edit, nullptr);
      if (suggested) *suggested = edit->text();
      if (!name) {
        QTest::keyClick(edit, Qt::Key_Escape);
        return;
      }
      if (name->contains(u'/')) {
        edit->setText(*name);
      } else {
        edit->selectAll();
        QTest::keyClicks(edit, *name);
        // The completion list that typing opens takes the first Return.
        if (edit->completer() && edit->completer()->popup()->isVisible())
          QTest::keyClick(edit->completer()->popup(), Qt::Key_Escape);
      }
      QTest::keyClick(edit, Qt::Key_Return);
    });
  }

  TempDir dir;
  ScriptedModal modal;
  std::unique_ptr<CMainFrame> frame;
};

}  // namespace lorelist::test
