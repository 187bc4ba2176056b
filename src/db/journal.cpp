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

// A record's checksum: this version's, or the previous version's for a
// journal it left.
uint64_t SumOf(std::string_view text, bool previous = false) {
  if (!previous) return Checksum::Of(text.data(), text.size());
  PreviousChecksum sum;
  sum.Add(text.data(), text.size());
  return sum.Value();
}

bool Checks(std::string_view line, bool previous) {
  return line.size() > kSumDigits && line[kSumDigits] == ' ' &&
         Hex(SumOf(line.substr(kSumDigits + 1), previous)) == line.substr(0, kSumDigits);
}

// The first record: the file as loaded, and for UTF-8 the encoding, so that
// no journal is ever replayed into a dictionary of the other.
std::string Header(const FileStamp& disk, Encoding encoding) {
  std::string header = kHeader;
  if (!disk.known)
    header += "unknown";
  else if (!disk.exists)
    header += "missing";
  else
    header += std::to_string(disk.size) + " " + Hex(disk.checksum);
  if (encoding == Encoding::kUtf8) header += " utf-8";
  return header;
}

// The first record the previous version wrote for the file stamped so,
// which is at `database`: its checksum by that version's function. Empty when
// the file there no longer holds the bytes the stamp describes.
std::string PreviousHeader(const FileStamp& disk, const std::string& database) {
  if (!disk.known || !disk.exists) return Header(disk, Encoding::kWindows1252);
  std::string bytes;
  if (ReadRegularFile(database, bytes) != 0 || bytes.size() != disk.size ||
      Checksum::Of(bytes.data(), bytes.size()) != disk.checksum)
    return {};
  PreviousChecksum sum;
  sum.Add(bytes.data(), bytes.size());
  return kHeader + std::to_string(disk.size) + " " + Hex(sum.Value());
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
  std::string_view Rest() const { return done_ ? std::string_view() : rest_; }
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

std::string OtherFileMessage(const std::string& journalPath, const std::string& asidePath) {
  return "The recovery journal " + journalPath + " holds changes made to another version of " +
         kDatabaseFile + ", so they cannot be restored. It was set aside as " + asidePath + ".";
}

std::string DamagedMessage(const std::string& journalPath, size_t restored,
                           const std::string& asidePath) {
  std::string message = "The recovery journal " + journalPath + " is damaged after its first " +
                        std::to_string(restored) + (restored == 1 ? " change" : " changes") +
                        ": only those were restored.";
  if (!asidePath.empty()) message += " The whole journal was kept as " + asidePath + ".";
  return message;
}

std::string PartlyLoadedMessage(const std::string& journalPath, const std::string& asidePath) {
  return std::string(kDatabaseFile) + " was loaded only in part, so the changes in the recovery " +
         "journal " + journalPath + " cannot be restored on it. The journal was set aside as " +
         asidePath + ".";
}

std::string UnreadableMessage(const std::string& journalPath, const std::string& reason,
                              const std::string& asidePath) {
  return "The recovery journal " + journalPath + " cannot be read (" + reason +
         "), so no changes can be restored from it. It was set aside as " + asidePath + ".";
}

std::string LeftBehindMessage(const std::string& journalPath, const std::string& asidePath) {
  return "The other Lorelist window on this folder was not closed normally and left the "
         "recovery journal " +
         journalPath + ". It was set aside as " + asidePath +
         " (lorelist-db recover can still apply it), and this window's edits are journalled "
         "from now on.";
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
    case EditStep::kConvert: {
      const auto to = static_cast<Encoding>(step.line);
      record =
          std::string("encode ") + EncodingName(forward                 ? to
                                                : to == Encoding::kUtf8 ? Encoding::kWindows1252
                                                                        : Encoding::kUtf8);
      break;
    }
    case EditStep::kGroup:
      record = GroupRecord(step);  // its steps are described one by one
      break;
  }
  return record;
}

void Journal::Fail(const std::string& reason) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  failed_ = true;
  // Once for each run of failures: a write that works, or a save, ends it.
  if (toldFailure_) return;
  toldFailure_ = true;
  Tell("Cannot write the recovery journal " + path_ + ": " + reason +
       ". Editing and saving go on, but the changes made after the last save could not be "
       "restored after a crash.");
}

void Journal::Own(int fd) {
  struct stat st;
  owned_ = ::fstat(fd, &st) == 0;
  device_ = st.st_dev;
  inode_ = st.st_ino;
}

std::string Journal::Line(std::string_view record, bool previous) {
  return Hex(SumOf(record, previous)) + " " + std::string(record) + "\n";
}

std::string Journal::HeaderFor(const FileStamp& disk, Encoding encoding) {
  return Header(disk, encoding);
}

bool Journal::WriteLines(const std::vector<std::string>& records) {
  // All of them, and one sync: a group is on disk whole or torn at its end.
  std::string line;
  for (const std::string& record : records) line += Line(record, previous_);
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(SystemReason(n < 0 ? errno : ENOSPC));
      return false;
    }
    written += static_cast<size_t>(n);
  }
  if (::fdatasync(fd_) != 0) {
    Fail(SystemReason(errno));
    return false;
  }
  toldFailure_ = false;
  return true;
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
  Own(fd_);
  previous_ = false;
  if (!WriteLines({Header(db.disk, db.disk.encoding)})) return false;
  SystemFileOps().SyncDirectory(folder_);
  return true;
}

void Journal::Append(const Database& db, const std::string& record) {
  Append(db, std::vector<std::string>{record});
}

void Journal::Append(const Database& db, const std::vector<std::string>& records) {
  if (grouping_) {
    group_.insert(group_.end(), records.begin(), records.end());
    return;
  }
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
  if (alone_) {
    waiting_.insert(waiting_.end(), records.begin(), records.end());
    if (!alone_()) return;
    alone_ = nullptr;
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0) {
      const std::string aside = SetAside();
      if (aside.empty()) return;
      Tell(LeftBehindMessage(path_, aside));
    }
    const std::vector<std::string> kept = std::move(waiting_);
    waiting_.clear();
    if (Start(db)) WriteLines(kept);
    return;
  }
  if (fd_ < 0 && !Start(db)) return;
  WriteLines(records);
}

void Journal::BeginGroup() {
  grouping_ = true;
  group_.clear();
}

void Journal::EndGroup(const Database& db, const EditStep* group) {
  grouping_ = false;
  std::vector<std::string> records = std::move(group_);
  group_.clear();
  if (!group) return;
  records.insert(records.begin(), GroupRecord(*group));
  Append(db, records);
}

void Journal::CancelGroup() {
  grouping_ = false;
  group_.clear();
}

std::string Journal::GroupRecord(const EditStep& group) {
  return "group " + std::to_string(group.steps.size()) + " " + group.name;
}

void Journal::Discard() {
  waiting_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  failed_ = false;
  toldFailure_ = false;
  if (!owned_) return;
  owned_ = false;
  // Only the very file this window wrote: whatever else has the name now
  // is somebody else's.
  struct stat st;
  if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == device_ &&
      st.st_ino == inode_) {
    ::unlink(path_.c_str());
    SystemFileOps().SyncDirectory(folder_);
  }
}

std::string Journal::SetAside() {
  for (int n = 0;; ++n) {
    const std::string aside =
        JoinPath(folder_, n == 0 ? std::string(kJournalAsideFile)
                                 : "LorJournal." + std::to_string(n) + ".old");
    if (RenameNoReplace(path_, aside) == 0) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = -1;
      owned_ = false;
      SystemFileOps().SyncDirectory(folder_);
      return aside;
    }
    if (errno != EEXIST || n == 1000) {
      Fail("cannot rename it " + aside + ": " + SystemReason(errno));
      return {};
    }
  }
}

void Journal::Resume(const JournalContents& found, size_t records) {
  const uint64_t end = records == 0 ? found.headerEnd : found.ends[records - 1];
  fd_ = ::open(path_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(end)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0 ||
      ::fdatasync(fd_) != 0) {
    Fail(SystemReason(errno));
    return;
  }
  Own(fd_);
  // Its lines go on being checked as it began.
  previous_ = found.previous;
}

// --- Reading -----------------------------------------------------------------

JournalContents Journal::Read(const std::string& path, const Database& db,
                              const std::string& database) {
  const FileStamp& disk = db.disk;
  JournalContents found;
  std::string bytes;
  if (const int error = ReadRegularFile(path, bytes)) {
    if (error != ENOENT) {
      found.status = JournalContents::kUnreadable;
      found.reason = FileReason(error);
    }
    return found;
  }
  found.size = bytes.size();

  // Whole lines whose checksum holds; a line cut off or wrong at the very
  // end is what a crash leaves, anywhere before it is damage.
  // A journal whose first line checks with the previous version's function
  // is that version's, and all its lines are checked so.
  const std::string_view first(bytes.data(), std::min(bytes.find('\n'), bytes.size()));
  found.previous = !Checks(first, false) && Checks(first, true) &&
                   first.substr(kSumDigits + 1).starts_with(kHeader);
  std::vector<std::string> lines;
  std::vector<uint64_t> ends;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t newline = bytes.find('\n', at);
    if (newline == std::string::npos) break;  // torn
    const std::string_view line(bytes.data() + at, newline - at);
    at = newline + 1;
    if (!Checks(line, found.previous)) {
      found.damaged = at < bytes.size();
      break;
    }
    lines.emplace_back(line.substr(kSumDigits + 1));
    ends.push_back(at);
  }
  // A first line that names a journal but fails its checksum was written by
  // another version of the program, whose checksum was not this one.
  if (lines.empty() && bytes.size() > kSumDigits + 1 &&
      std::string_view(bytes).substr(kSumDigits + 1).starts_with(kHeader)) {
    found.status = JournalContents::kOtherFile;
    return found;
  }
  if (lines.empty() || !lines.front().starts_with(kHeader)) {
    found.status = JournalContents::kNotAJournal;
    found.reason = bytes.empty()                    ? "it is empty"
                   : lines.empty() && found.damaged ? "its first line is damaged"
                                                    : "it is not a recovery journal";
    return found;
  }
  // The previous version knew Windows-1252 alone.
  const std::string header =
      found.previous ? PreviousHeader(disk, database) : Header(disk, disk.encoding);
  if (found.previous && disk.encoding != Encoding::kWindows1252) {
    found.status = JournalContents::kOtherFile;
    return found;
  }
  if (lines.front() != header || !disk.known) {
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

// Makes a change again through the database's own edits. restored: the
// change puts back what the database held (an undo or a redo).
// The name of a group edit as the database knows it; nullptr for none.
const char* GroupName(std::string_view name) {
  for (const char* known : Database::kGroupEdits)
    if (name == known) return known;
  return nullptr;
}

bool MakeChange(Database& db, std::string_view change, bool restored) {
  Fields fields(change);
  std::string_view kind;
  if (!fields.Word(kind)) return false;
  HTREEITEM node = nullptr, parent = nullptr, target = nullptr;
  int row = 0, index = 0, line = 0;
  std::string bytes;
  auto text = [&] {
    EditText made(std::move(bytes));
    made.restored = restored;
    return made;
  };

  if (kind == "encode") {
    std::string_view name;
    if (!fields.Word(name) || !fields.AtEnd()) return false;
    for (const Encoding to : {Encoding::kWindows1252, Encoding::kUtf8})
      if (name == EncodingName(to)) return db.ConvertEncoding(to).empty();
    return false;
  }
  if (kind == "insert" || kind == "delete" || kind == "update" || kind == "move") {
    Tree tree;
    if (!fields.WhichTree(tree)) return false;
    const TreeStore& store = db.Of(tree);
    if (kind == "insert")
      return fields.Node(store, true, parent) && fields.Int(row) && fields.Text(bytes) &&
             db.InsertNodeAt(tree, parent, row, text()).empty();
    if (kind == "delete")
      return fields.Node(store, true, parent) && fields.Int(row) && fields.AtEnd() &&
             row < store.GetChildCount(parent) &&
             db.DeleteNode(tree, store.GetChildAt(parent, row)).empty();
    if (kind == "update")
      return fields.Node(store, false, node) && fields.Text(bytes) &&
             db.UpdateText(tree, node, text()).empty();
    // A move that changes nothing was never journalled as one.
    if (!fields.Node(store, false, node) || !fields.Node(store, true, parent) || !fields.Int(row) ||
        !fields.AtEnd())
      return false;
    const size_t before = db.UndoCount();
    return db.MoveNode(tree, node, parent, row).empty() && db.UndoCount() == before + 1;
  }

  if (!fields.Node(db.categories, false, node) || !fields.Int(index)) return false;
  const CategoryRecord& record = *db.Record(node);
  if (kind == "addref")
    return fields.Node(db.quotations, false, target) && fields.Text(bytes) &&
           db.AddReference(node, target, text(), index).empty();
  if (kind == "delref") return fields.AtEnd() && db.DeleteReference(node, index).empty();
  if (!fields.Int(line)) return false;
  if (kind == "addsubj")
    return fields.Text(bytes) && db.AddSubject(node, text(), index, line).empty();
  if (kind == "delsubj")
    return fields.AtEnd() && static_cast<size_t>(index) < record.subjectEntries.size() &&
           db.DeleteSubject(node, record.subjectEntries[static_cast<size_t>(index)], index, line)
               .empty();
  return false;
}

}  // namespace

bool Journal::ReplayRecord(Database& db, std::string_view record) {
  for (const bool forward : {false, true}) {
    const std::string_view mark = forward ? "redo " : "undo ";
    if (!record.starts_with(mark)) continue;
    const std::string_view change = record.substr(mark.size());
    // Within the journal's own edits, undo and redo take their step as the
    // editor did; past a save, the step is not there, and what the database
    // held is put back as a change.
    const EditHistory& history = *db.history_;
    if ((forward ? history.CanRedo() : history.CanUndo()) &&
        Describe(db, forward ? history.NextRedo() : history.NextUndo(), forward) == change)
      return forward ? db.Redo() : db.Undo();
    return MakeChange(db, change, true);
  }
  return MakeChange(db, record, false);
}

size_t Journal::ReplayGroup(Database& db, const std::vector<std::string>& records, size_t at) {
  std::string_view first = records[at];
  std::string_view mark;
  for (const std::string_view undoOrRedo : {"undo ", "redo "})
    if (first.starts_with(undoOrRedo)) mark = undoOrRedo;
  first.remove_prefix(mark.size());
  Fields fields(first);
  std::string_view word;
  int count = 0;
  if (!fields.Word(word) || word != "group" || !fields.Int(count) || count == INT_MAX) return 0;
  const char* name = GroupName(fields.Rest());
  if (!name || records.size() - at - 1 < static_cast<size_t>(count)) return 0;
  // Within the journal's own edits an undo or a redo takes its step as the
  // editor did; past a save it puts back, as one group, what it changed.
  if (!mark.empty()) {
    const bool forward = mark == "redo ";
    const EditHistory& history = *db.history_;
    if (forward ? history.CanRedo() : history.CanUndo()) {
      const EditStep& step = forward ? history.NextRedo() : history.NextUndo();
      if (step.kind == EditStep::kGroup && GroupRecord(step) == first) {
        forward ? db.Redo() : db.Undo();
        return static_cast<size_t>(count) + 1;
      }
    }
  }
  db.BeginGroup(name);
  for (int i = 1; i <= count; ++i) {
    const std::string& record = records[at + static_cast<size_t>(i)];
    if (!(mark.empty() ? ReplayRecord(db, record) : MakeChange(db, record, true))) {
      db.CancelGroup();
      return 0;
    }
  }
  db.EndGroup();
  return static_cast<size_t>(count) + 1;
}

bool Journal::TornGroup(const std::vector<std::string>& records, size_t at) {
  if (at >= records.size()) return false;
  std::string_view first = records[at];
  for (const std::string_view mark : {"undo ", "redo "})
    if (first.starts_with(mark)) first.remove_prefix(mark.size());
  Fields fields(first);
  std::string_view word;
  int count = 0;
  return fields.Word(word) && word == "group" && fields.Int(count) &&
         records.size() - at - 1 < static_cast<size_t>(count);
}

size_t Journal::Replay(Database& db, const std::vector<std::string>& records) {
  size_t made = 0;
  while (made < records.size()) {
    const std::string_view record = records[made];
    const bool group = record.starts_with("group ") || record.starts_with("undo group ") ||
                       record.starts_with("redo group ");
    const size_t took = group ? ReplayGroup(db, records, made) : ReplayRecord(db, record) ? 1 : 0;
    if (took == 0) break;
    made += took;
  }
  return made;
}

size_t Journal::Recover(Database& db, const std::function<bool(size_t)>& restore) {
  const JournalContents found = Read(path_, db, FollowLinks(JoinPath(folder_, kDatabaseFile)));
  auto setAside = [this](auto message) {
    const std::string aside = SetAside();
    if (!aside.empty()) Tell(message(aside));
  };
  switch (found.status) {
    case JournalContents::kNone:
      return 0;
    case JournalContents::kUnreadable: {
      // A folder of that name, say, is not a journal to move: writing one
      // will say why it cannot.
      struct stat st;
      if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        setAside([&](const std::string& aside) {
          return UnreadableMessage(path_, found.reason, aside);
        });
      return 0;
    }
    case JournalContents::kNotAJournal:
      if (found.size == 0) {
        ::unlink(path_.c_str());  // holds nothing at all
        return 0;
      }
      setAside(
          [&](const std::string& aside) { return UnreadableMessage(path_, found.reason, aside); });
      return 0;
    case JournalContents::kNoEdits:
      ::unlink(path_.c_str());  // a first line and nothing after it
      return 0;
    case JournalContents::kOtherFile:
      setAside([&](const std::string& aside) { return OtherFileMessage(path_, aside); });
      return 0;
    case JournalContents::kApplies:
      break;
  }
  // Replayed on less than the whole file, its edits would land elsewhere.
  if (db.partlyLoaded) {
    setAside([&](const std::string& aside) { return PartlyLoadedMessage(path_, aside); });
    return 0;
  }
  if (!restore(found.records.size())) {
    SetAside();
    return 0;
  }
  Journal* attached = db.GetJournal();
  db.SetJournal(nullptr);  // the records are in the journal already
  const size_t made = Replay(db, found.records);
  db.SetJournal(attached);
  // A group whose last records the crash cut off is torn, as a last line
  // can be: it was never made.
  if ((made == found.records.size() || TornGroup(found.records, made)) && !found.damaged) {
    Resume(found, made);
    return made;
  }
  // The edits after the first that did not fit stay on disk, whole, beside
  // a journal of those that were restored.
  const std::string aside = SetAside();
  if (aside.empty()) return made;
  Tell(DamagedMessage(path_, made, aside));
  if (Start(db))
    WriteLines(std::vector<std::string>(found.records.begin(),
                                        found.records.begin() + static_cast<ptrdiff_t>(made)));
  return made;
}

}  // namespace lorelist
