#include "fuzz/round_trip.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/collation.h"
#include "db/load.h"
#include "support/capture_ops.h"
#include "support/loaded.h"

namespace lorelist::test {

namespace {

// Bytes made readable, one way only: backslash and anything unprintable are
// escaped, so equal texts give equal results and different texts different
// ones.
std::string Escaped(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\')
      out += "\\\\";
    else if (u >= 0x20 && u < 0x7f)
      out += c;
    else
      out += {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
  }
  return out;
}

// An escaped text cut to a length a message can show.
std::string Shown(std::string_view text, size_t limit = 200) {
  return Escaped(text.substr(0, limit)) + (text.size() > limit ? "..." : "");
}

// Visits every node of a tree in pre-order by rows, giving each its code from
// its position ("2.1.4"), and checks that each node's parent and row are the
// ones it was reached by. The stack is explicit: a faulty tree might be far
// deeper than a loaded one should be.
template <typename Visit>
std::string WalkTree(const TreeStore& tree, const std::string& name, Visit visit) {
  struct Frame {
    HTREEITEM parent;
    int row, count;
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
    code += (code.empty() ? "" : ".") + std::to_string(row + 1);
    const HTREEITEM node = tree.GetChildAt(parent, row);
    if (!node) return name + " tree: no node at " + code;
    if (tree.GetParentItem(node) != parent || tree.GetRow(node) != row)
      return name + " tree: node " + code + " names another parent or row";
    ++seen;
    visit(node, code);
    stack.push_back({node, 0, tree.GetChildCount(node), code.size()});
  }
  if (seen != tree.GetCount())
    return name + " tree: " + std::to_string(seen) + " nodes reached, " +
           std::to_string(tree.GetCount()) + " counted";
  return "";
}

// A database as a list of plain lines that name nodes by their codes, never
// by address, so that two databases compare line by line.
struct Snapshot {
  std::vector<std::string> lines;
  size_t listAt = 0;  // where the subject index list's lines begin
  std::string error;  // the first inconsistency found on the way
};

std::string Fill(Snapshot& snap, const Database& db, EntryOrder order) {
  if (db.encoding == Encoding::kUtf8) snap.lines.push_back("encoding utf-8");
  // Every text is one the file can hold in the dictionary's encoding.
  std::string unreadable;
  auto readable = [&](std::string_view text, const char* what) {
    if (unreadable.empty() && db.encoding == Encoding::kUtf8 && !IsValidUtf8(text))
      unreadable = std::string(what) + " " + Shown(text) + " is not UTF-8";
  };
  std::unordered_map<HTREEITEM, size_t> quotationIndex;
  std::vector<std::pair<HTREEITEM, std::string>> quotations, categories;
  std::string error = WalkTree(db.quotations, "quotations", [&](HTREEITEM node, const auto& code) {
    quotationIndex.emplace(node, quotations.size());
    quotations.emplace_back(node, code);
  });
  if (!error.empty()) return error;
  std::unordered_map<HTREEITEM, std::string> categoryCode;
  error = WalkTree(db.categories, "categories", [&](HTREEITEM node, const auto& code) {
    categoryCode.emplace(node, code);
    categories.emplace_back(node, code);
  });
  if (!error.empty()) return error;

  // The quotations' lines come first, once the references naming each are
  // counted.
  std::vector<uintptr_t> named(quotations.size(), 0);
  std::vector<std::string> categoryLines;
  size_t references = 0;
  // The subject entries the list must hold, as the records give them.
  struct Expected {
    std::string key;
    const std::string_view* text;
    HTREEITEM category;
    bool used = false;
  };
  std::vector<Expected> expected;
  std::string buffer;
  for (const auto& [node, code] : categories) {
    const CategoryRecord* record = db.Record(node);
    if (!record) return "category " + code + " has no record";
    categoryLines.push_back("C " + code + " " + Escaped(db.categories.GetItemText(node)));
    readable(db.categories.GetItemText(node), "category");
    for (const std::string_view& entry : record->subjectEntries) {
      readable(entry, "subject entry");
      categoryLines.push_back("  S " + Escaped(entry));
      expected.push_back({std::string(CollationKey(entry, buffer, db.encoding)), &entry, node});
    }
    if (record->referenceTexts.size() != record->referenceTargets.size())
      return "category " + code + " has not as many reference texts as targets";
    for (size_t i = 0; i < record->referenceTargets.size(); ++i) {
      // Looked up by address before anything reads through it: a target that
      // is no node of the tree must be reported, not followed.
      auto it = quotationIndex.find(record->referenceTargets[i]);
      if (it == quotationIndex.end())
        return "category " + code + ": reference " + std::to_string(i + 1) + " (" +
               Shown(record->referenceTexts[i]) + ") names no node of the quotations tree";
      ++named[it->second];
      readable(record->referenceTexts[i], "reference");
      categoryLines.push_back("  R " + quotations[it->second].second + " " +
                              Escaped(record->referenceTexts[i]));
    }
    references += record->referenceTargets.size();
  }
  for (size_t i = 0; i < quotations.size(); ++i) {
    const auto& [node, code] = quotations[i];
    const uintptr_t count = db.quotations.GetItemData(node);
    if (count != named[i])
      return "quotation " + code + " counts " + std::to_string(count) + " references, " +
             std::to_string(named[i]) + " name it";
    snap.lines.push_back("Q " + code + " [" + std::to_string(count) + "] " +
                         Escaped(db.quotations.GetItemText(node)));
    readable(db.quotations.GetItemText(node), "quotation");
  }
  if (!unreadable.empty()) return unreadable;
  snap.lines.insert(snap.lines.end(), categoryLines.begin(), categoryLines.end());
  snap.lines.push_back("referenceTotal " + std::to_string(db.referenceTotal));
  snap.lines.push_back("subjectTotal " + std::to_string(db.subjectTotal));
  if (db.referenceTotal < 0 || static_cast<size_t>(db.referenceTotal) != references ||
      db.subjectTotal < 0 || static_cast<size_t>(db.subjectTotal) != expected.size())
    return "the totals are " + std::to_string(db.referenceTotal) + " references and " +
           std::to_string(db.subjectTotal) + " subject entries, the records hold " +
           std::to_string(references) + " and " + std::to_string(expected.size());
  snap.listAt = snap.lines.size();

  // The list must hold the records' entries in collation order, equal ones
  // in the order the file gives them: categories in pre-order, each
  // category's entries in its own order.
  std::stable_sort(expected.begin(), expected.end(),
                   [](const Expected& a, const Expected& b) { return a.key < b.key; });
  if (static_cast<size_t>(db.subjects.GetCount()) != expected.size())
    return "the subject index list has " + std::to_string(db.subjects.GetCount()) +
           " entries, the records " + std::to_string(expected.size());
  for (int i = 0; i < db.subjects.GetCount(); ++i) {
    const std::string_view text = db.subjects.GetLBText(i);
    auto it = categoryCode.find(db.subjects.GetItemData(i));
    if (it == categoryCode.end())
      return "subject index entry " + std::to_string(i) + " (" + Shown(text) +
             ") names no category node";
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
    if (!found)
      return "subject index entry " + std::to_string(i) + " is " + Shown(text) + " of category " +
             it->second + ", expected " + Shown(*want.text) + " of category " +
             categoryCode[want.category];
    snap.lines.push_back("L " + it->second + " " + Escaped(text));
  }
  return "";
}

Snapshot Take(const Database& db, EntryOrder order = EntryOrder::kAsLoaded) {
  Snapshot snap;
  snap.error = Fill(snap, db, order);
  return snap;
}

std::string FirstDifference(const Snapshot& a, const Snapshot& b) {
  const auto [one, other] =
      std::mismatch(a.lines.begin(), a.lines.end(), b.lines.begin(), b.lines.end());
  if (one == a.lines.end() && other == b.lines.end()) return "";
  return "item " + std::to_string(one - a.lines.begin()) + ": " +
         (one == a.lines.end() ? "(none)" : Shown(*one, 300)) + " | " +
         (other == b.lines.end() ? "(none)" : Shown(*other, 300));
}

// Loads the bytes from a scratch file written at path.
LoadResult LoadScratch(const std::string& path, std::string_view bytes, Database& db,
                       LoadReporter* reporter = nullptr) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out.fail()) return {LoadResult::kCannotOpen, "cannot write the scratch file " + path};
  return LoadDatabase(db, path, reporter);
}

// The logical line that starts at the given 1-based physical line, worked
// out here without the loader's reader: a physical line ends at LF, less one
// CR before it; while the joined line ends in "-", the "-" goes and the next
// physical line (nothing past the end of the file) is appended. False when
// no logical line starts there.
bool LogicalLineAt(std::string_view bytes, uint64_t line, std::string& logical) {
  // The byte-order mark of a UTF-8 file is no part of its first line.
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < bytes.size();) {
    const size_t lf = std::min(bytes.find('\n', at), bytes.size());
    std::string_view piece = bytes.substr(at, lf - at);
    if (lf < bytes.size() && piece.ends_with('\r')) piece.remove_suffix(1);
    lines.push_back(piece);
    at = lf + 1;
  }
  for (size_t i = 0; i < lines.size() && i < line;) {
    const size_t first = ++i;
    logical.assign(lines[first - 1]);
    while (logical.ends_with('-')) {
      logical.pop_back();
      if (i < lines.size()) logical.append(lines[i++]);
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
  const auto& reports = reporter.reports;
  switch (result.status) {
    case LoadResult::kCannotOpen:
    case LoadResult::kMissing:
      return "cannot open the scratch file: " + result.message;
    case LoadResult::kComplete:
      if (!result.message.empty() || db.partlyLoaded || !reports.empty())
        return "complete, yet with a message, marked partly loaded or reported: " +
               Shown(result.message + (reports.empty() ? "" : " | " + reports[0].first));
      return "";
    case LoadResult::kStopped:
      if (!db.partlyLoaded) return "stopped, yet not marked partly loaded";
      if (reports.size() != 1 || reports[0].first != result.message ||
          reports[0].second != result.line)
        return std::to_string(reports.size()) + " reports of a load stopped at line " +
               std::to_string(result.line) + ": " + Shown(result.message);
      return CheckStopMessage(bytes, result.message, result.line);
  }
  return "unknown load status";
}

}  // namespace

std::string CheckStopMessage(std::string_view bytes, std::string_view message, uint64_t line) {
  const std::string at = "stopped at line " + std::to_string(line);
  std::string logical;
  if (!LogicalLineAt(bytes, line, logical))
    return at + ", past the end of the file or inside a continued line";
  // A UTF-8 file's line that is not UTF-8 is quoted as text.
  if (bytes.starts_with(kByteOrderMark) && !IsValidUtf8(logical)) {
    std::string shown;
    AppendAsUtf8(shown, logical, Encoding::kUtf8);
    if (message != kNotUtf8Line + shown)
      return at + " with " + Shown(message) + ", not the line that is not UTF-8 " + Shown(logical);
    return "";
  }
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
  if (snap.error.empty())
    snap.lines.resize(snap.listAt);
  else
    snap.lines = {"inconsistent: " + snap.error};
  if (result.status == LoadResult::kComplete)
    snap.lines.insert(snap.lines.begin(), "complete");
  else if (result.status == LoadResult::kStopped)
    snap.lines.insert(snap.lines.begin(),
                      "stopped " + std::to_string(result.line) + " " + Escaped(result.message));
  else
    snap.lines = {"cannot open: " + Escaped(result.message)};
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
  Database first;
  Recorder reporter;
  const LoadResult loaded = LoadScratch(base + "-input.txt", bytes, first, &reporter);
  if (std::string e = CheckResult(bytes, loaded, first, reporter); !e.empty())
    return "loading the input: " + e;
  const Snapshot firstSnap = Take(first);
  if (!firstSnap.error.empty()) return "the loaded database: " + firstSnap.error;

  if (loaded.status == LoadResult::kStopped) {
    // What was kept must be exactly what the lines before the failing one
    // give on their own.
    // A UTF-8 file's mark stays: the lines before give a UTF-8 dictionary.
    size_t end = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    for (uint64_t i = 1; i < loaded.line; ++i) end = bytes.find('\n', end) + 1;
    Database prefix;
    const LoadResult prefixLoaded = LoadScratch(base + "-prefix.txt", bytes.substr(0, end), prefix);
    if (prefixLoaded.status != LoadResult::kComplete)
      return "loading stopped at line " + std::to_string(loaded.line) +
             ", but the lines before it stop at line " + std::to_string(prefixLoaded.line) + ": " +
             Shown(prefixLoaded.message);
    const Snapshot prefixSnap = Take(prefix);
    if (!prefixSnap.error.empty()) return "the lines before the error: " + prefixSnap.error;
    if (std::string d = FirstDifference(firstSnap, prefixSnap); !d.empty())
      return "loading stopped at line " + std::to_string(loaded.line) +
             ", keeping other than the lines before it give: " + d;
  }

  const std::string written = WrittenDatabase(first);
  Database second;
  Recorder rereporter;
  const LoadResult reloaded = LoadScratch(base + "-written.txt", written, second, &rereporter);
  if (reloaded.status != LoadResult::kComplete)
    return "the written database does not load completely: line " + std::to_string(reloaded.line) +
           ": " + Shown(reloaded.message, 300);
  if (std::string e = CheckResult(written, reloaded, second, rereporter); !e.empty())
    return "loading the written database: " + e;
  const Snapshot secondSnap = Take(second);
  if (!secondSnap.error.empty()) return "the reloaded database: " + secondSnap.error;
  if (std::string d = FirstDifference(firstSnap, secondSnap); !d.empty())
    return "the reloaded database differs (loaded | reloaded): " + d;

  const std::string rewritten = WrittenDatabase(second);
  if (rewritten == written) return "";
  const size_t at =
      std::mismatch(written.begin(), written.end(), rewritten.begin(), rewritten.end()).first -
      written.begin();
  return "writing the reloaded database gives other bytes from offset " + std::to_string(at) +
         ": " + Shown(written.substr(at, 120)) + " | " + Shown(rewritten.substr(at, 120));
}

}  // namespace lorelist::test
