// Two processes saving into one folder at once, round after round, as two
// windows would: Florilex.txt is whole at every moment, every save that says
// it saved put its database in place, and the file holds the database of
// the save that put its file in place last.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>

#include "cli/generate.h"
#include "db/load.h"
#include "db/save.h"
#include "support/capture_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::ReadFile;
using test::TempDir;

constexpr int kRounds = 30;

// Notes every rename onto the database file, under the save lock, in a log
// shared by both writers.
struct Logging : FileOps {
  int log;
  std::string target;
  std::string note;
  int Rename(const std::string& from, const std::string& to) override {
    const int rc = FileOps::Rename(from, to);
    if (rc == 0 && to == target && ::write(log, note.data(), note.size()) < 0) ::_exit(5);
    return rc;
  }
};

// The text each writer gives its first node in each round.
std::string Mark(int writer, int round) {
  return "writer " + std::to_string(writer) + " round " + std::to_string(round);
}

// Saves `kRounds` times from folder, answering Yes to every question; exits
// with the number of saves that failed.
[[noreturn]] void Writer(int writer, const std::string& folder, const std::string& log) {
  Database db;
  if (LoadDatabase(db, JoinPath(folder, kDatabaseFile)).status != LoadResult::kComplete) _exit(99);
  Logging ops;
  ops.log = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ops.target = FollowLinks(JoinPath(folder, kDatabaseFile));
  int failed = 0;
  for (int round = 1; round <= kRounds; ++round) {
    if (db.UpdateText(Tree::kQuotations, db.quotations.GetRootItem(), Mark(writer, round)) != "")
      _exit(98);
    ops.note = Mark(writer, round) + "\n";
    if (!SaveDatabase(db, folder, ops, [](const std::string&) { return true; }).ok) ++failed;
  }
  _exit(failed);
}

// Runs two writers on the two folders while reading the file they share
// until both end.
void SaveAtOnce(const TempDir& dir, const std::string& first, const std::string& second) {
  const std::string shared = FollowLinks(JoinPath(first, kDatabaseFile));
  const std::string log = dir.File("log");
  test::WriteFile(log, "");
  pid_t writers[2];
  const std::string folders[] = {first, second};
  for (int i = 0; i < 2; ++i) {
    writers[i] = ::fork();
    ASSERT_GE(writers[i], 0);
    if (writers[i] == 0) Writer(i, folders[i], log);
  }
  const std::string before = ReadFile(shared);
  int reads = 0, running = 2;
  int status[2] = {-1, -1};
  while (running > 0) {
    // Whole at every moment: the file as it was, or one that a save made.
    Database read;
    const LoadResult result = LoadDatabase(read, shared);
    EXPECT_EQ(result.status, LoadResult::kComplete) << result.message;
    const std::string mark(read.quotations.GetItemText(read.quotations.GetRootItem()));
    EXPECT_TRUE(mark.starts_with("writer ") || test::WrittenDatabase(read) == before) << mark;
    ++reads;
    for (int i = 0; i < 2; ++i)
      if (status[i] < 0 && ::waitpid(writers[i], &status[i], WNOHANG) == 0) status[i] = -1;
    running = (status[0] < 0) + (status[1] < 0);
  }
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(WIFEXITED(status[i]));
    EXPECT_EQ(WEXITSTATUS(status[i]), 0) << "saves of writer " << i << " failed";
  }
  // Every save that said it saved put its file in place, in an order; the
  // file holds the last one's database.
  std::istringstream lines(ReadFile(log));
  std::map<std::string, int> placed;
  std::string line, last;
  while (std::getline(lines, line)) {
    ++placed[line.substr(0, 8)];
    last = line;
  }
  EXPECT_EQ(placed["writer 0"], kRounds);
  EXPECT_EQ(placed["writer 1"], kRounds);
  Database final;
  ASSERT_EQ(LoadDatabase(final, shared).status, LoadResult::kComplete);
  EXPECT_EQ(final.quotations.GetItemText(final.quotations.GetRootItem()), last);
  EXPECT_GT(reads, 1);
}

void WriteStart(const std::string& path) {
  Database db;
  GenerateDatabase(db, 3000, 3);
  ASSERT_TRUE(WriteDatabaseFile(db, path).ok);
}

TEST(TwoWriters, InOneFolder) {
  TempDir dir;
  WriteStart(dir.File(kDatabaseFile));
  SaveAtOnce(dir, dir.path(), dir.path());
}

TEST(TwoWriters, InTwoFoldersWhoseDatabaseLinksIntoAThird) {
  TempDir dir;
  for (const char* folder : {"a", "b", "shared"})
    ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0755), 0);
  WriteStart(dir.File("shared/quotes.txt"));
  for (const char* link : {"a/Florilex.txt", "b/Florilex.txt"})
    ASSERT_EQ(::symlink("../shared/quotes.txt", dir.File(link).c_str()), 0);
  SaveAtOnce(dir, dir.File("a"), dir.File("b"));
}

}  // namespace
}  // namespace lorelist
