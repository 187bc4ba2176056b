#include "dictionaries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include "db/file_ops.h"
#include "db/save.h"

namespace lorelist {

namespace {

const QString kDatabase = QStringLiteral("Florilex.txt");

// Read from the environment each time: XDG_CONFIG_HOME as it is now.
QSettings Settings() {
  return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Lorelist/Lorelist.conf"),
                   QSettings::IniFormat);
}

// Where the installed sample lies: beside the program as installed, in
// any of the system's data folders, or in the build's own.
QString InstalledSample() {
  const QString relative = QStringLiteral("lorelist/examples/Florilex.txt");
  const QString beside =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + relative;
  if (QFileInfo(beside).isFile()) return QFileInfo(beside).canonicalFilePath();
  return QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
}

}  // namespace

bool HoldsDictionary(const QString& folder) {
  return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(kDatabase)).isFile();
}

QStringList DictionarySettings::Stored() const {
  return Settings().value(QStringLiteral("recent")).toStringList();
}

QString DictionarySettings::Last() const {
  const QString last = Settings().value(QStringLiteral("last")).toString();
  return HoldsDictionary(last) ? last : QString();
}

QStringList DictionarySettings::Recent() const {
  QStringList recent;
  for (const QString& folder : Stored())
    if (HoldsDictionary(folder) && recent.size() < kRecent) recent.append(folder);
  return recent;
}

void DictionarySettings::Opened(const QString& folder) {
  const QString absolute = QFileInfo(folder).absoluteFilePath();
  QStringList recent{absolute};
  for (const QString& other : Stored())
    if (other != absolute && HoldsDictionary(other) && recent.size() < kRecent)
      recent.append(other);
  QSettings settings = Settings();
  settings.setValue(QStringLiteral("last"), absolute);
  settings.setValue(QStringLiteral("recent"), recent);
}

void DictionarySettings::ClearRecent() {
  Settings().remove(QStringLiteral("recent"));
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
QString editorProgram;
}  // namespace

void SetEditorProgram(const QString& path) {
  editorProgram = path;
}

bool StartEditor(const QString& folder, QString* why, qint64* pid) {
  QProcess process;
  process.setProgram(editorProgram.isEmpty() ? QCoreApplication::applicationFilePath()
                                             : editorProgram);
  process.setArguments({QFileInfo(folder).absoluteFilePath()});
  if (process.startDetached(pid)) return true;
  if (why) *why = process.errorString();
  return false;
}

QString FolderToOpen(const QString& asked, const QString& current,
                     const DictionarySettings& settings) {
  if (!asked.isEmpty()) return asked;
  if (HoldsDictionary(current)) return current;
  return settings.Last();
}

}  // namespace lorelist
