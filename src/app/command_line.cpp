#include "command_line.h"

#include <sys/stat.h>

#include <QCommandLineParser>

#include "db/file_ops.h"
#include "db/save.h"

namespace lorelist {

const char* const kLorelistUsage =
    "Usage: lorelist [FOLDER | FILE]\n"
    "Opens the classified dictionary of quotations Florilex.txt in the editor's\n"
    "window: the one in FOLDER, or the FILE named (a path to a Florilex.txt), or\n"
    "with neither the one of the current directory.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n";

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

StartRequest Refused(const std::string& message) {
  return {StartRequest::kRefused, {}, "lorelist: " + message};
}

}  // namespace

StartRequest ParseCommandLine(const QStringList& arguments) {
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
  if (!parser.parse(arguments)) return Refused(parser.errorText().toStdString());
  if (parser.isSet(help)) return {StartRequest::kHelp, {}, {}};
  if (parser.isSet(version)) return {StartRequest::kVersion, {}, {}};

  const QStringList paths = parser.positionalArguments();
  if (paths.size() > 1) return Refused("one folder or file at most");
  if (paths.isEmpty()) return {};
  const std::string path = paths.first().toLocal8Bit().toStdString();
  if (IsDirectory(path)) return {StartRequest::kRun, path, {}};
  if (BaseName(path) == kDatabaseFile) {
    const std::string folder = DirectoryOf(path);
    if (!IsDirectory(folder)) return Refused("no such folder: " + AbsolutePath(folder));
    return {StartRequest::kRun, folder, {}};
  }
  if (Exists(path))
    return Refused(AbsolutePath(path) + " is not a folder, nor a file named " + kDatabaseFile);
  return Refused("no such folder: " + AbsolutePath(path));
}

}  // namespace lorelist
