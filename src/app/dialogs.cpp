#include "dialogs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/command_table.h"

namespace lorelist {

namespace {

// "Save\tCtrl+S" -> "Save"; "E&xit" -> "Exit".
QString PlainItemText(const char* itemText) {
  QString text = QString::fromLatin1(itemText);
  text = text.left(text.indexOf(u'\t') < 0 ? text.size() : text.indexOf(u'\t'));
  return text.remove(u'&');
}

QString Description(const Command& command) {
  if (!command.prompt) return {};
  QString prompt = QString::fromLatin1(command.prompt);
  return prompt.left(prompt.indexOf(u'\n') < 0 ? prompt.size() : prompt.indexOf(u'\n'));
}

QString KeysOf(int id) {
  QStringList keys;
  QStringList taken;
  for (const Accelerator& accelerator : Accelerators()) {
    const QString k = QString::fromLatin1(accelerator.keys);
    if (taken.contains(k)) continue;  // the first entry for these keys wins
    taken.append(k);
    if (accelerator.id == id) keys.append(k);
  }
  return keys.join(QStringLiteral(", "));
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Lorelist"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(QStringLiteral(":/icons/app.png")));
  auto* text = new QLabel(QStringLiteral("Lorelist Version 1.1"), this);
  text->setTextFormat(Qt::PlainText);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addWidget(text, 1, Qt::AlignTop);
  layout->addWidget(ok_, 0, Qt::AlignTop);
}

CStartDlg::CStartDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Lorelist"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(QStringLiteral(":/icons/lorelist-64.png")));
  auto* text = new QLabel(
      QStringLiteral("Lorelist keeps a classified dictionary of quotations in a folder of its "
                     "own, in one file, Florilex.txt.\n\nWhich dictionary shall it open?"),
      this);
  text->setWordWrap(true);
  const std::pair<Choice, const char*> choices[] = {{kNew, "&New dictionary..."},
                                                    {kOpen, "&Open dictionary..."},
                                                    {kSample, "Open the &sample"},
                                                    {kQuit, "&Quit"}};
  auto* column = new QVBoxLayout;
  for (const auto& [choice, label] : choices) {
    auto* button = new QPushButton(QString::fromLatin1(label), this);
    buttons_[choice] = button;
    connect(button, &QPushButton::clicked, this, [this, choice = choice] {
      chosen_ = choice;
      if (choice == kQuit)
        reject();
      else
        accept();
    });
    if (choice == kQuit) column->addSpacing(12);
    column->addWidget(button);
  }
  column->addStretch(1);
  buttons_[kNew]->setDefault(true);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addSpacing(8);
  layout->addWidget(text, 1, Qt::AlignTop);
  layout->addSpacing(8);
  layout->addLayout(column);
  setMinimumWidth(540);
}

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Lorelist Help"));
  table_ = new QTableWidget(this);
  table_->setColumnCount(3);
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Command"), QStringLiteral("Keys"), QStringLiteral("What it does")});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (const Popup& popup : Menu()) {
    for (int id : popup.items) {
      const Command* command = FindCommand(id);
      if (!command) continue;
      const int row = table_->rowCount();
      table_->insertRow(row);
      QString place = QString::fromLatin1(popup.title).remove(u'&') + QStringLiteral(" > ") +
                      PlainItemText(command->itemText);
      table_->setItem(row, 0, new QTableWidgetItem(place));
      table_->setItem(row, 1, new QTableWidgetItem(KeysOf(id)));
      table_->setItem(row, 2, new QTableWidgetItem(Description(*command)));
    }
  }
  const std::pair<int, const char*> unlisted[] = {
      {cmd::kHelp, "Help"},
      {cmd::kContextHelp, "Context help"},
      {cmd::kSelectAll, "Select the whole Workspace text"}};
  for (const auto& [id, name] : unlisted) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(name)));
    table_->setItem(row, 1, new QTableWidgetItem(KeysOf(id)));
    const Command* command = FindCommand(id);
    table_->setItem(row, 2, new QTableWidgetItem(command ? Description(*command) : QString()));
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  resize(720, 560);
}

}  // namespace lorelist
