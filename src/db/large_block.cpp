#include "large_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace lorelist {

void LargeBlockFree::operator()(void* p) const {
  std::free(p);
}

LargeBlock AllocateLargeBlock(size_t size) {
  if (size < kLargeBlockSize) {
    void* p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    return LargeBlock(p);
  }
  size = (size + kLargeBlockSize - 1) / kLargeBlockSize * kLargeBlockSize;
  void* p = std::aligned_alloc(kLargeBlockSize, size);
  if (!p) throw std::bad_alloc();
  madvise(p, size, MADV_HUGEPAGE);  // a hint only: ignored where unsupported
  return LargeBlock(p);
}

}  // namespace lorelist
