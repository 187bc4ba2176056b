#include "scan.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "charset.h"
#include "code_check.h"
#include "file_ops.h"

namespace lorelist {

namespace {

// A code packed so that comparing keys compares codes in pre-order: each
// number as one byte below 128, as two bytes (0x80 | high, low) below 16512,
// as three (0xC0 | high, middle, low) below 2113664; then left-aligned in 64
// bits. Numbers are never 0, so no code's bytes end where another's padding
// starts. False when the code does not fit.
bool OrderedKey(const ParsedCode& code, uint64_t& key) {
  uint8_t bytes[8];
  size_t used = 0;
  for (int i = 0; i < code.count; ++i) {
    const auto n = static_cast<uint32_t>(code.numbers[i]);
    uint8_t part[3];
    size_t length;
    if (n < 128) {
      part[0] = static_cast<uint8_t>(n);
      length = 1;
    } else if (n < 128 + (1u << 14)) {
      const uint32_t m = n - 128;
      part[0] = static_cast<uint8_t>(0x80 | (m >> 8));
      part[1] = static_cast<uint8_t>(m);
      length = 2;
    } else if (n < 128 + (1u << 14) + (1u << 21)) {
      const uint32_t m = n - 128 - (1u << 14);
      part[0] = static_cast<uint8_t>(0xC0 | (m >> 16));
      part[1] = static_cast<uint8_t>(m >> 8);
      part[2] = static_cast<uint8_t>(m);
      length = 3;
    } else {
      return false;
    }
    if (used + length > sizeof bytes) return false;
    for (size_t j = 0; j < length; ++j) bytes[used++] = part[j];
  }
  key = 0;
  for (size_t i = 0; i < 8; ++i) key = key << 8 | (i < used ? bytes[i] : 0);
  return true;
}

void SortKeys(std::vector<uint64_t>& keys) {
  // Radix sort a byte at a time, skipping the bytes every key shares (codes
  // are short: most low bytes are 0).
  std::vector<uint64_t> other(keys.size());
  for (int shift = 0; shift < 64; shift += 8) {
    size_t count[256] = {};
    for (uint64_t k : keys) ++count[(k >> shift) & 0xFF];
    if (std::find(std::begin(count), std::end(count), keys.size()) != std::end(count)) continue;
    size_t sum = 0;
    for (size_t& c : count) {
      const size_t here = c;
      c = sum;
      sum += here;
    }
    for (uint64_t k : keys) other[count[(k >> shift) & 0xFF]++] = k;
    keys.swap(other);
  }
}

// Logical lines of a part of the file held in memory, as the file reader
// gives them. A part ends at the end of a logical line; only the last part
// ends at the end of the file.
class Lines {
 public:
  Lines(const char* begin, const char* end, bool endOfFile)
      : p_(begin), end_(end), endOfFile_(endOfFile) {}

  bool Next(std::string_view& line, char& tag) {
    std::string_view physical;
    if (!Physical(physical)) return false;
    tag = physical.size() >= 2 ? physical[1] : '\0';
    line = physical;
    if (physical.empty() || physical.back() != '-') return true;
    joined_.assign(physical.data(), physical.size());
    while (!joined_.empty() && joined_.back() == '-') {
      joined_.pop_back();
      if (Physical(physical)) {
        joined_.append(physical.data(), physical.size());
      } else if (!endOfFile_) {
        overrun_ = true;  // the part was not cut where a logical line ends
        return false;
      }
    }
    line = joined_;
    return true;
  }

 private:
  bool Physical(std::string_view& line) {
    if (p_ >= end_) return false;
    const char* nl =
        static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
    const char* stop = nl ? nl : end_;
    size_t length = static_cast<size_t>(stop - p_);
    if (nl && length > 0 && p_[length - 1] == '\r') --length;  // CR LF; a lone CR stays
    line = std::string_view(p_, length);
    p_ = nl ? nl + 1 : end_;
    return true;
  }

  const char* p_;
  const char* end_;
  bool endOfFile_;
  std::string joined_;

 public:
  bool overrun_ = false;
};

// True when a logical line starts at `at` (the physical line before it does
// not continue into it).
bool StartsLogicalLine(const char* begin, const char* at) {
  if (at == begin) return true;
  if (at[-1] != '\n') return false;
  const char* last = at - 1;  // the line end
  if (last > begin && last[-1] == '\r') --last;
  // Mostly right: after "a--" and an empty line the next line still
  // continues, which the join of the parts then finds out.
  return last == begin || last[-1] != '-';
}

// One part of the file, scanned on a thread of its own. A part starts
// without knowing the code counters or whether a category came before it:
// it takes its first code as given and leaves the rest to the join, which
// checks the parts against each other in file order.
struct Part {
  // Set before the scan.
  const char* begin = nullptr;
  const char* end = nullptr;
  bool endOfFile = false;
  bool startsInCategories = false;
  bool utf8 = false;  // every line must be UTF-8 text, and may not be

  // Found by the scan.
  bool ok = true;
  bool inCategories = false;
  bool switched = false;  // the categories began within this part
  CodeChecker codes;
  bool counted = false;  // the counters follow from this part's own lines
  bool assumed = false;  // the first code was taken as given
  std::string firstCode;
  bool haveCategory = false;          // a category of the section as it ends
  bool orphanBeforeCategory = false;  // "@S" or "@R" before this part's first "@C"
  std::vector<uint64_t> quotationKeys;
  std::unordered_set<std::string> longCodes, oddCodes;
  std::vector<uint64_t> referenceKeys;
  std::vector<std::string> longReferences, oddReferences;
  // The nodes wanted, each as its code's length, code, text's length, text.
  std::string found;

  void Scan(const std::function<bool(std::string_view)>& wanted);

 private:
  bool Code(std::string_view text, const ParsedCode& code) {
    if (counted) return codes.Accepts(code);
    counted = true;
    assumed = true;
    firstCode.assign(text);
    return codes.AssumeAccepted(code);
  }
  bool QuotationLine(std::string_view line, char tag,
                     const std::function<bool(std::string_view)>& wanted);
  bool CategoryLine(std::string_view line, char tag);

  std::string code_;
};

bool Part::QuotationLine(std::string_view line, char tag,
                         const std::function<bool(std::string_view)>& wanted) {
  if (tag == '@') {
    inCategories = true;
    switched = true;
    codes.StartSection();
    counted = true;
    haveCategory = false;
    return true;
  }
  if (tag != 'Q') return false;
  std::string_view code, text;
  SplitNodeLine(line.substr(2), code, text);
  const ParsedCode parsed(code);
  if (!Code(code, parsed)) return false;
  if (!parsed.canonical) {
    oddCodes.emplace(code);
  } else if (uint64_t key; OrderedKey(parsed, key)) {
    quotationKeys.push_back(key);
  } else {
    longCodes.emplace(code);
  }
  if (wanted(text)) {
    code_.clear();
    for (int k = 0; k <= codes.CurrentLevel(); ++k) {
      char digits[16];
      if (k) code_ += '.';
      code_.append(digits, std::to_chars(digits, digits + sizeof digits, codes.Counter(k)).ptr);
    }
    const auto codeLength = static_cast<uint32_t>(code_.size());
    const auto textLength = static_cast<uint32_t>(text.size());
    found.append(reinterpret_cast<const char*>(&codeLength), sizeof codeLength).append(code_);
    found.append(reinterpret_cast<const char*>(&textLength), sizeof textLength).append(text);
  }
  return true;
}

bool Part::CategoryLine(std::string_view line, char tag) {
  switch (tag) {
    case 'C': {
      std::string_view code, text;
      SplitNodeLine(line.substr(2), code, text);
      haveCategory = true;
      return Code(code, ParsedCode(code));
    }
    case 'S':
    case 'R': {
      if (!haveCategory) {
        // Before the first category of the file is an error; before the
        // first of this part is one only if the parts before had none.
        if (switched) return false;
        orphanBeforeCategory = true;
      }
      if (tag == 'S') return true;
      std::string_view code, text;
      SplitNodeLine(line.substr(2), code, text);
      // As loading finds targets: by the code exactly as the node's line wrote it.
      const ParsedCode parsed(code);
      if (!parsed.wellFormed) return false;  // no node's code reads so
      if (!parsed.canonical)
        oddReferences.emplace_back(code);
      else if (uint64_t key; OrderedKey(parsed, key))
        referenceKeys.push_back(key);
      else
        longReferences.emplace_back(code);
      return true;
    }
    default:
      return false;
  }
}

void Part::Scan(const std::function<bool(std::string_view)>& wanted) {
  // A part that is UTF-8 throughout needs no line checked on its own.
  if (utf8 && IsValidUtf8(std::string_view(begin, static_cast<size_t>(end - begin)))) utf8 = false;
  inCategories = startsInCategories;
  codes.StartSection();
  Lines lines(begin, end, endOfFile);
  std::string_view line;
  char tag;
  while (lines.Next(line, tag)) {
    if ((utf8 && !IsValidUtf8(line)) || line.empty() || line.front() != '@' ||
        !(inCategories ? CategoryLine(line, tag) : QuotationLine(line, tag, wanted))) {
      ok = false;
      return;
    }
  }
  if (lines.overrun_) ok = false;
  // Sorted here, on this part's own thread, to be checked at the end.
  if (ok) SortKeys(referenceKeys);
}

// A mapped file that another program cuts short meanwhile would end this one
// with SIGBUS at the first page past its new end. While a scan runs, such a
// page of its mapping is mapped afresh as zeros instead, and the scan is told
// that the file changed under it.
class TruncationGuard {
 public:
  TruncationGuard(const char* begin, size_t size) : hold_(mutex_) {
    begin_ = begin;
    size_ = size;
    page_ = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    faulted_ = false;
    struct sigaction action {};
    action.sa_sigaction = OnBus;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previous_);
  }
  ~TruncationGuard() {
    ::sigaction(SIGBUS, &previous_, nullptr);
    begin_ = nullptr;
  }
  static bool Faulted() { return faulted_; }

 private:
  static void OnBus(int, siginfo_t* info, void*) {
    const char* at = static_cast<const char*>(info->si_addr);
    const char* begin = begin_;
    if (begin && at >= begin && at < begin + size_) {
      void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(at) & ~(page_ - 1));
      if (::mmap(page, page_, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
          MAP_FAILED) {
        faulted_ = true;
        return;  // the read is made again, of zeros
      }
    }
    // Not the scan's: as it would have been without the guard.
    ::sigaction(SIGBUS, &previous_, nullptr);
  }

  static inline std::mutex mutex_;  // one guarded scan at a time
  static inline std::atomic<const char*> begin_{nullptr};
  static inline std::atomic<size_t> size_{0}, page_{4096};
  static inline std::atomic<bool> faulted_{false};
  static inline struct sigaction previous_;
  std::lock_guard<std::mutex> hold_;
};

// The whole file in memory: mapped where possible, read otherwise.
class FileBytes {
 public:
  bool Open(const std::string& path) {
    int error = 0;
    fd_ = OpenRegularFile(path, error);  // a device or pipe would never end
    if (fd_ < 0) return false;
    bool ok = ::fstat(fd_, &st_) == 0;
    if (ok && st_.st_size > 0) {
      size_ = static_cast<size_t>(st_.st_size);
      void* map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
      if (map != MAP_FAILED) {
        map_ = map;
        data_ = static_cast<const char*>(map);
        guard_.emplace(data_, size_);
        return true;
      }
    }
    // It cannot be mapped: read it through.
    size_ = 0;
    for (;;) {
      if (copy_.size() < size_ + (1 << 20)) copy_.resize(size_ + (1 << 20));
      const ssize_t got = ::read(fd_, copy_.data() + size_, copy_.size() - size_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = false;
      if (got <= 0) break;
      size_ += static_cast<size_t>(got);
    }
    data_ = copy_.data();
    return ok;
  }
  // False when the mapped file was cut short or written to during the scan:
  // what was read of it may be neither the old file nor the new.
  bool Unchanged() const {
    if (!map_) return true;
    struct stat now;
    return !TruncationGuard::Faulted() && ::fstat(fd_, &now) == 0 && now.st_size == st_.st_size &&
           now.st_mtim.tv_sec == st_.st_mtim.tv_sec && now.st_mtim.tv_nsec == st_.st_mtim.tv_nsec;
  }
  ~FileBytes() {
    guard_.reset();
    if (map_) ::munmap(map_, size_);
    if (fd_ >= 0) ::close(fd_);
  }
  const char* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  int fd_ = -1;
  struct stat st_ {};
  void* map_ = nullptr;
  const char* data_ = nullptr;
  size_t size_ = 0;
  std::string copy_;
  std::optional<TruncationGuard> guard_;
};

// The first logical line from `from` on.
const char* LineStartFrom(const char* begin, const char* from, const char* end) {
  for (const char* at = from; at < end;) {
    const char* nl = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
    if (!nl) return end;
    if (StartsLogicalLine(begin, nl + 1)) return nl + 1;
    at = nl + 1;
  }
  return end;
}

// The file state the parts hand on to each other.
struct Running {
  bool inCategories = false;
  CodeChecker codes;
  bool haveCategory = false;
};

// Checks a part's assumptions against where the parts before it left off,
// then moves on to where it leaves off.
bool Join(Running& state, const Part& part) {
  if (part.startsInCategories != state.inCategories) return false;
  if (part.assumed) {
    CodeChecker codes = state.codes;
    if (!codes.Accepts(ParsedCode(part.firstCode))) return false;
  }
  if (part.orphanBeforeCategory && !state.haveCategory) return false;
  if (part.switched) {
    state.inCategories = true;
    state.codes = part.codes;
    state.haveCategory = part.haveCategory;
  } else {
    if (part.counted) state.codes = part.codes;
    state.haveCategory = state.haveCategory || part.haveCategory;
  }
  return true;
}

}  // namespace

bool ScanDatabase(const std::string& path, const std::function<bool(std::string_view)>& wanted,
                  const std::function<void(std::string_view, std::string_view)>& show,
                  size_t splitAbove, const std::function<void(Encoding)>& encodingKnown) {
  FileBytes file;
  if (!file.Open(path)) return false;
  const char* begin = file.Data();
  const char* end = begin + file.Size();
  // The byte-order mark makes a UTF-8 dictionary and is no part of a line.
  const bool utf8 = std::string_view(begin, file.Size()).starts_with(kByteOrderMark);
  if (utf8) begin += kByteOrderMark.size();
  if (encodingKnown) encodingKnown(utf8 ? Encoding::kUtf8 : Encoding::kWindows1252);

  // Parts that end with whole logical lines, scanned two or more at a time.
  const size_t count = file.Size() > splitAbove ? 24 : 1;
  std::vector<Part> parts;
  const char* at = begin;
  for (size_t i = 1; at < end; ++i) {
    const char* next =
        i >= count ? end : LineStartFrom(begin, std::max(at, begin + file.Size() * i / count), end);
    if (next <= at) continue;
    Part& part = parts.emplace_back();
    part.begin = at;
    part.end = next;
    part.endOfFile = next == end;
    part.utf8 = utf8;
    // A part's section shows in its first line: a node line of the quotations
    // or the separator, or a line of the categories. (A file with a category
    // line among its quotations fails the join.)
    part.startsInCategories = next - at >= 2 && at[0] == '@' && at[1] != 'Q' && at[1] != '@';
    at = next;
  }
  std::atomic<size_t> nextPart{0};
  auto work = [&] {
    for (size_t i; (i = nextPart++) < parts.size();) parts[i].Scan(wanted);
  };
  const unsigned helpers =
      parts.size() > 1 ? std::min(3u, std::max(1u, std::thread::hardware_concurrency()) - 1) : 0;
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < helpers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();

  Running state;
  for (const Part& part : parts)
    if (!part.ok || !Join(state, part)) return false;

  // Every reference must name a quotation node of the file. The parts' keys
  // in file order are all the quotation keys, in order; copying them and
  // checking the references is shared between two threads as well.
  std::vector<size_t> offsets{0};
  for (const Part& part : parts) offsets.push_back(offsets.back() + part.quotationKeys.size());
  std::vector<uint64_t> quotationKeys(offsets.back());
  std::atomic<bool> allFound{true};
  auto onBoth = [&](auto task) {
    std::thread helper(task, 1);
    task(0);
    helper.join();
  };
  onBoth([&](size_t half) {
    for (size_t p = half; p < parts.size(); p += 2)
      std::copy(parts[p].quotationKeys.begin(), parts[p].quotationKeys.end(),
                quotationKeys.begin() + static_cast<ptrdiff_t>(offsets[p]));
  });
  if (!std::is_sorted(quotationKeys.begin(), quotationKeys.end()))
    std::sort(quotationKeys.begin(), quotationKeys.end());
  onBoth([&](size_t half) {
    for (size_t p = half; p < parts.size() && allFound; p += 2) {
      // Both sorted: gallop forward from the last key found.
      auto q = quotationKeys.cbegin();
      for (uint64_t key : parts[p].referenceKeys) {
        size_t step = 1;
        auto probe = q;
        while (probe != quotationKeys.cend() && *probe < key) {
          q = probe;
          probe = static_cast<size_t>(quotationKeys.cend() - probe) > step ? probe + step
                                                                           : quotationKeys.cend();
          step *= 2;
        }
        q = std::lower_bound(q, probe, key);
        if (q == quotationKeys.cend() || *q != key) {
          allFound = false;
          return;
        }
      }
    }
  });
  if (!allFound || !file.Unchanged()) return false;
  auto holds = [&](const std::unordered_set<std::string> Part::*set, const std::string& code) {
    for (const Part& part : parts)
      if ((part.*set).count(code)) return true;
    return false;
  };
  for (const Part& part : parts) {
    for (const std::string& code : part.longReferences)
      if (!holds(&Part::longCodes, code)) return false;
    for (const std::string& code : part.oddReferences)
      if (!holds(&Part::oddCodes, code)) return false;
  }

  for (const Part& part : parts) {
    std::string_view rest = part.found;
    auto take = [&rest] {
      uint32_t length;
      std::memcpy(&length, rest.data(), sizeof length);
      std::string_view piece = rest.substr(sizeof length, length);
      rest.remove_prefix(sizeof length + length);
      return piece;
    };
    while (!rest.empty()) {
      const std::string_view code = take();
      show(code, take());
    }
  }
  return true;
}

}  // namespace lorelist
