#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <vector>

#include "tools/query_dialogs.h"

class QLabel;
class QListView;

namespace lorelist {

// Characters as the cells of a grid: each in the pane font, a mark on a
// dotted circle, a space or a format character (drawn as nothing) by its
// code in small print; its code point under Qt::UserRole.
class CharacterModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // Each cell `cell` large; `small` the print of the codes.
  CharacterModel(const QFont& small, QSize cell, QObject* parent);
  void Show(std::vector<char32_t> characters);
  char32_t At(int row) const { return shown_[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  QFont small_;
  QSize cell_;
  std::vector<char32_t> shown_;
};

// The inventory of a UTF-8 dictionary: the characters UnicodeCharacters
// offers, by block, by a search on the name or the code ("sigma", "U+05D0"),
// and the ones inserted lately, which it opens on (on Basic Latin while there
// are none). Return inserts the selected one.
class UnicodeSpecial : public CharacterInventory {
  Q_OBJECT

 public:
  // At most this many recent characters are kept, the latest first.
  static constexpr int kRecent = 24;

  UnicodeSpecial(CReference& workspace, QWidget* parent);
  QLineEdit& FindEdit() const { return *find_; }
  // "Recently used", then the blocks.
  QListWidget& Blocks() const { return *blocks_; }
  QListView& Grid() const { return *grid_; }
  // What the selected character is, or how many are shown.
  QLabel& About() const { return *about_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The recent characters, as the settings keep them.
  static std::vector<char32_t> Recent();
  std::optional<QString> Chosen() const override;
  void Inserted(const QString& text) override;
  void ShowBlock(int row);
  void Find(const QString& text);
  void Describe();

  QLineEdit* find_;
  QListWidget* blocks_;
  QListView* grid_;
  CharacterModel* model_;
  QLabel* about_;
  int block_ = 0;  // the row of Blocks() shown when no search is typed
};

}  // namespace lorelist
