// What loading does with the files in tests/fuzz/corpus is in their .expected
// files (tests/db/corpus_test.cpp); here, what no file's contents can show.

#include "db/load.h"

#include <gtest/gtest.h>

#include "support/loaded.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

TEST(LoadDatabase, AMissingFileIsANewDatabaseAndOneThatCannotBeOpenedIsReported) {
  Database db;
  test::Recorder reporter;
  LoadResult result = LoadDatabase(db, "/nonexistent/Florilex.txt", &reporter);
  EXPECT_EQ(result.status, LoadResult::kMissing);
  EXPECT_EQ(result.message, "Cannot open file /nonexistent/Florilex.txt");
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_TRUE(db.quotations.IsEmpty());
  EXPECT_FALSE(db.partlyLoaded);  // nothing there to lose: a first save may create it

  test::TempDir dir;  // a folder where the file should be cannot be replaced by an empty database
  LoadResult folder = LoadDatabase(db, dir.path(), &reporter);
  EXPECT_EQ(folder.status, LoadResult::kCannotOpen);
  EXPECT_EQ(reporter.reports.size(), 1u);
  EXPECT_TRUE(db.partlyLoaded);
}

}  // namespace
}  // namespace lorelist
