#include "database.h"

#include "edit_history.h"

namespace lorelist {

Database::Database() : history_(std::make_unique<EditHistory>(*this)) {
  subjects.UseEncodingOf(&encoding);
}

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
  if (freeRecords_.empty()) {
    records_.emplace_back();
    categories.SetItemData(category, static_cast<uint32_t>(records_.size()));
  } else {
    categories.SetItemData(category, freeRecords_.back() + 1);
    freeRecords_.pop_back();
  }
  return Record(category);
}

void Database::ReleaseRecord(HTREEITEM category) {
  if (CategoryRecord* record = Record(category)) {
    *record = CategoryRecord();  // its lists freed, not only emptied
    freeRecords_.push_back(categories.GetItemData(category) - 1);
  }
  categories.SetItemData(category, 0);
}

void Database::Clear() {
  // First what the history keeps out of the trees, then the trees. The
  // records all go at once, without a walk over the categories.
  history_->Clear();
  touched_ = Touched();
  categories.DeleteAllItems();
  quotations.DeleteAllItems();
  subjects.ResetContent();
  records_.clear();
  freeRecords_.clear();
  texts_.Clear();
  referenceTotal = 0;
  subjectTotal = 0;
  partlyLoaded = false;
  disk = FileStamp();
  HistoryChanged();
}

}  // namespace lorelist
