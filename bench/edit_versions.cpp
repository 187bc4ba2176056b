// Makes another version of a dictionary for the benchmarks of diff and
// merge: N random edits of every kind (insert, update, delete, move, add and
// delete reference and subject entry) below the top-level nodes at even
// places (region 0) or odd ones (region 1), so that two versions made from
// one base, one per region, merge without conflicts.
//
//   edit_versions IN OUT EDITS REGION SEED

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "db/load.h"
#include "db/save.h"

using namespace lorelist;

namespace {

std::vector<HTREEITEM> Region(const TreeStore& tree, int region, std::mt19937_64& random,
                              size_t want) {
  // A sample of the region's nodes: their top-level nodes, and some of
  // the nodes below each.
  std::vector<HTREEITEM> nodes;
  const int tops = tree.GetChildCount(nullptr);
  for (size_t k = 0; k < want && tops > region; ++k) {
    int top = static_cast<int>(random() % static_cast<uint64_t>(tops));
    if (top % 2 != region) top = top > 0 ? top - 1 : top + 1;
    if (top >= tops) continue;
    HTREEITEM node = tree.GetChildAt(nullptr, top);
    while (tree.GetChildCount(node) > 0 && random() % 3 != 0)
      node = tree.GetChildAt(
          node, static_cast<int>(random() % static_cast<uint64_t>(tree.GetChildCount(node))));
    nodes.push_back(node);
  }
  return nodes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: edit_versions IN OUT EDITS REGION SEED\n");
    return 2;
  }
  Database db;
  if (LoadDatabase(db, argv[1]).status != LoadResult::kComplete) return 1;
  const int edits = std::atoi(argv[3]), region = std::atoi(argv[4]);
  std::mt19937_64 random(std::strtoull(argv[5], nullptr, 10));
  int made = 0;
  for (int tries = 0; made < edits && tries < edits * 20; ++tries) {
    const size_t before = db.UndoCount();
    const Tree tree = random() % 2 ? Tree::kQuotations : Tree::kCategories;
    const std::vector<HTREEITEM> nodes = Region(db.Of(tree), region, random, 2);
    const std::vector<HTREEITEM> quotations = Region(db.quotations, region, random, 1);
    const std::vector<HTREEITEM> categories = Region(db.categories, region, random, 1);
    if (nodes.size() < 2 || quotations.empty() || categories.empty()) continue;
    HTREEITEM node = nodes[0];
    const bool top = !db.Of(tree).GetParentItem(node);
    const std::string text = "edit " + std::to_string(made) + " in region " + argv[4];
    switch (random() % 7) {
      case 0:
        db.InsertNode(tree, node, top ? Placement::kBelow : Placement::kAfter, text);
        break;
      case 1:
        db.UpdateText(tree, node, text);
        break;
      case 2:
        if (!top) db.DeleteNode(tree, node);
        break;
      case 3:
        if (!top && !db.Of(tree).IsWithin(nodes[1], node)) db.MoveNode(tree, node, nodes[1], 0);
        break;
      case 4:
        db.AddReference(categories[0], quotations[0], text, -1);
        break;
      case 5: {
        const CategoryRecord& record = *db.Record(categories[0]);
        if (!record.referenceTargets.empty()) db.DeleteReference(categories[0], 0);
        break;
      }
      default:
        db.AddSubject(categories[0], text);
        break;
    }
    if (db.UndoCount() > before) ++made;
  }
  const SaveResult saved = WriteDatabaseFile(db, argv[2]);
  if (!saved.ok) {
    std::fprintf(stderr, "%s\n", saved.message.c_str());
    return 2;
  }
  std::printf("%d edits\n", made);
  return 0;
}
