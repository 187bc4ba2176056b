#pragma once

#include <functional>
#include <string>
#include <vector>

#include "database.h"
#include "file_format.h"
#include "file_ops.h"

namespace lorelist {

// The three file names, fixed.
constexpr const char* kDatabaseFile = "Florilex.txt";
constexpr const char* kBackupFile = "FlorilexOld.txt";
constexpr const char* kTemporaryFile = "LorTemp.BK!";
// The previous database, held under this name for the moment between
// putting the new file in place and making it the backup; left behind only
// by a save cut short, and then removed by the next one.
constexpr const char* kKeepFile = "LorOld.BK!";

// The questions Save asks before it writes; it writes only on Yes to each.
inline constexpr const char* kPartlyLoadedQuestion =
    "Florilex.txt was only partly loaded. Saving replaces it with what was loaded. Save anyway?";
inline constexpr const char* kChangedOutsideQuestion =
    "Florilex.txt was changed outside this window since it was loaded or last saved. Saving "
    "replaces those changes with this window's database. Save anyway?";

struct SaveResult {
  bool ok = true;
  // On failure, what went wrong, naming the file and the reason (empty when
  // the user answered No to a question). On success, usually empty;
  // otherwise a warning the user must still see.
  std::string message;
};

// What must be settled before Save writes the database in dir: a refusal
// (Save cannot write there; nothing to ask), or the questions to put, in
// order. Reads Florilex.txt only when it was touched in a way that its
// identity cannot clear.
struct SaveCheck {
  std::string refusal;
  std::vector<std::string> questions;
};
SaveCheck CheckSave(const Database& db, const std::string& dir);

// Why the Florilex.txt of dir must not be opened or saved: it leads, through
// links, onto one of the names that saving and the recovery journal use for
// files of their own, which a save would remove or rename over it. The
// message names both paths; empty when there is no such danger.
std::string SavedNameRefusal(const std::string& dir);

// Puts one of Save's questions to the user: true for Yes.
using AskSave = std::function<bool(const std::string& question)>;

// Writes the whole database in the file format: the quotations section, "@@",
// then each category with its subject entries and its references. Codes are
// worked out from the nodes' positions now.
void WriteDatabase(const Database& db, OutputFile& out);

// Saves into dir, whatever surrounds the file. "LorTemp.BK!" is written
// beside the file that Florilex.txt names (following a symbolic link), with
// the mode and group of the file it replaces, and synced; it then replaces
// that file atomically, and the previous file becomes "FlorilexOld.txt"
// beside Florilex.txt. At every moment Florilex.txt holds the old or the new
// database in full, and FlorilexOld.txt is replaced only once the new
// database is in place. Clears the changed flag and takes the new stamp only
// when the database is saved; on failure the message tells the file and the
// reason, and Florilex.txt and FlorilexOld.txt are as they were.
//
// One save at a time writes into a folder, whichever process makes it: the
// save waits for one under way. With `ask`, CheckSave's questions are put
// first, and put again when the file changed while the save waited; without
// it, the answer to each is Yes.
SaveResult SaveDatabase(Database& db, const std::string& dir = ".", FileOps& ops = SystemFileOps(),
                        const AskSave& ask = {});

// Writes a file whole or not at all, as WriteDatabaseFile does: `fill` puts
// the bytes (and returns a message of its own to give up, or nothing); the
// file appears under its name only once it is complete and synced. The
// temporary file beside it is named after it, within the longest name a
// folder holds.
SaveResult WriteFileSafely(const std::string& path,
                           const std::function<std::string(OutputFile&)>& fill,
                           FileOps& ops = SystemFileOps());

// Writes the database to path as SaveDatabase writes Florilex.txt, without a
// backup: through a temporary file beside the file path names, keeping an
// existing file's mode and group and a symbolic link in place.
SaveResult WriteDatabaseFile(const Database& db, const std::string& path,
                             FileOps& ops = SystemFileOps());

}  // namespace lorelist
