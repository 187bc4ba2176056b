#pragma once

// The versions of a dictionary that Lorelist loaded and saved, kept in the
// user's state folder ($XDG_STATE_HOME/Lorelist, by default
// ~/.local/state/Lorelist), never beside the dictionary, whose folder may be
// synced elsewhere. They give a merge its base: the version a window loaded
// when the file changed outside it, or, for another copy, the version it
// most likely grew from.
//
// Each dictionary has a folder of its own there, named by a checksum of the
// canonical path of its Florilex.txt (the file "dictionary" in it names that
// path). Each version is two files named by the checksum of its bytes:
// "<checksum>.zst", the bytes compressed with zstd, and "<checksum>.version",
// its metadata, one "key value" a line. Folders are made 0700 and files
// 0600; every file is written whole (a temporary file, synced, renamed).
//
// A history that cannot be kept never stops an edit or a save: what fails is
// reported once, and the rest goes on without it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "database.h"
#include "file_ops.h"
#include "file_stamp.h"
#include "load.h"

namespace lorelist {

struct Version {
  enum How { kLoaded, kSaved };
  uint64_t checksum = 0;  // of the file's bytes (Checksum): the version's name
  uint64_t size = 0;      // of the file
  uint64_t stored = 0;    // of its compressed bytes
  int64_t kept = 0;       // when it was last loaded or saved: seconds since 1970, UTC
  How how = kLoaded;      // how, that last time
  Encoding encoding = Encoding::kWindows1252;
  // The version it was saved after (or, loaded, the one given as its
  // parent): its ancestry. 0 when not known.
  uint64_t parent = 0;
  // When its metadata was written, in nanoseconds: orders the versions kept
  // within one second.
  int64_t written = 0;
};

// How much is kept of a dictionary: versions are pruned oldest first, after
// each one kept, until at most `versions` are left, none older than `maxAge`
// seconds but the newest `young`, and their compressed bytes come to at most
// `storedBytes`. The newest version is always kept.
struct HistoryLimits {
  size_t versions = 50;
  int64_t maxAge = int64_t{90} * 24 * 3600;
  size_t young = 5;
  uint64_t storedBytes = 500'000'000;
};

struct HistorySettings {
  // The folder of every dictionary's history; empty: StateFolder().
  std::string state;
  HistoryLimits limits;
  // The time now, in seconds since 1970; empty: the system's clock.
  std::function<int64_t()> now;
  // What writes the files (a test's stand-in can make any step fail).
  FileOps* ops = nullptr;
  // zstd's level: fast, for a second thread to keep up with a save.
  int level = 1;
};

// A version's name, as its files are named: its checksum in 16 hex digits.
std::string VersionName(uint64_t checksum);

// $XDG_STATE_HOME/Lorelist, or ~/.local/state/Lorelist.
std::string StateFolder();
// The name of the folder within the state folder that keeps the history of
// the dictionary in `folder`.
std::string HistoryName(const std::string& folder);

// A window holds one for its dictionary: Keep(Version::kLoaded, db.disk)
// once it has loaded the file, and Keep(Version::kSaved, db.disk, the
// checksum db.disk held before) after each save. Versions, Find, Load and
// BaseFor only read files, while versions are kept on the history's thread.
// BaseFor unpacks and reads every ancestor whole, about half a second each
// at a million quotations: a window asks it off its own thread.
class VersionHistory {
 public:
  // The history of the dictionary in `folder` (its Florilex.txt). Nothing is
  // read or made before it is needed.
  explicit VersionHistory(const std::string& folder, HistorySettings settings = {});
  // Waits for the versions being kept.
  ~VersionHistory();
  VersionHistory(const VersionHistory&) = delete;
  VersionHistory& operator=(const VersionHistory&) = delete;

  // Where the versions are kept.
  const std::string& Folder() const { return folder_; }

  // Keeps the Florilex.txt just loaded or saved, which `file` describes (the
  // database's `disk` stamp), as a version after `parent` (for a save: the
  // checksum of the version loaded or last saved before; 0: unknown). The
  // file is opened at once and compressed on a thread of the history's own,
  // so that the caller does not wait; a file whose bytes are no longer the
  // ones `file` describes is not kept. Bytes kept before are not stored
  // again: their version is noted as kept now. Nothing is kept of a file
  // that is missing or was not read whole.
  void Keep(Version::How how, const FileStamp& file, uint64_t parent = 0);
  // Returns once every version asked for is kept (or has failed).
  void Wait();

  // The versions kept, newest first; none when there is no history yet.
  std::vector<Version> Versions();
  // The version with those bytes: for a file changed outside a window, the
  // base of the merge is the version the window loaded or last saved
  // (Find(db.disk.checksum)).
  std::optional<Version> Find(uint64_t checksum) const;
  // Reads a kept version into db, through LoadDatabase as a file would be
  // read (its bytes are unpacked into memory, not onto a disk), in the
  // encoding it had. db.disk then names the version, not a file.
  LoadResult Load(const Version& version, Database& db);
  // The base for merging `other`, another copy of the dictionary (a copy
  // made elsewhere, a sync's conflict copy), into `mine` as loaded or last
  // saved: among the versions `mine` descends from (following the parents
  // from mine.disk.checksum), the one closest to `other`, by the number of
  // lines in one and not in the other (each line without its node code, so
  // that renumbering does not count), ties to the newest. None when
  // mine.disk's version is not kept.
  std::optional<Version> BaseFor(const Database& mine, const Database& other);

  // Called once, with the first message of what could not be kept or read
  // (on the history's own thread for Keep); later failures are not told.
  void SetReport(std::function<void(const std::string&)> report);
  // The message told, or "" when nothing failed.
  std::string Reported() const;

 private:
  struct Job {
    int fd;
    FileStamp file;
    Version::How how;
    uint64_t parent;
    int64_t when;
  };
  void Run();
  void KeepNow(const Job& job);
  void Prune();
  void Report(bool keeping, const std::string& reason);
  int64_t Now() const;
  std::string PathOf(uint64_t checksum, const char* extension) const;
  // Reads the version's bytes, unpacked and checked, into `take`; "" or why not.
  std::string Unpack(const Version& version,
                     const std::function<void(const char*, size_t)>& take) const;

  std::string dictionary_;  // the canonical path of its Florilex.txt
  std::string folder_;
  HistorySettings settings_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool busy_ = false, stopping_ = false;
  std::thread thread_;
  std::function<void(const std::string&)> report_;
  std::string reported_;
};

}  // namespace lorelist
