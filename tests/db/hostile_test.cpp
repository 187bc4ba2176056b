// Files no writer of ours produces are the corpus's (tests/fuzz/corpus, with
// their expected outcomes) and, at full size, bench/hostile-bench.sh's. Here,
// what only takes more than a corpus file should hold: texts larger than the
// reader's first buffer and than the arena's blocks keep, wherever they stand,
// and a file written to while it loads.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "db/scan.h"
#include "fuzz/round_trip.h"
#include "support/capture_ops.h"
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

// Another program rewriting the file in place while it loads: either the
// database is the file as it is now, or the next save asks about it.
TEST(HostileFiles, AFileRewrittenWhileItLoadsIsAnOutsideChange) {
  test::TempDir dir;
  const std::string path = dir.File("Florilex.txt");
  std::string bytes;
  for (int i = 1; i <= 200000; ++i) bytes += "@Q" + std::to_string(i) + " as first written\r\n";
  bytes += "@@\r\n";
  std::string rewritten = bytes;
  std::replace(rewritten.begin(), rewritten.end(), 'f', 'F');
  test::WriteFile(path, bytes);
  std::thread other([&] {
    // Once the loader has the file open.
    for (bool open = false; !open;)
      for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        open = open || std::filesystem::read_symlink(fd.path(), error) == path;
      }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, rewritten.data(), rewritten.size(), 0),
              static_cast<ssize_t>(rewritten.size()));
    ::close(fd);
  });
  Database db;
  LoadDatabase(db, path);
  other.join();
  EXPECT_TRUE(test::WrittenDatabase(db) == rewritten || ChangedSince(db.disk, path));
}

}  // namespace
}  // namespace lorelist
