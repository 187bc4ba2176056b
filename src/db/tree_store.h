#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "large_block.h"
#include "text_arena.h"

namespace lorelist {

struct TreeNode;

// The children of a node: one pointer, nullptr for a leaf, since a million
// nodes each carry one. The array's size and capacity sit just before its
// first item, in the same allocation.
class ChildList {
 public:
  ChildList() = default;
  ChildList(const ChildList&) = delete;
  ChildList& operator=(const ChildList&) = delete;
  ~ChildList() { clear(); }

  size_t size() const { return items_ ? Head()->size : 0; }
  bool empty() const { return items_ == nullptr; }
  TreeNode* operator[](size_t i) const { return items_[i]; }
  TreeNode* front() const { return items_[0]; }
  TreeNode* const* data() const { return items_; }
  void insert(size_t at, TreeNode* node);
  void erase(size_t at);
  void clear();
  void fit();  // gives back room beyond its size

 private:
  struct Header {
    uint32_t size;
    uint32_t capacity;
  };
  static_assert(sizeof(Header) == sizeof(TreeNode*));
  Header* Head() const { return reinterpret_cast<Header*>(items_) - 1; }

  TreeNode** items_ = nullptr;
};

// One node of a tree store. Other code holds nodes only through HTREEITEM and
// the store's operations; the fields are the store's own.
// 32 bytes: a million of them are most of what a database holds besides its
// texts.
struct TreeNode {
  TreeNode* parent = nullptr;  // the store's hidden root for a top-level node
  ChildList children;
  PackedText text;
  uint32_t row = 0;  // index in parent->children, so a node's row is O(1)
  uint32_t data = 0;
};

// A node handle: valid and unchanged from the node's insertion to its
// deletion, whatever is inserted or deleted around it. nullptr is no node.
using HTREEITEM = TreeNode*;

// Insert positions besides "after this sibling".
extern const HTREEITEM TVI_FIRST;
extern const HTREEITEM TVI_LAST;

// Told of every change to a store, so that a view can follow it. The calls
// come in pairs around the change, as item models need them.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  // parent is nullptr for the top level.
  virtual void BeforeInsert(HTREEITEM parent, int row) = 0;
  virtual void AfterInsert(HTREEITEM node) = 0;
  virtual void BeforeDelete(HTREEITEM node) = 0;
  virtual void AfterDelete(HTREEITEM parent, int row) = 0;
  virtual void TextChanged(HTREEITEM node) = 0;
  // node is to become child `row` of parent (nullptr: top level), counted
  // as if it were already gone from where it is.
  virtual void BeforeMove(HTREEITEM node, HTREEITEM parent, int row) = 0;
  virtual void AfterMove(HTREEITEM node) = 0;
  virtual void BeforeReset() = 0;
  virtual void AfterReset() = 0;
  // Every text was given in another encoding: the characters are the same.
  virtual void TextsRecoded() {}
};

// An ordered tree of text nodes, each with an item data word, under the
// operation names of a tree control.
class TreeStore {
 public:
  TreeStore();
  ~TreeStore();
  TreeStore(const TreeStore&) = delete;
  TreeStore& operator=(const TreeStore&) = delete;

  // Inserts a node with item data 0 as the first or last child of parent
  // (nullptr: top level), or directly after the sibling `after`. Returns
  // nullptr when `after` is not a child of parent.
  HTREEITEM InsertItem(std::string_view text, HTREEITEM parent = nullptr,
                       HTREEITEM after = TVI_LAST);
  // Removes the node and, should it have any, its descendants.
  void DeleteItem(HTREEITEM node);
  void DeleteAllItems();

  // Takes a node and its subtree out of the tree without freeing them, so
  // that Attach can put the very same nodes back: what undo needs, for
  // handles held elsewhere to stay good. A detached node has no parent.
  void Detach(HTREEITEM node);
  // Puts a detached node back as child `row` of parent.
  void Attach(HTREEITEM node, HTREEITEM parent, int row);
  // Frees a detached node and its subtree.
  void FreeDetached(HTREEITEM node);
  bool IsDetached(HTREEITEM node) const { return node->parent == nullptr; }
  // Makes node child `row` of parent (counted without the node), with its
  // subtree. The caller keeps parent out of the node's own subtree.
  void Move(HTREEITEM node, HTREEITEM parent, int row);
  // Gives back the room a node's children array keeps for more: for a
  // loader that knows a node gets no more children.
  void FitChildren(HTREEITEM node) { Outer(node)->children.fit(); }
  // Levels below the node in its subtree: 0 for a leaf.
  int SubtreeHeight(HTREEITEM node) const;
  // True when node is `ancestor` or lies below it.
  bool IsWithin(HTREEITEM node, HTREEITEM ancestor) const;

  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM node) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM node) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM node) const;
  HTREEITEM GetParentItem(HTREEITEM node) const;
  std::string_view GetItemText(HTREEITEM node) const { return node->text; }
  void SetItemText(HTREEITEM node, std::string_view text);
  // Gives every node of the tree the text `recode` puts in its second
  // argument, where it returns true, and appends each node's text before to
  // `before`, in pre-order; the observer hears of it once.
  void RecodeTexts(const std::function<bool(std::string_view, std::string&)>& recode,
                   std::vector<PackedText>& before);
  // Exchanges each node's text, in pre-order, with texts[at], at++: what
  // RecodeTexts kept, on the same tree, puts the texts back.
  void ExchangeTexts(std::vector<PackedText>& texts, size_t& at);
  uint32_t GetItemData(HTREEITEM node) const { return node->data; }
  void SetItemData(HTREEITEM node, uint32_t data) { node->data = data; }

  bool ItemHasChildren(HTREEITEM node) const { return !node->children.empty(); }
  // Children of a node, or the top-level nodes for nullptr.
  int GetChildCount(HTREEITEM parent) const;
  HTREEITEM GetChildAt(HTREEITEM parent, int row) const;
  // Where child `row` of parent is kept, or nullptr for no such child: lets
  // a caller prefetch the slot before it reads the child from it.
  HTREEITEM const* ChildSlot(HTREEITEM parent, uint32_t row) const {
    const ChildList& children = Outer(parent)->children;
    return row < children.size() ? children.data() + row : nullptr;
  }
  int GetRow(HTREEITEM node) const { return static_cast<int>(node->row); }
  // Number of ancestors: 0 for a top-level node.
  int GetLevel(HTREEITEM node) const;
  size_t GetCount() const { return count_; }
  bool IsEmpty() const { return root_.children.empty(); }

  // A number of its own for each node the store made, below SlotCount(): a
  // table over the nodes can be an array, without hashing addresses.
  size_t Slot(HTREEITEM node) const;
  size_t SlotCount() const;

  void SetObserver(TreeObserver* observer) { observer_ = observer; }
  TreeObserver* Observer() const { return observer_; }

 private:
  TreeNode* NewNode();
  void FreeSubtree(TreeNode* node);
  void Unlink(TreeNode* node);
  void Link(TreeNode* node, TreeNode* outer, size_t row);
  static size_t SubtreeSize(const TreeNode* node);
  void DestroyNodes();
  void SetText(TreeNode* node, std::string_view text);
  TreeNode* Outer(HTREEITEM parent) const {
    return parent ? parent : const_cast<TreeNode*>(&root_);
  }

  TreeNode root_;
  TextArena texts_;
  // Nodes live in fixed blocks so their addresses never move.
  std::vector<LargeBlock> blocks_;
  // Each block's address, in order, with its place in blocks_.
  std::vector<std::pair<uintptr_t, uint32_t>> blockOrder_;
  size_t usedInBlock_ = 0;
  std::vector<TreeNode*> freeNodes_;
  size_t count_ = 0;
  TreeObserver* observer_ = nullptr;
};

// End of walk: NextNode found no next node.
constexpr int kEndOfWalk = 10;

// One step of a pre-order walk. Moves the handle to the next node and returns
// the level change (1 down to a first child, 0 to the next sibling, -k to the
// next sibling of the k-th ancestor); at the end returns kEndOfWalk and
// leaves the handle on the last top-level node the climb reached.
int NextNode(HTREEITEM& node, const TreeStore& tree);

// Works out node codes during a walk from the level changes NextNode gives.
class CodeWalker {
 public:
  CodeWalker();  // positioned on the first top-level node, code "1"
  void Step(int levelChange);
  std::string_view Code() const { return code_; }
  int Level() const { return level_; }

 private:
  std::vector<uint32_t> numbers_;
  std::vector<size_t> starts_;  // where each level's number begins in code_
  std::string code_;
  int level_ = 0;
};

// Visits every node of a tree in pre-order as visit(node, code, level): its
// code from its position now (as the file writes codes) and its level (0 at
// the top).
template <typename Visit>
void WalkWithCodes(const TreeStore& tree, Visit&& visit) {
  HTREEITEM node = tree.GetRootItem();
  if (!node) return;
  CodeWalker codes;
  for (;;) {
    visit(node, codes.Code(), codes.Level());
    const int step = NextNode(node, tree);
    if (step == kEndOfWalk) return;
    codes.Step(step);
  }
}

// The code of a node from its position now, e.g. "2.1.4".
std::string NodeCode(HTREEITEM node);
void AppendNodeCode(std::string& out, HTREEITEM node);

// The codes of many nodes, as AppendNodeCode gives them: code i is
// out[ends[i-1], ends[i]) with ends[-1] = 0. The nodes climb to the top
// together, a level at a time, so that one's cache misses wait alongside the
// others' instead of one after another.
void NodeCodes(const HTREEITEM* nodes, size_t count, std::string& out, std::vector<size_t>& ends);

}  // namespace lorelist
