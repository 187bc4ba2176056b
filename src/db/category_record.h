#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tree_store.h"

namespace lorelist {

// What a category node owns: its subject index entries and its references.
// Reference i is referenceTexts[i] with referenceTargets[i]; the two lists
// always have the same length.
//
// Reference texts are kept by Database::StoreText, one pointer each, and
// subject entries are views of the subject index's own texts: a million short
// heap strings would cost more than the texts themselves.
class CategoryRecord {
 public:
  std::vector<std::string_view> subjectEntries;  // views of the subject index's texts
  std::vector<PackedText> referenceTexts;
  std::vector<HTREEITEM> referenceTargets;  // live nodes of the quotations tree
};

}  // namespace lorelist
