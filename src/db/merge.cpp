#include "merge.h"

#include <xxhash.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <unordered_map>

#include "code_check.h"

namespace lorelist {

namespace {

// A node of the merged tree is a node of mine, or one of theirs that mine
// does not have (new, or deleted by mine and brought back).
constexpr uint32_t kTheirs = 0x80000000u;
// The parent of a top-level node, in identities of the base.
constexpr uint32_t kTop = kNone - 1;

// A reference or an entry as the three versions can compare it: what it
// points at (in the base's nodes, or a node new in one version) and its
// text's hash in the common form.
struct ItemKey {
  uint64_t target;
  uint64_t text;
  bool operator==(const ItemKey&) const = default;
};

uint64_t HashOf(std::string_view text, const TextForm& form, std::string& buffer) {
  const std::string_view t = form.Of(text, buffer);
  return XXH3_64bits(t.data(), t.size());
}

}  // namespace

// The three trees of one kind and how they match.
struct MergePlan::Sides {
  const FlatTree& o;
  const FlatTree& a;
  const FlatTree& b;
  const std::vector<uint32_t>& oToA;
  const std::vector<uint32_t>& aToO;
  const std::vector<uint32_t>& oToB;
  const std::vector<uint32_t>& bToO;

  // Nodes both added: theirs' to mine's, and back (kNone: none).
  const std::vector<uint32_t>& twins;
  const std::vector<uint32_t>& twinOfMine;

  Sides(const Matching& toMine, const Matching& toTheirs, Tree tree,
        const std::vector<uint32_t>& twins, const std::vector<uint32_t>& twinOfMine)
      : o(*toMine.Of(tree).a),
        a(*toMine.Of(tree).b),
        b(*toTheirs.Of(tree).b),
        oToA(toMine.Of(tree).aToB),
        aToO(toMine.Of(tree).bToA),
        oToB(toTheirs.Of(tree).aToB),
        bToO(toTheirs.Of(tree).bToA),
        twins(twins),
        twinOfMine(twinOfMine) {}

  // Where a node of the base stands in each version: its parent as a node of
  // the base (kTop at the top level, kNone under a node the base lacks).
  uint32_t ParentInBase(uint32_t node) const { return Up(o.parent[node], nullptr); }
  uint32_t ParentInMine(uint32_t node) const { return Up(a.parent[oToA[node]], &aToO); }
  uint32_t ParentInTheirs(uint32_t node) const { return Up(b.parent[oToB[node]], &bToO); }
  // The node of mine that stands for one of theirs (the same node of the
  // base, or one both added), or it as theirs.
  uint32_t Identity(uint32_t theirs) const {
    if (theirs == kNone) return kTop;
    const uint32_t base = bToO[theirs];
    if (base != kNone) return oToA[base] != kNone ? oToA[base] : (theirs | kTheirs);
    return !twins.empty() && twins[theirs] != kNone ? twins[theirs] : (theirs | kTheirs);
  }
  // Theirs' node for one of mine, or kNone.
  uint32_t TheirsOf(uint32_t mine) const {
    const uint32_t base = aToO[mine];
    if (base != kNone) return oToB[base];
    return twinOfMine.empty() ? kNone : twinOfMine[mine];
  }
  // Levels above a node of mine (0 at the top level; kTop: -1).
  int DepthInMine(uint32_t node) const {
    int depth = -1;
    for (uint32_t n = node; n != kTop && n != kNone; n = a.parent[n]) ++depth;
    return depth;
  }

 private:
  static uint32_t Up(uint32_t parent, const std::vector<uint32_t>* toBase) {
    if (parent == kNone) return kTop;
    return toBase ? (*toBase)[parent] : parent;
  }
};

namespace {

// Levels below a node in its subtree.
int SubtreeDepth(const FlatTree& tree, uint32_t node) {
  int deepest = 0;
  std::vector<std::pair<uint32_t, int>> stack{{node, 0}};
  while (!stack.empty()) {
    const auto [n, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    for (uint32_t c = tree.FirstChild(n); c != kNone; c = tree.NextSibling(c))
      stack.push_back({c, depth + 1});
  }
  return deepest;
}

// Which nodes of the base a version moved among their siblings without
// moving them elsewhere: those outside the longest run that keeps order.
std::vector<bool> Reordered(const FlatTree& o, const std::vector<uint32_t>& toV,
                            const TreeStore& store, const std::vector<HTREEITEM>& nodes,
                            const std::function<uint32_t(uint32_t)>& parentInV,
                            const std::vector<bool>* movedByOther = nullptr) {
  std::vector<bool> reordered(o.Size(), false);
  std::vector<uint32_t> children, rows;
  auto visit = [&](uint32_t parent) {
    children.clear();
    for (uint32_t c = parent == kNone ? o.FirstTop() : o.FirstChild(parent); c != kNone;
         c = o.NextSibling(c))
      children.push_back(c);
    rows.clear();
    const uint32_t here = parent == kNone ? kTop : parent;
    for (uint32_t c : children)
      rows.push_back(toV[c] != kNone && parentInV(c) == here
                         ? static_cast<uint32_t>(store.GetRow(nodes[toV[c]]))
                         : kNone);
    std::vector<bool> run = IncreasingRun(rows);
    // Of runs as long, the one without what the other version moved: where
    // both moved a node, it is that node that each moved.
    if (movedByOther && std::any_of(children.begin(), children.end(),
                                    [&](uint32_t c) { return (*movedByOther)[c]; })) {
      std::vector<uint32_t> others = rows;
      for (size_t k = 0; k < children.size(); ++k)
        if ((*movedByOther)[children[k]]) others[k] = kNone;
      std::vector<bool> without = IncreasingRun(others);
      if (std::count(without.begin(), without.end(), true) ==
          std::count(run.begin(), run.end(), true))
        run = std::move(without);
    }
    for (size_t k = 0; k < children.size(); ++k)
      reordered[children[k]] = rows[k] != kNone && !run[k];
  };
  visit(kNone);
  for (uint32_t i = 0; i < o.Size(); ++i) visit(i);
  return reordered;
}

}  // namespace

MergePlan::MergePlan(const Database& base, const Database& mine, const Database& theirs)
    : base_(base), mine_(mine), theirs_(theirs) {
  const bool utf8 = CompareInUtf8({&base, &mine, &theirs});
  if (TwoWay()) {
    // Mine is the base: each node is itself.
    MatchDatabases(base, theirs, toTheirs_, utf8);
    for (const Tree tree : {Tree::kQuotations, Tree::kCategories}) {
      TreeMatching& same = tree == Tree::kQuotations ? toMine_.quotations : toMine_.categories;
      same.a = same.b = toTheirs_.Of(tree).a;
      same.aToB.resize(same.a->Size());
      std::iota(same.aToB.begin(), same.aToB.end(), 0u);
      same.bToA = same.aToB;
    }
  } else {
    MatchDatabases(base, mine, toMine_, utf8);
    MatchDatabases(base, theirs, toTheirs_, utf8, &toMine_);
  }
  // A conversion back that mine's texts cannot take is not a change to make.
  if (theirs.encoding != base.encoding && mine.encoding == base.encoding &&
      (theirs.encoding == Encoding::kUtf8 || mine.FitsWindows1252())) {
    Change made(Change::kEncoding, Tree::kQuotations);
    made.text = EncodingName(theirs.encoding);
    changes.push_back(made);
  }
  FindTwins(Tree::kQuotations);
  FindTwins(Tree::kCategories);
  PlanRecords();
  Plan(Tree::kQuotations);
  Plan(Tree::kCategories);
  for (Change& change : changes) change.take = !TwoWay() && change.conflict == Change::kNone;
}

MergePlan::Sides MergePlan::SidesOf(Tree tree) const {
  const size_t t = tree == Tree::kQuotations ? 0 : 1;
  return Sides(toMine_, toTheirs_, tree, twins_[t], twinOfMine_[t]);
}

void MergePlan::FindTwins(Tree tree) {
  const size_t t = tree == Tree::kQuotations ? 0 : 1;
  const Sides s = SidesOf(tree);
  twins_[t].assign(s.b.Size(), kNone);
  twinOfMine_[t].assign(s.a.Size(), kNone);
  std::vector<uint32_t> newA, newB;
  std::vector<bool> inA, inB;
  // Under a parent that both have (the top, or a node of mine theirs' is),
  // the new children of each with the same text, in the same order.
  auto under = [&](uint32_t theirs) {
    const uint32_t mine = theirs == kNone ? kTop : s.Identity(theirs);
    if (mine != kTop && (mine & kTheirs)) return;
    newA.clear();
    newB.clear();
    for (uint32_t c = mine == kTop ? s.a.FirstTop() : s.a.FirstChild(mine); c != kNone;
         c = s.a.NextSibling(c))
      if (s.aToO[c] == kNone) newA.push_back(c);
    for (uint32_t c = theirs == kNone ? s.b.FirstTop() : s.b.FirstChild(theirs); c != kNone;
         c = s.b.NextSibling(c))
      if (s.bToO[c] == kNone) newB.push_back(c);
    if (newA.empty() || newB.empty()) return;
    CommonSubsequence(
        newA.size(), newB.size(),
        [&](size_t x, size_t y) { return s.a.text[newA[x]] == s.b.text[newB[y]]; }, inA, inB);
    for (size_t x = 0, y = 0; x < newA.size(); ++x) {
      if (!inA[x]) continue;
      while (!inB[y]) ++y;
      twins_[t][newB[y]] = newA[x];
      twinOfMine_[t][newA[x]] = newB[y++];
    }
  };
  under(kNone);
  for (uint32_t y = 0; y < s.b.Size(); ++y) under(y);
}

// --- Planning -----------------------------------------------------------------

namespace {

// The keys of a category's entries or references in one version.
template <typename Key>
std::vector<ItemKey> Keys(const CategoryRecord* record, bool references, Key key) {
  std::vector<ItemKey> keys;
  if (!record) return keys;
  const size_t size = references ? record->referenceTexts.size() : record->subjectEntries.size();
  for (size_t i = 0; i < size; ++i) keys.push_back(key(*record, i));
  return keys;
}

// Pairs the items two lists share, in order: pair[i] is the item of the
// second list the i-th of the first is, or kNone.
std::vector<uint32_t> Pairs(const std::vector<ItemKey>& x, const std::vector<ItemKey>& y) {
  std::vector<bool> inX, inY;
  CommonSubsequence(
      x.size(), y.size(), [&](size_t i, size_t j) { return x[i] == y[j]; }, inX, inY);
  std::vector<uint32_t> pair(x.size(), kNone);
  for (size_t i = 0, j = 0; i < x.size(); ++i) {
    if (!inX[i]) continue;
    while (!inY[j]) ++j;
    pair[i] = static_cast<uint32_t>(j++);
  }
  return pair;
}

std::vector<uint32_t> Unpaired(const std::vector<uint32_t>& pairOfY, size_t sizeY) {
  std::vector<bool> paired(sizeY, false);
  for (uint32_t p : pairOfY)
    if (p != kNone) paired[p] = true;
  std::vector<uint32_t> rest;
  for (uint32_t j = 0; j < sizeY; ++j)
    if (!paired[j]) rest.push_back(j);
  return rest;
}

}  // namespace

void MergePlan::PlanRecords() {
  const Sides q = SidesOf(Tree::kQuotations);
  const Sides c = SidesOf(Tree::kCategories);
  const bool utf8 = CompareInUtf8({&base_, &mine_, &theirs_});
  const TextForm formO(base_, utf8), formA(mine_, utf8), formB(theirs_, utf8);
  // Theirs' item j of a category's list, as the change that adds it.
  auto addedByTheirs = [&](Change& made, const CategoryRecord& rb, uint32_t j, uint64_t target,
                           bool references) {
    if (references) {
      made.text = rb.referenceTexts[j];
      made.quotationTheirs = rb.referenceTargets[j];
      if (target < q.o.Size()) {
        made.quotationBase = q.o.nodes[target];
        if (q.oToA[target] == kNone)
          made.conflict = Change::kChangedDeleted;
        else
          made.quotationMine = q.a.nodes[q.oToA[target]];
      }
    } else {
      made.text = rb.subjectEntries[j];
    }
    changes.push_back(made);
  };
  mineTouched_.assign(c.o.Size(), false);
  mineReferenced_.assign(q.o.Size(), false);
  std::string buffer;
  // What a reference points at, as the base's node where there is one, and
  // as mine's where both added it.
  auto target = [&](uint32_t node, const std::vector<uint32_t>* toBase, uint64_t side) -> uint64_t {
    const uint32_t base = toBase ? (*toBase)[node] : node;
    if (base != kNone) return base;
    if (side == 2 && q.twins[node] != kNone) return uint64_t{1} << 32 | q.twins[node];
    return side << 32 | node;
  };
  auto keys = [&](const Database& db, const FlatTree& tree, uint32_t node, bool references,
                  const TextForm& form, const FlatTree& quotations,
                  const std::vector<uint32_t>* toBase, uint64_t side) {
    const CategoryRecord* record = node == kNone ? nullptr : db.Record(tree.nodes[node]);
    return Keys(record, references, [&](const CategoryRecord& r, size_t i) -> ItemKey {
      if (!references) return {0, HashOf(r.subjectEntries[i], form, buffer)};
      return {target(quotations.index.Find(r.referenceTargets[i]), toBase, side),
              HashOf(r.referenceTexts[i], form, buffer)};
    });
  };
  // Most categories' lists are the same in a version as in the base: told
  // without keys. (Lists of two encodings are compared by their keys.)
  auto same = [&](uint32_t o, const Database& db, const FlatTree& tree, uint32_t node,
                  const FlatTree& quotations, const std::vector<uint32_t>& toV, bool references) {
    if (node == kNone || db.encoding != base_.encoding) return false;
    const CategoryRecord& x = *base_.Record(c.o.nodes[o]);
    const CategoryRecord& y = *db.Record(tree.nodes[node]);
    if (!references) return x.subjectEntries == y.subjectEntries;
    if (x.referenceTexts.size() != y.referenceTexts.size()) return false;
    for (size_t i = 0; i < x.referenceTexts.size(); ++i)
      if (toV[q.o.index.Find(x.referenceTargets[i])] !=
              quotations.index.Find(y.referenceTargets[i]) ||
          std::string_view(x.referenceTexts[i]) != std::string_view(y.referenceTexts[i]))
        return false;
    return true;
  };
  for (uint32_t o = 0; o < c.o.Size(); ++o) {
    const uint32_t a = c.oToA[o], b = c.oToB[o];
    for (const bool references : {false, true}) {
      const bool mineSame = TwoWay() || same(o, mine_, c.a, a, q.a, q.oToA, references);
      if (mineSame && (b == kNone || same(o, theirs_, c.b, b, q.b, q.oToB, references))) continue;
      const auto ko = keys(base_, c.o, o, references, formO, q.o, nullptr, 0);
      const auto ka = mineSame ? ko : keys(mine_, c.a, a, references, formA, q.a, &q.aToO, 1);
      const auto oToA = Pairs(ko, ka);
      const auto mineAdded = Unpaired(oToA, ka.size());
      if (!mineAdded.empty() || std::count(oToA.begin(), oToA.end(), kNone)) mineTouched_[o] = true;
      for (uint32_t j : mineAdded)
        if (references && ka[j].target < q.o.Size()) mineReferenced_[ka[j].target] = true;
      if (b == kNone) continue;  // gone with its category
      const auto kb = keys(theirs_, c.b, b, references, formB, q.b, &q.bToO, 2);
      const auto oToB = Pairs(ko, kb);
      const CategoryRecord* rb = theirs_.Record(c.b.nodes[b]);
      auto change = [&](Change::Kind kind) {
        Change made(kind, Tree::kCategories);
        made.base = c.o.nodes[o];
        made.mine = a == kNone ? nullptr : c.a.nodes[a];
        made.theirs = c.b.nodes[b];
        made.at = o;
        return made;
      };
      // Deleted by theirs, still in mine.
      for (size_t i = 0; i < ko.size(); ++i) {
        if (oToB[i] != kNone || a == kNone || oToA[i] == kNone) continue;
        Change made = change(references ? Change::kReferenceDeleted : Change::kEntryDeleted);
        const CategoryRecord* ro = base_.Record(c.o.nodes[o]);
        made.mineIndex = static_cast<int>(oToA[i]);
        if (references) {
          made.text = ro->referenceTexts[i];
          made.quotationBase = ro->referenceTargets[i];
          made.quotationMine = mine_.Record(c.a.nodes[a])->referenceTargets[oToA[i]];
        } else {
          made.text = ro->subjectEntries[i];
        }
        changes.push_back(made);
      }
      // Added by theirs: once, where mine added the same.
      std::vector<ItemKey> alsoMine;
      for (uint32_t j : mineAdded) alsoMine.push_back(ka[j]);
      for (uint32_t j : Unpaired(oToB, kb.size())) {
        auto same = std::find(alsoMine.begin(), alsoMine.end(), kb[j]);
        if (same != alsoMine.end()) {
          alsoMine.erase(same);
          continue;
        }
        Change made = change(references ? Change::kReferenceAdded : Change::kEntryAdded);
        made.theirsIndex = static_cast<int>(j);
        if (a == kNone) made.conflict = Change::kChangedDeleted;
        addedByTheirs(made, *rb, j, kb[j].target, references);
      }
    }
  }
  // A category both added: what theirs gave it that mine did not.
  for (uint32_t y = 0; y < c.b.Size(); ++y) {
    const uint32_t a = c.twins[y];
    if (a == kNone) continue;
    for (const bool references : {false, true}) {
      const auto ka = keys(mine_, c.a, a, references, formA, q.a, &q.aToO, 1);
      const auto kb = keys(theirs_, c.b, y, references, formB, q.b, &q.bToO, 2);
      const CategoryRecord* rb = theirs_.Record(c.b.nodes[y]);
      for (uint32_t j : Unpaired(Pairs(ka, kb), kb.size())) {
        Change made(references ? Change::kReferenceAdded : Change::kEntryAdded, Tree::kCategories);
        made.mine = c.a.nodes[a];
        made.theirs = c.b.nodes[y];
        made.theirsIndex = static_cast<int>(j);
        addedByTheirs(made, *rb, j, kb[j].target, references);
      }
    }
  }
}

// Whether the children of a node of mine that theirs has too stand in the
// same order in both.
bool MergePlan::SameOrder(const Sides& s, uint32_t mineParent) const {
  std::vector<uint32_t> inMine, inTheirs;
  const uint32_t theirs = mineParent == kTop ? kNone : s.TheirsOf(mineParent);
  if (mineParent != kTop && theirs == kNone) return true;
  for (uint32_t c = mineParent == kTop ? s.a.FirstTop() : s.a.FirstChild(mineParent); c != kNone;
       c = s.a.NextSibling(c))
    if (const uint32_t y = s.TheirsOf(c); y != kNone && s.b.parent[y] == theirs)
      inMine.push_back(y);
  for (uint32_t y = theirs == kNone ? s.b.FirstTop() : s.b.FirstChild(theirs); y != kNone;
       y = s.b.NextSibling(y))
    if (s.Identity(y) != (y | kTheirs) &&
        s.a.parent[s.Identity(y)] == (mineParent == kTop ? kNone : mineParent))
      inTheirs.push_back(y);
  return inMine == inTheirs;
}

// Whether mine moved theirs' new place for node `a` of mine within it (a
// place that is within it in the base too, theirs moves out itself).
bool MergePlan::MineMovedWithin(const Sides& s, uint32_t to, uint32_t a) {
  if (to == kTop || (to & kTheirs) || to <= a || to >= s.a.end[a]) return false;
  for (uint32_t n = to; n != a; n = s.a.parent[n])
    if (s.aToO[n] == kNone || s.ParentInMine(s.aToO[n]) != s.ParentInBase(s.aToO[n])) return true;
  return false;
}

void MergePlan::Plan(Tree tree) {
  const Sides s = SidesOf(tree);
  const std::vector<bool> movedInMine = Reordered(s.o, s.oToA, mine_.Of(tree), s.a.nodes,
                                                  [&](uint32_t n) { return s.ParentInMine(n); });
  const std::vector<bool> movedInTheirs = Reordered(
      s.o, s.oToB, theirs_.Of(tree), s.b.nodes, [&](uint32_t n) { return s.ParentInTheirs(n); },
      &movedInMine);
  // Whether mine changed a node of the base: its text, its place, its
  // children, its entries and references, or references to it.
  auto changedByMine = [&](uint32_t o) {
    const uint32_t a = s.oToA[o];
    if (a == kNone) return false;
    if (s.a.text[a] != s.o.text[o] || s.ParentInMine(o) != s.ParentInBase(o) || movedInMine[o])
      return true;
    for (uint32_t c = s.a.FirstChild(a); c != kNone; c = s.a.NextSibling(c))
      if (s.aToO[c] == kNone || s.o.parent[s.aToO[c]] != o) return true;
    return tree == Tree::kCategories ? bool(mineTouched_[o]) : bool(mineReferenced_[o]);
  };
  auto change = [&](Change::Kind kind, uint32_t o) {
    Change made(kind, tree);
    made.base = s.o.nodes[o];
    made.mine = s.oToA[o] == kNone ? nullptr : s.a.nodes[s.oToA[o]];
    made.theirs = s.oToB[o] == kNone ? nullptr : s.b.nodes[s.oToB[o]];
    made.at = o;
    return made;
  };
  for (uint32_t o = 0; o < s.o.Size(); ++o) {
    const uint32_t a = s.oToA[o], b = s.oToB[o];
    if (b == kNone) {
      const uint32_t parent = s.o.parent[o];
      if (parent != kNone && s.oToB[parent] == kNone) continue;  // gone with its parent
      // What theirs deleted with it, and mine still has.
      bool inMine = false, changed = false;
      for (uint32_t d = o; d < s.o.end[o]; ++d)
        if (s.oToB[d] == kNone) {
          inMine = inMine || s.oToA[d] != kNone;
          changed = changed || changedByMine(d);
        }
      if (!inMine) continue;
      Change made = change(Change::kDeleted, o);
      if (changed) made.conflict = Change::kDeletedChanged;
      changes.push_back(made);
      continue;
    }
    if (s.b.text[b] != s.o.text[o] && (a == kNone || s.a.text[a] != s.b.text[b])) {
      Change made = change(Change::kText, o);
      if (a == kNone)
        made.conflict = Change::kChangedDeleted;
      else if (s.a.text[a] != s.o.text[o])
        made.conflict = Change::kTextTwice;
      changes.push_back(made);
    }
    const uint32_t theirParent = s.ParentInTheirs(o), baseParent = s.ParentInBase(o);
    if (theirParent == baseParent && !movedInTheirs[o]) continue;
    const bool intoGone =
        theirParent != kTop && theirParent != kNone && s.oToA[theirParent] == kNone;
    if (a != kNone) {
      const uint32_t myParent = s.ParentInMine(o);
      const bool movedByMine = myParent != baseParent || movedInMine[o];
      // Where theirs puts it, as a node of mine where mine has one.
      const uint32_t to = s.Identity(s.b.parent[b]);
      const uint32_t mineNow = s.a.parent[a] == kNone ? kTop : s.a.parent[a];
      if (movedByMine && to == mineNow && (myParent != baseParent || SameOrder(s, to)))
        continue;  // both did
      Change made = change(Change::kMoved, o);
      if (intoGone)
        made.conflict = Change::kChangedDeleted;
      else if (movedByMine || MineMovedWithin(s, to, a))
        made.conflict = Change::kMovedTwice;
      else if (!(to & kTheirs) && s.DepthInMine(to) + 1 + SubtreeDepth(s.a, a) >= kMaxLevels)
        made.conflict = Change::kCannotMake;
      changes.push_back(made);
    } else {
      Change made = change(Change::kMoved, o);
      made.conflict = Change::kChangedDeleted;
      changes.push_back(made);
    }
  }
  // Subtrees new in theirs, each one change; a node mine added too (its
  // twin) is there already, and only what theirs added below it comes in.
  for (uint32_t y = 0; y < s.b.Size(); ++y) {
    if (s.bToO[y] != kNone || s.twins[y] != kNone) continue;
    const uint32_t parent = s.b.parent[y];
    const uint32_t at = s.Identity(parent);
    const bool fromTheirs = at != kTop && (at & kTheirs);
    const bool gone = fromTheirs && s.bToO[parent] != kNone;
    if (fromTheirs && !gone) continue;  // within a new subtree
    Change made(Change::kInserted, tree);
    made.theirs = s.b.nodes[y];
    made.mine = gone || at == kTop ? nullptr : s.a.nodes[at];
    made.base = parent == kNone || s.bToO[parent] == kNone ? nullptr : s.o.nodes[s.bToO[parent]];
    made.at = y;
    if (gone)
      made.conflict = Change::kChangedDeleted;
    else if (s.DepthInMine(at) + 1 + SubtreeDepth(s.b, y) >= kMaxLevels)
      made.conflict = Change::kCannotMake;
    changes.push_back(made);
  }
}

size_t MergePlan::Conflicts() const {
  return static_cast<size_t>(std::count_if(
      changes.begin(), changes.end(), [](const Change& c) { return c.conflict != Change::kNone; }));
}

void MergePlan::TakeTheirsInConflicts(bool theirs) {
  for (Change& change : changes)
    if (change.conflict != Change::kNone)
      change.take = theirs && change.conflict != Change::kCannotMake;
}

// --- Building the merged database --------------------------------------------

struct MergePlan::Merged {
  // For each node of mine and of theirs: its parent in the merged tree (kTop,
  // a node of mine, or kTheirs | a node of theirs), kNone when it is not in it.
  std::vector<uint32_t> parentA, parentB;
  std::vector<uint32_t> textFromTheirs;  // nodes of mine that take theirs' text
  std::vector<bool> textOfBoth;          // and keep theirs after their own
  std::vector<bool> placedByTheirs;      // nodes of mine that go where theirs has them
  // Identities in the order of the target, and where each went in it.
  std::vector<uint32_t> order, positionA, positionB;

  uint32_t Parent(uint32_t id) const { return id & kTheirs ? parentB[id & ~kTheirs] : parentA[id]; }
  uint32_t Position(uint32_t id) const {
    return id & kTheirs ? positionB[id & ~kTheirs] : positionA[id];
  }
};

void MergePlan::Decide(Tree tree, Merged& m) const {
  const Sides s = SidesOf(tree);
  auto myParent = [&](uint32_t x) { return s.a.parent[x] == kNone ? kTop : s.a.parent[x]; };
  m.parentA.resize(s.a.Size());
  for (uint32_t x = 0; x < s.a.Size(); ++x) m.parentA[x] = myParent(x);
  m.parentB.assign(s.b.Size(), kNone);
  m.textFromTheirs.assign(s.a.Size(), kNone);
  m.textOfBoth.assign(s.a.Size(), false);
  m.placedByTheirs.assign(s.a.Size(), false);
  auto bringBack = [&](uint32_t y) { m.parentB[y] = s.Identity(s.b.parent[y]); };
  // A node of theirs that mine deleted comes back with what mine deleted of
  // its subtree: as theirs has it.
  auto restore = [&](uint32_t y) {
    for (uint32_t z = y; z < s.b.end[y]; ++z)
      if ((s.Identity(z) & kTheirs) && m.parentB[z] == kNone) bringBack(z);
  };
  for (const Change& change : changes) {
    if (!change.take || change.conflict == Change::kCannotMake) continue;
    if (change.kind >= Change::kReferenceAdded && change.kind <= Change::kEntryDeleted) {
      // What theirs added to a category or refers to, where mine deleted it.
      const HTREEITEM wanted =
          tree == Tree::kCategories ? (change.base && !change.mine ? change.theirs : nullptr)
          : change.kind == Change::kReferenceAdded && change.quotationBase && !change.quotationMine
              ? change.quotationTheirs
              : nullptr;
      if (wanted)
        if (const uint32_t y = s.b.index.Find(wanted); y != kNone && (s.Identity(y) & kTheirs))
          restore(y);
      continue;
    }
    if (change.tree != tree) continue;
    const uint32_t o = change.at;
    switch (change.kind) {
      case Change::kDeleted:
        for (uint32_t d = o; d < s.o.end[o]; ++d)
          if (s.oToB[d] == kNone && s.oToA[d] != kNone) m.parentA[s.oToA[d]] = kNone;
        // With it goes what mine added below what goes (a tree in order:
        // a parent is decided before its children).
        if (const uint32_t top = s.oToA[o]; top != kNone)
          for (uint32_t x = top + 1; x < s.a.end[top]; ++x)
            if (s.aToO[x] == kNone && m.parentA[s.a.parent[x]] == kNone) m.parentA[x] = kNone;
        break;
      case Change::kInserted:
        for (uint32_t y = o; y < s.b.end[o]; ++y)
          if (s.bToO[y] == kNone) bringBack(y);
        break;
      case Change::kText:
      case Change::kMoved: {
        const uint32_t x = s.oToA[o], y = s.oToB[o];
        if (x == kNone) {
          restore(y);
        } else if (change.kind == Change::kText) {
          m.textFromTheirs[x] = y;
          m.textOfBoth[x] = change.both;
        } else {
          m.parentA[x] = s.Identity(s.b.parent[y]);
          m.placedByTheirs[x] = true;
          // Both ordered its siblings, each their own way: theirs' order.
          if (change.conflict == Change::kMovedTwice && m.parentA[x] == myParent(x))
            for (uint32_t c = s.a.parent[x] == kNone ? s.a.FirstTop()
                                                     : s.a.FirstChild(s.a.parent[x]);
                 c != kNone; c = s.a.NextSibling(c))
              if (const uint32_t t = s.TheirsOf(c);
                  t != kNone && s.Identity(s.b.parent[t]) == m.parentA[x])
                m.placedByTheirs[c] = true;
          // Where mine put theirs' place within the node, the nodes between
          // go where theirs has them, or the node would be within itself.
          for (uint32_t n = m.parentA[x]; n != kTop && !(n & kTheirs) && n > x && n < s.a.end[x];
               n = myParent(n))
            if (const uint32_t t = s.TheirsOf(n); t != kNone) {
              m.parentA[n] = s.Identity(s.b.parent[t]);
              m.placedByTheirs[n] = true;
            }
        }
        break;
      }
      default:
        break;
    }
  }
  // Every node's parent must be there: a move of theirs into what is gone
  // is not made, and a node deleted or given up that still has children
  // stays (or comes back).
  auto settle = [&] {
    for (bool changed = true; changed;) {
      changed = false;
      auto need = [&](uint32_t parent) {
        if (parent == kTop || m.Parent(parent) != kNone) return;
        if (parent & kTheirs)
          restore(parent & ~kTheirs);
        else
          m.parentA[parent] = myParent(parent);
        changed = true;
      };
      for (uint32_t x = 0; x < s.a.Size(); ++x) {
        const uint32_t parent = m.parentA[x];
        if (parent == kNone) continue;
        if (m.placedByTheirs[x] && parent != kTop && m.Parent(parent) == kNone) {
          m.parentA[x] = myParent(x);
          m.placedByTheirs[x] = false;
          changed = true;
        } else {
          need(parent);
        }
      }
      for (uint32_t y = 0; y < s.b.Size(); ++y)
        if (m.parentB[y] != kNone) need(m.parentB[y]);
    }
  };
  settle();
  // A move of theirs that, with mine's, would put a node within itself or
  // deeper than a tree holds is not made.
  bool reverted = false;
  for (uint32_t x = 0; x < s.a.Size(); ++x) {
    if (!m.placedByTheirs[x]) continue;
    int depth = 0;
    uint32_t up = m.parentA[x];
    for (; up != kTop && up != x && depth < kMaxLevels; ++depth) up = m.Parent(up);
    if (up != kTop || depth >= kMaxLevels || SubtreeDepth(s.a, x) + depth >= kMaxLevels) {
      m.parentA[x] = myParent(x);
      m.placedByTheirs[x] = false;
      reverted = true;
    }
  }
  if (reverted) settle();
}

std::string_view MergePlan::Into(std::string_view text, const Database& from) {
  const Encoding to = working_;
  if (from.encoding == to || IsAscii(text)) return text;
  std::string& made = texts_.emplace_back();
  if (to == Encoding::kUtf8)
    AppendCp1252AsUtf8(made, text);
  else
    Utf8ToCp1252(text, made);
  return made;
}

void MergePlan::Emit(Tree tree, Merged& m, Target& target) {
  const Sides s = SidesOf(tree);
  const Database& a = mine_;
  const Database& b = theirs_;
  m.positionA.assign(s.a.Size(), kNone);
  m.positionB.assign(s.b.Size(), kNone);
  m.order.clear();
  // The nodes that come to a parent from theirs, in theirs' order.
  std::unordered_map<uint32_t, std::vector<uint32_t>> fromTheirs;
  auto theirsOf = [&](uint32_t id) { return id & kTheirs ? id & ~kTheirs : s.TheirsOf(id); };
  for (uint32_t x = 0; x < s.a.Size(); ++x)
    if (m.placedByTheirs[x]) fromTheirs[m.parentA[x]].push_back(x);
  for (uint32_t y = 0; y < s.b.Size(); ++y)
    if (m.parentB[y] != kNone) fromTheirs[m.parentB[y]].push_back(y | kTheirs);
  for (auto& [parent, ids] : fromTheirs)
    std::sort(ids.begin(), ids.end(),
              [&](uint32_t x, uint32_t y) { return theirsOf(x) < theirsOf(y); });
  std::vector<uint32_t> previousB(s.b.Size(), kNone);
  for (uint32_t y = 0; y < s.b.Size(); ++y)
    if (const uint32_t next = s.b.NextSibling(y); next != kNone) previousB[next] = y;

  // A parent's children: mine's in mine's order, then theirs' each after the
  // sibling it follows in theirs.
  std::vector<uint32_t> children;
  auto childrenOf = [&](uint32_t parent) {
    children.clear();
    for (uint32_t c = parent == kTop     ? s.a.FirstTop()
                      : parent & kTheirs ? kNone
                                         : s.a.FirstChild(parent);
         c != kNone; c = s.a.NextSibling(c))
      if (m.parentA[c] == parent && !m.placedByTheirs[c]) children.push_back(c);
    auto it = fromTheirs.find(parent);
    if (it == fromTheirs.end()) return;
    for (uint32_t id : it->second) {
      size_t at = 0;
      for (uint32_t before = previousB[theirsOf(id)]; before != kNone; before = previousB[before]) {
        const auto found = std::find(children.begin(), children.end(), s.Identity(before));
        if (found != children.end()) {
          at = static_cast<size_t>(found - children.begin()) + 1;
          break;
        }
      }
      children.insert(children.begin() + static_cast<ptrdiff_t>(at), id);
    }
  };
  std::vector<Target::Node>& nodes = target.Of(tree);
  std::vector<std::pair<uint32_t, uint32_t>> stack;  // identity, parent's position
  childrenOf(kTop);
  for (size_t k = children.size(); k-- > 0;) stack.push_back({children[k], kNone});
  while (!stack.empty()) {
    const auto [id, parent] = stack.back();
    stack.pop_back();
    const auto position = static_cast<uint32_t>(nodes.size());
    Target::Node node;
    node.parent = parent;
    if (id & kTheirs) {
      const uint32_t y = id & ~kTheirs;
      node.text = Into(b.Of(tree).GetItemText(s.b.nodes[y]), b);
      m.positionB[y] = position;
    } else {
      node.existing = s.a.nodes[id];
      node.text = m.textFromTheirs[id] != kNone
                      ? Into(b.Of(tree).GetItemText(s.b.nodes[m.textFromTheirs[id]]), b)
                      : Into(a.Of(tree).GetItemText(node.existing), a);
      if (m.textOfBoth[id]) {
        std::string& both = texts_.emplace_back(Into(a.Of(tree).GetItemText(node.existing), a));
        node.text = both.append(" ").append(node.text);
      }
      m.positionA[id] = position;
    }
    nodes.push_back(node);
    m.order.push_back(id);
    childrenOf(id);
    for (size_t k = children.size(); k-- > 0;) stack.push_back({children[k], position});
  }
}

void MergePlan::EmitRecords(const Merged& c, const Merged& q, Target& target) {
  const Sides sc = SidesOf(Tree::kCategories);
  const Sides sq = SidesOf(Tree::kQuotations);
  const bool utf8 = CompareInUtf8({&base_, &mine_, &theirs_});
  const TextForm formA(mine_, utf8), formB(theirs_, utf8);
  std::string buffer;
  // The changes taken in each category of mine.
  std::unordered_map<HTREEITEM, std::vector<const Change*>> taken;
  for (const Change& change : changes)
    if (change.take && change.mine && change.kind >= Change::kReferenceAdded &&
        change.kind <= Change::kEntryDeleted)
      taken[change.mine].push_back(&change);
  for (uint32_t id : c.order) {
    const bool theirs = id & kTheirs;
    const uint32_t y = theirs ? id & ~kTheirs : sc.TheirsOf(id);
    const CategoryRecord* ra = theirs ? nullptr : mine_.Record(sc.a.nodes[id]);
    const CategoryRecord* rb = y == kNone ? nullptr : theirs_.Record(sc.b.nodes[y]);
    const auto it = theirs ? taken.end() : taken.find(sc.a.nodes[id]);
    for (const bool references : {false, true}) {
      // Each item as (taken from theirs?, its index in that list).
      std::vector<std::pair<bool, uint32_t>> items;
      if (theirs) {
        const size_t size = references ? rb->referenceTexts.size() : rb->subjectEntries.size();
        for (uint32_t j = 0; j < size; ++j) items.push_back({true, j});
      } else {
        const size_t size = references ? ra->referenceTexts.size() : ra->subjectEntries.size();
        std::vector<bool> gone(size, false);
        std::vector<uint32_t> added;
        if (it != taken.end())
          for (const Change* change : it->second) {
            if ((change->kind == Change::kReferenceDeleted ||
                 change->kind == Change::kReferenceAdded) != references)
              continue;
            if (change->kind == Change::kReferenceDeleted || change->kind == Change::kEntryDeleted)
              gone[static_cast<size_t>(change->mineIndex)] = true;
            else
              added.push_back(static_cast<uint32_t>(change->theirsIndex));
          }
        for (uint32_t i = 0; i < size; ++i)
          if (!gone[i]) items.push_back({false, i});
        if (!added.empty()) {
          // Each after the item of mine that the one before it in theirs is.
          auto key = [&](bool fromTheirs, uint32_t i) -> ItemKey {
            const CategoryRecord& r = fromTheirs ? *rb : *ra;
            const TextForm& form = fromTheirs ? formB : formA;
            if (!references) return {0, HashOf(r.subjectEntries[i], form, buffer)};
            const uint32_t node = fromTheirs ? sq.b.index.Find(r.referenceTargets[i])
                                             : sq.a.index.Find(r.referenceTargets[i]);
            return {fromTheirs ? sq.Identity(node) : node,
                    HashOf(r.referenceTexts[i], form, buffer)};
          };
          std::vector<ItemKey> kb, ka;
          const size_t sizeB = references ? rb->referenceTexts.size() : rb->subjectEntries.size();
          for (uint32_t j = 0; j < sizeB; ++j) kb.push_back(key(true, j));
          for (uint32_t i = 0; i < size; ++i) ka.push_back(key(false, i));
          const std::vector<uint32_t> bToA = Pairs(kb, ka);
          std::sort(added.begin(), added.end());
          for (uint32_t j : added) {
            size_t at = 0;
            for (uint32_t before = j; before-- > 0;) {
              auto found = std::find_if(items.begin(), items.end(), [&](const auto& item) {
                return item.first ? item.second == before : item.second == bToA[before];
              });
              if (found != items.end()) {
                at = static_cast<size_t>(found - items.begin()) + 1;
                break;
              }
            }
            items.insert(items.begin() + static_cast<ptrdiff_t>(at), {true, j});
          }
        }
      }
      for (const auto& [fromTheirs, i] : items) {
        const CategoryRecord& r = fromTheirs ? *rb : *ra;
        const Database& db = fromTheirs ? theirs_ : mine_;
        if (!references) {
          target.entries.push_back(Into(r.subjectEntries[i], db));
          continue;
        }
        const uint32_t node = fromTheirs ? sq.b.index.Find(r.referenceTargets[i])
                                         : sq.a.index.Find(r.referenceTargets[i]);
        const uint32_t position = q.Position(fromTheirs ? sq.Identity(node) : node);
        if (position == kNone) continue;  // its quotation is not in the merge
        target.references.push_back({position, Into(r.referenceTexts[i], db)});
      }
    }
    target.CloseCategory();
  }
}

Target MergePlan::Build() {
  Merged quotations, categories;
  Decide(Tree::kQuotations, quotations);
  Decide(Tree::kCategories, categories);
  // The encoding the merge ends in: mine's, or theirs' where that change is
  // taken, or Unicode where a text of theirs needs it.
  Encoding final = mine_.encoding;
  for (const Change& change : changes)
    if (change.take && change.kind == Change::kEncoding) final = theirs_.encoding;
  bool needsUtf8 = false;
  if (theirs_.encoding == Encoding::kUtf8) {
    std::string scratch;
    auto fits = [&](std::string_view text) {
      return IsAscii(text) || Utf8ToCp1252(text, scratch) == Utf8Conversion::kDone;
    };
    for (const Tree tree : {Tree::kQuotations, Tree::kCategories}) {
      const Merged& m = tree == Tree::kQuotations ? quotations : categories;
      const Sides s = SidesOf(tree);
      for (uint32_t y = 0; y < s.b.Size() && !needsUtf8; ++y)
        if (m.parentB[y] != kNone) needsUtf8 = !fits(theirs_.Of(tree).GetItemText(s.b.nodes[y]));
      for (uint32_t x = 0; x < s.a.Size() && !needsUtf8; ++x)
        if (m.textFromTheirs[x] != kNone)
          needsUtf8 = !fits(theirs_.Of(tree).GetItemText(s.b.nodes[m.textFromTheirs[x]]));
    }
    for (const Change& change : changes)
      if (change.take &&
          (change.kind == Change::kReferenceAdded || change.kind == Change::kEntryAdded) &&
          !fits(change.text))
        needsUtf8 = true;
    const Sides sc = SidesOf(Tree::kCategories);
    for (uint32_t y = 0; y < sc.b.Size() && !needsUtf8; ++y)
      if (categories.parentB[y] != kNone) {
        const CategoryRecord& r = *theirs_.Record(sc.b.nodes[y]);
        for (std::string_view e : r.subjectEntries) needsUtf8 = needsUtf8 || !fits(e);
        for (const PackedText& t : r.referenceTexts) needsUtf8 = needsUtf8 || !fits(t);
      }
  }
  if (needsUtf8) final = Encoding::kUtf8;
  working_ = mine_.encoding == Encoding::kUtf8 || final == Encoding::kUtf8 ? Encoding::kUtf8
                                                                           : Encoding::kWindows1252;
  Target target;
  target.encoding = final;
  Emit(Tree::kQuotations, quotations, target);
  Emit(Tree::kCategories, categories, target);
  EmitRecords(categories, quotations, target);
  return target;
}

std::string MergePlan::Apply(Database& mine, const char* name) {
  if (&mine != &mine_) return "The merge was planned for another database.";
  const Target target = Build();
  return Transform(mine, target, name);
}

}  // namespace lorelist
