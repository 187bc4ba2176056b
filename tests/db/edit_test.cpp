#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/code_check.h"
#include "db/load.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"
#include "support/random_edits.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::RandomEdits;
using test::State;
using test::WrittenDatabase;

const std::string kSmall = CrLf({
    "@Q1 Montaigne",
    "@Q1.1 Essais",
    "@Q1.1.1 Que sais-je?",
    "@Q2 Pascal",
    "@Q2.1 Pensees",
    "@@",
    "@C1 Doubt",
    "@Sdoubt",
    "@R1.1.1 the motto",
    "@C1.1 Wager",
    "@C2 Heart",
});

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(test::LoadBytes(db, kSmall).status, LoadResult::kComplete); }
  HTREEITEM Q(const std::string& code) { return test::NodeAt(db.quotations, code); }
  HTREEITEM C(const std::string& code) { return test::NodeAt(db.categories, code); }

  // Each refusal leaves the database exactly as it was, with nothing to undo.
  void ExpectRefused(const std::string& refusal, const std::string& expected) {
    EXPECT_EQ(refusal, expected);
    EXPECT_EQ(State(db), before);
    EXPECT_FALSE(db.CanUndo());
  }

  Database db;
  std::string before;
};

TEST_F(EditTest, InsertAndUpdateRefuseInOrder) {
  before = State(db);
  const Tree q = Tree::kQuotations;
  ExpectRefused(db.InsertNode(q, nullptr, Placement::kAfter, ""), "First select a quotation node");
  ExpectRefused(db.InsertNode(Tree::kCategories, nullptr, Placement::kAfter, "x"),
                "First select a category");
  ExpectRefused(db.InsertNode(q, Q("1"), Placement::kBelow, ""), "Give the text for this new node");
  ExpectRefused(db.InsertNode(Tree::kCategories, C("1"), Placement::kAfter, ""),
                "Give a title to this new category");
  ExpectRefused(db.InsertNode(q, Q("1"), Placement::kBelow, "two\nlines"),
                "A text cannot contain line breaks: the database file keeps each text on one "
                "line.");
  ExpectRefused(db.InsertNode(q, Q("1"), Placement::kAfter, "ends-"),
                "A text cannot end with '-': the database file would read it as continued on "
                "the next line.");
  EditText unstorable("a?");
  unstorable.unstorable = "\xE2\x82\xAC";
  ExpectRefused(db.InsertNode(q, Q("1"), Placement::kAfter, unstorable),
                "The character '\xE2\x82\xAC' cannot be stored in the database.");
  ExpectRefused(db.InsertNode(q, Q("1"), Placement::kBelow, "x"),
                "This category already has nodes below it. First select one of them.");
  ExpectRefused(db.UpdateText(q, nullptr, "x"), "First select a quotation node");
}

// After the selected node on its level, before it, or below it as the last
// child; categories come with a record of their own.
TEST_F(EditTest, NewNodesGoAfterBeforeOrBelowTheSelectedOne) {
  const Tree q = Tree::kQuotations;
  HTREEITEM made = nullptr;
  ASSERT_EQ(db.InsertNode(q, Q("1"), Placement::kBefore, "first", &made), "");
  EXPECT_EQ(made, Q("1"));
  ASSERT_EQ(db.InsertNode(q, Q("3"), Placement::kAfter, "last", &made), "");
  EXPECT_EQ(made, Q("4"));
  ASSERT_EQ(db.InsertNode(q, Q("4"), Placement::kBelow, "only child", &made), "");
  EXPECT_EQ(made, Q("4.1"));
  ASSERT_EQ(db.InsertNode(q, Q("2.1"), Placement::kBefore, "new first child", &made), "");
  EXPECT_EQ(made, Q("2.1"));
  EXPECT_EQ(db.quotations.GetItemText(Q("2.2.1")), "Que sais-je?");
  ASSERT_EQ(db.InsertNode(Tree::kCategories, C("2"), Placement::kBelow, "Brevity", &made), "");
  EXPECT_EQ(made, C("2.1"));
  ASSERT_NE(db.Record(made), nullptr);
  EXPECT_EQ(db.DeleteNode(Tree::kCategories, made), "");
}

// An empty tree takes its first node with nothing selected, wherever it was
// asked to go.
TEST(EmptyTree, TakesItsFirstNodeWithNothingSelected) {
  for (Placement place : {Placement::kAfter, Placement::kBefore, Placement::kBelow}) {
    Database db;
    HTREEITEM made = nullptr;
    ASSERT_EQ(db.InsertNode(Tree::kCategories, nullptr, place, "first", &made), "");
    EXPECT_EQ(db.categories.GetRootItem(), made);
    EXPECT_NE(db.Record(made), nullptr);
    ASSERT_TRUE(db.Undo());
    EXPECT_TRUE(db.categories.IsEmpty());
  }
}

TEST_F(EditTest, DeleteRefusesInOrder) {
  before = State(db);
  const Tree q = Tree::kQuotations, c = Tree::kCategories;
  ExpectRefused(db.DeleteNode(q, nullptr), "First select a quotation");
  ExpectRefused(db.DeleteNode(q, Q("1.1")),
                "This node has other nodes at a lower level below it. Delete those first.");
  ExpectRefused(db.DeleteNode(q, Q("1.1.1")),
                "This quotation is referenced 1 times. Remove the references first.");
  ExpectRefused(db.DeleteNode(c, nullptr), "First select a category");
  ExpectRefused(db.DeleteNode(c, C("1")), "This category has nodes below it. Delete those first.");
  // Wager to the top: Doubt, now 2, has no nodes below it, only its entry
  // and its reference.
  ASSERT_EQ(db.MoveNode(c, C("1.1"), nullptr, 0), "");
  before = State(db);
  const size_t undo = db.UndoCount();
  EXPECT_EQ(db.DeleteNode(c, C("2")), "This category has subject index items. Delete those first.");
  ASSERT_EQ(db.DeleteSubject(C("2"), "doubt"), "");
  EXPECT_EQ(db.DeleteNode(c, C("2")), "This category has references. Delete those first.");
  EXPECT_EQ(db.UndoCount(), undo + 1);
}

TEST_F(EditTest, ReferenceAndSubjectEditsRefuseInOrder) {
  before = State(db);
  ExpectRefused(db.AddReference(nullptr, nullptr, "", 0),
                "First select a category in which to insert the reference");
  ExpectRefused(db.AddReference(C("2"), nullptr, "", 0),
                "Select a quotation from which to make the reference");
  ExpectRefused(db.AddReference(C("2"), Q("2.1"), "", 0), "The reference is null (no characters)");
  ExpectRefused(db.AddReference(C("2"), Q("2.1"), "ref", 0, false), "First select a quotation");
  ExpectRefused(db.DeleteReference(nullptr, 0), "First select a reference");
  ExpectRefused(db.DeleteReference(C("1"), 1), "First select a reference");
  ExpectRefused(db.DeleteReference(C("1"), -1), "First select a reference");
  ExpectRefused(db.AddSubject(nullptr, "x"), "First select a category");
  ExpectRefused(db.AddSubject(C("2"), ""), "A subject entry cannot be empty");
  ExpectRefused(db.DeleteSubject(nullptr, "doubt"), "First select a category");
  ExpectRefused(db.DeleteSubject(C("2"), "doubt"), "This category has no such subject entry");
}

TEST_F(EditTest, MovesRefuseTheirOwnSubtreeAndTheDepthLimit) {
  before = State(db);
  const Tree q = Tree::kQuotations;
  ExpectRefused(db.MoveNode(q, nullptr, Direction::kUp), "First select a quotation node");
  ExpectRefused(db.MoveNode(q, Q("1"), Q("1.1.1"), 0),
                "A node cannot be moved into its own subtree.");
  ExpectRefused(db.MoveNode(q, Q("1"), Q("1"), 0), "A node cannot be moved into its own subtree.");
  // Nowhere to go: no refusal, no edit.
  for (auto [node, direction] :
       std::initializer_list<std::pair<HTREEITEM, Direction>>{{Q("1"), Direction::kUp},
                                                              {Q("2"), Direction::kDown},
                                                              {Q("1"), Direction::kOut},
                                                              {Q("1"), Direction::kIn}}) {
    bool moved = true;
    EXPECT_EQ(db.MoveNode(q, node, direction, &moved), "");
    EXPECT_FALSE(moved);
  }
  ExpectRefused(db.MoveNode(q, Q("1.1"), Q("1"), 5), "");  // already its only child

  // A chain down to the last level under Pascal: nothing more can go below it,
  // neither by a move nor by a new node.
  HTREEITEM deepest = Q("2.1");
  for (int level = 2; level < kMaxLevels; ++level)
    ASSERT_EQ(db.InsertNode(q, deepest, Placement::kBelow, "deeper", &deepest), "");
  ASSERT_EQ(db.quotations.GetLevel(deepest), kMaxLevels - 1);
  HTREEITEM sibling = nullptr;
  ASSERT_EQ(db.InsertNode(q, deepest, Placement::kAfter, "sibling", &sibling), "");
  before = State(db);
  const size_t undo = db.UndoCount();
  const char* tooDeep = "No node can be placed below this one: a tree holds at most 25 levels.";
  EXPECT_EQ(db.MoveNode(q, sibling, Direction::kIn), tooDeep);
  // Essais has a child: one level below the deepest's parent is one too many.
  EXPECT_EQ(db.MoveNode(q, Q("1.1"), db.quotations.GetParentItem(deepest), 0), tooDeep);
  EXPECT_EQ(db.InsertNode(q, deepest, Placement::kBelow, "x"), tooDeep);
  EXPECT_EQ(State(db), before);
  EXPECT_EQ(db.UndoCount(), undo);
  // Moving a subtree up out of the depths is no trouble.
  EXPECT_EQ(db.MoveNode(q, Q("2.1"), nullptr, 0), "");
}

TEST_F(EditTest, MovesKeepReferencesOnTheirNodes) {
  HTREEITEM motto = Q("1.1.1");
  ASSERT_EQ(db.MoveNode(Tree::kQuotations, motto, Q("2.1"), 0), "");
  EXPECT_EQ(db.UndoName(), "Move Node");
  EXPECT_EQ(NodeCode(motto), "2.1.1");
  EXPECT_EQ(db.Record(C("1"))->referenceTargets[0], motto);
  ASSERT_EQ(db.MoveNode(Tree::kQuotations, Q("2"), Direction::kUp), "");
  EXPECT_EQ(db.UndoName(), "Move Up");
  EXPECT_EQ(NodeCode(motto), "1.1.1");
  ASSERT_EQ(db.MoveNode(Tree::kQuotations, motto, Direction::kOut), "");
  EXPECT_EQ(NodeCode(motto), "1.2");
  ASSERT_EQ(db.MoveNode(Tree::kCategories, C("2"), Direction::kIn), "");
  EXPECT_EQ(db.UndoName(), "Move In");
  EXPECT_EQ(NodeCode(C("1.2")), "1.2");
  EXPECT_EQ(db.subjects.GetItemData(0), C("1"));
}

TEST_F(EditTest, UndoingBackToTheSavedStateMakesItUnchangedAgain) {
  db.ClearChanged();
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, Q("1"), "Michel de Montaigne"), "");
  EXPECT_EQ(db.UndoName(), "Update Node");
  EXPECT_TRUE(db.IsChanged());
  ASSERT_TRUE(db.Undo());
  EXPECT_FALSE(db.IsChanged());
  EXPECT_EQ(db.RedoName(), "Update Node");
  ASSERT_TRUE(db.Redo());
  EXPECT_TRUE(db.IsChanged());
  db.ClearChanged();  // saved with the new name
  ASSERT_TRUE(db.Undo());
  EXPECT_TRUE(db.IsChanged());
  // A new edit drops the redo: the state on disk can no longer be reached.
  ASSERT_EQ(db.AddSubject(C("2"), "love"), "");
  EXPECT_FALSE(db.CanRedo());
  ASSERT_TRUE(db.Undo());
  EXPECT_TRUE(db.IsChanged());
  ASSERT_TRUE(db.Redo());
  EXPECT_TRUE(db.IsChanged());
}

TEST_F(EditTest, UndoGivesBackTheVeryNodesSoHandlesStayGood) {
  HTREEITEM made = nullptr;
  ASSERT_EQ(db.InsertNode(Tree::kQuotations, Q("2.1"), Placement::kBelow, "new", &made), "");
  ASSERT_EQ(db.AddReference(C("2"), made, "points at the new node", 0), "");
  ASSERT_EQ(db.DeleteReference(C("2"), 0), "");
  ASSERT_EQ(db.DeleteNode(Tree::kQuotations, made), "");
  EXPECT_TRUE(db.quotations.IsDetached(made));
  ASSERT_TRUE(db.Undo());  // the node is back
  ASSERT_TRUE(db.Undo());  // and its reference
  EXPECT_EQ(db.Record(C("2"))->referenceTargets[0], made);
  EXPECT_EQ(db.quotations.GetItemData(made), 1u);
  EXPECT_EQ(db.LastTouched().node, made);
  EXPECT_EQ(db.LastTouched().category, C("2"));
  EXPECT_EQ(db.referenceTotal, 2);
  ASSERT_TRUE(db.Undo());
  ASSERT_TRUE(db.Undo());
  EXPECT_TRUE(db.quotations.IsDetached(made));
  EXPECT_EQ(db.LastTouched().node, Q("2.1"));  // where the tree's current node goes
  // A new edit frees the node that only the dropped redo steps knew.
  ASSERT_EQ(db.AddSubject(C("2"), "x"), "");
  EXPECT_EQ(test::CheckConsistency(db, test::EntryOrder::kAnyAmongEquals), "");
}

// Random edits, each taken back and made again: the saved bytes after undo are
// those before the edit, after redo those after it, and undoing the whole run
// gives the loaded file back byte for byte.
void RunRandomEdits(Database& db, uint64_t seed, int steps) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  db.ClearChanged();
  const std::string original = State(db);
  const std::string originalFile = WrittenDatabase(db);
  RandomEdits edits(db, seed, false, true);
  int made = 0;
  for (int i = 0; i < steps; ++i) {
    const std::string before = State(db);
    const size_t undo = db.UndoCount();
    edits.Step();
    const std::string after = State(db);
    ASSERT_EQ(test::CheckConsistency(db, test::EntryOrder::kAnyAmongEquals), "") << "step " << i;
    if (db.UndoCount() == undo) {
      ASSERT_EQ(after, before) << "a refused or empty edit changed the database, step " << i;
      continue;
    }
    ++made;
    ASSERT_TRUE(db.Undo());
    ASSERT_EQ(State(db), before) << "undo of " << db.RedoName() << ", step " << i;
    ASSERT_TRUE(db.Redo());
    ASSERT_EQ(State(db), after) << "redo of " << db.UndoName() << ", step " << i;
  }
  EXPECT_GT(made, steps / 5);
  while (db.Undo()) ASSERT_EQ(test::CheckConsistency(db, test::EntryOrder::kAnyAmongEquals), "");
  EXPECT_EQ(WrittenDatabase(db), originalFile);
  EXPECT_EQ(State(db), original);
  // And the whole run made again.
  while (db.Redo()) {
  }
  EXPECT_EQ(test::CheckConsistency(db, test::EntryOrder::kAnyAmongEquals), "");
}

TEST(RandomEdits, EachUndoAndRedoGivesTheBytesBeforeAndAfter) {
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    Database db;
    GenerateDatabase(db, 40 + static_cast<int64_t>(seed) * 10, seed);
    RunRandomEdits(db, seed, 400);
  }
  Database small;
  test::LoadBytes(small, kSmall);
  RunRandomEdits(small, 99, 400);
}

// A fresh seed each run: a soak, outside the default suite.
TEST(Soak, RandomEditsFromAFreshSeed) {
  const uint64_t seed = std::random_device{}();
  Database db;
  GenerateDatabase(db, 80, seed);
  RunRandomEdits(db, seed, 400);
}

}  // namespace
}  // namespace lorelist
