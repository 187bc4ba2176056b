#include "fuzz/round_trip.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/collation.h"
#include "db/file_format.h"
#include "db/load.h"
#include "db/save.h"
#include "support/capture_ops.h"
#include "support/loaded.h"

namespace lorelist::test {

namespace {

std::string Written(const Database& db) {
  return WrittenDatabase(db);
}

// Bytes made readable, one way only: backslash and anything unprintable are
// escaped, so equal texts give equal results and different texts different
// ones.
std::string Escaped(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (u < 0x20 || u >= 0x7f) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// An escaped text cut to a length a message can show.
std::string Shown(std::string_view text, size_t limit = 200) {
  std::string out = Escaped(text);
  if (out.size() > limit) {
    out.resize(limit);
    out += "...";
  }
  return out;
}

// Visits every node of a tree in pre-order by rows, giving each its code from
// its position ("2.1.4"), and checks that each node's parent and row are the
// ones it was reached by. The stack is explicit: a faulty tree might be far
// deeper than a loaded one should be.
template <typename Visit>
std::string WalkTree(const TreeStore& tree, const char* name, Visit visit) {
  struct Frame {
    HTREEITEM parent;
    int row;
    int count;
    size_t codeLength;
  };
  std::vector<Frame> stack{{nullptr, 0, tree.GetChildCount(nullptr), 0}};
  std::string code;
  size_t seen = 0;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.row == frame.count) {
      stack.pop_back();
      continue;
    }
    const HTREEITEM parent = frame.parent;
    const int row = frame.row++;
    code.resize(frame.codeLength);
    if (!code.empty()) code += '.';
    code += std::to_string(row + 1);
    const HTREEITEM node = tree.GetChildAt(parent, row);
    if (!node) return std::string(name) + " tree: no node at " + code;
    if (tree.GetParentItem(node) != parent || tree.GetRow(node) != row)
      return std::string(name) + " tree: node " + code + " names another parent or row";
    ++seen;
    visit(node, code);
    stack.push_back({node, 0, tree.GetChildCount(node), code.size()});
  }
  if (seen != tree.GetCount())
    return std::string(name) + " tree: " + std::to_string(seen) + " nodes reached, " +
           std::to_string(tree.GetCount()) + " counted";
  return "";
}

// A database as a list of plain lines that name nodes by their codes, never
// by address, so that two databases compare line by line; error tells the
// first inconsistency found on the way.
struct Snapshot {
  std::vector<std::string> lines;
  size_t listAt = 0;  // where the subject index list's lines begin
  std::string error;
};

Snapshot Take(const Database& db, EntryOrder order = EntryOrder::kAsLoaded) {
  Snapshot snap;
  std::unordered_map<HTREEITEM, size_t> quotationIndex;
  std::vector<HTREEITEM> quotationNodes;
  std::vector<std::string> quotationCodes;
  snap.error = WalkTree(db.quotations, "quotations", [&](HTREEITEM node, const std::string& code) {
    quotationIndex.emplace(node, quotationNodes.size());
    quotationNodes.push_back(node);
    quotationCodes.push_back(code);
  });
  if (!snap.error.empty()) return snap;

  // Categories: the nodes in pre-order, each with its record.
  std::unordered_map<HTREEITEM, std::string> categoryCode;
  std::vector<std::pair<HTREEITEM, std::string>> categories;
  snap.error = WalkTree(db.categories, "categories", [&](HTREEITEM node, const std::string& code) {
    categoryCode.emplace(node, code);
    categories.emplace_back(node, code);
  });
  if (!snap.error.empty()) return snap;

  // Quotation lines come after the counts are known; the counts are checked
  // on the way.
  std::vector<uintptr_t> named(quotationNodes.size(), 0);
  std::vector<std::string> categoryLines;
  size_t references = 0, entries = 0;
  for (const auto& [node, code] : categories) {
    const CategoryRecord* record = db.Record(node);
    if (!record) {
      snap.error = "category " + code + " has no record";
      return snap;
    }
    categoryLines.push_back("C " + code + " " + Escaped(db.categories.GetItemText(node)));
    for (const std::string& entry : record->subjectEntries)
      categoryLines.push_back("  S " + Escaped(entry));
    if (record->referenceTexts.size() != record->referenceTargets.size()) {
      snap.error = "category " + code + " has " + std::to_string(record->referenceTexts.size()) +
                   " reference texts and " + std::to_string(record->referenceTargets.size()) +
                   " targets";
      return snap;
    }
    for (size_t i = 0; i < record->referenceTargets.size(); ++i) {
      // Looked up by address before anything reads through it: a target that
      // is no node of the tree must be reported, not followed.
      auto it = quotationIndex.find(record->referenceTargets[i]);
      if (it == quotationIndex.end()) {
        snap.error = "category " + code + ": reference " + std::to_string(i + 1) + " (" +
                     Shown(record->referenceTexts[i]) + ") names no node of the quotations tree";
        return snap;
      }
      ++named[it->second];
      categoryLines.push_back("  R " + quotationCodes[it->second] + " " +
                              Escaped(record->referenceTexts[i]));
    }
    references += record->referenceTargets.size();
    entries += record->subjectEntries.size();
  }

  for (size_t i = 0; i < quotationNodes.size(); ++i) {
    const uintptr_t count = db.quotations.GetItemData(quotationNodes[i]);
    if (count != named[i]) {
      snap.error = "quotation " + quotationCodes[i] + " counts " + std::to_string(count) +
                   " references, " + std::to_string(named[i]) + " name it";
      return snap;
    }
    snap.lines.push_back("Q " + quotationCodes[i] + " [" + std::to_string(count) + "] " +
                         Escaped(db.quotations.GetItemText(quotationNodes[i])));
  }
  snap.lines.insert(snap.lines.end(), categoryLines.begin(), categoryLines.end());

  if (db.referenceTotal < 0 || static_cast<size_t>(db.referenceTotal) != references) {
    snap.error = "referenceTotal is " + std::to_string(db.referenceTotal) + ", the records hold " +
                 std::to_string(references);
    return snap;
  }
  if (db.subjectTotal < 0 || static_cast<size_t>(db.subjectTotal) != entries) {
    snap.error = "subjectTotal is " + std::to_string(db.subjectTotal) + ", the records hold " +
                 std::to_string(entries);
    return snap;
  }
  snap.lines.push_back("referenceTotal " + std::to_string(db.referenceTotal));
  snap.lines.push_back("subjectTotal " + std::to_string(db.subjectTotal));
  snap.listAt = snap.lines.size();

  // The list must hold the records' entries in collation order, equal ones
  // in the order the file gives them: categories in pre-order, each
  // category's entries in its own order.
  struct Expected {
    std::string key;
    const std::string* text;
    HTREEITEM category;
    bool used = false;
  };
  std::vector<Expected> expected;
  std::string buffer;
  for (const auto& [node, code] : categories)
    for (const std::string& entry : db.Record(node)->subjectEntries)
      expected.push_back({std::string(CollationKey(entry, buffer)), &entry, node});
  std::stable_sort(expected.begin(), expected.end(),
                   [](const Expected& a, const Expected& b) { return a.key < b.key; });
  if (static_cast<size_t>(db.subjects.GetCount()) != expected.size()) {
    snap.error = "the subject index list has " + std::to_string(db.subjects.GetCount()) +
                 " entries, the records " + std::to_string(expected.size());
    return snap;
  }
  for (int i = 0; i < db.subjects.GetCount(); ++i) {
    const std::string_view text = db.subjects.GetLBText(i);
    auto it = categoryCode.find(db.subjects.GetItemData(i));
    if (it == categoryCode.end()) {
      snap.error = "subject index entry " + std::to_string(i) + " (" + Shown(text) +
                   ") names no category node";
      return snap;
    }
    const Expected& want = expected[static_cast<size_t>(i)];
    bool found = text == *want.text && it->first == want.category;
    if (order == EntryOrder::kAnyAmongEquals) {
      // Any entry not yet seen among those that compare equal to the one expected here.
      found = false;
      for (Expected& e : expected)
        if (!e.used && e.key == want.key && *e.text == text && e.category == it->first) {
          e.used = found = true;
          break;
        }
    }
    if (!found) {
      snap.error = "subject index entry " + std::to_string(i) + " is " + Shown(text) +
                   " of category " + it->second + ", expected " + Shown(*want.text) +
                   " of category " + categoryCode[want.category];
      return snap;
    }
    snap.lines.push_back("L " + it->second + " " + Escaped(text));
  }
  return snap;
}

std::string FirstDifference(const Snapshot& a, const Snapshot& b) {
  const size_t n = std::min(a.lines.size(), b.lines.size());
  for (size_t i = 0; i < n; ++i)
    if (a.lines[i] != b.lines[i])
      return "item " + std::to_string(i) + ": " + Shown(a.lines[i], 300) + " | " +
             Shown(b.lines[i], 300);
  if (a.lines.size() != b.lines.size())
    return "one has " + std::to_string(a.lines.size()) + " items, the other " +
           std::to_string(b.lines.size()) +
           "; the first extra: " + Shown(a.lines.size() > n ? a.lines[n] : b.lines[n], 300);
  return "";
}

bool WriteScratch(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

// Physical lines of a file as the line reader counts them.
uint64_t PhysicalLines(std::string_view bytes) {
  const auto ends = static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  return ends + (!bytes.empty() && bytes.back() != '\n' ? 1 : 0);
}

// The bytes of the physical lines before the given 1-based line.
std::string_view LinesBefore(std::string_view bytes, uint64_t line) {
  size_t end = 0;
  for (uint64_t i = 1; i < line; ++i) end = bytes.find('\n', end) + 1;
  return bytes.substr(0, end);
}

// The logical line that starts at the given 1-based physical line, worked
// out here without the loader's reader: a physical line ends at LF, less one
// CR before it; while the joined line ends in "-", the "-" goes and the next
// physical line (nothing past the end of the file) is appended. False when
// no logical line starts there.
bool LogicalLineAt(std::string_view bytes, uint64_t line, std::string& logical) {
  uint64_t number = 0;
  size_t at = 0;
  auto physical = [&](std::string_view& piece) {
    if (at >= bytes.size()) return false;
    const size_t lf = bytes.find('\n', at);
    const size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    piece = bytes.substr(at, end - at);
    if (lf != std::string_view::npos && !piece.empty() && piece.back() == '\r')
      piece.remove_suffix(1);
    at = end + 1;
    ++number;
    return true;
  };
  std::string_view piece;
  while (number < line && physical(piece)) {
    const uint64_t first = number;
    logical.assign(piece);
    while (!logical.empty() && logical.back() == '-') {
      logical.pop_back();
      if (physical(piece)) logical.append(piece);
    }
    if (first == line) return true;
  }
  return false;
}

// What the result of a load says about itself, checked against the contract
// of LoadDatabase: a complete load has no message, reports nothing and is not
// marked partly loaded; a stopped one has both, reports its message once and
// quotes the line it names. Loading never marks the database changed.
std::string CheckResult(std::string_view bytes, const LoadResult& result, const Database& db,
                        const Recorder& reporter) {
  if (db.IsChanged()) return "loading marked the database changed";
  switch (result.status) {
    case LoadResult::kCannotOpen:
    case LoadResult::kMissing:
      return "cannot open the scratch file: " + result.message;
    case LoadResult::kComplete:
      if (!result.message.empty()) return "complete, yet with a message: " + Shown(result.message);
      if (db.partlyLoaded) return "complete, yet marked partly loaded";
      if (!reporter.reports.empty())
        return "complete, yet reported " + Shown(reporter.reports[0].first);
      return "";
    case LoadResult::kStopped:
      if (!db.partlyLoaded) return "stopped, yet not marked partly loaded";
      if (reporter.reports.size() != 1)
        return "stopped with " + std::to_string(reporter.reports.size()) + " reports";
      if (reporter.reports[0].first != result.message || reporter.reports[0].second != result.line)
        return "reported line " + std::to_string(reporter.reports[0].second) + ": " +
               Shown(reporter.reports[0].first) + ", but stopped at line " +
               std::to_string(result.line) + ": " + Shown(result.message);
      return CheckStopMessage(bytes, result.message, result.line);
  }
  return "unknown load status";
}

}  // namespace

std::string CheckStopMessage(std::string_view bytes, std::string_view message, uint64_t line) {
  const std::string at = "stopped at line " + std::to_string(line);
  if (line < 1 || line > PhysicalLines(bytes))
    return at + " of a file of " + std::to_string(PhysicalLines(bytes)) + " lines";
  std::string logical;
  if (!LogicalLineAt(bytes, line, logical)) return at + ", inside a continued line";
  if (message.size() < logical.size() || !message.ends_with(logical))
    return at + " with " + Shown(message) + ", which does not end with its line " + Shown(logical);
  // The fixed text: a short sentence of its own, whatever the line holds.
  const std::string_view fixed = message.substr(0, message.size() - logical.size());
  const bool printable = std::all_of(fixed.begin(), fixed.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
  });
  if (!printable || fixed.size() > 80 || !fixed.ends_with(": "))
    return at + ": " + Shown(message) + " is not a fixed text followed by its line " +
           Shown(logical);
  return "";
}

std::string DescribeLoad(const LoadResult& result, const Database& db) {
  Snapshot snap = Take(db);
  if (snap.error.empty()) {
    snap.lines.resize(snap.listAt);
  } else {
    snap.lines = {"inconsistent: " + snap.error};
  }
  switch (result.status) {
    case LoadResult::kComplete:
      snap.lines.insert(snap.lines.begin(), "complete");
      break;
    case LoadResult::kStopped:
      snap.lines.insert(snap.lines.begin(),
                        "stopped " + std::to_string(result.line) + " " + Escaped(result.message));
      break;
    case LoadResult::kCannotOpen:
    case LoadResult::kMissing:
      snap.lines = {"cannot open: " + Escaped(result.message)};
  }
  std::string out;
  for (const std::string& line : snap.lines) {
    // A blank that ends a line is escaped too, so that no editor takes it away.
    if (!line.empty() && line.back() == ' ')
      out.append(line, 0, line.size() - 1).append("\\x20\n");
    else
      out.append(line).append("\n");
  }
  return out;
}

std::string CheckConsistency(const Database& db, EntryOrder order) {
  return Take(db, order).error;
}

std::string CompareDatabases(const Database& a, const Database& b) {
  const Snapshot first = Take(a);
  if (!first.error.empty()) return "the first database: " + first.error;
  const Snapshot second = Take(b);
  if (!second.error.empty()) return "the second database: " + second.error;
  return FirstDifference(first, second);
}

std::string CheckRoundTrip(const std::string& bytes, const std::string& scratchDir) {
  // One set of names per process, so parallel fuzzing jobs keep apart.
  const std::string base = scratchDir + "/lorelist-round-trip-" + std::to_string(::getpid());
  const std::string inputPath = base + "-input.txt";
  const std::string prefixPath = base + "-prefix.txt";
  const std::string writtenPath = base + "-written.txt";

  if (!WriteScratch(inputPath, bytes)) return "cannot write the scratch file " + inputPath;
  Database first;
  Recorder reporter;
  const LoadResult loaded = LoadDatabase(first, inputPath, &reporter);
  if (std::string e = CheckResult(bytes, loaded, first, reporter); !e.empty())
    return "loading the input: " + e;
  const Snapshot firstSnap = Take(first);
  if (!firstSnap.error.empty()) return "the loaded database: " + firstSnap.error;

  if (loaded.status == LoadResult::kStopped) {
    // What was kept must be exactly what the lines before the failing one
    // give on their own.
    const std::string_view before = LinesBefore(bytes, loaded.line);
    if (!WriteScratch(prefixPath, before)) return "cannot write the scratch file " + prefixPath;
    Database prefix;
    const LoadResult prefixLoaded = LoadDatabase(prefix, prefixPath);
    if (prefixLoaded.status != LoadResult::kComplete)
      return "loading stopped at line " + std::to_string(loaded.line) + " (" +
             Shown(loaded.message) + "), but the lines before it stop at line " +
             std::to_string(prefixLoaded.line) + ": " + Shown(prefixLoaded.message);
    const Snapshot prefixSnap = Take(prefix);
    if (!prefixSnap.error.empty()) return "the lines before the error: " + prefixSnap.error;
    if (std::string d = FirstDifference(firstSnap, prefixSnap); !d.empty())
      return "loading stopped at line " + std::to_string(loaded.line) +
             ", keeping other than the lines before it give: " + d;
  }

  const std::string written = Written(first);
  if (!WriteScratch(writtenPath, written)) return "cannot write the scratch file " + writtenPath;
  Database second;
  Recorder rereporter;
  const LoadResult reloaded = LoadDatabase(second, writtenPath, &rereporter);
  if (reloaded.status != LoadResult::kComplete)
    return "the written database does not load completely: line " + std::to_string(reloaded.line) +
           ": " + Shown(reloaded.message, 300);
  if (std::string e = CheckResult(written, reloaded, second, rereporter); !e.empty())
    return "loading the written database: " + e;
  const Snapshot secondSnap = Take(second);
  if (!secondSnap.error.empty()) return "the reloaded database: " + secondSnap.error;
  if (std::string d = FirstDifference(firstSnap, secondSnap); !d.empty())
    return "the reloaded database differs (loaded | reloaded): " + d;

  const std::string rewritten = Written(second);
  if (rewritten != written) {
    size_t at = 0;
    while (at < written.size() && at < rewritten.size() && written[at] == rewritten[at]) ++at;
    const size_t from = at < 40 ? 0 : at - 40;
    return "writing the reloaded database gives other bytes from offset " + std::to_string(at) +
           ": " + Shown(std::string_view(written).substr(from, 120)) + " | " +
           Shown(std::string_view(rewritten).substr(from, 120));
  }
  return "";
}

}  // namespace lorelist::test
