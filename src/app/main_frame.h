#pragma once

#include <QFont>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "commands/editing.h"
#include "db/database.h"
#include "db/file_ops.h"
#include "db/folder_lock.h"
#include "db/journal.h"
#include "db/load.h"
#include "export/export.h"
#include "panes/pane_set.h"
#include "tools/queries.h"

class QAction;
class QMenu;
class QToolBar;

namespace lorelist {

// What the window asks of a file without the byte-order mark that looks
// like UTF-8 text: Yes reads it so.
QString Utf8Question(const std::string& path);

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
};

}  // namespace lorelist
