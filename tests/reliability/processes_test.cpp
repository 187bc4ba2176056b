// Saving and journalling processes killed at random moments, and two
// processes saving into one folder at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/journal.h"
#include "db/load.h"
#include "support/random_edits.h"

namespace lorelist::test {
namespace {

// A database of that many quotations generated into path.
void Generate(const std::string& path, int quotations) {
  Database db;
  GenerateDatabase(db, quotations, 3);
  ASSERT_TRUE(WriteDatabaseFile(db, path).ok);
}

int Killed(pid_t child) {
  ::kill(child, SIGKILL);
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return status;
}

// The edit each save makes: the first top-level text takes the other of two
// values, so that the file before and after the save always differ.
void Edit(Database& db) {
  HTREEITEM first = db.quotations.GetRootItem();
  const std::string text(db.quotations.GetItemText(first));
  db.quotations.SetItemText(first,
                            text.starts_with("[saved] ") ? text.substr(8) : "[saved] " + text);
  db.MarkChanged();
}

// Saving killed at any moment leaves Florilex.txt whole: the database as it
// was before that save or as it is after it, never a mix, never nothing; and
// the backup, once there, stays there, whole.
TEST(CrashDuringSave, TheDatabaseFileIsAlwaysWholeBeforeOrAfter) {
  TempDir dir;
  const std::string database = dir.File(kDatabaseFile);
  Generate(database, 20000);  // a few megabytes: saving takes a while
  // A child that loads, edits and saves; how long it takes here unhindered,
  // to kill it anywhere within that span.
  auto spawn = [&] {
    const pid_t child = ::fork();
    if (child == 0) {
      Database db;
      if (LoadDatabase(db, database).status != LoadResult::kComplete) ::_exit(3);
      Edit(db);
      ::_exit(SaveDatabase(db, dir.path()).ok ? 0 : 4);
    }
    return child;
  };
  auto span = std::chrono::microseconds(0);
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(spawn(), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    span = std::max(span, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start));
  }

  std::mt19937 random(static_cast<unsigned>(::getpid()));
  int killedMidway = 0, killedWhileWriting = 0, round = 0;
  // At least 50 saves cut short: where a kill comes too late, aim earlier.
  for (; killedMidway < 50 && round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string before = ReadFile(database);
    const bool backupBefore = Exists(dir.File(kBackupFile));
    Database db;
    ASSERT_EQ(LoadDatabase(db, database).status, LoadResult::kComplete);
    Edit(db);
    const std::string after = WrittenDatabase(db);
    const pid_t child = spawn();
    ASSERT_GE(child, 0);
    // Anywhere from before the load to just after the save.
    ::usleep(static_cast<useconds_t>(
        std::uniform_int_distribution<long>(0, span.count() * 11 / 10)(random)));
    const int status = Killed(child);
    if (WIFSIGNALED(status))
      ++killedMidway;
    else
      span = span * 9 / 10;
    ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0);

    const std::string now = ReadFile(database);
    ASSERT_TRUE(now == before || now == after) << "a mix of two saves";
    if (backupBefore) {
      ASSERT_TRUE(Exists(dir.File(kBackupFile))) << "the backup went missing";
      const std::string backup = ReadFile(dir.File(kBackupFile));
      // The two contents alternate: a backup is always one of them.
      ASSERT_TRUE(backup == before || backup == after) << "a damaged backup";
    }
    // A kill while the new file was being written leaves it behind; the next
    // save removes it and starts afresh.
    if (WIFSIGNALED(status) && Exists(dir.File(kTemporaryFile))) ++killedWhileWriting;
  }
  EXPECT_GE(killedMidway, 50);
  EXPECT_GE(killedWhileWriting, 1);  // else every kill came before the writing
  std::printf("killed %d of %d saves, %d while writing the new file\n", killedMidway, round,
              killedWhileWriting);
}

// What the journal must give back: the state less the changed flag.
std::string Content(const Database& db) {
  const std::string state = State(db);
  return state.substr(0, state.rfind('\n') + 1);
}

// A process making random edits, undos and redos, each journalled, killed at
// random moments: the journal always gives back exactly the database of the
// edits that had returned (the one in flight may be in or out), never a mix.
TEST(JournalKill, RecoveryGivesExactlyTheEditsThatHadReturned) {
  TempDir dir;
  const std::string file = dir.File(kDatabaseFile);
  Generate(file, 150);
  std::mt19937 random(std::random_device{}());
  int midway = 0;
  const int runs = 50;
  for (int run = 0; run < runs; ++run) {
    const uint64_t seed = random();
    SCOPED_TRACE("run " + std::to_string(run) + ", seed " + std::to_string(seed));
    ::unlink(dir.File(kJournalFile).c_str());
    int reports[2];
    ASSERT_EQ(::pipe(reports), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(reports[0]);
      Database db;
      if (LoadDatabase(db, file).status != LoadResult::kComplete) ::_exit(3);
      Journal journal(dir.path());
      db.SetJournal(&journal);
      RandomEdits edits(db, seed, true);
      for (uint32_t returned = 1;; ++returned) {
        edits.Step();
        if (::write(reports[1], &returned, sizeof returned) != sizeof returned) ::_exit(4);
      }
    }
    ::close(reports[1]);
    ::usleep(1000 + random() % 60000);
    const int status = Killed(child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
    uint32_t returned = 0, value = 0;
    while (::read(reports[0], &value, sizeof value) == sizeof value) returned = value;
    ::close(reports[0]);

    // The same steps again, without a journal: the database after the edits
    // that had returned, and after one more.
    Database model;
    ASSERT_EQ(LoadDatabase(model, file).status, LoadResult::kComplete);
    RandomEdits edits(model, seed, true);
    for (uint32_t i = 0; i < returned; ++i) edits.Step();
    const std::string done = Content(model);
    edits.Step();
    const std::string inFlight = Content(model);

    Database recovered;
    ASSERT_EQ(LoadDatabase(recovered, file).status, LoadResult::kComplete);
    const JournalContents found = Journal::Read(dir.File(kJournalFile), recovered);
    EXPECT_FALSE(found.damaged);
    EXPECT_EQ(Journal::Replay(recovered, found.records), found.records.size());
    EXPECT_EQ(CheckConsistency(recovered, EntryOrder::kAnyAmongEquals), "");
    const std::string got = Content(recovered);
    EXPECT_TRUE(got == done || got == inFlight)
        << "killed after " << returned << " steps, " << found.records.size()
        << " records: the recovered database is neither";
    if (returned > 0 && !found.records.empty()) ++midway;
  }
  EXPECT_GT(midway, runs / 2) << "most kills should come in the middle of editing";
}

constexpr int kRounds = 30;

// Notes every rename onto the database file, under the save lock, in a log
// shared by both writers.
struct Logging : FileOps {
  int log;
  std::string target, note;
  int Rename(const std::string& from, const std::string& to) override {
    const int rc = FileOps::Rename(from, to);
    if (rc == 0 && to == target && ::write(log, note.data(), note.size()) < 0) ::_exit(5);
    return rc;
  }
};

std::string Mark(int writer, int round) {
  return "writer " + std::to_string(writer) + " round " + std::to_string(round);
}

// Saves kRounds times from folder, each with its mark on the first node,
// answering Yes to every question; exits with the number of saves that failed.
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

// Two writers on the two folders, as two windows would: the file they share
// is whole at every moment, every save that says it saved put its database
// in place, and the file holds the database of the last one.
void SaveAtOnce(const TempDir& dir, const std::string& first, const std::string& second) {
  const std::string shared = FollowLinks(JoinPath(first, kDatabaseFile));
  const std::string log = dir.File("log");
  WriteFile(log, "");
  pid_t writers[2];
  const std::string folders[] = {first, second};
  for (int i = 0; i < 2; ++i) {
    writers[i] = ::fork();
    ASSERT_GE(writers[i], 0);
    if (writers[i] == 0) Writer(i, folders[i], log);
  }
  const std::string before = ReadFile(shared);
  int reads = 0;
  int status[2] = {-1, -1};
  while (status[0] < 0 || status[1] < 0) {
    Database read;
    const LoadResult result = LoadDatabase(read, shared);
    EXPECT_EQ(result.status, LoadResult::kComplete) << result.message;
    const std::string mark(read.quotations.GetItemText(read.quotations.GetRootItem()));
    EXPECT_TRUE(mark.starts_with("writer ") || WrittenDatabase(read) == before) << mark;
    ++reads;
    for (int i = 0; i < 2; ++i)
      if (status[i] < 0 && ::waitpid(writers[i], &status[i], WNOHANG) == 0) status[i] = -1;
  }
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(WIFEXITED(status[i]));
    EXPECT_EQ(WEXITSTATUS(status[i]), 0) << "saves of writer " << i << " failed";
  }
  std::istringstream lines(ReadFile(log));
  std::map<std::string, int> placed;
  std::string line, last;
  while (std::getline(lines, line)) ++placed[(last = line).substr(0, 8)];
  EXPECT_EQ(placed["writer 0"], kRounds);
  EXPECT_EQ(placed["writer 1"], kRounds);
  Database final;
  ASSERT_EQ(LoadDatabase(final, shared).status, LoadResult::kComplete);
  EXPECT_EQ(final.quotations.GetItemText(final.quotations.GetRootItem()), last);
  EXPECT_GT(reads, 1);
}

// In two folders whose database links into a third: the save lock is the
// target's folder's, as it is for two windows on one folder.
TEST(TwoWriters, InTwoFoldersWhoseDatabaseLinksIntoAThird) {
  TempDir dir;
  for (const char* folder : {"a", "b", "shared"})
    ASSERT_EQ(::mkdir(dir.File(folder).c_str(), 0755), 0);
  Generate(dir.File("shared/quotes.txt"), 3000);
  for (const char* link : {"a/Florilex.txt", "b/Florilex.txt"})
    ASSERT_EQ(::symlink("../shared/quotes.txt", dir.File(link).c_str()), 0);
  SaveAtOnce(dir, dir.File("a"), dir.File("b"));
}

}  // namespace
}  // namespace lorelist::test
