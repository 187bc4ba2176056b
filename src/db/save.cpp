#include "save.h"

#include <cerrno>

namespace lorelist {

void WriteDatabase(const Database& db, OutputFile& out) {
  std::string line;
  auto walk = [&](const TreeStore& tree, auto&& writeNode) {
    HTREEITEM node = tree.GetRootItem();
    if (!node) return;
    CodeWalker codes;
    for (;;) {
      writeNode(node, codes.Code());
      int step = NextNode(node, tree);
      if (step == kEndOfWalk) return;
      codes.Step(step);
    }
  };

  walk(db.quotations, [&](HTREEITEM node, std::string_view code) {
    line.assign("@Q").append(code).append(" ").append(db.quotations.GetItemText(node));
    WriteLogicalLine(out, line);
  });
  out.Put("@@\r\n");
  walk(db.categories, [&](HTREEITEM node, std::string_view code) {
    line.assign("@C").append(code).append(" ").append(db.categories.GetItemText(node));
    WriteLogicalLine(out, line);
    const CategoryRecord* record = db.Record(node);
    if (!record) return;
    for (const std::string& entry : record->subjectEntries) {
      line.assign("@S").append(entry);
      WriteLogicalLine(out, line);
    }
    // Targets lie all over memory: ask for them all before the first is needed.
    for (HTREEITEM target : record->referenceTargets) __builtin_prefetch(target);
    for (HTREEITEM target : record->referenceTargets) __builtin_prefetch(target->parent);
    for (size_t i = 0; i < record->referenceTexts.size(); ++i) {
      // The target's code from its position: the same code the walk above gave it.
      line.assign("@R");
      AppendNodeCode(line, record->referenceTargets[i]);
      line.append(" ");
      line.append(record->referenceTexts[i]);
      WriteLogicalLine(out, line);
    }
  });
}

namespace {

std::string Failure(const std::string& what, const std::string& name, int error) {
  return what + name + ": " + SystemReason(error);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes the whole database to path, synced to disk and closed. name is the
// file's name in messages. On failure the file is removed again.
SaveResult WriteSynced(const Database& db, const std::string& path, const std::string& name,
                       FileOps& ops, bool reasonOnOpen) {
  SaveResult result;
  int fd = ops.CreateForWriting(path);
  if (fd < 0) {
    result.ok = false;
    result.message = "Cannot open file " + name;
    if (reasonOnOpen) result.message += ": " + SystemReason(errno);
    return result;
  }
  OutputFile out(ops, fd);
  WriteDatabase(db, out);
  int error = 0;
  std::string what;
  if (!out.Flush()) {
    error = out.Error();
    what = "Cannot write ";
  } else if (ops.Sync(fd) != 0) {
    error = errno;
    what = "Cannot write ";
  }
  if (ops.Close(fd) != 0 && !error) {
    error = errno;
    what = "Cannot write ";
  }
  if (error) {
    ops.Remove(path);
    result.ok = false;
    result.message = Failure(what, name, error);
  }
  return result;
}

}  // namespace

SaveResult SaveDatabase(Database& db, const std::string& dir, FileOps& ops) {
  const std::string prefix = dir.empty() || dir == "." ? "" : dir + "/";
  const std::string database = prefix + kDatabaseFile;
  const std::string backup = prefix + kBackupFile;
  const std::string temporary = prefix + kTemporaryFile;

  SaveResult result = WriteSynced(db, temporary, kTemporaryFile, ops, false);
  if (!result.ok) return result;

  bool renamedAway = false;
  if (ops.Exists(database)) {
    // Keep the previous file under the backup name as a second link, so the
    // database name stays in place until the rename below replaces it.
    ops.Remove(backup);
    if (ops.Link(database, backup) != 0) {
      // Without hard links, fall back to renaming.
      if (ops.Rename(database, backup) != 0) {
        result.ok = false;
        result.message =
            Failure(std::string("Cannot rename ") + kDatabaseFile + " to ", kBackupFile, errno);
        return result;
      }
      renamedAway = true;
    }
  }
  if (ops.Rename(temporary, database) != 0) {
    const int error = errno;
    if (renamedAway) ops.Rename(backup, database);  // put the database back
    result.ok = false;
    result.message =
        Failure(std::string("Cannot rename ") + kTemporaryFile + " to ", kDatabaseFile, error);
    return result;
  }
  // Makes the renames durable; the file itself is already on disk, and some
  // file systems cannot sync a folder, so a failure here is not reported.
  ops.SyncDirectory(dir.empty() ? "." : dir);
  db.ClearChanged();
  return result;
}

SaveResult WriteDatabaseFile(const Database& db, const std::string& path, FileOps& ops) {
  const std::string temporary = path + ".lorelist-new";
  SaveResult result = WriteSynced(db, temporary, BaseName(temporary), ops, true);
  if (!result.ok) return result;
  if (ops.Rename(temporary, path) != 0) {
    int error = errno;
    ops.Remove(temporary);
    result.ok = false;
    result.message = Failure("Cannot write ", path, error);
    return result;
  }
  ops.SyncDirectory(DirectoryOf(path));
  return result;
}

}  // namespace lorelist
