#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database.h"

namespace lorelist {

constexpr const char* kJournalFile = "LorJournal.BK!";
constexpr const char* kJournalAsideFile = "LorJournal.old";

struct EditStep;

// What a journal found at start holds, read against the file as loaded.
struct JournalContents {
  enum Status {
    kNone,        // no journal
    kNoEdits,     // a journal without one whole edit in it
    kApplies,     // edits made on the file as loaded
    kOtherFile,   // made on another version of the file: never replayed
    kUnreadable,  // something of that name that cannot be read as a journal
  };
  Status status = kNone;
  // The edits in order, and where each one's line ends in the journal.
  std::vector<std::string> records;
  std::vector<uint64_t> ends;
  uint64_t headerEnd = 0;
  // A record before the last line is damaged: the edits stop before it. (A
  // torn last line is what a crash leaves, and is simply not an edit.)
  bool damaged = false;
  std::string reason;  // kUnreadable: why
};

// "Lorelist was not closed normally. Restore the N changes made after the
// last save?"
std::string RestoreQuestion(size_t changes);
std::string OtherFileMessage(const std::string& journalPath);
std::string DamagedMessage(const std::string& journalPath, size_t restored);

// The recovery journal: every edit made since the last save (undo and redo
// included), appended as one line and flushed to disk before the edit
// returns, so that a crash loses no edit the user saw done.
//
// Plain text, one record a line, each line "<16 hex digits> <record>" where
// the digits are a checksum of the record: a torn or damaged line is known.
// The first record names the file the edits apply to:
//   Lorelist journal 1 <size> <checksum>      (or "... 1 missing")
// then one per change, in the form that makes it again; nodes by their codes
// at that moment ("-" for the top of a tree), texts with \\ \n \r escaped:
//   insert Q|C <parent> <row> <text>          delete Q|C <parent> <row>
//   update Q|C <node> <text>                  move Q|C <node> <parent> <row>
//   addref <category> <index> <quotation> <text>      delref <category> <index>
//   addsubj <category> <index> <line> <entry>         delsubj <category> <index> <line>
// An undo is written as the change it makes: undoing a new node is a delete.
class Journal {
 public:
  // The journal of the database file in folder.
  explicit Journal(const std::string& folder);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& Path() const { return path_; }
  // Gets what the user should be told: a journal that cannot be written, a
  // database loaded in part; each once.
  void SetMessageHook(std::function<void(const std::string&)> hook) { tell_ = std::move(hook); }

  // At start, on the database as loaded: a journal of edits for this very
  // file is offered through `restore` (given the number of edits; true:
  // restore them), replayed and gone on from, or set aside; one for another
  // version of the file is set aside with a message; one without edits is
  // removed. Returns the number of edits restored. Nothing is done for a
  // database loaded in part, which no journal can be replayed on exactly.
  size_t Recover(Database& db, const std::function<bool(size_t)>& restore);

  // Reads a journal against the file it should apply to.
  static JournalContents Read(const std::string& path, const FileStamp& disk);
  // Makes the records' edits again, in order, as edits of the database
  // (which must not write a journal meanwhile); stops at the first that does
  // not fit the database. Returns how many were made.
  static size_t Replay(Database& db, const std::vector<std::string>& records);

  // Goes on after the first `records` edits of what Read found: the rest of
  // the file is cut away and new edits follow.
  void Resume(const JournalContents& found, size_t records);
  // Renames the journal "LorJournal.old", replacing an older one.
  bool SetAside();
  // Removes the journal: its edits were saved, or given up.
  void Discard();

  // The line that makes the step again, forward or backward, in the
  // database as it is before the step.
  static std::string Describe(const Database& db, const EditStep& step, bool forward);
  // Writes a record described before its step, and flushes it.
  void Append(const Database& db, const std::string& record);

 private:
  bool Start(const Database& db);
  void Fail(const std::string& reason);
  void Tell(const std::string& message) {
    if (tell_) tell_(message);
  }

  std::string folder_;
  std::string path_;
  int fd_ = -1;
  bool failed_ = false;  // no more records until the journal starts afresh
  bool toldFailure_ = false;
  bool toldPartlyLoaded_ = false;
  std::function<void(const std::string&)> tell_;
};

}  // namespace lorelist
