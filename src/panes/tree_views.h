#pragma once

#include <QTreeView>

#include "tree_model.h"

namespace lorelist {

class PaneSet;

// A tree pane: lines and expand buttons, the current node as the caret, and
// the drop-target highlight marking the node the commands use.
class TreeView : public QTreeView {
  Q_OBJECT

 public:
  TreeView(TreeStore& store, PaneSet& panes, QWidget* parent = nullptr);

  TreeModel& Model() const { return *model_; }
  TreeStore& Store() const { return model_->Store(); }

  // The current node (the caret), or nullptr.
  HTREEITEM GetCurrentItem() const { return TreeModel::NodeOf(currentIndex()); }
  // Makes the node current, revealing it; runs the selection change when the
  // current node changes.
  void SelectItem(HTREEITEM node);
  void SetDropHighlight(HTREEITEM node) { model_->SetDropHighlight(node); }

 protected:
  // The selection change and double-click of this tree.
  virtual void OnSelectionChanged() = 0;
  virtual void OnDoubleClick() = 0;

  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

  PaneSet& panes_;

 private:
  void CollapsedBranch(const QModelIndex& index);

  TreeModel* model_;
};

// The Quotations pane.
class QuoteTree : public TreeView {
  Q_OBJECT

 public:
  using TreeView::TreeView;
  // Loads the node into the Workspace and its ancestors into the Derivation
  // pane; changes no selection and no highlight.
  void ShowQuotationNode(HTREEITEM node);

 protected:
  void OnSelectionChanged() override;
  void OnDoubleClick() override;
};

// The Categories pane.
class CCatTree : public TreeView {
  Q_OBJECT

 public:
  using TreeView::TreeView;
  // Fills the References pane with the category's references and empties the
  // Derivation pane.
  void ShowCategoryReferences(HTREEITEM category);

 protected:
  void OnSelectionChanged() override;
  void OnDoubleClick() override;
};

}  // namespace lorelist
