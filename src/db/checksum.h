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

// The checksum the recovery journal was written with before Checksum became
// XXH3: four lanes of multiply-rotate rounds over stripes of 32 bytes. Kept
// only so that a journal left by that version can still be restored.
class PreviousChecksum {
 public:
  void Add(const void* data, size_t size);
  uint64_t Value() const;

 private:
  void Stripe(const unsigned char* p);

  uint64_t lanes_[4] = {0x60EA27EEADC0B5D6ULL, 0xC2B2AE3D27D4EB4FULL, 0, 0x61C8864E7A143579ULL};
  unsigned char pending_[32];
  size_t pendingSize_ = 0;
  uint64_t total_ = 0;
};

}  // namespace lorelist
