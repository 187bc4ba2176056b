#include "support/fixtures.h"

#include "db/code_check.h"
#include "support/capture_ops.h"

namespace lorelist::test {

LoadResult LoadBytes(Database& db, std::string_view bytes, LoadReporter* reporter) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), bytes);
  return LoadDatabase(db, dir.File("Florilex.txt"), reporter);
}

HTREEITEM NodeAt(const TreeStore& tree, std::string_view code) {
  HTREEITEM node = nullptr;
  while (!code.empty()) {
    const size_t dot = code.find('.');
    const int n = std::stoi(std::string(code.substr(0, dot)));
    if (n < 1 || n > tree.GetChildCount(node)) return nullptr;
    node = tree.GetChildAt(node, n - 1);
    code = dot == std::string_view::npos ? std::string_view() : code.substr(dot + 1);
  }
  return node;
}

std::string State(const Database& db) {
  std::string state = WrittenDatabase(db);
  for (int i = 0; i < db.subjects.GetCount(); ++i) {
    state.append(db.subjects.GetLBText(i));
    state += " > " + NodeCode(db.subjects.GetItemData(i)) + "\n";
  }
  return state + (db.IsChanged() ? "changed" : "unchanged");
}

DatabaseFolder::DatabaseFolder(std::string_view bytes) {
  if (!bytes.empty()) WriteFile(File(), bytes);
  Reload();
}

void DatabaseFolder::Change(std::string_view text) {
  if (HTREEITEM first = db.quotations.GetRootItem()) db.quotations.SetItemText(first, text);
  db.MarkChanged();
}

}  // namespace lorelist::test
