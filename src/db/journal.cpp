#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>

#include "code_check.h"
#include "edit_history.h"
#include "file_ops.h"
#include "save.h"

namespace lorelist {

namespace {

constexpr size_t kSumDigits = 16;
constexpr const char* kHeader = "Lorelist journal 1 ";

std::string Hex(uint64_t value) {
  char digits[kSumDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

uint64_t SumOf(std::string_view text) {
  Checksum sum;
  sum.Add(text.data(), text.size());
  return sum.Value();
}

std::string Header(const FileStamp& disk) {
  if (!disk.known) return std::string(kHeader) + "unknown";
  if (!disk.exists) return std::string(kHeader) + "missing";
  return kHeader + std::to_string(disk.size) + " " + Hex(disk.checksum);
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
}

bool Unescape(std::string_view in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i == in.size()) return false;
    switch (in[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

std::string CodeOf(HTREEITEM node) {
  return node ? NodeCode(node) : "-";
}

// The words of a record, read in order; the text, when there is one, is the
// rest of the line.
class Fields {
 public:
  explicit Fields(std::string_view record) : rest_(record) {}

  bool Word(std::string_view& word) {
    if (done_) return false;
    const size_t space = rest_.find(' ');
    word = rest_.substr(0, space);
    if (space == std::string_view::npos) {
      done_ = true;
      rest_ = {};
    } else {
      rest_.remove_prefix(space + 1);
    }
    return !word.empty();
  }
  bool Int(int& value) {
    std::string_view word;
    if (!Word(word)) return false;
    if (word == "end") {
      value = INT_MAX;
      return true;
    }
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size() && value >= 0;
  }
  bool WhichTree(Tree& tree) {
    std::string_view word;
    if (!Word(word) || (word != "Q" && word != "C")) return false;
    tree = word == "Q" ? Tree::kQuotations : Tree::kCategories;
    return true;
  }
  // A node by its code, or the top of the tree for "-" where allowed.
  bool Node(const TreeStore& tree, bool top, HTREEITEM& node) {
    std::string_view word;
    if (!Word(word)) return false;
    node = nullptr;
    if (word == "-") return top;
    while (!word.empty()) {
      const size_t dot = word.find('.');
      const std::string_view part = word.substr(0, dot);
      int number = 0;
      const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), number);
      if (error != std::errc() || end != part.data() + part.size() || number < 1 ||
          number > tree.GetChildCount(node))
        return false;
      node = tree.GetChildAt(node, number - 1);
      word = dot == std::string_view::npos ? std::string_view() : word.substr(dot + 1);
      if (dot != std::string_view::npos && word.empty()) return false;
    }
    return true;
  }
  bool Text(std::string& text) { return !done_ && Unescape(rest_, text); }
  bool AtEnd() const { return done_; }

 private:
  std::string_view rest_;
  bool done_ = false;
};

EditStep::Kind Inverse(EditStep::Kind kind) {
  switch (kind) {
    case EditStep::kInsert:
      return EditStep::kDelete;
    case EditStep::kDelete:
      return EditStep::kInsert;
    case EditStep::kAddReference:
      return EditStep::kDeleteReference;
    case EditStep::kDeleteReference:
      return EditStep::kAddReference;
    case EditStep::kAddSubject:
      return EditStep::kDeleteSubject;
    case EditStep::kDeleteSubject:
      return EditStep::kAddSubject;
    default:
      return kind;
  }
}

std::string Number(int value) {
  return value == INT_MAX ? "end" : std::to_string(value);
}

}  // namespace

std::string RestoreQuestion(size_t changes) {
  return "Lorelist was not closed normally. Restore the " + std::to_string(changes) +
         (changes == 1 ? " change" : " changes") + " made after the last save?";
}

std::string OtherFileMessage(const std::string& journalPath) {
  return "The recovery journal " + journalPath + " holds changes made to another version of " +
         kDatabaseFile + ", so they cannot be restored. It was set aside as " + kJournalAsideFile +
         ".";
}

std::string DamagedMessage(const std::string& journalPath, size_t restored) {
  return "The recovery journal " + journalPath + " is damaged after its first " +
         std::to_string(restored) + (restored == 1 ? " change" : " changes") +
         ": only those were restored.";
}

Journal::Journal(const std::string& folder)
    : folder_(folder), path_(JoinPath(folder, kJournalFile)) {}

Journal::~Journal() {
  if (fd_ >= 0) ::close(fd_);
}

// --- Writing -----------------------------------------------------------------

std::string Journal::Describe(const Database& db, const EditStep& step, bool forward) {
  const EditStep::Kind kind = forward ? step.kind : Inverse(step.kind);
  const std::string tree = step.tree == Tree::kQuotations ? " Q " : " C ";
  std::string record;
  switch (kind) {
    case EditStep::kInsert:
      record = "insert" + tree + CodeOf(step.parent) + " " + std::to_string(step.row) + " ";
      AppendEscaped(record, db.Of(step.tree).GetItemText(step.node));
      break;
    case EditStep::kDelete:
      record = "delete" + tree + CodeOf(step.parent) + " " + std::to_string(step.row);
      break;
    case EditStep::kUpdate:
      // Before it is applied, either way, the step holds the text to come.
      record = "update" + tree + CodeOf(step.node) + " ";
      AppendEscaped(record, step.text);
      break;
    case EditStep::kMove:
      record = "move" + tree + CodeOf(step.node) + " " +
               CodeOf(forward ? step.toParent : step.parent) + " " +
               std::to_string(forward ? step.toRow : step.row);
      break;
    case EditStep::kAddReference:
      record = "addref " + CodeOf(step.node) + " " + std::to_string(step.index) + " " +
               CodeOf(step.target) + " ";
      AppendEscaped(record, step.referenceText);
      break;
    case EditStep::kDeleteReference:
      record = "delref " + CodeOf(step.node) + " " + std::to_string(step.index);
      break;
    case EditStep::kAddSubject:
      record = "addsubj " + CodeOf(step.node) + " " + std::to_string(step.index) + " " +
               Number(step.line) + " ";
      AppendEscaped(record, step.text);
      break;
    case EditStep::kDeleteSubject:
      record = "delsubj " + CodeOf(step.node) + " " + std::to_string(step.index) + " " +
               Number(step.line);
      break;
  }
  return record;
}

void Journal::Fail(const std::string& reason) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  failed_ = true;
  if (toldFailure_) return;
  toldFailure_ = true;
  Tell("Cannot write the recovery journal " + path_ + ": " + reason +
       ". Editing and saving go on, but the changes made after the last save could not be "
       "restored after a crash.");
}

bool Journal::Start(const Database& db) {
  // No more open than the database itself.
  struct stat st;
  const std::string database = FollowLinks(JoinPath(folder_, kDatabaseFile));
  const mode_t mode = ::stat(database.c_str(), &st) == 0 ? (st.st_mode & 0666) : 0600;
  // Never over something already there: a journal kept from before is not
  // this run's to drop.
  fd_ = SystemFileOps().CreateNew(path_, mode);
  if (fd_ < 0) {
    const int error = errno;
    struct stat there;
    Fail(::lstat(path_.c_str(), &there) == 0 && S_ISDIR(there.st_mode) ? "Is a directory"
                                                                       : SystemReason(error));
    return false;
  }
  const std::string header = Header(db.disk);
  const std::string line = Hex(SumOf(header)) + " " + header + "\n";
  if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
      ::fdatasync(fd_) != 0) {
    Fail(SystemReason(errno));
    return false;
  }
  SystemFileOps().SyncDirectory(folder_);
  return true;
}

void Journal::Append(const Database& db, const std::string& record) {
  if (failed_) return;
  if (db.partlyLoaded) {
    if (!toldPartlyLoaded_) {
      toldPartlyLoaded_ = true;
      Tell(std::string(kDatabaseFile) +
           " was loaded only in part, so no recovery journal is kept: the changes made now could "
           "not be restored exactly after a crash.");
    }
    return;
  }
  if (fd_ < 0 && !Start(db)) return;
  const std::string line = Hex(SumOf(record)) + " " + record + "\n";
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(SystemReason(n < 0 ? errno : ENOSPC));
      return;
    }
    written += static_cast<size_t>(n);
  }
  if (::fdatasync(fd_) != 0) Fail(SystemReason(errno));
}

void Journal::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  failed_ = false;
  struct stat st;
  if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::unlink(path_.c_str());
    SystemFileOps().SyncDirectory(folder_);
  }
}

bool Journal::SetAside() {
  const std::string aside = JoinPath(folder_, kJournalAsideFile);
  if (::rename(path_.c_str(), aside.c_str()) != 0) {
    Fail("cannot rename it " + aside + ": " + SystemReason(errno));
    return false;
  }
  SystemFileOps().SyncDirectory(folder_);
  return true;
}

void Journal::Resume(const JournalContents& found, size_t records) {
  const uint64_t end = records == 0 ? found.headerEnd : found.ends[records - 1];
  fd_ = ::open(path_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(end)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0 ||
      ::fdatasync(fd_) != 0)
    Fail(SystemReason(errno));
}

// --- Reading -----------------------------------------------------------------

JournalContents Journal::Read(const std::string& path, const FileStamp& disk) {
  JournalContents found;
  std::string bytes;
  if (const int error = ReadRegularFile(path, bytes)) {
    if (error != ENOENT) {
      found.status = JournalContents::kUnreadable;
      found.reason = FileReason(error);
    }
    return found;
  }

  // Whole lines whose checksum holds; a line cut off or wrong at the very
  // end is what a crash leaves, anywhere before it is damage.
  std::vector<std::string> lines;
  std::vector<uint64_t> ends;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t newline = bytes.find('\n', at);
    if (newline == std::string::npos) break;  // torn
    const std::string_view line(bytes.data() + at, newline - at);
    at = newline + 1;
    const bool good = line.size() > kSumDigits && line[kSumDigits] == ' ' &&
                      Hex(SumOf(line.substr(kSumDigits + 1))) == line.substr(0, kSumDigits);
    if (!good) {
      found.damaged = at < bytes.size();
      break;
    }
    lines.emplace_back(line.substr(kSumDigits + 1));
    ends.push_back(at);
  }
  if (lines.empty()) {
    found.status = found.damaged ? JournalContents::kUnreadable : JournalContents::kNoEdits;
    found.reason = "its first line is damaged";
    return found;
  }
  if (lines.front() != Header(disk) || !disk.known) {
    found.status = JournalContents::kOtherFile;
    return found;
  }
  found.headerEnd = ends.front();
  found.records.assign(lines.begin() + 1, lines.end());
  found.ends.assign(ends.begin() + 1, ends.end());
  found.status = found.records.empty() ? JournalContents::kNoEdits : JournalContents::kApplies;
  return found;
}

// --- Replaying ---------------------------------------------------------------

namespace {

// A node that a delete may take: no nodes below it, nothing referring to it
// or kept in its record.
bool IsLeafWithNothing(const Database& db, Tree tree, HTREEITEM node) {
  const TreeStore& store = db.Of(tree);
  if (store.ItemHasChildren(node)) return false;
  if (tree == Tree::kQuotations) return store.GetItemData(node) == 0;
  const CategoryRecord* record = db.Record(node);
  return !record || (record->referenceTexts.empty() && record->subjectEntries.empty());
}

}  // namespace

bool Database::ReplayRecord(std::string_view record) {
  Fields fields(record);
  std::string_view kind;
  if (!fields.Word(kind)) return false;
  Tree tree = Tree::kCategories;
  HTREEITEM node = nullptr, parent = nullptr, target = nullptr;
  int row = 0, index = 0, line = 0;
  std::string text;

  if (kind == "insert" || kind == "delete" || kind == "update" || kind == "move") {
    if (!fields.WhichTree(tree)) return false;
    TreeStore& store = Of(tree);
    if (kind == "insert") {
      if (!fields.Node(store, true, parent) || !fields.Int(row) || !fields.Text(text) ||
          row > store.GetChildCount(parent) || (parent && store.GetLevel(parent) + 1 >= kMaxLevels))
        return false;
      node =
          store.InsertItem(text, parent, row == 0 ? TVI_FIRST : store.GetChildAt(parent, row - 1));
      if (tree == Tree::kCategories) AttachRecord(node);
      EditStep step{EditStep::kInsert, "New Node", tree, node};
      step.parent = parent;
      step.row = row;
      KeepStep(std::move(step), {tree, node, nullptr}, {});
      return true;
    }
    if (kind == "delete") {
      if (!fields.Node(store, true, parent) || !fields.Int(row) || !fields.AtEnd() ||
          row >= store.GetChildCount(parent))
        return false;
      node = store.GetChildAt(parent, row);
      if (!IsLeafWithNothing(*this, tree, node)) return false;
      EditStep step{EditStep::kDelete, "Delete Node", tree, node};
      step.parent = parent;
      step.row = row;
      Perform(std::move(step));
      return true;
    }
    if (kind == "update") {
      if (!fields.Node(store, false, node) || !fields.Text(text)) return false;
      EditStep step{EditStep::kUpdate, "Update Node", tree, node};
      step.text = std::move(text);
      Perform(std::move(step));
      return true;
    }
    // A move, as the editor's own refuses and clamps it.
    if (!fields.Node(store, false, node) || !fields.Node(store, true, parent) || !fields.Int(row) ||
        !fields.AtEnd())
      return false;
    const size_t before = UndoCount();
    return MoveNode(tree, node, parent, row, "Move Node").empty() && UndoCount() == before + 1;
  }

  if (!fields.Node(categories, false, node)) return false;
  CategoryRecord& entries = *Record(node);
  if (kind == "addref" || kind == "delref") {
    if (!fields.Int(index)) return false;
    EditStep step{kind == "addref" ? EditStep::kAddReference : EditStep::kDeleteReference,
                  kind == "addref" ? "Add Reference" : "Delete Reference", Tree::kCategories, node};
    step.index = index;
    if (kind == "addref") {
      if (!fields.Node(quotations, false, target) || !fields.Text(text) ||
          static_cast<size_t>(index) > entries.referenceTargets.size())
        return false;
      step.target = target;
      step.referenceText = StoreText(text);
    } else {
      if (!fields.AtEnd() || static_cast<size_t>(index) >= entries.referenceTargets.size())
        return false;
      step.target = entries.referenceTargets[static_cast<size_t>(index)];
      step.referenceText = entries.referenceTexts[static_cast<size_t>(index)];
    }
    Perform(std::move(step));
    return true;
  }
  if (kind == "addsubj" || kind == "delsubj") {
    if (!fields.Int(index) || !fields.Int(line)) return false;
    EditStep step{kind == "addsubj" ? EditStep::kAddSubject : EditStep::kDeleteSubject,
                  kind == "addsubj" ? "Add Subject" : "Delete Subject", Tree::kCategories, node};
    step.index = index;
    if (kind == "addsubj") {
      if (!fields.Text(text) || static_cast<size_t>(index) > entries.subjectEntries.size())
        return false;
      step.text = std::move(text);
      step.line = line;
    } else {
      if (!fields.AtEnd() || static_cast<size_t>(index) >= entries.subjectEntries.size())
        return false;
      step.text = entries.subjectEntries[static_cast<size_t>(index)];
      // The line it names, if it holds this entry; else the entry's own.
      const bool holds = line < subjects.GetCount() && subjects.GetItemData(line) == node &&
                         subjects.GetLBText(line) == step.text;
      step.line = holds ? line : subjects.Find(step.text, node);
      if (step.line < 0) return false;
    }
    Perform(std::move(step));
    return true;
  }
  return false;
}

size_t Journal::Recover(Database& db, const std::function<bool(size_t)>& restore) {
  if (db.partlyLoaded) return 0;
  const JournalContents found = Read(path_, db.disk);
  switch (found.status) {
    case JournalContents::kNone:
    case JournalContents::kUnreadable:  // writing one will say why it cannot
      return 0;
    case JournalContents::kNoEdits:
      Discard();
      return 0;
    case JournalContents::kOtherFile:
      if (SetAside()) Tell(OtherFileMessage(path_));
      return 0;
    case JournalContents::kApplies:
      break;
  }
  if (!restore(found.records.size())) {
    SetAside();
    return 0;
  }
  Journal* attached = db.GetJournal();
  db.SetJournal(nullptr);  // the records are in the journal already
  const size_t made = Replay(db, found.records);
  db.SetJournal(attached);
  Resume(found, made);
  if (made < found.records.size() || found.damaged) Tell(DamagedMessage(path_, made));
  return made;
}

size_t Journal::Replay(Database& db, const std::vector<std::string>& records) {
  size_t made = 0;
  for (const std::string& record : records) {
    if (!db.ReplayRecord(record)) break;
    ++made;
  }
  return made;
}

}  // namespace lorelist
