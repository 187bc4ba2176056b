#pragma once

// Which node of one version of a dictionary is which node of another. Nodes
// have no identity in the file (a code is a place), so they are matched as
// the tree-differencing literature does (GumTree, Falleri et al. 2014):
//  1. top down, subtrees identical in text and shape that occur once in
//     each tree match whole, wherever they stand (moved with their subtree);
//     Then, of the nodes left, a text that each tree has once is the same
//     node, whatever became of its place or its children;
//  2. bottom up, a node whose matched children mostly have one node's
//     children for their matches matches that node (its text was edited);
//  3. top down again, among the children of matched nodes, the nodes left
//     between the same matched neighbours pair up: first by equal text,
//     then one for one where as many stand on each side (edited in place),
//     else by similar text. A repeated text ("Ibid.") is so matched by its
//     place, never across parents that do not match;
//  4. for quotations, the targets of the same references of matched
//     categories (a quotation edited and moved is found by what refers to
//     it), and then 3. again below them.
// Everything is decided in tree order: the result does not depend on
// addresses or on the order of hash tables.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "database.h"
#include "sequence.h"

namespace lorelist {

// A tree flattened for comparing: its nodes in pre-order.
struct FlatTree {
  std::vector<HTREEITEM> nodes;
  std::vector<uint32_t> parent;  // kNone at the top level
  std::vector<uint32_t> end;     // one past the last node of the subtree
  std::vector<uint64_t> text;    // hash of the text as characters
  std::vector<uint64_t> shape;   // hash of the whole subtree: texts and shape
  NodeIndex index;               // node -> position

  size_t Size() const { return nodes.size(); }
  // The first child, the next sibling: kNone when there is none.
  uint32_t FirstChild(uint32_t i) const { return i + 1 < end[i] ? i + 1 : kNone; }
  uint32_t NextSibling(uint32_t i) const {
    const uint32_t next = end[i];
    return next < Size() && parent[next] == parent[i] ? next : kNone;
  }
  uint32_t FirstTop() const { return Size() ? 0 : kNone; }
  std::vector<uint32_t> Children(uint32_t i) const;  // kNone: the top level
};

// A text as the comparison sees it: the same characters give the same
// bytes whatever the database's encoding (Windows-1252 is read as UTF-8
// where the other database is UTF-8).
class TextForm {
 public:
  // utf8: the common form is UTF-8 (one of the databases compared is).
  TextForm(const Database& db, bool utf8);
  // The text's bytes in the common form; `buffer` holds them when converted.
  std::string_view Of(std::string_view text, std::string& buffer) const;
  bool Converts() const { return converts_; }

 private:
  bool converts_;
};

// Flattens a tree and hashes its texts and subtrees.
void Flatten(const TreeStore& tree, const TextForm& form, FlatTree& out);

struct TreeMatching {
  // Shared: a version compared with two others is flattened once.
  std::shared_ptr<const FlatTree> a, b;
  std::vector<uint32_t> aToB, bToA;  // kNone: unmatched
};

// Matches the tree of database a with the same tree of database b; texts
// compare in UTF-8 where utf8 (one of the databases compared is UTF-8).
void MatchTrees(const Database& a, const Database& b, Tree tree, TreeMatching& out, bool utf8);

// Both trees of two databases.
struct Matching {
  TreeMatching quotations, categories;
  const TreeMatching& Of(Tree tree) const {
    return tree == Tree::kQuotations ? quotations : categories;
  }
};
// sameA: a matching whose first database is a too, whose flattened trees
// are taken instead of flattening a again.
void MatchDatabases(const Database& a, const Database& b, Matching& out, bool utf8,
                    const Matching* sameA = nullptr);
// True when texts of these databases compare in UTF-8.
bool CompareInUtf8(std::initializer_list<const Database*> databases);

}  // namespace lorelist
