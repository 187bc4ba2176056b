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

// At a start with no dictionary to open: a new one, another one, or the
// sample; Quit (or closing it) ends the program.
class CStartDlg : public QDialog {
  Q_OBJECT

 public:
  enum Choice { kQuit, kNew, kOpen, kSample };
  explicit CStartDlg(QWidget* parent = nullptr);
  Choice Chosen() const { return chosen_; }
  QPushButton& Button(Choice choice) const { return *buttons_[choice]; }

 private:
  Choice chosen_ = kQuit;
  QPushButton* buttons_[4];
};

}  // namespace lorelist
