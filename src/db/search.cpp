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
  if (!pattern_.empty()) {
    for (int b = 0; b < 256; ++b) {
      if (fold_[b] != static_cast<unsigned char>(pattern_[0])) continue;
      if (firstCount_ == 4) {
        firstCount_ = 0;  // too many to look for one by one
        break;
      }
      firsts_[firstCount_++] = static_cast<unsigned char>(b);
    }
  }
}

bool TextMatcher::RestMatches(const unsigned char* at) const {
  const auto* p = reinterpret_cast<const unsigned char*>(pattern_.data());
  for (size_t j = 1; j < pattern_.size(); ++j)
    if (fold_[at[j]] != p[j]) return false;
  return true;
}

bool TextMatcher::Matches(std::string_view text) const {
  if (pattern_.empty()) return true;
  if (caseSignificant_) return text.find(pattern_) != std::string_view::npos;
  if (text.size() < pattern_.size()) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const size_t span = text.size() - pattern_.size() + 1;  // where a match may start
  if (firstCount_ > 0) {
    // Each byte that can start a match, found with memchr.
    for (int f = 0; f < firstCount_; ++f) {
      for (const unsigned char* at = t; at < t + span;) {
        at = static_cast<const unsigned char*>(
            std::memchr(at, firsts_[f], static_cast<size_t>(t + span - at)));
        if (!at) break;
        if (RestMatches(at)) return true;
        ++at;
      }
    }
    return false;
  }
  const auto first = static_cast<unsigned char>(pattern_[0]);
  for (size_t i = 0; i < span; ++i)
    if (fold_[t[i]] == first && RestMatches(t + i)) return true;
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
