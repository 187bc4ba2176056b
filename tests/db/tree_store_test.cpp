#include "db/tree_store.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace lorelist {
namespace {

// Builds a tree from "code text" pairs listed in pre-order.
struct Built {
  TreeStore tree;
  std::map<std::string, HTREEITEM> byCode;
};

void Build(Built& b, const std::vector<std::string>& codes) {
  for (const std::string& code : codes) {
    size_t dot = code.rfind('.');
    HTREEITEM parent = dot == std::string::npos ? nullptr : b.byCode.at(code.substr(0, dot));
    b.byCode[code] = b.tree.InsertItem("node " + code, parent, TVI_LAST);
  }
}

TEST(NextNode, ReturnsTheLevelChangeOfEachStep) {
  Built b;
  Build(b, {"1", "1.1", "1.1.1", "1.1.1.1", "1.2", "2", "2.1"});
  HTREEITEM h = b.byCode["1.1.1.1"];
  // Last child whose parent (1.1.1) has no next sibling, but 1.1 does.
  EXPECT_EQ(NextNode(h, b.tree), -2);
  EXPECT_EQ(h, b.byCode["1.2"]);
  EXPECT_EQ(NextNode(h, b.tree), -1);
  EXPECT_EQ(h, b.byCode["2"]);
  EXPECT_EQ(NextNode(h, b.tree), 1);
  EXPECT_EQ(h, b.byCode["2.1"]);
  // End of walk from a child: the handle is left on the top-level node reached.
  EXPECT_EQ(NextNode(h, b.tree), kEndOfWalk);
  EXPECT_EQ(h, b.byCode["2"]);
}

TEST(NextNode, ClimbsThreeLevelsToTheNextTopLevelNode) {
  Built b;
  Build(b, {"1", "1.1", "1.1.1", "1.1.1.1", "2"});
  HTREEITEM h = b.byCode["1.1.1.1"];
  EXPECT_EQ(NextNode(h, b.tree), -3);
  EXPECT_EQ(h, b.byCode["2"]);
}

TEST(NextNode, SingleNodeTreeEndsOnThatNode) {
  TreeStore tree;
  HTREEITEM only = tree.InsertItem("x");
  HTREEITEM h = tree.GetRootItem();
  EXPECT_EQ(h, only);
  EXPECT_EQ(NextNode(h, tree), kEndOfWalk);
  EXPECT_EQ(h, only);
}

TEST(CodeWalker, GivesEveryNodeTheCodeOfItsPosition) {
  Built b;
  const std::vector<std::string> codes = {"1",   "1.1", "1.1.1", "1.1.2",   "1.2",    "2",
                                          "3",   "3.1", "3.1.1", "3.1.1.1", "3.2",    "4",
                                          "4.1", "4.2", "4.3",   "4.4",     "4.5",    "4.6",
                                          "4.7", "4.8", "4.9",   "4.10",    "4.10.1", "4.11"};
  Build(b, codes);
  std::vector<std::string> walked;
  HTREEITEM h = b.tree.GetRootItem();
  CodeWalker walker;
  for (;;) {
    walked.emplace_back(walker.Code());
    EXPECT_EQ(walker.Code(), NodeCode(h));
    EXPECT_EQ(walker.Level(), b.tree.GetLevel(h));
    int step = NextNode(h, b.tree);
    if (step == kEndOfWalk) break;
    walker.Step(step);
  }
  EXPECT_EQ(walked, codes);
}

TEST(TreeStore, InsertsFirstLastAndAfterASibling) {
  TreeStore t;
  HTREEITEM b = t.InsertItem("b");
  HTREEITEM a = t.InsertItem("a", nullptr, TVI_FIRST);
  HTREEITEM d = t.InsertItem("d", nullptr, TVI_LAST);
  HTREEITEM c = t.InsertItem("c", nullptr, b);
  EXPECT_EQ(t.GetRootItem(), a);
  EXPECT_EQ(t.GetNextSiblingItem(a), b);
  EXPECT_EQ(t.GetNextSiblingItem(b), c);
  EXPECT_EQ(t.GetNextSiblingItem(c), d);
  EXPECT_EQ(t.GetNextSiblingItem(d), nullptr);
  EXPECT_EQ(t.GetPrevSiblingItem(a), nullptr);
  EXPECT_EQ(t.GetRow(c), 2);
  EXPECT_EQ(NodeCode(d), "4");
  // "after" must be a child of the given parent.
  HTREEITEM child = t.InsertItem("x", a, TVI_LAST);
  EXPECT_EQ(t.InsertItem("y", b, child), nullptr);
  EXPECT_EQ(t.GetChildCount(b), 0);
  EXPECT_EQ(t.GetParentItem(child), a);
  EXPECT_EQ(t.GetParentItem(a), nullptr);
  EXPECT_EQ(t.GetItemData(child), 0u);
  EXPECT_EQ(t.GetCount(), 5u);
}

TEST(TreeStore, DeletingASubtreeRenumbersLaterSiblings) {
  Built b;
  Build(b, {"1", "2", "2.1", "2.1.1", "3", "3.1"});
  HTREEITEM third = b.byCode["3"];
  HTREEITEM grandchild = b.byCode["3.1"];
  b.tree.DeleteItem(b.byCode["2"]);
  EXPECT_EQ(b.tree.GetCount(), 3u);
  EXPECT_EQ(NodeCode(third), "2");
  EXPECT_EQ(NodeCode(grandchild), "2.1");
  EXPECT_EQ(b.tree.GetItemText(third), "node 3");
  EXPECT_EQ(b.tree.GetRow(third), 1);
}

// Random inserts and deletes against a plain model: every handle keeps its
// node, and rows and codes follow the positions.
TEST(TreeStore, HandlesStayValidThroughRandomEdits) {
  std::mt19937 random(20261206);
  TreeStore t;
  std::vector<HTREEITEM> live;
  std::map<HTREEITEM, std::string> texts;
  for (int step = 0; step < 4000; ++step) {
    const bool insert = live.empty() || random() % 3 != 0;
    if (insert) {
      HTREEITEM parent = live.empty() || random() % 4 == 0 ? nullptr : live[random() % live.size()];
      if (parent && t.GetLevel(parent) >= 6) parent = nullptr;
      HTREEITEM after = TVI_LAST;
      int children = t.GetChildCount(parent);
      if (random() % 3 == 0)
        after = TVI_FIRST;
      else if (children > 0 && random() % 2)
        after = t.GetChildAt(parent, random() % children);
      std::string text = "t" + std::to_string(step);
      HTREEITEM node = t.InsertItem(text, parent, after);
      ASSERT_NE(node, nullptr);
      live.push_back(node);
      texts[node] = text;
    } else {
      // Delete a leaf, as the commands do.
      size_t i = random() % live.size();
      if (t.ItemHasChildren(live[i])) continue;
      t.DeleteItem(live[i]);
      texts.erase(live[i]);
      live.erase(live.begin() + static_cast<long>(i));
    }
  }
  ASSERT_EQ(t.GetCount(), live.size());
  size_t visited = 0;
  for (HTREEITEM h = t.GetRootItem(); h;) {
    ++visited;
    EXPECT_EQ(t.GetItemText(h), texts.at(h));
    HTREEITEM parent = t.GetParentItem(h);
    EXPECT_EQ(t.GetChildAt(parent, t.GetRow(h)), h);
    int row = 0;
    for (HTREEITEM s = t.GetPrevSiblingItem(h); s; s = t.GetPrevSiblingItem(s)) ++row;
    EXPECT_EQ(t.GetRow(h), row);
    if (NextNode(h, t) == kEndOfWalk) break;
  }
  EXPECT_EQ(visited, live.size());
}

}  // namespace
}  // namespace lorelist
