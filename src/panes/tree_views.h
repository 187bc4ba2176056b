#pragma once

#include <QTreeView>

#include "tree_model.h"

namespace lorelist {

// A tree pane: lines and expand buttons, the current node as the caret, and
// the drop-target highlight marking the node the commands use.
class TreeView : public QTreeView {
  Q_OBJECT

 public:
  // The tree and the encoding of its texts, both the database's.
  TreeView(TreeStore& store, const Encoding& encoding, QWidget* parent = nullptr);
  TreeView(TreeStore&, Encoding&&, QWidget* = nullptr) = delete;

  TreeModel& Model() const { return *model_; }
  TreeStore& Store() const { return model_->Store(); }

  // The current node (the caret), or nullptr.
  HTREEITEM GetCurrentItem() const { return TreeModel::NodeOf(currentIndex()); }
  // Makes the node current, revealing it; runs the selection change when the
  // current node changes.
  void SelectItem(HTREEITEM node);
  void SetDropHighlight(HTREEITEM node) { model_->SetDropHighlight(node); }

 signals:
  // The current node changed (the tree's selection change).
  void currentNodeChanged();
  // A double-click with the left button.
  void nodeDoubleClicked();
  // A node was dragged and dropped to become child `row` of parent
  // (nullptr: top level), counted without the node.
  void nodeDropped(HTREEITEM node, HTREEITEM parent, int row);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dropEvent(QDropEvent* event) override;
  // The column is as wide as its widest text in view, and never narrower
  // than the pane (the header measures it again as the pane's width
  // changes): a right-to-left text stands at the pane's right edge.
  int sizeHintForColumn(int column) const override;

 private:
  void CollapsedBranch(const QModelIndex& index);

  TreeModel* model_;
};

// The Quotations pane.
class QuoteTree : public TreeView {
  Q_OBJECT

 public:
  using TreeView::TreeView;
};

// The Categories pane.
class CCatTree : public TreeView {
  Q_OBJECT

 public:
  using TreeView::TreeView;
};

}  // namespace lorelist
