#pragma once

// Making a database into another state through its own edits: what a merge
// and a difference taken over do, as one edit that one Undo takes back.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "sequence.h"

namespace lorelist {

// What a database is to become: each tree's nodes in pre-order, each a
// node the database has (kept, perhaps moved, perhaps with another text) or
// a new one; and each category's subject entries and references, in order.
// Texts are in the database's encoding and stay valid while it is used.
struct Target {
  struct Node {
    HTREEITEM existing = nullptr;  // nullptr: a new node
    uint32_t parent = kNone;       // its parent's position in the target
    std::string_view text;
  };
  struct Reference {
    uint32_t quotation;  // its target's position among the quotations
    std::string_view text;
  };
  std::vector<Node> quotations, categories;
  // Category i's entries are entries[entryStart[i], entryStart[i + 1]), and
  // its references likewise: both have one more item than categories.
  std::vector<uint32_t> entryStart{0}, referenceStart{0};
  std::vector<std::string_view> entries;
  std::vector<Reference> references;
  // The encoding the database ends in. Where it or the database is UTF-8,
  // the target's texts are UTF-8: the database is converted to Unicode
  // first, or back to Windows-1252 last (which its texts must then fit).
  Encoding encoding = Encoding::kWindows1252;

  std::vector<Node>& Of(Tree tree) { return tree == Tree::kQuotations ? quotations : categories; }
  const std::vector<Node>& Of(Tree tree) const {
    return tree == Tree::kQuotations ? quotations : categories;
  }
  // Appends a category's entries and references after those of the one
  // before: to be called once for each category, in order.
  void CloseCategory() {
    entryStart.push_back(static_cast<uint32_t>(entries.size()));
    referenceStart.push_back(static_cast<uint32_t>(references.size()));
  }
};

// Makes the database the target through its edits (insert, update, move,
// delete, add and delete reference and entry), all in one group edit named
// `name`, touching only what differs. On a refusal (a text the file cannot
// hold, say) everything is taken back and the refusal returned.
std::string Transform(Database& db, const Target& target, const char* name);

}  // namespace lorelist
