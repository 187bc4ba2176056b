#include "db/subject_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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
// adding one by one gives, equal entries included.
TEST(SubjectIndexList, SortingOnceMatchesAddingOneByOne) {
  std::mt19937 random(7);
  const std::vector<std::string> words = {"love", "Love",  "LOVE",     "l\xF4ve", "art", "Art",
                                          "war",  "peace", "na\xEFve", "naive",   "",    " lead"};
  SubjectIndexList bulk, single;
  for (int i = 0; i < 500; ++i) {
    const std::string& word = words[random() % words.size()];
    bulk.AppendUnsorted(word, Fake(i + 1));
    single.SetItemData(single.AddString(word), Fake(i + 1));
    if (i == 250) bulk.SortAppended();  // a second batch merges into the first
  }
  bulk.SortAppended();
  ASSERT_EQ(Texts(bulk), Texts(single));
  for (int i = 0; i < bulk.GetCount(); ++i) EXPECT_EQ(bulk.GetItemData(i), single.GetItemData(i));
}

}  // namespace
}  // namespace lorelist
