// Files no writer of ours produces are the corpus's (tests/fuzz/corpus, with
// their expected outcomes) and, at full size, bench/hostile-bench.sh's. Here,
// what only takes more than a corpus file should hold: texts larger than the
// reader's first buffer and than the arena's blocks keep, wherever they stand.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "db/scan.h"
#include "fuzz/round_trip.h"
#include "support/fixtures.h"

namespace lorelist {
namespace {

TEST(HostileLines, TextsOfMegabytesLoadWholeWhereverTheyStand) {
  std::string text(1'500'000, 'w');
  for (size_t i = 7; i < text.size(); i += 11) text[i] = ' ';
  const std::string bytes = "@Q1 " + text + "\r\n@Q2 next\r\n@Q2.1 " + text + "\r\n@@\r\n@C1 " +
                            text + "\r\n@S" + text + "\r\n@R2.1 " + text + "\r\n";
  Database db;
  const std::string loaded = test::DescribeLoad(test::LoadBytes(db, bytes), db);
  const std::string expected = "complete\nQ 1 [0] " + text + "\nQ 2 [0] next\nQ 2.1 [1] " + text +
                               "\nC 1 " + text + "\n  S " + text + "\n  R 2.1 " + text +
                               "\nreferenceTotal 1\nsubjectTotal 1\n";
  EXPECT_TRUE(loaded == expected) << loaded.substr(0, 200);
  test::TempDir scratch;
  EXPECT_EQ(test::CheckRoundTrip(bytes, scratch.path()), "");
}

// A program that cuts the file short while search reads it must not end
// this one: the scan says it cannot tell, and loading gives the answer.
TEST(HostileFiles, AFileCutShortWhileItIsScannedEndsTheScanNotTheProgram) {
  test::TempDir dir;
  std::string bytes;
  for (int i = 1; i <= 20000; ++i)
    bytes += "@Q" + std::to_string(i) + " a text to look through\r\n";
  test::WriteFile(dir.File("f"), bytes + "@@\r\n");
  bool cut = false;
  const bool told = ScanDatabase(
      dir.File("f"),
      [&](std::string_view) {
        if (!cut) cut = ::truncate(dir.File("f").c_str(), 0) == 0;
        return false;
      },
      [](std::string_view, std::string_view) {}, size_t{1} << 30);
  EXPECT_TRUE(cut);
  EXPECT_FALSE(told);
}

}  // namespace
}  // namespace lorelist
