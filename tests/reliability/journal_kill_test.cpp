// A process making random edits, undos and redos, each journalled, killed at
// random moments: the journal always gives back exactly the database of the
// edits that had returned (the one in flight may be in or out), never a mix.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/journal.h"
#include "db/load.h"
#include "db/save.h"
#include "support/random_edits.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::RandomEdits;
using test::TempDir;

// What the journal must give back: the state less the changed flag.
std::string Content(const Database& db) {
  std::string state = test::State(db);
  return state.substr(0, state.rfind('\n') + 1);
}

TEST(JournalKill, RecoveryGivesExactlyTheEditsThatHadReturned) {
  TempDir dir;
  const std::string file = dir.File(kDatabaseFile);
  {
    Database generated;
    GenerateDatabase(generated, 150, 3);
    test::WriteFile(file, test::WrittenDatabase(generated));
  }
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
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
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
    const JournalContents found = Journal::Read(dir.File(kJournalFile), recovered.disk);
    EXPECT_FALSE(found.damaged);
    EXPECT_EQ(Journal::Replay(recovered, found.records), found.records.size());
    EXPECT_EQ(test::CheckConsistency(recovered, test::EntryOrder::kAnyAmongEquals), "");
    const std::string got = Content(recovered);
    EXPECT_TRUE(got == done || got == inFlight)
        << "killed after " << returned << " steps, " << found.records.size()
        << " records: the recovered database is neither";
    if (returned > 0 && !found.records.empty()) ++midway;
  }
  EXPECT_GT(midway, runs / 2) << "most kills should come in the middle of editing";
}

}  // namespace
}  // namespace lorelist
