#include "tree_match.h"

#include <xxhash.h>

#include <algorithm>
#include <unordered_map>

namespace lorelist {

namespace {

uint64_t Mix(uint64_t x) {
  // splitmix64's finalizer: every bit of the input moves every bit out.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// Similarity of two texts from their pairs of bytes (Dice's coefficient):
// 1 for the same text, 0 for texts that share no pair.
double Similarity(std::string_view x, std::string_view y) {
  if (x.size() < 2 || y.size() < 2) return x == y ? 1 : 0;
  std::vector<uint16_t> px, py;
  for (size_t i = 0; i + 1 < x.size(); ++i)
    px.push_back(static_cast<uint16_t>(x[i] << 8 | uint8_t(x[i + 1])));
  for (size_t i = 0; i + 1 < y.size(); ++i)
    py.push_back(static_cast<uint16_t>(y[i] << 8 | uint8_t(y[i + 1])));
  std::sort(px.begin(), px.end());
  std::sort(py.begin(), py.end());
  size_t common = 0;
  for (size_t i = 0, j = 0; i < px.size() && j < py.size();) {
    if (px[i] == py[j])
      ++common, ++i, ++j;
    else if (px[i] < py[j])
      ++i;
    else
      ++j;
  }
  return 2.0 * static_cast<double>(common) / static_cast<double>(px.size() + py.size());
}

class Matcher {
 public:
  Matcher(const Database& a, const Database& b, Tree tree, TreeMatching& m, bool utf8)
      : a_(a), b_(b), tree_(tree), m_(m), formA_(a, utf8), formB_(b, utf8) {}

  // a: the first tree flattened already, or nothing.
  void Run(std::shared_ptr<const FlatTree> a = nullptr) {
    if (!a) {
      auto flat = std::make_shared<FlatTree>();
      Flatten(a_.Of(tree_), formA_, *flat);
      a = std::move(flat);
    }
    m_.a = std::move(a);
    auto flat = std::make_shared<FlatTree>();
    Flatten(b_.Of(tree_), formB_, *flat);
    m_.b = std::move(flat);
    m_.aToB.assign(m_.a->Size(), kNone);
    m_.bToA.assign(m_.b->Size(), kNone);
    MatchUniqueSubtrees();
    MatchUniqueTexts();
    MatchByChildren();
    MatchInPlace();
  }

  // 4. Quotations that references of matched categories point at, where the
  // same reference stands in both: a quotation both edited and moved is
  // still found by what refers to it.
  void MatchByReferences(const TreeMatching& categories) {
    std::vector<bool> inA, inB;
    std::string bufferA, bufferB;
    for (uint32_t i = 0; i < categories.a->Size(); ++i) {
      const uint32_t j = categories.aToB[i];
      if (j == kNone) continue;
      const CategoryRecord& ra = *a_.Record(categories.a->nodes[i]);
      const CategoryRecord& rb = *b_.Record(categories.b->nodes[j]);
      CommonSubsequence(
          ra.referenceTexts.size(), rb.referenceTexts.size(),
          [&](size_t x, size_t y) {
            return formA_.Of(ra.referenceTexts[x], bufferA) ==
                   formB_.Of(rb.referenceTexts[y], bufferB);
          },
          inA, inB);
      for (size_t x = 0, y = 0; x < inA.size(); ++x) {
        if (!inA[x]) continue;
        while (!inB[y]) ++y;
        const uint32_t qa = (*m_.a).index.Find(ra.referenceTargets[x]);
        const uint32_t qb = (*m_.b).index.Find(rb.referenceTargets[y++]);
        if (qa != kNone && qb != kNone && Free(qa, qb)) Pair(qa, qb);
      }
    }
    MatchInPlace();
  }

 private:
  void Pair(uint32_t i, uint32_t j) {
    m_.aToB[i] = j;
    m_.bToA[j] = i;
  }
  bool Free(uint32_t i, uint32_t j) const { return m_.aToB[i] == kNone && m_.bToA[j] == kNone; }

  // For each node of a, the node of b with the same hash when that hash is
  // each tree's only one, among the nodes still unmatched.
  std::vector<uint32_t> Unique(const std::vector<uint64_t> FlatTree::*hash) const {
    auto sorted = [&](const FlatTree& t, const std::vector<uint32_t>& matched) {
      std::vector<std::pair<uint64_t, uint32_t>> v;
      v.reserve(t.Size());
      for (uint32_t i = 0; i < t.Size(); ++i)
        if (matched[i] == kNone) v.push_back({(t.*hash)[i], i});
      std::sort(v.begin(), v.end());
      return v;
    };
    const auto sa = sorted((*m_.a), m_.aToB), sb = sorted((*m_.b), m_.bToA);
    std::vector<uint32_t> partner(m_.a->Size(), kNone);
    for (size_t i = 0, j = 0; i < sa.size() && j < sb.size();) {
      const uint64_t h = sa[i].first;
      if (h < sb[j].first) {
        ++i;
      } else if (sb[j].first < h) {
        ++j;
      } else {
        size_t ei = i, ej = j;
        while (ei < sa.size() && sa[ei].first == h) ++ei;
        while (ej < sb.size() && sb[ej].first == h) ++ej;
        if (ei - i == 1 && ej - j == 1) partner[sa[i].second] = sb[j].second;
        i = ei;
        j = ej;
      }
    }
    return partner;
  }

  // 1. Subtrees that occur once in each tree, the largest first.
  void MatchUniqueSubtrees() {
    const std::vector<uint32_t> partner = Unique(&FlatTree::shape);
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    for (uint32_t i = 0; i < ta.Size();) {
      const uint32_t j = partner[i];
      if (j != kNone && Free(i, j) && ta.end[i] - i == tb.end[j] - j) {
        for (uint32_t k = 0; k < ta.end[i] - i; ++k) Pair(i + k, j + k);
        i = ta.end[i];
      } else {
        ++i;
      }
    }
  }

  // 1b. Of the others, a text each tree has once is the same node, whatever
  // became of its children or its place.
  // Unless the node's children say otherwise: where they went to another
  // node that no text of its own matches, that node is this one renamed,
  // and the text was given anew to another (left to step 2).
  void MatchUniqueTexts() {
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    const std::vector<uint32_t> partner = Unique(&FlatTree::text);
    std::vector<bool> claimed(tb.Size(), false);
    for (uint32_t j : partner)
      if (j != kNone) claimed[j] = true;
    std::vector<uint32_t> parents;
    for (uint32_t i = 0; i < partner.size(); ++i) {
      if (partner[i] == kNone) continue;
      parents.clear();
      size_t children = 0;
      for (uint32_t c = ta.FirstChild(i); c != kNone; c = ta.NextSibling(c), ++children)
        if (m_.aToB[c] != kNone) parents.push_back(tb.parent[m_.aToB[c]]);
      size_t most = 0;
      const uint32_t k = Commonest(parents, most);
      // Most of its children, not one of several that moved away.
      if (k != kNone && k != partner[i] && !claimed[k] && m_.bToA[k] == kNone &&
          2 * most > children)
        continue;
      Pair(i, partner[i]);
    }
  }

  // The value most of them have (the smallest of equals), and how many
  // have it; kNone for none.
  static uint32_t Commonest(std::vector<uint32_t>& values, size_t& most) {
    std::sort(values.begin(), values.end());
    uint32_t best = kNone;
    most = 0;
    for (size_t k = 0; k < values.size();) {
      size_t e = k;
      while (e < values.size() && values[e] == values[k]) ++e;
      if (e - k > most) {
        most = e - k;
        best = values[k];
      }
      k = e;
    }
    return best;
  }

  // 2. Bottom up: a node takes the node whose children most of its matched
  // children's matches are.
  void MatchByChildren() {
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    std::vector<uint32_t> candidates;
    for (uint32_t i = static_cast<uint32_t>(ta.Size()); i-- > 0;) {
      if (m_.aToB[i] != kNone) continue;
      candidates.clear();
      size_t children = 0;
      for (uint32_t c = ta.FirstChild(i); c != kNone; c = ta.NextSibling(c)) {
        ++children;
        const uint32_t bc = m_.aToB[c];
        if (bc != kNone && tb.parent[bc] != kNone && m_.bToA[tb.parent[bc]] == kNone)
          candidates.push_back(tb.parent[bc]);
      }
      if (candidates.empty()) continue;
      std::sort(candidates.begin(), candidates.end());
      uint32_t best = kNone;
      size_t votes = 0;
      for (size_t k = 0; k < candidates.size();) {
        size_t e = k;
        while (e < candidates.size() && candidates[e] == candidates[k]) ++e;
        if (e - k > votes) {
          votes = e - k;
          best = candidates[k];
        }
        k = e;
      }
      size_t theirs = 0;
      for (uint32_t c = tb.FirstChild(best); c != kNone; c = tb.NextSibling(c)) ++theirs;
      // Dice's coefficient of the children: at least a half in common.
      if (4 * votes >= children + theirs) Pair(i, best);
    }
  }

  // 3. Top down among the children of matched nodes (the top level first).
  void MatchInPlace() {
    AlignChildren(kNone, kNone);
    for (uint32_t i = 0; i < m_.a->Size(); ++i)
      if (m_.aToB[i] != kNone) AlignChildren(i, m_.aToB[i]);
  }

  void AlignChildren(uint32_t i, uint32_t j) {
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    const std::vector<uint32_t> ca = ta.Children(i), cb = tb.Children(j);
    if (ca.empty() || cb.empty()) return;
    // The children matched to children stay where they are if they keep
    // their order: they bound the gaps where the others are looked for.
    std::vector<uint32_t> rowInB(ca.size(), kNone);
    for (size_t k = 0; k < ca.size(); ++k) {
      const uint32_t bc = m_.aToB[ca[k]];
      if (bc != kNone && tb.parent[bc] == j)
        rowInB[k] = static_cast<uint32_t>(b_.Of(tree_).GetRow(tb.nodes[bc]));
    }
    const std::vector<bool> anchor = IncreasingRun(rowInB);
    size_t nextB = 0;
    std::vector<uint32_t> ga, gb;
    for (size_t k = 0; k <= ca.size(); ++k) {
      if (k < ca.size() && !anchor[k]) {
        if (m_.aToB[ca[k]] == kNone) ga.push_back(ca[k]);
        continue;
      }
      const size_t stopB = k < ca.size() ? rowInB[k] : cb.size();
      gb.clear();
      for (; nextB < stopB; ++nextB)
        if (m_.bToA[cb[nextB]] == kNone) gb.push_back(cb[nextB]);
      nextB = stopB + 1;
      PairGap(ga, gb);
      ga.clear();
    }
  }

  // Pairs the unmatched children between two anchors: the longest run of
  // equal texts in the same order (its common ends first: among repeated
  // texts, the one edited is the one out of step), then what is left
  // between them, where they stand.
  void PairGap(const std::vector<uint32_t>& ga, const std::vector<uint32_t>& gb) {
    if (ga.empty() || gb.empty()) return;
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    std::vector<bool> inA, inB;
    CommonSubsequence(
        ga.size(), gb.size(), [&](size_t x, size_t y) { return ta.text[ga[x]] == tb.text[gb[y]]; },
        inA, inB);
    std::vector<uint32_t> ra, rb;
    for (size_t x = 0, y = 0;; ++x, ++y) {
      for (; x < ga.size() && !inA[x]; ++x) ra.push_back(ga[x]);
      for (; y < gb.size() && !inB[y]; ++y) rb.push_back(gb[y]);
      PairLeft(ra, rb);
      ra.clear();
      rb.clear();
      if (x == ga.size() || y == gb.size()) break;
      Pair(ga[x], gb[y]);
    }
  }

  // Of the children left between two pairs: as many on each side were
  // edited where they stand; otherwise each takes the first text like its
  // own that comes after the one the one before took.
  void PairLeft(const std::vector<uint32_t>& ra, const std::vector<uint32_t>& rb) {
    if (ra.empty() || rb.empty()) return;
    if (ra.size() == rb.size()) {
      for (size_t k = 0; k < ra.size(); ++k) Pair(ra[k], rb[k]);
      return;
    }
    if (ra.size() * rb.size() > 256) return;
    const FlatTree &ta = (*m_.a), &tb = (*m_.b);
    std::string bufferA, bufferB;
    size_t from = 0;
    for (uint32_t x : ra) {
      const std::string_view tx = formA_.Of(a_.Of(tree_).GetItemText(ta.nodes[x]), bufferA);
      for (size_t k = from; k < rb.size(); ++k)
        if (Similarity(tx, formB_.Of(b_.Of(tree_).GetItemText(tb.nodes[rb[k]]), bufferB)) >= 0.5) {
          Pair(x, rb[k]);
          from = k + 1;
          break;
        }
    }
  }

  const Database& a_;
  const Database& b_;
  Tree tree_;
  TreeMatching& m_;
  TextForm formA_, formB_;
};

}  // namespace

std::vector<uint32_t> FlatTree::Children(uint32_t i) const {
  std::vector<uint32_t> children;
  for (uint32_t c = i == kNone ? FirstTop() : FirstChild(i); c != kNone; c = NextSibling(c))
    children.push_back(c);
  return children;
}

TextForm::TextForm(const Database& db, bool utf8)
    : converts_(utf8 && db.encoding == Encoding::kWindows1252) {}

std::string_view TextForm::Of(std::string_view text, std::string& buffer) const {
  if (!converts_ || IsAscii(text)) return text;
  buffer.clear();
  AppendCp1252AsUtf8(buffer, text);
  return buffer;
}

void Flatten(const TreeStore& tree, const TextForm& form, FlatTree& out) {
  const size_t n = tree.GetCount();
  out.nodes.clear();
  out.nodes.reserve(n);
  out.parent.assign(n, kNone);
  out.end.assign(n, 0);
  out.text.resize(n);
  out.shape.resize(n);
  out.index.Reset(tree);
  std::vector<uint32_t> open;  // the node at each level of the walk
  std::string buffer;
  HTREEITEM node = tree.GetRootItem();
  for (int step = 0; node;) {
    const auto i = static_cast<uint32_t>(out.nodes.size());
    if (step <= 0) {
      // Back up: the nodes left are complete.
      for (int up = 0; up <= -step && !open.empty(); ++up) {
        out.end[open.back()] = i;
        open.pop_back();
      }
    }
    out.parent[i] = open.empty() ? kNone : open.back();
    out.nodes.push_back(node);
    out.index.Set(node, i);
    const std::string_view text = form.Of(tree.GetItemText(node), buffer);
    out.text[i] = XXH3_64bits(text.data(), text.size());
    open.push_back(i);
    step = NextNode(node, tree);
    if (step == kEndOfWalk) break;
  }
  for (uint32_t i : open) out.end[i] = static_cast<uint32_t>(out.nodes.size());
  // Each subtree's hash from its text and its children's, in order.
  for (size_t i = out.Size(); i-- > 0;) {
    uint64_t h = Mix(out.text[i] ^ 0x5851F42D4C957F2DULL);
    for (uint32_t c = out.FirstChild(static_cast<uint32_t>(i)); c != kNone; c = out.NextSibling(c))
      h = Mix(h * 31 + out.shape[c]);
    out.shape[i] = h;
  }
}

void MatchTrees(const Database& a, const Database& b, Tree tree, TreeMatching& out, bool utf8) {
  Matcher(a, b, tree, out, utf8).Run();
}

void MatchDatabases(const Database& a, const Database& b, Matching& out, bool utf8,
                    const Matching* sameA) {
  Matcher quotations(a, b, Tree::kQuotations, out.quotations, utf8);
  quotations.Run(sameA ? sameA->quotations.a : nullptr);
  Matcher(a, b, Tree::kCategories, out.categories, utf8).Run(sameA ? sameA->categories.a : nullptr);
  quotations.MatchByReferences(out.categories);
}

bool CompareInUtf8(std::initializer_list<const Database*> databases) {
  for (const Database* db : databases)
    if (db->encoding == Encoding::kUtf8) return true;
  return false;
}

}  // namespace lorelist
