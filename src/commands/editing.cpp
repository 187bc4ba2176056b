#include "editing.h"

#include "commands/dialogs.h"
#include "panes/modal.h"
#include "panes/text.h"

namespace lorelist {

HTREEITEM EditingCommands::Insert(TreeStore& tree, HTREEITEM selected, const std::string& text,
                                  bool below, bool precede) {
  if (below) return tree.InsertItem(text, selected, TVI_LAST);
  HTREEITEM parent = tree.GetParentItem(selected);
  if (precede) {
    HTREEITEM previous = tree.GetPrevSiblingItem(selected);
    return tree.InsertItem(text, parent, previous ? previous : TVI_FIRST);
  }
  return tree.InsertItem(text, parent, selected);
}

void EditingCommands::NewQuotationNode() {
  HTREEITEM selected = panes_.selectedQuotation;
  if (!selected) return Warn(owner_, QStringLiteral("First select a quotation node"));
  CNewQuoteNode dialog(db_.quotations, selected, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  HTREEITEM node =
      Insert(db_.quotations, selected, dialog.Text(), dialog.Below(), dialog.Precede());
  panes_.selectedQuotation = node;
  panes_.Quotations().SelectItem(node);
  panes_.Quotations().SetDropHighlight(node);
  db_.MarkChanged();
}

void EditingCommands::NewCategoryNode() {
  HTREEITEM selected = panes_.selectedCategory;
  if (!selected) return Warn(owner_, QStringLiteral("First select a category"));
  CNewCat dialog(db_.categories, selected, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  HTREEITEM node =
      Insert(db_.categories, selected, dialog.Text(), dialog.Below(), dialog.Precede());
  panes_.selectedCategory = node;
  // The record first: selecting the node shows its references.
  db_.AttachRecord(node);
  panes_.Categories().SelectItem(node);
  panes_.Categories().SetDropHighlight(node);
  db_.MarkChanged();
}

void EditingCommands::Update(TreeStore& tree, HTREEITEM selected, WorkspaceSource required,
                             const char* refusal) {
  // The text goes to the selected node, whichever node it was loaded from.
  if (!selected || panes_.Workspace().Source() != required)
    return Warn(owner_, QString::fromLatin1(refusal));
  std::string text;
  if (!AcceptText(owner_, panes_.Workspace().GetText(), text)) return;
  tree.SetItemText(selected, text);
  db_.MarkChanged();
}

void EditingCommands::UpdateQuotationNode() {
  Update(db_.quotations, panes_.selectedQuotation, WorkspaceSource::kQuotationNode,
         "First select a quotation node");
}

void EditingCommands::UpdateCategoryNode() {
  Update(db_.categories, panes_.selectedCategory, WorkspaceSource::kCategory,
         "First select a category");
}

void EditingCommands::DeleteCategoryNode() {
  HTREEITEM selected = panes_.selectedCategory;
  if (!selected) return Warn(owner_, QStringLiteral("First select a category"));
  if (db_.categories.GetChildItem(selected))
    return Warn(owner_, QStringLiteral("This category has nodes below it. Delete those first."));
  const CategoryRecord* record = db_.Record(selected);
  if (record && !record->subjectEntries.empty())
    return Warn(owner_,
                QStringLiteral("This category has subject index items. Delete those first."));
  if (record && !record->referenceTexts.empty())
    return Warn(owner_, QStringLiteral("This category has references. Delete those first."));
  db_.ReleaseRecord(selected);
  // The tree picks the next current node and its selection change records it.
  db_.categories.DeleteItem(selected);
  if (panes_.selectedCategory == selected) panes_.CategorySelectionChanged();
  db_.MarkChanged();
}

void EditingCommands::DeleteQuotationNode() {
  HTREEITEM selected = panes_.selectedQuotation;
  if (!selected) return Warn(owner_, QStringLiteral("First select a quotation"));
  if (db_.quotations.GetChildItem(selected))
    return Warn(
        owner_,
        QStringLiteral("This node has other nodes at a lower level below it. Delete those first."));
  const auto count = static_cast<int>(db_.quotations.GetItemData(selected));
  if (count != 0)
    return Warn(owner_, QStringLiteral(
                            "This quotation is referenced %1 times. Remove the references first.")
                            .arg(count));
  db_.quotations.DeleteItem(selected);
  if (panes_.selectedQuotation == selected) panes_.QuotationSelectionChanged();
  db_.MarkChanged();
}

void EditingCommands::AddReference() {
  HTREEITEM category = panes_.selectedCategory;
  HTREEITEM quotation = panes_.selectedQuotation;
  if (!category)
    return Warn(owner_, QStringLiteral("First select a category in which to insert the reference"));
  if (!quotation)
    return Warn(owner_, QStringLiteral("Select a quotation from which to make the reference"));
  const QString workspace = panes_.Workspace().GetText();
  if (workspace.isEmpty())
    return Warn(owner_, QStringLiteral("The reference is null (no characters)"));
  if (panes_.Workspace().Source() != WorkspaceSource::kQuotationNode)
    return Warn(owner_, QStringLiteral("First select a quotation"));
  std::string text;
  if (!AcceptText(owner_, workspace, text)) return;

  CategoryRecord* record = db_.Record(category);
  CLocalRef& references = panes_.References();
  const int highlighted = references.GetCurSel();
  const int at = highlighted >= 0 ? highlighted + 1 : references.GetCount();
  record->referenceTexts.insert(record->referenceTexts.begin() + at, db_.StoreText(text));
  record->referenceTargets.insert(record->referenceTargets.begin() + at, quotation);
  references.InsertString(at, FromDbShown(text, kPaneLineLimit));
  references.SetItemData(at, quotation);
  db_.quotations.SetItemData(quotation, db_.quotations.GetItemData(quotation) + 1);
  ++db_.referenceTotal;
  db_.MarkChanged();
  panes_.findReference.Clear();
}

void EditingCommands::DeleteReference() {
  CLocalRef& references = panes_.References();
  const int line = references.GetCurSel();
  CategoryRecord* record = panes_.selectedCategory ? db_.Record(panes_.selectedCategory) : nullptr;
  if (line < 0 || !record || static_cast<size_t>(line) >= record->referenceTargets.size())
    return Warn(owner_, QStringLiteral("First select a reference"));

  HTREEITEM target = record->referenceTargets[static_cast<size_t>(line)];
  panes_.selectedQuotation = target;
  // The text as the record holds it: the pane may show a long one cut short.
  const QString text = FromDb(record->referenceTexts[static_cast<size_t>(line)]);
  record->referenceTexts.erase(record->referenceTexts.begin() + line);
  record->referenceTargets.erase(record->referenceTargets.begin() + line);
  references.DeleteString(line);
  db_.quotations.SetItemData(target, db_.quotations.GetItemData(target) - 1);
  --db_.referenceTotal;

  QuoteTree& tree = panes_.Quotations();
  tree.SelectItem(target);
  tree.SetDropHighlight(target);
  panes_.ShowQuotationNode(target);
  // Rebuilt from the record, with no line highlighted.
  panes_.FillReferences(*record);
  // Hands the text back: Add Reference elsewhere recreates the reference.
  panes_.Workspace().SetText(text);
  db_.MarkChanged();
  panes_.findReference.Clear();
}

void EditingCommands::AddSubject() {
  HTREEITEM category = panes_.selectedCategory;
  if (!category) return Warn(owner_, QStringLiteral("First select a category"));
  panes_.ShowCategoryReferences(category);
  CNewSubj dialog(db_.Record(category)->subjectEntries, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  const std::string text = dialog.Entry();
  if (text.empty()) return;  // an empty entry is dropped without a word
  db_.Record(category)->subjectEntries.push_back(text);
  const int index = db_.subjects.AddString(text);
  db_.subjects.SetItemData(index, category);
  ++db_.subjectTotal;
  db_.MarkChanged();
}

void EditingCommands::DeleteSubject() {
  HTREEITEM category = panes_.selectedCategory;
  if (!category) return Warn(owner_, QStringLiteral("First select a category"));
  CategoryRecord* record = db_.Record(category);
  CDelSubj dialog(record->subjectEntries, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  const std::string& entry = dialog.Chosen();
  auto& entries = record->subjectEntries;
  auto found = std::find(entries.begin(), entries.end(), entry);
  if (found == entries.end()) return;  // the dialog offers only this category's entries
  entries.erase(found);
  --db_.subjectTotal;
  db_.MarkChanged();
  const int line = db_.subjects.Find(entry, category);
  if (line >= 0) db_.subjects.DeleteString(line);
}

}  // namespace lorelist
