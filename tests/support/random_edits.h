#pragma once

#include <random>
#include <string>
#include <vector>

#include "db/database.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"

namespace lorelist::test {

// Random operations of the database's edits on nodes picked at random, often
// ones it refuses; with undos, now and then an undo or a redo instead.
class RandomEdits {
 public:
  RandomEdits(Database& db, uint64_t seed, bool undos = false)
      : db_(db), random_(seed), undos_(undos) {}

  // One random operation, often one the database refuses.
  void Step() {
    if (undos_ && Below(8) == 0) {
      if (Coin())
        db_.Undo();
      else
        db_.Redo();
      return;
    }
    const Tree tree = Coin() ? Tree::kQuotations : Tree::kCategories;
    HTREEITEM node = Pick(tree);
    static const char* const kTexts[] = {"a", "b", "A", "\xE9t\xE9", "x-", "two\nlines", ""};
    const char* text = kTexts[Below(std::size(kTexts))];
    switch (Below(9)) {
      case 0:
        db_.InsertNode(tree, node, static_cast<Placement>(Below(3)), text);
        break;
      case 1:
        db_.UpdateText(tree, node, text);
        break;
      case 2:
        db_.DeleteNode(tree, node);
        break;
      case 3:
        db_.AddReference(Pick(Tree::kCategories), Pick(Tree::kQuotations), text,
                         static_cast<int>(Below(4)) - 1);
        break;
      case 4:
        db_.DeleteReference(Pick(Tree::kCategories), static_cast<int>(Below(3)));
        break;
      case 5:
        db_.AddSubject(Pick(Tree::kCategories), text);
        break;
      case 6: {
        HTREEITEM category = Pick(Tree::kCategories);
        const CategoryRecord* record = category ? db_.Record(category) : nullptr;
        std::string entry = text;
        if (record && !record->subjectEntries.empty() && Coin())
          entry = record->subjectEntries[Below(record->subjectEntries.size())];
        db_.DeleteSubject(category, entry);
        break;
      }
      case 7:
        db_.MoveNode(tree, node, static_cast<Direction>(Below(4)));
        break;
      default: {
        HTREEITEM parent = Coin() ? nullptr : Pick(tree);
        db_.MoveNode(tree, node, parent, static_cast<int>(Below(5)));
        break;
      }
    }
  }

 private:
  bool Coin() { return Below(2) == 0; }
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  // A node of the tree, now and then none.
  HTREEITEM Pick(Tree tree) {
    std::vector<HTREEITEM> nodes;
    const TreeStore& store = db_.Of(tree);
    for (HTREEITEM h = store.GetRootItem(); h;) {
      nodes.push_back(h);
      if (NextNode(h, store) == kEndOfWalk) break;
    }
    if (nodes.empty() || Below(12) == 0) return nullptr;
    return nodes[Below(nodes.size())];
  }

  Database& db_;
  std::mt19937_64 random_;
  bool undos_;
};

}  // namespace lorelist::test
