#include "subject_index.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>

#include "collation.h"

namespace lorelist {

SubjectIndexList::Entry SubjectIndexList::MakeEntry(std::string_view text, HTREEITEM category) {
  return Keyed(texts_.Store(text), category);
}

SubjectIndexList::Entry SubjectIndexList::Keyed(PackedText stored, HTREEITEM category) {
  const PackedText packedKey = texts_.Store(CollationKey(stored, keyBuffer_));
  if (keyBuffer_.size() > (1 << 20)) std::string().swap(keyBuffer_);  // after a huge entry
  Entry entry{0, 0, 0, packedKey, stored, category};
  const std::string_view key = packedKey;
  auto byte = [&](size_t i) -> unsigned { return i < key.size() ? uint8_t(key[i]) : 0; };
  for (size_t i = 0; i < 8; ++i) entry.prefix = entry.prefix << 8 | byte(i);
  for (size_t i = 8; i < 12; ++i) entry.prefixMore = entry.prefixMore << 8 | byte(i);
  return entry;
}

size_t SubjectIndexList::UpperBound(const Entry& entry) const {
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  return static_cast<size_t>(std::upper_bound(entries_.begin(), end, entry, Less) -
                             entries_.begin());
}

int SubjectIndexList::AddString(std::string_view text) {
  SortAppended();
  Entry entry = MakeEntry(text, nullptr);
  const size_t at = UpperBound(entry);
  const int index = static_cast<int>(at);
  if (observer_) observer_->BeforeInsert(index);
  entries_.insert(entries_.begin() + static_cast<ptrdiff_t>(at), entry);
  sorted_ = entries_.size();
  if (observer_) observer_->AfterInsert(index);
  return index;
}

int SubjectIndexList::InsertAt(int index, std::string_view text, HTREEITEM category) {
  SortAppended();
  const Entry entry = MakeEntry(text, category);
  // Only among its equals: anywhere else would break the order.
  const auto first = std::lower_bound(entries_.begin(), entries_.end(), entry, Less);
  const auto last = std::upper_bound(first, entries_.end(), entry, Less);
  const auto at = entries_.begin() +
                  std::clamp<ptrdiff_t>(index, first - entries_.begin(), last - entries_.begin());
  const int where = static_cast<int>(at - entries_.begin());
  if (observer_) observer_->BeforeInsert(where);
  entries_.insert(at, entry);
  sorted_ = entries_.size();
  if (observer_) observer_->AfterInsert(where);
  return where;
}

void SubjectIndexList::DeleteString(int index) {
  if (index < 0 || index >= GetCount()) return;
  if (observer_) observer_->BeforeRemove(index);
  entries_.erase(entries_.begin() + index);
  sorted_ = entries_.size();
  if (observer_) observer_->AfterRemove(index);
}

void SubjectIndexList::ResetContent() {
  if (observer_) observer_->BeforeReset();
  entries_.clear();
  sorted_ = 0;
  texts_.Clear();
  if (observer_) observer_->AfterReset();
}

int SubjectIndexList::LowerBound(std::string_view text) const {
  std::string buffer;
  const std::string_view key = CollationKey(text, buffer);
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  auto first = std::lower_bound(entries_.begin(), end, key, [](const Entry& e, std::string_view k) {
    return std::string_view(e.key) < k;
  });
  return static_cast<int>(first - entries_.begin());
}

int SubjectIndexList::Find(std::string_view text, HTREEITEM category) const {
  std::string buffer;
  const std::string_view key = CollationKey(text, buffer);
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  auto first = std::lower_bound(entries_.begin(), end, key, [](const Entry& e, std::string_view k) {
    return std::string_view(e.key) < k;
  });
  for (auto it = first; it != end && std::string_view(it->key) == key; ++it)
    if (it->category == category && std::string_view(it->text) == text)
      return static_cast<int>(it - entries_.begin());
  // Entries appended but not yet sorted lie beyond the sorted part.
  for (size_t i = sorted_; i < entries_.size(); ++i)
    if (entries_[i].category == category && std::string_view(entries_[i].text) == text)
      return static_cast<int>(i);
  return -1;
}

std::string_view SubjectIndexList::AppendUnsorted(std::string_view text, HTREEITEM category) {
  entries_.push_back(Entry{0, 0, 0, {}, texts_.Store(text), category});
  return entries_.back().text;
}

void SubjectIndexList::SortAppendedHere() {
  for (size_t i = sorted_; i < entries_.size(); ++i) {
    entries_[i] = Keyed(entries_[i].text, entries_[i].category);
    entries_[i].order = static_cast<uint32_t>(i - sorted_);
  }
  // Equal keys keep the order of appending, as repeated AddString would.
  auto mid = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  std::sort(mid, entries_.end(), [](const Entry& a, const Entry& b) {
    const int c = Compare(a, b);
    return c < 0 || (c == 0 && a.order < b.order);
  });
  std::inplace_merge(entries_.begin(), mid, entries_.end(), Less);
  sorted_ = entries_.size();
}

void SubjectIndexList::SortAppended(const std::function<void()>& alongside) {
  if (sorted_ == entries_.size()) {
    if (alongside) alongside();
    return;
  }
  if (observer_) observer_->BeforeReset();
  std::future<void> sorting;
  if (alongside && std::thread::hardware_concurrency() > 1) {
    try {
      sorting = std::async(std::launch::async, [this] { SortAppendedHere(); });
    } catch (const std::system_error&) {
      // No thread to be had: one thing after the other.
    }
  }
  if (alongside) alongside();
  if (sorting.valid())
    sorting.get();  // and any exception of the sort's
  else
    SortAppendedHere();
  if (observer_) observer_->AfterReset();
}

}  // namespace lorelist
