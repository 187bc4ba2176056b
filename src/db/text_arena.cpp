#include "text_arena.h"

#include <cstring>

namespace lorelist {

std::string_view TextArena::Store(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > kBlockSize / 4) {
    // Large texts get a block of their own so the current block is not wasted.
    blocks_.push_back(AllocateLargeBlock(text.size()));
    char* stored = static_cast<char*>(blocks_.back().get());
    std::memcpy(stored, text.data(), text.size());
    return {stored, text.size()};
  }
  if (text.size() > left_) {
    blocks_.push_back(AllocateLargeBlock(kBlockSize));
    free_ = static_cast<char*>(blocks_.back().get());
    left_ = kBlockSize;
  }
  std::memcpy(free_, text.data(), text.size());
  std::string_view stored(free_, text.size());
  free_ += text.size();
  left_ -= text.size();
  return stored;
}

void TextArena::Clear() {
  blocks_.clear();
  free_ = nullptr;
  left_ = 0;
}

}  // namespace lorelist
