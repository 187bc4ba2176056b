#pragma once

#include <QString>
#include <QStringList>

namespace lorelist {

// The dictionaries a user has opened, kept in the settings under the XDG
// config folder: the one opened last and the recent ones, by their folders.
// Settings that cannot be read or written are only forgotten: they never
// stop the program.
class DictionarySettings {
 public:
  // At most this many in Open Recent.
  static constexpr int kRecent = 8;

  // The folder opened last, when it still holds a dictionary; else empty.
  QString Last() const;
  // The recent folders that still hold one, newest first.
  QStringList Recent() const;
  // A dictionary was opened (or first saved) in folder.
  void Opened(const QString& folder);
  void ClearRecent();

 private:
  QStringList Stored() const;
};

// True when folder holds a Florilex.txt.
bool HoldsDictionary(const QString& folder);

// The folder of the sample dictionary a user opens: a copy of the installed
// sample in the user's data folder ($XDG_DATA_HOME/Lorelist), made the first
// time; the installed file itself is never written. Empty, with the reason
// in `why`, when there is no sample or no copy can be made.
QString SampleFolder(QString& why);

// Starts another Lorelist window, a process of its own, on folder; false
// with the reason in `why` when it cannot be started. It runs this program,
// or the one SetEditorProgram named (tests run from another).
bool StartEditor(const QString& folder, QString* why, qint64* pid = nullptr);
void SetEditorProgram(const QString& path);

// Which dictionary a start opens, given a folder asked for on the command
// line (empty: none) and the current directory: the one asked for; else the
// current directory's when it holds one; else the one opened last, when it
// still exists. Empty: none, so the user is asked.
QString FolderToOpen(const QString& asked, const QString& current,
                     const DictionarySettings& settings);

}  // namespace lorelist
