#include "search.h"

#include <cstring>

#include "charset.h"

namespace lorelist {

TextMatcher::TextMatcher(std::string_view pattern, bool caseSignificant)
    : pattern_(pattern), caseSignificant_(caseSignificant) {
  for (int b = 0; b < 256; ++b)
    fold_[b] = caseSignificant ? static_cast<unsigned char>(b)
                               : UpperCp1252(static_cast<unsigned char>(b));
  for (char& c : pattern_) c = static_cast<char>(fold_[static_cast<unsigned char>(c)]);
}

bool TextMatcher::Matches(std::string_view text) const {
  if (pattern_.empty()) return true;
  if (caseSignificant_) return text.find(pattern_) != std::string_view::npos;
  if (text.size() < pattern_.size()) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(pattern_.data());
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const size_t last = text.size() - pattern_.size();
  const unsigned char first = p[0];
  for (size_t i = 0; i <= last; ++i) {
    if (fold_[t[i]] != first) continue;
    size_t j = 1;
    while (j < pattern_.size() && fold_[t[i + j]] == p[j]) ++j;
    if (j == pattern_.size()) return true;
  }
  return false;
}

HTREEITEM SearchTree(const TreeStore& tree, HTREEITEM start, bool testStart,
                     const TextMatcher& matcher) {
  HTREEITEM node = start;
  if (!node) return nullptr;
  bool advance = !testStart;
  for (;;) {
    // The end of the walk ends the search: the node the climb stops on came
    // before the start and is not tested again.
    if (advance && NextNode(node, tree) == kEndOfWalk) return nullptr;
    advance = true;
    if (matcher.Matches(tree.GetItemText(node))) return node;
  }
}

}  // namespace lorelist
