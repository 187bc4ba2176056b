#pragma once

// Small tools for comparing versions of a database: the common subsequence
// of two lists, the longest increasing run of positions, and an index from
// nodes to positions that a million nodes fill in a fraction of a second.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tree_store.h"

namespace lorelist {

constexpr uint32_t kNone = UINT32_MAX;

// For two lists, which items of each belong to a longest common subsequence:
// inA[i] / inB[j] true. Equal items are found with equal(i, j). Common ends
// are taken first, and the middle by Myers' algorithm, so that lists that
// differ in a few places cost little whatever their length.
template <typename Equal>
void CommonSubsequence(size_t sizeA, size_t sizeB, Equal equal, std::vector<bool>& inA,
                       std::vector<bool>& inB);

// The positions of a longest strictly increasing subsequence of values
// (kNone values are skipped): what stays where it is among items whose new
// order is given by the values.
std::vector<bool> IncreasingRun(const std::vector<uint32_t>& values);

// Node to position, for the nodes of one tree store: an array over the
// store's slots.
class NodeIndex {
 public:
  // Every node of the store without a position.
  void Reset(const TreeStore& store);
  void Set(HTREEITEM node, uint32_t position) {
    const size_t slot = store_->Slot(node);
    if (slot >= positions_.size()) positions_.resize(store_->SlotCount(), kNone);  // a new block
    positions_[slot] = position;
  }
  // kNone when the node has no position.
  uint32_t Find(HTREEITEM node) const {
    const size_t slot = store_ ? store_->Slot(node) : SIZE_MAX;
    return slot < positions_.size() ? positions_[slot] : kNone;
  }

 private:
  const TreeStore* store_ = nullptr;
  std::vector<uint32_t> positions_;
};

// --- Template -----------------------------------------------------------------

template <typename Equal>
void CommonSubsequence(size_t sizeA, size_t sizeB, Equal equal, std::vector<bool>& inA,
                       std::vector<bool>& inB) {
  inA.assign(sizeA, false);
  inB.assign(sizeB, false);
  size_t head = 0;
  while (head < sizeA && head < sizeB && equal(head, head)) {
    inA[head] = inB[head] = true;
    ++head;
  }
  size_t tailA = sizeA, tailB = sizeB;
  while (tailA > head && tailB > head && equal(tailA - 1, tailB - 1)) {
    inA[--tailA] = true;
    inB[--tailB] = true;
  }
  const auto n = static_cast<ptrdiff_t>(tailA - head), m = static_cast<ptrdiff_t>(tailB - head);
  if (n == 0 || m == 0) return;
  // Myers: the furthest point on each diagonal k = x - y after d
  // differences, each round's diagonals kept to trace the path back. Lists
  // that differ in too many places keep only their common ends: a longer
  // common run is then not worth its time and memory.
  constexpr ptrdiff_t kMostDifferences = 3000;
  const ptrdiff_t max = std::min(n + m, kMostDifferences);
  std::vector<std::vector<ptrdiff_t>> rounds;  // round d: diagonals -d..d
  auto at = [&](size_t d, ptrdiff_t k) {
    return rounds[d][static_cast<size_t>(k + static_cast<ptrdiff_t>(d))];
  };
  auto eq = [&](ptrdiff_t x, ptrdiff_t y) {
    return equal(head + static_cast<size_t>(x), head + static_cast<size_t>(y));
  };
  ptrdiff_t found = -1;
  for (ptrdiff_t d = 0; d <= max && found < 0; ++d) {
    std::vector<ptrdiff_t> v(static_cast<size_t>(2 * d + 1));
    for (ptrdiff_t k = -d; k <= d; k += 2) {
      const auto last = static_cast<size_t>(d - 1);
      ptrdiff_t x = d == 0 ? 0
                    : (k == -d || (k != d && at(last, k - 1) < at(last, k + 1)))
                        ? at(last, k + 1)
                        : at(last, k - 1) + 1;
      ptrdiff_t y = x - k;
      while (x < n && y < m && eq(x, y)) ++x, ++y;
      v[static_cast<size_t>(k + d)] = x;
      if (x >= n && y >= m) found = d;
    }
    rounds.push_back(std::move(v));
  }
  if (found < 0) return;
  // Back from the end: each snake's diagonal run is common.
  ptrdiff_t x = n, y = m;
  for (ptrdiff_t d = found; d > 0; --d) {
    const auto last = static_cast<size_t>(d - 1);
    const ptrdiff_t k = x - y;
    const bool down = k == -d || (k != d && at(last, k - 1) < at(last, k + 1));
    const ptrdiff_t previousK = down ? k + 1 : k - 1;
    const ptrdiff_t previousX = at(last, previousK);
    const ptrdiff_t previousY = previousX - previousK;
    const ptrdiff_t startX = down ? previousX : previousX + 1;
    while (x > startX) {
      --x, --y;
      inA[head + static_cast<size_t>(x)] = inB[head + static_cast<size_t>(y)] = true;
    }
    x = previousX;
    y = previousY;
  }
  while (x > 0 && y > 0) {
    --x, --y;
    inA[head + static_cast<size_t>(x)] = inB[head + static_cast<size_t>(y)] = true;
  }
}

}  // namespace lorelist
