#include "fuzz/scan_agreement.h"

#include <unistd.h>

#include <fstream>
#include <vector>

#include "db/load.h"
#include "db/scan.h"

namespace lorelist::test {

namespace {

struct Node {
  std::string code;
  std::string text;
  bool operator==(const Node&) const = default;
};

// What loading makes of a file: whether it loads whole, and every quotation
// node with its code, in pre-order.
bool Loaded(const std::string& path, std::vector<Node>& nodes) {
  Database db;
  const bool whole = LoadDatabase(db, path).status == LoadResult::kComplete;
  nodes.clear();
  WalkWithCodes(db.quotations, [&](HTREEITEM node, std::string_view code, int) {
    nodes.push_back({std::string(code), std::string(db.quotations.GetItemText(node))});
  });
  return whole;
}

}  // namespace

std::string CheckScanAgrees(const std::string& bytes, const std::string& scratchDir) {
  const std::string path = scratchDir + "/lorelist-scan-" + std::to_string(::getpid()) + ".txt";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return "cannot write the scratch file " + path;
  }
  std::vector<Node> loaded;
  const bool whole = Loaded(path, loaded);
  for (size_t splitAbove : {size_t{1} << 30, size_t{0}}) {
    const char* how = splitAbove ? "whole" : "in parts";
    std::vector<Node> scanned;
    const bool ok = ScanDatabase(
        path, [](std::string_view) { return true; },
        [&](std::string_view code, std::string_view text) {
          scanned.push_back({std::string(code), std::string(text)});
        },
        splitAbove);
    if (splitAbove && ok != whole)
      return std::string("scanned ") + how + ", the file " + (ok ? "passes" : "fails") +
             "; loading it " + (whole ? "completes" : "stops");
    if (!splitAbove && ok && !whole)
      return std::string("scanned ") + how + ", the file passes; loading it stops";
    if (!ok) continue;
    if (scanned.size() != loaded.size())
      return std::string("scanned ") + how + ": " + std::to_string(scanned.size()) +
             " nodes shown, " + std::to_string(loaded.size()) + " loaded";
    for (size_t i = 0; i < loaded.size(); ++i)
      if (!(scanned[i] == loaded[i]))
        return std::string("scanned ") + how + ": node " + std::to_string(i) + " is " +
               scanned[i].code + ", loaded " + loaded[i].code;
  }
  return "";
}

}  // namespace lorelist::test
