#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text_arena.h"
#include "tree_store.h"

namespace lorelist {

// Told of every change to the subject index list.
class SubjectIndexObserver {
 public:
  virtual ~SubjectIndexObserver() = default;
  virtual void BeforeInsert(int index) = 0;
  virtual void AfterInsert(int index) = 0;
  virtual void BeforeRemove(int index) = 0;
  virtual void AfterRemove(int index) = 0;
  virtual void BeforeReset() = 0;
  virtual void AfterReset() = 0;
};

// Every subject entry of every category, each with its category node, kept in
// collation order by itself; entries that compare equal keep the order in
// which they were added. Entries are found by index from 0.
class SubjectIndexList {
 public:
  // Places the entry in order and returns its index. Its item data is nullptr
  // until set.
  int AddString(std::string_view text);
  void SetItemData(int index, HTREEITEM category) { entries_[index].category = category; }
  HTREEITEM GetItemData(int index) const { return entries_[index].category; }
  std::string_view GetLBText(int index) const { return entries_[index].text; }
  int GetCount() const { return static_cast<int>(entries_.size()); }
  void DeleteString(int index);
  // Puts an entry at an index among the entries equal to it (the nearest
  // such place to the one asked for) and returns where: where undo returns a
  // deleted entry, and a new one goes after its equals.
  int InsertAt(int index, std::string_view text, HTREEITEM category);
  void ResetContent();

  // The index of the first entry that does not sort before the text.
  int LowerBound(std::string_view text) const;

  // The index of the entry with this text and category, or -1.
  int Find(std::string_view text, HTREEITEM category) const;

  // Loading adds many entries at once: append them unsorted, then sort once.
  // The result is the same as adding them one by one with AddString.
  // Entries appended have their collation keys made when they are sorted.
  // Returns the entry's text as the list keeps it.
  std::string_view AppendUnsorted(std::string_view text, HTREEITEM category);
  // `alongside` runs on the calling thread meanwhile, while the keys are made
  // and sorted on a second thread where there is one.
  void SortAppended(const std::function<void()>& alongside = {});

  void SetObserver(SubjectIndexObserver* observer) { observer_ = observer; }

 private:
  struct Entry {
    // The key's first 12 bytes, big-endian and padded with zeros: most
    // comparisons end here, without reaching for the keys themselves.
    uint64_t prefix;
    uint32_t prefixMore;
    // Where an appended entry came among those sorted with it: equal keys
    // keep that order without a stable sort, whose buffer of half the
    // entries would be the peak of a large load.
    uint32_t order;
    PackedText key;
    PackedText text;
    HTREEITEM category;
  };
  // <0, 0 or >0 as a sorts before, with or after b.
  static int Compare(const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (a.prefixMore != b.prefixMore) return a.prefixMore < b.prefixMore ? -1 : 1;
    return std::string_view(a.key).compare(std::string_view(b.key));
  }
  static bool Less(const Entry& a, const Entry& b) { return Compare(a, b) < 0; }
  Entry MakeEntry(std::string_view text, HTREEITEM category);
  // An entry for a text already stored, with its key.
  Entry Keyed(PackedText stored, HTREEITEM category);
  void SortAppendedHere();
  size_t UpperBound(const Entry& entry) const;

  std::vector<Entry> entries_;
  size_t sorted_ = 0;  // entries_[sorted_..] were appended and await SortAppended
  TextArena texts_;    // entry texts and keys
  std::string keyBuffer_;
  SubjectIndexObserver* observer_ = nullptr;
};

}  // namespace lorelist
