#pragma once

#include "db/database.h"
#include "panes/pane_set.h"
#include "tools/query_dialogs.h"

class QWidget;

namespace lorelist {

// The query and tool commands of the main window: Search, Find Reference,
// Find Unreferenced, Count References, Statistics and the inventory of
// special characters. None of them changes the database.
class QueryCommands {
 public:
  QueryCommands(Database& db, PaneSet& panes, QWidget* owner)
      : db_(db), panes_(panes), owner_(owner) {}

  void Search();
  void FindReference();
  void FindUnreferenced();
  void CountReferences();
  void ShowStatistics();
  void SpecialCharacter();

  const SearchState& Searching() const { return search_; }

 private:
  // Selects a quotation node found by a query and loads it.
  void ShowFound(HTREEITEM node);

  Database& db_;
  PaneSet& panes_;
  QWidget* owner_;
  SearchState search_;
};

}  // namespace lorelist
