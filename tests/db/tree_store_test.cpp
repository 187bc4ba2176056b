#include "db/tree_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace lorelist {
namespace {

// A tree built from codes listed in pre-order, each node's text its code.
struct Built {
  explicit Built(const std::vector<std::string>& codes) {
    for (const std::string& code : codes) {
      const size_t dot = code.rfind('.');
      HTREEITEM parent = dot == std::string::npos ? nullptr : byCode.at(code.substr(0, dot));
      byCode[code] = tree.InsertItem(code, parent, TVI_LAST);
    }
  }
  TreeStore tree;
  std::map<std::string, HTREEITEM> byCode;
};

// The walk that writing and the codes follow: each step says how many levels
// it went down (1) or up, and the walker gives each node the code of its
// position; the end is found on the last top-level node.
TEST(NextNode, WalksInPreOrderAndCodeWalkerNamesEachNodeByItsPosition) {
  const std::vector<std::string> codes = {"1",   "1.1", "1.1.1", "1.1.1.1", "2",      "3",
                                          "3.1", "3.2", "3.2.1", "3.2.1.1", "3.3",    "4",
                                          "4.1", "4.2", "4.3",   "4.4",     "4.5",    "4.6",
                                          "4.7", "4.8", "4.9",   "4.10",    "4.10.1", "4.11"};
  Built b(codes);
  std::vector<std::string> walked;
  HTREEITEM h = b.tree.GetRootItem();
  CodeWalker walker;
  for (;;) {
    walked.emplace_back(walker.Code());
    EXPECT_EQ(walker.Code(), NodeCode(h));
    EXPECT_EQ(walker.Level(), b.tree.GetLevel(h));
    const int level = b.tree.GetLevel(h);
    HTREEITEM from = h;
    const int step = NextNode(h, b.tree);
    if (step == kEndOfWalk) break;
    EXPECT_EQ(step, b.tree.GetLevel(h) - level) << NodeCode(from);
    walker.Step(step);
  }
  EXPECT_EQ(walked, codes);
  EXPECT_EQ(h, b.byCode["4"]);
  TreeStore single;
  HTREEITEM only = single.InsertItem("x");
  h = only;
  EXPECT_EQ(NextNode(h, single), kEndOfWalk);
  EXPECT_EQ(h, only);
}

TEST(TreeStore, InsertsFirstLastAndAfterASiblingOfTheSameParent) {
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
  HTREEITEM child = t.InsertItem("x", a, TVI_LAST);
  EXPECT_EQ(t.InsertItem("y", b, child), nullptr);
  EXPECT_EQ(t.GetChildCount(b), 0);
  EXPECT_EQ(t.GetParentItem(child), a);
  EXPECT_EQ(t.GetParentItem(a), nullptr);
  EXPECT_EQ(t.GetItemData(child), 0u);
  EXPECT_EQ(t.GetCount(), 5u);
}

TEST(TreeStore, DeletingASubtreeRenumbersLaterSiblings) {
  Built b({"1", "2", "2.1", "2.1.1", "3", "3.1"});
  b.tree.DeleteItem(b.byCode["2"]);
  EXPECT_EQ(b.tree.GetCount(), 3u);
  EXPECT_EQ(NodeCode(b.byCode["3"]), "2");
  EXPECT_EQ(NodeCode(b.byCode["3.1"]), "2.1");
  EXPECT_EQ(b.tree.GetItemText(b.byCode["3"]), "3");
  EXPECT_EQ(b.tree.GetRow(b.byCode["3"]), 1);
}

}  // namespace
}  // namespace lorelist
