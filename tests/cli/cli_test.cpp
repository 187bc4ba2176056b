// Runs lorelist-db as other tools do, through its output and exit codes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "db/journal.h"
#include "db/load.h"
#include "db/search.h"
#include "support/capture_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::Exists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Result {
  int code;
  std::string out;
  std::string err;
};

// Runs the command line in dir with the given arguments (no shell quoting
// needed: the tests use plain paths).
Result Lorelist(const TempDir& dir, const std::string& args) {
  const std::string out = dir.File(".stdout"), err = dir.File(".stderr");
  const std::string command = "cd " + dir.path() + " && " + LORELIST_DB_BINARY + " " + args + " >" +
                              out + " 2>" + err + " </dev/null";
  int status = std::system(command.c_str());
  return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

const std::string kGood =
    CrLf({"@Q1 Seneca", "@Q1.1 Letters", "@Q1.1.1 While we wait for life, life passes.",
          "@Q1.1.2 Luck is what happens when preparation meets opportunity.", "@Q2 Pascal", "@@",
          "@C1 Time", "@Stime", "@R1.1.1 waiting", "@C1.1 Haste", "@C2 Chance", "@Sluck",
          "@Sfortune", "@R1.1.2 ", "@R1.1.1 again"});

TEST(LorelistDbCheck, IsSilentOnAGoodFileAndNamesTheFailingLine) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kGood);
  Result good = Lorelist(dir, "check");  // ./Florilex.txt by default
  EXPECT_EQ(good.code, 0);
  EXPECT_EQ(good.out, "");

  WriteFile(dir.File("bad.txt"), CrLf({"@Q1 a", "@Q1.1 b", "@Q1.3 long text -", "over two lines"}));
  Result bad = Lorelist(dir, "check bad.txt");
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.out,
            "bad.txt:3: Final number does not increment by 1: @Q1.3 long text over two lines\n");

  // A line with NUL bytes is quoted whole.
  WriteFile(dir.File("nul.txt"), std::string("@Q1 a\r\nbad\0line\r\n", 17));
  EXPECT_EQ(Lorelist(dir, "check nul.txt").out,
            std::string("nul.txt:2: Line does not start with '@': bad\0line\n", 50));

  Result missing = Lorelist(dir, "check nothing.txt");
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.out, "Cannot open file nothing.txt\n");
}

TEST(LorelistDbStats, PrintsTheSevenCountsWithTheirLabels) {
  TempDir dir;
  WriteFile(dir.File("db.txt"), kGood);
  Result run = Lorelist(dir, "stats db.txt");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out,
            "quotation nodes at top level ('authors'?): 2\n"
            "quotation nodes at bottom level ('quotations'?): 3\n"
            "bottom level quotation nodes without references: 1\n"
            "references: 3\n"
            "subject index entries: 3\n"
            "category nodes: 3\n"
            "category nodes at bottom level: 2\n");

  // On a load error: the counts of what was loaded, the error apart.
  WriteFile(dir.File("part.txt"), CrLf({"@Q1 a", "@Q1.1 b", "@Q5 c"}));
  Result part = Lorelist(dir, "stats part.txt");
  EXPECT_EQ(part.code, 1);
  EXPECT_NE(part.out.find("quotation nodes at bottom level ('quotations'?): 1\n"),
            std::string::npos);
  EXPECT_EQ(part.err, "part.txt:3: Final number does not increment by 1: @Q5 c\n");
}

TEST(LorelistDbRewrite, WritesAsSaveDoesAndNothingOnAnError) {
  TempDir dir;
  // Lines broken differently and ended by LF alone come back in the saved form.
  WriteFile(dir.File("in.txt"), "@Q1 a -\nb\n@@\n@C1 c\n");
  Result run = Lorelist(dir, "rewrite in.txt out.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.File("out.txt")), CrLf({"@Q1 a b", "@@", "@C1 c"}));

  WriteFile(dir.File("bad.txt"), CrLf({"@Q2 x"}));
  Result bad = Lorelist(dir, "rewrite bad.txt never.txt");
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.err, "bad.txt:1: Final number does not increment by 1: @Q2 x\n");
  EXPECT_FALSE(Exists(dir.File("never.txt")));
}

TEST(LorelistDbRecover, AppliesAJournalMadeOnThisFileAndRefusesOneMadeOnAnother) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kGood);
  std::string expected;
  {
    Database db;
    ASSERT_EQ(LoadDatabase(db, dir.File("Florilex.txt")).status, LoadResult::kComplete);
    Journal journal(dir.path());
    db.SetJournal(&journal);
    ASSERT_EQ(db.MoveNode(Tree::kQuotations, db.quotations.GetChildAt(nullptr, 1), nullptr, 0), "");
    ASSERT_EQ(db.AddSubject(db.categories.GetRootItem(), "hours"), "");
    ASSERT_EQ(db.DeleteReference(db.categories.GetRootItem(), 0), "");
    ASSERT_TRUE(db.Undo());
    expected = test::WrittenDatabase(db);
    db.SetJournal(nullptr);
  }
  Result run = Lorelist(dir, "recover Florilex.txt LorJournal.BK! out.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(dir.File("out.txt")), expected);

  WriteFile(dir.File("other.txt"), kGood + "@C3 More\r\n");
  Result other = Lorelist(dir, "recover other.txt LorJournal.BK! never.txt");
  EXPECT_EQ(other.code, 1);
  EXPECT_EQ(other.err,
            "LorJournal.BK! holds changes made to another version of other.txt: they "
            "cannot be applied; nothing was written\n");
  EXPECT_FALSE(Exists(dir.File("never.txt")));
  EXPECT_EQ(Lorelist(dir, "recover Florilex.txt none never.txt").code, 2);

  // Not a journal at all: said, and nothing written.
  for (const char* text : {"", "plain words\n"}) {
    WriteFile(dir.File("words.txt"), text);
    Result words = Lorelist(dir, "recover Florilex.txt words.txt never.txt");
    EXPECT_EQ(words.code, 1);
    EXPECT_NE(words.err.find("words.txt is not a recovery journal"), std::string::npos)
        << words.err;
    EXPECT_FALSE(Exists(dir.File("never.txt")));
  }
}

// A record that editing refuses ends the replay there, as damage does: the
// edits before it are applied, and OUT loads whole.
TEST(LorelistDbRecover, StopsAtARecordThatEditingRefuses) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kGood);
  Database db;
  ASSERT_EQ(LoadDatabase(db, dir.File("Florilex.txt")).status, LoadResult::kComplete);
  for (const char* record : {"update Q 1 ends with -", "update Q 2 two\\nlines", "insert Q - 0 ",
                             "addref 1 0 1 ", "addsubj 1 0 end "}) {
    SCOPED_TRACE(record);
    WriteFile(dir.File("J"), Journal::Line(Journal::HeaderFor(db.disk)) +
                                 Journal::Line("update Q 1 first") + Journal::Line(record));
    Result run = Lorelist(dir, "recover Florilex.txt J out.txt");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, DamagedMessage("J", 1) + "\n");
    EXPECT_EQ(Lorelist(dir, "check out.txt").code, 0);
    EXPECT_NE(ReadFile(dir.File("out.txt")).find("@Q1 first\r\n"), std::string::npos);
  }
}

TEST(LorelistDbConvert, ChangesTheEncodingBothWaysAndStopsAtWhatCannotBeHeld) {
  TempDir dir;
  // Every byte of the set, the five undefined ones among them.
  std::string cp1252 = "@Q1 ";
  for (int b = 0x20; b < 0x100; ++b) cp1252 += static_cast<char>(b);
  cp1252 += "\r\n@@\r\n@C1 x\r\n";
  WriteFile(dir.File("cp1252.txt"), cp1252);
  Result to = Lorelist(dir, "convert --to-utf8 cp1252.txt utf8.txt");
  ASSERT_EQ(to.code, 0) << to.err;
  const std::string utf8 = ReadFile(dir.File("utf8.txt"));
  EXPECT_NE(utf8.find("\xE2\x82\xAC"), std::string::npos);  // 0x80, the euro sign
  EXPECT_NE(utf8.find("\xC3\xBF"), std::string::npos);      // 0xFF
  // Read as it is, the editor would warn about it.
  Result check = Lorelist(dir, "check utf8.txt");
  EXPECT_EQ(check.code, 0);
  EXPECT_EQ(check.err.rfind("utf8.txt looks like UTF-8 text.", 0), 0u) << check.err;
  EXPECT_EQ(Lorelist(dir, "check cp1252.txt").err, "");
  // And back, byte for byte, a byte order mark dropped.
  WriteFile(dir.File("bom.txt"), "\xEF\xBB\xBF" + utf8);
  Result from = Lorelist(dir, "convert --from-utf8 bom.txt back.txt");
  ASSERT_EQ(from.code, 0) << from.err;
  EXPECT_EQ(ReadFile(dir.File("back.txt")), cp1252);

  WriteFile(dir.File("cjk.txt"), "@Q1 fine\r\n@Q2 \xE4\xB8\xAD\r\n");
  Result cjk = Lorelist(dir, "convert --from-utf8 cjk.txt never.txt");
  EXPECT_EQ(cjk.code, 1);
  EXPECT_EQ(cjk.err,
            "cjk.txt: line 2: '\xE4\xB8\xAD' (U+4E2D) cannot be held in Windows-1252; "
            "nothing was written\n");
  EXPECT_EQ(Lorelist(dir, "convert --from-utf8 cp1252.txt never.txt").err,
            "cp1252.txt: line 1: not valid UTF-8 text; nothing was written\n");
  EXPECT_FALSE(Exists(dir.File("never.txt")));
  EXPECT_EQ(Lorelist(dir, "convert cp1252.txt never.txt").code, 2);
  EXPECT_EQ(Lorelist(dir, "convert --to-utf8 missing.txt never.txt").code, 2);
}

TEST(LorelistDbRewrite, KeepsAnExistingOutsModeAndLink) {
  TempDir dir;
  WriteFile(dir.File("in.txt"), kGood);
  WriteFile(dir.File("private.txt"), "old");
  ASSERT_EQ(::chmod(dir.File("private.txt").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("private.txt", dir.File("out.txt").c_str()), 0);
  Result run = Lorelist(dir, "rewrite in.txt out.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  struct stat st;
  ASSERT_EQ(::lstat(dir.File("out.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(dir.File("private.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(dir.File("private.txt")), kGood);

  ASSERT_EQ(::chmod(dir.File("private.txt").c_str(), 0400), 0);
  Result readOnly = Lorelist(dir, "rewrite in.txt out.txt");
  EXPECT_EQ(readOnly.code, 2);
  EXPECT_EQ(readOnly.err, "Cannot write out.txt: the file is read-only\n");
}

// A pipe or a device would block or never end: refused at once, exit 2.
TEST(LorelistDb, RefusesWhatIsNotARegularFile) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/zero", dir.File("zero").c_str()), 0);
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
  for (const char* command : {"check", "stats", "search x", "export --html", "rewrite"}) {
    SCOPED_TRACE(command);
    const std::string after = std::string(command) == "rewrite" ? " out.txt" : "";
    Result pipe = Lorelist(dir, std::string(command) + " pipe" + after);
    EXPECT_EQ(pipe.code, 2);
    EXPECT_EQ(pipe.out + pipe.err, "Cannot open file pipe: not a regular file\n");
    Result zero = Lorelist(dir, std::string(command) + " zero" + after);
    EXPECT_EQ(zero.code, 2);
    EXPECT_EQ(zero.out + zero.err, "Cannot open file zero: not a regular file\n");
    Result folder = Lorelist(dir, std::string(command) + " folder" + after);
    EXPECT_EQ(folder.code, 2);
    EXPECT_EQ(folder.out + folder.err, "Cannot open file folder: Is a directory\n");
  }
  EXPECT_FALSE(Exists(dir.File("out.txt")));
}

TEST(LorelistDbGenerate, MakesTheSameValidDatabaseForTheSameSeed) {
  TempDir dir;
  ASSERT_EQ(Lorelist(dir, "generate --quotations 2000 --seed 5 a.txt").code, 0);
  ASSERT_EQ(Lorelist(dir, "generate --seed 5 --quotations 2000 b.txt").code, 0);
  ASSERT_EQ(Lorelist(dir, "generate --quotations 2000 --seed 6 c.txt").code, 0);
  const std::string a = ReadFile(dir.File("a.txt"));
  EXPECT_EQ(a, ReadFile(dir.File("b.txt")));
  EXPECT_NE(a, ReadFile(dir.File("c.txt")));
  EXPECT_NE(a.find("-\r\n"), std::string::npos);  // some lines are long enough to break
  EXPECT_NE(a.find('\xE9'), std::string::npos);   // Windows-1252 accents

  EXPECT_EQ(Lorelist(dir, "check a.txt").out, "");
  Result stats = Lorelist(dir, "stats a.txt");
  EXPECT_NE(stats.out.find("quotation nodes at bottom level ('quotations'?): 2000\n"),
            std::string::npos);
  EXPECT_NE(stats.out.find("references: 2000\n"), std::string::npos);
  EXPECT_NE(stats.out.find("subject index entries: 400\n"), std::string::npos);
  ASSERT_EQ(Lorelist(dir, "rewrite a.txt again.txt").code, 0);
  EXPECT_EQ(ReadFile(dir.File("again.txt")), a);
}

TEST(LorelistDb, DoubleDashEndsTheOptionsAndVersionAnswers) {
  TempDir dir;
  WriteFile(dir.File("-odd name.txt"), kGood);
  WriteFile(dir.File("Florilex.txt"), kGood);
  Result dash = Lorelist(dir, "search -- -x Florilex.txt");
  EXPECT_EQ(dash.code, 1) << dash.err;  // searched, nothing found: no option complaint
  EXPECT_EQ(dash.err, "");
  Result found = Lorelist(dir, "search --case -- wait Florilex.txt");
  EXPECT_EQ(found.out, "1.1.1 While we wait for life, life passes.\n");
  EXPECT_EQ(Lorelist(dir, "check -- '-odd name.txt'").code, 0);
  Result unknown = Lorelist(dir, "search -x Florilex.txt");
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.err.rfind("lorelist-db: unknown option '-x'\n", 0), 0u);
  for (const char* args : {"--version", "check --version"}) {
    Result version = Lorelist(dir, args);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "lorelist-db 1.1\n");
  }
  // An output that cannot be made is named by its whole path.
  Result rewrite = Lorelist(dir, "rewrite Florilex.txt " + dir.File("no/such/out.txt"));
  EXPECT_EQ(rewrite.code, 2);
  EXPECT_EQ(rewrite.err,
            "Cannot write " + dir.File("no/such/out.txt") + ": No such file or directory\n");
}

// The editor answers these without a display.
TEST(Lorelist, VersionAndHelpNeedNoWindow) {
  TempDir dir;
  const std::string out = dir.File("out");
  for (const char* args : {"--version", "--help"}) {
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ") +
                                LORELIST_APP_BINARY + " " + args + " >" + out;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << args;
    EXPECT_EQ(ReadFile(out).rfind(
                  std::string(args) == "--version" ? "lorelist 1.1\n" : "Usage: lorelist", 0),
              0u);
  }
}

// Refused before any window: usage on standard error, exit code 2.
TEST(Lorelist, RefusesUnknownOptionsAndPathsThatNameNoDatabase) {
  TempDir dir;
  WriteFile(dir.File("notes.txt"), "x");
  const std::string err = dir.File("err");
  for (const char* args :
       {"--frobnicate", "-x", "a b", "notes.txt", "no/such/folder", "no/such/Florilex.txt"}) {
    SCOPED_TRACE(args);
    const std::string command =
        "cd " + dir.path() +
        " && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + LORELIST_APP_BINARY + " " +
        args + " 2>" + err + " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string text = ReadFile(err);
    EXPECT_EQ(text.rfind("lorelist: ", 0), 0u) << text;
    EXPECT_NE(text.find("Usage: lorelist [FOLDER | FILE]"), std::string::npos);
  }
  EXPECT_NE(ReadFile(err).find("no such folder: " + dir.File("no/such")), std::string::npos);
}

// Output that cannot be written is a failure, whatever the command found.
TEST(LorelistDb, AFullStandardOutputIsAFailure) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kGood);
  for (const char* args : {"stats", "search life", "check --help", "export --html"}) {
    SCOPED_TRACE(args);
    const std::string command = "cd " + dir.path() + " && " + LORELIST_DB_BINARY + " " + args +
                                " >/dev/full 2>" + dir.File("err");
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
    EXPECT_EQ(ReadFile(dir.File("err")), "Cannot write standard output: No space left on device\n");
  }
}

TEST(LorelistDb, RefusesWhatItDoesNotKnow) {
  TempDir dir;
  for (const char* args : {"", "frobnicate", "check --fast", "stats a b", "rewrite onlyone",
                           "generate out.txt", "generate --quotations many out.txt"}) {
    SCOPED_TRACE(args);
    Result run = Lorelist(dir, args);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("Usage: lorelist-db"), std::string::npos);
  }
  for (const char* args :
       {"--help", "check --help", "stats --help", "rewrite --help", "generate --help"}) {
    SCOPED_TRACE(args);
    Result run = Lorelist(dir, args);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind("Usage: lorelist-db", 0), 0u);
  }
}

const std::string kSearchable =
    CrLf({"@Q1 Montaigne", "@Q1.1 Essais", "@Q01.02 Le monde n'est qu'une branloire p\xE9renne.",
          "@Q1.3 Que sais-je? -", "continued LIFE", "@Q2 Pascal",
          "@Q2.1 Pens\xE9"
          "es",
          "@Q2.1.1 Le c\x9C"
          "ur a ses raisons",
          "@@", "@C1 c", "@R2 author"});

// The codes the editor's Search finds one after the other, from the top.
std::string EditorFinds(const std::string& file, const std::string& pattern, bool caseSignificant) {
  Database db;
  EXPECT_EQ(LoadDatabase(db, file).status, LoadResult::kComplete);
  const TextMatcher matcher(pattern, caseSignificant);
  std::string codes;
  HTREEITEM at = db.quotations.GetRootItem();
  for (bool first = true; (at = SearchTree(db.quotations, at, first, matcher)); first = false)
    codes += NodeCode(at) + "\n";
  return codes;
}

std::string CodesOf(const std::string& output) {
  std::string codes;
  for (size_t at = 0; at < output.size();) {
    const size_t nl = output.find('\n', at);
    codes += output.substr(at, output.find(' ', at) - at) + "\n";
    at = nl + 1;
  }
  return codes;
}

TEST(LorelistDbSearch, FindsWhatTheEditorsSearchFinds) {
  TempDir dir;
  WriteFile(dir.File("db.txt"), kSearchable);
  const std::pair<const char*, const char*> cases[] = {{"e", "e"},
                                                       {"LIFE", "LIFE"},
                                                       {"P\xC3\x89RENNE", "P\xC9RENNE"},
                                                       {"C\xC5\x92UR", "C\x8CUR"},
                                                       {"sais-je? continued", "sais-je? continued"},
                                                       {"nowhere", "nowhere"}};
  for (const auto& [argument, bytes] : cases) {
    for (bool caseSignificant : {false, true}) {
      SCOPED_TRACE(std::string(argument) + (caseSignificant ? " --case" : ""));
      Result run = Lorelist(dir, std::string("search ") + (caseSignificant ? "--case " : "") + "'" +
                                     argument + "' db.txt");
      const std::string expected = EditorFinds(dir.File("db.txt"), bytes, caseSignificant);
      EXPECT_EQ(CodesOf(run.out), expected);
      EXPECT_EQ(run.code, expected.empty() ? 1 : 0);
    }
  }
  // One line a node: the code as saved (no leading zeros) and UTF-8 text.
  Result run = Lorelist(dir, "search 'p\xC3\xA9renne' db.txt");
  EXPECT_EQ(run.out, "1.2 Le monde n'est qu'une branloire p\xC3\xA9renne.\n");
  // A character the file cannot hold is found nowhere.
  EXPECT_EQ(Lorelist(dir, "search '\xE4\xB8\xAD' db.txt").code, 1);
}

TEST(LorelistDbSearch, AFileThatDoesNotLoadGivesItsErrorAndNoLines) {
  TempDir dir;
  WriteFile(dir.File("bad.txt"), CrLf({"@Q1 findable", "@@", "@C1 c", "@R5 nowhere"}));
  Result run = Lorelist(dir, "search findable bad.txt");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "bad.txt:4: Reference to a missing quotation node: @R5 nowhere\n");
  EXPECT_EQ(Lorelist(dir, "search x nothing.txt").code, 2);
  EXPECT_EQ(Lorelist(dir, "search").code, 2);
}

TEST(LorelistDbExport, WritesTheDictionaryOrNothing) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kSearchable);
  Result html = Lorelist(dir, "export --html -o out.html");
  EXPECT_EQ(html.code, 0) << html.err;
  const std::string page = ReadFile(dir.File("out.html"));
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("Pens\xC3\xA9"
                      "es"),
            std::string::npos);
  Result md = Lorelist(dir, "export --markdown Florilex.txt");
  EXPECT_EQ(md.code, 0);
  EXPECT_EQ(md.out.rfind("# Florilex\n", 0), 0u);

  WriteFile(dir.File("bad.txt"), CrLf({"@Q2 wrong"}));
  Result bad = Lorelist(dir, "export --html bad.txt -o never.html");
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.err, "bad.txt:1: Final number does not increment by 1: @Q2 wrong\n");
  EXPECT_FALSE(Exists(dir.File("never.html")));
  EXPECT_FALSE(Exists(dir.File("never.html.lorelist-new")));
  EXPECT_EQ(Lorelist(dir, "export Florilex.txt").code, 2);  // which format?
  EXPECT_EQ(Lorelist(dir, "export --html --markdown").code, 2);
}

TEST(LorelistDb, TheBundledSampleLoadsWholeAndRewritesUnchanged) {
  TempDir dir;
  Result check = Lorelist(dir, std::string("check ") + LORELIST_EXAMPLE);
  EXPECT_EQ(check.code, 0) << check.out;
  ASSERT_EQ(Lorelist(dir, std::string("rewrite ") + LORELIST_EXAMPLE + " out.txt").code, 0);
  EXPECT_EQ(ReadFile(dir.File("out.txt")), ReadFile(LORELIST_EXAMPLE));
}

}  // namespace
}  // namespace lorelist
