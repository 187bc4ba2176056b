// lorelist-db: the command-line companion of the editor, on the same
// database layer. Other tools rely on its output and exit codes.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/generate.h"
#include "cli/versions.h"
#include "db/charset.h"
#include "db/database.h"
#include "db/journal.h"
#include "db/load.h"
#include "db/save.h"
#include "db/scan.h"
#include "db/search.h"
#include "db/statistics.h"
#include "export/convert.h"
#include "export/export.h"

using namespace lorelist;
using namespace lorelist::cli;

namespace {

constexpr int kOk = 0;
constexpr int kLoadError = 1;
constexpr int kFileError = 2;

// Why standard output could not be written, once a command found out.
int stdoutError = 0;

// The process ends right after its one command: leaving the database to the
// system is much faster than freeing a million nodes one by one. (Held by a
// static, it stays reachable, so leak checkers do not count it.)
Database& NewDatabase() {
  static Database* database = new Database;
  return *database;
}

// A line of output, whole: a message quotes the file's line, which may hold
// NUL bytes.
void PutLine(std::FILE* out, const std::string& line) {
  if (out == stdout) {
    WriteOut(line + '\n');
    return;
  }
  std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
}

// Loads FILE, saying on `out` why it did not load whole: the message when
// it cannot be opened (exit code 2), "FILE:N: MESSAGE" when loading stopped
// (exit code 1). 0 when it loaded whole.
// missingIsNew: a FILE that does not exist is a new, empty database.
int Load(Database& db, const std::string& file, std::FILE* out, bool missingIsNew = false) {
  const LoadResult result = LoadDatabase(db, file);
  if (missingIsNew && result.status == LoadResult::kMissing) return kOk;
  // Whatever the command, a file in the wrong encoding is worth a word.
  if (result.looksLikeUtf8) PutLine(stderr, Utf8Notice(file));
  switch (result.status) {
    case LoadResult::kComplete:
      return kOk;
    case LoadResult::kCannotOpen:
    case LoadResult::kMissing:
      PutLine(out, result.message);
      return kFileError;
    case LoadResult::kStopped:
      PutLine(out, file + ":" + std::to_string(result.line) + ": " + result.message);
      return kLoadError;
  }
  return kLoadError;
}

std::string FileOr(const Arguments& args, size_t index, const char* otherwise) {
  return args.plain.size() > index ? args.plain[index] : otherwise;
}

int Check(const Arguments& args) {
  return Load(NewDatabase(), FileOr(args, 0, kDatabaseFile), stdout);
}

int Stats(const Arguments& args) {
  Database& db = NewDatabase();
  const int code = Load(db, FileOr(args, 0, kDatabaseFile), stderr);
  if (code == kFileError) return code;
  const Statistics stats = CountStatistics(db);
  for (int row = 0; row < kStatisticsRows; ++row)
    WriteOut(std::string(kStatisticsLabels[row]) + ": " + std::to_string(stats.Row(row)) + "\n");
  return code;
}

int Rewrite(const Arguments& args) {
  Database& db = NewDatabase();
  if (const int code = Load(db, args.plain[0], stderr)) return code;
  const SaveResult saved = WriteDatabaseFile(db, args.plain[1]);
  if (!saved.ok) {
    PutLine(stderr, saved.message);
    return kFileError;
  }
  return kOk;
}

int Recover(const Arguments& args) {
  const std::string& file = args.plain[0];
  const std::string& journal = args.plain[1];
  Database& db = NewDatabase();
  // A journal of a new dictionary was made before there was a file.
  if (const int code = Load(db, file, stderr, true)) return code;
  const JournalContents found = Journal::Read(journal, db, file);
  switch (found.status) {
    case JournalContents::kNone:
      PutLine(stderr, "Cannot open file " + journal);
      return kFileError;
    case JournalContents::kUnreadable:
      PutLine(stderr, "Cannot read the journal " + journal + ": " + found.reason);
      return kFileError;
    case JournalContents::kNotAJournal:
      PutLine(stderr,
              journal + " is not a recovery journal (" + found.reason + "): nothing was written");
      return kLoadError;
    case JournalContents::kOtherFile:
      PutLine(stderr, journal + " holds changes made to another version of " + file +
                          ": they cannot be applied; nothing was written");
      return kLoadError;
    case JournalContents::kNoEdits:
    case JournalContents::kApplies:
      break;
  }
  const size_t made = Journal::Replay(db, found.records);
  if (made < found.records.size() || found.damaged) PutLine(stderr, DamagedMessage(journal, made));
  const SaveResult saved = WriteDatabaseFile(db, args.plain[2]);
  if (!saved.ok) {
    PutLine(stderr, saved.message);
    return kFileError;
  }
  return kOk;
}

// The whole of a regular file; false, with the message on standard error,
// when it cannot be read.
bool ReadWhole(const std::string& path, std::string& bytes) {
  bool opened = false;
  const int error = ReadRegularFile(path, bytes, &opened);
  if (!error) return true;
  if (opened)
    PutLine(stderr, "Cannot read file " + path + ": " + SystemReason(error));
  else
    PutLine(stderr, "Cannot open file " + path + (error == ENOENT ? "" : ": " + FileReason(error)));
  return false;
}

int Convert(const Arguments& args) {
  const bool fromUtf8 = args.Has("--from-utf8"), toUtf8 = args.Has("--to-utf8"),
             markUtf8 = args.Has("--mark-utf8");
  if (fromUtf8 + toUtf8 + markUtf8 != 1)
    return Refuse(args, fromUtf8 || toUtf8 || markUtf8
                            ? "give one of --from-utf8, --to-utf8 and --mark-utf8"
                            : "give --from-utf8, --to-utf8 or --mark-utf8");
  const std::string& in = args.plain[0];
  std::string bytes, converted, refusal;
  if (!ReadWhole(in, bytes)) return kFileError;
  if (fromUtf8) refusal = ConvertFromUtf8(bytes, converted);
  if (refusal.empty()) {
    const SaveResult saved = WriteFileSafely(args.plain[1], [&](OutputFile& out) {
      const auto put = [&](std::string_view piece) { out.Put(piece); };
      if (fromUtf8)
        out.Put(converted);
      else
        refusal = toUtf8 ? ConvertToUtf8(bytes, put) : MarkAsUtf8(bytes, put);
      return refusal;  // a refusal takes the file it began away again
    });
    if (saved.ok) return kOk;
    if (refusal.empty()) {
      PutLine(stderr, saved.message);
      return kFileError;
    }
  }
  PutLine(stderr, in + ": " + refusal + "; nothing was written");
  return kLoadError;
}

int Search(const Arguments& args) {
  const std::string& text = args.plain[0];
  if (text.empty()) return Refuse(args, "TEXT must not be empty");
  const std::string file = FileOr(args, 1, kDatabaseFile);

  // The matcher, made once the file's encoding is known. TEXT comes as UTF-8:
  // a Windows-1252 file takes it converted (text that is not UTF-8 as it
  // stands; a character outside the set is in no node, and no matcher is
  // made), a UTF-8 file as it is, refusing text that is not UTF-8.
  Encoding encoding = Encoding::kWindows1252;
  std::optional<TextMatcher> matcher;
  bool notUtf8 = false;
  auto prepare = [&](Encoding fileEncoding) {
    encoding = fileEncoding;
    matcher.reset();
    notUtf8 = false;
    std::string pattern = text;
    if (encoding == Encoding::kUtf8) {
      notUtf8 = !IsValidUtf8(text);
      if (notUtf8) return;
    } else {
      switch (Utf8ToCp1252(text, pattern)) {
        case Utf8Conversion::kDone:
          break;
        case Utf8Conversion::kNotUtf8:
          pattern = text;
          break;
        case Utf8Conversion::kOutsideTheSet:
          return;
      }
    }
    matcher.emplace(pattern, args.Has("--case"), encoding);
  };
  auto refuse = [&] {
    return Refuse(args, "TEXT must be UTF-8 text to search a UTF-8 dictionary");
  };
  auto wanted = [&](std::string_view node) { return matcher && matcher->Matches(node); };
  // Written a block at a time: a search matching most nodes prints about as
  // much as the file holds.
  std::string found;
  size_t hits = 0;
  auto show = [&](std::string_view code, std::string_view node) {
    ++hits;
    found.append(code).append(" ");
    if (encoding == Encoding::kUtf8)
      found.append(node);
    else
      AppendCp1252AsUtf8(found, node);
    found += '\n';
    if (found.size() >= (size_t{1} << 20)) {
      WriteOut(found);
      found.clear();
    }
  };
  // One pass over the file, without building the database. The scan shows
  // nothing unless it returns true.
  const bool scanned = ScanDatabase(file, wanted, show, size_t{4} << 20, prepare);
  if (notUtf8) return refuse();
  if (!scanned) {
    // The scan only tells that the file does not load; loading tells why.
    Database& db = NewDatabase();
    if (const int code = Load(db, file, stderr)) return code;
    // It loads after all (it changed meanwhile): search what was loaded.
    prepare(db.encoding);
    if (notUtf8) return refuse();
    WalkWithCodes(db.quotations, [&](HTREEITEM node, std::string_view code, int) {
      if (wanted(db.quotations.GetItemText(node))) show(code, db.quotations.GetItemText(node));
    });
  }
  WriteOut(found);
  return hits ? kOk : kLoadError;
}

// Writes to standard output, or to a file through a temporary one beside it,
// renamed into place only when complete.
class FileSink : public ExportSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void Write(std::string_view text) override {
    if (!failed_ && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
      failed_ = true;
      error_ = errno;
    }
  }
  bool Finish() {
    if (std::fflush(file_) != 0 && !failed_) {
      failed_ = true;
      error_ = errno;
    }
    return !failed_;
  }
  int Error() const { return error_; }

 private:
  std::FILE* file_;
  bool failed_ = false;
  int error_ = 0;
};

int Export(const Arguments& args) {
  const bool html = args.Has("--html"), markdown = args.Has("--markdown");
  if (html == markdown)
    return Refuse(args, html ? "give one of --html and --markdown" : "give --html or --markdown");
  const std::string file = FileOr(args, 0, kDatabaseFile);
  const std::string out = args.Value("-o");
  Database& db = NewDatabase();
  if (const int code = Load(db, file, stderr)) return code;

  if (!out.empty()) {
    const SaveResult written =
        ExportToFile(db, html ? ExportFormat::kHtml : ExportFormat::kMarkdown, file, out);
    if (!written.ok) {
      PutLine(stderr, written.message);
      return kFileError;
    }
    return kOk;
  }
  FileSink sink(stdout);
  if (html)
    ExportHtml(db, file, sink);
  else
    ExportMarkdown(db, file, sink);
  if (!sink.Finish()) {
    stdoutError = sink.Error();  // main says so
    return kFileError;
  }
  return kOk;
}

bool ParseCount(const std::string& text, unsigned long long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}

int Generate(const Arguments& args) {
  unsigned long long quotations = 0, seed = 1;
  if (!args.Has("--quotations")) return Refuse(args, "--quotations N is required");
  for (const char* option : {"--quotations", "--seed"}) {
    if (!args.Has(option)) continue;
    unsigned long long& target = std::string(option) == "--seed" ? seed : quotations;
    if (!ParseCount(args.Value(option), target))
      return Refuse(args,
                    std::string(option) + " needs a number, not '" + args.Value(option) + "'");
  }
  if (quotations > 50'000'000ULL) return Refuse(args, "at most 50000000 quotations");
  Database& db = NewDatabase();
  GenerateDatabase(db, static_cast<int64_t>(quotations), seed,
                   args.Has("--utf8") ? Encoding::kUtf8 : Encoding::kWindows1252);
  const SaveResult saved = WriteDatabaseFile(db, args.plain[0]);
  if (!saved.ok) {
    PutLine(stderr, saved.message);
    return kFileError;
  }
  return kOk;
}

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> commands = {
      {"check",
       "[FILE]",
       "check that FILE (default ./Florilex.txt) loads completely",
       "Loads FILE (default ./Florilex.txt) with the editor's loading rules.\n"
       "Prints nothing and exits 0 when the whole file loads. Otherwise prints\n"
       "'FILE:N: MESSAGE' (N: the first physical line of the failing line) and\n"
       "exits 1; exits 2 when FILE cannot be opened.\n",
       {},
       0,
       1,
       Check},
      {"stats",
       "[FILE]",
       "print the seven Statistics counts of FILE",
       "Prints the seven Statistics counts of FILE (default ./Florilex.txt), one\n"
       "'LABEL: N' per line. On a load error prints the counts of what was loaded,\n"
       "the error on standard error, and exits 1; exits 2 when FILE cannot be opened.\n",
       {},
       0,
       1,
       Stats},
      {"rewrite",
       "IN OUT",
       "load IN and write OUT exactly as Save writes the database",
       "Loads IN and writes OUT exactly as Save writes the database, without a\n"
       "backup, keeping an existing OUT's mode and group, and a symbolic link in\n"
       "place. On a load error writes nothing and exits 1; exits 2 when IN cannot\n"
       "be opened or OUT cannot be written.\n",
       {},
       2,
       2,
       Rewrite},
      {"recover",
       "FILE JOURNAL OUT",
       "write FILE with the edits of a recovery journal applied",
       "Loads FILE, makes again the edits that the editor's recovery journal\n"
       "JOURNAL (LorJournal.BK! beside the file) kept, and writes OUT as Save\n"
       "would. A FILE that does not exist is a new dictionary, as the journal\n"
       "of one begun from nothing needs. A journal damaged part way is applied\n"
       "up to the damage, with a warning. Exits 1, writing nothing, when FILE\n"
       "does not load, or the journal was made on another version of FILE or is\n"
       "not a journal; 2 when a file cannot be opened or OUT cannot be written.\n",
       {},
       3,
       3,
       Recover},
      {"convert",
       "--from-utf8|--to-utf8|--mark-utf8 IN OUT",
       "convert between UTF-8 and Windows-1252, or mark UTF-8",
       "Writes OUT, line ends as they are, from IN:\n"
       "  --from-utf8  UTF-8 (with the byte-order mark or without) converted to\n"
       "               Windows-1252, without the mark;\n"
       "  --to-utf8    Windows-1252 converted to a UTF-8 dictionary, which starts\n"
       "               with the byte-order mark;\n"
       "  --mark-utf8  UTF-8 as it is, with the byte-order mark that tells Lorelist\n"
       "               it is a UTF-8 dictionary (IN marked already: OUT is IN).\n"
       "A character that Windows-1252 cannot hold, text that is not UTF-8, or a\n"
       "file marked as UTF-8 given to --to-utf8 stops the conversion with its line\n"
       "number: nothing is written and the exit code is 1; 2 when a file cannot\n"
       "be read or written.\n",
       {{"--from-utf8", false}, {"--to-utf8", false}, {"--mark-utf8", false}},
       2,
       2,
       Convert},
      {"search",
       "[--case] TEXT [FILE]",
       "list the quotation nodes whose text contains TEXT",
       "Lists every quotation node of FILE (default ./Florilex.txt) whose text\n"
       "contains TEXT, in tree order, one a line: its code, a blank, its text in\n"
       "UTF-8. Case is ignored unless --case is given. Exits 0 when something was\n"
       "found, 1 when nothing was or FILE does not load (the error on standard\n"
       "error), 2 when FILE cannot be opened.\n",
       {{"--case", false}},
       1,
       2,
       Search},
      {"export",
       "--html|--markdown [FILE] [-o OUT]",
       "write the database as a printable dictionary",
       "Writes FILE (default ./Florilex.txt) as a printable dictionary: one UTF-8\n"
       "HTML document, or CommonMark, to OUT (default standard output). When FILE\n"
       "does not load, writes nothing, prints the error and exits 1; exits 2 when\n"
       "FILE cannot be opened or OUT cannot be written.\n",
       {{"--html", false}, {"--markdown", false}, {"-o", true}},
       0,
       1,
       Export},
      {"diff",
       "A B",
       "list the differences of B from A, node by node",
       "Lists what B changed against A, one difference a line, in the terms of\n"
       "the editor's edits. Nodes are matched by their texts and places, so a\n"
       "node moved or edited is one difference. Each line is\n"
       "  KIND TREE CODE-IN-A CODE-IN-B TEXT...\n"
       "KIND is inserted (with its subtree), deleted, changed, moved,\n"
       "added-reference, deleted-reference, added-entry or deleted-entry; TREE\n"
       "Q or C; a code is - in the version without the node. The texts follow\n"
       "in double quotes, in UTF-8 (a quote, a backslash and a control character\n"
       "escaped as in C): B's, A's for what was deleted, and for changed A's\n"
       "then B's. A reference line names the category, then 'to Q CODE', its\n"
       "quotation in the version that holds the reference. Dictionaries of two\n"
       "encodings are compared by their characters: 'converted to utf-8' (or\n"
       "windows-1252) comes first. Exits 0 when the dictionaries are the same,\n"
       "1 when they differ, 2 when one cannot be read or does not load completely.\n",
       {},
       2,
       2,
       Diff},
      {"merge",
       "BASE MINE THEIRS -o OUT [--ours|--theirs]",
       "merge the changes two versions made to a common one",
       "Writes OUT: MINE with the changes that THEIRS made against BASE, their\n"
       "common version (an empty file when there is none). A change that meets\n"
       "one of MINE's is a conflict: the same text changed two ways; a node\n"
       "deleted on one side and changed, moved, given children or referenced on\n"
       "the other; a node moved to two places. Each is told on standard error,\n"
       "  conflict (REASON, kept as mine): LINE\n"
       "LINE as diff prints it, the codes in MINE and THEIRS; OUT keeps MINE's\n"
       "side and the exit code is 1. --ours or --theirs settles every conflict\n"
       "that way ('settled as mine', 'settled as theirs'), exit 0. What both did\n"
       "(a reference or an entry added twice) is done once. OUT is written whole\n"
       "or not at all, as rewrite writes it. As a git merge driver:\n"
       "  git config merge.lorelist.driver \"lorelist-db merge %O %A %B -o %A\"\n"
       "with \"Florilex.txt merge=lorelist\" in .gitattributes. Exits 2, writing\n"
       "nothing, when a file cannot be read or does not load completely, or OUT\n"
       "cannot be written.\n",
       {{"-o", true}, {"--ours", false}, {"--theirs", false}},
       3,
       3,
       Merge},
      {"history",
       "FOLDER",
       "list the versions of a dictionary that the editor kept",
       "Lists the versions of the dictionary in FOLDER (its Florilex.txt) that the\n"
       "editor kept when it loaded or saved the file, newest first, one a line: when\n"
       "(local time, ISO 8601), loaded or saved, the size in bytes, the encoding,\n"
       "the version's name (the checksum that names its files), and what the current\n"
       "file changed against it: nodes inserted, deleted, changed and moved,\n"
       "references and subject entries added and deleted. The versions are kept in\n"
       "$XDG_STATE_HOME/Lorelist (by default ~/.local/state/Lorelist), a folder for\n"
       "each dictionary; at most 50 of each, none older than 90 days but the newest\n"
       "5, and 500 MB compressed. A dictionary with none kept prints nothing (a note\n"
       "on standard error). Exits 0; 1 when the current file does not load whole\n"
       "(the lines then have no counts); 2 when FOLDER holds no dictionary, or the\n"
       "history or one of its versions cannot be read.\n",
       {},
       1,
       1,
       History},
      {"generate",
       "[--utf8] --quotations N [--seed S] OUT",
       "write a synthetic database of N quotation nodes",
       "Writes to OUT a synthetic database of N quotation nodes, the same for the\n"
       "same N and S (default seed 1), for benchmarks. In Windows-1252, or with\n"
       "--utf8 a UTF-8 dictionary whose texts hold letters of several scripts,\n"
       "with the same tree, references and subject entries.\n",
       {{"--quotations", true}, {"--seed", true}, {"--utf8", false}},
       1,
       1,
       Generate},
  };
  return commands;
}

}  // namespace

int main(int argc, char** argv) {
  const int code =
      RunCommandLine("lorelist-db", std::vector<std::string>(argv + 1, argv + argc), Subcommands());
  // Other tools read what it prints: output that did not arrive whole is a
  // failure, whatever the command found.
  if (!stdoutError) stdoutError = OutputError();
  if (std::fflush(stdout) != 0 && !stdoutError) stdoutError = errno;
  if (std::ferror(stdout) && !stdoutError) stdoutError = EIO;
  if (stdoutError) {
    std::fprintf(stderr, "Cannot write standard output: %s\n", std::strerror(stdoutError));
    return kFileError;
  }
  return code;
}
