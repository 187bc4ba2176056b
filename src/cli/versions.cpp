#include "cli/versions.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "db/history.h"
#include "db/load.h"
#include "db/merge.h"
#include "db/save.h"

namespace lorelist::cli {

namespace {

constexpr int kSame = 0, kDiffer = 1, kTrouble = 2;

// Each version is read whole or not at all: a merge of part of a dictionary
// would lose the rest.
bool LoadWhole(Database& db, const std::string& file) {
  const LoadResult result = LoadDatabase(db, file);
  if (result.status == LoadResult::kComplete) return true;
  std::string message = result.message;
  if (result.status == LoadResult::kStopped)
    message = file + ":" + std::to_string(result.line) + ": " + result.message;
  std::fprintf(stderr, "%s\n", message.c_str());
  return false;
}

std::string Code(HTREEITEM node) {
  return node ? NodeCode(node) : "-";
}

std::string Text(std::string_view text, const Database& db);

// A node's text, or "-" for none.
std::string NodeText(HTREEITEM node, Tree tree, const Database& db) {
  return node ? Text(db.Of(tree).GetItemText(node), db) : "-";
}

std::string Text(std::string_view text, const Database& db) {
  std::string utf8;
  AppendAsUtf8(utf8, text, db.encoding);
  return utf8;
}

const char* TreeLetter(Tree tree) {
  return tree == Tree::kQuotations ? "Q" : "C";
}

// One line for a change of b against a: what, which tree, the codes in a
// and in b, and the texts (in UTF-8).
std::string Line(const Change& c, const Database& a, const Database& b) {
  const std::string codes =
      std::string(TreeLetter(c.tree)) + " " + Code(c.mine) + " " + Code(c.theirs);
  switch (c.kind) {
    case Change::kInserted:
      return "inserted " + std::string(TreeLetter(c.tree)) + " - " + Code(c.theirs) + " " +
             NodeText(c.theirs, c.tree, b);
    case Change::kDeleted:
      return "deleted " + codes + " " + NodeText(c.mine, c.tree, a);
    case Change::kText:
      return "changed " + codes + " " + NodeText(c.mine, c.tree, a) + " => " +
             NodeText(c.theirs, c.tree, b);
    case Change::kMoved:
      return "moved " + codes + " " + NodeText(c.theirs, c.tree, b);
    case Change::kReferenceAdded:
      return "added reference " + codes + " to Q " + Code(c.quotationMine) + " " +
             Code(c.quotationTheirs) + ": " + Text(c.text, b);
    case Change::kReferenceDeleted:
      return "deleted reference " + codes + " to Q " + Code(c.quotationMine) + " " +
             Code(c.quotationTheirs) + ": " + Text(c.text, a);
    case Change::kEntryAdded:
      return "added entry " + codes + ": " + Text(c.text, b);
    case Change::kEntryDeleted:
      return "deleted entry " + codes + ": " + Text(c.text, a);
    case Change::kEncoding:
      return "converted to " + std::string(c.text);
  }
  return {};
}

const char* ConflictWords(Change::Conflict conflict) {
  switch (conflict) {
    case Change::kTextTwice:
      return "both changed the text";
    case Change::kDeletedChanged:
      return "theirs deleted what mine changed";
    case Change::kChangedDeleted:
      return "theirs changed what mine deleted";
    case Change::kMovedTwice:
      return "each moved it elsewhere";
    case Change::kNone:
      break;
  }
  return "";
}

// A moment as local time, in ISO 8601: 2026-01-02T10:00:00+01:00.
std::string LocalTime(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  struct tm local;
  if (!localtime_r(&time, &local)) return std::to_string(seconds);
  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = std::labs(local.tm_gmtoff);
  std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld",
                local.tm_gmtoff < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
  return text;
}

// The differences that make `from` into `to`, counted by kind.
std::string Counts(const Database& from, const Database& to) {
  size_t counts[Change::kEncoding + 1] = {};
  std::string converted;
  for (const Change& change : Differences(from, to)) {
    ++counts[change.kind];
    if (change.kind == Change::kEncoding) converted = "; converted to " + std::string(change.text);
  }
  const auto n = [&](Change::Kind kind) { return std::to_string(counts[kind]); };
  return n(Change::kInserted) + " inserted, " + n(Change::kDeleted) + " deleted, " +
         n(Change::kText) + " changed, " + n(Change::kMoved) +
         " moved; references: " + n(Change::kReferenceAdded) + " added, " +
         n(Change::kReferenceDeleted) + " deleted; entries: " + n(Change::kEntryAdded) +
         " added, " + n(Change::kEntryDeleted) + " deleted" + converted;
}

}  // namespace

int Diff(const Arguments& args) {
  Database a, b;
  if (!LoadWhole(a, args.plain[0]) || !LoadWhole(b, args.plain[1])) return kTrouble;
  const std::vector<Change> changes = Differences(a, b);
  std::string out;
  for (const Change& change : changes) out += Line(change, a, b) + "\n";
  WriteOut(out);
  return changes.empty() ? kSame : kDiffer;
}

int Merge(const Arguments& args) {
  const bool ours = args.Has("--ours"), theirs = args.Has("--theirs");
  if (ours && theirs) return Refuse(args, "give one of --ours and --theirs");
  const std::string out = args.Value("-o");
  if (out.empty()) return Refuse(args, "-o OUT is required");
  Database base, mine, other;
  if (!LoadWhole(base, args.plain[0]) || !LoadWhole(mine, args.plain[1]) ||
      !LoadWhole(other, args.plain[2]))
    return kTrouble;
  MergePlan plan(base, mine, other);
  if (ours || theirs) plan.TakeTheirsInConflicts(theirs);
  // Conflicts settled as mine are told: OUT holds mine for each.
  size_t unsettled = 0;
  for (const Change& change : plan.changes)
    if (change.conflict != Change::kNone && !ours && !theirs) {
      ++unsettled;
      std::fprintf(stderr, "conflict (%s, kept as mine): %s\n", ConflictWords(change.conflict),
                   Line(change, mine, other).c_str());
    }
  if (const std::string refusal = plan.Apply(mine); !refusal.empty()) {
    std::fprintf(stderr, "Cannot merge: %s\n", refusal.c_str());
    return kTrouble;
  }
  const SaveResult saved = WriteDatabaseFile(mine, out);
  if (!saved.ok) {
    std::fprintf(stderr, "%s\n", saved.message.c_str());
    return kTrouble;
  }
  return unsettled ? kDiffer : kSame;
}

int History(const Arguments& args) {
  std::string folder = args.plain[0];
  // The editor takes a dictionary's file for its folder; so does this.
  struct stat st;
  if (BaseName(folder) == kDatabaseFile && ::stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    folder = DirectoryOf(folder);
  const std::string file = JoinPath(folder, kDatabaseFile);
  Database current;
  const LoadResult loaded = LoadDatabase(current, file);
  if (loaded.status == LoadResult::kCannotOpen || loaded.status == LoadResult::kMissing) {
    std::fprintf(stderr, "%s\n", loaded.message.c_str());
    return kTrouble;
  }
  // Without the whole current file there is nothing to count against.
  const bool whole = loaded.status == LoadResult::kComplete;
  if (!whole)
    std::fprintf(stderr, "%s:%llu: %s\n", file.c_str(),
                 static_cast<unsigned long long>(loaded.line), loaded.message.c_str());
  VersionHistory history(folder);
  const std::vector<Version> versions = history.Versions();
  if (!history.Reported().empty()) {
    std::fprintf(stderr, "%s\n", history.Reported().c_str());
    return kTrouble;
  }
  if (versions.empty())
    std::fprintf(stderr, "No versions of %s are kept.\n", AbsolutePath(file).c_str());
  bool damaged = false;
  Database kept;
  for (const Version& v : versions) {
    std::string line = LocalTime(v.kept) + (v.how == Version::kSaved ? " saved " : " loaded ") +
                       std::to_string(v.size) + " bytes " + EncodingName(v.encoding) + " " +
                       VersionName(v.checksum);
    const LoadResult read = history.Load(v, kept);
    if (read.status == LoadResult::kStopped) {
      line += ": does not load whole, line " + std::to_string(read.line) + ": " + read.message;
    } else if (read.status != LoadResult::kComplete) {
      damaged = true;
      line += ": cannot be read: " + read.message;
    } else if (whole) {
      line += ": " + Counts(kept, current);
    }
    WriteOut(line + "\n");
  }
  return damaged ? kTrouble : whole ? kSame : kDiffer;
}

}  // namespace lorelist::cli
