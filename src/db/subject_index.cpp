#include "subject_index.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>

#include "collation.h"

namespace lorelist {

namespace {

// A key's first 12 bytes as two big-endian numbers, padded with zeros.
void PrefixOf(std::string_view key, uint64_t& prefix, uint32_t& more) {
  auto byte = [&](size_t i) -> unsigned { return i < key.size() ? uint8_t(key[i]) : 0; };
  prefix = 0;
  more = 0;
  for (size_t i = 0; i < 8; ++i) prefix = prefix << 8 | byte(i);
  for (size_t i = 8; i < 12; ++i) more = more << 8 | byte(i);
}

// True when the prefix is the whole key: it ends in a padding zero.
bool Whole(uint32_t prefixMore) {
  return (prefixMore & 0xFF) == 0;
}

}  // namespace

SubjectIndexList::Probe SubjectIndexList::MakeProbe(std::string_view key) {
  Probe probe{0, 0, key};
  PrefixOf(key, probe.prefix, probe.prefixMore);
  return probe;
}

int SubjectIndexList::Compare(const Entry& e, const Probe& p, std::string& buffer) const {
  if (e.prefix != p.prefix) return e.prefix < p.prefix ? -1 : 1;
  if (e.prefixMore != p.prefixMore) return e.prefixMore < p.prefixMore ? -1 : 1;
  if (Whole(e.prefixMore)) return 0;  // and so is the probe's: the keys are equal
  return Key(e.text, buffer).compare(p.key);
}

int SubjectIndexList::Compare(const Entry& x, const Entry& y, std::string& a,
                              std::string& b) const {
  if (x.prefix != y.prefix) return x.prefix < y.prefix ? -1 : 1;
  if (x.prefixMore != y.prefixMore) return x.prefixMore < y.prefixMore ? -1 : 1;
  if (Whole(x.prefixMore)) return 0;
  return Key(x.text, a).compare(Key(y.text, b));
}

void SubjectIndexList::ForgetHugeKey() {
  if (keyBuffer_.size() > (1 << 20)) std::string().swap(keyBuffer_);  // after a huge entry
}

void SubjectIndexList::PrefixAppended(size_t begin, size_t end) {
  std::string buffer;
  for (size_t i = begin; i < end; ++i) {
    Entry& entry = entries_[i];
    PrefixOf(Key(entry.text, buffer), entry.prefix, entry.prefixMore);
    entry.order = static_cast<uint32_t>(i - sorted_);
  }
}

size_t SubjectIndexList::UpperBound(const Probe& probe) const {
  std::string buffer;
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  return static_cast<size_t>(
      std::upper_bound(entries_.begin(), end, probe,
                       [&](const Probe& p, const Entry& e) { return Compare(e, p, buffer) > 0; }) -
      entries_.begin());
}

int SubjectIndexList::AddString(std::string_view text) {
  SortAppended();
  const PackedText stored = texts_.Store(text);
  const Probe probe = MakeProbe(Key(stored, keyBuffer_));
  const Entry entry{probe.prefix, probe.prefixMore, 0, stored, nullptr};
  const size_t at = UpperBound(probe);
  const int index = static_cast<int>(at);
  if (observer_) observer_->BeforeInsert(index);
  entries_.insert(entries_.begin() + static_cast<ptrdiff_t>(at), entry);
  sorted_ = entries_.size();
  ForgetHugeKey();
  if (observer_) observer_->AfterInsert(index);
  return index;
}

int SubjectIndexList::InsertAt(int index, std::string_view text, HTREEITEM category) {
  SortAppended();
  const PackedText stored = texts_.Store(text);
  const Probe probe = MakeProbe(Key(stored, keyBuffer_));
  const Entry entry{probe.prefix, probe.prefixMore, 0, stored, category};
  // Only among its equals: anywhere else would break the order.
  std::string buffer;
  const auto first =
      std::lower_bound(entries_.begin(), entries_.end(), probe,
                       [&](const Entry& e, const Probe& p) { return Compare(e, p, buffer) < 0; });
  const auto last =
      std::upper_bound(first, entries_.end(), probe,
                       [&](const Probe& p, const Entry& e) { return Compare(e, p, buffer) > 0; });
  const auto at = entries_.begin() +
                  std::clamp<ptrdiff_t>(index, first - entries_.begin(), last - entries_.begin());
  const int where = static_cast<int>(at - entries_.begin());
  if (observer_) observer_->BeforeInsert(where);
  entries_.insert(at, entry);
  sorted_ = entries_.size();
  ForgetHugeKey();
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

std::unordered_map<const char*, std::string_view> SubjectIndexList::RecodeTexts(
    const std::function<bool(std::string_view, std::string&)>& recode,
    std::vector<PackedText>& before) {
  SortAppended();
  std::unordered_map<const char*, std::string_view> moved;
  moved.reserve(entries_.size());
  std::string recoded;
  for (Entry& entry : entries_) {
    before.push_back(entry.text);
    const std::string_view old = entry.text;
    if (!recode(old, recoded)) continue;
    entry.text = texts_.Store(recoded);
    moved.emplace(old.data(), entry.text);
  }
  return moved;
}

std::unordered_map<const char*, std::string_view> SubjectIndexList::ExchangeTexts(
    std::vector<PackedText>& texts, size_t& at) {
  SortAppended();
  std::unordered_map<const char*, std::string_view> moved;
  moved.reserve(entries_.size());
  for (Entry& entry : entries_) {
    const std::string_view old = entry.text;
    std::swap(entry.text, texts[at++]);
    moved.emplace(old.data(), entry.text);
  }
  return moved;
}

void SubjectIndexList::ResetContent() {
  if (observer_) observer_->BeforeReset();
  entries_.clear();
  sorted_ = 0;
  texts_.Clear();
  if (observer_) observer_->AfterReset();
}

int SubjectIndexList::LowerBound(std::string_view text) const {
  std::string keyBuffer, buffer;
  const Probe probe = MakeProbe(Key(text, keyBuffer));
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  auto first = std::lower_bound(entries_.begin(), end, probe, [&](const Entry& e, const Probe& p) {
    return Compare(e, p, buffer) < 0;
  });
  return static_cast<int>(first - entries_.begin());
}

int SubjectIndexList::Find(std::string_view text, HTREEITEM category) const {
  std::string keyBuffer, buffer;
  const Probe probe = MakeProbe(Key(text, keyBuffer));
  auto end = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  auto first = std::lower_bound(entries_.begin(), end, probe, [&](const Entry& e, const Probe& p) {
    return Compare(e, p, buffer) < 0;
  });
  // Of equal entries of one category, the very one `text` is a view of.
  int found = -1;
  auto take = [&](size_t i) {
    if (entries_[i].category != category || std::string_view(entries_[i].text) != text)
      return false;
    if (found < 0) found = static_cast<int>(i);
    if (std::string_view(entries_[i].text).data() != text.data()) return false;
    found = static_cast<int>(i);
    return true;
  };
  for (auto it = first; it != end; ++it) {
    if (std::string_view(it->text) == text) {  // the same text has the same key
      if (take(static_cast<size_t>(it - entries_.begin()))) return found;
    } else if (Compare(*it, probe, buffer) != 0) {
      break;
    }
  }
  // Entries appended but not yet sorted lie beyond the sorted part.
  for (size_t i = sorted_; i < entries_.size(); ++i)
    if (take(i)) return found;
  return found;
}

std::string_view SubjectIndexList::AppendUnsorted(std::string_view text, HTREEITEM category) {
  entries_.push_back(Entry{0, 0, 0, texts_.Store(text), category});
  return entries_.back().text;
}

void SubjectIndexList::SortPrefixed() {
  // By the prefixes first, equal ones in the order of appending, as repeated
  // AddString would have them...
  auto mid = entries_.begin() + static_cast<ptrdiff_t>(sorted_);
  std::sort(mid, entries_.end(), [](const Entry& a, const Entry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (a.prefixMore != b.prefixMore) return a.prefixMore < b.prefixMore;
    return a.order < b.order;
  });
  // ...then each run of equal prefixes whose keys go on past them, by the
  // whole keys, made only for the run and once for each text in it (a run
  // is often one text, entered in many categories, and needs no key at all).
  struct Keyed {
    size_t at, size;  // the key in keys
    Entry entry;
  };
  std::vector<Keyed> run;
  std::string keys;
  auto byText = [](const Entry& a, const Entry& b) {
    const int c = std::string_view(a.text).compare(std::string_view(b.text));
    return c < 0 || (c == 0 && a.order < b.order);
  };
  for (auto first = mid; first != entries_.end();) {
    auto last = first + 1;
    while (last != entries_.end() && last->prefix == first->prefix &&
           last->prefixMore == first->prefixMore)
      ++last;
    if (last - first > 1 && !Whole(first->prefixMore)) {
      std::sort(first, last, byText);
      // Of one text, they are in order now: by the order of appending.
      if (std::string_view(first->text) != std::string_view((last - 1)->text)) {
        run.clear();
        keys.clear();
        for (auto it = first; it != last; ++it) {
          if (run.empty() ||
              std::string_view(it->text) != std::string_view(run.back().entry.text)) {
            const std::string_view key = Key(it->text, keyBuffer_);
            run.push_back({keys.size(), key.size(), *it});
            keys.append(key);
          } else {
            run.push_back({run.back().at, run.back().size, *it});
          }
        }
        std::sort(run.begin(), run.end(), [&keys](const Keyed& a, const Keyed& b) {
          const int c = std::string_view(keys)
                            .substr(a.at, a.size)
                            .compare(std::string_view(keys).substr(b.at, b.size));
          return c < 0 || (c == 0 && a.entry.order < b.entry.order);
        });
        for (const Keyed& keyed : run) *first++ = keyed.entry;
      }
    }
    first = last;
  }
  if (mid != entries_.begin()) {
    std::string a, b;
    std::inplace_merge(entries_.begin(), mid, entries_.end(),
                       [&](const Entry& x, const Entry& y) { return Compare(x, y, a, b) < 0; });
  }
  sorted_ = entries_.size();
  ForgetHugeKey();
}

void SubjectIndexList::SortAppended(const std::function<void()>& alongside) {
  if (sorted_ == entries_.size()) {
    if (alongside) alongside();
    return;
  }
  if (observer_) observer_->BeforeReset();
  // The keys' prefixes are made on two threads at once, then the sort runs
  // on the second thread while `alongside` runs on this one.
  auto onSecondThread = [&](auto task) {
    std::future<void> done;
    if (alongside && std::thread::hardware_concurrency() > 1) {
      try {
        done = std::async(std::launch::async, task);
      } catch (const std::system_error&) {
        // No thread to be had: one thing after the other.
      }
    }
    return done;
  };
  const size_t half = sorted_ + (entries_.size() - sorted_) / 2;
  std::future<void> prefixing = onSecondThread([this, half] { PrefixAppended(sorted_, half); });
  PrefixAppended(prefixing.valid() ? half : sorted_, entries_.size());
  std::future<void> sorting;
  if (prefixing.valid()) {
    prefixing.get();  // and any exception of its
    sorting = onSecondThread([this] { SortPrefixed(); });
  }
  if (alongside) alongside();
  if (sorting.valid())
    sorting.get();
  else
    SortPrefixed();
  if (observer_) observer_->AfterReset();
}

}  // namespace lorelist
