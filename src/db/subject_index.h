#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "collation.h"
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

  // The index of the entry with this text and category, or -1: where
  // `text` is a view of an entry's text, that entry.
  int Find(std::string_view text, HTREEITEM category) const;

  // Loading adds many entries at once: append them unsorted, then sort once.
  // The result is the same as adding them one by one with AddString.
  // Entries appended get the prefixes of their collation keys when sorted.
  // Returns the entry's text as the list keeps it.
  std::string_view AppendUnsorted(std::string_view text, HTREEITEM category);
  // Where there is a second thread, the prefixes are made on both threads,
  // then the entries sorted on the second while `alongside` runs on this one.
  void SortAppended(const std::function<void()>& alongside = {});

  void SetObserver(SubjectIndexObserver* observer) { observer_ = observer; }
  // Gives every entry the text `recode` puts in its second argument, where
  // it returns true, and appends each entry's text before to `before`; the
  // order stays, the characters being the same. Returns the new text of
  // each entry so changed, by where its old text was.
  std::unordered_map<const char*, std::string_view> RecodeTexts(
      const std::function<bool(std::string_view, std::string&)>& recode,
      std::vector<PackedText>& before);
  // Exchanges each entry's text with texts[at], at++, as TreeStore's does.
  std::unordered_map<const char*, std::string_view> ExchangeTexts(std::vector<PackedText>& texts,
                                                                  size_t& at);
  // Where the list reads its texts' encoding: the database's own, so that
  // the two never disagree. None: Windows-1252.
  void UseEncodingOf(const Encoding* encoding) { encoding_ = encoding; }

 private:
  // An entry keeps the first 12 bytes of its collation key, not the key,
  // which takes about as much room as its text. Most comparisons end in the
  // 12 bytes; the others make the keys again from the texts.
  struct Entry {
    // Big-endian and padded with zeros. A key has no zero bytes, so a key of
    // 11 bytes or fewer is all here, and ends in a zero byte.
    uint64_t prefix;
    uint32_t prefixMore;
    // Where an appended entry came among those sorted with it: equal keys
    // keep that order without a stable sort, whose buffer of half the
    // entries would be the peak of a large load.
    uint32_t order;
    PackedText text;
    HTREEITEM category;
  };
  // A key made whole, to be compared with entries.
  struct Probe {
    uint64_t prefix;
    uint32_t prefixMore;
    std::string_view key;
  };
  static Probe MakeProbe(std::string_view key);
  // <0, 0 or >0 as the entry sorts before, with or after the probe's key;
  // the entry's key is made in `buffer` when the prefixes do not tell.
  int Compare(const Entry& e, const Probe& p, std::string& buffer) const;
  // The same for two entries, their keys made in a and b when needed.
  int Compare(const Entry& x, const Entry& y, std::string& a, std::string& b) const;
  // A text's collation key, decoded as the database's texts are.
  std::string_view Key(std::string_view text, std::string& buffer) const {
    return CollationKey(text, buffer, encoding_ ? *encoding_ : Encoding::kWindows1252);
  }
  // Gives the appended entries [begin, end) their prefixes and order.
  void PrefixAppended(size_t begin, size_t end);
  // Gives back keyBuffer_'s memory after a huge entry.
  void ForgetHugeKey();
  // Where a new entry with this key goes, among those sorted: after its equals.
  size_t UpperBound(const Probe& probe) const;
  // Sorts the appended entries once they have their prefixes.
  void SortPrefixed();

  std::vector<Entry> entries_;
  size_t sorted_ = 0;  // entries_[sorted_..] were appended and await SortAppended
  TextArena texts_;    // entry texts
  std::string keyBuffer_;
  SubjectIndexObserver* observer_ = nullptr;
  const Encoding* encoding_ = nullptr;
};

}  // namespace lorelist
