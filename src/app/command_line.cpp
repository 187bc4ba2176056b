#include "command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>

#include "db/file_ops.h"
#include "db/save.h"

namespace lorelist {

const char* const kLorelistUsage =
    "Usage: lorelist [FOLDER | FILE]\n"
    "Opens the classified dictionary of quotations Florilex.txt in the editor's\n"
    "window: the one in FOLDER, or the FILE named (a path to a Florilex.txt). A\n"
    "folder without one is a new dictionary. With neither: the current\n"
    "directory's, else the dictionary opened last, else a choice of a new\n"
    "dictionary, another one, or the sample.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n";

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder whose names can be read and whose files can be reached.
std::string FolderReason(const std::string& path) {
  return ::access(path.c_str(), R_OK | X_OK) == 0 ? std::string() : SystemReason(errno);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

StartRequest Refused(const std::string& message) {
  return {StartRequest::kRefused, {}, "lorelist: " + message};
}

}  // namespace

StartRequest ParseCommandLine(const std::vector<std::string>& arguments) {
  // The parser takes Unicode, which cannot hold every byte of a path: each
  // argument that may be a path stands there as its index, a name no option
  // has, and a path found maps back to the argument's own bytes.
  const QString placeholder = QStringLiteral("\uFDD0%1");
  QStringList words;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (i > 0 && (optionsEnded || !argument.starts_with('-')))
      words << placeholder.arg(i);
    else
      words << QString::fromLocal8Bit(argument);
    optionsEnded = optionsEnded || (i > 0 && argument == "--");
  }
  QCommandLineParser parser;
  // Qt's own options are single words after one dash ("-platform").
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  // Left for the application to take, as every Qt program does.
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "display",
                           "geometry", "qwindowgeometry", "qwindowicon", "qwindowtitle", "style",
                           "stylesheet", "session", "title", "qmljsdebugger"})
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), {}, QStringLiteral("value")));
  for (const char* name :
       {"reverse", "widgetcount", "nograb", "dograb", "sync", "embedding", "automation"})
    parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
  if (!parser.parse(words)) return Refused(parser.errorText().toStdString());
  if (parser.isSet(help)) return {StartRequest::kHelp, {}, {}};
  if (parser.isSet(version)) return {StartRequest::kVersion, {}, {}};

  const QStringList paths = parser.positionalArguments();
  if (paths.size() > 1) return Refused("one folder or file at most");
  if (paths.isEmpty()) return {};
  std::string refusal;
  const QString& word = paths.first();
  const size_t index = word.startsWith(QChar(0xFDD0)) ? word.mid(1).toULong() : 0;
  const std::string path =
      index > 0 && index < arguments.size() ? arguments[index] : word.toLocal8Bit().toStdString();
  const std::string folder = DictionaryFolder(path, refusal);
  if (folder.empty()) return Refused(refusal);
  return {StartRequest::kRun, folder, {}};
}

std::string DictionaryFolder(const std::string& path, std::string& refusal) {
  std::string folder = path;
  if (!IsDirectory(path)) {
    if (BaseName(path) != kDatabaseFile) {
      refusal = Exists(path)
                    ? AbsolutePath(path) + " is not a folder, nor a file named " + kDatabaseFile
                    : "no such folder: " + AbsolutePath(path);
      return {};
    }
    folder = DirectoryOf(path);
    if (!IsDirectory(folder)) {
      refusal = "no such folder: " + AbsolutePath(folder);
      return {};
    }
  }
  if (const std::string reason = FolderReason(folder); !reason.empty()) {
    refusal = "cannot read the folder " + AbsolutePath(folder) + ": " + reason;
    return {};
  }
  return folder;
}

}  // namespace lorelist
