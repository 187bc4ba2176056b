#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QListWidget>
#include <QWidget>

#include "db/subject_index.h"

class QLineEdit;

namespace lorelist {

// A list box of plain lines in insertion order, each line with an item data
// word, under the operation names of a list box; each line in its own
// direction.
class ListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit ListBox(QWidget* parent = nullptr);

  void ResetContent() { clear(); }
  void InsertString(int index, const QString& text);
  void DeleteString(int index);
  int GetCount() const { return count(); }
  QString GetText(int index) const;
  void SetItemData(int index, HTREEITEM node);
  HTREEITEM GetItemData(int index) const;
  // The highlighted line, or -1.
  int GetCurSel() const;
  void SetCurSel(int index) { setCurrentRow(index); }
};

// The Derivation list: the ancestors of the node last loaded into the Workspace.
class CDerivation : public ListBox {
  Q_OBJECT

 public:
  using ListBox::ListBox;
};

// The References list: the references of the selected category, each line
// carrying its target quotation node.
class CLocalRef : public ListBox {
  Q_OBJECT

 public:
  using ListBox::ListBox;

 signals:
  // A double-click with the left button.
  void lineDoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A view that hosts one control covering it whole.
class HostView : public QWidget {
  Q_OBJECT

 public:
  explicit HostView(QWidget* parent = nullptr);

 protected:
  void Host(QWidget* control);
};

class CDerivView : public HostView {
  Q_OBJECT

 public:
  explicit CDerivView(QWidget* parent = nullptr);
  CDerivation& List() { return *list_; }

 private:
  CDerivation* list_;
};

class CLocalRefVw : public HostView {
  Q_OBJECT

 public:
  explicit CLocalRefVw(QWidget* parent = nullptr);
  CLocalRef& List() { return *list_; }

 private:
  CLocalRef* list_;
};

// The subject index list as an item model, following every change; its
// texts read in `encoding`, the database's own.
class SubjectIndexModel : public QAbstractListModel, private SubjectIndexObserver {
  Q_OBJECT

 public:
  // The encoding is the database's own, read at each use: never a temporary.
  SubjectIndexModel(SubjectIndexList& list, const Encoding& encoding, QObject* parent = nullptr);
  SubjectIndexModel(SubjectIndexList&, Encoding&&, QObject* = nullptr) = delete;
  ~SubjectIndexModel() override;
  SubjectIndexList& List() const { return list_; }
  void SuspendUpdates() {
    beginResetModel();
    list_.SetObserver(nullptr);
  }
  void ResumeUpdates() {
    list_.SetObserver(this);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void BeforeInsert(int index) override { beginInsertRows({}, index, index); }
  void AfterInsert(int) override { endInsertRows(); }
  void BeforeRemove(int index) override { beginRemoveRows({}, index, index); }
  void AfterRemove(int) override { endRemoveRows(); }
  void BeforeReset() override { beginResetModel(); }
  void AfterReset() override { endResetModel(); }

  SubjectIndexList& list_;
  const Encoding& encoding_;
};

// The Subject index: an edit field above an always-visible sorted list of
// every subject entry; a double-click on an entry selects its category.
class CSubjCombo : public QWidget {
  Q_OBJECT

 public:
  CSubjCombo(SubjectIndexList& list, const Encoding& encoding, QWidget* parent = nullptr);
  CSubjCombo(SubjectIndexList&, Encoding&&, QWidget* = nullptr) = delete;

  int GetCount() const;
  int GetCurSel() const;
  void SetCurSel(int index);
  HTREEITEM GetItemData(int index) const;
  QLineEdit& Edit() const { return *edit_; }
  void SuspendUpdates() { model_->SuspendUpdates(); }
  void ResumeUpdates() { model_->ResumeUpdates(); }
  QListView& ListView() const { return *view_; }

 signals:
  // An entry of the list double-clicked.
  void entryDoubleClicked();

 private:
  void EditChanged(const QString& text);

  SubjectIndexModel* model_;
  const Encoding& encoding_;
  QLineEdit* edit_;
  QListView* view_;
};

class CSubjVw : public HostView {
  Q_OBJECT

 public:
  CSubjVw(SubjectIndexList& list, const Encoding& encoding, QWidget* parent = nullptr);
  CSubjVw(SubjectIndexList&, Encoding&&, QWidget* = nullptr) = delete;
  CSubjCombo& Combo() { return *combo_; }

 private:
  CSubjCombo* combo_;
};

}  // namespace lorelist
