#pragma once

#include <QDialog>
#include <optional>

#include "db/statistics.h"

class QCheckBox;
class QLayout;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace lorelist {

class CReference;

// What Search remembers between runs.
struct SearchState {
  QString text;                  // the last accepted search text
  bool caseSignificant = false;  // the case box at the last accepted search
  bool newText = false;          // the last accepted text differed from the one before
};

// The Search dialog: the text to find and whether case matters.
class CSearch : public QDialog {
  Q_OBJECT

 public:
  CSearch(SearchState& state, QWidget* parent);
  QLineEdit& Edit() const { return *edit_; }
  QCheckBox& CaseBox() const { return *case_; }
  QPushButton& OkButton() const { return *ok_; }

 private:
  void Ok();

  SearchState& state_;
  QString previous_;
  QLineEdit* edit_;
  QCheckBox* case_;
  QPushButton* ok_;
};

// Statistics: seven counts, each in a one-line list with its label.
class CStats : public QDialog {
  Q_OBJECT

 public:
  CStats(const Statistics& counts, QWidget* parent);
  // The line shown in row r (0 to 6).
  QString Line(int row) const;
  QPushButton& OkButton() const { return *ok_; }

 private:
  QListWidget* lists_[kStatisticsRows];
  QPushButton* ok_;
};

// What the inventories of characters share: Insert and Insert and close put
// the chosen character into the Workspace at its caret, as often as wanted;
// Close closes.
class CharacterInventory : public QDialog {
  Q_OBJECT

 public:
  QPushButton& InsertButton() const { return *insert_; }
  QPushButton& InsertAndCloseButton() const { return *insertAndClose_; }
  QPushButton& CloseButton() const { return *close_; }

 protected:
  CharacterInventory(CReference& workspace, QWidget* parent);
  // The dialog's layout: `content`, the buttons under it.
  void Lay(QLayout* content);
  // The text of the selected entry (the empty entry's is empty); none when
  // no entry is selected.
  virtual std::optional<QString> Chosen() const = 0;
  // After `text` went into the Workspace.
  virtual void Inserted(const QString& text) { (void)text; }

  CReference& workspace_;

 private:
  void Insert();

  QPushButton* insert_;
  QPushButton* insertAndClose_;
  QPushButton* close_;
};

// The inventory of a Windows-1252 dictionary: codes 1 to 253 by code in
// columns of ten.
class CSpecial : public CharacterInventory {
  Q_OBJECT

 public:
  CSpecial(CReference& workspace, QWidget* parent);
  QListWidget& Grid() const { return *grid_; }

 private:
  std::optional<QString> Chosen() const override;

  QListWidget* grid_;
};

}  // namespace lorelist
