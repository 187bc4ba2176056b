#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "large_block.h"

namespace lorelist {

// Append-only storage for node texts. A database of a million nodes holds
// its texts in a few large blocks instead of a heap string per node; texts
// replaced by edits stay until the store goes, which costs little.
class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  // Copies the text into the arena and returns the stored copy.
  std::string_view Store(std::string_view text);
  void Clear();

 private:
  static constexpr size_t kBlockSize = kLargeBlockSize;
  std::vector<LargeBlock> blocks_;
  char* free_ = nullptr;
  size_t left_ = 0;
};

}  // namespace lorelist
