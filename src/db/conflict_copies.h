#pragma once

// The copies of Florilex.txt that sync services leave beside it when two
// machines changed it before they could exchange it: each service names its
// copy its own way.

#include <string>
#include <vector>

namespace lorelist {

// The service whose way a name follows ("Syncthing"), or nullptr when the
// name is no conflict copy of Florilex.txt.
const char* ConflictCopyService(const std::string& name);

// The conflict copies in the folder, by their paths, in the order of their
// names; files only.
std::vector<std::string> ConflictCopies(const std::string& folder);

// Renames a merged copy so that it is not offered again, nor taken for
// another conflict copy: ".merged" before its extension, or ".merged-2", ...
// where that name is taken (never over a file). The new path, or empty
// with the reason.
std::string RenameMergedCopy(const std::string& copy, std::string& reason);

}  // namespace lorelist
