#include "database.h"

#include "edit_history.h"

namespace lorelist {

Database::Database() : history_(std::make_unique<EditHistory>(*this)) {}

Database::~Database() {
  // Whoever listens may be gone already.
  titleHook_ = nullptr;
  historyHook_ = nullptr;
  Clear();
}

void Database::SetChanged(bool changed) {
  changed_ = changed;
  if (titleHook_) titleHook_(Title());
}

void Database::MarkChanged() {
  SetChanged(true);
}

void Database::ClearChanged() {
  history_->MarkSaved();
  SetChanged(false);
}

std::string Database::Title() const {
  std::string title = kBaseCaption;
  if (!changed_) title += " - Unchanged";
  return title;
}

CategoryRecord* Database::AttachRecord(HTREEITEM category) {
  auto* record = new CategoryRecord;
  categories.SetItemData(category, reinterpret_cast<uintptr_t>(record));
  return record;
}

void Database::ReleaseRecord(HTREEITEM category) {
  delete Record(category);
  categories.SetItemData(category, 0);
}

void Database::Clear() {
  // First what the history keeps out of the trees, then the trees.
  history_->Clear();
  touched_ = Touched();
  HTREEITEM node = categories.GetRootItem();
  if (node) {
    do ReleaseRecord(node);
    while (NextNode(node, categories) != kEndOfWalk);
  }
  categories.DeleteAllItems();
  quotations.DeleteAllItems();
  subjects.ResetContent();
  texts_.Clear();
  referenceTotal = 0;
  subjectTotal = 0;
  partlyLoaded = false;
  disk = FileStamp();
  HistoryChanged();
}

}  // namespace lorelist
