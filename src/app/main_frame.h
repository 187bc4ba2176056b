#pragma once

#include <QFont>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "commands/editing.h"
#include "db/database.h"
#include "db/file_ops.h"
#include "db/folder_lock.h"
#include "db/history.h"
#include "db/journal.h"
#include "db/load.h"
#include "db/merge.h"
#include "db/save.h"
#include "export/export.h"
#include "panes/pane_set.h"
#include "tools/queries.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QToolBar;

namespace lorelist {

// What the window asks of a file without the byte-order mark that looks
// like UTF-8 text: Yes reads it so.
QString Utf8Question(const std::string& path);

// A message about files: paths and file names, in the system's encoding,
// never a text of the database.
QString FromFileMessage(const std::string& message);

// The one main window: it owns the database, the panes, the menu, the
// accelerators, the toolbar and the pane font, and every command arrives here
// by its id.
class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the frame in its order (pane font, panes, toolbar, splash) and
  // last loads "Florilex.txt" of `directory`; a load error, and the warning
  // that another window has the folder open, are shown before the window is.
  explicit CMainFrame(const std::string& directory = ".", QWidget* parent = nullptr);
  ~CMainFrame() override;

  Database& Db() { return db_; }
  PaneSet& Panes() { return *panes_; }
  QToolBar& ToolBar() { return *toolbar_; }
  QAction* Action(int id) const;
  QueryCommands& Queries() { return *queries_; }
  const LoadResult& LoadOutcome() const { return loadResult_; }
  const QFont& PaneFont() const { return paneFont_; }
  static QFont StartupFont();
  // The start-up font as the font chooser shows it: the installed face and
  // the point size that give it here.
  QFont ChooserStartupFont() const;

  // Runs a command as the menu, a toolbar button or an accelerator would.
  void OnCommand(int id);
  // Gives a command its handler; commands without one do nothing.
  void SetHandler(int id, std::function<void()> handler) { handlers_[id] = std::move(handler); }

  // Save: true when the database was written in full.
  bool Save();
  // Save Copy As: writes the database to a file the user picks; where Save
  // writes and the changed flag stay as they are.
  void SaveCopyAs();
  // Export as HTML or Markdown: the printable dictionary, to a file the
  // user picks, with progress and Cancel when it takes long.
  void Export(ExportFormat format);
  // Print: the printable dictionary in the print preview.
  void Print();
  // True, having said so, when a file chosen to write is the database itself.
  bool IsTheDatabaseFile(const std::string& path);
  // The folder of the database, by its full path.
  const std::string& Folder() const { return folder_; }
  // The file services saving uses (tests make them fail).
  void SetFileOps(FileOps& ops) { fileOps_ = &ops; }
  // The unsaved-changes guard: true when the window may close.
  bool CanClose();

  // --- Two versions of the dictionary (versions.cpp).
  // The versions of this dictionary kept in the user's state folder.
  VersionHistory& History() { return *history_; }
  // The line at the foot of the window: what became of the file lately.
  QString StatusLine() const;
  // The button beside it that merges the file changed outside now.
  QPushButton* MergeNowButton() const { return mergeNow_; }
  // Merges what was changed in Florilex.txt outside this window since it
  // was loaded or last saved, and saves: Save's Merge, and Merge Now.
  bool MergeOutsideChanges();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildActions();
  void BuildMenu();
  void FillRecentMenu();
  // New Dictionary, Open Dictionary and Open Recent: each in a new window.
  void NewDictionary();
  void OpenDictionary();
  void OpenInNewWindow(const std::string& folder);
  void BuildToolbar();
  void RegisterFrameCommands();
  // How a window holds its folder: alone; beside another window, which
  // keeps the journal until it goes; or without a lock, and so without a
  // journal at all.
  enum class Holding { kAlone, kShared, kUnlocked };
  // Takes the folder's lock, having warned where this window is not alone.
  Holding HoldFolder();
  // Loads the database and, when this window holds the folder alone, offers
  // the edits a crash left in the journal.
  void LoadDatabaseFile(Holding holding);
  void RegisterMoveCommands();
  void UpdateEditActions();
  void UpdateHistoryActions();
  void RequestLayout();
  void ApplyLayout();
  void ChangeFont();
  void ShowHelp();
  void ShowAbout();

  // Versions and merges (versions.cpp).
  // While a flow of the window's own runs, a change of the file waits.
  class Busy {
   public:
    explicit Busy(CMainFrame& frame) : frame_(frame) { ++frame_.busy_; }
    ~Busy() { --frame_.busy_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    CMainFrame& frame_;
  };
  std::string DatabasePath() const;
  // Reads a Florilex.txt into the window's database, the views hearing of
  // it as one reset: at start, and when the file changed outside.
  void LoadIntoPanes(const std::function<void()>& load);
  // Saves, putting Save's questions through `ask`; the version saved is
  // kept and the conflict copies merged into it are renamed.
  bool SaveWith(const AskSave& ask);
  void StartWatching();
  // After a change in the folder: a new conflict copy, or Florilex.txt
  // changed outside.
  void CheckFile();
  // No flow, dialog or menu of the window's is open: the database may be
  // loaded again, a question put.
  bool Quiet() const;
  // Loads the file changed outside again, the panes showing what they did.
  void Reload();
  void SetStatus(const QString& text, bool offerMerge = false);
  // Keeps the file just loaded or saved, after parent (0: none known).
  void KeepVersion(Version::How how, uint64_t parent);
  // Each conflict copy in the folder not offered yet in this run.
  void OfferConflictCopies();
  // Reads another copy of the dictionary whole: false, having said why,
  // when it is not one.
  bool LoadOther(const std::string& path, Database& other, bool quiet);
  // Merges another copy of the dictionary through the merge view, against
  // the version both come from where the history keeps it; true when the
  // merge was made. A conflict copy is renamed once the merge is saved.
  bool MergeOther(const std::string& path, const Database& other, bool conflictCopy);
  void MergeDictionary();
  void EarlierVersions();
  // The merge view on the plan; true for OK.
  bool RunMergeView(MergePlan& plan, const Database& theirs, const QString& what);
  // Makes the plan's taken changes as one edit named `name`; false when
  // none was taken, or, having said why, when they were refused.
  bool ApplyPlan(MergePlan& plan, const char* name);
  // A conflict copy whose merge the next save holds (at once when there is
  // nothing to save).
  void MarkMerged(const std::string& copy);
  // After a save: the conflict copies whose merge it holds renamed.
  void RenameMergedCopies();

  Database db_;
  std::string folder_;
  FolderLock lock_;
  FolderLock targetLock_;
  Journal journal_;
  QFont paneFont_;
  PaneSet* panes_ = nullptr;
  std::unique_ptr<EditingCommands> editing_;
  std::unique_ptr<QueryCommands> queries_;
  QToolBar* toolbar_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, std::function<void()>> handlers_;
  LoadResult loadResult_;
  FileOps* fileOps_ = &SystemFileOps();
  bool layoutPending_ = false;
  bool closing_ = false;
  bool shownBefore_ = false;

  std::unique_ptr<VersionHistory> history_;
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* fileTimer_ = nullptr;
  QPushButton* mergeNow_ = nullptr;
  int busy_ = 0;
  // The conflict copies are offered from the first showing on.
  bool offering_ = false;
  // The conflict copies offered in this run.
  std::set<std::string> copiesSeen_;
  // Files named so that did not load, by the checksum they had: one still
  // being written is looked at again once it changed.
  std::map<std::string, uint64_t> notCopies_;
  // Those merged, waiting for a save: the number of edits that can be undone
  // once the merge was made (an undo below it takes the merge back).
  struct MergedCopy {
    std::string path;
    size_t undoCount;
  };
  std::vector<MergedCopy> mergedCopies_;
  // The file's checksum when its outside change was last told.
  uint64_t toldChecksum_ = 0;
  QLabel* status_ = nullptr;
};

}  // namespace lorelist
