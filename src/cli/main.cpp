// lorelist-db: the command-line companion of the editor, on the same
// database layer. Other tools rely on its output and exit codes.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/export.h"
#include "cli/generate.h"
#include "db/charset.h"
#include "db/database.h"
#include "db/load.h"
#include "db/save.h"
#include "db/scan.h"
#include "db/search.h"
#include "db/statistics.h"

using namespace lorelist;

namespace {

constexpr int kOk = 0;
constexpr int kLoadError = 1;
constexpr int kUsage = 2;
constexpr int kFileError = 2;

const char* const kMainUsage =
    "Usage: lorelist-db COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  check [FILE]      check that FILE (default ./Florilex.txt) loads completely\n"
    "  stats [FILE]      print the seven Statistics counts of FILE\n"
    "  rewrite IN OUT    load IN and write OUT exactly as Save writes the database\n"
    "  search [--case] TEXT [FILE]\n"
    "                    list the quotation nodes whose text contains TEXT\n"
    "  export --html|--markdown [FILE] [-o OUT]\n"
    "                    write the database as a printable dictionary\n"
    "  generate --quotations N [--seed S] OUT\n"
    "                    write a synthetic database of N quotation nodes\n"
    "\n"
    "Run 'lorelist-db COMMAND --help' for more about a command.\n";

const char* const kCheckUsage =
    "Usage: lorelist-db check [FILE]\n"
    "Loads FILE (default ./Florilex.txt) with the editor's loading rules.\n"
    "Prints nothing and exits 0 when the whole file loads. Otherwise prints\n"
    "'FILE:N: MESSAGE' (N: the first physical line of the failing line) and\n"
    "exits 1; exits 2 when FILE cannot be opened.\n";

const char* const kStatsUsage =
    "Usage: lorelist-db stats [FILE]\n"
    "Prints the seven Statistics counts of FILE (default ./Florilex.txt), one\n"
    "'LABEL: N' per line. On a load error prints the counts of what was loaded,\n"
    "the error on standard error, and exits 1; exits 2 when FILE cannot be opened.\n";

const char* const kRewriteUsage =
    "Usage: lorelist-db rewrite IN OUT\n"
    "Loads IN and writes OUT exactly as Save writes the database, without a\n"
    "backup. On a load error writes nothing and exits 1; exits 2 when IN cannot\n"
    "be opened or OUT cannot be written.\n";

const char* const kSearchUsage =
    "Usage: lorelist-db search [--case] TEXT [FILE]\n"
    "Lists every quotation node of FILE (default ./Florilex.txt) whose text\n"
    "contains TEXT, in tree order, one a line: its code, a blank, its text in\n"
    "UTF-8. Case is ignored unless --case is given. Exits 0 when something was\n"
    "found, 1 when nothing was or FILE does not load (the error on standard\n"
    "error), 2 when FILE cannot be opened.\n";

const char* const kExportUsage =
    "Usage: lorelist-db export --html|--markdown [FILE] [-o OUT]\n"
    "Writes FILE (default ./Florilex.txt) as a printable dictionary: one UTF-8\n"
    "HTML document, or CommonMark, to OUT (default standard output). When FILE\n"
    "does not load, writes nothing, prints the error and exits 1; exits 2 when\n"
    "FILE cannot be opened or OUT cannot be written.\n";

const char* const kGenerateUsage =
    "Usage: lorelist-db generate --quotations N [--seed S] OUT\n"
    "Writes to OUT a synthetic database of N quotation nodes, the same for the\n"
    "same N and S (default seed 1), for benchmarks.\n";

// The process ends right after its one command: leaving the database to the
// system is much faster than freeing a million nodes one by one. (Held by a
// static, it stays reachable, so leak checkers do not count it.)
Database& NewDatabase() {
  static Database* database = new Database;
  return *database;
}

int Usage(const char* usage, const std::string& complaint) {
  std::fprintf(stderr, "lorelist-db: %s\n%s", complaint.c_str(), usage);
  return kUsage;
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h";
}

// Collects the plain arguments; anything that looks like an option is refused.
bool PlainArguments(const std::vector<std::string>& args, const char* usage,
                    std::vector<std::string>& plain, int& exitCode) {
  for (const std::string& arg : args) {
    if (IsHelp(arg)) {
      std::fputs(usage, stdout);
      exitCode = kOk;
      return false;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      exitCode = Usage(usage, "unknown option '" + arg + "'");
      return false;
    }
    plain.push_back(arg);
  }
  return true;
}

// A line of output, whole: a message quotes the file's line, which may hold
// NUL bytes.
void PutLine(std::FILE* out, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
}

std::string ErrorLine(const std::string& file, const LoadResult& result) {
  return file + ":" + std::to_string(result.line) + ": " + result.message;
}

int Check(const std::vector<std::string>& args) {
  std::vector<std::string> plain;
  int code = kOk;
  if (!PlainArguments(args, kCheckUsage, plain, code)) return code;
  if (plain.size() > 1) return Usage(kCheckUsage, "too many arguments");
  const std::string file = plain.empty() ? kDatabaseFile : plain[0];
  Database& db = NewDatabase();
  LoadResult result = LoadDatabase(db, file);
  if (result.status == LoadResult::kCannotOpen) {
    PutLine(stdout, result.message);
    return kFileError;
  }
  if (result.status == LoadResult::kStopped) {
    PutLine(stdout, ErrorLine(file, result));
    return kLoadError;
  }
  return kOk;
}

int Stats(const std::vector<std::string>& args) {
  std::vector<std::string> plain;
  int code = kOk;
  if (!PlainArguments(args, kStatsUsage, plain, code)) return code;
  if (plain.size() > 1) return Usage(kStatsUsage, "too many arguments");
  const std::string file = plain.empty() ? kDatabaseFile : plain[0];
  Database& db = NewDatabase();
  LoadResult result = LoadDatabase(db, file);
  if (result.status == LoadResult::kCannotOpen) {
    PutLine(stderr, result.message);
    return kFileError;
  }
  Statistics stats = CountStatistics(db);
  for (int row = 0; row < kStatisticsRows; ++row)
    std::printf("%s: %i\n", kStatisticsLabels[row], stats.Row(row));
  if (result.status == LoadResult::kStopped) {
    std::fflush(stdout);
    PutLine(stderr, ErrorLine(file, result));
    return kLoadError;
  }
  return kOk;
}

int Rewrite(const std::vector<std::string>& args) {
  std::vector<std::string> plain;
  int code = kOk;
  if (!PlainArguments(args, kRewriteUsage, plain, code)) return code;
  if (plain.size() != 2) return Usage(kRewriteUsage, "expects IN and OUT");
  Database& db = NewDatabase();
  LoadResult result = LoadDatabase(db, plain[0]);
  if (result.status == LoadResult::kCannotOpen) {
    PutLine(stderr, result.message);
    return kFileError;
  }
  if (result.status == LoadResult::kStopped) {
    PutLine(stderr, ErrorLine(plain[0], result));
    return kLoadError;
  }
  SaveResult saved = WriteDatabaseFile(db, plain[1]);
  if (!saved.ok) {
    PutLine(stderr, saved.message);
    return kFileError;
  }
  return kOk;
}

// Loads FILE for a command that needs all of it; prints why not and gives
// the exit code when it does not load.
bool LoadWhole(Database& db, const std::string& file, int& exitCode) {
  LoadResult result = LoadDatabase(db, file);
  if (result.status == LoadResult::kCannotOpen) {
    PutLine(stderr, result.message);
    exitCode = kFileError;
    return false;
  }
  if (result.status == LoadResult::kStopped) {
    PutLine(stderr, ErrorLine(file, result));
    exitCode = kLoadError;
    return false;
  }
  return true;
}

int Search(const std::vector<std::string>& args) {
  bool caseSignificant = false;
  std::vector<std::string> plain;
  for (const std::string& arg : args) {
    if (IsHelp(arg)) {
      std::fputs(kSearchUsage, stdout);
      return kOk;
    }
    if (arg == "--case")
      caseSignificant = true;
    else if (arg.size() > 1 && arg[0] == '-')
      return Usage(kSearchUsage, "unknown option '" + arg + "'");
    else
      plain.push_back(arg);
  }
  if (plain.empty() || plain.size() > 2)
    return Usage(kSearchUsage, "expects TEXT and at most one FILE");
  if (plain[0].empty()) return Usage(kSearchUsage, "TEXT must not be empty");
  const std::string file = plain.size() == 2 ? plain[1] : kDatabaseFile;

  // The text as the file's bytes; text that is not UTF-8 is taken as it stands.
  std::string pattern;
  bool matchable = true;
  switch (Utf8ToCp1252(plain[0], pattern)) {
    case Utf8Conversion::kDone:
      break;
    case Utf8Conversion::kNotUtf8:
      pattern = plain[0];
      break;
    case Utf8Conversion::kOutsideTheSet:
      matchable = false;  // no node can hold it
      break;
  }
  const TextMatcher matcher(pattern, caseSignificant);
  auto wanted = [&](std::string_view text) { return matchable && matcher.Matches(text); };
  std::string found;
  size_t hits = 0;
  auto show = [&](std::string_view code, std::string_view text) {
    ++hits;
    found.append(code).append(" ");
    AppendCp1252AsUtf8(found, text);
    found += '\n';
  };
  // One pass over the file, without building the database.
  if (!ScanDatabase(file, wanted, show)) {
    found.clear();
    hits = 0;
    // The scan only tells that the file does not load; loading tells why.
    int code = kLoadError;
    Database& db = NewDatabase();
    if (!LoadWhole(db, file, code)) return code;
    // It loads after all (it changed meanwhile): search what was loaded.
    const TreeStore& tree = db.quotations;
    if (HTREEITEM node = tree.GetRootItem()) {
      CodeWalker codes;
      for (;;) {
        if (wanted(tree.GetItemText(node))) show(codes.Code(), tree.GetItemText(node));
        const int step = NextNode(node, tree);
        if (step == kEndOfWalk) break;
        codes.Step(step);
      }
    }
  }
  std::fwrite(found.data(), 1, found.size(), stdout);
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

int Export(const std::vector<std::string>& args) {
  enum { kNone, kHtml, kMarkdown } format = kNone;
  std::string out;
  std::vector<std::string> plain;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelp(arg)) {
      std::fputs(kExportUsage, stdout);
      return kOk;
    }
    if (arg == "--html" || arg == "--markdown") {
      if (format != kNone) return Usage(kExportUsage, "give one of --html and --markdown");
      format = arg == "--html" ? kHtml : kMarkdown;
    } else if (arg == "-o") {
      if (i + 1 == args.size()) return Usage(kExportUsage, "-o needs a file");
      out = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(kExportUsage, "unknown option '" + arg + "'");
    } else {
      plain.push_back(arg);
    }
  }
  if (format == kNone) return Usage(kExportUsage, "give --html or --markdown");
  if (plain.size() > 1) return Usage(kExportUsage, "too many arguments");
  const std::string file = plain.empty() ? kDatabaseFile : plain[0];
  Database& db = NewDatabase();
  int code = kOk;
  if (!LoadWhole(db, file, code)) return code;

  const std::string temporary = out.empty() ? std::string() : out + ".lorelist-new";
  std::FILE* target = out.empty() ? stdout : std::fopen(temporary.c_str(), "wb");
  if (!target) {
    std::fprintf(stderr, "Cannot write %s: %s\n", out.c_str(), std::strerror(errno));
    return kFileError;
  }
  FileSink sink(target);
  if (format == kHtml)
    ExportHtml(db, file, sink);
  else
    ExportMarkdown(db, file, sink);
  bool written = sink.Finish();
  int error = sink.Error();
  if (!out.empty()) {
    if (std::fclose(target) != 0 && written) {
      written = false;
      error = errno;
    }
    if (written && std::rename(temporary.c_str(), out.c_str()) != 0) {
      written = false;
      error = errno;
    }
    if (!written) std::remove(temporary.c_str());
  }
  if (!written) {
    std::fprintf(stderr, "Cannot write %s: %s\n", out.empty() ? "standard output" : out.c_str(),
                 std::strerror(error));
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

int Generate(const std::vector<std::string>& args) {
  unsigned long long quotations = 0, seed = 1;
  bool haveCount = false;
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelp(arg)) {
      std::fputs(kGenerateUsage, stdout);
      return kOk;
    }
    if (arg == "--quotations" || arg == "--seed") {
      if (i + 1 == args.size()) return Usage(kGenerateUsage, arg + " needs a number");
      unsigned long long& target = arg == "--seed" ? seed : quotations;
      if (!ParseCount(args[++i], target))
        return Usage(kGenerateUsage, arg + " needs a number, not '" + args[i] + "'");
      if (arg == "--quotations") haveCount = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(kGenerateUsage, "unknown option '" + arg + "'");
    } else if (out.empty()) {
      out = arg;
    } else {
      return Usage(kGenerateUsage, "too many arguments");
    }
  }
  if (!haveCount) return Usage(kGenerateUsage, "--quotations N is required");
  if (quotations > 50'000'000ULL) return Usage(kGenerateUsage, "at most 50000000 quotations");
  if (out.empty()) return Usage(kGenerateUsage, "expects OUT");
  Database& db = NewDatabase();
  GenerateDatabase(db, static_cast<int64_t>(quotations), seed);
  SaveResult saved = WriteDatabaseFile(db, out);
  if (!saved.ok) {
    PutLine(stderr, saved.message);
    return kFileError;
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage(kMainUsage, "missing command");
  const std::string command = args[0];
  args.erase(args.begin());
  if (IsHelp(command)) {
    std::fputs(kMainUsage, stdout);
    return kOk;
  }
  if (command == "check") return Check(args);
  if (command == "stats") return Stats(args);
  if (command == "rewrite") return Rewrite(args);
  if (command == "generate") return Generate(args);
  if (command == "search") return Search(args);
  if (command == "export") return Export(args);
  return Usage(kMainUsage, "unknown command '" + command + "'");
}
