#include "database.h"

namespace lorelist {

Database::~Database() {
  Clear();
}

void Database::MarkChanged() {
  changed_ = true;
  if (titleHook_) titleHook_(Title());
}

void Database::ClearChanged() {
  changed_ = false;
  if (titleHook_) titleHook_(Title());
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
}

}  // namespace lorelist
