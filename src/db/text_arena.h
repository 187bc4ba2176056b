#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "large_block.h"

namespace lorelist {

// A text kept by a TextArena with its length in front of it: one pointer wide
// where a string_view is two, for the million reference texts. nullptr is
// the empty text.
class PackedText {
 public:
  PackedText() = default;
  operator std::string_view() const;         // NOLINT: read wherever a view is
  const void* Where() const { return at_; }  // for a prefetch

 private:
  friend class TextArena;
  explicit PackedText(const unsigned char* at) : at_(at) {}
  const unsigned char* at_ = nullptr;  // the length, 7 bits a byte, low first
};

// Append-only storage for node texts. A database of a million nodes holds
// its texts in a few large blocks instead of a heap string per node; texts
// replaced by edits stay until the store goes, which costs little.
class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  // Copies the text into the arena and returns the stored copy.
  PackedText Store(std::string_view text);
  void Clear();

 private:
  char* Reserve(size_t size);

  static constexpr size_t kBlockSize = kLargeBlockSize;
  std::vector<LargeBlock> blocks_;
  char* free_ = nullptr;
  size_t left_ = 0;
};

}  // namespace lorelist
