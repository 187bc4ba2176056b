#include "list_panes.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "db/collation.h"
#include "text.h"
#include "text_direction.h"

namespace lorelist {

namespace {
constexpr int kNodeRole = Qt::UserRole;
}

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setUniformItemSizes(true);
  setTextElideMode(Qt::ElideNone);
  setWordWrap(false);
  setItemDelegate(new TextDirectionDelegate(this));
}

int ListBox::GetCurSel() const {
  const QListWidgetItem* line = currentItem();
  return line && line->isSelected() ? currentRow() : -1;
}

void ListBox::InsertString(int index, const QString& text) {
  insertItem(index, text);
}

void ListBox::DeleteString(int index) {
  delete takeItem(index);
}

QString ListBox::GetText(int index) const {
  const QListWidgetItem* line = item(index);
  return line ? line->text() : QString();
}

void ListBox::SetItemData(int index, HTREEITEM node) {
  if (QListWidgetItem* line = item(index))
    line->setData(kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
}

HTREEITEM ListBox::GetItemData(int index) const {
  const QListWidgetItem* line = item(index);
  return line ? reinterpret_cast<HTREEITEM>(line->data(kNodeRole).value<quintptr>()) : nullptr;
}

void CLocalRef::mouseDoubleClickEvent(QMouseEvent* event) {
  ListBox::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit lineDoubleClicked();
}

HostView::HostView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
}

void HostView::Host(QWidget* control) {
  layout()->addWidget(control);
  setFocusProxy(control);
}

CDerivView::CDerivView(QWidget* parent) : HostView(parent), list_(new CDerivation(this)) {
  Host(list_);
}

CLocalRefVw::CLocalRefVw(QWidget* parent) : HostView(parent), list_(new CLocalRef(this)) {
  Host(list_);
}

SubjectIndexModel::SubjectIndexModel(SubjectIndexList& list, const Encoding& encoding,
                                     QObject* parent)
    : QAbstractListModel(parent), list_(list), encoding_(encoding) {
  list_.SetObserver(this);
}

SubjectIndexModel::~SubjectIndexModel() {
  list_.SetObserver(nullptr);
}

int SubjectIndexModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.GetCount();
}

QVariant SubjectIndexModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.GetCount()) return {};
  if (role == Qt::DisplayRole)
    return FromDbShown(list_.GetLBText(index.row()), encoding_, kPaneLineLimit);
  return {};
}

CSubjCombo::CSubjCombo(SubjectIndexList& list, const Encoding& encoding, QWidget* parent)
    : QWidget(parent),
      model_(new SubjectIndexModel(list, encoding, this)),
      encoding_(encoding),
      edit_(new QLineEdit(this)),
      view_(new QListView(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(edit_);
  layout->addWidget(view_, 1);
  view_->setModel(model_);
  view_->setItemDelegate(new TextDirectionDelegate(view_));
  view_->setUniformItemSizes(true);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusProxy(edit_);
  // As in a combo box: choosing an entry shows it in the edit field, and
  // typing moves the list to the first entry that the text leads to.
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid() && !edit_->hasFocus()) {
              QSignalBlocker block(edit_);
              edit_->setText(current.data().toString());
            }
          });
  connect(edit_, &QLineEdit::textEdited, this, &CSubjCombo::EditChanged);
  connect(view_, &QListView::doubleClicked, this, &CSubjCombo::entryDoubleClicked);
}

void CSubjCombo::EditChanged(const QString& text) {
  std::string bytes;
  if (text.isEmpty() || !ToDb(text, encoding_, bytes)) return;
  const SubjectIndexList& list = model_->List();
  const int at = list.LowerBound(bytes);
  if (at >= list.GetCount()) return;
  const QModelIndex index = model_->index(at);
  view_->setCurrentIndex(index);
  view_->scrollTo(index, QAbstractItemView::PositionAtTop);
}

int CSubjCombo::GetCount() const {
  return model_->rowCount();
}

int CSubjCombo::GetCurSel() const {
  const QModelIndex current = view_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void CSubjCombo::SetCurSel(int index) {
  view_->setCurrentIndex(model_->index(index));
}

HTREEITEM CSubjCombo::GetItemData(int index) const {
  const SubjectIndexList& list = model_->List();
  return index >= 0 && index < list.GetCount() ? list.GetItemData(index) : nullptr;
}

CSubjVw::CSubjVw(SubjectIndexList& list, const Encoding& encoding, QWidget* parent)
    : HostView(parent), combo_(new CSubjCombo(list, encoding, this)) {
  Host(combo_);
}

}  // namespace lorelist
