#include "queries.h"

#include "db/search.h"
#include "db/statistics.h"
#include "panes/modal.h"
#include "panes/text.h"
#include "tools/unicode_special.h"

namespace lorelist {

void QueryCommands::ShowFound(HTREEITEM node) {
  QuoteTree& tree = panes_.Quotations();
  panes_.selectedQuotation = node;
  tree.SelectItem(node);
  panes_.ShowQuotationNode(node);
  tree.SetDropHighlight(node);
}

void QueryCommands::Search() {
  HTREEITEM start = panes_.selectedQuotation;
  if (!start) start = db_.quotations.GetRootItem();
  CSearch dialog(search_, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  const bool testStart = search_.newText;
  search_.newText = false;
  // The text in the dictionary's encoding. A text with characters outside
  // the Windows-1252 set occurs in no node of such a dictionary.
  std::string pattern;
  HTREEITEM found = nullptr;
  if (ToDb(search_.text, db_.encoding, pattern))
    found = SearchTree(db_.quotations, start, testStart,
                       TextMatcher(pattern, search_.caseSignificant, db_.encoding));
  if (found)
    ShowFound(found);
  else
    Tell(owner_, QStringLiteral("String not found"));
}

void QueryCommands::FindReference() {
  HTREEITEM quotation = panes_.selectedQuotation;
  if (!quotation) return Warn(owner_, QStringLiteral("First select a quotation"));
  FindReferencePosition& position = panes_.findReference;
  const TreeStore& categories = db_.categories;
  if (position.IsClear()) {
    // A fresh pass starts with the first top-level category itself.
    position.category = categories.GetRootItem();
    position.index = -1;
  }
  while (position.category) {
    const CategoryRecord* record = db_.Record(position.category);
    const int n = record ? static_cast<int>(record->referenceTargets.size()) : 0;
    for (++position.index; position.index < n; ++position.index) {
      if (record->referenceTargets[static_cast<size_t>(position.index)] != quotation) continue;
      const FindReferencePosition hit = position;
      panes_.Categories().SelectItem(hit.category);
      panes_.findReference = hit;  // selecting a category leaves the position alone
      panes_.References().SetCurSel(hit.index);
      return;
    }
    HTREEITEM next = position.category;
    if (NextNode(next, categories) == kEndOfWalk) break;
    position.category = next;
    position.index = -1;
  }
  position.Clear();
  Tell(owner_, QStringLiteral("No more references"));
}

void QueryCommands::FindUnreferenced() {
  const TreeStore& tree = db_.quotations;
  HTREEITEM node = tree.GetRootItem();
  while (node) {
    if (!tree.ItemHasChildren(node) && tree.GetItemData(node) == 0) {
      panes_.selectedQuotation = node;
      panes_.ShowQuotationNode(node);
      panes_.Quotations().SetDropHighlight(node);
      panes_.Quotations().SelectItem(node);
      return;
    }
    if (NextNode(node, tree) == kEndOfWalk) break;
  }
  Tell(owner_, QStringLiteral("No lowest level quotation found without references."));
}

void QueryCommands::CountReferences() {
  HTREEITEM quotation = panes_.selectedQuotation;
  if (!quotation) return Warn(owner_, QStringLiteral("First select a quotation"));
  const auto count = static_cast<int>(db_.quotations.GetItemData(quotation));
  Tell(owner_, QStringLiteral("Quotations node highlighted has %1 references").arg(count));
}

void QueryCommands::ShowStatistics() {
  CStats dialog(CountStatistics(db_), owner_);
  Modal::Current().Run(dialog);
}

void QueryCommands::SpecialCharacter() {
  if (db_.encoding == Encoding::kUtf8) {
    UnicodeSpecial dialog(panes_.Workspace(), owner_);
    Modal::Current().Run(dialog);
  } else {
    CSpecial dialog(panes_.Workspace(), owner_);
    Modal::Current().Run(dialog);
  }
}

}  // namespace lorelist
