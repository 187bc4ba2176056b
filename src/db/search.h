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
  std::string pattern_;  // upper-cased unless case is significant
  bool caseSignificant_;
  unsigned char fold_[256];
};

// Walks the tree in pre-order from `start` for a node whose text matches:
// `start` itself first when `testStart`, otherwise from the node after it.
// Stops at the end of the tree without wrapping round. nullptr: not found.
HTREEITEM SearchTree(const TreeStore& tree, HTREEITEM start, bool testStart,
                     const TextMatcher& matcher);

}  // namespace lorelist
