#include "checksum.h"

#include <cstring>

namespace lorelist {

Checksum::Checksum() {
  XXH3_64bits_reset(&state_);
}

void Checksum::Add(const void* data, size_t size) {
  if (size == 0) return;
  XXH3_64bits_update(&state_, data, size);
  total_ += size;
}

uint64_t Checksum::Value() const {
  return XXH3_64bits_digest(&state_);
}

uint64_t Checksum::Of(const void* data, size_t size) {
  return XXH3_64bits(data, size);
}

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

uint64_t Rotate(uint64_t x, int by) {
  return (x << by) | (x >> (64 - by));
}

uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;  // the byte order of this machine, as that version wrote it
}

uint64_t Round(uint64_t lane, uint64_t input) {
  return Rotate(lane + input * kPrime2, 31) * kPrime1;
}

uint64_t Merge(uint64_t acc, uint64_t lane) {
  return (acc ^ Round(0, lane)) * kPrime1 + kPrime4;
}

}  // namespace

void PreviousChecksum::Stripe(const unsigned char* p) {
  lanes_[0] = Round(lanes_[0], Load64(p));
  lanes_[1] = Round(lanes_[1], Load64(p + 8));
  lanes_[2] = Round(lanes_[2], Load64(p + 16));
  lanes_[3] = Round(lanes_[3], Load64(p + 24));
}

void PreviousChecksum::Add(const void* data, size_t size) {
  auto p = static_cast<const unsigned char*>(data);
  total_ += size;
  if (pendingSize_ > 0) {
    const size_t take = size < 32 - pendingSize_ ? size : 32 - pendingSize_;
    std::memcpy(pending_ + pendingSize_, p, take);
    pendingSize_ += take;
    p += take;
    size -= take;
    if (pendingSize_ < 32) return;
    Stripe(pending_);
    pendingSize_ = 0;
  }
  for (; size >= 32; p += 32, size -= 32) Stripe(p);
  std::memcpy(pending_, p, size);
  pendingSize_ = size;
}

uint64_t PreviousChecksum::Value() const {
  uint64_t h =
      Rotate(lanes_[0], 1) + Rotate(lanes_[1], 7) + Rotate(lanes_[2], 12) + Rotate(lanes_[3], 18);
  for (uint64_t lane : lanes_) h = Merge(h, lane);
  h += total_;
  const unsigned char* p = pending_;
  size_t left = pendingSize_;
  for (; left >= 8; p += 8, left -= 8) h = Rotate(h ^ Round(0, Load64(p)), 27) * kPrime1 + kPrime4;
  for (; left > 0; ++p, --left) h = Rotate(h ^ (*p * kPrime5), 11) * kPrime1;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  h *= kPrime3;
  h ^= h >> 32;
  return h;
}

}  // namespace lorelist
