#pragma once

#include <string>
#include <vector>

namespace lorelist {

// What the editor's command line asks for: `lorelist [FOLDER | FILE]`, where
// a path to a Florilex.txt names its folder; --help; --version. The options
// Qt itself takes (-platform, -style, ...) pass through to the application.
struct StartRequest {
  enum Action { kRun, kHelp, kVersion, kRefused };
  Action action = kRun;
  std::string folder;   // kRun: the database's folder; empty: none was named
  std::string message;  // kRefused: why, for standard error
};

// The arguments as the program was given them (argv): bytes, so that a path
// is named whatever its bytes, UTF-8 or not.
StartRequest ParseCommandLine(const std::vector<std::string>& arguments);

// The folder of a dictionary named by a path: the folder itself, or the
// folder of a file named Florilex.txt (which need not exist yet). Empty,
// with the reason in `refusal`, for anything else or a folder that cannot
// be read.
std::string DictionaryFolder(const std::string& path, std::string& refusal);

// What lorelist --help prints.
extern const char* const kLorelistUsage;

}  // namespace lorelist
