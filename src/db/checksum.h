#pragma once

#include <cstddef>
#include <cstdint>

namespace lorelist {

// A 64-bit checksum of a byte stream, fed in pieces of any size: the same
// bytes give the same value however they are cut. Four independent lanes of
// multiply-rotate rounds keep it near memory speed, so it costs next to
// nothing while a file is read or written anyway. It tells whether a file's
// bytes changed; it is not meant to resist someone forging a match.
class Checksum {
 public:
  void Add(const void* data, size_t size);
  uint64_t Value() const;
  uint64_t Size() const { return total_; }

 private:
  void Stripe(const unsigned char* p);

  uint64_t lanes_[4] = {0x60EA27EEADC0B5D6ULL, 0xC2B2AE3D27D4EB4FULL, 0, 0x61C8864E7A143579ULL};
  unsigned char pending_[32];
  size_t pendingSize_ = 0;
  uint64_t total_ = 0;
};

}  // namespace lorelist
