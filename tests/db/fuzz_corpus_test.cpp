#include <gtest/gtest.h>

#include <string>

#include "fuzz/round_trip.h"

namespace lorelist {
namespace {

using namespace std::string_literals;

using test::CheckConsistency;
using test::CompareDatabases;

// A small database built by hand, consistent in every way the check looks at:
// quotations A (with child A1) and B, a category with one subject entry and a
// reference to A1.
struct Built {
  Database db;
  HTREEITEM a, a1, b, category;
  CategoryRecord* record;

  Built() {
    a = db.quotations.InsertItem("A");
    a1 = db.quotations.InsertItem("A1", a);
    b = db.quotations.InsertItem("B");
    category = db.categories.InsertItem("Cat");
    record = db.AttachRecord(category);
    record->subjectEntries.push_back("apple");
    db.subjects.SetItemData(db.subjects.AddString("apple"), category);
    db.subjectTotal = 1;
    record->referenceTargets.push_back(a1);
    record->referenceTexts.push_back(db.StoreText("see A1"));
    db.quotations.SetItemData(a1, 1);
    db.referenceTotal = 1;
  }
};

TEST(FuzzRoundTrip, CatchesCountsTotalsTargetsAndAListThatDisagreeWithTheRecords) {
  Built count, references, subjects, outside, missing, unsorted;
  count.db.quotations.SetItemData(count.a, 1);
  references.db.referenceTotal = 2;
  subjects.db.subjectTotal = 0;
  // A node of the other tree: it must be reported without being followed.
  outside.record->referenceTargets[0] = outside.category;
  missing.record->subjectEntries.push_back("banana");
  missing.db.subjectTotal = 2;
  unsorted.record->subjectEntries.push_back("Aardvark");
  unsorted.db.subjectTotal = 2;
  unsorted.db.subjects.AppendUnsorted("Aardvark", unsorted.category);  // after "apple"
  const Built* broken[] = {&count, &references, &subjects, &outside, &missing, &unsorted};
  for (size_t i = 0; i < std::size(broken); ++i)
    EXPECT_NE(CheckConsistency(broken[i]->db), "") << "broken database #" << i;
}

TEST(FuzzRoundTrip, AcceptsAnEqualAndTellsDatabasesApartByShapeTextsAndTargets) {
  Built base;
  EXPECT_EQ(CheckConsistency(base.db), "");
  EXPECT_EQ(CompareDatabases(base.db, Built().db), "");
  Built moved;
  moved.record->referenceTargets[0] = moved.b;
  moved.db.quotations.SetItemData(moved.a1, 0);
  moved.db.quotations.SetItemData(moved.b, 1);
  EXPECT_EQ(CheckConsistency(moved.db), "");
  EXPECT_NE(CompareDatabases(base.db, moved.db), "");

  Built renamed;
  renamed.db.categories.SetItemText(renamed.category, "Cat ");
  EXPECT_NE(CompareDatabases(base.db, renamed.db), "");

  Built reshaped;
  // The same texts in the same order, A1 now at the top level.
  reshaped.db.quotations.DeleteItem(reshaped.a);
  reshaped.a = reshaped.db.quotations.InsertItem("A", nullptr, TVI_FIRST);
  reshaped.a1 = reshaped.db.quotations.InsertItem("A1", nullptr, reshaped.a);
  reshaped.record->referenceTargets[0] = reshaped.a1;
  reshaped.db.quotations.SetItemData(reshaped.a1, 1);
  EXPECT_EQ(CheckConsistency(reshaped.db), "");
  EXPECT_NE(CompareDatabases(base.db, reshaped.db), "");
}

// The message of a stopped load must quote the whole logical line that starts
// at the line it names, after a fixed text of its own.
TEST(FuzzRoundTrip, CatchesAStopMessageThatDoesNotQuoteItsLine) {
  using test::CheckStopMessage;
  const std::string file = "@Q1 a\r\n@Q3 one -\r\ntwo\r\n@Q2 b\0c\n"s;
  EXPECT_EQ(CheckStopMessage(file, "Bad: @Q3 one two", 2), "");
  EXPECT_EQ(CheckStopMessage(file, "Bad: @Q2 b\0c"s, 4), "");
  EXPECT_NE(CheckStopMessage(file, "Bad: @Q3 one ", 2), "");     // the first physical line only
  EXPECT_NE(CheckStopMessage(file, "Bad: two", 3), "");          // inside the continued line
  EXPECT_NE(CheckStopMessage(file, "Bad: @Q3 one two", 4), "");  // another line
  EXPECT_NE(CheckStopMessage(file, "Bad: @Q2 b", 4), "");        // cut at the NUL
  EXPECT_NE(CheckStopMessage(file, "@Q2 b\0c"s, 4), "");         // no fixed text
  EXPECT_NE(CheckStopMessage(file, "Bad: @Q1 a\r\n@Q2 b\0c"s, 4), "");
  EXPECT_NE(CheckStopMessage(file, "Bad: ", 6), "");  // past the end
}

}  // namespace
}  // namespace lorelist
