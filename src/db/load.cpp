#include "load.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "code_check.h"
#include "file_format.h"
#include "save.h"

namespace lorelist {

namespace {

// Packs a node code's numbers into 64 bits, each as base-128 groups (low
// first, high bit: more to come). Numbers are never 0, so distinct codes give
// distinct keys, and no key is 0. False when the code does not fit in 7
// bytes (so that a key fits a pointer-sized word with a tag bit beside it).
class CodeKey {
 public:
  bool Add(uint32_t n) {
    do {
      if (bytes_ == 7) return false;
      uint64_t group = n & 0x7F;
      n >>= 7;
      if (n) group |= 0x80;
      key_ |= group << (8 * bytes_++);
    } while (n);
    return true;
  }
  uint64_t Key() const { return key_; }

 private:
  uint64_t key_ = 0;
  int bytes_ = 0;
};

// A deferred reference target holds its code key, shifted and tagged with the
// low bit, which no node address has.
HTREEITEM TagKey(uint64_t key) {
  return reinterpret_cast<HTREEITEM>((key << 1) | 1);
}
bool IsTagged(HTREEITEM target) {
  return reinterpret_cast<uintptr_t>(target) & 1;
}
uint64_t UntagKey(HTREEITEM target) {
  return reinterpret_cast<uintptr_t>(target) >> 1;
}

// Takes the next number off the front of a code key; 0 when none is left.
uint32_t TakeNumber(uint64_t& key) {
  uint32_t n = 0;
  for (int shift = 0; key; shift += 7) {
    const uint64_t group = key & 0xFF;
    key >>= 8;
    n |= static_cast<uint32_t>(group & 0x7F) << shift;
    if (!(group & 0x80)) break;
  }
  return n;
}

// Finds quotation nodes by code key, walking down the tree by the code's
// numbers. Each step of a walk is a cache miss, so kLanes walks go side by
// side: a lane prefetches its next step and the others take theirs meanwhile.
class Descent {
 public:
  explicit Descent(const TreeStore& tree) : tree_(tree) {}

  // Starts the walk of a tagged target; false when no lane is free.
  bool Start(HTREEITEM& target) {
    if (used_ == kLanes) return false;
    lanes_[used_++] = Lane{&target, nullptr, nullptr, UntagKey(target)};
    return true;
  }
  // Takes one step on every lane. done(target, node) is told of each walk
  // that ends (node nullptr: the code names no node); false from it stops.
  template <typename Done>
  bool Step(Done&& done) {
    for (size_t i = 0; i < used_;) {
      Lane& lane = lanes_[i];
      if (lane.slot) {  // the slot was prefetched: on to the child
        lane.node = *lane.slot;
        lane.slot = nullptr;
        __builtin_prefetch(lane.node, 1);
      } else if (uint32_t n = TakeNumber(lane.rest)) {
        lane.slot = tree_.ChildSlot(lane.node, n - 1);
        if (!lane.slot) return done(*lane.target, nullptr);
        __builtin_prefetch(lane.slot);
      } else {
        if (!done(*lane.target, lane.node)) return false;
        lane = lanes_[--used_];
        continue;
      }
      ++i;
    }
    return true;
  }
  bool Idle() const { return used_ == 0; }

 private:
  static constexpr size_t kLanes = 32;
  struct Lane {
    HTREEITEM* target;
    HTREEITEM node;         // where the walk is: nullptr for the top level
    HTREEITEM const* slot;  // the child slot to read next, once prefetched
    uint64_t rest;          // the numbers still to walk
  };
  const TreeStore& tree_;
  Lane lanes_[kLanes];
  size_t used_ = 0;
};

// A missing file is a new database, not an error to report.
bool Reported(const LoadResult& result) {
  return result.status == LoadResult::kStopped || result.status == LoadResult::kCannotOpen;
}

class Loader {
 public:
  // deferReferences: resolve the references of well-formed codes after the
  // whole file is read, many at a time. A million references to nodes all
  // over memory load several times faster so; Run() is then repeated without
  // deferring should any of them be missing, to stop at the right line.
  Loader(Database& db, LoadReporter* reporter, bool deferReferences, Encoding unmarked)
      : db_(db), reporter_(reporter), unmarked_(unmarked), defer_(deferReferences) {}

  LoadResult Run(const std::string& path);
  // Resolves the deferred references and counts every reference at its
  // target. False when a deferred reference names no quotation node.
  bool ResolveReferences();

 private:
  void StartSection();
  bool Fail(const char* fixedText);
  // A line of a UTF-8 file that is not UTF-8: shown with U+FFFD for each
  // byte that cannot be read, as the message must be text.
  bool FailUnreadable();
  int CheckCode();
  HTREEITEM InsertNode(TreeStore& tree, std::string_view text);
  bool QuotationLine(char tag);
  bool CategoryLine(char tag);
  HTREEITEM FindQuotation(std::string_view code);
  // The code's key when it is well-formed and fits one; 0 otherwise.
  uint64_t KeyOf(std::string_view code) const;

  Database& db_;
  LoadReporter* reporter_;
  Encoding unmarked_;  // of a file without the byte-order mark
  LoadResult result_;

  // Shared with CheckCode.
  std::string_view lineBuffer_;
  std::string_view currentCode_;
  int currentLevel_ = -1;
  CodeChecker codes_;
  uint64_t lineNumber_ = 0;

  int previousLevel_ = -1;
  HTREEITEM parent_ = nullptr;
  HTREEITEM last_ = nullptr;
  bool inCategories_ = false;

  // The code-to-node map. A code written the way the writer writes it is
  // found from position, so only the codes written otherwise (leading zeros)
  // need a map entry; that keeps a million-node load small.
  std::unordered_map<std::string, HTREEITEM> oddCodes_;
  std::unordered_set<HTREEITEM> oddNodes_;
  bool defer_;
  // The references of the category being read, kept until it ends so that
  // its lists are allocated once and at their size.
  void FlushReferences();
  CategoryRecord* pendingRecord_ = nullptr;
  std::vector<HTREEITEM> pendingTargets_;
  std::string pendingTexts_;
  std::vector<size_t> pendingEnds_;
  // Records with references, each listed once, in reading order; while
  // deferring, their targets may hold a tagged code key instead of a node.
  std::vector<CategoryRecord*> deferredRecords_;
};

void Loader::StartSection() {
  currentLevel_ = -1;
  previousLevel_ = -1;
  codes_.StartSection();
  parent_ = nullptr;
  last_ = nullptr;
}

bool Loader::Fail(const char* fixedText) {
  result_.status = LoadResult::kStopped;
  result_.message = fixedText;
  result_.message.append(lineBuffer_.data(), lineBuffer_.size());
  result_.line = lineNumber_;
  return false;
}

bool Loader::FailUnreadable() {
  result_.status = LoadResult::kStopped;
  result_.message = kNotUtf8Line;
  AppendAsUtf8(result_.message, lineBuffer_, Encoding::kUtf8);
  result_.line = lineNumber_;
  return false;
}

int Loader::CheckCode() {
  const CodeVerdict verdict = codes_.Check(currentCode_);
  if (verdict != CodeVerdict::kAccepted) {
    Fail(VerdictMessage(verdict));
    return -1;
  }
  currentLevel_ = codes_.CurrentLevel();
  return 2;
}

HTREEITEM Loader::InsertNode(TreeStore& tree, std::string_view text) {
  const int level = currentLevel_;
  if (level > previousLevel_) {
    parent_ = last_;
  } else {
    // Each node climbed out of has all its children.
    for (int i = level; i < previousLevel_; ++i) {
      tree.FitChildren(parent_);
      parent_ = tree.GetParentItem(parent_);
    }
  }
  last_ = tree.InsertItem(text, parent_, TVI_LAST);
  previousLevel_ = level;
  return last_;
}

uint64_t Loader::KeyOf(std::string_view code) const {
  if (!IsCanonicalCode(code)) return 0;
  CodeKey key;
  for (;;) {
    size_t dot = code.find('.');
    if (!key.Add(static_cast<uint32_t>(ReadNumber(code.substr(0, dot))))) return 0;
    if (dot == std::string_view::npos) return key.Key();
    code.remove_prefix(dot + 1);
  }
}

HTREEITEM Loader::FindQuotation(std::string_view code) {
  if (!IsCanonicalCode(code)) {
    auto it = oddCodes_.find(std::string(code));
    return it == oddCodes_.end() ? nullptr : it->second;
  }
  // Walk down the tree by the code's numbers.
  HTREEITEM node = nullptr;
  for (;;) {
    size_t dot = code.find('.');
    int n = ReadNumber(code.substr(0, dot));
    node = db_.quotations.GetChildAt(node, n - 1);
    if (!node) return nullptr;
    if (dot == std::string_view::npos) break;
    code.remove_prefix(dot + 1);
  }
  // A node whose own code was written otherwise is known by that code only.
  return oddNodes_.count(node) ? nullptr : node;
}

bool Loader::QuotationLine(char tag) {
  if (tag == 'Q') {
    std::string_view code, text;
    SplitNodeLine(lineBuffer_.substr(2), code, text);
    currentCode_ = code;
    if (CheckCode() < 1) return false;
    HTREEITEM node = InsertNode(db_.quotations, text);
    if (!IsCanonicalCode(code)) {
      oddCodes_.emplace(std::string(code), node);
      oddNodes_.insert(node);
    }
    return true;
  }
  if (tag == '@') {
    inCategories_ = true;
    StartSection();
    return true;
  }
  return Fail("Line does not begin with valid letter: ");
}

bool Loader::CategoryLine(char tag) {
  switch (tag) {
    case 'C': {
      FlushReferences();
      std::string_view code, text;
      SplitNodeLine(lineBuffer_.substr(2), code, text);
      currentCode_ = code;
      if (CheckCode() < 1) return false;
      db_.AttachRecord(InsertNode(db_.categories, text));
      return true;
    }
    case 'S': {
      // A file written by this program never has one before its first category.
      if (!last_) return Fail("Line comes before the first category: ");
      std::string_view entry = lineBuffer_.substr(2);
      db_.AppendSubjectUnsorted(last_, entry);
      return true;
    }
    case 'R': {
      if (!last_) return Fail("Line comes before the first category: ");
      std::string_view code, text;
      SplitNodeLine(lineBuffer_.substr(2), code, text);
      CategoryRecord* record = db_.Record(last_);
      HTREEITEM target = nullptr;
      const uint64_t key = defer_ ? KeyOf(code) : 0;
      if (key) {
        target = TagKey(key);
      } else {
        target = FindQuotation(code);
        // A dangling reference could never be saved or deleted safely.
        if (!target) return Fail("Reference to a missing quotation node: ");
      }
      pendingRecord_ = record;
      pendingTargets_.push_back(target);
      pendingTexts_.append(text);
      pendingEnds_.push_back(pendingTexts_.size());
      if (deferredRecords_.empty() || deferredRecords_.back() != record)
        deferredRecords_.push_back(record);
      return true;
    }
    default:
      return Fail("Line does not begin with valid letter: ");
  }
}

void Loader::FlushReferences() {
  if (!pendingRecord_) return;
  CategoryRecord& record = *pendingRecord_;
  record.referenceTargets.reserve(record.referenceTargets.size() + pendingTargets_.size());
  record.referenceTexts.reserve(record.referenceTexts.size() + pendingTargets_.size());
  size_t begin = 0;
  for (size_t i = 0; i < pendingTargets_.size(); ++i) {
    const std::string_view text(pendingTexts_.data() + begin, pendingEnds_[i] - begin);
    // The reference counts are raised once all targets are known.
    db_.AppendReference(record, pendingTargets_[i], text, /*counted=*/false);
    begin = pendingEnds_[i];
  }
  pendingRecord_ = nullptr;
  pendingTargets_.clear();
  pendingTexts_.clear();
  pendingEnds_.clear();
}

bool Loader::ResolveReferences() {
  Descent descent(db_.quotations);
  // Each walk that ends counts one reference at its target.
  auto done = [&](HTREEITEM& target, HTREEITEM node) {
    if (!node || (!oddNodes_.empty() && oddNodes_.count(node))) return false;
    target = node;
    node->data += 1;
    return true;
  };
  for (CategoryRecord* record : deferredRecords_) {
    for (HTREEITEM& target : record->referenceTargets) {
      if (!IsTagged(target)) {
        target->data += 1;  // found as it was read
        continue;
      }
      while (!descent.Start(target))
        if (!descent.Step(done)) return false;
    }
  }
  while (!descent.Idle())
    if (!descent.Step(done)) return false;
  return true;
}

LoadResult Loader::Run(const std::string& path) {
  db_.referenceTotal = 0;
  db_.subjectTotal = 0;
  db_.encoding = unmarked_;
  bool cannotReadExisting = false;
  int error = 0;
  const int fd = OpenRegularFile(path, error);
  if (fd < 0) {
    result_.status = error == ENOENT ? LoadResult::kMissing : LoadResult::kCannotOpen;
    result_.message = "Cannot open file " + path;
    // A missing file is a new database; anything else names its reason.
    if (error != ENOENT) result_.message += ": " + FileReason(error);
    // A file that exists but cannot be read must not be replaced by an empty
    // database at the next save.
    cannotReadExisting = error != ENOENT;
    db_.disk = cannotReadExisting ? FileStamp() : FileStamp::Missing();
    // A dictionary begun from nothing can hold any text.
    if (!cannotReadExisting) db_.disk.encoding = db_.encoding = Encoding::kUtf8;
  } else {
    // The stamp is of the file as it was before reading: a change made while
    // it is read must not pass for what was loaded.
    struct stat before;
    const bool statted = ::fstat(fd, &before) == 0;
    LineReader reader(fd, LineReader::Threads::kAsTheMachineHas, size_t{1} << 20,
                      unmarked_ == Encoding::kUtf8);
    StartSection();
    std::string_view line;
    bool going = true, utf8 = false;
    while (going && reader.ReadLogical(line)) {
      lineBuffer_ = line;
      lineNumber_ = reader.FirstLineNumber();
      // The mark is known once the first line is read.
      if (lineNumber_ == 1) utf8 = reader.Marked() || unmarked_ == Encoding::kUtf8;
      if (utf8 && !reader.KnownUtf8() && !IsValidUtf8(line))
        going = FailUnreadable();
      else if (line.empty() || line.front() != '@')
        going = Fail("Line does not start with '@': ");
      else
        going = inCategories_ ? CategoryLine(reader.Tag()) : QuotationLine(reader.Tag());
    }
    if (going && reader.Error()) {
      result_.status = LoadResult::kStopped;
      result_.message = "Cannot read file " + path + ": " + SystemReason(reader.Error());
      result_.line = reader.FirstLineNumber();
    }
    // The stamp covers the whole file, also past a line that stopped loading.
    if (!going) reader.Drain();
    db_.encoding = reader.Marked() ? Encoding::kUtf8 : unmarked_;
    result_.marked = reader.Marked();
    result_.looksLikeUtf8 = !reader.Error() && !reader.Marked() && unmarked_ != Encoding::kUtf8 &&
                            reader.LooksLikeUtf8();
    struct stat after;
    if (!reader.Error() && statted && ::fstat(fd, &after) == 0) {
      db_.disk = FileStamp::Of(before, reader.Sum());
      // Written to while it was read: what was read may be neither version,
      // so the next save treats the file as changed outside.
      if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
          after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        db_.disk.summed = false;
    } else {
      db_.disk = FileStamp();
    }
    db_.disk.encoding = db_.encoding;
    ::close(fd);
  }
  FlushReferences();
  // Deferring, the sort goes alongside the references' resolving.
  if (!defer_) db_.subjects.SortAppended();
  db_.partlyLoaded = result_.status == LoadResult::kStopped || cannotReadExisting;
  if (Reported(result_) && reporter_) reporter_->ReportLoadError(result_.message, result_.line);
  return result_;
}

}  // namespace

std::string NewDictionaryNotice(const std::string& folder) {
  return "This is a new dictionary: " + folder + " holds no " + kDatabaseFile +
         " yet. Add its first nodes with New Node; the first Save creates " +
         JoinPath(folder, kDatabaseFile) + ".";
}

std::string Utf8Notice(const std::string& path) {
  return path +
         " looks like UTF-8 text without the mark that tells Lorelist so: it is read as "
         "Windows-1252, so accented letters may show wrongly. lorelist-db convert --mark-utf8 "
         "FILE OUT marks it.";
}

LoadResult LoadDatabase(Database& db, const std::string& path, LoadReporter* reporter,
                        Encoding unmarked) {
  db.Clear();  // what the file holds, and nothing else
  {
    Loader loader(db, nullptr, true, unmarked);
    LoadResult result = loader.Run(path);
    bool resolved = false;
    db.subjects.SortAppended([&] { resolved = loader.ResolveReferences(); });
    if (resolved) {
      if (Reported(result) && reporter) reporter->ReportLoadError(result.message, result.line);
      return result;
    }
  }
  // A reference names a missing node: read again, resolving each reference
  // as it comes, to stop at its line with what came before it.
  db.Clear();
  Loader loader(db, reporter, false, unmarked);
  LoadResult result = loader.Run(path);
  loader.ResolveReferences();
  return result;
}

}  // namespace lorelist
