#pragma once

#include "db/database.h"
#include "panes/pane_set.h"

class QWidget;

namespace lorelist {

// The editing commands of the main window: new, update and delete nodes of
// either tree, add and delete references, add and delete subject entries.
// Each tests its preconditions in order and stops at the first that fails,
// with its message; a refused command changes nothing.
class EditingCommands {
 public:
  EditingCommands(Database& db, PaneSet& panes, QWidget* owner)
      : db_(db), panes_(panes), owner_(owner) {}

  void NewQuotationNode();
  void NewCategoryNode();
  void UpdateQuotationNode();
  void UpdateCategoryNode();
  void DeleteQuotationNode();
  void DeleteCategoryNode();
  void AddReference();
  void DeleteReference();
  void AddSubject();
  void DeleteSubject();

 private:
  void Update(TreeStore& tree, HTREEITEM selected, WorkspaceSource required, const char* refusal);
  // Inserts a node with the dialog's text and placement relative to
  // `selected`; returns it.
  HTREEITEM Insert(TreeStore& tree, HTREEITEM selected, const std::string& text, bool below,
                   bool precede);

  Database& db_;
  PaneSet& panes_;
  QWidget* owner_;
};

}  // namespace lorelist
