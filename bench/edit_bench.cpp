// Times every edit of the database, its undo and its redo, on a large
// database: each operation in the middle of the trees, moves of a whole
// author and of a subtree of 100,000 nodes among them. Then the memory that
// 10,000 undo steps of ordinary edits keep; Convert to Unicode of the whole
// database; the journalled edit, flushed to
// disk in the file's folder, and replaying 10,000 of them on a fresh load.
//
//   edit_bench FILE      (FILE is a Florilex.txt)
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "db/file_ops.h"
#include "db/journal.h"
#include "db/load.h"

using namespace lorelist;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double worst = 0;

// Makes the edit, undoes it and redoes it, each timed; false when the
// database refused it.
bool Report(Database& db, const char* name, const std::function<std::string()>& edit) {
  std::string refusal;
  const size_t steps = db.UndoCount();
  const double made = Ms([&] { refusal = edit(); });
  if (!refusal.empty() || db.UndoCount() != steps + 1) {
    std::printf("%-34s refused: '%s'\n", name, refusal.c_str());
    return false;
  }
  const double undone = Ms([&] { db.Undo(); });
  const double redone = Ms([&] { db.Redo(); });
  worst = std::max({worst, made, undone, redone});
  std::printf("%-34s %7.3f ms  undo %7.3f ms  redo %7.3f ms\n", name, made, undone, redone);
  return true;
}

size_t SubtreeNodes(const TreeStore& tree, HTREEITEM node) {
  size_t nodes = 1;
  for (int i = 0; i < tree.GetChildCount(node); ++i)
    nodes += SubtreeNodes(tree, tree.GetChildAt(node, i));
  return nodes;
}

size_t HeapInUse() {
  return mallinfo2().uordblks;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: edit_bench FILE\n");
    return 2;
  }
  auto* db = new Database;  // left to the system, as the programs do
  if (LoadDatabase(*db, argv[1]).status != LoadResult::kComplete) return 1;
  TreeStore& q = db->quotations;
  TreeStore& c = db->categories;
  std::printf("database: %zu quotation nodes, %d top-level, %zu categories\n", q.GetCount(),
              q.GetChildCount(nullptr), c.GetCount());

  const int authors = q.GetChildCount(nullptr);
  HTREEITEM author = q.GetChildAt(nullptr, authors / 2);
  HTREEITEM work = q.GetChildAt(author, 0);
  HTREEITEM quotation = q.GetChildAt(work, 0);
  HTREEITEM category = c.GetChildAt(nullptr, c.GetChildCount(nullptr) / 2);
  const Tree Q = Tree::kQuotations;

  bool ok = true;
  HTREEITEM made = nullptr;
  ok &= Report(*db, "New Node (quotations)",
               [&] { return db->InsertNode(Q, quotation, Placement::kAfter, "New", &made); });
  ok &= Report(*db, "Update Node (quotations)", [&] { return db->UpdateText(Q, made, "Renamed"); });
  ok &= Report(*db, "Add Reference",
               [&] { return db->AddReference(category, made, "a reference", 0); });
  ok &= Report(*db, "Delete Reference", [&] { return db->DeleteReference(category, 0); });
  ok &= Report(*db, "Delete Node (quotations)", [&] { return db->DeleteNode(Q, made); });
  ok &= Report(*db, "New Node (categories)", [&] {
    return db->InsertNode(Tree::kCategories, category, Placement::kAfter, "New", &made);
  });
  ok &= Report(*db, "Add Subject", [&] { return db->AddSubject(made, "middle of the list"); });
  ok &=
      Report(*db, "Delete Subject", [&] { return db->DeleteSubject(made, "middle of the list"); });
  ok &= Report(*db, "Delete Node (categories)",
               [&] { return db->DeleteNode(Tree::kCategories, made); });
  ok &= Report(*db, "Move Down (an author)",
               [&] { return db->MoveNode(Q, author, Direction::kDown); });
  ok &= Report(*db, "Move Up (an author)", [&] { return db->MoveNode(Q, author, Direction::kUp); });
  ok &= Report(*db, "Move In (an author)", [&] { return db->MoveNode(Q, author, Direction::kIn); });
  ok &=
      Report(*db, "Move Out (an author)", [&] { return db->MoveNode(Q, author, Direction::kOut); });

  // A subtree of 100,000 nodes: the first authors moved in under a new one.
  HTREEITEM big = nullptr;
  db->InsertNode(Q, q.GetRootItem(), Placement::kBefore, "Anthology", &big);
  double gathering = 0;
  size_t inside = 0;
  while (inside < 100000 && q.GetNextSiblingItem(big)) {
    HTREEITEM next = q.GetNextSiblingItem(big);
    inside += SubtreeNodes(q, next);
    gathering += Ms([&] { db->MoveNode(Q, next, Direction::kIn); });
  }
  std::printf("subtree gathered: %zu nodes below one node, %d moves in %.1f ms\n", inside,
              q.GetChildCount(big), gathering);
  ok &= Report(*db, "Move Down (100,000-node subtree)",
               [&] { return db->MoveNode(Q, big, Direction::kDown); });
  ok &= Report(*db, "Move In (100,000-node subtree)",
               [&] { return db->MoveNode(Q, big, Direction::kIn); });
  ok &= Report(*db, "Move to the end (100,000 nodes)",
               [&] { return db->MoveNode(Q, big, nullptr, q.GetChildCount(nullptr)); });
  std::printf("worst of all: %.3f ms\n", worst);
  // Every text of the database re-encoded, and back.
  if (db->encoding == Encoding::kWindows1252)
    ok &= Report(*db, "Convert to Unicode", [&] { return db->ConvertEncoding(Encoding::kUtf8); });

  // Memory: 10,000 ordinary edits kept for undo.
  const size_t before = HeapInUse();
  for (int i = 0; i < 10000; ++i) {
    HTREEITEM target = q.GetChildAt(work, 0);
    switch (i % 5) {
      case 0:
        db->UpdateText(Q, target,
                       "An updated quotation of an ordinary length, " + std::to_string(i));
        break;
      case 1:
        db->AddReference(category, target, "an ordinary reference " + std::to_string(i), -1);
        break;
      case 2:
        db->AddSubject(category, "entry " + std::to_string(i));
        break;
      case 3:
        db->InsertNode(Q, target, Placement::kAfter, "A new quotation " + std::to_string(i));
        break;
      default:
        db->MoveNode(Q, q.GetChildAt(work, 1), Direction::kUp);
        break;
    }
  }
  const size_t after = HeapInUse();
  std::printf("10,000 undo steps of ordinary edits: %zu undoable, heap %.2f MB more\n",
              db->UndoCount(), static_cast<double>(after - before) / 1e6);

  // The recovery journal, in the file's own folder: ordinary edits each
  // written and flushed, then 10,000 of them replayed on a fresh load.
  const std::string folder = DirectoryOf(argv[1]);
  auto* journalled = new Database;
  if (LoadDatabase(*journalled, argv[1]).status != LoadResult::kComplete) return 1;
  Journal journal(folder);
  journal.Discard();
  journalled->SetJournal(&journal);
  std::vector<double> edits;
  HTREEITEM first = journalled->quotations.GetChildAt(
      journalled->quotations.GetChildAt(
          journalled->quotations.GetChildAt(nullptr,
                                            journalled->quotations.GetChildCount(nullptr) / 2),
          0),
      0);
  HTREEITEM someCategory = journalled->categories.GetChildAt(nullptr, 3);
  double total = 0;
  for (int i = 0; i < 10000; ++i) {
    const double ms = Ms([&] {
      switch (i % 4) {
        case 0:
          journalled->UpdateText(Q, first, "An updated quotation, " + std::to_string(i));
          break;
        case 1:
          journalled->AddReference(someCategory, first, "a reference " + std::to_string(i), -1);
          break;
        case 2:
          journalled->AddSubject(someCategory, "entry " + std::to_string(i));
          break;
        default:
          journalled->Undo();
          break;
      }
    });
    total += ms;
    if (i < 200) edits.push_back(ms);
  }
  std::sort(edits.begin(), edits.end());
  std::printf(
      "journalled edit (flushed to disk): median %.3f ms, worst of 200 %.3f ms; "
      "10,000 in %.0f ms\n",
      edits[edits.size() / 2], edits.back(), total);
  double load = 0, replay = 0;
  size_t replayed = 0;
  for (int run = 0; run < 3; ++run) {
    auto* fresh = new Database;
    const double loaded = Ms([&] { LoadDatabase(*fresh, argv[1]); });
    const double made = Ms([&] {
      const JournalContents found = Journal::Read(journal.Path(), *fresh);
      replayed = Journal::Replay(*fresh, found.records);
    });
    if (run == 0 || loaded + made < load + replay) {
      load = loaded;
      replay = made;
    }
  }
  std::printf(
      "start with %zu journalled edits: load %.0f ms, then reading and replaying "
      "%.0f ms (best of 3)\n",
      replayed, load, replay);
  journalled->SetJournal(nullptr);
  journal.Discard();
  return ok && replayed == 10000 ? 0 : 1;
}
