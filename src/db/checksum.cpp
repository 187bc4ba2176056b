#include "checksum.h"

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

}  // namespace lorelist
