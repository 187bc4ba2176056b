#pragma once

#include <cstddef>
#include <cstdint>

#define XXH_STATIC_LINKING_ONLY  // the state on the stack, not allocated
#include <xxhash.h>

namespace lorelist {

// A 64-bit checksum of a byte stream, fed in pieces of any size: the same
// bytes give the same value however they are cut. It is xxHash's XXH3, fast
// enough to cost next to nothing while a file is read or written anyway. It
// tells whether a file's bytes changed; it is not meant to resist someone
// forging a match.
class Checksum {
 public:
  Checksum();
  void Add(const void* data, size_t size);
  uint64_t Value() const;
  uint64_t Size() const { return total_; }
  // The checksum of one piece of bytes, whole.
  static uint64_t Of(const void* data, size_t size);

 private:
  XXH3_state_t state_;
  uint64_t total_ = 0;
};

}  // namespace lorelist
