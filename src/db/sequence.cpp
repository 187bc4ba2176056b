#include "sequence.h"

#include <bit>

namespace lorelist {

std::vector<bool> IncreasingRun(const std::vector<uint32_t>& values) {
  // Patience: tails[l] is the position whose value ends the best run of
  // length l + 1 so far; each position remembers the one before it.
  std::vector<size_t> tails, before(values.size(), SIZE_MAX);
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] == kNone) continue;
    size_t low = 0, high = tails.size();
    while (low < high) {
      const size_t middle = (low + high) / 2;
      if (values[tails[middle]] < values[i])
        low = middle + 1;
      else
        high = middle;
    }
    if (low > 0) before[i] = tails[low - 1];
    if (low == tails.size())
      tails.push_back(i);
    else
      tails[low] = i;
  }
  std::vector<bool> in(values.size(), false);
  for (size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = before[i])
    in[i] = true;
  return in;
}

void NodeIndex::Reserve(size_t count) {
  slots_.assign(std::bit_ceil(count * 2 + 16), Entry());
  shift_ = 64 - std::countr_zero(slots_.size());
  used_ = 0;
}

size_t NodeIndex::Slot(HTREEITEM node) const {
  // Fibonacci hashing: the high bits of the product spread addresses that
  // differ only in their middle bits.
  const uint64_t key = reinterpret_cast<uintptr_t>(node) * 0x9E3779B97F4A7C15ULL;
  return static_cast<size_t>(key >> shift_);
}

void NodeIndex::Set(HTREEITEM node, uint32_t position) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Entry> old = std::move(slots_);
    Reserve(old.size());
    for (const Entry& e : old)
      if (e.node) Set(e.node, e.position);
  }
  for (size_t s = Slot(node);; s = (s + 1) & (slots_.size() - 1)) {
    if (slots_[s].node == node) {
      slots_[s].position = position;
      return;
    }
    if (!slots_[s].node) {
      slots_[s] = {node, position};
      ++used_;
      return;
    }
  }
}

uint32_t NodeIndex::Find(HTREEITEM node) const {
  if (slots_.empty()) return kNone;
  for (size_t s = Slot(node);; s = (s + 1) & (slots_.size() - 1)) {
    if (slots_[s].node == node) return slots_[s].position;
    if (!slots_[s].node) return kNone;
  }
}

}  // namespace lorelist
