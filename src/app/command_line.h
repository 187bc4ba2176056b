#pragma once

#include <QStringList>
#include <string>

namespace lorelist {

// What the editor's command line asks for: `lorelist [FOLDER | FILE]`, where
// a path to a Florilex.txt names its folder and neither means the current
// directory; --help; --version. The options Qt itself takes (-platform,
// -style, ...) pass through to the application.
struct StartRequest {
  enum Action { kRun, kHelp, kVersion, kRefused };
  Action action = kRun;
  std::string folder = ".";  // kRun: the database's folder
  std::string message;       // kRefused: why, for standard error
};

StartRequest ParseCommandLine(const QStringList& arguments);

// What lorelist --help prints.
extern const char* const kLorelistUsage;

}  // namespace lorelist
