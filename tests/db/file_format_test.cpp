#include "db/file_format.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/generate.h"
#include "db/save.h"
#include "support/capture_ops.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

std::string Written(std::string_view logical, Encoding encoding = Encoding::kWindows1252) {
  test::CaptureOps ops;
  OutputFile out(ops, -1);
  WriteLogicalLine(out, logical, encoding);
  EXPECT_TRUE(out.Flush());
  return ops.bytes;
}

struct Logical {
  std::string text;
  uint64_t line;
  char tag;
  bool operator==(const Logical&) const = default;
};

// What a reader gives for a file: its lines, then its sum, its UTF-8 verdict
// and its error, and the sum after stopping halfway and draining the rest.
struct Reading {
  std::vector<Logical> lines;
  uint64_t sum = 0, drainedSum = 0;
  bool utf8 = false;
  int error = 0;
  bool operator==(const Reading&) const = default;
};

Reading Read(const std::string& path, LineReader::Threads threads, size_t chunk) {
  Reading r;
  int fd = ::open(path.c_str(), O_RDONLY);
  {
    LineReader reader(fd, threads, chunk);
    std::string_view line;
    while (reader.ReadLogical(line))
      r.lines.push_back({std::string(line), reader.FirstLineNumber(), reader.Tag()});
    r.sum = reader.Sum().Value();
    r.utf8 = reader.LooksLikeUtf8();
    r.error = reader.Error();
  }
  ::lseek(fd, 0, SEEK_SET);
  LineReader reader(fd, threads, chunk);
  std::string_view line;
  for (size_t i = 0; i < r.lines.size() / 2; ++i) reader.ReadLogical(line);
  reader.Drain();
  r.drainedSum = reader.Sum().Value();
  ::close(fd);
  return r;
}

std::vector<Logical> ReadAll(std::string_view bytes) {
  test::TempDir dir;
  test::WriteFile(dir.File("f"), bytes);
  return Read(dir.File("f"), LineReader::Threads::kOne, size_t{1} << 20).lines;
}

// A line of letters of the given length with blanks exactly at the given
// positions.
std::string WithBlanks(size_t n, std::initializer_list<size_t> blanks) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  for (size_t b : blanks) s[b] = ' ';
  return s;
}

// How the writer breaks a long line; that the reader joins what it writes
// is the round trip of the fuzz corpus.
TEST(WriteLogicalLine, BreaksAfterTheFirstBlankAtSeventyOrLater) {
  const std::string seventy = WithBlanks(70, {5});
  EXPECT_EQ(Written(seventy), seventy + "\r\n");
  const std::string noLateBlank = WithBlanks(71, {10, 69});
  EXPECT_EQ(Written(noLateBlank), noLateBlank + "\r\n");
  const std::string atSeventy = WithBlanks(100, {10, 70});
  EXPECT_EQ(Written(atSeventy), atSeventy.substr(0, 71) + "-\r\n" + atSeventy.substr(71) + "\r\n");

  const std::string l200 = WithBlanks(200, {10, 75, 160});
  EXPECT_EQ(Written(l200), l200.substr(0, 76) + "-\r\n" + l200.substr(76, 85) + "-\r\n" +
                               l200.substr(161) + "\r\n");
  // The blank at 120 lies at position 44 of the rest: no second break.
  const std::string l150 = WithBlanks(150, {10, 75, 120});
  EXPECT_EQ(Written(l150), l150.substr(0, 76) + "-\r\n" + l150.substr(76) + "\r\n");
  // The only late blank is the last character: an empty continuation line.
  const std::string l100 = WithBlanks(100, {20, 99});
  EXPECT_EQ(Written(l100), l100 + "-\r\n\r\n");
  const std::string unbroken = WithBlanks(5000, {});
  EXPECT_EQ(Written(unbroken), unbroken + "\r\n");

  // In UTF-8 a character is a code point, of one to four bytes: each letter
  // made one of those, the breaks fall at the same characters.
  auto utf8 = [](std::string_view text) {
    static const char* const kLetters[] = {"\xC5\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "q"};
    std::string out;
    for (char c : text) out += c >= 'a' && c <= 'z' ? kLetters[(c - 'a') % 4] : std::string(1, c);
    return out;
  };
  for (const std::string& line : {seventy, noLateBlank, atSeventy, l200, l150, l100})
    EXPECT_EQ(Written(utf8(line), Encoding::kUtf8), utf8(Written(line))) << line;
}

// Loading tests how lines end and join; what only the reader tells is the
// tag and the number of a logical line, which come from its first physical
// line, and that any byte belongs to the text.
TEST(LineReader, TakesTheTagAndNumberFromTheFirstPhysicalLine) {
  EXPECT_EQ(ReadAll("@Qx\r\n@Q1 one -\r\ntwo -\r\nthree\n\n"),
            (std::vector<Logical>{{"@Qx", 1, 'Q'}, {"@Q1 one two three", 2, 'Q'}, {"", 5, '\0'}}));
  EXPECT_EQ(ReadAll(std::string("@-\r\nQ1 x\r\n@Sa\0b\n", 16)),
            (std::vector<Logical>{{"@Q1 x", 1, '-'}, {std::string("@Sa\0b", 5), 3, 'S'}}));
}

}  // namespace
}  // namespace lorelist

namespace lorelist {
namespace {

// However the file is cut into reads, and whether a second thread reads
// ahead, the lines are the same: each corpus input, and a generated database
// large enough to keep the second thread ahead, read every way.
TEST(LineReader, ReadsAlikeOnOneThreadOrTwoAndInReadsOfAnySize) {
  test::TempDir dir;
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(LORELIST_FUZZ_DIR "/corpus"))
    if (entry.path().extension() != ".expected") inputs.push_back(entry.path());
  Database generated;
  GenerateDatabase(generated, 20000, 7);
  ASSERT_TRUE(WriteDatabaseFile(generated, dir.File("generated")).ok);
  inputs.push_back(dir.File("generated"));
  using Threads = LineReader::Threads;
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    const Reading whole = Read(input, Threads::kOne, size_t{1} << 20);
    EXPECT_EQ(whole.sum, whole.drainedSum);
    const bool small = whole.lines.size() < 1000;
    for (size_t chunk : {small ? 1 : 4093, 7, 64 << 10})
      EXPECT_EQ(Read(input, Threads::kOne, chunk), whole) << chunk;
    EXPECT_EQ(Read(input, Threads::kAsTheMachineHas, small ? 3 : 4093), whole);
  }
}

}  // namespace
}  // namespace lorelist
