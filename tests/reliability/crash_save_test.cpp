// Saving killed at any moment leaves "Florilex.txt" whole: the database as it
// was before that save or as it is after it, never a mix, never nothing; and
// "FlorilexOld.txt", once there, stays there, whole.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "cli/generate.h"
#include "db/load.h"
#include "db/save.h"
#include "support/capture_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::Exists;
using test::ReadFile;
using test::TempDir;

// The edit each save makes: the first top-level text takes the other of two
// values, so that the file before and after the save always differ.
void Edit(Database& db) {
  HTREEITEM first = db.quotations.GetRootItem();
  const bool marked = db.quotations.GetItemText(first).starts_with("[saved] ");
  const std::string text(db.quotations.GetItemText(first));
  db.quotations.SetItemText(first, marked ? text.substr(8) : "[saved] " + text);
  db.MarkChanged();
}

TEST(CrashDuringSave, TheDatabaseFileIsAlwaysWholeBeforeOrAfter) {
  TempDir dir;
  const std::string database = dir.File(kDatabaseFile);
  {
    Database db;
    GenerateDatabase(db, 20000, 7);  // a few megabytes: saving takes a while
    ASSERT_TRUE(WriteDatabaseFile(db, database).ok);
  }

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
  int killedMidway = 0, killedWhileWriting = 0, killedAfterRename = 0;
  // At least 50 saves cut short: where a kill comes too late, aim earlier.
  int round = 0;
  for (; killedMidway < 50 && round < 400; ++round) {
    const std::string before = ReadFile(database);
    const bool backupBefore = Exists(dir.File(kBackupFile));
    std::string after;
    {
      Database db;
      ASSERT_EQ(LoadDatabase(db, database).status, LoadResult::kComplete);
      Edit(db);
      after = test::WrittenDatabase(db);
    }
    const pid_t child = spawn();
    ASSERT_GE(child, 0);
    // Anywhere from before the load to just after the save.
    std::uniform_int_distribution<long> delay(0, span.count() * 11 / 10);
    ::usleep(static_cast<useconds_t>(delay(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status))
      ++killedMidway;
    else
      span = span * 9 / 10;
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round;
    }

    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(Exists(database));
    const std::string now = ReadFile(database);
    ASSERT_TRUE(now == before || now == after) << "a mix of two saves";
    if (WIFSIGNALED(status) && now == after) ++killedAfterRename;
    if (backupBefore) {
      ASSERT_TRUE(Exists(dir.File(kBackupFile))) << "the backup went missing";
      const std::string backup = ReadFile(dir.File(kBackupFile));
      // The two contents alternate: a backup is always one of them.
      ASSERT_TRUE(backup == before || backup == after) << "a damaged backup";
    }
    // A kill while the new file was being written leaves it behind; the next
    // save removes it and starts afresh.
    if (WIFSIGNALED(status) && Exists(dir.File(kTemporaryFile))) ++killedWhileWriting;
    Database check;
    ASSERT_EQ(LoadDatabase(check, database).status, LoadResult::kComplete);
  }
  EXPECT_GE(killedMidway, 50);
  EXPECT_GE(killedWhileWriting, 1);  // else every kill came before the writing
  std::printf("killed %d of %d saves: %d while writing the new file, %d after it was in place\n",
              killedMidway, round, killedWhileWriting, killedAfterRename);
}

}  // namespace
}  // namespace lorelist
