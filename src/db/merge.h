#pragma once

// Two versions of one dictionary: what one changed against a common base,
// and the other's changes made in it. The changes are in the dictionary's
// own terms (a node inserted with its subtree, deleted, its text changed,
// moved; a reference or a subject entry added or deleted), and are made
// through the editing core as one edit.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "transform.h"
#include "tree_match.h"

namespace lorelist {

// One change of theirs against the base, as it meets mine.
struct Change {
  enum Kind {
    kInserted,  // a node with its subtree
    kDeleted,   // a node with what of its subtree is gone with it
    kText,
    kMoved,  // to another parent, or to another place among its siblings
    kReferenceAdded,
    kReferenceDeleted,
    kEntryAdded,
    kEntryDeleted,
    kEncoding,  // the dictionary converted to the encoding its text names
  };
  // How it meets a change of mine; kNone: it does not.
  enum Conflict {
    kNone,
    kTextTwice,       // both changed the text, each to another
    kDeletedChanged,  // theirs deletes what mine changed, gave children or referenced
    kChangedDeleted,  // theirs changes, gives children or refers to what mine deleted
    kMovedTwice,      // each moved the node to another place
    kCannotMake,      // it cannot be made with mine's: deeper than a tree holds, or
                      // an encoding that cannot hold mine's texts
  };
  Change(Kind kind, Tree tree) : kind(kind), tree(tree) {}
  Kind kind;
  Tree tree;
  // The node in each version (nullptr where it is not): for references and
  // entries, their category.
  HTREEITEM base = nullptr, mine = nullptr, theirs = nullptr;
  // References: the quotation referred to, in each version; and the text of
  // the reference or the entry, as theirs (kept by the base for deletions).
  HTREEITEM quotationBase = nullptr, quotationMine = nullptr, quotationTheirs = nullptr;
  std::string_view text;
  // References and entries: where the one deleted is in mine's list, where
  // the one added is in theirs'.
  int mineIndex = -1, theirsIndex = -1;
  // The plan's own hold on the node: its place in the base, or in theirs
  // for an insertion.
  uint32_t at = kNone;
  Conflict conflict = kNone;
  // Made by Apply: by default what does not conflict, in a merge with a
  // base; nothing in one without (every difference is then a choice).
  bool take = false;
  // A text taken where both changed it: mine's, then theirs', one after the
  // other.
  bool both = false;
};

// The changes of `theirs` against `base`, to be made in `mine`. Without a
// base (base is mine itself), they are every difference of theirs from
// mine, none taken. The three databases must stay as they are while the
// plan is used; texts are compared as characters whatever the encodings.
class MergePlan {
 public:
  MergePlan(const Database& base, const Database& mine, const Database& theirs);
  MergePlan(const MergePlan&) = delete;
  MergePlan& operator=(const MergePlan&) = delete;

  std::vector<Change> changes;
  bool TwoWay() const { return &base_ == &mine_; }
  // The common version, which a change's `base` nodes belong to.
  const Database& Base() const { return base_; }
  size_t Conflicts() const;
  // Every conflict settled the same way: theirs taken, or mine kept (one
  // that cannot be made stays mine's).
  void TakeTheirsInConflicts(bool theirs);

  // What mine becomes with the changes taken.
  Target Build();
  // Makes it, as one edit named `name` (one of Database::kGroupEdits).
  // Returns a refusal, or "".
  std::string Apply(Database& mine, const char* name = Database::kGroupEdits[0]);

 private:
  struct Sides;
  struct Merged;
  Sides SidesOf(Tree tree) const;
  // Nodes both versions added under the same parent with the same text, from
  // the top down: one node, not two.
  void FindTwins(Tree tree);
  void Plan(Tree tree);
  bool SameOrder(const Sides& s, uint32_t mineParent) const;
  static bool MineMovedWithin(const Sides& s, uint32_t to, uint32_t a);
  void PlanRecords();
  // The merged tree: which nodes of mine and theirs it holds, where.
  void Decide(Tree tree, Merged& merged) const;
  // Appends the merged tree to the target in pre-order.
  void Emit(Tree tree, Merged& merged, Target& target);
  void EmitRecords(const Merged& categories, const Merged& quotations, Target& target);
  // A text of mine or theirs in the target's encoding.
  std::string_view Into(std::string_view text, const Database& from);

  const Database& base_;
  const Database& mine_;
  const Database& theirs_;
  Matching toMine_, toTheirs_;     // base against mine, base against theirs
  std::deque<std::string> texts_;  // texts made into the encoding the merge works in
  Encoding working_ = Encoding::kWindows1252;
  // Of the base's nodes: categories whose entries or references mine
  // changed, quotations mine added a reference to.
  std::vector<bool> mineTouched_, mineReferenced_;
  // For each tree: theirs' nodes that mine added too, and back.
  std::vector<uint32_t> twins_[2], twinOfMine_[2];
};

// The differences of b from a, as the changes that make a into b.
inline std::vector<Change> Differences(const Database& a, const Database& b) {
  return MergePlan(a, a, b).changes;
}

}  // namespace lorelist
