// What of lorelist-db is not a case of cases/: a journal made by the database
// itself, generated files, the bundled sample, a full standard output,
// search agreeing with the editor's Search, and merge as git's merge driver.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "db/charset.h"
#include "db/journal.h"
#include "db/load.h"
#include "db/search.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"

namespace lorelist::test {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

// Runs a command in dir (no shell quoting needed: the tests use plain
// paths), its output into a file or to `out`.
Result RunIn(const TempDir& dir, const std::string& command, std::string out = {}) {
  const std::string err = dir.File(".stderr");
  if (out.empty()) out = dir.File(".stdout");
  const std::string line =
      "cd " + dir.path() + " && " + command + " >" + out + " 2>" + err + " </dev/null";
  int status = std::system(line.c_str());
  return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                out.starts_with("/dev/") ? "" : ReadFile(out), ReadFile(err)};
}

Result Lorelist(const TempDir& dir, const std::string& args, std::string out = {}) {
  return RunIn(dir, std::string(LORELIST_DB_BINARY) + " " + args, std::move(out));
}

const std::string kGood = ReadFile(LORELIST_CLI_DATA "/good.txt");

TEST(LorelistDbRecover, AppliesAJournalThatTheDatabaseMade) {
  DatabaseFolder folder(kGood);
  TempDir& dir = folder.dir;
  Database& db = folder.db;
  Journal journal(dir.path());
  db.SetJournal(&journal);
  ASSERT_EQ(db.MoveNode(Tree::kQuotations, db.quotations.GetChildAt(nullptr, 1), nullptr, 0), "");
  ASSERT_EQ(db.AddSubject(db.categories.GetRootItem(), "hours"), "");
  ASSERT_EQ(db.DeleteReference(db.categories.GetRootItem(), 0), "");
  ASSERT_TRUE(db.Undo());
  db.SetJournal(nullptr);
  Result run = Lorelist(dir, "recover Florilex.txt LorJournal.BK! out.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(dir.File("out.txt")), WrittenDatabase(db));
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

  // In UTF-8: a dictionary of the same shape and counts, its texts in other
  // scripts, whole, and the same again for the same seed.
  ASSERT_EQ(Lorelist(dir, "generate --utf8 --quotations 2000 --seed 5 u.txt").code, 0);
  ASSERT_EQ(Lorelist(dir, "generate --quotations 2000 --utf8 --seed 5 v.txt").code, 0);
  const std::string u = ReadFile(dir.File("u.txt"));
  EXPECT_EQ(u, ReadFile(dir.File("v.txt")));
  EXPECT_TRUE(u.starts_with(kByteOrderMark));
  for (const char* letter : {"\xCE\xB1", "\xD0\xB0", "\xD7\x90", "\xD8\xA7", "\xE6\x84\x9B"})
    EXPECT_NE(u.find(letter), std::string::npos) << letter;  // α а א ا 愛
  EXPECT_EQ(Lorelist(dir, "check u.txt").out, "");
  EXPECT_EQ(Lorelist(dir, "stats u.txt").out, stats.out);
  ASSERT_EQ(Lorelist(dir, "rewrite u.txt again.txt").code, 0);
  EXPECT_EQ(ReadFile(dir.File("again.txt")), u);
}

// Output that cannot be written is a failure, whatever the command found.
TEST(LorelistDb, AFullStandardOutputIsAFailure) {
  TempDir dir;
  WriteFile(dir.File("Florilex.txt"), kGood);
  // Megabytes of matches fail while being written, not only at the end.
  ASSERT_EQ(Lorelist(dir, "generate --quotations 30000 big.txt").code, 0);
  for (const char* args : {"stats", "search life", "search e big.txt", "check --help",
                           "export --html", "diff Florilex.txt big.txt"}) {
    SCOPED_TRACE(args);
    const Result run = Lorelist(dir, args, "/dev/full");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "Cannot write standard output: No space left on device\n");
  }
}

const std::string kSearchable = ReadFile(LORELIST_CLI_DATA "/searchable.txt");

// The codes the editor's Search finds one after the other, from the top.
std::string EditorFinds(const std::string& file, const std::string& pattern, bool caseSignificant) {
  Database db;
  EXPECT_EQ(LoadDatabase(db, file).status, LoadResult::kComplete);
  const TextMatcher matcher(pattern, caseSignificant, db.encoding);
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
}

TEST(LorelistDb, TheBundledSampleLoadsWholeAndRewritesUnchanged) {
  TempDir dir;
  Result check = Lorelist(dir, std::string("check ") + LORELIST_EXAMPLE);
  EXPECT_EQ(check.code, 0) << check.out;
  ASSERT_EQ(Lorelist(dir, std::string("rewrite ") + LORELIST_EXAMPLE + " out.txt").code, 0);
  EXPECT_EQ(ReadFile(dir.File("out.txt")), ReadFile(LORELIST_EXAMPLE));
}

// git merges two branches that each changed Florilex.txt through the driver
// the documentation gives; a conflict fails the merge, the file holding mine.
TEST(LorelistDbMerge, IsGitsMergeDriver) {
  const std::pair<const char*, bool> cases[] = {
      {"merge-a-moved-subtree-takes-an-edit-inside-it", false},
      {"merge-both-changed-a-text-two-ways", true}};
  for (const auto& [name, conflict] : cases) {
    SCOPED_TRACE(name);
    const std::string data = std::string(LORELIST_CLI_CASES) + "/" + name;
    TempDir dir;
    // Only this repository's configuration counts.
    auto git = [&](const std::string& args) {
      return RunIn(dir, "env -u GIT_DIR -u GIT_WORK_TREE -u GIT_INDEX_FILE HOME=" + dir.path() +
                            " XDG_CONFIG_HOME=" + dir.path() + " GIT_CONFIG_NOSYSTEM=1 git " +
                            args);
    };
    auto commit = [&](const char* version) {
      WriteFile(dir.File("Florilex.txt"), ReadFile(data + "/in/" + version + ".txt"));
      ASSERT_EQ(git("add -A").code, 0);
      ASSERT_EQ(git(std::string("commit -q -m ") + version).code, 0);
    };
    ASSERT_EQ(git("init -q").code, 0) << "git is needed";
    ASSERT_EQ(git("config user.name Lorelist").code, 0);
    ASSERT_EQ(git("config user.email lorelist@example.org").code, 0);
    ASSERT_EQ(git(std::string("config merge.lorelist.driver '") + LORELIST_DB_BINARY +
                  " merge %O %A %B -o %A'")
                  .code,
              0);
    WriteFile(dir.File(".gitattributes"), "Florilex.txt merge=lorelist\n");
    commit("base");
    ASSERT_EQ(git("checkout -q -b theirs").code, 0);
    commit("theirs");
    ASSERT_EQ(git("checkout -q -b mine HEAD~1").code, 0);
    commit("mine");
    const Result merged = git("merge --no-edit theirs");
    EXPECT_EQ(merged.code != 0, conflict) << merged.out << merged.err;
    EXPECT_EQ(merged.out.find("CONFLICT") != std::string::npos, conflict) << merged.out;
    EXPECT_EQ(ReadFile(dir.File("Florilex.txt")), ReadFile(data + "/expected/out.txt"));
  }
}

}  // namespace
}  // namespace lorelist::test
