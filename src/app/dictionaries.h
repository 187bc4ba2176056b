#pragma once

#include <QString>
#include <string>
#include <vector>

namespace lorelist {

// The dictionaries a user has opened, kept in the settings under the XDG
// config folder: the one opened last and the recent ones, by their folders,
// each the bytes of its path (whatever they are: a name need not be UTF-8).
// Settings that cannot be read or written are only forgotten: they never
// stop the program.
class DictionarySettings {
 public:
  // At most this many in Open Recent.
  static constexpr int kRecent = 8;

  // The folder opened last, when it still holds a dictionary; else empty.
  std::string Last() const;
  // The recent folders that still hold one, newest first.
  std::vector<std::string> Recent() const;
  // A dictionary was opened (or first saved) in folder; one whose absolute
  // path cannot be known (the current directory beyond reach) is not kept.
  void Opened(const std::string& folder);
  void ClearRecent();

 private:
  std::vector<std::string> Stored() const;
};

// True when folder holds a Florilex.txt.
bool HoldsDictionary(const std::string& folder);

// The folder of the sample dictionary a user opens: a copy of the installed
// sample in the user's data folder ($XDG_DATA_HOME/Lorelist), made the first
// time; the installed file itself is never written. Empty, with the reason
// in `why`, when there is no sample or no copy can be made.
QString SampleFolder(QString& why);

// Starts another Lorelist window, a process of its own, on folder; false
// with the reason in `why` when it cannot be started. It runs this program,
// or the one SetEditorProgram named (tests run from another).
bool StartEditor(const std::string& folder, QString* why);
void SetEditorProgram(const std::string& path);

// Which dictionary a start opens, given a folder asked for on the command
// line (empty: none) and the current directory ("." does, whatever its path):
// the one asked for; else the current directory's when it holds one; else the
// one opened last, when it still exists. Empty: none, so the user is asked.
std::string FolderToOpen(const std::string& asked, const std::string& current,
                         const DictionarySettings& settings);

}  // namespace lorelist
