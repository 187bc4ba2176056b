#pragma once

#include <string>

#include "database.h"
#include "file_format.h"
#include "file_ops.h"

namespace lorelist {

// The three file names, fixed.
constexpr const char* kDatabaseFile = "Florilex.txt";
constexpr const char* kBackupFile = "FlorilexOld.txt";
constexpr const char* kTemporaryFile = "LorTemp.BK!";

struct SaveResult {
  bool ok = true;
  std::string message;  // what went wrong, naming the file and the reason
};

// Writes the whole database in the file format: the quotations section, "@@",
// then each category with its subject entries and its references. Codes are
// worked out from the nodes' positions now.
void WriteDatabase(const Database& db, OutputFile& out);

// Writes "LorTemp.BK!" in dir, syncs it, then keeps the previous
// "Florilex.txt" as "FlorilexOld.txt" and puts the new file in its place
// atomically, so "Florilex.txt" is never missing. Clears the changed flag
// only after every step has succeeded; on failure the message tells the file
// and the reason and "Florilex.txt" is as it was.
SaveResult SaveDatabase(Database& db, const std::string& dir = ".", FileOps& ops = SystemFileOps());

// Writes the database to path as SaveDatabase writes "Florilex.txt", without
// a backup: through a temporary file beside it, replaced atomically.
SaveResult WriteDatabaseFile(const Database& db, const std::string& path,
                             FileOps& ops = SystemFileOps());

}  // namespace lorelist
