// Times the merge view on versions of a large dictionary: the plan (the
// engine's work, for scale), then the view from nothing to shown and
// painted, scrolled to its last row, and a group's box unticked and ticked.
// With --show it stays open instead, to be looked at.
//
//   merge_view_bench [--show] BASE MINE THEIRS   (BASE "-": MINE against THEIRS, two-way)
//
// Versions of a million quotation nodes with thousands of changes, some
// of them conflicts (both sets of edits in one region):
//
//   lorelist-db generate --quotations 1000000 --seed 1 base.txt
//   edit_versions base.txt mine.txt 5000 0 31
//   edit_versions base.txt theirs.txt 5000 0 32

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <cstring>
#include <memory>

#include "db/load.h"
#include "tools/merge_view.h"

using namespace lorelist;

namespace {

double Ms(const QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

bool Load(Database& db, const char* path) {
  const LoadResult result = LoadDatabase(db, path);
  if (result.status == LoadResult::kComplete) return true;
  std::fprintf(stderr, "%s: %s\n", path, result.message.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool show = argc > 1 && std::strcmp(argv[1], "--show") == 0;
  if (argc != 4 + show) {
    std::fprintf(stderr, "usage: merge_view_bench [--show] BASE MINE THEIRS\n");
    return 2;
  }
  char** files = argv + 1 + show;
  const bool twoWay = std::strcmp(files[0], "-") == 0;
  // Left to the system at the end, as the command line does: freeing
  // millions of nodes is no part of what is measured.
  auto* databases = new Database[3];
  Database& mine = databases[1];
  Database& theirs = databases[2];
  Database& base = twoWay ? mine : databases[0];
  if ((!twoWay && !Load(base, files[0])) || !Load(mine, files[1]) || !Load(theirs, files[2]))
    return 1;

  QElapsedTimer timer;
  timer.start();
  auto* plan = new MergePlan(base, mine, theirs);
  std::printf("plan: %zu changes, %zu conflicts      %8.1f ms\n", plan->changes.size(),
              plan->Conflicts(), Ms(timer));

  timer.restart();
  CMergeView view(*plan, mine, theirs,
                  twoWay ? QStringLiteral("Differences of %1").arg(files[2])
                         : QStringLiteral("%1 into %2").arg(files[2], files[1]));
  const double made = Ms(timer);
  view.show();
  if (!QTest::qWaitForWindowExposed(&view)) return 1;
  QCoreApplication::processEvents();
  view.repaint();
  std::printf("view made %8.1f ms, shown and painted   %8.1f ms\n", made, Ms(timer));
  std::fflush(stdout);
  if (show) return app.exec();

  QTreeView& list = view.Changes();
  timer.restart();
  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
  QCoreApplication::processEvents();
  list.viewport()->repaint();
  std::printf("scrolled to the last row and painted     %8.1f ms\n", Ms(timer));

  // The largest group, unticked and ticked by Space on its row.
  const QAbstractItemModel& model = *list.model();
  int largest = 0;
  for (int g = 0; g < model.rowCount(); ++g)
    if (model.rowCount(model.index(g, 0)) > model.rowCount(model.index(largest, 0))) largest = g;
  list.setCurrentIndex(model.index(largest, 0));
  timer.restart();
  for (int i = 0; i < 2; ++i) {
    QTest::keyClick(list.viewport(), Qt::Key_Space);
    list.viewport()->repaint();
  }
  std::printf("a group of %d unticked and ticked        %8.1f ms\n",
              model.rowCount(model.index(largest, 0)), Ms(timer));
  return 0;
}
