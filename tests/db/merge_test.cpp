// Two versions of one dictionary: matching their nodes, their differences as
// edits, and three-way merges, checked on random edit scripts.

#include "db/merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "../fuzz/round_trip.h"
#include "cli/generate.h"
#include "db/journal.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"
#include "support/random_edits.h"

namespace lorelist {
namespace {

using test::WrittenDatabase;

// A database as Save writes it, loaded afresh: another set of nodes.
void Copy(const Database& from, Database& to) {
  ASSERT_EQ(test::LoadBytes(to, WrittenDatabase(from)).status, LoadResult::kComplete);
}

// Differences taken over: a becomes b, byte for byte, in one edit that one
// Undo takes back; random edits of every kind, encodings changed too.
TEST(Differences, TakenOverMakeOneDatabaseTheOther) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Database base;
    GenerateDatabase(base, 60 + static_cast<int64_t>(seed) * 7, seed);
    Database a, b;
    Copy(base, a);
    Copy(base, b);
    test::RandomEdits edits(b, seed, true, true);
    for (int i = 0; i < 400; ++i) edits.Step();
    const std::string before = WrittenDatabase(a);
    MergePlan plan(a, a, b);
    for (Change& change : plan.changes) change.take = true;
    ASSERT_EQ(plan.Apply(a), "");
    EXPECT_EQ(WrittenDatabase(a), WrittenDatabase(b));
    EXPECT_EQ(test::CheckConsistency(a, test::EntryOrder::kAnyAmongEquals), "");
    EXPECT_EQ(a.UndoName(), "Merge");
    ASSERT_TRUE(a.Undo());
    EXPECT_EQ(WrittenDatabase(a), before);
    // Nothing differs any more.
    ASSERT_TRUE(a.Redo());
    EXPECT_TRUE(Differences(a, b).empty());
  }
}

// Random edits confined to a region of the dictionary: the top-level nodes
// of both trees at even places (region 0) or odd ones (region 1), and what
// lies below them. The same seed on the same region makes the same edits,
// whatever was done elsewhere.
void EditRegion(Database& db, int region, uint64_t seed, int steps) {
  std::mt19937_64 random(seed);
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  auto nodes = [&](Tree tree) {
    std::vector<HTREEITEM> found;
    const TreeStore& store = db.Of(tree);
    for (int top = region; top < store.GetChildCount(nullptr); top += 2) {
      HTREEITEM root = store.GetChildAt(nullptr, top);
      found.push_back(root);
      for (HTREEITEM n = store.GetChildItem(root); n && store.IsWithin(n, root);) {
        found.push_back(n);
        if (NextNode(n, store) == kEndOfWalk) break;
      }
    }
    return found;
  };
  const char* const texts[] = {"new", "changed", "\xE9t\xE9", "Ibid.", ""};
  for (int i = 0; i < steps; ++i) {
    const Tree tree = below(2) ? Tree::kQuotations : Tree::kCategories;
    const std::vector<HTREEITEM> in = nodes(tree);
    if (in.empty()) continue;
    HTREEITEM node = in[below(in.size())];
    const bool top = !db.Of(tree).GetParentItem(node);
    const std::string text = texts[below(std::size(texts))] + std::to_string(i);
    switch (below(8)) {
      case 0:
        db.InsertNode(tree, node, top ? Placement::kBelow : static_cast<Placement>(below(3)), text);
        break;
      case 1:
        db.UpdateText(tree, node, text);
        break;
      case 2:
        if (!top) db.DeleteNode(tree, node);
        break;
      case 3: {
        HTREEITEM parent = in[below(in.size())];
        if (!top) db.MoveNode(tree, node, parent, static_cast<int>(below(3)));
        break;
      }
      case 4:
      case 5: {
        const std::vector<HTREEITEM> quotations = nodes(Tree::kQuotations);
        const std::vector<HTREEITEM> categories = nodes(Tree::kCategories);
        if (!quotations.empty() && !categories.empty())
          db.AddReference(categories[below(categories.size())],
                          quotations[below(quotations.size())], text, -1);
        break;
      }
      case 6: {
        const std::vector<HTREEITEM> categories = nodes(Tree::kCategories);
        if (categories.empty()) break;
        HTREEITEM category = categories[below(categories.size())];
        // Only references to the region: a quotation of the other region
        // that is referenced must stay so for the other's edits.
        const CategoryRecord& record = *db.Record(category);
        const size_t at = below(3);
        const std::vector<HTREEITEM> quotations = nodes(Tree::kQuotations);
        if (below(2)) {
          if (at < record.referenceTargets.size() &&
              std::count(quotations.begin(), quotations.end(), record.referenceTargets[at]))
            db.DeleteReference(category, static_cast<int>(at));
        } else
          db.AddSubject(category, "entry " + std::to_string(below(5)));
        break;
      }
      default: {
        const std::vector<HTREEITEM> categories = nodes(Tree::kCategories);
        if (categories.empty()) break;
        HTREEITEM category = categories[below(categories.size())];
        const auto& entries = db.Record(category)->subjectEntries;
        if (!entries.empty())
          db.DeleteSubject(category, std::string(entries[below(entries.size())]));
        break;
      }
    }
  }
}

// Two edit scripts from one base that touch different parts of it merge to
// both made, in either direction: the bytes of making one after the other.
TEST(Merge, EditsOfDifferentPartsMergeToBothMade) {
  for (uint64_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Database base;
    GenerateDatabase(base, 40 + static_cast<int64_t>(seed) * 5, seed);
    Database mine, theirs, both;
    Copy(base, mine);
    Copy(base, theirs);
    Copy(base, both);
    EditRegion(mine, 0, seed, 80);
    EditRegion(theirs, 1, seed + 1000, 80);
    EditRegion(both, 0, seed, 80);
    EditRegion(both, 1, seed + 1000, 80);
    for (const bool intoMine : {true, false}) {
      Database merged;
      Copy(intoMine ? mine : theirs, merged);
      MergePlan plan(base, merged, intoMine ? theirs : mine);
      EXPECT_EQ(plan.Conflicts(), 0u);
      ASSERT_EQ(plan.Apply(merged), "");
      EXPECT_EQ(WrittenDatabase(merged), WrittenDatabase(both)) << intoMine;
      EXPECT_EQ(test::CheckConsistency(merged, test::EntryOrder::kAnyAmongEquals), "");
    }
  }
}

// Edits that meet, each pair on leaves of parents of their own: each
// pair is exactly one conflict, on its node, and nothing else conflicts.
TEST(Merge, EditsThatMeetGiveExactlyTheirConflicts) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Database base;
    GenerateDatabase(base, 200 + static_cast<int64_t>(seed) * 11, seed);
    // The quotations in pre-order, and an unreferenced leaf under each node
    // that has some.
    auto ordered = [](const Database& db) {
      std::vector<HTREEITEM> nodes;
      for (HTREEITEM n = db.quotations.GetRootItem(); n;) {
        nodes.push_back(n);
        if (NextNode(n, db.quotations) == kEndOfWalk) break;
      }
      return nodes;
    };
    const std::vector<HTREEITEM> inBase = ordered(base);
    std::vector<size_t> leaves;
    HTREEITEM lastParent = nullptr;
    for (size_t i = 0; i < inBase.size(); ++i) {
      HTREEITEM parent = base.quotations.GetParentItem(inBase[i]);
      if (!parent || base.quotations.GetChildItem(inBase[i]) || parent == lastParent ||
          base.quotations.GetItemData(inBase[i]) != 0)  // referenced: not to be deleted
        continue;
      lastParent = parent;
      leaves.push_back(i);
    }
    std::mt19937_64 random(seed);
    std::shuffle(leaves.begin(), leaves.end(), random);
    ASSERT_GE(leaves.size(), 6u);
    const size_t text = leaves[0], deletedByMine = leaves[1], deletedByTheirs = leaves[2],
                 moved = leaves[3], toMine = leaves[4], toTheirs = leaves[5];
    Database mine, theirs;
    Copy(base, mine);
    Copy(base, theirs);
    const std::vector<HTREEITEM> a = ordered(mine), b = ordered(theirs);
    const Tree q = Tree::kQuotations;
    ASSERT_EQ(mine.UpdateText(q, a[text], "mine's"), "");
    ASSERT_EQ(theirs.UpdateText(q, b[text], "theirs'"), "");
    ASSERT_EQ(theirs.UpdateText(q, b[deletedByMine], "theirs' too"), "");
    ASSERT_EQ(mine.UpdateText(q, a[deletedByTheirs], "mine's too"), "");
    ASSERT_EQ(mine.MoveNode(q, a[moved], a[toMine], 0), "");
    ASSERT_EQ(theirs.MoveNode(q, b[moved], b[toTheirs], 0), "");
    ASSERT_EQ(mine.DeleteNode(q, a[deletedByMine]), "");
    ASSERT_EQ(theirs.DeleteNode(q, b[deletedByTheirs]), "");

    MergePlan plan(base, mine, theirs);
    std::vector<std::pair<Change::Conflict, size_t>> found;
    for (const Change& change : plan.changes)
      if (change.conflict != Change::kNone)
        found.push_back({change.conflict,
                         static_cast<size_t>(std::find(inBase.begin(), inBase.end(), change.base) -
                                             inBase.begin())});
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::pair<Change::Conflict, size_t>>{
                         {Change::kTextTwice, text},
                         {Change::kDeletedChanged, deletedByTheirs},
                         {Change::kChangedDeleted, deletedByMine},
                         {Change::kMovedTwice, moved}}));
  }
}

// A merge is one edit for undo and for the journal: replayed after a crash,
// made, undone and made again, it gives the same bytes; a group cut off by
// the crash is not made at all.
TEST(Merge, IsOneEditThatTheJournalKeepsWhole) {
  Database base;
  GenerateDatabase(base, 80, 5);
  test::TempDir dir;
  test::WriteFile(dir.File(kDatabaseFile), WrittenDatabase(base));
  Database mine, theirs;
  LoadDatabase(mine, dir.File(kDatabaseFile));
  Copy(base, theirs);
  EditRegion(theirs, 0, 5, 60);
  Journal journal(dir.path());
  mine.SetJournal(&journal);
  MergePlan plan(base, mine, theirs);
  ASSERT_FALSE(plan.changes.empty());
  ASSERT_EQ(plan.Apply(mine), "");
  const std::string merged = WrittenDatabase(mine);
  ASSERT_EQ(merged, WrittenDatabase(theirs));
  // The database the journal gives, when all of it was made.
  auto replayed = [&] {
    Database again;
    LoadDatabase(again, dir.File(kDatabaseFile));
    const JournalContents found = Journal::Read(journal.Path(), again);
    const size_t made = Journal::Replay(again, found.records);
    return made == found.records.size() ? WrittenDatabase(again) : "stopped";
  };
  EXPECT_EQ(replayed(), merged);
  ASSERT_TRUE(mine.Undo());
  EXPECT_EQ(replayed(), WrittenDatabase(base));
  ASSERT_TRUE(mine.Redo());
  EXPECT_EQ(replayed(), merged);
  // Cut within the last group: the edits before it only.
  const std::string whole = test::ReadFile(journal.Path());
  test::WriteFile(journal.Path(), whole.substr(0, whole.rfind("\n", whole.size() - 2) + 1));
  Database cut;
  LoadDatabase(cut, dir.File(kDatabaseFile));
  const JournalContents found = Journal::Read(journal.Path(), cut);
  EXPECT_LT(Journal::Replay(cut, found.records), found.records.size());
  EXPECT_EQ(WrittenDatabase(cut), WrittenDatabase(base));
}

// A text both changed: kept as mine, taken as theirs, or both, one after
// the other.
TEST(Merge, ATextBothChangedIsMineTheirsOrBoth) {
  auto file = [](const char* text) { return test::CrLf({std::string("@Q1 ") + text, "@@"}); };
  Database base, theirs;
  test::LoadBytes(base, file("Know thyself"));
  test::LoadBytes(theirs, file("Know thyself."));
  for (const auto& [take, both, merged] :
       {std::tuple{false, false, "Know yourself"}, std::tuple{true, false, "Know thyself."},
        std::tuple{true, true, "Know yourself Know thyself."}}) {
    Database mine;
    test::LoadBytes(mine, file("Know yourself"));
    MergePlan plan(base, mine, theirs);
    ASSERT_EQ(plan.changes.size(), 1u);
    EXPECT_EQ(plan.changes[0].conflict, Change::kTextTwice);
    plan.changes[0].take = take;
    plan.changes[0].both = both;
    ASSERT_EQ(plan.Apply(mine), "");
    EXPECT_EQ(WrittenDatabase(mine), file(merged));
  }
}

}  // namespace
}  // namespace lorelist
