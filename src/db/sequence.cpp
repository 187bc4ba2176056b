#include "sequence.h"

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

void NodeIndex::Reset(const TreeStore& store) {
  store_ = &store;
  positions_.assign(store.SlotCount(), kNone);
}

}  // namespace lorelist
