#include "db/tree_store.h"

#include <gtest/gtest.h>

namespace lorelist {
namespace {

// Rows, and the codes that come from them, follow every insertion and the
// deletion of a whole subtree; "after" must name a child of the same parent.
TEST(TreeStore, RowsFollowInsertionsAndTheDeletionOfASubtree) {
  TreeStore t;
  HTREEITEM b = t.InsertItem("b");
  HTREEITEM a = t.InsertItem("a", nullptr, TVI_FIRST);
  HTREEITEM c = t.InsertItem("c", nullptr, b);
  HTREEITEM a1 = t.InsertItem("a1", a);
  t.InsertItem("a1.1", a1);
  HTREEITEM c1 = t.InsertItem("c1", c, TVI_LAST);
  EXPECT_EQ(t.InsertItem("y", b, a1), nullptr);
  EXPECT_EQ(t.GetChildCount(b), 0);
  EXPECT_EQ(NodeCode(c1), "3.1");
  t.DeleteItem(a);
  EXPECT_EQ(t.GetCount(), 3u);
  EXPECT_EQ(NodeCode(b), "1");
  EXPECT_EQ(NodeCode(c1), "2.1");
  EXPECT_EQ(t.GetPrevSiblingItem(c), b);
}

}  // namespace
}  // namespace lorelist
