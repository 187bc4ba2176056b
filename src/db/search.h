#pragma once

#include <string>
#include <string_view>

#include "tree_store.h"

namespace lorelist {

// A substring test on node texts, exact or without regard to case (through
// the set's upper-case mapping).
class TextMatcher {
 public:
  TextMatcher(std::string_view pattern, bool caseSignificant);
  bool Matches(std::string_view text) const;

 private:
  bool RestMatches(const unsigned char* at) const;

  std::string pattern_;  // upper-cased unless case is significant
  bool caseSignificant_;
  unsigned char fold_[256];
  // The bytes that fold to the pattern's first byte: found with memchr.
  unsigned char firsts_[4];
  int firstCount_ = 0;
};

// Walks the tree in pre-order from `start` for a node whose text matches:
// `start` itself first when `testStart`, otherwise from the node after it.
// Stops at the end of the tree without wrapping round. nullptr: not found.
HTREEITEM SearchTree(const TreeStore& tree, HTREEITEM start, bool testStart,
                     const TextMatcher& matcher);

}  // namespace lorelist
