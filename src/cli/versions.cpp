#include "cli/versions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "db/history.h"
#include "db/load.h"
#include "db/merge.h"
#include "db/save.h"

namespace lorelist::cli {

namespace {

constexpr int kSame = 0, kDiffer = 1, kTrouble = 2;

// The process ends right after its command: leaving the databases to the
// system is much faster than freeing millions of nodes one by one. (Held by
// a static, they stay reachable, so leak checkers do not count them.)
Database* NewDatabases() {
  static Database* const databases = new Database[3];
  return databases;
}

// Each version is read whole or not at all: a merge of part of a dictionary
// would lose the rest. The versions are read at the same time, each on a
// thread of its own; what went wrong is told in the order of the files.
bool LoadWhole(Database* databases, const std::vector<std::string>& files) {
  std::vector<LoadResult> results(files.size());
  {
    std::vector<std::jthread> loads;
    for (size_t i = 0; i < files.size(); ++i)
      loads.emplace_back([&, i] { results[i] = LoadDatabase(databases[i], files[i]); });
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const LoadResult& result = results[i];
    // Whatever the command, a file in the wrong encoding is worth a word.
    if (result.looksLikeUtf8) std::fprintf(stderr, "%s\n", Utf8Notice(files[i]).c_str());
    if (result.status == LoadResult::kComplete) continue;
    std::string message = result.message;
    if (result.status == LoadResult::kStopped)
      message = files[i] + ":" + std::to_string(result.line) + ": " + result.message;
    std::fprintf(stderr, "%s\n", message.c_str());
    return false;
  }
  return true;
}

// A text as a line shows it: in UTF-8, in double quotes, a quote and a
// backslash escaped with a backslash, a control character as \t or \xHH
// (\u00HH beyond ASCII). A text may hold anything but a line break, blanks
// at its ends and " => " included: quoted, two texts on a line stay apart,
// and an empty text shows.
void AppendQuoted(std::string& line, std::string_view text, Encoding encoding) {
  std::string utf8;
  AppendAsUtf8(utf8, text, encoding);
  line += '"';
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const bool c1 = c == 0xC2 && i + 1 < utf8.size() && uint8_t(utf8[i + 1]) < 0xA0;
    if (c == '"' || c == '\\') {
      line += '\\';
      line += char(c);
    } else if (c == '\t') {
      line += "\\t";
    } else if (c < 0x20 || c == 0x7F || c1) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, c1 ? "\\u00%02X" : "\\x%02X",
                    c1 ? uint8_t(utf8[++i]) : c);
      line += escaped;
    } else {
      line += char(c);
    }
  }
  line += '"';
}

// One line for a change of b against a (of theirs against mine in a
// merge): "KIND TREE CODE-IN-A CODE-IN-B", "-" for a version without the
// node, then the texts. A reference names its quotation by the code it has
// in the version that holds the reference: a for one deleted, b for one
// added.
std::string Line(const Change& c, const Database& a, const Database& b) {
  static constexpr const char* kKinds[] = {"inserted",    "deleted",         "changed",
                                           "moved",       "added-reference", "deleted-reference",
                                           "added-entry", "deleted-entry",   "converted"};
  std::string line = kKinds[c.kind];
  if (c.kind == Change::kEncoding) return line + " to " + std::string(c.text);
  auto code = [&](HTREEITEM node) {
    line += ' ';
    if (node)
      AppendNodeCode(line, node);
    else
      line += '-';
  };
  auto text = [&](HTREEITEM node, const Database& db) {
    line += ' ';
    if (node)
      AppendQuoted(line, db.Of(c.tree).GetItemText(node), db.encoding);
    else
      line += '-';
  };
  line += c.tree == Tree::kQuotations ? " Q" : " C";
  code(c.kind == Change::kInserted ? nullptr : c.mine);  // an insertion's mine: its parent
  code(c.theirs);
  const bool added = c.kind == Change::kReferenceAdded || c.kind == Change::kEntryAdded;
  switch (c.kind) {
    case Change::kInserted:
    case Change::kMoved:
      text(c.theirs, b);
      break;
    case Change::kDeleted:
      text(c.mine, a);
      break;
    case Change::kText:
      text(c.mine, a);
      text(c.theirs, b);
      break;
    case Change::kReferenceAdded:
    case Change::kReferenceDeleted:
      line += " to Q";
      code(added ? c.quotationTheirs : c.quotationMine);
      [[fallthrough]];
    default:
      line += ' ';
      AppendQuoted(line, c.text, added ? b.encoding : a.encoding);
  }
  return line;
}

// The changes in the order a reader meets them in the file: the encoding,
// the quotations, the categories, then the categories' subject entries and
// references.
std::vector<const Change*> InFileOrder(const std::vector<Change>& changes) {
  auto part = [](const Change* c) {
    if (c->kind == Change::kEncoding) return 0;
    if (c->kind >= Change::kReferenceAdded) return 3;
    return c->tree == Tree::kQuotations ? 1 : 2;
  };
  std::vector<const Change*> ordered;
  for (const Change& change : changes) ordered.push_back(&change);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [&](const Change* x, const Change* y) { return part(x) < part(y); });
  return ordered;
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
    case Change::kCannotMake:
      return "it cannot be made in mine";
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
  Database* versions = NewDatabases();
  if (!LoadWhole(versions, args.plain)) return kTrouble;
  const Database &a = versions[0], &b = versions[1];
  const std::vector<Change> changes = Differences(a, b);
  std::string out;
  for (const Change* change : InFileOrder(changes)) out += Line(*change, a, b) + "\n";
  WriteOut(out);
  return changes.empty() ? kSame : kDiffer;
}

int Merge(const Arguments& args) {
  const bool ours = args.Has("--ours"), theirs = args.Has("--theirs");
  if (ours && theirs) return Refuse(args, "give one of --ours and --theirs");
  const std::string out = args.Value("-o");
  if (out.empty()) return Refuse(args, "-o OUT is required");
  Database* versions = NewDatabases();
  if (!LoadWhole(versions, args.plain)) return kTrouble;
  Database &base = versions[0], &mine = versions[1], &other = versions[2];
  MergePlan plan(base, mine, other);
  if (ours || theirs) plan.TakeTheirsInConflicts(theirs);
  // Every conflict is told, settled or not: what a side loses is never
  // lost unseen.
  const char* settled = theirs ? "settled as theirs" : ours ? "settled as mine" : "kept as mine";
  for (const Change* change : InFileOrder(plan.changes))
    if (change->conflict != Change::kNone)
      std::fprintf(stderr, "conflict (%s, %s): %s\n", ConflictWords(change->conflict), settled,
                   Line(*change, mine, other).c_str());
  if (const std::string refusal = plan.Apply(mine); !refusal.empty()) {
    std::fprintf(stderr, "Cannot merge: %s\n", refusal.c_str());
    return kTrouble;
  }
  const SaveResult saved = WriteDatabaseFile(mine, out);
  if (!saved.ok) {
    std::fprintf(stderr, "%s\n", saved.message.c_str());
    return kTrouble;
  }
  return plan.Conflicts() && !ours && !theirs ? kDiffer : kSame;
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
