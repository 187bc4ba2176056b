#include "transform.h"

#include "code_check.h"

namespace lorelist {

namespace {

constexpr int kDeepest = kMaxLevels - 1;

EditText Held(std::string_view text) {
  // Texts the file held or can hold: empty ones too.
  EditText edit{std::string(text)};
  edit.restored = true;
  return edit;
}

class Transformer {
 public:
  Transformer(Database& db, const Target& target) : db_(db), t_(target) {}

  std::string Run() {
    if (t_.encoding == Encoding::kUtf8 && db_.encoding != Encoding::kUtf8)
      if (std::string refusal = db_.ConvertEncoding(Encoding::kUtf8); !refusal.empty())
        return refusal;
    for (const Tree tree : {Tree::kQuotations, Tree::kCategories}) {
      NodeIndex& kept = kept_[Index(tree)];
      const std::vector<Target::Node>& nodes = t_.Of(tree);
      kept.Reset(db_.Of(tree));
      for (uint32_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].existing) kept.Set(nodes[i].existing, i);
    }
    std::string refusal = RemoveEntriesAndReferences();
    for (const Tree tree : {Tree::kQuotations, Tree::kCategories})
      if (refusal.empty()) refusal = Place(tree);
    for (const Tree tree : {Tree::kCategories, Tree::kQuotations})
      if (refusal.empty()) refusal = DeleteOthers(tree);
    if (refusal.empty()) refusal = AddEntriesAndReferences();
    if (refusal.empty() && db_.encoding != t_.encoding) refusal = db_.ConvertEncoding(t_.encoding);
    return refusal;
  }

 private:
  static size_t Index(Tree tree) { return tree == Tree::kQuotations ? 0 : 1; }

  // The entries and references that are not in the target go first: a node
  // with either cannot be deleted, nor a quotation that is referenced.
  std::string RemoveEntriesAndReferences() {
    entryThere_.assign(t_.entries.size(), false);
    referenceThere_.assign(t_.references.size(), false);
    const NodeIndex& quotations = kept_[0];
    std::vector<HTREEITEM> categories;
    for (HTREEITEM c = db_.categories.GetRootItem(); c;) {
      categories.push_back(c);
      if (NextNode(c, db_.categories) == kEndOfWalk) break;
    }
    std::vector<bool> inA, inB;
    for (HTREEITEM c : categories) {
      const CategoryRecord& record = *db_.Record(c);
      const uint32_t i = kept_[1].Find(c);
      const size_t e0 = i == kNone ? 0 : t_.entryStart[i];
      const size_t e1 = i == kNone ? 0 : t_.entryStart[i + 1];
      CommonSubsequence(
          record.subjectEntries.size(), e1 - e0,
          [&](size_t x, size_t y) { return record.subjectEntries[x] == t_.entries[e0 + y]; }, inA,
          inB);
      for (size_t y = 0; y < inB.size(); ++y) entryThere_[e0 + y] = inB[y];
      for (size_t x = inA.size(); x-- > 0;)
        if (!inA[x]) {
          const std::string entry(record.subjectEntries[x]);
          if (std::string refusal = db_.DeleteSubject(c, entry, static_cast<int>(x));
              !refusal.empty())
            return refusal;
        }
      const size_t r0 = i == kNone ? 0 : t_.referenceStart[i];
      const size_t r1 = i == kNone ? 0 : t_.referenceStart[i + 1];
      CommonSubsequence(
          record.referenceTargets.size(), r1 - r0,
          [&](size_t x, size_t y) {
            const Target::Reference& wanted = t_.references[r0 + y];
            return quotations.Find(record.referenceTargets[x]) == wanted.quotation &&
                   std::string_view(record.referenceTexts[x]) == wanted.text;
          },
          inA, inB);
      for (size_t y = 0; y < inB.size(); ++y) referenceThere_[r0 + y] = inB[y];
      for (size_t x = inA.size(); x-- > 0;)
        if (!inA[x])
          if (std::string refusal = db_.DeleteReference(c, static_cast<int>(x)); !refusal.empty())
            return refusal;
    }
    return {};
  }

  // Every node of the target where the target has it, in pre-order: a
  // node's parent is in place before it. Of a parent's children, those that
  // already come in the target's order stay; the others move or are made.
  std::string Place(Tree tree) {
    TreeStore& store = db_.Of(tree);
    const std::vector<Target::Node>& nodes = t_.Of(tree);
    std::vector<HTREEITEM>& handle = handles_[Index(tree)];
    handle.assign(nodes.size(), nullptr);
    const std::vector<bool> stays = Staying(tree);
    std::vector<HTREEITEM> last(nodes.size() + 1, nullptr);  // last child placed; [0]: top
    for (uint32_t i = 0; i < nodes.size(); ++i) {
      const Target::Node& n = nodes[i];
      HTREEITEM parent = n.parent == kNone ? nullptr : handle[n.parent];
      HTREEITEM& previous = last[n.parent == kNone ? 0 : n.parent + 1];
      int row = previous ? store.GetRow(previous) + 1 : 0;
      if (!n.existing) {
        if (std::string refusal = db_.InsertNodeAt(tree, parent, row, Held(n.text), &handle[i]);
            !refusal.empty())
          return refusal;
        kept_[Index(tree)].Set(handle[i], i);
        previous = handle[i];
        continue;
      }
      HTREEITEM node = handle[i] = n.existing;
      if (store.GetItemText(node) != n.text)
        if (std::string refusal = db_.UpdateText(tree, node, Held(n.text)); !refusal.empty())
          return refusal;
      if (!stays[i]) {
        const int level = parent ? store.GetLevel(parent) + 1 : 0;
        if (level + store.SubtreeHeight(node) > kDeepest)
          if (std::string refusal = Unload(tree, node); !refusal.empty()) return refusal;
        if (store.GetParentItem(node) == parent && store.GetRow(node) < row) --row;
        if (store.GetParentItem(node) != parent || store.GetRow(node) != row)
          if (std::string refusal = db_.MoveNode(tree, node, parent, row); !refusal.empty())
            return refusal;
      }
      previous = node;
    }
    return {};
  }

  // Which existing nodes stay among their parent's children: those already
  // under their target parent, in the longest run that keeps the order.
  std::vector<bool> Staying(Tree tree) {
    const TreeStore& store = db_.Of(tree);
    const std::vector<Target::Node>& nodes = t_.Of(tree);
    std::vector<bool> stays(nodes.size(), false);
    std::vector<std::vector<uint32_t>> children(nodes.size() + 1);
    for (uint32_t i = 0; i < nodes.size(); ++i)
      children[nodes[i].parent == kNone ? 0 : nodes[i].parent + 1].push_back(i);
    std::vector<uint32_t> rows;
    for (size_t p = 0; p < children.size(); ++p) {
      if (children[p].empty()) continue;
      HTREEITEM parent = p == 0 ? nullptr : nodes[p - 1].existing;
      if (p != 0 && !parent) continue;  // a new parent: all its children come to it
      rows.clear();
      for (uint32_t c : children[p]) {
        HTREEITEM node = nodes[c].existing;
        rows.push_back(node && !store.IsDetached(node) && store.GetParentItem(node) == parent
                           ? static_cast<uint32_t>(store.GetRow(node))
                           : kNone);
      }
      const std::vector<bool> run = IncreasingRun(rows);
      for (size_t k = 0; k < run.size(); ++k) stays[children[p][k]] = run[k];
    }
    return stays;
  }

  // A node to be moved too deep with its subtree lets its children go to the
  // top level first: the walk puts them where they belong after it.
  std::string Unload(Tree tree, HTREEITEM node) {
    TreeStore& store = db_.Of(tree);
    while (HTREEITEM child = store.GetChildItem(node)) {
      const int top = store.GetChildCount(nullptr);
      if (std::string refusal = db_.MoveNode(tree, child, nullptr, top); !refusal.empty())
        return refusal;
    }
    return {};
  }

  // The nodes the target does not hold, deepest first.
  std::string DeleteOthers(Tree tree) {
    const TreeStore& store = db_.Of(tree);
    std::vector<HTREEITEM> gone;
    for (HTREEITEM n = store.GetRootItem(); n;) {
      if (kept_[Index(tree)].Find(n) == kNone) gone.push_back(n);
      if (NextNode(n, store) == kEndOfWalk) break;
    }
    for (size_t k = gone.size(); k-- > 0;)
      if (std::string refusal = db_.DeleteNode(tree, gone[k]); !refusal.empty()) return refusal;
    return {};
  }

  std::string AddEntriesAndReferences() {
    const std::vector<HTREEITEM>& categories = handles_[1];
    const std::vector<HTREEITEM>& quotations = handles_[0];
    for (uint32_t i = 0; i < categories.size(); ++i) {
      for (uint32_t k = t_.entryStart[i]; k < t_.entryStart[i + 1]; ++k)
        if (!entryThere_[k])
          if (std::string refusal = db_.AddSubject(categories[i], Held(t_.entries[k]),
                                                   static_cast<int>(k - t_.entryStart[i]));
              !refusal.empty())
            return refusal;
      for (uint32_t k = t_.referenceStart[i]; k < t_.referenceStart[i + 1]; ++k)
        if (!referenceThere_[k]) {
          const Target::Reference& r = t_.references[k];
          if (std::string refusal =
                  db_.AddReference(categories[i], quotations[r.quotation], Held(r.text),
                                   static_cast<int>(k - t_.referenceStart[i]));
              !refusal.empty())
            return refusal;
        }
    }
    return {};
  }

  Database& db_;
  const Target& t_;
  NodeIndex kept_[2];  // existing node -> its position in the target
  std::vector<HTREEITEM> handles_[2];
  std::vector<bool> entryThere_, referenceThere_;
};

}  // namespace

std::string Transform(Database& db, const Target& target, const char* name) {
  db.BeginGroup(name);
  std::string refusal = Transformer(db, target).Run();
  if (refusal.empty())
    db.EndGroup();
  else
    db.CancelGroup();
  return refusal;
}

}  // namespace lorelist
