#include "unicode_special.h"

#include <QColor>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "panes/workspace.h"
#include "tools/settings.h"
#include "tools/unicode_characters.h"

namespace lorelist {

namespace {

const QString kRecentKey = QStringLiteral("specialCharacters/recent");

QString Text(char32_t c) {
  return QString::fromUcs4(&c, 1);
}

QString Hex(char32_t c) {
  return QString::fromStdString(UnicodeCharacters::Hex(c));
}

}  // namespace

CharacterModel::CharacterModel(const QFont& small, QSize cell, QObject* parent)
    : QAbstractListModel(parent), small_(small), cell_(cell) {}

void CharacterModel::Show(std::vector<char32_t> characters) {
  beginResetModel();
  shown_ = std::move(characters);
  endResetModel();
}

int CharacterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant CharacterModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const char32_t c = At(index.row());
  const bool invisible = UnicodeCharacters::Invisible(c);
  switch (role) {
    case Qt::DisplayRole:
      if (invisible) return Hex(c).mid(2);
      return UnicodeCharacters::Mark(c) ? QChar(0x25CC) + Text(c) : Text(c);
    case Qt::FontRole:
      return invisible ? QVariant(small_) : QVariant();
    case Qt::ForegroundRole:
      return invisible ? QVariant(QColor(Qt::gray)) : QVariant();
    case Qt::SizeHintRole:
      return cell_;
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::ToolTipRole:
      return Hex(c) + u' ' + QString::fromStdString(UnicodeCharacters::Name(c));
    case Qt::UserRole:
      return static_cast<uint>(c);
    default:
      return {};
  }
}

UnicodeSpecial::UnicodeSpecial(CReference& workspace, QWidget* parent)
    : CharacterInventory(workspace, parent),
      find_(new QLineEdit(this)),
      blocks_(new QListWidget(this)),
      grid_(new QListView(this)),
      about_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Inventory of characters"));
  // The pane font, half as large again, so that marks and accents show.
  QFont font = workspace.font();
  if (font.pixelSize() > 0)
    font.setPixelSize(font.pixelSize() * 3 / 2);
  else
    font.setPointSizeF(font.pointSizeF() * 1.5);
  QFont small = this->font();
  if (small.pointSizeF() > 0) small.setPointSizeF(small.pointSizeF() * 0.8);
  const int side = QFontMetrics(font).height() * 7 / 4;
  model_ = new CharacterModel(small, QSize(side, side), this);

  grid_->setModel(model_);
  grid_->setFont(font);
  grid_->setFlow(QListView::LeftToRight);
  grid_->setWrapping(true);
  grid_->setResizeMode(QListView::Adjust);
  grid_->setUniformItemSizes(true);
  grid_->setTextElideMode(Qt::ElideNone);  // "…" would stand for a character
  grid_->setGridSize(QSize(side, side));
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setMinimumSize(12 * side + 24, 7 * side);

  const UnicodeCharacters& characters = UnicodeCharacters::Instance();
  blocks_->addItem(QStringLiteral("Recently used"));
  for (const auto& block : characters.Blocks())
    blocks_->addItem(QString::fromStdString(block.name));
  blocks_->setFixedWidth(blocks_->sizeHintForColumn(0) + 40);

  find_->setPlaceholderText(QStringLiteral("A name (sigma, e acute) or a code (U+05D0)"));
  find_->setClearButtonEnabled(true);
  find_->installEventFilter(this);
  about_->setWordWrap(true);
  about_->setMinimumHeight(2 * about_->fontMetrics().lineSpacing());
  about_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* content = new QGridLayout;
  auto* findLabel = new QLabel(QStringLiteral("&Find:"), this);
  findLabel->setBuddy(find_);
  content->addWidget(findLabel, 0, 0);
  content->addWidget(find_, 0, 1);
  content->addWidget(blocks_, 1, 0);
  content->addWidget(grid_, 1, 1);
  content->addWidget(about_, 2, 0, 1, 2);
  Lay(content);
  // Return inserts the character selected, found by a search as it is typed.
  InsertButton().setDefault(true);

  connect(find_, &QLineEdit::textChanged, this, &UnicodeSpecial::Find);
  connect(blocks_, &QListWidget::currentRowChanged, this, &UnicodeSpecial::ShowBlock);
  connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &UnicodeSpecial::Describe);
  blocks_->setCurrentRow(Recent().empty() ? 1 : 0);
  find_->setFocus();
}

std::vector<char32_t> UnicodeSpecial::Recent() {
  const UnicodeCharacters& characters = UnicodeCharacters::Instance();
  std::vector<char32_t> recent;
  for (const QString& code : ProgramSettings().value(kRecentKey).toStringList()) {
    const auto c = UnicodeCharacters::ParseHex(code.toStdString(), false);
    if (c && characters.Offered(*c) &&
        std::find(recent.begin(), recent.end(), *c) == recent.end() && recent.size() < kRecent)
      recent.push_back(*c);
  }
  return recent;
}

bool UnicodeSpecial::eventFilter(QObject* watched, QEvent* event) {
  // Down and up in the search step through what it found, one by one; the
  // page keys page the grid.
  if (watched == find_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Down || key == Qt::Key_Up) {
      const QModelIndex current = grid_->currentIndex();
      const int row = !current.isValid() ? 0 : current.row() + (key == Qt::Key_Down ? 1 : -1);
      if (row >= 0 && row < model_->rowCount()) grid_->setCurrentIndex(model_->index(row));
      return true;
    }
    if (key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
      QCoreApplication::sendEvent(grid_, event);
      return true;
    }
  }
  return CharacterInventory::eventFilter(watched, event);
}

std::optional<QString> UnicodeSpecial::Chosen() const {
  const QModelIndex index = grid_->currentIndex();
  if (!index.isValid() || !grid_->selectionModel()->isSelected(index)) return std::nullopt;
  return Text(model_->At(index.row()));
}

void UnicodeSpecial::Inserted(const QString& text) {
  const char32_t c = text.toUcs4().value(0);
  QStringList recent{Hex(c)};
  for (const char32_t other : Recent())
    if (other != c && recent.size() < kRecent) recent << Hex(other);
  ProgramSettings().setValue(kRecentKey, recent);
}

void UnicodeSpecial::ShowBlock(int row) {
  if (row < 0) return;
  block_ = row;
  {
    const QSignalBlocker quiet(find_);
    find_->clear();
  }
  if (row == 0) {
    model_->Show(Recent());
  } else {
    const UnicodeCharacters& characters = UnicodeCharacters::Instance();
    const auto& block = characters.Blocks()[static_cast<size_t>(row - 1)];
    const auto all = characters.All().begin();
    model_->Show(
        {all + static_cast<ptrdiff_t>(block.begin), all + static_cast<ptrdiff_t>(block.end)});
  }
  Describe();
}

void UnicodeSpecial::Find(const QString& text) {
  if (text.trimmed().isEmpty()) {
    {
      const QSignalBlocker quiet(blocks_);
      blocks_->setCurrentRow(block_);
    }
    ShowBlock(block_);
    return;
  }
  {
    // No block is shown while a search is: a click on any brings it back.
    const QSignalBlocker quiet(blocks_);
    blocks_->setCurrentRow(-1);
  }
  model_->Show(UnicodeCharacters::Instance().Search(text.toStdString()));
  if (model_->rowCount() > 0) grid_->setCurrentIndex(model_->index(0));
  Describe();
}

void UnicodeSpecial::Describe() {
  const QModelIndex index = grid_->currentIndex();
  if (index.isValid() && grid_->selectionModel()->isSelected(index)) {
    const char32_t c = model_->At(index.row());
    about_->setText(Hex(c) + QStringLiteral("  ") +
                    QString::fromStdString(UnicodeCharacters::Name(c)) + QStringLiteral("  (") +
                    QString::fromStdString(UnicodeCharacters::BlockName(c)) + u')');
    return;
  }
  const int count = model_->rowCount();
  const QString search = find_->text().trimmed();
  const auto code = UnicodeCharacters::ParseHex(search.toStdString(), false);
  if (count == 0 && code)
    about_->setText(Hex(*code) + QStringLiteral(" is not a character a text can hold."));
  else if (count == 0)
    about_->setText(search.isEmpty() ? QStringLiteral("No character inserted yet.")
                                     : QStringLiteral("No character has such a name."));
  else
    about_->setText(count == 1 ? QStringLiteral("1 character")
                               : QStringLiteral("%1 characters").arg(count));
}

}  // namespace lorelist
