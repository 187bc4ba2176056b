#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"

namespace lorelist {

constexpr const char* kJournalFile = "LorJournal.BK!";
constexpr const char* kJournalAsideFile = "LorJournal.old";

struct EditStep;

// What a journal found at start holds, read against the file as loaded.
struct JournalContents {
  enum Status {
    kNone,         // no journal
    kNoEdits,      // a journal of this file without one whole edit in it
    kApplies,      // edits made on the file as loaded
    kOtherFile,    // made on another version of the file: never replayed
    kNotAJournal,  // readable, but no journal's first line starts it
    kUnreadable,   // something of that name that cannot be read
  };
  Status status = kNone;
  // The edits in order, and where each one's line ends in the journal.
  std::vector<std::string> records;
  std::vector<uint64_t> ends;
  uint64_t headerEnd = 0;
  uint64_t size = 0;  // of the whole file
  // A record before the last line is damaged: the edits stop before it. (A
  // torn last line is what a crash leaves, and is simply not an edit.)
  bool damaged = false;
  std::string reason;  // kNotAJournal, kUnreadable: why
  // Written by the version before this one, whose checksum was another.
  bool previous = false;
};

// "Lorelist was not closed normally. Restore the N changes made after the
// last save?"
std::string RestoreQuestion(size_t changes);
// What the user is told of a journal that was not replayed whole; each
// names the journal and, where it was set aside, its new path.
std::string OtherFileMessage(const std::string& journalPath, const std::string& asidePath);
std::string DamagedMessage(const std::string& journalPath, size_t restored,
                           const std::string& asidePath = {});
std::string PartlyLoadedMessage(const std::string& journalPath, const std::string& asidePath);
std::string UnreadableMessage(const std::string& journalPath, const std::string& reason,
                              const std::string& asidePath);
std::string LeftBehindMessage(const std::string& journalPath, const std::string& asidePath);

// The recovery journal: every edit made since the last save (undo and redo
// included), appended as one line and flushed to disk before the edit
// returns, so that a crash loses no edit the user saw done.
//
// Plain text, one record a line, each line "<16 hex digits> <record>" where
// the digits are a checksum of the record: a torn or damaged line is known.
// The first record names the file the edits apply to, and the encoding of a
// UTF-8 dictionary:
//   Lorelist journal 1 <size> <checksum>      (or "... 1 missing"; "... utf-8")
// then one per change, in the form that makes it again; nodes by their codes
// at that moment ("-" for the top of a tree), texts with \\ \n \r escaped:
//   insert Q|C <parent> <row> <text>          delete Q|C <parent> <row>
//   update Q|C <node> <text>                  move Q|C <node> <parent> <row>
//   addref <category> <index> <quotation> <text>      delref <category> <index>
//   addsubj <category> <index> <line> <entry>         delsubj <category> <index> <line>
//   encode utf-8|windows-1252
// A group of edits made as one ("Merge") is its first record, then those of
// its edits: "group <count> <name>" and the count of records after it.
// An undo or a redo is written as the change it makes, after "undo " or
// "redo ": undoing a new node is "undo delete ...".
//
// A journal belongs to the window that wrote it, or adopted it at start;
// only that window removes it. Any other one found is offered or set aside,
// never thrown away.
class Journal {
 public:
  // The journal of the database file in folder.
  explicit Journal(const std::string& folder);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& Path() const { return path_; }
  // Gets what the user should be told: a journal that cannot be written, a
  // database loaded in part, a journal set aside.
  void SetMessageHook(std::function<void(const std::string&)> hook) { tell_ = std::move(hook); }

  // At start, on the database as loaded: a journal of edits for this very
  // file, loaded whole, is offered through `restore` (given the number of
  // edits; true: restore them), replayed and gone on from, or set aside; any
  // other one is set aside with a message (an empty one, or one without
  // edits, holds nothing and is removed). Returns the number of edits
  // restored.
  size_t Recover(Database& db, const std::function<bool(size_t)>& restore);

  // Reads a journal against the dictionary as loaded, which it should
  // apply to; database: where its file is (read again only for a journal of
  // the previous version, whose first record sums it another way).
  static JournalContents Read(const std::string& path, const Database& db,
                              const std::string& database = {});
  // Makes the records' edits again, in order, through the database's own
  // edits, undo and redo, with their refusals (the database must not write a
  // journal meanwhile); stops at the first that does not fit or is refused.
  // Returns how many were made.
  static size_t Replay(Database& db, const std::vector<std::string>& records);

  // Goes on after the first `records` edits of what Read found: the rest of
  // the file is cut away and new edits follow. The journal is this window's.
  void Resume(const JournalContents& found, size_t records);
  // Renames the journal to the first free name of "LorJournal.old",
  // "LorJournal.1.old", ...: never over one set aside before. Returns the
  // new path; empty, having told why, when it could not be renamed.
  std::string SetAside();
  // Removes the journal this window wrote or adopted: its edits were saved,
  // or given up. Anything else of that name stays.
  void Discard();

  // For a window that shares its folder with another, which keeps the
  // journal: its records wait in memory while `alone` says the other is
  // there. At the first edit after it has gone, the journal starts with
  // every record kept since the last save; one that a window which was not
  // closed normally left is set aside first, and told.
  void WaitForFolder(std::function<bool()> alone) { alone_ = std::move(alone); }

  // A record as the journal holds it, on its line with its checksum; the
  // first record of a journal of the file stamped so.
  static std::string Line(std::string_view record, bool previous = false);
  static std::string HeaderFor(const FileStamp& disk, Encoding encoding);

  // The line that makes the step again, forward or backward, in the
  // database as it is before the step.
  static std::string Describe(const Database& db, const EditStep& step, bool forward);
  // Writes a record described before its step, and flushes it; several
  // records (an undo or redo of a group) are written and flushed as one.
  void Append(const Database& db, const std::string& record);
  void Append(const Database& db, const std::vector<std::string>& records);
  // The records of a group's edits are kept until it ends, then written
  // after their group's first record, all at once: a crash leaves all of
  // them or a torn group, which is not replayed. group: what the history
  // made of them (nullptr: nothing).
  void BeginGroup();
  void EndGroup(const Database& db, const EditStep* group);
  void CancelGroup();
  // "group <count> <name>": the first record of a group.
  static std::string GroupRecord(const EditStep& group);

 private:
  bool Start(const Database& db);
  bool WriteLines(const std::vector<std::string>& records);
  void Fail(const std::string& reason);
  void Own(int fd);
  void Tell(const std::string& message) {
    if (tell_) tell_(message);
  }
  // One record's edit, made again; false when it does not fit or is refused.
  static bool ReplayRecord(Database& db, std::string_view record);
  // The group whose first record is records[at], made again as one edit:
  // the number of records it took, 0 when it does not fit or is refused.
  static size_t ReplayGroup(Database& db, const std::vector<std::string>& records, size_t at);
  // True when records[at] starts a group that has fewer records after it
  // than it names: the journal was cut within it.
  static bool TornGroup(const std::vector<std::string>& records, size_t at);

  std::string folder_;
  std::string path_;
  int fd_ = -1;
  // The file this window wrote or adopted, by its identity.
  bool owned_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool previous_ = false;     // checked as the previous version checked its lines
  bool failed_ = false;       // no more records until the journal starts afresh
  bool toldFailure_ = false;  // this run of failures was told
  bool toldPartlyLoaded_ = false;
  std::function<void(const std::string&)> tell_;
  std::function<bool()> alone_;
  bool grouping_ = false;
  std::vector<std::string> group_;    // the records of the group under way
  std::vector<std::string> waiting_;  // records made while not alone
};

}  // namespace lorelist
