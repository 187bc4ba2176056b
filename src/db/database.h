#pragma once

#include <functional>
#include <string>

#include "category_record.h"
#include "file_stamp.h"
#include "subject_index.h"
#include "tree_store.h"

namespace lorelist {

// The whole database: both trees, the subject index list, the changed flag
// with the title that tells it, and the two running totals.
//
// Item data: a quotation node holds its reference count; a category node
// holds the address of the CategoryRecord it owns.
class Database {
 public:
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  TreeStore quotations;
  TreeStore categories;
  SubjectIndexList subjects;

  int referenceTotal = 0;
  int subjectTotal = 0;
  // Loading stopped at an error: saving would replace the file with less.
  bool partlyLoaded = false;
  // The database file as last loaded or saved: Save tells from it whether
  // someone else changed the file since.
  FileStamp disk;

  static constexpr const char* kBaseCaption = "Lorelist Version 1.1";

  bool IsChanged() const { return changed_; }
  // Sets the changed flag; every command that edits the database calls it once.
  void MarkChanged();
  // Clears the flag after a complete save.
  void ClearChanged();
  // The window title: the base caption, followed by " - Unchanged" exactly
  // while the flag is clear.
  std::string Title() const;
  // Called with the new title whenever the flag is set or cleared.
  void SetTitleHook(std::function<void(const std::string&)> hook) { titleHook_ = std::move(hook); }

  static CategoryRecord* Record(const TreeStore& categories, HTREEITEM category) {
    return reinterpret_cast<CategoryRecord*>(categories.GetItemData(category));
  }
  CategoryRecord* Record(HTREEITEM category) const { return Record(categories, category); }
  // Creates the record a new category node owns.
  CategoryRecord* AttachRecord(HTREEITEM category);
  // Frees a category node's record before the node goes.
  void ReleaseRecord(HTREEITEM category);
  // Keeps a copy of a text for as long as the database lives: where the
  // reference texts of the records are kept.
  std::string_view StoreText(std::string_view text) { return texts_.Store(text); }

  // Frees every record and empties both trees, the list and the totals.
  void Clear();

 private:
  TextArena texts_;
  bool changed_ = false;
  std::function<void(const std::string&)> titleHook_;
};

}  // namespace lorelist
