#include "db/load.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/loaded.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::TempDir;

using test::Loaded;
using test::Recorder;

void Load(Loaded& l, std::string_view bytes) {
  TempDir dir;
  test::WriteFile(dir.File("Florilex.txt"), bytes);
  l.result = LoadDatabase(l.db, dir.File("Florilex.txt"), &l.reporter);
}

// The message a file of quotation lines stops with ("" when it loads whole).
std::string MessageFor(std::initializer_list<std::string_view> lines) {
  Loaded l;
  Load(l, CrLf(lines));
  return l.result.message;
}

std::vector<std::string> Codes(const TreeStore& tree) {
  std::vector<std::string> codes;
  for (HTREEITEM h = tree.GetRootItem(); h;) {
    codes.push_back(NodeCode(h) + " " + std::string(tree.GetItemText(h)));
    if (NextNode(h, tree) == kEndOfWalk) break;
  }
  return codes;
}

TEST(LoadDatabase, EmptyFileOrBareSeparatorGivesEmptyTrees) {
  for (std::string_view bytes : {std::string_view(""), std::string_view("@@\r\n")}) {
    Loaded l;
    Load(l, bytes);
    EXPECT_EQ(l.result.status, LoadResult::kComplete);
    EXPECT_TRUE(l.db.quotations.IsEmpty());
    EXPECT_TRUE(l.db.categories.IsEmpty());
    EXPECT_TRUE(l.reporter.reports.empty());
    EXPECT_FALSE(l.db.partlyLoaded);
  }
}

TEST(LoadDatabase, BuildsTheTreesFromTheCodes) {
  Loaded l;
  Load(l, CrLf({"@Q1 A", "@Q1.1 A1", "@Q1.1.1 A11", "@Q2 B", "@Q2.1 B1", "@Q3", "@Q4  two",
                "@@ anything here is ignored", "@C1 Cat", "@C1.1 Sub", "@C2 Other"}));
  EXPECT_EQ(l.result.status, LoadResult::kComplete);
  EXPECT_EQ(Codes(l.db.quotations), (std::vector<std::string>{"1 A", "1.1 A1", "1.1.1 A11", "2 B",
                                                              "2.1 B1", "3 ", "4  two"}));
  EXPECT_EQ(Codes(l.db.categories), (std::vector<std::string>{"1 Cat", "1.1 Sub", "2 Other"}));
  HTREEITEM cat = l.db.categories.GetRootItem();
  ASSERT_NE(l.db.Record(cat), nullptr);
  EXPECT_FALSE(l.db.IsChanged());
}

TEST(CheckCode, GivesEachBadCodeItsMessage) {
  EXPECT_EQ(MessageFor({"@Q2 x"}), "Final number does not increment by 1: @Q2 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q1.2 x"}), "Final number does not increment by 1: @Q1.2 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q1.1.1 x"}), "Code interior moves on: @Q1.1.1 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q1..1 x"}), "Code has zero component: @Q1..1 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q1.0 x"}), "Code has zero component: @Q1.0 x");
  EXPECT_EQ(MessageFor({"@Qx"}), "Code has zero component: @Qx");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q1x y"}), "Code contains spurious character: @Q1x y");
  // The interior test comes first: with no node 1 yet, "1" cannot be interior.
  EXPECT_EQ(MessageFor({"@Q1x y"}), "Code interior moves on: @Q1x y");
  EXPECT_EQ(MessageFor({"@Q 1 text"}), "Code omitted: @Q 1 text");
  EXPECT_EQ(MessageFor({"@Q"}), "Code omitted: @Q");
  // Numbers too large for an integer fail the ordinary tests.
  EXPECT_EQ(MessageFor({"@Q99999999999999999999999 x"}),
            "Final number does not increment by 1: @Q99999999999999999999999 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q4294967297.1 x"}), "Code interior moves on: @Q4294967297.1 x");
  // Categories are checked the same way.
  EXPECT_EQ(MessageFor({"@@", "@C1 a", "@C1.2 b"}),
            "Final number does not increment by 1: @C1.2 b");
}

TEST(CheckCode, AcceptsTwentyFiveLevelsAndNoMore) {
  std::vector<std::string> lines;
  std::string code = "1";
  for (int level = 0; level < 25; ++level) {
    lines.push_back("@Q" + code + " level " + std::to_string(level));
    code += ".1";
  }
  lines.push_back("@Q" + code + " too deep");
  std::string file;
  for (const std::string& line : lines) file += line + "\r\n";
  Loaded l;
  Load(l, file);
  EXPECT_EQ(l.result.message, "More than 25 levels: " + lines.back());
  EXPECT_EQ(l.result.line, 26u);
  EXPECT_EQ(l.db.quotations.GetCount(), 25u);
}

TEST(LoadDatabase, GoesBackUpSeveralLevels) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q1.1 b", "@Q1.1.1 c", "@Q2 d", "@Q2.1 e"}));
  HTREEITEM second = l.db.quotations.GetNextSiblingItem(l.db.quotations.GetRootItem());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(l.db.quotations.GetItemText(second), "d");
  EXPECT_EQ(l.db.quotations.GetItemText(l.db.quotations.GetChildItem(second)), "e");
}

TEST(LoadDatabase, RefusesLinesThatBreakTheGrammar) {
  EXPECT_EQ(MessageFor({"@Q1 a", "Q2 b"}), "Line does not start with '@': Q2 b");
  EXPECT_EQ(MessageFor({"@Q1 a", ""}), "Line does not start with '@': ");
  EXPECT_EQ(MessageFor({"@C1 a"}), "Line does not begin with valid letter: @C1 a");
  EXPECT_EQ(MessageFor({"@q1 a"}), "Line does not begin with valid letter: @q1 a");
  EXPECT_EQ(MessageFor({"@@", "@Q1 a"}), "Line does not begin with valid letter: @Q1 a");
  EXPECT_EQ(MessageFor({"@@", "@C1 a", "@@"}), "Line does not begin with valid letter: @@");
  EXPECT_EQ(MessageFor({"@"}), "Line does not begin with valid letter: @");
}

TEST(LoadDatabase, StopsAtTheFirstErrorKeepingWhatCameBefore) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q1.1 b", "@Q2 long -", "text over -", "three lines", "@Q9 bad",
                "@Q3 never read"}));
  EXPECT_EQ(l.result.status, LoadResult::kStopped);
  EXPECT_EQ(l.result.message, "Final number does not increment by 1: @Q9 bad");
  EXPECT_EQ(l.result.line, 6u);
  ASSERT_EQ(l.reporter.reports.size(), 1u);
  EXPECT_EQ(l.reporter.reports[0].first, l.result.message);
  EXPECT_EQ(l.reporter.reports[0].second, 6u);
  EXPECT_EQ(Codes(l.db.quotations),
            (std::vector<std::string>{"1 a", "1.1 b", "2 long text over three lines"}));
  EXPECT_TRUE(l.db.partlyLoaded);
  EXPECT_FALSE(l.db.IsChanged());
}

TEST(LoadDatabase, QuotesAContinuedLineWholeAndNumbersItsFirstLine) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q3 first -", "second -", "third"}));
  EXPECT_EQ(l.result.message, "Final number does not increment by 1: @Q3 first second third");
  EXPECT_EQ(l.result.line, 2u);
}

// Only CR LF and LF end a line: a CR alone belongs to it, also at the very
// end of the file, where it keeps a final "-" from continuing the line.
TEST(LoadDatabase, ALoneCarriageReturnIsPartOfTheLine) {
  for (const auto& [bytes, text] : std::vector<std::pair<std::string, std::string>>{
           {"@Q1 a\r", "a\r"}, {"@Q1 a-\r", "a-\r"}, {"@Q1 a\rb\r\n", "a\rb"}}) {
    Loaded l;
    Load(l, bytes);
    EXPECT_EQ(l.result.status, LoadResult::kComplete);
    ASSERT_EQ(l.db.quotations.GetCount(), 1u);
    EXPECT_EQ(l.db.quotations.GetItemText(l.db.quotations.GetRootItem()), text);
  }
}

TEST(LoadDatabase, EndOfFileBeforeTheSeparatorLeavesNoCategories) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q1.1 b"}));
  EXPECT_EQ(l.result.status, LoadResult::kComplete);
  EXPECT_EQ(l.db.quotations.GetCount(), 2u);
  EXPECT_TRUE(l.db.categories.IsEmpty());
}

TEST(LoadDatabase, CountsReferencesAndSubjectEntries) {
  Loaded l;
  Load(l, CrLf({"@Q1 author", "@Q1.1 quote", "@Q2 other", "@@", "@C1 Virtue", "@R1.1 first",
                "@Scourage", "@R1.1 again", "@R1 author itself", "@C2 Vice", "@SCourage", "@R1.1 ",
                "@R2"}));
  ASSERT_EQ(l.result.status, LoadResult::kComplete) << l.result.message;
  const TreeStore& q = l.db.quotations;
  HTREEITEM author = q.GetRootItem();
  HTREEITEM quote = q.GetChildItem(author);
  EXPECT_EQ(q.GetItemData(quote), 3u);
  EXPECT_EQ(q.GetItemData(author), 1u);
  EXPECT_EQ(q.GetItemData(q.GetNextSiblingItem(author)), 1u);
  EXPECT_EQ(l.db.referenceTotal, 5);
  EXPECT_EQ(l.db.subjectTotal, 2);

  HTREEITEM virtue = l.db.categories.GetRootItem();
  const CategoryRecord* record = l.db.Record(virtue);
  EXPECT_EQ(record->subjectEntries, (std::vector<std::string>{"courage"}));
  ASSERT_EQ(record->referenceTexts.size(), 3u);
  EXPECT_EQ(record->referenceTexts[1], "again");
  EXPECT_EQ(record->referenceTargets[2], author);
  const CategoryRecord* vice = l.db.Record(l.db.categories.GetNextSiblingItem(virtue));
  EXPECT_EQ(vice->referenceTexts, (std::vector<std::string_view>{"", ""}));

  ASSERT_EQ(l.db.subjects.GetCount(), 2);
  EXPECT_EQ(l.db.subjects.GetLBText(0), "courage");
  EXPECT_EQ(l.db.subjects.GetItemData(0), virtue);
  EXPECT_EQ(l.db.subjects.GetLBText(1), "Courage");
}

TEST(LoadDatabase, RefusesSubjectsAndReferencesOutsideACategory) {
  EXPECT_EQ(MessageFor({"@Q1 a", "@@", "@Sloose"}),
            "Line comes before the first category: @Sloose");
  EXPECT_EQ(MessageFor({"@Q1 a", "@@", "@R1 x"}), "Line comes before the first category: @R1 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@@", "@C1 c", "@R2 x"}),
            "Reference to a missing quotation node: @R2 x");
  EXPECT_EQ(MessageFor({"@Q1 a", "@@", "@C1 c", "@R"}),
            "Reference to a missing quotation node: @R");
}

// A missing target stops loading at its line even though references are
// resolved after reading: what came before it stays, what came after does not.
TEST(LoadDatabase, MissingReferenceTargetStopsAtItsLine) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q1.1 b", "@@", "@C1 c", "@Sentry", "@R1.1 good", "@R1 good too", "@C2 d",
                "@R1.1 fine", "@R1.7 dangling", "@R1.1 after", "@C3 never", "@Slost"}));
  EXPECT_EQ(l.result.message, "Reference to a missing quotation node: @R1.7 dangling");
  EXPECT_EQ(l.result.line, 10u);
  ASSERT_EQ(l.reporter.reports.size(), 1u);
  EXPECT_EQ(l.db.referenceTotal, 3);
  EXPECT_EQ(l.db.subjectTotal, 1);
  EXPECT_EQ(l.db.subjects.GetCount(), 1);
  EXPECT_EQ(l.db.categories.GetCount(), 2u);
  HTREEITEM b = l.db.quotations.GetChildItem(l.db.quotations.GetRootItem());
  EXPECT_EQ(l.db.quotations.GetItemData(b), 2u);
  EXPECT_TRUE(l.db.partlyLoaded);
}

TEST(LoadDatabase, ReadsLeadingZerosAndFindsReferencesByTheCodeAsWritten) {
  Loaded l;
  Load(l, CrLf({"@Q1 a", "@Q1.1 b", "@Q01.02 x", "@@", "@C1 c", "@R01.02 by its own text",
                "@R1.1 plain"}));
  ASSERT_EQ(l.result.status, LoadResult::kComplete) << l.result.message;
  HTREEITEM x = l.db.quotations.GetChildAt(l.db.quotations.GetRootItem(), 1);
  EXPECT_EQ(l.db.quotations.GetItemText(x), "x");
  EXPECT_EQ(l.db.quotations.GetItemData(x), 1u);
  // The map holds the code text exactly as read.
  EXPECT_EQ(MessageFor({"@Q1 a", "@Q01.01 b", "@@", "@C1 c", "@R1.1 x"}),
            "Reference to a missing quotation node: @R1.1 x");
}

TEST(LoadDatabase, ResolvesReferencesToDeepNodes) {
  std::string file;
  std::string code = "1";
  for (int level = 0; level < 20; ++level) {
    file += "@Q" + code + " level " + std::to_string(level) + "\r\n";
    code += ".1";
  }
  const std::string deep = code.substr(0, code.size() - 2);
  file += "@Q2 second\r\n@@\r\n@C1 c\r\n@R" + deep + " deep\r\n@R2 top\r\n";
  Loaded l;
  Load(l, file);
  ASSERT_EQ(l.result.status, LoadResult::kComplete) << l.result.message;
  const CategoryRecord* record = l.db.Record(l.db.categories.GetRootItem());
  EXPECT_EQ(NodeCode(record->referenceTargets[0]), deep);
  EXPECT_EQ(l.db.quotations.GetItemData(record->referenceTargets[0]), 1u);
  EXPECT_EQ(l.db.quotations.GetItemText(record->referenceTargets[1]), "second");
}

TEST(LoadDatabase, AMissingFileIsANewDatabaseAndOneThatCannotBeOpenedIsReported) {
  Database db;
  Recorder reporter;
  LoadResult result = LoadDatabase(db, "/nonexistent/Florilex.txt", &reporter);
  EXPECT_EQ(result.status, LoadResult::kMissing);
  EXPECT_EQ(result.message, "Cannot open file /nonexistent/Florilex.txt");
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_TRUE(db.quotations.IsEmpty());
  EXPECT_FALSE(db.partlyLoaded);  // nothing there to lose: a first save may create it

  TempDir dir;  // a folder where the file should be cannot be replaced by an empty database
  LoadResult folder = LoadDatabase(db, dir.path(), &reporter);
  EXPECT_EQ(folder.status, LoadResult::kCannotOpen);
  EXPECT_EQ(reporter.reports.size(), 1u);
  EXPECT_TRUE(db.partlyLoaded);
}

}  // namespace
}  // namespace lorelist
