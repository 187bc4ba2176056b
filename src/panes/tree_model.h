#pragma once

#include <QAbstractItemModel>

#include "db/charset.h"
#include "db/tree_store.h"

namespace lorelist {

// A lazy item model over one tree store: it reads the store as the view asks
// and is told of every change by the store, so no copy of the tree exists.
// Its texts are read in the dictionary's encoding, which a conversion may
// change under it. It also carries the tree's drop-target highlight: the node the commands
// work on, painted as selected whether or not the tree has the focus.
class TreeModel : public QAbstractItemModel, private TreeObserver {
  Q_OBJECT

 public:
  // True for the node with the drop-target highlight.
  static constexpr int kDropHighlightRole = Qt::UserRole + 1;

  // `encoding`: the database's own, followed as it changes.
  // The encoding is the database's own, read at each use: never a temporary.
  TreeModel(TreeStore& store, const Encoding& encoding, QObject* parent = nullptr);
  TreeModel(TreeStore&, Encoding&&, QObject* = nullptr) = delete;
  ~TreeModel() override;

  TreeStore& Store() const { return store_; }
  QModelIndex IndexOf(HTREEITEM node) const;
  static HTREEITEM NodeOf(const QModelIndex& index);

  // Around a bulk change such as loading: the view hears of it as one reset.
  void SuspendUpdates();
  void ResumeUpdates();

  void SetDropHighlight(HTREEITEM node);
  HTREEITEM DropHighlight() const { return dropHighlight_; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Dragging a node within its own pane: the data names the node by its
  // path of rows, for this model only; the view makes the move.
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) override {
    return false;
  }
  // The node dragged data names, or nullptr when it comes from elsewhere or
  // names no node.
  HTREEITEM DraggedNode(const QMimeData* data) const;

 private:
  void BeforeInsert(HTREEITEM parent, int row) override;
  void AfterInsert(HTREEITEM node) override;
  void BeforeDelete(HTREEITEM node) override;
  void AfterDelete(HTREEITEM parent, int row) override;
  void TextChanged(HTREEITEM node) override;
  void BeforeMove(HTREEITEM node, HTREEITEM parent, int row) override;
  void AfterMove(HTREEITEM node) override;
  void BeforeReset() override;
  void AfterReset() override;
  void TextsRecoded() override;

  TreeStore& store_;
  const Encoding& encoding_;
  HTREEITEM dropHighlight_ = nullptr;
};

}  // namespace lorelist
