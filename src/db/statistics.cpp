#include "statistics.h"

namespace lorelist {

const char* const kStatisticsLabels[kStatisticsRows] = {
    "quotation nodes at top level ('authors'?)",
    "quotation nodes at bottom level ('quotations'?)",
    "bottom level quotation nodes without references",
    "references",
    "subject index entries",
    "category nodes",
    "category nodes at bottom level",
};

int Statistics::Row(int row) const {
  const int values[kStatisticsRows] = {topLevelQuotations,      bottomLevelQuotations,
                                       unreferencedBottomLevel, references,
                                       subjectEntries,          categories,
                                       bottomLevelCategories};
  return row >= 0 && row < kStatisticsRows ? values[row] : 0;
}

Statistics CountStatistics(const Database& db) {
  Statistics s;
  const TreeStore& q = db.quotations;
  if (HTREEITEM node = q.GetRootItem()) {
    do {
      if (!q.ItemHasChildren(node)) {
        ++s.bottomLevelQuotations;
        if (q.GetItemData(node) == 0) ++s.unreferencedBottomLevel;
      }
      if (!q.GetParentItem(node)) ++s.topLevelQuotations;
    } while (NextNode(node, q) != kEndOfWalk);
  }
  const TreeStore& c = db.categories;
  if (HTREEITEM node = c.GetRootItem()) {
    do {
      ++s.categories;
      if (!c.ItemHasChildren(node)) ++s.bottomLevelCategories;
    } while (NextNode(node, c) != kEndOfWalk);
  }
  s.references = db.referenceTotal;
  s.subjectEntries = db.subjectTotal;
  return s;
}

}  // namespace lorelist
