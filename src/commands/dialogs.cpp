#include "dialogs.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <algorithm>

#include "db/collation.h"
#include "panes/modal.h"
#include "panes/text.h"
#include "panes/text_direction.h"

namespace lorelist {

namespace {

constexpr int kBytesRole = Qt::UserRole;

// A sorted list of entries, each line carrying the entry's bytes and
// reading in its own direction.
void FillSorted(QListWidget& list, const std::vector<std::string_view>& entries,
                Encoding encoding) {
  list.setItemDelegate(new TextDirectionDelegate(&list));
  for (const std::string& entry : SortedEntries(entries, encoding)) {
    auto* line = new QListWidgetItem(FromDb(entry, encoding), &list);
    line->setData(kBytesRole, QByteArray(entry.data(), static_cast<qsizetype>(entry.size())));
  }
}

// A multi-line edit box framed as the style frames a one-line edit box, with
// the same focus frame while it has the focus.
class FramedTextEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      QPainter painter(this);
      QStyleOptionFrame frame;
      frame.initFrom(this);
      frame.rect = rect();
      frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
      frame.midLineWidth = 0;
      frame.state |= QStyle::State_Sunken;
      if (hasFocus()) frame.state |= QStyle::State_HasFocus;
      style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
      return true;
    }
    return QPlainTextEdit::event(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusInEvent(event);
    update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusOutEvent(event);
    update();
  }
};

}  // namespace

std::vector<std::string> SortedEntries(const std::vector<std::string_view>& entries,
                                       Encoding encoding) {
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(entries.size());
  for (std::string_view entry : entries) keyed.emplace_back(CollationKey(entry, encoding), entry);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> sorted;
  sorted.reserve(keyed.size());
  for (auto& [key, entry] : keyed) sorted.push_back(std::move(entry));
  return sorted;
}

const char* const kConvertQuestion =
    "Convert the dictionary to Unicode? It will then be able to hold text in every script. "
    "Earlier versions of Lorelist cannot open the converted file. The next Save writes it in "
    "UTF-8; FlorilexOld.txt then keeps the present file, in Windows-1252, until the save after "
    "that.";

bool ConvertToUnicode(QWidget* parent, Database& db) {
  const std::string refusal = db.ConvertEncoding(Encoding::kUtf8);
  if (refusal.empty()) return true;
  Warn(parent, QString::fromStdString(refusal));
  return false;
}

bool TakeText(QWidget* parent, Database& db, const QString& typed,
              const std::function<std::string(const EditText&)>& refusal, EditText& text) {
  text = ToEditText(typed, db.encoding);
  const std::string refused = refusal(text);
  if (refused.empty()) return true;
  // Only the character stands in the way when the same text, as Unicode
  // holds it, would be taken.
  if (!text.unstorable.empty() && refusal(ToEditText(typed, Encoding::kUtf8)).empty()) {
    const QString offer =
        QString::fromStdString(refused) +
        QStringLiteral(" Convert the dictionary to Unicode, so that it can hold it?");
    if (Modal::Current().Ask(parent, offer, false) != Modal::Answer::kYes ||
        !ConvertToUnicode(parent, db))
      return false;
    text = ToEditText(typed, db.encoding);
    return true;
  }
  Warn(parent, QString::fromStdString(refused));
  return false;
}

NewNodeDialog::NewNodeDialog(Database& db, Tree tree, HTREEITEM selected, QWidget* parent)
    : QDialog(parent), db_(db), tree_(tree), selected_(selected) {}

void NewNodeDialog::Build(const QString& label, QWidget* edit, const QString& belowText) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(label, this));
  layout->addWidget(edit, 1);
  belowBox_ = new QCheckBox(belowText, this);
  precedeBox_ = new QCheckBox(
      QStringLiteral("Check here if the new node is to precede the selected node"), this);
  layout->addWidget(belowBox_);
  layout->addWidget(precedeBox_);
  layout->addWidget(new QLabel(
      QStringLiteral(
          "The default is for the new node to follow the selected node on the same level"),
      this));
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &NewNodeDialog::Ok);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(belowBox_, &QCheckBox::clicked, this, &NewNodeDialog::BelowClicked);
  connect(precedeBox_, &QCheckBox::clicked, this, &NewNodeDialog::PrecedeClicked);
  edit->setFocus();
}

void NewNodeDialog::BelowClicked() {
  below_ = belowBox_->checkState() == Qt::Checked;
  if (below_) {
    precede_ = false;
    precedeBox_->setChecked(false);
  }
}

void NewNodeDialog::PrecedeClicked() {
  precede_ = precedeBox_->checkState() == Qt::Checked;
  if (precede_) {
    below_ = false;
    belowBox_->setChecked(false);
  }
}

void NewNodeDialog::Ok() {
  EditText text;
  if (!TakeText(
          this, db_, EnteredText(),
          [this](const EditText& t) { return db_.CheckInsert(tree_, selected_, Place(), t); },
          text))
    return;
  text_ = std::move(text.bytes);
  accept();
}

CNewQuoteNode::CNewQuoteNode(Database& db, HTREEITEM selected, QWidget* parent)
    : NewNodeDialog(db, Tree::kQuotations, selected, parent), edit_(new FramedTextEdit(this)) {
  setWindowTitle(QStringLiteral("New Quotation Node"));
  edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit_->setTabChangesFocus(true);
  FollowTextDirection(*edit_);
  edit_->installEventFilter(this);
  Build(QStringLiteral("Text for the new node:"), edit_,
        QStringLiteral("Check here if the new node is to be below the selected node"));
  resize(480, 340);
}

QString CNewQuoteNode::EnteredText() const {
  return EditorText(*edit_);
}

bool CNewQuoteNode::eventFilter(QObject* watched, QEvent* event) {
  // As in a dialog's multi-line edit box: Enter presses OK, Ctrl+Enter breaks
  // the line.
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (key->modifiers() & Qt::ControlModifier)
        edit_->insertPlainText(QStringLiteral("\n"));
      else
        OkButton().click();
      return true;
    }
  }
  return NewNodeDialog::eventFilter(watched, event);
}

CNewCat::CNewCat(Database& db, HTREEITEM selected, QWidget* parent)
    : NewNodeDialog(db, Tree::kCategories, selected, parent), edit_(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("New Category Node"));
  Build(QStringLiteral("Title for new node:"), edit_,
        QStringLiteral("Check here if the new node is to be below the selected one"));
  resize(480, 180);
}

QString CNewCat::EnteredText() const {
  return edit_->text();
}

CNewSubj::CNewSubj(Database& db, const std::vector<std::string_view>& entries, QWidget* parent)
    : QDialog(parent),
      db_(db),
      list_(new QListWidget(this)),
      edit_(new QLineEdit(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)) {
  setWindowTitle(QStringLiteral("New subject entry"));
  FillSorted(*list_, entries, db.encoding);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setDefault(true);
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(QStringLiteral("Existing entries:"), this));
  left->addWidget(list_, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(QStringLiteral("Type new entry:"), this));
  right->addWidget(edit_);
  right->addWidget(ok_, 0, Qt::AlignRight);
  right->addStretch(1);
  right->addWidget(cancel, 0, Qt::AlignRight);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(right, 1);
  connect(ok_, &QPushButton::clicked, this, &CNewSubj::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
  resize(480, 320);
}

void CNewSubj::Ok() {
  // An empty entry closes the dialog and is dropped without a word.
  EditText entry;
  if (!edit_->text().isEmpty() &&
      !TakeText(
          this, db_, edit_->text(),
          [this](const EditText& t) { return Database::TextRefusal(t, db_.encoding); }, entry))
    return;
  entry_ = std::move(entry.bytes);
  accept();
}

QString CNewSubj::EntryText() const {
  return edit_->text();
}

CDelSubj::CDelSubj(const std::vector<std::string_view>& entries, Encoding encoding, QWidget* parent)
    : QDialog(parent),
      list_(new QListWidget(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)) {
  setWindowTitle(QStringLiteral("Delete subject"));
  FillSorted(*list_, entries, encoding);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setDefault(true);
  auto* label =
      new QLabel(QStringLiteral("Select a subject to be deleted from this category"), this);
  label->setWordWrap(true);
  auto* top = new QHBoxLayout;
  top->addWidget(list_, 1);
  top->addWidget(label, 1, Qt::AlignTop);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &CDelSubj::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(380, 340);
}

void CDelSubj::Ok() {
  QListWidgetItem* line = list_->currentItem();
  if (!line || !line->isSelected()) {
    Warn(this, QStringLiteral("Select one of the subject index entries"));
    return;
  }
  const QByteArray bytes = line->data(kBytesRole).toByteArray();
  chosen_.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  accept();
}

}  // namespace lorelist
