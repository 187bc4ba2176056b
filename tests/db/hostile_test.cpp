// Files no writer of ours produces: huge lines, endless continuations, binary
// garbage, codes far too deep or with numbers far too long, and a category
// with a great many entries. Loading must neither crash nor hang, must stop at
// the right line with the right message, and must keep what came before.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "db/collation.h"
#include "db/load.h"
#include "support/loaded.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::TempDir;

constexpr const char* kNoAt = "Line does not start with '@': ";
constexpr const char* kBadLetter = "Line does not begin with valid letter: ";
constexpr const char* kZero = "Code has zero component: ";
constexpr const char* kFinal = "Final number does not increment by 1: ";
constexpr const char* kInterior = "Code interior moves on: ";
constexpr const char* kTooDeep = "More than 25 levels: ";
constexpr const char* kMissing = "Reference to a missing quotation node: ";

// Every message loading may stop with, each followed by the whole line.
constexpr const char* kMessages[] = {kNoAt,
                                     kBadLetter,
                                     "Code omitted: ",
                                     kZero,
                                     kFinal,
                                     kInterior,
                                     "Code contains spurious character: ",
                                     kTooDeep,
                                     "Line comes before the first category: ",
                                     kMissing};

using test::Loaded;
using test::Recorder;

// Loads the bytes from a file in dir; a fresh database each time, since
// loading wants an empty one.
std::unique_ptr<Loaded> LoadIn(const TempDir& dir, std::string_view bytes) {
  auto l = std::make_unique<Loaded>();
  const std::string path = dir.File("Florilex.txt");
  test::WriteFile(path, bytes);
  l->result = LoadDatabase(l->db, path, &l->reporter);
  return l;
}

std::unique_ptr<Loaded> Load(std::string_view bytes) {
  TempDir dir;
  return LoadIn(dir, bytes);
}

// Compares texts of many megabytes without printing them on failure.
testing::AssertionResult Same(std::string_view actual, std::string_view expected) {
  if (actual == expected) return testing::AssertionSuccess();
  const size_t common = std::min(actual.size(), expected.size());
  size_t at = 0;
  while (at < common && actual[at] == expected[at]) ++at;
  return testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                     << ", first difference at byte " << at;
}

// Text of the given size with blanks but no line ends and no "-" at its end.
std::string Words(size_t size, char first = 'w') {
  static constexpr std::string_view kPool = "lorem ipsum dolor sit amet, consectetur adipiscing ";
  std::string text(size, ' ');
  for (size_t i = 0; i < size; ++i) text[i] = kPool[i % kPool.size()];
  if (size > 0) text[0] = first;
  if (size > 1) text[size - 1] = '.';
  return text;
}

std::string Repeat(std::string_view piece, size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) out.append(piece);
  return out;
}

// The file's logical lines by the number of their first physical line,
// worked out here independently of the reader: a physical line ends at LF,
// less one CR before it (a CR with no LF after it is the line's own); while the joined line ends in
// "-", the "-" goes and the next physical line (nothing past the end of the file) is appended.
std::map<uint64_t, std::string> LogicalLines(std::string_view bytes) {
  std::vector<std::string_view> physical;
  for (size_t at = 0; at < bytes.size();) {
    const size_t lf = bytes.find('\n', at);
    const size_t end = lf == std::string_view::npos ? bytes.size() : lf;
    std::string_view line = bytes.substr(at, end - at);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    physical.push_back(line);
    at = end + 1;
  }
  std::map<uint64_t, std::string> logical;
  for (size_t i = 0; i < physical.size();) {
    const uint64_t first = i + 1;
    std::string text(physical[i++]);
    while (!text.empty() && text.back() == '-') {
      text.pop_back();
      if (i < physical.size()) text.append(physical[i++]);
    }
    logical.emplace(first, std::move(text));
  }
  return logical;
}

// Where a physical line starts in the file.
size_t OffsetOfLine(std::string_view bytes, uint64_t line) {
  size_t at = 0;
  for (uint64_t n = 1; n < line; ++n) at = bytes.find('\n', at) + 1;
  return at;
}

uint64_t ReferenceCountSum(const TreeStore& tree) {
  uint64_t sum = 0;
  for (HTREEITEM h = tree.GetRootItem(); h;) {
    sum += tree.GetItemData(h);
    if (NextNode(h, tree) == kEndOfWalk) break;
  }
  return sum;
}

// What a load kept, in numbers.
struct Kept {
  size_t quotations, categories, subjectEntries;
  int subjectTotal, referenceTotal;
  uint64_t counted;
  bool operator==(const Kept&) const = default;
};

Kept KeptBy(const Database& db) {
  return Kept{db.quotations.GetCount(),
              db.categories.GetCount(),
              static_cast<size_t>(db.subjects.GetCount()),
              db.subjectTotal,
              db.referenceTotal,
              ReferenceCountSum(db.quotations)};
}

// Loading any bytes either completes, or stops with one report whose message
// is a fixed text followed by the logical line that starts at the reported
// line, keeping exactly what loading the lines before it keeps (and those
// load whole). The reference counts always add up to the total.
void ExpectStopsWhereItSays(const TempDir& dir, const std::string& bytes) {
  auto l = LoadIn(dir, bytes);
  const LoadResult& result = l->result;
  ASSERT_NE(result.status, LoadResult::kCannotOpen);
  const Kept kept = KeptBy(l->db);
  EXPECT_EQ(kept.counted, static_cast<uint64_t>(kept.referenceTotal));
  EXPECT_EQ(kept.subjectEntries, static_cast<size_t>(kept.subjectTotal));
  if (result.status == LoadResult::kComplete) {
    EXPECT_TRUE(l->reporter.reports.empty());
    EXPECT_FALSE(l->db.partlyLoaded);
    return;
  }
  EXPECT_TRUE(l->db.partlyLoaded);
  ASSERT_EQ(l->reporter.reports.size(), 1u);
  EXPECT_EQ(l->reporter.reports[0].first, result.message);
  EXPECT_EQ(l->reporter.reports[0].second, result.line);

  const std::map<uint64_t, std::string> logical = LogicalLines(bytes);
  auto line = logical.find(result.line);
  ASSERT_NE(line, logical.end()) << "no logical line starts at line " << result.line;
  bool explained = false;
  for (std::string_view fixed : kMessages)
    explained = explained || result.message == std::string(fixed) + line->second;
  EXPECT_TRUE(explained) << "line " << result.line << ": " << result.message.substr(0, 200);

  auto before = LoadIn(dir, std::string_view(bytes).substr(0, OffsetOfLine(bytes, result.line)));
  EXPECT_EQ(before->result.status, LoadResult::kComplete) << before->result.message;
  EXPECT_TRUE(KeptBy(before->db) == kept);
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// --- Huge single lines -------------------------------------------------------

// Larger than the reader's first buffer, so that each line makes it grow;
// the full-size files (100 MB lines) are timed in bench/hostile-bench.sh.
constexpr size_t kHuge = 3'000'000;
constexpr size_t kLong = 1'500'000;

TEST(HostileLines, HugeLineWithoutAtStopsAtItsLineWithAllOfIt) {
  const std::string huge = Words(kHuge, 'x');
  auto alone = Load(huge + "\r\n@Q1 never read\r\n");
  EXPECT_EQ(alone->result.status, LoadResult::kStopped);
  EXPECT_TRUE(Same(alone->result.message, kNoAt + huge));
  EXPECT_EQ(alone->result.line, 1u);
  EXPECT_TRUE(alone->db.quotations.IsEmpty());
  ASSERT_EQ(alone->reporter.reports.size(), 1u);
  EXPECT_TRUE(Same(alone->reporter.reports[0].first, alone->result.message));

  // After good lines, with LF alone and no end to the last line.
  auto after = Load("@Q1 a\n@Q1.1 b\n" + huge);
  EXPECT_TRUE(Same(after->result.message, kNoAt + huge));
  EXPECT_EQ(after->result.line, 3u);
  EXPECT_EQ(after->db.quotations.GetCount(), 2u);
  EXPECT_TRUE(after->db.partlyLoaded);
}

TEST(HostileLines, HugeValidQuotationLoadsWhole) {
  const std::string text = Words(kHuge);
  auto l =
      Load("@Q1 " + text + "\r\n@Q2 next\r\n@Q2.1 " + text + "\r\n@@\r\n@C1 c\r\n@R2.1 " + text);
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message.substr(0, 200);
  const TreeStore& q = l->db.quotations;
  ASSERT_EQ(q.GetCount(), 3u);
  HTREEITEM first = q.GetRootItem();
  HTREEITEM second = q.GetNextSiblingItem(first);
  EXPECT_TRUE(Same(q.GetItemText(first), text));
  EXPECT_EQ(q.GetItemText(second), "next");
  EXPECT_TRUE(Same(q.GetItemText(q.GetChildItem(second)), text));
  const CategoryRecord* record = l->db.Record(l->db.categories.GetRootItem());
  ASSERT_EQ(record->referenceTexts.size(), 1u);
  EXPECT_TRUE(Same(record->referenceTexts[0], text));
  EXPECT_EQ(q.GetItemData(q.GetChildItem(second)), 1u);
}

TEST(HostileLines, HugeLinesWithABadTagOrCodeNameTheirFault) {
  const std::string text = Words(kHuge);
  auto letter = Load("@Q1 a\r\n@X" + text + "\r\n");
  EXPECT_TRUE(Same(letter->result.message, kBadLetter + ("@X" + text)));
  EXPECT_EQ(letter->result.line, 2u);

  // A million and a half digits: the number saturates instead of overflowing.
  const std::string digits(kLong, '7');
  auto tooLong = Load("@Q1 a\r\n@Q" + digits + " x\r\n");
  EXPECT_TRUE(Same(tooLong->result.message, kFinal + ("@Q" + digits + " x")));
  EXPECT_EQ(tooLong->result.line, 2u);

  const std::string zeros(kLong, '0');
  auto zero = Load("@Q" + zeros + "\r\n");
  EXPECT_TRUE(Same(zero->result.message, kZero + ("@Q" + zeros)));

  // A reference with 750,000 levels is looked up, not walked forever.
  const std::string deep = "1" + Repeat(".1", kLong / 2);
  auto missing = Load("@Q1 a\r\n@Q1.1 b\r\n@@\r\n@C1 c\r\n@R" + deep + " x\r\n");
  EXPECT_TRUE(Same(missing->result.message, kMissing + ("@R" + deep + " x")));
  EXPECT_EQ(missing->result.line, 5u);
  EXPECT_EQ(missing->db.categories.GetCount(), 1u);
}

TEST(HostileLines, HugeSubjectEntryIsKeptAndIndexed) {
  const std::string entry = Words(kHuge, 'E');
  auto l = Load("@@\r\n@C1 c\r\n@Sbefore\r\n@S" + entry + "\r\n@Safter\r\n");
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message.substr(0, 200);
  const CategoryRecord* record = l->db.Record(l->db.categories.GetRootItem());
  ASSERT_EQ(record->subjectEntries.size(), 3u);
  EXPECT_TRUE(Same(record->subjectEntries[1], entry));
  ASSERT_EQ(l->db.subjects.GetCount(), 3);
  EXPECT_EQ(l->db.subjects.GetLBText(0), "after");
  EXPECT_EQ(l->db.subjects.GetLBText(1), "before");
  EXPECT_TRUE(Same(l->db.subjects.GetLBText(2), entry));
}

TEST(HostileLines, EmptyAndCarriageReturnFloodsStopAtTheirFirstLine) {
  auto empties = Load("@Q1 a\r\n" + Repeat("\r\n", 200'000));
  EXPECT_EQ(empties->result.message, kNoAt);
  EXPECT_EQ(empties->result.line, 2u);

  // A million CRs and no LF: one physical line of CRs, all of them its own.
  const std::string crs(1'000'000, '\r');
  auto returns = Load(crs);
  EXPECT_TRUE(Same(returns->result.message, kNoAt + crs));
  EXPECT_EQ(returns->result.line, 1u);
}

// --- Continuation ------------------------------------------------------------

constexpr int kChain = 50'000;

TEST(HostileContinuation, FiftyThousandLinesJoinIntoOne) {
  for (std::string_view end : {"\r\n", "\n"}) {
    std::string file = "@Q1 start -" + std::string(end);
    std::string joined = "start ";
    for (int i = 0; i < kChain; ++i) {
      const std::string piece = "piece " + std::to_string(i) + " of a long chain ";
      file += piece + "-" + std::string(end);
      joined += piece;
    }
    file += "end\r\n@Q2 after\r\n@Q9 bad\r\n";
    joined += "end";
    auto l = Load(file);
    EXPECT_EQ(l->result.message, std::string(kFinal) + "@Q9 bad");
    EXPECT_EQ(l->result.line, kChain + 4u);
    ASSERT_EQ(l->db.quotations.GetCount(), 2u);
    EXPECT_TRUE(Same(l->db.quotations.GetItemText(l->db.quotations.GetRootItem()), joined));
  }
}

TEST(HostileContinuation, ChainOfBareDashesJoins) {
  // Each "-" line continues and adds nothing.
  auto dashes = Load("@Q1 a-\r\n" + Repeat("-\r\n", kChain) + "z\r\n@Q3 bad\r\n");
  EXPECT_EQ(dashes->result.message, std::string(kFinal) + "@Q3 bad");
  EXPECT_EQ(dashes->result.line, kChain + 3u);
  ASSERT_EQ(dashes->db.quotations.GetCount(), 1u);
  EXPECT_EQ(dashes->db.quotations.GetItemText(dashes->db.quotations.GetRootItem()), "az");
}

TEST(HostileContinuation, RunOfDashesIsEatenOnePerEmptyLine) {
  // The joined line is tested again: each empty line takes one more "-".
  const std::string run(kChain, '-');
  auto l = Load("@Q1 a" + run + "\r\n" + Repeat("\r\n", kChain - 1) + "z\r\n@Q3 bad\r\n");
  EXPECT_EQ(l->result.message, std::string(kFinal) + "@Q3 bad");
  EXPECT_EQ(l->result.line, kChain + 2u);
  EXPECT_EQ(l->db.quotations.GetItemText(l->db.quotations.GetRootItem()), "az");

  // At the end of the file each missing line reads as empty.
  auto atEnd = Load("@Q1 a" + run);
  ASSERT_EQ(atEnd->result.status, LoadResult::kComplete) << atEnd->result.message.substr(0, 200);
  EXPECT_EQ(atEnd->db.quotations.GetItemText(atEnd->db.quotations.GetRootItem()), "a");

  // A file of dashes alone is one empty logical line.
  auto bare = Load(run + "\r\n" + run + "\r\n");
  EXPECT_EQ(bare->result.message, kNoAt);
  EXPECT_EQ(bare->result.line, 1u);
}

TEST(HostileContinuation, ChainRunningIntoTheEndOfTheFileStillLoads) {
  std::string file = "@Q1 a\r\n@Q2 ";
  for (int i = 0; i < kChain; ++i) file += "x -\r\n";
  auto l = Load(file);
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message.substr(0, 200);
  HTREEITEM second = l->db.quotations.GetNextSiblingItem(l->db.quotations.GetRootItem());
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(Same(l->db.quotations.GetItemText(second), Repeat("x ", kChain)));
}

// --- Binary garbage ----------------------------------------------------------

constexpr size_t kGarbage = 1'000'000;

TEST(HostileBinary, GarbageStopsAtItsFirstLine) {
  std::string garbage = RandomBytes(kGarbage, 1252);
  garbage[0] = '\0';  // never a '@', and a NUL must not cut the message short
  const std::string first = LogicalLines(garbage).at(1);
  ASSERT_NE(first.find('\0'), std::string::npos);

  auto alone = Load(garbage);
  EXPECT_EQ(alone->result.status, LoadResult::kStopped);
  EXPECT_TRUE(Same(alone->result.message, kNoAt + first));
  EXPECT_EQ(alone->result.line, 1u);
  EXPECT_TRUE(alone->db.quotations.IsEmpty());

  auto afterQuotations = Load("@Q1 a\r\n@Q1.1 b\r\n" + garbage);
  EXPECT_TRUE(Same(afterQuotations->result.message, kNoAt + first));
  EXPECT_EQ(afterQuotations->result.line, 3u);
  EXPECT_EQ(afterQuotations->db.quotations.GetCount(), 2u);

  auto afterCategories = Load("@Q1 a\r\n@@\r\n@C1 c\r\n@R1 r\r\n@Ss\r\n" + garbage);
  EXPECT_TRUE(Same(afterCategories->result.message, kNoAt + first));
  EXPECT_EQ(afterCategories->result.line, 6u);
  EXPECT_EQ(afterCategories->db.referenceTotal, 1);
  EXPECT_EQ(afterCategories->db.subjectTotal, 1);
  EXPECT_EQ(
      afterCategories->db.quotations.GetItemData(afterCategories->db.quotations.GetRootItem()), 1u);
}

TEST(HostileBinary, GarbageAfterEveryTagStopsWhereItSays) {
  TempDir dir;
  const char* const heads[] = {"",
                               "@",
                               "@Q",
                               "@Q1",
                               "@Q1.",
                               "@C",
                               "@@\r\n@C1 c\r\n@S",
                               "@@\r\n@C1 c\r\n@R",
                               "@@\r\n@C1 c\r\n@C",
                               "@@\r\n@"};
  uint32_t seed = 1;
  for (const char* head : heads) {
    for (int i = 0; i < 8; ++i) {
      SCOPED_TRACE(std::string("after \"") + head + "\", seed " + std::to_string(seed));
      ExpectStopsWhereItSays(dir, head + RandomBytes(64 << 10, seed++));
      if (HasFailure()) return;
    }
  }
}

// Damaged copies of a sound file: bytes replaced, inserted, dropped, lines
// repeated. Whatever comes of them, loading explains where it stopped.
TEST(HostileBinary, DamagedFilesStopWhereTheySay) {
  const std::string sound = test::CrLf({"@Q1 Seneca",
                                        "@Q1.1 Life is long if you know how to use it.",
                                        "@Q1.2 Luck is what happens when -",
                                        "preparation meets opportunity.",
                                        "@Q2 Marcus Aurelius",
                                        "@Q2.1 The happiness of your life depends -",
                                        "upon the quality of your thoughts.",
                                        "@Q02.02 Leading zeros",
                                        "@Q2.2.1 deeper",
                                        "@Q3",
                                        "@@",
                                        "@C1 Virtue",
                                        "@Scourage",
                                        "@R1.1 on time",
                                        "@C1.1 Patience",
                                        "@R2.1 thoughts",
                                        "@R02.02 odd code",
                                        "@SPatience",
                                        "@C2 Vice",
                                        "@R1 author",
                                        "@Sgreed",
                                        "@R2.2.1 deep",
                                        "@R3 last"});
  static constexpr char kHostile[] = {'@', '-', '\r', '\n', '.',  '0', '1',  '2', '9', ' ',
                                      'Q', 'C', 'S',  'R',  '\0', '@', '\n', '-', '.', '1'};
  TempDir dir;
  ExpectStopsWhereItSays(dir, sound);
  ASSERT_EQ(LoadIn(dir, sound)->result.status, LoadResult::kComplete);
  std::mt19937 random(4711);
  for (int round = 0; round < 400; ++round) {
    std::string bytes = sound;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      const size_t at = random() % bytes.size();
      const char c = random() % 4 == 0 ? static_cast<char>(random() & 0xFF)
                                       : kHostile[random() % sizeof kHostile];
      switch (random() % 4) {
        case 0:
          bytes[at] = c;
          break;
        case 1:
          bytes.insert(at, 1, c);
          break;
        case 2:
          bytes.erase(at, 1);
          break;
        default: {
          const size_t start =
              bytes.rfind('\n', at) == std::string::npos ? 0 : bytes.rfind('\n', at) + 1;
          const size_t end = bytes.find('\n', at);
          if (end != std::string::npos) bytes.insert(start, bytes.substr(start, end + 1 - start));
        }
      }
    }
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectStopsWhereItSays(dir, bytes);
    if (HasFailure()) return;
  }
}

// --- Depth -------------------------------------------------------------------

std::string Chain(int top, int levels) {
  std::string code = std::to_string(top);
  for (int i = 1; i < levels; ++i) code += ".1";
  return code;
}

constexpr int kChains = 4000;

// kChains chains of 25 levels, then categories 25 levels deep whose deepest
// refers to the deepest node of every chain, to a node 7 levels down (a code
// that fits a packed key) and to one 8 levels down (one that does not).
std::string DeepFile(const std::string& beforeSeparator = "") {
  std::string file;
  for (int k = 1; k <= kChains; ++k)
    for (int level = 1; level <= 25; ++level)
      file += "@Q" + Chain(k, level) + " chain " + std::to_string(k) + "\r\n";
  file += beforeSeparator + "@@\r\n";
  for (int level = 1; level <= 25; ++level) file += "@C" + Chain(1, level) + " nested\r\n";
  for (int k = 1; k <= kChains; ++k) {
    file += "@R" + Chain(k, 25) + " deepest\r\n";
    file += "@R" + Chain(k, 7) + " seven\r\n";
    file += "@R" + Chain(k, 8) + " eight\r\n";
  }
  return file + "@C2 top again\r\n@Sdone\r\n";
}

TEST(HostileDepth, ManyChainsOfTwentyFiveLevelsLoad) {
  auto l = Load(DeepFile());
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message;
  const TreeStore& q = l->db.quotations;
  EXPECT_EQ(q.GetCount(), 25u * kChains);
  EXPECT_EQ(q.GetChildCount(nullptr), kChains);
  EXPECT_EQ(l->db.referenceTotal, 3 * kChains);
  EXPECT_EQ(ReferenceCountSum(q), 3u * kChains);

  HTREEITEM deepestCategory = l->db.categories.GetRootItem();
  for (int level = 1; level < 25; ++level)
    deepestCategory = l->db.categories.GetChildItem(deepestCategory);
  ASSERT_NE(deepestCategory, nullptr);
  EXPECT_EQ(l->db.categories.GetLevel(deepestCategory), 24);
  const CategoryRecord* record = l->db.Record(deepestCategory);
  ASSERT_EQ(record->referenceTargets.size(), 3u * kChains);
  for (int k = 1; k <= kChains; ++k) {
    HTREEITEM node = q.GetChildAt(nullptr, k - 1);
    for (int level = 1; level < 25; ++level) {
      node = q.GetChildItem(node);
      const size_t i = 3 * (k - 1);
      if (level == 6) {
        ASSERT_EQ(record->referenceTargets[i + 1], node) << k;
      }
      if (level == 7) {
        ASSERT_EQ(record->referenceTargets[i + 2], node) << k;
      }
    }
    ASSERT_EQ(record->referenceTargets[3 * (k - 1)], node) << k;
    ASSERT_EQ(q.GetItemData(node), 1u);
    ASSERT_EQ(q.GetLevel(node), 24);
  }
  HTREEITEM top = l->db.categories.GetNextSiblingItem(l->db.categories.GetRootItem());
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(l->db.Record(top)->subjectEntries, std::vector<std::string>{"done"});
}

TEST(HostileDepth, TwentySixthLevelStopsAtItsLine) {
  const std::string deeper = "@Q" + Chain(kChains, 26) + " too deep";
  auto l = Load(DeepFile(deeper + "\r\n"));
  EXPECT_EQ(l->result.message, kTooDeep + deeper);
  EXPECT_EQ(l->result.line, 25u * kChains + 1);
  EXPECT_EQ(l->db.quotations.GetCount(), 25u * kChains);
  EXPECT_TRUE(l->db.categories.IsEmpty());

  // Ten thousand levels under a full chain give the same message, whole.
  const std::string far = "@Q" + Chain(kChains, 10'000) + " far too deep";
  auto f = Load(DeepFile(far + "\r\n"));
  EXPECT_TRUE(Same(f->result.message, kTooDeep + far));

  // Categories are held to the same limit.
  std::string categories = "@@\r\n";
  for (int level = 1; level <= 25; ++level) categories += "@C" + Chain(1, level) + " c\r\n";
  const std::string deepCategory = "@C" + Chain(1, 26) + " c";
  auto c = Load(categories + deepCategory + "\r\n");
  EXPECT_EQ(c->result.message, kTooDeep + deepCategory);
  EXPECT_EQ(c->result.line, 27u);
  EXPECT_EQ(c->db.categories.GetCount(), 25u);

  // And a reference 26 levels down names no node.
  auto r = Load(DeepFile() + "@R" + Chain(1, 26) + " x\r\n");
  EXPECT_EQ(r->result.message, kMissing + ("@R" + Chain(1, 26) + " x"));
}

// --- Numbers with thousands of digits ----------------------------------------

TEST(HostileNumbers, ThousandsOfDigitsFailTheOrdinaryTests) {
  const std::string nines(5000, '9');
  const std::string ones(5000, '1');
  const std::string zeros(5000, '0');
  struct Case {
    std::string file, message;
    uint64_t line;
  };
  const Case cases[] = {
      {"@Q1 a\r\n@Q" + nines + " x\r\n", kFinal + ("@Q" + nines + " x"), 2},
      {"@Q1 a\r\n@Q1." + nines + " x\r\n", kFinal + ("@Q1." + nines + " x"), 2},
      {"@Q1 a\r\n@Q" + ones + ".1 x\r\n", kInterior + ("@Q" + ones + ".1 x"), 2},
      {"@Q1 a\r\n@Q1.1 b\r\n@Q1." + nines + ".1 x\r\n", kInterior + ("@Q1." + nines + ".1 x"), 3},
      {"@Q" + zeros + " x\r\n", kZero + ("@Q" + zeros + " x"), 1},
      {"@Q1 a\r\n@Q1." + zeros + " x\r\n", kZero + ("@Q1." + zeros + " x"), 2},
      // Past 2^32 and 2^64 a wrapped number would read as the next one.
      {"@Q1 a\r\n@Q4294967298 x\r\n", kFinal + std::string("@Q4294967298 x"), 2},
      {"@Q1 a\r\n@Q18446744073709551618 x\r\n", kFinal + std::string("@Q18446744073709551618 x"),
       2},
      {"@Q1 a\r\n@Q1.4294967297 x\r\n", kFinal + std::string("@Q1.4294967297 x"), 2},
      {"@@\r\n@C1 c\r\n@C" + nines + " d\r\n", kFinal + ("@C" + nines + " d"), 3},
      {"@@\r\n@C1 c\r\n@C" + ones + ".1 d\r\n", kInterior + ("@C" + ones + ".1 d"), 3},
      {"@Q1 a\r\n@@\r\n@C1 c\r\n@R" + nines + " r\r\n", kMissing + ("@R" + nines + " r"), 4},
      {"@Q1 a\r\n@@\r\n@C1 c\r\n@R4294967297 r\r\n", kMissing + std::string("@R4294967297 r"), 4},
      {"@Q1 a\r\n@@\r\n@C1 c\r\n@R18446744073709551617 r\r\n",
       kMissing + std::string("@R18446744073709551617 r"), 4},
      {"@Q1 a\r\n@Q1.1 b\r\n@@\r\n@C1 c\r\n@R1." + nines + " r\r\n",
       kMissing + ("@R1." + nines + " r"), 5},
      {"@Q1 a\r\n@@\r\n@C1 c\r\n@R" + zeros + " r\r\n", kMissing + ("@R" + zeros + " r"), 4},
  };
  for (const Case& c : cases) {
    auto l = Load(c.file);
    EXPECT_EQ(l->result.status, LoadResult::kStopped);
    EXPECT_EQ(l->result.message, c.message);
    EXPECT_EQ(l->result.line, c.line) << c.message.substr(0, 60);
  }
}

TEST(HostileNumbers, ThousandsOfLeadingZerosStillCount) {
  const std::string zeros(5000, '0');
  const std::string odd = zeros + "1." + zeros + "1";
  auto l = Load("@Q" + zeros + "1 x\r\n@Q" + odd + " y\r\n@Q" + zeros.substr(2000) +
                "2 z\r\n@@\r\n@C" + zeros + "1 c\r\n@R" + odd + " by the code as written\r\n");
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message.substr(0, 200);
  const TreeStore& q = l->db.quotations;
  ASSERT_EQ(q.GetCount(), 3u);
  HTREEITEM y = q.GetChildItem(q.GetRootItem());
  EXPECT_EQ(q.GetItemText(y), "y");
  EXPECT_EQ(q.GetItemData(y), 1u);
  EXPECT_EQ(q.GetItemText(q.GetNextSiblingItem(q.GetRootItem())), "z");
  EXPECT_EQ(l->db.Record(l->db.categories.GetRootItem())->referenceTargets,
            std::vector<HTREEITEM>{y});

  // Written otherwise, the same code does not find it.
  auto other = Load("@Q" + zeros + "1 x\r\n@@\r\n@C1 c\r\n@R" + zeros.substr(1) + "1 r\r\n");
  EXPECT_EQ(other->result.message, kMissing + ("@R" + zeros.substr(1) + "1 r"));
}

// --- Many entries under one category -----------------------------------------

constexpr int kMany = 50'000;

TEST(HostileSubjects, FiftyThousandEntriesUnderOneCategory) {
  std::mt19937 random(77);
  std::vector<std::string> entries;
  std::string file = "@Q1 a\r\n@@\r\n@C1 crowded\r\n";
  for (int i = 0; i < kMany; ++i) {
    std::string entry;
    switch (random() % 4) {
      case 0:
        entry = "same";  // many equal entries
        break;
      case 1:
        entry = "Same";
        break;
      default:
        for (int n = 1 + static_cast<int>(random() % 12); n > 0; --n)
          entry += static_cast<char>('a' + random() % 26);
        if (random() % 3 == 0) entry[0] = static_cast<char>(entry[0] - 'a' + 'A');
    }
    if (i % 1000 == 0) entry.clear();
    file += "@S" + entry + "\r\n";
    entries.push_back(std::move(entry));
  }
  file += "@C2 sparse\r\n@Szebra\r\n@Salpha\r\n";
  auto l = Load(file);
  ASSERT_EQ(l->result.status, LoadResult::kComplete) << l->result.message;
  const Database& db = l->db;
  HTREEITEM crowded = db.categories.GetRootItem();
  HTREEITEM sparse = db.categories.GetNextSiblingItem(crowded);
  EXPECT_TRUE(db.Record(crowded)->subjectEntries == entries);
  EXPECT_EQ(db.subjectTotal, kMany + 2);
  ASSERT_EQ(db.subjects.GetCount(), kMany + 2);

  // The index holds every entry once with its category, in collation order.
  std::vector<std::string> indexed;
  int ofCrowded = 0;
  std::string previous, buffer;
  for (int i = 0; i < db.subjects.GetCount(); ++i) {
    const std::string_view text = db.subjects.GetLBText(i);
    const HTREEITEM category = db.subjects.GetItemData(i);
    ASSERT_TRUE(category == crowded || category == sparse) << i;
    if (category == crowded) {
      ++ofCrowded;
      indexed.emplace_back(text);
    }
    const std::string key(CollationKey(text, buffer));
    ASSERT_LE(previous, key) << i;
    previous = key;
  }
  EXPECT_EQ(ofCrowded, kMany);
  std::vector<std::string> sorted = entries;
  std::sort(sorted.begin(), sorted.end());
  std::sort(indexed.begin(), indexed.end());
  EXPECT_TRUE(indexed == sorted);
  EXPECT_NE(db.subjects.Find("zebra", sparse), -1);
  EXPECT_NE(db.subjects.Find("same", crowded), -1);
}

TEST(HostileSubjects, FiftyThousandReferencesToOneNode) {
  std::string file = "@Q1 a\r\n@Q1.1 b\r\n@@\r\n@C1 c\r\n";
  for (int i = 0; i < kMany; ++i) file += i % 2 ? "@R1.1 r\r\n" : "@R1.1\r\n";
  auto l = Load(file + "@R1.2 missing at the end\r\n");
  EXPECT_EQ(l->result.message, std::string(kMissing) + "@R1.2 missing at the end");
  EXPECT_EQ(l->result.line, kMany + 5u);
  EXPECT_EQ(l->db.referenceTotal, kMany);
  const TreeStore& q = l->db.quotations;
  EXPECT_EQ(q.GetItemData(q.GetChildItem(q.GetRootItem())), static_cast<uintptr_t>(kMany));
  EXPECT_EQ(l->db.Record(l->db.categories.GetRootItem())->referenceTargets.size(),
            static_cast<size_t>(kMany));
}

}  // namespace
}  // namespace lorelist
