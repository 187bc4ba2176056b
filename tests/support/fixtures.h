#pragma once

// What many tests need: a database loaded from bytes, a node found by its
// code, everything an edit may change in one string, and a
// folder holding a loaded Florilex.txt to save.

#include <string>
#include <string_view>

#include "db/database.h"
#include "db/load.h"
#include "db/save.h"
#include "support/temp_dir.h"

namespace lorelist::test {

// Loads bytes, written as a Florilex.txt in a folder of its own, into db.
LoadResult LoadBytes(Database& db, std::string_view bytes, LoadReporter* reporter = nullptr);

// The node of the tree at a code ("1.2.3"); nullptr when there is none.
HTREEITEM NodeAt(const TreeStore& tree, std::string_view code);

// Everything an edit may change: the file it saves as, the subject index list
// in its order (equal entries keep an order of their own that the file does
// not show) and whether the database has unsaved changes.
std::string State(const Database& db);

// A folder holding a Florilex.txt, loaded; Change() then edits it as an
// edit of the window would, for a save to write.
struct DatabaseFolder {
  explicit DatabaseFolder(std::string_view bytes = {});
  std::string File() const { return dir.File("Florilex.txt"); }
  // What Florilex.txt holds now.
  std::string Saved() const { return ReadFile(File()); }
  // The first quotation's text becomes `text`; the database is then changed.
  void Change(std::string_view text = "Changed");
  // Loads Florilex.txt afresh, as the folder holds it now (a link, say).
  LoadResult Reload() { return LoadDatabase(db, File()); }
  // Saves into the folder as the window does, without questions.
  SaveResult Save(FileOps& ops = SystemFileOps()) { return SaveDatabase(db, dir.path(), ops); }

  TempDir dir;
  Database db;
};

}  // namespace lorelist::test
