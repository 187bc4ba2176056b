#include "tree_store.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>

namespace lorelist {

namespace {
TreeNode firstMarker;
TreeNode lastMarker;
constexpr size_t kNodesPerBlock = kLargeBlockSize / sizeof(TreeNode);
}  // namespace

void ChildList::insert(size_t at, TreeNode* node) {
  const uint32_t size = static_cast<uint32_t>(this->size());
  if (!items_ || size == Head()->capacity) {
    const uint32_t capacity = items_ ? Head()->capacity * 2 : 2;
    void* block = std::realloc(items_ ? static_cast<void*>(Head()) : nullptr,
                               sizeof(Header) + capacity * sizeof(TreeNode*));
    if (!block) throw std::bad_alloc();
    static_cast<Header*>(block)->capacity = capacity;
    items_ = reinterpret_cast<TreeNode**>(static_cast<Header*>(block) + 1);
  }
  std::memmove(items_ + at + 1, items_ + at, (size - at) * sizeof(TreeNode*));
  items_[at] = node;
  Head()->size = size + 1;
}

void ChildList::erase(size_t at) {
  const uint32_t size = Head()->size;
  if (size == 1) {
    clear();  // a leaf again, and empty() stays one test
    return;
  }
  std::memmove(items_ + at, items_ + at + 1, (size - at - 1) * sizeof(TreeNode*));
  Head()->size = size - 1;
}

void ChildList::fit() {
  if (!items_ || Head()->capacity == Head()->size) return;
  const uint32_t size = Head()->size;
  if (void* block = std::realloc(Head(), sizeof(Header) + size * sizeof(TreeNode*))) {
    items_ = reinterpret_cast<TreeNode**>(static_cast<Header*>(block) + 1);
    Head()->capacity = size;
  }  // else the larger block is kept as it was
}

void ChildList::clear() {
  if (items_) std::free(Head());
  items_ = nullptr;
}

const HTREEITEM TVI_FIRST = &firstMarker;
const HTREEITEM TVI_LAST = &lastMarker;

TreeStore::TreeStore() = default;
TreeStore::~TreeStore() {
  DestroyNodes();
}

void TreeStore::DestroyNodes() {
  for (size_t b = 0; b < blocks_.size(); ++b) {
    auto* nodes = static_cast<TreeNode*>(blocks_[b].get());
    const size_t used = b + 1 == blocks_.size() ? usedInBlock_ : kNodesPerBlock;
    for (size_t i = 0; i < used; ++i) nodes[i].~TreeNode();
  }
  blocks_.clear();
  blockOrder_.clear();
  usedInBlock_ = 0;
}

TreeNode* TreeStore::NewNode() {
  ++count_;
  if (!freeNodes_.empty()) {
    TreeNode* node = freeNodes_.back();
    freeNodes_.pop_back();
    return node;
  }
  if (blocks_.empty() || usedInBlock_ == kNodesPerBlock) {
    blocks_.push_back(AllocateLargeBlock(kNodesPerBlock * sizeof(TreeNode)));
    const std::pair<uintptr_t, uint32_t> block{reinterpret_cast<uintptr_t>(blocks_.back().get()),
                                               static_cast<uint32_t>(blocks_.size() - 1)};
    blockOrder_.insert(std::upper_bound(blockOrder_.begin(), blockOrder_.end(), block), block);
    usedInBlock_ = 0;
  }
  return new (static_cast<TreeNode*>(blocks_.back().get()) + usedInBlock_++) TreeNode;
}

size_t TreeStore::Slot(HTREEITEM node) const {
  const auto at = reinterpret_cast<uintptr_t>(node);
  auto block = std::upper_bound(blockOrder_.begin(), blockOrder_.end(),
                                std::pair<uintptr_t, uint32_t>{at, UINT32_MAX});
  --block;  // the last block that starts at or before the node
  return block->second * kNodesPerBlock + (at - block->first) / sizeof(TreeNode);
}

size_t TreeStore::SlotCount() const {
  return blocks_.size() * kNodesPerBlock;
}

HTREEITEM TreeStore::InsertItem(std::string_view text, HTREEITEM parent, HTREEITEM after) {
  TreeNode* outer = Outer(parent);
  size_t row;
  if (after == TVI_LAST) {
    row = outer->children.size();
  } else if (after == TVI_FIRST) {
    row = 0;
  } else {
    if (!after || after->parent != outer) return nullptr;
    row = after->row + 1;
  }
  if (observer_) observer_->BeforeInsert(parent, static_cast<int>(row));
  TreeNode* node = NewNode();
  node->parent = outer;
  SetText(node, text);
  node->data = 0;
  node->row = static_cast<uint32_t>(row);
  outer->children.insert(row, node);
  for (size_t i = row + 1; i < outer->children.size(); ++i) outer->children[i]->row = uint32_t(i);
  if (observer_) observer_->AfterInsert(node);
  return node;
}

void TreeStore::FreeSubtree(TreeNode* node) {
  for (size_t i = 0; i < node->children.size(); ++i) FreeSubtree(node->children[i]);
  node->children.clear();
  node->parent = nullptr;
  SetText(node, {});
  node->data = 0;
  freeNodes_.push_back(node);
  --count_;
}

void TreeStore::DeleteItem(HTREEITEM node) {
  if (!node || node == &root_) return;
  TreeNode* outer = node->parent;
  HTREEITEM parent = outer == &root_ ? nullptr : outer;
  size_t row = node->row;
  if (observer_) observer_->BeforeDelete(node);
  outer->children.erase(row);
  for (size_t i = row; i < outer->children.size(); ++i) outer->children[i]->row = uint32_t(i);
  FreeSubtree(node);
  if (observer_) observer_->AfterDelete(parent, static_cast<int>(row));
}

void TreeStore::Unlink(TreeNode* node) {
  TreeNode* outer = node->parent;
  const size_t row = node->row;
  outer->children.erase(row);
  for (size_t i = row; i < outer->children.size(); ++i) outer->children[i]->row = uint32_t(i);
}

void TreeStore::Link(TreeNode* node, TreeNode* outer, size_t row) {
  node->parent = outer;
  outer->children.insert(row, node);
  for (size_t i = row; i < outer->children.size(); ++i) outer->children[i]->row = uint32_t(i);
}

size_t TreeStore::SubtreeSize(const TreeNode* node) {
  size_t size = 1;
  for (size_t i = 0; i < node->children.size(); ++i) size += SubtreeSize(node->children[i]);
  return size;
}

void TreeStore::Detach(HTREEITEM node) {
  if (!node || node == &root_ || IsDetached(node)) return;
  TreeNode* outer = node->parent;
  HTREEITEM parent = outer == &root_ ? nullptr : outer;
  const int row = static_cast<int>(node->row);
  if (observer_) observer_->BeforeDelete(node);
  Unlink(node);
  node->parent = nullptr;
  count_ -= SubtreeSize(node);
  if (observer_) observer_->AfterDelete(parent, row);
}

void TreeStore::Attach(HTREEITEM node, HTREEITEM parent, int row) {
  TreeNode* outer = Outer(parent);
  const size_t at = std::min(static_cast<size_t>(std::max(row, 0)), outer->children.size());
  if (observer_) observer_->BeforeInsert(parent, static_cast<int>(at));
  Link(node, outer, at);
  count_ += SubtreeSize(node);
  if (observer_) observer_->AfterInsert(node);
}

void TreeStore::FreeDetached(HTREEITEM node) {
  if (!node || !IsDetached(node)) return;
  count_ += SubtreeSize(node);  // FreeSubtree counts them out again
  FreeSubtree(node);
}

void TreeStore::Move(HTREEITEM node, HTREEITEM parent, int row) {
  TreeNode* outer = Outer(parent);
  if (observer_) observer_->BeforeMove(node, parent, row);
  Unlink(node);
  const size_t at = std::min(static_cast<size_t>(std::max(row, 0)), outer->children.size());
  Link(node, outer, at);
  if (observer_) observer_->AfterMove(node);
}

int TreeStore::SubtreeHeight(HTREEITEM node) const {
  // Iterative: a subtree may hold a great many nodes, though never deep.
  int height = 0;
  HTREEITEM n = node;
  int level = 0;
  for (;;) {
    if (!n->children.empty()) {
      n = n->children.front();
      height = std::max(height, ++level);
      continue;
    }
    while (n != node && n->row + 1 >= n->parent->children.size()) {
      n = n->parent;
      --level;
    }
    if (n == node) return height;
    n = n->parent->children[n->row + 1];
  }
}

bool TreeStore::IsWithin(HTREEITEM node, HTREEITEM ancestor) const {
  for (const TreeNode* n = node; n && n != &root_; n = n->parent)
    if (n == ancestor) return true;
  return false;
}

void TreeStore::DeleteAllItems() {
  if (observer_) observer_->BeforeReset();
  root_.children.clear();
  DestroyNodes();
  freeNodes_.clear();
  count_ = 0;
  texts_.Clear();
  if (observer_) observer_->AfterReset();
}

HTREEITEM TreeStore::GetRootItem() const {
  return root_.children.empty() ? nullptr : root_.children.front();
}

HTREEITEM TreeStore::GetChildItem(HTREEITEM node) const {
  const TreeNode* outer = Outer(node);
  return outer->children.empty() ? nullptr : outer->children.front();
}

HTREEITEM TreeStore::GetNextSiblingItem(HTREEITEM node) const {
  if (!node) return nullptr;
  const ChildList& siblings = node->parent->children;
  return node->row + 1 < siblings.size() ? siblings[node->row + 1] : nullptr;
}

HTREEITEM TreeStore::GetPrevSiblingItem(HTREEITEM node) const {
  if (!node || node->row == 0) return nullptr;
  return node->parent->children[node->row - 1];
}

HTREEITEM TreeStore::GetParentItem(HTREEITEM node) const {
  if (!node || node->parent == &root_) return nullptr;
  return node->parent;
}

void TreeStore::SetText(TreeNode* node, std::string_view text) {
  node->text = texts_.Store(text);
}

void TreeStore::SetItemText(HTREEITEM node, std::string_view text) {
  SetText(node, text);
  if (observer_) observer_->TextChanged(node);
}

void TreeStore::RecodeTexts(const std::function<bool(std::string_view, std::string&)>& recode,
                            std::vector<PackedText>& before) {
  std::string recoded;
  for (HTREEITEM node = GetRootItem(); node;) {
    before.push_back(node->text);
    if (recode(node->text, recoded)) SetText(node, recoded);
    if (NextNode(node, *this) == kEndOfWalk) break;
  }
  if (observer_) observer_->TextsRecoded();
}

void TreeStore::ExchangeTexts(std::vector<PackedText>& texts, size_t& at) {
  for (HTREEITEM node = GetRootItem(); node;) {
    std::swap(node->text, texts[at++]);
    if (NextNode(node, *this) == kEndOfWalk) break;
  }
  if (observer_) observer_->TextsRecoded();
}

int TreeStore::GetChildCount(HTREEITEM parent) const {
  return static_cast<int>(Outer(parent)->children.size());
}

HTREEITEM TreeStore::GetChildAt(HTREEITEM parent, int row) const {
  const ChildList& children = Outer(parent)->children;
  if (row < 0 || static_cast<size_t>(row) >= children.size()) return nullptr;
  return children[static_cast<size_t>(row)];
}

int TreeStore::GetLevel(HTREEITEM node) const {
  int level = -1;
  for (const TreeNode* n = node; n && n != &root_; n = n->parent) ++level;
  return level;
}

int NextNode(HTREEITEM& node, const TreeStore& tree) {
  if (HTREEITEM child = tree.GetChildItem(node)) {
    node = child;
    return 1;
  }
  if (HTREEITEM next = tree.GetNextSiblingItem(node)) {
    node = next;
    return 0;
  }
  int count = 0;
  for (;;) {
    HTREEITEM parent = tree.GetParentItem(node);
    if (!parent) return kEndOfWalk;
    node = parent;
    --count;
    if (HTREEITEM next = tree.GetNextSiblingItem(node)) {
      node = next;
      return count;
    }
  }
}

namespace {
void AppendNumber(std::string& out, uint32_t n) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}
}  // namespace

CodeWalker::CodeWalker() : numbers_{1}, starts_{0}, code_("1") {}

void CodeWalker::Step(int r) {
  if (r == kEndOfWalk) return;
  if (r == 1) {
    code_ += '.';
    ++level_;
    if (numbers_.size() <= static_cast<size_t>(level_)) {
      numbers_.resize(level_ + 1);
      starts_.resize(level_ + 1);
    }
    numbers_[level_] = 1;
    starts_[level_] = code_.size();
    code_ += '1';
    return;
  }
  level_ = std::max(0, level_ + r);
  code_.resize(starts_[level_]);
  AppendNumber(code_, ++numbers_[level_]);
}

namespace {

// A code from its numbers gathered climbing, the last one first.
void AppendClimbed(std::string& out, const std::vector<uint32_t>& path) {
  for (size_t i = path.size(); i-- > 0;) {
    AppendNumber(out, path[i]);
    if (i) out += '.';
  }
}

}  // namespace

void AppendNodeCode(std::string& out, HTREEITEM node) {
  thread_local std::vector<uint32_t> path;
  path.clear();
  for (const TreeNode* n = node; n && n->parent; n = n->parent) path.push_back(n->row + 1);
  AppendClimbed(out, path);
}

void NodeCodes(const HTREEITEM* nodes, size_t count, std::string& out, std::vector<size_t>& ends) {
  thread_local std::vector<const TreeNode*> at;
  thread_local std::vector<std::vector<uint32_t>> paths;  // as AppendClimbed takes them
  at.assign(nodes, nodes + count);
  if (paths.size() < count) paths.resize(count);
  for (size_t i = 0; i < count; ++i) paths[i].clear();
  for (bool climbing = true; climbing;) {
    climbing = false;
    for (size_t i = 0; i < count; ++i) {
      const TreeNode* n = at[i];
      if (!n || !n->parent) continue;
      paths[i].push_back(n->row + 1);
      at[i] = n->parent;
      __builtin_prefetch(n->parent);
      climbing = true;
    }
  }
  out.clear();
  ends.clear();
  for (size_t i = 0; i < count; ++i) {
    AppendClimbed(out, paths[i]);
    ends.push_back(out.size());
  }
}

std::string NodeCode(HTREEITEM node) {
  std::string code;
  AppendNodeCode(code, node);
  return code;
}

}  // namespace lorelist
