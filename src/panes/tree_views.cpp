#include "tree_views.h"

#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyleFactory>

#include "text_direction.h"

namespace lorelist {

namespace {

// The classic style draws the dotted connecting lines and the boxed expand
// buttons of a tree control.
QStyle* LinesStyle() {
  static QStyle* style = QStyleFactory::create(QStringLiteral("Windows"));
  return style;
}

// Paints the drop-target node as selected in navy and white, whether or not
// the tree has the focus; each text in its own direction.
class DropHighlightDelegate : public TextDirectionDelegate {
 public:
  using TextDirectionDelegate::TextDirectionDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    TextDirectionDelegate::initStyleOption(option, index);
    if (!index.data(TreeModel::kDropHighlightRole).toBool()) return;
    option->state |= QStyle::State_Selected;
    option->backgroundBrush = Qt::NoBrush;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      option->palette.setColor(group, QPalette::Highlight, QColor(0, 0, 128));
      option->palette.setColor(group, QPalette::HighlightedText, Qt::white);
    }
  }
};

}  // namespace

TreeView::TreeView(TreeStore& store, const Encoding& encoding, QWidget* parent)
    : QTreeView(parent), model_(new TreeModel(store, encoding, this)) {
  if (QStyle* style = LinesStyle()) setStyle(style);
  setModel(model_);
  setItemDelegate(new DropHighlightDelegate(this));
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setItemsExpandable(true);
  setExpandsOnDoubleClick(true);
  setUniformRowHeights(true);  // keeps a million rows fast
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Whole texts, never elided: long ones scroll sideways.
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  header()->setResizeContentsPrecision(0);  // measure the rows in view only
  // The control's own selection shows only while the tree has the focus; the
  // drop-target highlight marks the selected node at all times.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Inactive, QPalette::Text));
  setPalette(p);
  connect(this, &QTreeView::collapsed, this, &TreeView::CollapsedBranch);
  // Nodes move by drag and drop within the pane; the view draws where the
  // drop goes and the database makes the move.
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
}

void TreeView::startDrag(Qt::DropActions) {
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(model_->mimeData({index}));
  // What the drop does, the drop itself has done: nothing to remove here.
  drag->exec(Qt::MoveAction);
}

void TreeView::dropEvent(QDropEvent* event) {
  stopAutoScroll();
  setState(NoState);
  viewport()->update();
  HTREEITEM node = model_->DraggedNode(event->mimeData());
  if (!node) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::MoveAction);
  event->accept();
  // Where the indicator the user saw points: on a node, its last child; above
  // or below one, its sibling there; in the empty space, the last at the top.
  const QModelIndex at = indexAt(event->position().toPoint());
  HTREEITEM target = TreeModel::NodeOf(at);
  HTREEITEM parent = nullptr;
  int row = Store().GetChildCount(nullptr);
  if (target) {
    switch (dropIndicatorPosition()) {
      case AboveItem:
        parent = Store().GetParentItem(target);
        row = Store().GetRow(target);
        break;
      case BelowItem:
        parent = Store().GetParentItem(target);
        row = Store().GetRow(target) + 1;
        break;
      case OnItem:
        parent = target;
        row = Store().GetChildCount(target);
        break;
      case OnViewport:
        break;
    }
  }
  // The row among the children as they are now, counted without the node.
  if (Store().GetParentItem(node) == parent && Store().GetRow(node) < row) --row;
  emit nodeDropped(node, parent, row);
}

int TreeView::sizeHintForColumn(int column) const {
  return std::max(QTreeView::sizeHintForColumn(column), viewport()->width());
}

void TreeView::SelectItem(HTREEITEM node) {
  if (!node) return;
  for (HTREEITEM p = Store().GetParentItem(node); p; p = Store().GetParentItem(p))
    expand(model_->IndexOf(p));
  const QModelIndex index = model_->IndexOf(node);
  setCurrentIndex(index);
  scrollTo(index);
}

void TreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (current != previous) emit currentNodeChanged();
}

void TreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit nodeDoubleClicked();
  QTreeView::mouseDoubleClickEvent(event);
}

// Collapsing the branch that holds the current node makes the collapsed node
// current, as a tree control does.
void TreeView::CollapsedBranch(const QModelIndex& index) {
  HTREEITEM collapsed = TreeModel::NodeOf(index);
  for (HTREEITEM n = GetCurrentItem(); n; n = Store().GetParentItem(n)) {
    if (n == collapsed) {
      if (GetCurrentItem() != collapsed) setCurrentIndex(index);
      return;
    }
  }
}

}  // namespace lorelist
