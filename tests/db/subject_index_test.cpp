#include "db/subject_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "db/collation.h"

namespace lorelist {
namespace {

std::vector<std::string> Texts(const SubjectIndexList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) out.emplace_back(list.GetLBText(i));
  return out;
}

HTREEITEM Fake(uintptr_t n) {
  return reinterpret_cast<HTREEITEM>(n * 8);
}

// "été" (Windows-1252 bytes) sorts as the letters it shows, after plain "ete".
TEST(SubjectIndexList, SortsIgnoringCaseButNotAccents) {
  SubjectIndexList list;
  for (const char* text : {"zebra", "Banana", "\xE9t\xE9", "apple", "ete", "etf", "Cherry"})
    list.AddString(text);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"apple", "Banana", "Cherry", "ete", "\xE9t\xE9",
                                                   "etf", "zebra"}));
}

TEST(SubjectIndexList, EqualEntriesKeepTheOrderOfAddingAndAreFoundByCategory) {
  SubjectIndexList list;
  const char* const romes[] = {"Rome", "rome", "ROME"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list.AddString(romes[i]), i);
    list.SetItemData(i, Fake(i + 1));
  }
  EXPECT_EQ(list.AddString("Athens"), 0);
  EXPECT_EQ(list.Find("rome", Fake(2)), 2);
  EXPECT_EQ(list.Find("rome", Fake(1)), -1);
  list.DeleteString(2);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"Athens", "Rome", "ROME"}));
  EXPECT_EQ(list.GetItemData(2), Fake(3));
}

// Loading appends everything and sorts once; that must give exactly what
// adding one by one gives, and both the order of the collation keys, equal
// entries in the order of adding. The long entries share more than the
// first bytes of their keys, which the list compares first.
TEST(SubjectIndexList, SortingOnceMatchesAddingOneByOne) {
  std::mt19937 random(7);
  const std::vector<std::string> words = {"love",
                                          "Love",
                                          "LOVE",
                                          "l\xF4ve",
                                          "art",
                                          "war",
                                          "na\xEFve",
                                          "naive",
                                          "",
                                          " lead",
                                          "the philosophy of love",
                                          "The Philosophy of Love",
                                          "the philosophy of l\xF4ve",
                                          "the philosophy of art",
                                          "the philosophy",
                                          "the philosophy of love and war"};
  SubjectIndexList bulk, single;
  std::vector<std::pair<std::string, HTREEITEM>> added;
  for (int i = 0; i < 500; ++i) {
    const std::string& word = words[random() % words.size()];
    added.emplace_back(word, Fake(i + 1));
    bulk.AppendUnsorted(word, Fake(i + 1));
    single.SetItemData(single.AddString(word), Fake(i + 1));
    if (i == 250) bulk.SortAppended();  // a second batch merges into the first
  }
  bulk.SortAppended();
  std::stable_sort(added.begin(), added.end(), [](const auto& a, const auto& b) {
    return CollationKey(a.first) < CollationKey(b.first);
  });
  for (const SubjectIndexList* list : {&bulk, &single}) {
    ASSERT_EQ(list->GetCount(), static_cast<int>(added.size()));
    for (int i = 0; i < list->GetCount(); ++i) {
      const auto& [text, category] = added[static_cast<size_t>(i)];
      EXPECT_EQ(list->GetLBText(i), text) << i;
      EXPECT_EQ(list->GetItemData(i), category) << i;
      EXPECT_EQ(list->Find(text, category), i);
    }
  }
  // Put back among its equals: at their start or after them, nowhere else.
  const std::string text = "The Philosophy of Love";
  const auto equals = std::count_if(added.begin(), added.end(), [&](const auto& a) {
    return CollationKey(a.first) == CollationKey(text);
  });
  const int first = bulk.LowerBound(text);
  EXPECT_EQ(bulk.InsertAt(0, text, Fake(1000)), first);
  EXPECT_EQ(bulk.InsertAt(100000, text, Fake(1001)), first + equals + 1);
}

}  // namespace
}  // namespace lorelist
