#include "conflict_copies.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <regex>

#include "file_ops.h"

namespace lorelist {

namespace {

struct CopyName {
  const char* service;
  const char* pattern;  // the whole name, ECMAScript
};

// How each service names the copy it keeps of the side that lost. Machine,
// user and device names are left open; dates and times are checked, so that
// a name of the user's own ("Florilex old.txt") is not taken for one.
constexpr CopyName kCopyNames[] = {
    // Florilex.sync-conflict-20240115-143022-ABCDEFG.txt: the device's short ID.
    {"Syncthing", R"(Florilex\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]{7}\.txt)"},
    // Florilex (conflicted copy 2024-01-15 143022).txt, the user's name
    // before the date where the account has one; ownCloud's older clients:
    // Florilex_conflict-20240115-143022.txt.
    {"Nextcloud or ownCloud", R"(Florilex \(conflicted copy (.+ )?\d{4}-\d{2}-\d{2} \d{6}\)\.txt)"},
    {"ownCloud", R"(Florilex_conflict-\d{8}-\d{6}\.txt)"},
    // Florilex (Jane Doe's conflicted copy 2024-01-15).txt, "(1)" after the
    // date for the second of a day; the apostrophe plain or typographic.
    {"Dropbox",
     "Florilex \\(.+(?:'|\xE2\x80\x99)s conflicted copy \\d{4}-\\d{2}-\\d{2}(?: "
     "\\(\\d+\\))?\\)\\.txt"},
    // Florilex-LAPTOP.txt: the computer's name, letters, digits and hyphens.
    {"OneDrive", R"(Florilex-[A-Za-z0-9][A-Za-z0-9-]{0,62}\.txt)"},
};

}  // namespace

const char* ConflictCopyService(const std::string& name) {
  static const std::vector<std::regex> patterns = [] {
    std::vector<std::regex> made;
    for (const CopyName& copy : kCopyNames) made.emplace_back(copy.pattern);
    return made;
  }();
  for (size_t i = 0; i < patterns.size(); ++i)
    if (std::regex_match(name, patterns[i])) return kCopyNames[i].service;
  return nullptr;
}

std::vector<std::string> ConflictCopies(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (ConflictCopyService(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> copies;
  for (const std::string& name : names) {
    struct stat st;
    const std::string path = JoinPath(folder, name);
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) copies.push_back(path);
  }
  return copies;
}

std::string RenameMergedCopy(const std::string& copy, std::string& reason) {
  const std::string name = BaseName(copy);
  const size_t dot = name.rfind('.');
  const std::string stem = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  for (int n = 1;; ++n) {
    const std::string path = JoinPath(
        DirectoryOf(copy), stem + ".merged" + (n == 1 ? "" : "-" + std::to_string(n)) + extension);
    if (RenameNoReplace(copy, path) == 0) return path;
    if (errno != EEXIST) {
      reason = SystemReason(errno);
      return {};
    }
  }
}

}  // namespace lorelist
