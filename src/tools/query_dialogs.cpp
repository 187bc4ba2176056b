#include "query_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "panes/modal.h"
#include "panes/text.h"
#include "panes/workspace.h"

namespace lorelist {

CSearch::CSearch(SearchState& state, QWidget* parent)
    : QDialog(parent),
      state_(state),
      previous_(state.text),
      edit_(new QLineEdit(state.text, this)),
      case_(new QCheckBox(QStringLiteral("Check this if case is significant"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)) {
  setWindowTitle(QStringLiteral("Search"));
  case_->setChecked(state.caseSignificant);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QStringLiteral("Search the quotation nodes starting from the next one"), this));
  // The label's spelling stands as the program has always shown it.
  layout->addWidget(
      new QLabel(QStringLiteral("for the next occurrence of the folowing string:"), this));
  layout->addWidget(edit_);
  layout->addWidget(case_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &CSearch::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
  edit_->selectAll();
}

void CSearch::Ok() {
  const QString text = edit_->text();
  if (text.isEmpty()) {
    Warn(this, QStringLiteral("Specify the text for which to search"));
    return;
  }
  // Only the text decides whether the search is new; the case box alone does not.
  state_.newText = text != previous_;
  state_.text = text;
  state_.caseSignificant = case_->isChecked();
  accept();
}

CStats::CStats(const Statistics& counts, QWidget* parent)
    : QDialog(parent), ok_(new QPushButton(QStringLiteral("OK"), this)) {
  setWindowTitle(QStringLiteral("Statistics"));
  auto* grid = new QGridLayout(this);
  for (int row = 0; row < kStatisticsRows; ++row) {
    auto* list = new QListWidget(this);
    list->addItem(QString::number(counts.Row(row)));
    list->setFixedSize(90, list->sizeHintForRow(0) + 2 * list->frameWidth() + 2);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lists_[row] = list;
    grid->addWidget(list, row, 0);
    grid->addWidget(new QLabel(QString::fromLatin1(kStatisticsLabels[row]), this), row, 1);
  }
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(ok_, kStatisticsRows, 1, Qt::AlignRight);
}

QString CStats::Line(int row) const {
  return lists_[row]->item(0)->text();
}

CharacterInventory::CharacterInventory(CReference& workspace, QWidget* parent)
    : QDialog(parent),
      workspace_(workspace),
      insert_(new QPushButton(QStringLiteral("Insert"), this)),
      insertAndClose_(new QPushButton(QStringLiteral("Insert and close"), this)),
      close_(new QPushButton(QStringLiteral("Close"), this)) {
  close_->setDefault(true);
  insert_->setAutoDefault(false);
  insertAndClose_->setAutoDefault(false);
  connect(insert_, &QPushButton::clicked, this, &CharacterInventory::Insert);
  connect(insertAndClose_, &QPushButton::clicked, this, [this] {
    Insert();
    accept();
  });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

void CharacterInventory::Lay(QLayout* content) {
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(insert_);
  buttons->addStretch(1);
  buttons->addWidget(insertAndClose_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(content);
  layout->addLayout(buttons);
}

void CharacterInventory::Insert() {
  const std::optional<QString> text = Chosen();
  if (!text) return;
  workspace_.ReplaceSelection(*text);
  Inserted(*text);
}

CSpecial::CSpecial(CReference& workspace, QWidget* parent)
    : CharacterInventory(workspace, parent), grid_(new QListWidget(this)) {
  setWindowTitle(QStringLiteral("Inventory of characters"));
  constexpr int kCell = 26;
  constexpr int kRowHeight = 22;
  // Codes by position: code n in row n mod 10 of column n div 10.
  grid_->setFlow(QListView::TopToBottom);
  grid_->setWrapping(true);
  grid_->setResizeMode(QListView::Adjust);
  grid_->setUniformItemSizes(true);
  grid_->setGridSize(QSize(kCell, kRowHeight));
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // all 26 columns show
  grid_->setFixedSize(26 * kCell + 2 * grid_->frameWidth() + 4,
                      10 * kRowHeight + 2 * grid_->frameWidth() + 4);
  grid_->addItem(QString());
  for (int code = 1; code <= 253; ++code) {
    auto* entry = new QListWidgetItem(
        FromDb(std::string(1, static_cast<char>(code)), Encoding::kWindows1252), grid_);
    entry->setTextAlignment(Qt::AlignCenter);
  }

  // The grid framed like a table: tens above the columns, hundreds above
  // those, units to the left of the rows.
  auto* table = new QGridLayout;
  table->setHorizontalSpacing(0);
  table->setVerticalSpacing(0);
  auto label = [this](const QString& text) {
    auto* l = new QLabel(text, this);
    l->setAlignment(Qt::AlignCenter);
    return l;
  };
  auto* hundreds = new QHBoxLayout;
  auto* tens = new QHBoxLayout;
  hundreds->setSpacing(0);
  tens->setSpacing(0);
  for (int column = 0; column < 26; ++column) {
    const QString hundred = column == 10   ? QStringLiteral("1")
                            : column == 20 ? QStringLiteral("2")
                                           : QString();
    QLabel* h = label(hundred);
    h->setFixedWidth(kCell);
    hundreds->addWidget(h);
    QLabel* t = label(column == 0 ? QStringLiteral(" 0")
                                  : QString::number(column % 10) + QStringLiteral("0"));
    t->setFixedWidth(kCell);
    tens->addWidget(t);
  }
  hundreds->addStretch(1);
  tens->addStretch(1);
  auto* units = new QVBoxLayout;
  units->setSpacing(0);
  units->setContentsMargins(0, grid_->frameWidth() + 2, 0, 0);
  for (int row = 0; row < 10; ++row) {
    QLabel* u = label(QString::number(row) + QStringLiteral(" "));
    u->setFixedHeight(kRowHeight);
    units->addWidget(u);
  }
  units->addStretch(1);
  table->addLayout(hundreds, 0, 1);
  table->addLayout(tens, 1, 1);
  table->addLayout(units, 2, 0);
  table->addWidget(grid_, 2, 1);

  Lay(table);
}

std::optional<QString> CSpecial::Chosen() const {
  const QListWidgetItem* entry = grid_->currentItem();
  if (!entry || !entry->isSelected()) return std::nullopt;
  return entry->text();
}

}  // namespace lorelist
