#pragma once

#include "db/database.h"
#include "panes/pane_set.h"

class QWidget;

namespace lorelist {

// The editing commands of the main window: new, update and delete nodes of
// either tree, add and delete references, add and delete subject entries,
// move nodes, convert the dictionary to Unicode, undo and redo.
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
  // Moves the selected node of a tree with the keys' four moves.
  void Move(Tree tree, Direction direction);
  // Moves a node where it was dropped.
  void MoveTo(Tree tree, HTREEITEM node, HTREEITEM parent, int row);
  // Convert to Unicode: asks first.
  void ConvertToUnicode();
  void Undo();
  void Redo();

 private:
  void Update(Tree tree, HTREEITEM selected, WorkspaceSource required);
  // The moved node current and highlighted, its branch revealed.
  void ShowMoved(Tree tree, HTREEITEM node);
  // After undo or redo: the node touched current in its tree, the References
  // pane as the selected category's record now is.
  void ShowTouched();

  Database& db_;
  PaneSet& panes_;
  QWidget* owner_;
};

}  // namespace lorelist
