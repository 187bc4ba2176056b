#include "editing.h"

#include "commands/dialogs.h"
#include "panes/modal.h"
#include "panes/text.h"

namespace lorelist {

namespace {

// A refusal of the database's edits shown to the user; true when there was one.
bool Refused(QWidget* owner, const std::string& refusal) {
  if (refusal.empty()) return false;
  Warn(owner, QString::fromStdString(refusal));
  return true;
}

}  // namespace

void EditingCommands::NewQuotationNode() {
  HTREEITEM selected = panes_.selectedQuotation;
  if (Refused(owner_, db_.SelectionRefusal(Tree::kQuotations, selected))) return;
  CNewQuoteNode dialog(db_, selected, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  HTREEITEM node = nullptr;
  if (Refused(owner_,
              db_.InsertNode(Tree::kQuotations, selected, dialog.Place(), dialog.Text(), &node)))
    return;
  panes_.selectedQuotation = node;
  panes_.Quotations().SelectItem(node);
  panes_.Quotations().SetDropHighlight(node);
}

void EditingCommands::NewCategoryNode() {
  HTREEITEM selected = panes_.selectedCategory;
  if (Refused(owner_, db_.SelectionRefusal(Tree::kCategories, selected))) return;
  CNewCat dialog(db_, selected, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  HTREEITEM node = nullptr;
  // The record comes with the node: selecting it shows its references.
  if (Refused(owner_,
              db_.InsertNode(Tree::kCategories, selected, dialog.Place(), dialog.Text(), &node)))
    return;
  panes_.selectedCategory = node;
  panes_.Categories().SelectItem(node);
  panes_.Categories().SetDropHighlight(node);
}

void EditingCommands::Update(Tree tree, HTREEITEM selected, WorkspaceSource required) {
  // The text goes to the selected node, whichever node it was loaded from;
  // a Workspace loaded from the other tree leaves nothing to update.
  HTREEITEM node = panes_.Workspace().Source() == required ? selected : nullptr;
  if (!node) return (void)Refused(owner_, db_.UpdateText(tree, node, {}));
  EditText text;
  if (!TakeText(
          owner_, db_, panes_.Workspace().GetText(),
          [this](const EditText& t) { return Database::TextRefusal(t, db_.encoding); }, text))
    return;
  Refused(owner_, db_.UpdateText(tree, node, text));
}

void EditingCommands::UpdateQuotationNode() {
  Update(Tree::kQuotations, panes_.selectedQuotation, WorkspaceSource::kQuotationNode);
}

void EditingCommands::UpdateCategoryNode() {
  Update(Tree::kCategories, panes_.selectedCategory, WorkspaceSource::kCategory);
}

void EditingCommands::DeleteCategoryNode() {
  HTREEITEM selected = panes_.selectedCategory;
  // The tree picks the next current node and its selection change records it.
  if (Refused(owner_, db_.DeleteNode(Tree::kCategories, selected))) return;
  if (panes_.selectedCategory == selected) panes_.CategorySelectionChanged();
}

void EditingCommands::DeleteQuotationNode() {
  HTREEITEM selected = panes_.selectedQuotation;
  if (Refused(owner_, db_.DeleteNode(Tree::kQuotations, selected))) return;
  if (panes_.selectedQuotation == selected) panes_.QuotationSelectionChanged();
}

void EditingCommands::AddReference() {
  HTREEITEM category = panes_.selectedCategory;
  HTREEITEM quotation = panes_.selectedQuotation;
  CLocalRef& references = panes_.References();
  const int highlighted = references.GetCurSel();
  const int at = highlighted >= 0 ? highlighted + 1 : references.GetCount();
  const bool fromQuotation = panes_.Workspace().Source() == WorkspaceSource::kQuotationNode;
  EditText text;
  if (!TakeText(
          owner_, db_, panes_.Workspace().GetText(),
          [&](const EditText& t) {
            return db_.CheckAddReference(category, quotation, t, fromQuotation);
          },
          text) ||
      Refused(owner_, db_.AddReference(category, quotation, text, at, fromQuotation)))
    return;
  references.InsertString(at, FromDbShown(text.bytes, db_.encoding, kPaneLineLimit));
  references.SetItemData(at, quotation);
  panes_.findReference.Clear();
}

void EditingCommands::DeleteReference() {
  CLocalRef& references = panes_.References();
  const int line = references.GetCurSel();
  HTREEITEM category = panes_.selectedCategory;
  const CategoryRecord* record = category ? db_.Record(category) : nullptr;
  HTREEITEM target = nullptr;
  QString text;
  if (record && line >= 0 && static_cast<size_t>(line) < record->referenceTargets.size()) {
    target = record->referenceTargets[static_cast<size_t>(line)];
    // The text as the record holds it: the pane may show a long one cut short.
    text = FromDb(record->referenceTexts[static_cast<size_t>(line)], db_.encoding);
  }
  if (Refused(owner_, db_.DeleteReference(category, line))) return;

  panes_.selectedQuotation = target;
  QuoteTree& tree = panes_.Quotations();
  tree.SelectItem(target);
  tree.SetDropHighlight(target);
  panes_.ShowQuotationNode(target);
  // Rebuilt from the record, with no line highlighted.
  panes_.FillReferences(*record);
  // Hands the text back: Add Reference elsewhere recreates the reference.
  panes_.Workspace().SetText(text);
  panes_.findReference.Clear();
}

void EditingCommands::AddSubject() {
  HTREEITEM category = panes_.selectedCategory;
  if (!category) return (void)Refused(owner_, db_.AddSubject(nullptr, {}));
  panes_.ShowCategoryReferences(category);
  CNewSubj dialog(db_, db_.Record(category)->subjectEntries, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  if (dialog.Entry().empty()) return;  // an empty entry is dropped without a word
  Refused(owner_, db_.AddSubject(category, dialog.Entry()));
}

void EditingCommands::DeleteSubject() {
  HTREEITEM category = panes_.selectedCategory;
  if (!category) return (void)Refused(owner_, db_.DeleteSubject(nullptr, {}));
  CDelSubj dialog(db_.Record(category)->subjectEntries, db_.encoding, owner_);
  if (Modal::Current().Run(dialog) != QDialog::Accepted) return;
  Refused(owner_, db_.DeleteSubject(category, dialog.Chosen()));
}

void EditingCommands::Move(Tree tree, Direction direction) {
  HTREEITEM node = tree == Tree::kQuotations ? panes_.selectedQuotation : panes_.selectedCategory;
  bool moved = false;
  if (Refused(owner_, db_.MoveNode(tree, node, direction, &moved)) || !moved) return;
  ShowMoved(tree, node);
}

void EditingCommands::MoveTo(Tree tree, HTREEITEM node, HTREEITEM parent, int row) {
  const size_t before = db_.UndoCount();
  if (Refused(owner_, db_.MoveNode(tree, node, parent, row)) || db_.UndoCount() == before) return;
  ShowMoved(tree, node);
}

void EditingCommands::ShowMoved(Tree tree, HTREEITEM node) {
  TreeView& view = tree == Tree::kQuotations ? static_cast<TreeView&>(panes_.Quotations())
                                             : static_cast<TreeView&>(panes_.Categories());
  (tree == Tree::kQuotations ? panes_.selectedQuotation : panes_.selectedCategory) = node;
  view.SelectItem(node);
  view.SetDropHighlight(node);
  // Codes changed: the next reference found starts afresh.
  panes_.findReference.Clear();
}

void EditingCommands::ConvertToUnicode() {
  // Already so: the database says it.
  if (db_.encoding != Encoding::kWindows1252)
    return (void)Refused(owner_, db_.ConvertEncoding(Encoding::kUtf8));
  if (Modal::Current().Ask(owner_, QString::fromLatin1(kConvertQuestion), false) ==
      Modal::Answer::kYes)
    lorelist::ConvertToUnicode(owner_, db_);
}

void EditingCommands::Undo() {
  if (db_.Undo()) ShowTouched();
}

void EditingCommands::Redo() {
  if (db_.Redo()) ShowTouched();
}

void EditingCommands::ShowTouched() {
  const Touched& touched = db_.LastTouched();
  // No selection may hold a node that undo or redo took out of its tree.
  if (panes_.selectedQuotation && db_.quotations.IsDetached(panes_.selectedQuotation))
    panes_.selectedQuotation = panes_.Quotations().GetCurrentItem();
  if (panes_.selectedCategory && db_.categories.IsDetached(panes_.selectedCategory))
    panes_.selectedCategory = panes_.Categories().GetCurrentItem();
  if (touched.category) {
    panes_.selectedCategory = touched.category;
    panes_.Categories().SelectItem(touched.category);
    panes_.Categories().SetDropHighlight(touched.category);
  }
  if (touched.node) {
    TreeView& view = touched.tree == Tree::kQuotations
                         ? static_cast<TreeView&>(panes_.Quotations())
                         : static_cast<TreeView&>(panes_.Categories());
    (touched.tree == Tree::kQuotations ? panes_.selectedQuotation : panes_.selectedCategory) =
        touched.node;
    view.SelectItem(touched.node);
    view.SetDropHighlight(touched.node);
  }
  // The References pane mirrors the selected category's record as it is now.
  if (panes_.selectedCategory) {
    if (const CategoryRecord* record = db_.Record(panes_.selectedCategory))
      panes_.FillReferences(*record);
  } else {
    panes_.References().ResetContent();
  }
  panes_.findReference.Clear();
}

}  // namespace lorelist
