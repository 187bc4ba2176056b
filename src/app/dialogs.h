#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace lorelist {

// The About box.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  QPushButton& OkButton() const { return *ok_; }

 private:
  QPushButton* ok_;
};

// Help: every command with its menu place, its keys and what it does, built
// from the command table.
class CHelpDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CHelpDlg(QWidget* parent = nullptr);
  QTableWidget& Table() const { return *table_; }

 private:
  QTableWidget* table_;
};

}  // namespace lorelist
