// Times the main window on a large database: from nothing to a window shown
// and painted, then expanding a node, moving the selection and
// double-clicking, each through real input events.
//
//   gui_bench DIR      (DIR holds Florilex.txt)

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>

#include "app/main_frame.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_bench DIR\n");
    return 2;
  }
  QElapsedTimer total;
  total.start();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CMainFrame frame(argv[1]);
  const double built = Ms(total);
  frame.resize(1280, 900);
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return 1;
  QCoreApplication::processEvents();
  frame.repaint();
  const double shown = Ms(total);
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
  frame.Db().ClearChanged();
  return 0;
}
