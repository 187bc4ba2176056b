#include "text_arena.h"

#include <cstring>

namespace lorelist {

PackedText::operator std::string_view() const {
  if (!at_) return {};
  size_t length = 0;
  const unsigned char* p = at_;
  for (int shift = 0;; shift += 7) {
    length |= size_t{*p & 0x7fu} << shift;
    if (!(*p++ & 0x80)) break;
  }
  return {reinterpret_cast<const char*>(p), length};
}

char* TextArena::Reserve(size_t size) {
  if (size > kBlockSize / 4) {
    // Large texts get a block of their own so the current block is not wasted.
    blocks_.push_back(AllocateLargeBlock(size));
    return static_cast<char*>(blocks_.back().get());
  }
  if (size > left_) {
    blocks_.push_back(AllocateLargeBlock(kBlockSize));
    free_ = static_cast<char*>(blocks_.back().get());
    left_ = kBlockSize;
  }
  char* at = free_;
  free_ += size;
  left_ -= size;
  return at;
}

PackedText TextArena::Store(std::string_view text) {
  if (text.empty()) return {};
  unsigned char length[10];
  size_t n = 0;
  for (size_t rest = text.size(); n == 0 || rest; rest >>= 7)
    length[n++] = static_cast<unsigned char>((rest & 0x7f) | (rest > 0x7f ? 0x80 : 0));
  auto* stored = reinterpret_cast<unsigned char*>(Reserve(n + text.size()));
  std::memcpy(stored, length, n);
  std::memcpy(stored + n, text.data(), text.size());
  return PackedText(stored);
}

void TextArena::Clear() {
  blocks_.clear();
  free_ = nullptr;
  left_ = 0;
}

}  // namespace lorelist
