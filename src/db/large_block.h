#pragma once

#include <cstddef>
#include <memory>

namespace lorelist {

// Memory for the big, randomly reached parts of a database (node blocks, text
// blocks, lookup tables). Blocks of 2 MiB are aligned and offered to the
// kernel as huge pages: a million-node load touches them at random, and
// without huge pages most of its time goes on address translation.
struct LargeBlockFree {
  void operator()(void* p) const;
};
using LargeBlock = std::unique_ptr<void, LargeBlockFree>;

constexpr size_t kLargeBlockSize = size_t{2} << 20;

LargeBlock AllocateLargeBlock(size_t size);

}  // namespace lorelist
