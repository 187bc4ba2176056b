#include "db/file_format.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "support/capture_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::TempDir;

using test::CaptureOps;

std::string Written(std::string_view logical) {
  CaptureOps ops;
  OutputFile out(ops, -1);
  WriteLogicalLine(out, logical);
  EXPECT_TRUE(out.Flush());
  return ops.bytes;
}

struct Logical {
  std::string text;
  uint64_t line;
  char tag;
  bool operator==(const Logical&) const = default;
};

std::vector<Logical> ReadAll(std::string_view bytes) {
  TempDir dir;
  test::WriteFile(dir.File("f"), bytes);
  int fd = ::open(dir.File("f").c_str(), O_RDONLY);
  LineReader reader(fd);
  std::vector<Logical> lines;
  std::string_view line;
  while (reader.ReadLogical(line))
    lines.push_back({std::string(line), reader.FirstLineNumber(), reader.Tag()});
  ::close(fd);
  return lines;
}

std::string Letters(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

// A line of the given length with blanks exactly at the given positions.
std::string WithBlanks(size_t n, std::initializer_list<size_t> blanks) {
  std::string s = Letters(n);
  for (size_t b : blanks) s[b] = ' ';
  return s;
}

TEST(WriteLogicalLine, BreaksAfterTheFirstBlankAtSeventyOrLater) {
  const std::string seventy = WithBlanks(70, {5});
  EXPECT_EQ(Written(seventy), seventy + "\r\n");
  const std::string noLateBlank = WithBlanks(71, {10, 69});
  EXPECT_EQ(Written(noLateBlank), noLateBlank + "\r\n");

  const std::string l200 = WithBlanks(200, {10, 75, 160});
  EXPECT_EQ(Written(l200), l200.substr(0, 76) + "-\r\n" + l200.substr(76, 85) + "-\r\n" +
                               l200.substr(161) + "\r\n");

  // The blank at 120 lies at position 44 of the rest: no second break.
  const std::string l150 = WithBlanks(150, {10, 75, 120});
  EXPECT_EQ(Written(l150), l150.substr(0, 76) + "-\r\n" + l150.substr(76) + "\r\n");

  // The only late blank is the last character: an empty continuation line.
  const std::string l100 = WithBlanks(100, {20, 99});
  EXPECT_EQ(Written(l100), l100 + "-\r\n\r\n");

  const std::string unbroken = Letters(5000);
  EXPECT_EQ(Written(unbroken), unbroken + "\r\n");
}

TEST(WriteLogicalLine, WhatItWritesReadsBackAsTheSameLine) {
  std::mt19937 random(1252);
  std::string file;
  std::vector<std::string> lines;
  for (int i = 0; i < 2000; ++i) {
    std::string line = "@Q";
    const size_t length = random() % 400;
    for (size_t j = 0; j < length; ++j) {
      const char pool[] = "ab -c  d\xE9-";
      line += pool[random() % (sizeof pool - 1)];
    }
    while (!line.empty() && line.back() == '-') line.pop_back();
    lines.push_back(line);
    file += Written(line);
  }
  std::vector<Logical> read = ReadAll(file);
  ASSERT_EQ(read.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(read[i].text, lines[i]) << i;
}

TEST(LineReader, AcceptsCrLfLfAloneAndAMissingLastLineEnd) {
  EXPECT_EQ(
      ReadAll("@Qa\r\n@Qb\n\n@Qc"),
      (std::vector<Logical>{{"@Qa", 1, 'Q'}, {"@Qb", 2, 'Q'}, {"", 3, '\0'}, {"@Qc", 4, 'Q'}}));
  // A CR not before LF belongs to the line, also as the file's last byte.
  EXPECT_EQ(ReadAll("@Sa\rb\r\n@Sc\r"),
            (std::vector<Logical>{{"@Sa\rb", 1, 'S'}, {"@Sc\r", 2, 'S'}}));
  EXPECT_TRUE(ReadAll("").empty());
  EXPECT_EQ(ReadAll(std::string("@Sa\0b\n", 6)),
            (std::vector<Logical>{{std::string("@Sa\0b", 5), 1, 'S'}}));
}

TEST(LineReader, JoinsContinuationLinesAndNumbersTheFirst) {
  EXPECT_EQ(
      ReadAll("@Qx\r\n@Q1 one -\r\ntwo -\r\nthree\r\n@Qy\r\n"),
      (std::vector<Logical>{{"@Qx", 1, 'Q'}, {"@Q1 one two three", 2, 'Q'}, {"@Qy", 5, 'Q'}}));
  // Only one "-" goes per join; the joined line is tested again.
  EXPECT_EQ(ReadAll("@Sa--\r\nb\r\n"), (std::vector<Logical>{{"@Sa-b", 1, 'S'}}));
  EXPECT_EQ(ReadAll("@Sa-\r\n-\r\nc\r\n"), (std::vector<Logical>{{"@Sac", 1, 'S'}}));
  // At the end of the file the missing line reads as empty.
  EXPECT_EQ(ReadAll("@Sa-"), (std::vector<Logical>{{"@Sa", 1, 'S'}}));
  EXPECT_EQ(ReadAll("@Sa---"), (std::vector<Logical>{{"@Sa", 1, 'S'}}));
  // The tag comes from the first physical line.
  EXPECT_EQ(ReadAll("@-\r\nQ1 x\r\n"), (std::vector<Logical>{{"@Q1 x", 1, '-'}}));
}

TEST(LineReader, ReadsLinesLongerThanItsBuffer) {
  const std::string huge = "@Q1 " + Letters(5'000'000);
  const std::string next = "@Q2 " + Letters(1000);
  std::vector<Logical> read = ReadAll(huge + "-\r\n" + huge + "\r\n" + next + "\r\n");
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].text, huge + huge);
  EXPECT_EQ(read[1].text, next);
  EXPECT_EQ(read[1].line, 3u);
}

class FailingWrites : public FileOps {
 public:
  size_t allowed;
  explicit FailingWrites(size_t allowed) : allowed(allowed) {}
  ssize_t Write(int, const void*, size_t size) override {
    if (allowed == 0) {
      errno = ENOSPC;
      return -1;
    }
    size_t n = std::min(size, allowed);  // short writes first
    allowed -= n;
    return static_cast<ssize_t>(n);
  }
};

TEST(OutputFile, KeepsTheFirstErrorAndStopsWriting) {
  FailingWrites ops(100);
  OutputFile out(ops, -1);
  for (int i = 0; i < 10000; ++i) WriteLogicalLine(out, "@Q1 some text");
  EXPECT_FALSE(out.Flush());
  EXPECT_EQ(out.Error(), ENOSPC);
}

}  // namespace
}  // namespace lorelist
