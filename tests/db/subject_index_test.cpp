#include "db/subject_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/charset.h"

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

TEST(SubjectIndexList, SortsIgnoringCaseButNotAccents) {
  SubjectIndexList list;
  for (const char* text : {"zebra", "Banana", "\xE9t\xE9", "apple", "ete", "etf", "Cherry"})
    list.AddString(text);
  // "été" (Windows-1252 bytes) sorts as the letters it shows, after plain "ete".
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"apple", "Banana", "Cherry", "ete", "\xE9t\xE9",
                                                   "etf", "zebra"}));
}

TEST(SubjectIndexList, EqualEntriesKeepTheOrderOfAdding) {
  SubjectIndexList list;
  int first = list.AddString("Rome");
  list.SetItemData(first, Fake(1));
  int second = list.AddString("rome");
  list.SetItemData(second, Fake(2));
  int third = list.AddString("ROME");
  list.SetItemData(third, Fake(3));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(third, 2);
  EXPECT_EQ(list.AddString("Athens"), 0);
  EXPECT_EQ(list.GetItemData(1), Fake(1));
  EXPECT_EQ(list.GetItemData(3), Fake(3));
  EXPECT_EQ(list.Find("rome", Fake(2)), 2);
  EXPECT_EQ(list.Find("rome", Fake(1)), -1);
  list.DeleteString(2);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"Athens", "Rome", "ROME"}));
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
  ASSERT_EQ(bulk.GetCount(), single.GetCount());
  for (int i = 0; i < bulk.GetCount(); ++i) {
    EXPECT_EQ(bulk.GetLBText(i), single.GetLBText(i));
    EXPECT_EQ(bulk.GetItemData(i), single.GetItemData(i));
  }
}

TEST(Charset, EveryByteSurvivesTheRoundTrip) {
  for (int byte = 0; byte < 256; ++byte) {
    char16_t unicode = Cp1252ToUnicode(static_cast<unsigned char>(byte));
    EXPECT_EQ(UnicodeToCp1252(unicode), byte);
  }
  EXPECT_EQ(Cp1252ToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0x9C), u'\u0153');
  EXPECT_EQ(UnicodeToCp1252(U'\u4E2D'), -1);
}

}  // namespace
}  // namespace lorelist
