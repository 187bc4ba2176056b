#include "dictionary.h"

#include <algorithm>

namespace lorelist {

Dictionary::Dictionary(const Database& db) : db(db) {
  WalkWithCodes(db.categories, [&](HTREEITEM node, std::string_view code, int level) {
    const auto index = static_cast<uint32_t>(categories.size());
    categories.push_back({node, std::string(code), level});
    ordinal_.emplace(node, index);
    if (const CategoryRecord* record = db.Record(node))
      for (HTREEITEM target : record->referenceTargets) citations_.push_back({target, index});
  });
  std::sort(citations_.begin(), citations_.end(), [](const Citation& a, const Citation& b) {
    return a.target != b.target ? a.target < b.target : a.category < b.category;
  });
  citations_.erase(std::unique(citations_.begin(), citations_.end(),
                               [](const Citation& a, const Citation& b) {
                                 return a.target == b.target && a.category == b.category;
                               }),
                   citations_.end());
  IndexCitations();
}

void Dictionary::PrefetchAhead(size_t i) const {
  // A step further each time: the node, then its text and parent, then the
  // parent's text.
  auto targets = [&](size_t k) -> const std::vector<HTREEITEM>* {
    if (k >= categories.size()) return nullptr;
    const CategoryRecord* record = db.Record(categories[k].node);
    return record ? &record->referenceTargets : nullptr;
  };
  if (auto* far = targets(i + 3))
    for (HTREEITEM t : *far) __builtin_prefetch(t);
  if (auto* near = targets(i + 2))
    for (HTREEITEM t : *near) {
      __builtin_prefetch(t->text.Where());
      __builtin_prefetch(t->parent);
    }
  if (auto* next = targets(i + 1))
    for (HTREEITEM t : *next) __builtin_prefetch(t->parent->text.Where());
}

Dictionary::Citations Dictionary::CitedBy(HTREEITEM node) const {
  if (slots_.empty()) return {nullptr, nullptr};
  for (size_t i = Slot(node);; i = (i + 1) & (slots_.size() - 1)) {
    const Range& range = slots_[i];
    if (range.target == node)
      return {citations_.data() + range.first, citations_.data() + range.last};
    if (!range.target) return {nullptr, nullptr};
  }
}

int Dictionary::Derivation(HTREEITEM node, HTREEITEM (&chain)[kMaxDepth]) const {
  int n = 0;
  for (HTREEITEM p = db.quotations.GetParentItem(node); p && n < kMaxDepth;
       p = db.quotations.GetParentItem(p))
    chain[n++] = p;
  std::reverse(chain, chain + n);
  return n;
}

const Dictionary::Category* Dictionary::Owner(HTREEITEM category) const {
  auto found = ordinal_.find(category);
  return found == ordinal_.end() ? nullptr : &categories[found->second];
}

size_t Dictionary::Slot(HTREEITEM node) const {
  return (reinterpret_cast<uintptr_t>(node) * 0x9E3779B97F4A7C15ULL >> 17) & (slots_.size() - 1);
}

void Dictionary::IndexCitations() {
  size_t size = 16;
  while (size < citations_.size() * 2) size *= 2;
  slots_.assign(size, Range{});
  for (size_t i = 0; i < citations_.size();) {
    size_t j = i;
    while (j < citations_.size() && citations_[j].target == citations_[i].target) ++j;
    size_t slot = Slot(citations_[i].target);
    while (slots_[slot].target) slot = (slot + 1) & (size - 1);
    slots_[slot] = Range{citations_[i].target, static_cast<uint32_t>(i), static_cast<uint32_t>(j)};
    i = j;
  }
}

}  // namespace lorelist
