// Times the main window on a large database: from nothing to a window shown
// and painted, then expanding a node, moving the selection and
// double-clicking, each through real input events. With --text-mb, a
// quotation of that many MB shown in the Workspace and taken back.
//
//   gui_bench DIR      (DIR holds Florilex.txt)
//   gui_bench --text-mb N DIR

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/command_table.h"
#include "app/main_frame.h"
#include "commands/dialogs.h"
#include "panes/modal.h"
#include "tools/query_dialogs.h"

using namespace lorelist;

namespace {

double Ms(QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Runs the action, then paints the tree, as the user would see it.
template <typename Action>
double Timed(QWidget& painted, Action action) {
  QElapsedTimer timer;
  timer.start();
  action();
  QCoreApplication::processEvents();
  painted.repaint();
  return Ms(timer);
}

size_t SubtreeNodes(const TreeStore& tree, HTREEITEM node) {
  size_t nodes = 1;
  for (int i = 0; i < tree.GetChildCount(node); ++i)
    nodes += SubtreeNodes(tree, tree.GetChildAt(node, i));
  return nodes;
}

// A text that no node holds, so that Search walks the whole tree.
constexpr const char* kNowhere = "qzxqjv";

// Answers the editing dialogs at once: a text and OK, or the first entry.
class BenchModal : public Modal {
 public:
  int messages = 0;
  void Message(QWidget*, const QString& text, Icon) override {
    ++messages;
    std::fprintf(stderr, "unexpected message: %s\n", text.toUtf8().constData());
  }
  Answer Ask(QWidget*, const QString&, bool) override { return Answer::kNo; }
  int Choose(QWidget*, const QString&, const QStringList&, int escape) override { return escape; }
  bool ReviewMerge(QDialog&, MergePlan&) override { return false; }
  QString ChooseFileToWrite(QWidget*, const QString&, const QString&, const QString&,
                            const QString&) override {
    return {};
  }
  QString ChooseToOpen(QWidget*, const QString&, const QString&, bool) override { return {}; }
  void Print(QWidget*, QTextDocument&) override {}
  int Run(QDialog& dialog) override {
    dialog.show();
    if (auto* quote = dynamic_cast<CNewQuoteNode*>(&dialog)) {
      quote->Edit().setPlainText(QStringLiteral("A new quotation"));
      quote->OkButton().click();
    } else if (auto* cat = dynamic_cast<CNewCat*>(&dialog)) {
      cat->Edit().setText(QStringLiteral("A new category"));
      cat->OkButton().click();
    } else if (auto* add = dynamic_cast<CNewSubj*>(&dialog)) {
      add->Edit().setText(QStringLiteral("a new subject entry"));
      add->OkButton().click();
    } else if (auto* search = dynamic_cast<CSearch*>(&dialog)) {
      search->Edit().setText(QString::fromLatin1(kNowhere));
      search->CaseBox().setChecked(false);
      search->OkButton().click();
    } else if (auto* del = dynamic_cast<CDelSubj*>(&dialog)) {
      del->List().setCurrentRow(0);
      del->OkButton().click();
    }
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
  }
  bool ChooseFont(QWidget*, const QFont&, QFont&) override { return false; }
};

}  // namespace

// A quotation of `megabytes` MB, the only one of a database written in dir:
// its text double-clicked into the Workspace and painted, then changed by a
// letter and taken back into the node with Update Node.
int BigText(int megabytes, const char* dir) {
  QDir().mkpath(QString::fromLocal8Bit(dir));
  std::string text;
  while (text.size() < static_cast<size_t>(megabytes) << 20) text += "words of a long text ";
  const std::string path = std::string(dir) + "/Florilex.txt";
  if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fprintf(out, "@Q1 %s\r\n@@\r\n", text.c_str());
    std::fclose(out);
  }
  BenchModal modal;
  Modal::Install(&modal);
  CMainFrame frame(dir);
  frame.resize(1280, 900);
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return 1;
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  QuoteTree& tree = frame.Panes().Quotations();
  CReference& workspace = frame.Panes().Workspace();
  if (!tree.Store().GetRootItem()) return 1;
  // Near the row's start: a row that long reaches far past the pane.
  const QRect rect = tree.visualRect(tree.Model().IndexOf(tree.Store().GetRootItem()));
  const QPoint at(rect.left() + 10, rect.center().y());
  const double shown = Timed(workspace, [&] {
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, at);
  });
  QTextCursor cursor(workspace.document());
  cursor.insertText(QStringLiteral("X"));
  const double updated =
      Timed(workspace, [&] { QTest::keyClick(&frame, Qt::Key_K, Qt::ControlModifier); });
  const bool taken =
      frame.Db().quotations.GetItemText(tree.Store().GetRootItem()).size() == text.size() + 1;
  std::printf("a %d MB quotation shown in the Workspace %8.1f ms\n", megabytes, shown);
  std::printf("its Update Node%s                  %8.1f ms\n", taken ? "" : " (FAILED)", updated);
  frame.Db().ClearChanged();
  frame.close();
  return taken && modal.messages == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--text-mb") {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return BigText(std::atoi(argv[2]), argv[3]);
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_bench DIR | gui_bench --text-mb N DIR\n");
    return 2;
  }
  QElapsedTimer total;
  total.start();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double started = Ms(total);
  CMainFrame frame(argv[1]);
  const double built = Ms(total);
  frame.resize(1280, 900);
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return 1;
  QCoreApplication::processEvents();
  frame.repaint();
  const double shown = Ms(total);
  std::printf("application started               %8.1f ms\n", started);
  std::printf("window built (database loaded)   %8.1f ms\n", built);
  std::printf("window shown and painted          %8.1f ms\n", shown);

  QuoteTree& tree = frame.Panes().Quotations();
  QWidget& viewport = *tree.viewport();
  const int authors = tree.Store().GetChildCount(nullptr);
  double worstExpand = 0, worstSelect = 0, worstDouble = 0;
  for (int i = 0; i < 20; ++i) {
    // Authors spread over the whole tree, the last one included.
    HTREEITEM author = tree.Store().GetChildAt(nullptr, (authors - 1) * i / 19);
    worstSelect = std::max(worstSelect, Timed(viewport, [&] { tree.SelectItem(author); }));
    worstExpand = std::max(worstExpand, Timed(viewport, [&] {
                             QTest::keyClick(&tree, Qt::Key_Right);  // expands the current node
                           }));
    QTest::keyClick(&tree, Qt::Key_Down);
    const QRect rect = tree.visualRect(tree.currentIndex());
    worstDouble = std::max(worstDouble, Timed(viewport, [&] {
                             QTest::mouseDClick(&viewport, Qt::LeftButton, {}, rect.center());
                           }));
    worstSelect =
        std::max(worstSelect, Timed(viewport, [&] { QTest::keyClick(&tree, Qt::Key_Down); }));
  }
  std::printf("expand a node (worst of 20)       %8.1f ms\n", worstExpand);
  std::printf("move the selection (worst of 40)  %8.1f ms\n", worstSelect);
  std::printf("double-click a node (worst of 20) %8.1f ms\n", worstDouble);

  // Every editing command, through its accelerator, on the big database.
  BenchModal modal;
  Modal::Install(&modal);
  PaneSet& panes = frame.Panes();
  CCatTree& categories = panes.Categories();
  const int topCategories = categories.Store().GetChildCount(nullptr);
  HTREEITEM category = categories.Store().GetChildAt(nullptr, topCategories / 2);
  categories.SelectItem(category);
  tree.SelectItem(tree.Store().GetChildAt(nullptr, authors / 2));
  QCoreApplication::processEvents();
  struct Step {
    const char* name;
    int id;
    std::function<void()> before;
  };
  const Step steps[] = {
      {"New Node (quotations)", cmd::kNewQuotation, {}},
      {"Update Node (quotations)", cmd::kUpdateQuotation,
       [&] { panes.ShowQuotationNode(panes.selectedQuotation); }},
      {"Add Reference", cmd::kAddReference, {}},
      {"Delete Reference", cmd::kDeleteReference,
       [&] { panes.References().SetCurSel(panes.References().GetCount() - 1); }},
      {"Delete Node (quotations)", cmd::kDeleteQuotation, {}},
      {"New Node (categories)", cmd::kNewCategory, {}},
      {"Update Node (categories)", cmd::kUpdateCategory,
       [&] { panes.Workspace().Load(QStringLiteral("Renamed"), WorkspaceSource::kCategory); }},
      {"Add Subject", cmd::kAddSubject, {}},
      {"Delete Subject", cmd::kDeleteSubject, {}},
      {"Delete Node (categories)", cmd::kDeleteCategory, {}},
  };
  QWidget& window = frame;
  TreeStore& quotations = frame.Db().quotations;
  std::printf("subject index entries: %d\n", frame.Db().subjects.GetCount());
  for (const Step& step : steps) {
    if (step.before) step.before();
    QCoreApplication::processEvents();
    const double ms = Timed(window, [&] { frame.OnCommand(step.id); });
    std::printf("%-33s %8.1f ms\n", step.name, ms);
  }

  // Each of those edits undone, then made again.
  double worstUndo = 0, worstRedo = 0;
  for (size_t i = 0; i < std::size(steps); ++i)
    worstUndo = std::max(worstUndo, Timed(window, [&] { frame.OnCommand(cmd::kUndoEdit); }));
  for (size_t i = 0; i < std::size(steps); ++i)
    worstRedo = std::max(worstRedo, Timed(window, [&] { frame.OnCommand(cmd::kRedoEdit); }));
  std::printf("%-33s %8.1f ms\n", "Undo (worst of the edits)", worstUndo);
  std::printf("%-33s %8.1f ms\n", "Redo (worst of the edits)", worstRedo);

  // Moves of an author, then of a subtree of 100,000 nodes: the first
  // authors gathered under a new one.
  const auto move = [&](const char* name, int id) {
    const double ms = Timed(window, [&] { frame.OnCommand(id); });
    const double undo = Timed(window, [&] { frame.OnCommand(cmd::kUndoEdit); });
    const double redo = Timed(window, [&] { frame.OnCommand(cmd::kRedoEdit); });
    std::printf("%-33s %8.1f ms  undo %6.1f ms  redo %6.1f ms\n", name, ms, undo, redo);
  };
  tree.SelectItem(tree.Store().GetChildAt(nullptr, authors / 3));
  QCoreApplication::processEvents();
  move("Move Down (an author)", cmd::kMoveQuotationDown);
  move("Move In (an author)", cmd::kMoveQuotationIn);
  move("Move Out (an author)", cmd::kMoveQuotationOut);
  Database& db = frame.Db();
  HTREEITEM big = nullptr;
  db.InsertNode(Tree::kQuotations, quotations.GetRootItem(), Placement::kBefore, "Anthology", &big);
  size_t inside = 0;
  while (inside < 100000 && quotations.GetNextSiblingItem(big)) {
    HTREEITEM next = quotations.GetNextSiblingItem(big);
    inside += SubtreeNodes(quotations, next);
    db.MoveNode(Tree::kQuotations, next, Direction::kIn);
  }
  tree.SelectItem(big);
  tree.expand(tree.Model().IndexOf(big));
  QCoreApplication::processEvents();
  std::printf("subtree of %zu nodes, expanded:\n", inside);
  move("  Move Down", cmd::kMoveQuotationDown);
  move("  Move In", cmd::kMoveQuotationIn);
  move("  Move Up", cmd::kMoveQuotationUp);

  // The queries, in their worst cases: a search that finds nothing from the
  // top; every leaf referenced but the last one.
  const int expected = modal.messages;
  tree.SelectItem(tree.Store().GetRootItem());
  QCoreApplication::processEvents();
  std::printf("%-33s %8.1f ms  (\"%s\", case ignored, not found)\n", "Search, whole tree",
              Timed(window, [&] { frame.OnCommand(cmd::kSearch); }), kNowhere);
  std::printf("%-33s %8.1f ms\n", "Statistics",
              Timed(window, [&] { frame.OnCommand(cmd::kStatistics); }));
  HTREEITEM last = nullptr;
  for (HTREEITEM h = quotations.GetRootItem(); h;) {
    if (!quotations.ItemHasChildren(h)) {
      if (quotations.GetItemData(h) == 0) quotations.SetItemData(h, 1);
      last = h;
    }
    if (NextNode(h, quotations) == kEndOfWalk) break;
  }
  if (last) quotations.SetItemData(last, 0);
  const double unreferenced = Timed(window, [&] { frame.OnCommand(cmd::kFindUnreferenced); });
  std::printf("%-33s %8.1f ms  (found at the very end: %s)\n", "Find Unreferenced", unreferenced,
              frame.Panes().selectedQuotation == last ? "yes" : "NO");
  Modal::Install(nullptr);
  frame.Db().ClearChanged();
  frame.close();  // as the user closes it: no journal left for the next run
  // Two messages are expected: "String not found" and none else.
  return modal.messages == expected + 1 ? 0 : 1;
}
