#include "tree_model.h"

#include <QCoreApplication>
#include <QMimeData>

#include "text.h"

namespace lorelist {

TreeModel::TreeModel(TreeStore& store, const Encoding& encoding, QObject* parent)
    : QAbstractItemModel(parent), store_(store), encoding_(encoding) {
  store_.SetObserver(this);
}

TreeModel::~TreeModel() {
  if (store_.Observer() == this) store_.SetObserver(nullptr);
}

void TreeModel::SuspendUpdates() {
  beginResetModel();
  dropHighlight_ = nullptr;
  store_.SetObserver(nullptr);
}

void TreeModel::ResumeUpdates() {
  store_.SetObserver(this);
  endResetModel();
}

QModelIndex TreeModel::IndexOf(HTREEITEM node) const {
  if (!node) return {};
  return createIndex(store_.GetRow(node), 0, node);
}

HTREEITEM TreeModel::NodeOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<HTREEITEM>(index.internalPointer()) : nullptr;
}

void TreeModel::SetDropHighlight(HTREEITEM node) {
  if (node == dropHighlight_) return;
  HTREEITEM previous = dropHighlight_;
  dropHighlight_ = node;
  for (HTREEITEM changed : {previous, node}) {
    if (!changed) continue;
    QModelIndex index = IndexOf(changed);
    emit dataChanged(index, index, {kDropHighlightRole});
  }
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0) return {};
  HTREEITEM node = store_.GetChildAt(NodeOf(parent), row);
  return node ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
  return IndexOf(store_.GetParentItem(NodeOf(child)));
}

int TreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  return store_.GetChildCount(NodeOf(parent));
}

int TreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

bool TreeModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return !store_.IsEmpty();
  return store_.ItemHasChildren(NodeOf(parent));
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
  HTREEITEM node = NodeOf(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
      return FromDbShown(store_.GetItemText(node), encoding_, kPaneLineLimit);
    case Qt::ToolTipRole:
      return FromDbShown(store_.GetItemText(node), encoding_, kMessageLimit);
    case kDropHighlightRole:
      return node == dropHighlight_;
    default:
      return {};
  }
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
  // The invalid index is the top: nodes can be dropped there too.
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

namespace {

const QString kNodeMime = QStringLiteral("application/x-lorelist-node");

// Which process and which model a drag started in: a drop from any other
// names nothing here.
QByteArray DragOrigin(const TreeModel* model) {
  return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
         QByteArray::number(reinterpret_cast<quintptr>(model));
}

}  // namespace

QStringList TreeModel::mimeTypes() const {
  return {kNodeMime};
}

QMimeData* TreeModel::mimeData(const QModelIndexList& indexes) const {
  HTREEITEM node = indexes.isEmpty() ? nullptr : NodeOf(indexes.first());
  if (!node) return nullptr;
  QByteArray path;
  for (HTREEITEM n = node; n; n = store_.GetParentItem(n))
    path.prepend(QByteArray::number(store_.GetRow(n)) + ' ');
  auto* data = new QMimeData;
  data->setData(kNodeMime, DragOrigin(this) + ' ' + path.trimmed());
  return data;
}

HTREEITEM TreeModel::DraggedNode(const QMimeData* data) const {
  if (!data || !data->hasFormat(kNodeMime)) return nullptr;
  const QList<QByteArray> words = data->data(kNodeMime).split(' ');
  if (words.size() < 2 || words.first() != DragOrigin(this)) return nullptr;
  HTREEITEM node = nullptr;
  for (qsizetype i = 1; i < words.size(); ++i) {
    bool ok = false;
    const int row = words[i].toInt(&ok);
    if (!ok || row < 0 || row >= store_.GetChildCount(node)) return nullptr;
    node = store_.GetChildAt(node, row);
  }
  return node;
}

bool TreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                const QModelIndex&) const {
  return action == Qt::MoveAction && DraggedNode(data) != nullptr;
}

void TreeModel::BeforeInsert(HTREEITEM parent, int row) {
  beginInsertRows(IndexOf(parent), row, row);
}

void TreeModel::AfterInsert(HTREEITEM) {
  endInsertRows();
}

void TreeModel::BeforeDelete(HTREEITEM node) {
  for (HTREEITEM n = dropHighlight_; n; n = store_.GetParentItem(n))
    if (n == node) {
      dropHighlight_ = nullptr;
      break;
    }
  const int row = store_.GetRow(node);
  beginRemoveRows(IndexOf(store_.GetParentItem(node)), row, row);
}

void TreeModel::AfterDelete(HTREEITEM, int) {
  endRemoveRows();
}

void TreeModel::TextChanged(HTREEITEM node) {
  QModelIndex index = IndexOf(node);
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::ToolTipRole});
}

void TreeModel::BeforeMove(HTREEITEM node, HTREEITEM parent, int row) {
  HTREEITEM from = store_.GetParentItem(node);
  const int source = store_.GetRow(node);
  // The model counts the destination before the node leaves its place.
  const int destination = from == parent && row >= source ? row + 1 : row;
  beginMoveRows(IndexOf(from), source, source, IndexOf(parent), destination);
}

void TreeModel::AfterMove(HTREEITEM) {
  endMoveRows();
}

void TreeModel::BeforeReset() {
  beginResetModel();
  dropHighlight_ = nullptr;
}

void TreeModel::AfterReset() {
  endResetModel();
}

void TreeModel::TextsRecoded() {
  // The same characters in other bytes: nothing to see, but whatever the
  // views keep of the items is fetched again. The nodes, their places and
  // so every index stay; the encoding may not have changed yet, so nothing
  // is read here.
  emit layoutAboutToBeChanged();
  emit layoutChanged();
}

}  // namespace lorelist
