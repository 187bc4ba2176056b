#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "charset.h"
#include "tree_store.h"

namespace lorelist {

// A substring test on node texts, exact or without regard to case. The
// pattern is in the dictionary's own encoding, as the texts are.
//
// Windows-1252: bytes, compared through the set's upper-case mapping.
// UTF-8: characters. Canonically equivalent texts match each other (an
// accented letter or the letter with a combining accent), and without regard
// to case the Unicode case folding holds (Σ σ ς, ß and ss). Accents count: a
// match never ends inside a character, nor in front of a mark that belongs
// to it, so "e" finds neither form of "é".
//
// Matches may be called from several threads at once.
class TextMatcher {
 public:
  TextMatcher(std::string_view pattern, bool caseSignificant, Encoding encoding);
  bool Matches(std::string_view text) const;

 private:
  struct Unicode;

  template <class Accept>
  bool FindBytes(std::string_view text, Accept accept) const;
  bool RestMatches(const unsigned char* at) const;

  // Windows-1252: upper-cased unless case is significant. UTF-8: the compared
  // form (see Unicode), in which the byte search below runs only when it is
  // ASCII.
  std::string pattern_;
  bool caseSignificant_;
  unsigned char fold_[256];
  // The bytes that fold to the pattern's first byte: found with memchr.
  unsigned char firsts_[4];
  int firstCount_ = 0;
  std::shared_ptr<const Unicode> unicode_;  // UTF-8 only
};

// Walks the tree in pre-order from `start` for a node whose text matches:
// `start` itself first when `testStart`, otherwise from the node after it.
// Stops at the end of the tree without wrapping round. nullptr: not found.
HTREEITEM SearchTree(const TreeStore& tree, HTREEITEM start, bool testStart,
                     const TextMatcher& matcher);

}  // namespace lorelist
