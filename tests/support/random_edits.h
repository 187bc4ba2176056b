#pragma once

#include <random>
#include <string>
#include <vector>

#include "db/charset.h"
#include "db/database.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"

namespace lorelist::test {

// Random operations of the database's edits on nodes picked at random, often
// ones it refuses; with undos, now and then an undo or a redo instead.
class RandomEdits {
 public:
  // conversions: now and then the dictionary changes encoding too.
  RandomEdits(Database& db, uint64_t seed, bool undos = false, bool conversions = false)
      : db_(db), random_(seed), undos_(undos), conversions_(conversions) {}

  // One random operation, often one the database refuses.
  void Step() {
    if (undos_ && Below(8) == 0) {
      if (Coin())
        db_.Undo();
      else
        db_.Redo();
      return;
    }
    if (conversions_ && Below(30) == 0) {
      db_.ConvertEncoding(db_.encoding == Encoding::kUtf8 ? Encoding::kWindows1252
                                                          : Encoding::kUtf8);
      return;
    }
    const Tree tree = Coin() ? Tree::kQuotations : Tree::kCategories;
    HTREEITEM node = Pick(tree);
    // "été" in the dictionary's own encoding, and in UTF-8 a letter
    // Windows-1252 lacks.
    static const char* const kTexts[] = {"a",  "b",          "A", "\xE9t\xE9",
                                         "x-", "two\nlines", "",  "\xC5\x82"};
    std::string text = kTexts[Below(std::size(kTexts) - (db_.encoding == Encoding::kUtf8 ? 0 : 1))];
    if (db_.encoding == Encoding::kUtf8 && !IsValidUtf8(text)) {
      std::string utf8;
      AppendCp1252AsUtf8(utf8, text);
      text = utf8;
    }
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
  bool conversions_;
};

}  // namespace lorelist::test
