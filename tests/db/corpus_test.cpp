// The corpus: database files, each with its expected outcome beside it.
//
// Every input NAME in tests/fuzz/corpus (the fuzzers' seeds) and in
// tests/fuzz/regressions (inputs a fuzzer once failed on) has NAME.expected,
// as DescribeLoad writes it: "complete" or "stopped LINE MESSAGE", then what
// loading kept (tests/fuzz/README.md shows the format). Each input must load
// so, and hold both fuzzers' properties: the round trip with the result's own
// contract (CheckRoundTrip) and the scan judging it as loading does
// (CheckScanAgrees).
//
// A case is added by adding its file. Then
//   LORELIST_WRITE_EXPECTED=1 build/tests/db/db_tests --gtest_filter='Corpus.*'
// writes the .expected files that are missing (delete one to write it anew).
// What it writes is what the loader does today: read it line by line, and
// commit it only once it says what the file should give.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/round_trip.h"
#include "fuzz/scan_agreement.h"
#include "support/fixtures.h"

namespace lorelist {
namespace {

constexpr std::string_view kExpected = ".expected";

// The inputs of one folder, by name: neither outcomes nor hidden files (the
// placeholder that keeps an empty folder in git).
std::vector<std::filesystem::path> Inputs(const char* folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(LORELIST_FUZZ_DIR) / folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.front() != '.' && !name.ends_with(kExpected))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectEachAsExpected(const char* folder) {
  const char* write = std::getenv("LORELIST_WRITE_EXPECTED");
  const bool writeMissing = write && std::string_view(write) == "1";
  test::TempDir scratch;
  for (const auto& file : Inputs(folder)) {
    SCOPED_TRACE(file.filename().string());
    const std::string bytes = test::ReadFile(file.string());
    Database db;
    const LoadResult result = test::LoadBytes(db, bytes);
    const std::string outcome = test::DescribeLoad(result, db);
    const std::string expected = file.string() + std::string(kExpected);
    if (test::Exists(expected)) {
      EXPECT_EQ(outcome, test::ReadFile(expected));
    } else if (writeMissing) {
      test::WriteFile(expected, outcome);
      std::cout << "Wrote " << expected << ": check it by eye before committing it.\n";
    } else {
      ADD_FAILURE() << "no " << expected
                    << ": write it with LORELIST_WRITE_EXPECTED=1 and check it by eye";
    }
    EXPECT_EQ(test::CheckRoundTrip(bytes, scratch.path()), "");
    EXPECT_EQ(test::CheckScanAgrees(bytes, scratch.path()), "");
  }
}

TEST(Corpus, EachSeedLoadsAsExpectedAndHoldsBothProperties) {
  ExpectEachAsExpected("corpus");
}

TEST(Corpus, EachFoundFailureLoadsAsExpectedAndHoldsBothProperties) {
  ExpectEachAsExpected("regressions");
}

}  // namespace
}  // namespace lorelist
