#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "db/database.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace lorelist {

// The pattern of both New Node dialogs: a text, and where the new node goes
// relative to the selected node (after it by default, below it, or in front
// of it). The two check boxes are exclusive.
class NewNodeDialog : public QDialog {
  Q_OBJECT

 public:
  // The checks on OK need the database, the tree and its selected node; a
  // character the dictionary cannot hold may have OK convert it to Unicode.
  NewNodeDialog(Database& db, Tree tree, HTREEITEM selected, QWidget* parent);

  // After OK: the text as typed (converted to the database's bytes, in its
  // encoding as it then is) and the placement.
  const std::string& Text() const { return text_; }
  bool Below() const { return below_; }
  bool Precede() const { return precede_; }
  Placement Place() const {
    return below_ ? Placement::kBelow : precede_ ? Placement::kBefore : Placement::kAfter;
  }

  QCheckBox& BelowBox() const { return *belowBox_; }
  QCheckBox& PrecedeBox() const { return *precedeBox_; }
  QPushButton& OkButton() const { return *ok_; }
  QPushButton& CancelButton() const { return *cancel_; }

 protected:
  // Lays the dialog out round the edit box the subclass made.
  void Build(const QString& label, QWidget* edit, const QString& belowText);
  virtual QString EnteredText() const = 0;

 private:
  void Ok();
  void BelowClicked();
  void PrecedeClicked();

  Database& db_;
  Tree tree_;
  HTREEITEM selected_;
  std::string text_;
  bool below_ = false;
  bool precede_ = false;
  QCheckBox* belowBox_ = nullptr;
  QCheckBox* precedeBox_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// New Quotation Node: a multi-line text; Enter presses OK.
class CNewQuoteNode : public NewNodeDialog {
  Q_OBJECT

 public:
  CNewQuoteNode(Database& db, HTREEITEM selected, QWidget* parent);
  QPlainTextEdit& Edit() const { return *edit_; }

 protected:
  QString EnteredText() const override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* edit_;
};

// New Category Node: a one-line title.
class CNewCat : public NewNodeDialog {
  Q_OBJECT

 public:
  CNewCat(Database& db, HTREEITEM selected, QWidget* parent);
  QLineEdit& Edit() const { return *edit_; }

 protected:
  QString EnteredText() const override;

 private:
  QLineEdit* edit_;
};

// New subject entry: the category's entries, sorted, and a field for the new one.
// OK refuses an entry the file cannot hold, keeping the dialog open with it.
class CNewSubj : public QDialog {
  Q_OBJECT

 public:
  CNewSubj(Database& db, const std::vector<std::string_view>& entries, QWidget* parent);
  // The text of the edit field, as typed, whether the dialog ended with OK or not.
  QString EntryText() const;
  // After OK: the entry's bytes (empty when nothing was typed).
  const std::string& Entry() const { return entry_; }
  QListWidget& List() const { return *list_; }
  QLineEdit& Edit() const { return *edit_; }
  QPushButton& OkButton() const { return *ok_; }

 private:
  void Ok();

  Database& db_;
  QListWidget* list_;
  QLineEdit* edit_;
  QPushButton* ok_;
  std::string entry_;
};

// Delete subject: pick one of the category's entries.
class CDelSubj : public QDialog {
  Q_OBJECT

 public:
  CDelSubj(const std::vector<std::string_view>& entries, Encoding encoding, QWidget* parent);
  // After OK: the chosen entry's bytes.
  const std::string& Chosen() const { return chosen_; }
  QListWidget& List() const { return *list_; }
  QPushButton& OkButton() const { return *ok_; }

 private:
  void Ok();

  QListWidget* list_;
  QPushButton* ok_;
  std::string chosen_;
};

// The category's entries, in that encoding, in the order of the sorted lists.
std::vector<std::string> SortedEntries(const std::vector<std::string_view>& entries,
                                       Encoding encoding);

// What Convert to Unicode asks before it converts.
extern const char* const kConvertQuestion;
// Converts a Windows-1252 dictionary to Unicode, an edit that can be undone;
// false, having said why, when refused.
bool ConvertToUnicode(QWidget* parent, Database& db);

// A typed text for an edit, in the dictionary's bytes: true when `refusal`
// (the edit's refusals, "" for a text it takes) has nothing against it.
// Otherwise shows the refusal and gives false; but where a Windows-1252
// dictionary refuses the text only for a character that set lacks, the
// message asks whether to convert the dictionary to Unicode, and Yes
// converts it and takes the text.
bool TakeText(QWidget* parent, Database& db, const QString& typed,
              const std::function<std::string(const EditText&)>& refusal, EditText& text);

}  // namespace lorelist
