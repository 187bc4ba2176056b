// Files no writer of ours produces are the corpus's (tests/fuzz/corpus, with
// their expected outcomes) and, at full size, bench/hostile-bench.sh's. Here,
// what only takes more than a corpus file should hold: texts larger than the
// reader's first buffer and than the arena's blocks keep, wherever they stand.

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace lorelist
