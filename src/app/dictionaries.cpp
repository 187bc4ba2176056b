#include "dictionaries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

#include "db/file_ops.h"
#include "db/save.h"
#include "tools/settings.h"

namespace lorelist {

namespace {

const QString kDatabase = QStringLiteral("Florilex.txt");

// Where the installed sample lies: beside the program as installed, in
// any of the system's data folders, or in the build's own.
QString InstalledSample() {
  const QString relative = QStringLiteral("lorelist/examples/Florilex.txt");
  const QString beside =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + relative;
  if (QFileInfo(beside).isFile()) return QFileInfo(beside).canonicalFilePath();
  return QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
}

// Paths are kept as bytes (a QString cannot hold every byte of a name);
// settings written before hold them as text, and are read as well.
std::vector<std::string> Paths(const QVariant& value) {
  const bool list =
      value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
  std::vector<std::string> paths;
  for (const QVariant& item : list ? value.toList() : QVariantList{value}) {
    const QByteArray path = item.typeId() == QMetaType::QByteArray
                                ? item.toByteArray()
                                : QFile::encodeName(item.toString());
    if (!path.isEmpty()) paths.push_back(path.toStdString());
  }
  return paths;
}

QByteArray Bytes(const std::string& path) {
  return QByteArray(path.data(), static_cast<qsizetype>(path.size()));
}

}  // namespace

bool HoldsDictionary(const std::string& folder) {
  struct stat st;
  return !folder.empty() && ::stat(JoinPath(folder, kDatabaseFile).c_str(), &st) == 0 &&
         S_ISREG(st.st_mode);
}

std::vector<std::string> DictionarySettings::Stored() const {
  return Paths(ProgramSettings().value(QStringLiteral("recent")));
}

std::string DictionarySettings::Last() const {
  const std::vector<std::string> last = Paths(ProgramSettings().value(QStringLiteral("last")));
  return !last.empty() && HoldsDictionary(last.front()) ? last.front() : std::string();
}

std::vector<std::string> DictionarySettings::Recent() const {
  std::vector<std::string> recent;
  for (const std::string& folder : Stored())
    if (HoldsDictionary(folder) && recent.size() < kRecent) recent.push_back(folder);
  return recent;
}

void DictionarySettings::Opened(const std::string& folder) {
  const std::string absolute = AbsolutePath(folder);
  // A relative path would name another folder from wherever the next start is.
  if (!absolute.starts_with('/')) return;
  QVariantList recent{Bytes(absolute)};
  for (const std::string& other : Stored())
    if (other != absolute && !SameFile(other, absolute) && HoldsDictionary(other) &&
        recent.size() < kRecent)
      recent.append(Bytes(other));
  QSettings settings = ProgramSettings();
  settings.setValue(QStringLiteral("last"), Bytes(absolute));
  settings.setValue(QStringLiteral("recent"), recent);
}

void DictionarySettings::ClearRecent() {
  ProgramSettings().remove(QStringLiteral("recent"));
}

QString SampleFolder(QString& why) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Lorelist");
  const QString copy = QDir(folder).filePath(kDatabase);
  if (QFileInfo::exists(copy)) return folder;
  const QString sample = InstalledSample();
  if (sample.isEmpty()) {
    why = QStringLiteral("The sample dictionary is not installed.");
    return {};
  }
  std::string bytes;
  if (const int error = ReadRegularFile(QFile::encodeName(sample).toStdString(), bytes)) {
    why = QStringLiteral("Cannot read the sample dictionary %1: %2")
              .arg(sample, QString::fromStdString(FileReason(error)));
    return {};
  }
  if (!QDir().mkpath(folder)) {
    why = QStringLiteral("Cannot make the folder %1 for the sample dictionary.").arg(folder);
    return {};
  }
  // A file of the user's own, made as Save makes a new one.
  const SaveResult written =
      WriteFileSafely(QFile::encodeName(copy).toStdString(), [&](OutputFile& out) {
        out.Put(bytes);
        return std::string();
      });
  if (!written.ok) {
    why = QFile::decodeName(QByteArray::fromStdString(written.message));
    return {};
  }
  return folder;
}

namespace {
std::string editorProgram;
}  // namespace

void SetEditorProgram(const std::string& path) {
  editorProgram = path;
}

bool StartEditor(const std::string& folder, QString* why) {
  // Started by hand, not by QProcess, whose arguments are Unicode: the
  // folder goes as the bytes of its path. The child starts the editor and
  // ends at once, so that it leaves no process to wait for; a pipe closed by
  // the exec, or carrying its error, tells how the start went.
  std::string program =
      editorProgram.empty()
          ? QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString()
          : editorProgram;
  std::string argument = AbsolutePath(folder);
  char* argv[] = {program.data(), argument.data(), nullptr};
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (why) *why = QString::fromStdString(SystemReason(errno));
    return false;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const pid_t editor = ::fork();
    if (editor == 0) ::execv(argv[0], argv);
    if (editor <= 0) {  // no exec, or no process for it
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
    }
    ::_exit(0);
  }
  const int forkError = errno;
  ::close(report[1]);
  int error = child < 0 ? forkError : 0;
  if (child > 0) {
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    while (::read(report[0], &error, sizeof error) < 0 && errno == EINTR) {
    }
  }
  ::close(report[0]);
  if (error == 0) return true;
  if (why) *why = QString::fromStdString(SystemReason(error));
  return false;
}

std::string FolderToOpen(const std::string& asked, const std::string& current,
                         const DictionarySettings& settings) {
  if (!asked.empty()) return asked;
  if (HoldsDictionary(current)) return current;
  return settings.Last();
}

}  // namespace lorelist
