#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <cmath>

#include "app/command_line.h"
#include "app/command_table.h"
#include "app/dialogs.h"
#include "app/dictionaries.h"
#include "db/save.h"
#include "panes/modal.h"
#include "panes/text.h"
#include "tools/splash.h"

// The icons live in a static library: make sure its resources are linked in.
static void InitResources() {
  Q_INIT_RESOURCE(lorelist);
}

namespace lorelist {

// Above this many nodes, Print asks first.
constexpr size_t kPrintWithoutAsking = 20000;

namespace {

const char* const kCloseQuestion =
    "Changes have been made. Do you want to save them before exiting?";

QString Tooltip(const Command& command) {
  if (!command.prompt) return {};
  const QString prompt = QString::fromLatin1(command.prompt);
  const qsizetype newline = prompt.indexOf(u'\n');
  return newline < 0 ? prompt : prompt.mid(newline + 1);
}

// Keeps the load's message until it is known how the file is read: it
// quotes a line of the file, in the dictionary's encoding.
class HeldReporter : public LoadReporter {
 public:
  void ReportLoadError(const std::string& message, uint64_t) override { message_ = message; }
  void Clear() { message_.clear(); }
  void Show(Encoding encoding) const {
    if (!message_.empty()) Warn(nullptr, FromDbShown(message_, encoding));
  }

 private:
  std::string message_;
};

}  // namespace

QString FromFileMessage(const std::string& message) {
  return QFile::decodeName(QByteArray::fromStdString(message));
}

QString Utf8Question(const std::string& path) {
  return QStringLiteral(
             "%1 looks like UTF-8 text, but lacks the mark that makes a file a UTF-8 "
             "dictionary. Read it as UTF-8? Yes shows its letters as they were written, and the "
             "next Save adds the mark. No reads it as Windows-1252, as before.")
      .arg(FromFileMessage(path));
}

QFont CMainFrame::StartupFont() {
  // Times New Roman, characters 16 pixels high, normal weight.
  QFont font(QStringLiteral("Times New Roman"));
  font.setPixelSize(16);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::Serif, QFont::PreferDefault);
  return font;
}

CMainFrame::CMainFrame(const std::string& directory, QWidget* parent)
    : QMainWindow(parent), folder_(AbsolutePath(directory)), journal_(folder_) {
  InitResources();
  setAttribute(Qt::WA_DeleteOnClose, false);
  paneFont_ = StartupFont();

  panes_ = new PaneSet(db_, this);
  setCentralWidget(static_cast<QWidget*>(&panes_->Root()));
  panes_->SetPaneFont(paneFont_);

  BuildActions();
  BuildMenu();
  BuildToolbar();
  connect(panes_, &PaneSet::activePaneChanged, this, &CMainFrame::UpdateEditActions);
  CReference& workspace = panes_->Workspace();
  connect(&workspace, &QPlainTextEdit::undoAvailable, this, &CMainFrame::UpdateEditActions);
  connect(&workspace, &QPlainTextEdit::copyAvailable, this, &CMainFrame::UpdateEditActions);
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
          &CMainFrame::UpdateEditActions);
  UpdateEditActions();

  // Every command reaches its handler through one table of ids.
  RegisterFrameCommands();
  editing_ = std::make_unique<EditingCommands>(db_, *panes_, this);
  const std::pair<int, void (EditingCommands::*)()> editing[] = {
      {cmd::kNewQuotation, &EditingCommands::NewQuotationNode},
      {cmd::kNewCategory, &EditingCommands::NewCategoryNode},
      {cmd::kUpdateQuotation, &EditingCommands::UpdateQuotationNode},
      {cmd::kUpdateCategory, &EditingCommands::UpdateCategoryNode},
      {cmd::kDeleteQuotation, &EditingCommands::DeleteQuotationNode},
      {cmd::kDeleteCategory, &EditingCommands::DeleteCategoryNode},
      {cmd::kAddReference, &EditingCommands::AddReference},
      {cmd::kDeleteReference, &EditingCommands::DeleteReference},
      {cmd::kAddSubject, &EditingCommands::AddSubject},
      {cmd::kDeleteSubject, &EditingCommands::DeleteSubject},
      {cmd::kConvertToUnicode, &EditingCommands::ConvertToUnicode},
  };
  for (const auto& [id, command] : editing)
    SetHandler(id, [this, command = command] { (editing_.get()->*command)(); });
  RegisterMoveCommands();

  queries_ = std::make_unique<QueryCommands>(db_, *panes_, this);
  const std::pair<int, void (QueryCommands::*)()> queries[] = {
      {cmd::kSearch, &QueryCommands::Search},
      {cmd::kFindReference, &QueryCommands::FindReference},
      {cmd::kFindUnreferenced, &QueryCommands::FindUnreferenced},
      {cmd::kCountReferences, &QueryCommands::CountReferences},
      {cmd::kStatistics, &QueryCommands::ShowStatistics},
      {cmd::kSpecialCharacter, &QueryCommands::SpecialCharacter},
  };
  for (const auto& [id, command] : queries)
    SetHandler(id, [this, command = command] { (queries_.get()->*command)(); });

  CSplashWnd::ShowSplashScreen(this);
  history_ = std::make_unique<VersionHistory>(folder_);
  // Told once a run, from the history's own thread: the window shows it
  // when it is free.
  history_->SetReport([this](const std::string& reason) {
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
          Warn(this, QStringLiteral("The versions of this dictionary cannot be kept: %1. Editing "
                                    "and saving go on without them.")
                         .arg(FromFileMessage(reason)));
        },
        Qt::QueuedConnection);
  });
  journal_.SetMessageHook([this](const std::string& message) {
    Warn(isVisible() ? this : nullptr, FromFileMessage(message));
  });
  // A save there would destroy the database: it is not loaded, and every
  // save is refused with the same words (and, should the link be mended
  // meanwhile, asked about as a database loaded in part).
  if (const std::string refusal = SavedNameRefusal(folder_); !refusal.empty()) {
    Warn(nullptr, FromFileMessage(refusal));
    db_.partlyLoaded = true;
  } else {
    LoadDatabaseFile(HoldFolder());
    StartWatching();
  }

  db_.SetTitleHook(
      [this](const std::string& title) { setWindowTitle(QString::fromStdString(title)); });
  db_.SetHistoryHook([this] { UpdateHistoryActions(); });
  UpdateHistoryActions();
  setWindowTitle(QString::fromStdString(db_.Title()));
  // The frame holds the focus until the user picks a pane: typed characters
  // reach no pane, accelerators work. It takes no focus from a click, so a
  // click on a caption, a splitter bar or an empty part of the toolbar or
  // menu bar leaves the focus, and the active pane, where they were.
  setFocusPolicy(Qt::NoFocus);
}

CMainFrame::~CMainFrame() {
  // The views observe the database: they go first, so that no model ever
  // touches a store that is gone. Nothing hears of their going.
  QObject::disconnect(QApplication::clipboard(), nullptr, this, nullptr);
  QObject::disconnect(&panes_->Workspace(), nullptr, this, nullptr);
  delete watcher_;   // no change of the file is heard of any more
  history_.reset();  // its report needs the window
  db_.SetTitleHook(nullptr);
  db_.SetHistoryHook(nullptr);
  db_.SetJournal(nullptr);
  editing_.reset();
  queries_.reset();
  delete panes_;
  panes_ = nullptr;
  delete takeCentralWidget();
}

QAction* CMainFrame::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::BuildActions() {
  QList<QKeySequence> taken;
  std::map<int, QList<QKeySequence>> keys;
  for (const Accelerator& accelerator : Accelerators()) {
    const QKeySequence sequence(QString::fromLatin1(accelerator.keys));
    if (taken.contains(sequence)) continue;  // the first entry for these keys wins
    taken.append(sequence);
    keys[accelerator.id].append(sequence);
  }
  AcceleratorGuard::Instance().SetKeys(taken);

  for (const Command& command : Commands()) {
    if (command.id == cmd::kToolbar) continue;  // the toolbar's own toggle, made with it
    auto* action = new QAction(this);
    if (command.itemText) action->setText(QString::fromLatin1(command.itemText));
    action->setToolTip(Tooltip(command));
    action->setShortcuts(keys[command.id]);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setData(command.id);
    if (command.icon) action->setIcon(QIcon(QStringLiteral(":/icons/") + command.icon));
    connect(action, &QAction::triggered, this, [this, id = command.id] { OnCommand(id); });
    addAction(action);  // active whether or not a menu or toolbar shows it
    actions_[command.id] = action;
  }
}

void CMainFrame::BuildMenu() {
  toolbar_ = new QToolBar(QStringLiteral("Toolbar"), this);
  QAction* toggle = toolbar_->toggleViewAction();
  toggle->setText(QStringLiteral("&Toolbar"));
  toggle->setToolTip(Tooltip(*FindCommand(cmd::kToolbar)));
  toggle->setData(cmd::kToolbar);
  actions_[cmd::kToolbar] = toggle;

  for (const Popup& popup : Menu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popup.title));
    for (int id : popup.items) {
      if (id == 0)
        menu->addSeparator();
      else
        menu->addAction(actions_.at(id));
    }
  }
  // Open Recent is a submenu, filled each time it opens.
  recentMenu_ = new QMenu(this);
  actions_.at(cmd::kOpenRecent)->setMenu(recentMenu_);
  connect(recentMenu_, &QMenu::aboutToShow, this, &CMainFrame::FillRecentMenu);
  FillRecentMenu();
}

void CMainFrame::FillRecentMenu() {
  recentMenu_->clear();
  const std::vector<std::string> recent = DictionarySettings().Recent();
  for (const std::string& folder : recent) {
    QString text = QDir::toNativeSeparators(FromFileMessage(folder));
    QAction* item = recentMenu_->addAction(text.replace(u'&', QStringLiteral("&&")));
    connect(item, &QAction::triggered, this, [this, folder] { OpenInNewWindow(folder); });
  }
  if (!recent.empty()) recentMenu_->addSeparator();
  recentMenu_->addAction(actions_.at(cmd::kClearRecent));
  actions_.at(cmd::kClearRecent)->setEnabled(!recent.empty());
}

void CMainFrame::OpenInNewWindow(const std::string& folder) {
  // A process of its own: one window, one database, one lock, one journal.
  QString why;
  if (!StartEditor(folder, &why))
    Warn(this, QStringLiteral("Cannot start a new Lorelist window on %1: %2")
                   .arg(QDir::toNativeSeparators(FromFileMessage(folder)), why));
}

void CMainFrame::NewDictionary() {
  const QString folder = Modal::Current().ChooseToOpen(this, QStringLiteral("New Dictionary"),
                                                       QDir::homePath(), false);
  if (!folder.isEmpty()) OpenInNewWindow(QFile::encodeName(folder).toStdString());
}

void CMainFrame::OpenDictionary() {
  const QString chosen = Modal::Current().ChooseToOpen(this, QStringLiteral("Open Dictionary"),
                                                       QFile::decodeName(folder_.c_str()), true);
  if (chosen.isEmpty()) return;
  std::string refusal;
  const std::string folder = DictionaryFolder(QFile::encodeName(chosen).toStdString(), refusal);
  if (folder.empty()) {
    Warn(this, FromFileMessage(refusal));
    return;
  }
  OpenInNewWindow(folder);
}

void CMainFrame::BuildToolbar() {
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setMovable(true);
  toolbar_->setFloatable(true);
  toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
  for (int id : ToolbarButtons()) {
    if (id == 0)
      toolbar_->addSeparator();
    else
      toolbar_->addAction(actions_.at(id));
  }
  addToolBar(Qt::TopToolBarArea, toolbar_);
}

CMainFrame::Holding CMainFrame::HoldFolder() {
  // The folder, and the one its Florilex.txt leads to, where saves write.
  const std::string target = DirectoryOf(FollowLinks(JoinPath(folder_, kDatabaseFile)));
  FolderLock* locks[] = {&lock_, &targetLock_};
  const std::string folders[] = {folder_, AbsolutePath(target)};
  const int count = SameFile(folders[0], folders[1]) ? 1 : 2;
  bool shared = false;
  for (int i = 0; i < count; ++i) {
    switch (locks[i]->Acquire(folders[i])) {
      case FolderLock::State::kHeld:
        break;
      case FolderLock::State::kHeldElsewhere:
        shared = true;
        break;
      case FolderLock::State::kUnavailable:
        // Nobody can tell: the journal of a window that is alive could be
        // taken for one a crash left.
        Warn(nullptr, FromFileMessage(UnlockableWarning(folders[i], locks[i]->Reason())));
        return Holding::kUnlocked;
    }
  }
  if (!shared) return Holding::kAlone;
  // Another window keeps the journal while it is there.
  Warn(nullptr, QString::fromLatin1(kAlreadyOpenWarning));
  return Holding::kShared;
}

void CMainFrame::LoadIntoPanes(const std::function<void()>& load) {
  // The views hear of the load as one reset, not a million insertions.
  TreeModel& quotations = panes_->Quotations().Model();
  TreeModel& categories = panes_->Categories().Model();
  quotations.SuspendUpdates();
  categories.SuspendUpdates();
  panes_->Subjects().SuspendUpdates();
  load();
  panes_->Subjects().ResumeUpdates();
  categories.ResumeUpdates();
  quotations.ResumeUpdates();
}

void CMainFrame::LoadDatabaseFile(Holding holding) {
  LoadIntoPanes([this, holding] {
    // By its full path: every message about it says where it is.
    const std::string path = DatabasePath();
    HeldReporter reporter;
    loadResult_ = LoadDatabase(db_, path, &reporter);
    // Asked before the journal is offered: one written on a UTF-8 reading
    // applies only to that reading.
    if (loadResult_.looksLikeUtf8 &&
        Modal::Current().Ask(nullptr, Utf8Question(path), false) == Modal::Answer::kYes) {
      reporter.Clear();
      loadResult_ = LoadDatabase(db_, path, &reporter, Encoding::kUtf8);
    }
    reporter.Show(db_.encoding);
    if (loadResult_.status == LoadResult::kMissing)
      Tell(nullptr, FromFileMessage(NewDictionaryNotice(folder_)));
    else if (HoldsDictionary(folder_))
      DictionarySettings().Opened(folder_);
    if (holding == Holding::kAlone) {
      journal_.Recover(db_, [](size_t changes) {
        return Modal::Current().Ask(nullptr, QString::fromStdString(RestoreQuestion(changes)),
                                    false) == Modal::Answer::kYes;
      });
      db_.SetJournal(&journal_);
    } else if (holding == Holding::kShared) {
      journal_.WaitForFolder(
          [this] { return lock_.Alone() && (!targetLock_.Held() || targetLock_.Alone()); });
      db_.SetJournal(&journal_);
    }
  });
  KeepVersion(Version::kLoaded, 0);
}

void CMainFrame::OnCommand(int id) {
  auto handler = handlers_.find(id);
  if (handler != handlers_.end() && handler->second) handler->second();
}

void CMainFrame::RegisterFrameCommands() {
  // The Edit group acts on the Workspace while it is the active pane.
  auto inWorkspace = [this](void (QPlainTextEdit::*edit)()) {
    return [this, edit] {
      if (panes_->ActivePane() == PaneSet::Pane::kWorkspace) (panes_->Workspace().*edit)();
    };
  };
  const std::pair<int, std::function<void()>> commands[] = {
      {cmd::kNewDictionary, [this] { NewDictionary(); }},
      {cmd::kOpenDictionary, [this] { OpenDictionary(); }},
      {cmd::kOpenRecent, [] {}},  // its submenu holds the commands
      {cmd::kClearRecent, [] { DictionarySettings().ClearRecent(); }},
      {cmd::kSave, [this] { Save(); }},
      {cmd::kSaveCopyAs, [this] { SaveCopyAs(); }},
      {cmd::kMergeDictionary, [this] { MergeDictionary(); }},
      {cmd::kEarlierVersions, [this] { EarlierVersions(); }},
      {cmd::kExportHtml, [this] { Export(ExportFormat::kHtml); }},
      {cmd::kExportMarkdown, [this] { Export(ExportFormat::kMarkdown); }},
      {cmd::kPrint, [this] { Print(); }},
      {cmd::kExit, [this] { close(); }},
      {cmd::kUndo, inWorkspace(&QPlainTextEdit::undo)},
      {cmd::kCut, inWorkspace(&QPlainTextEdit::cut)},
      {cmd::kCopy, inWorkspace(&QPlainTextEdit::copy)},
      {cmd::kPaste, inWorkspace(&QPlainTextEdit::paste)},
      {cmd::kSelectAll, [this] { panes_->Workspace().SelectAllCommand(); }},
      {cmd::kFont, [this] { ChangeFont(); }},
      {cmd::kAbout, [this] { ShowAbout(); }},
      {cmd::kHelpTopics, [this] { ShowHelp(); }},
      {cmd::kHelp, [this] { ShowHelp(); }},
      {cmd::kContextHelp, [this] { ShowHelp(); }},
      {cmd::kHelpUsing, [this] { ShowHelp(); }},
  };
  for (const auto& [id, handler] : commands) SetHandler(id, handler);
}

bool CMainFrame::Save() {
  Busy busy(*this);
  bool merge = false;
  const bool saved = SaveWith([this, &merge](const std::string& q) {
    if (q != kChangedOutsideQuestion)
      return Modal::Current().Ask(this, QString::fromLatin1(q), false) == Modal::Answer::kYes;
    // A third answer: their changes and this window's, both kept.
    const int answer = Modal::Current().Choose(
        this, QString::fromLatin1(q),
        {QStringLiteral("Merge"), QStringLiteral("Yes"), QStringLiteral("No")}, 2);
    merge = answer == 0;
    return answer == 1;
  });
  return merge ? MergeOutsideChanges() : saved;
}

bool CMainFrame::SaveWith(const AskSave& ask) {
  // The version this save follows.
  const uint64_t parent = db_.disk.summed ? db_.disk.checksum : 0;
  // Busy while it writes, or waits for a save of another window to end;
  // the questions are asked with the usual cursor.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const SaveResult result = SaveDatabase(db_, folder_, *fileOps_, [&ask](const std::string& q) {
    QApplication::restoreOverrideCursor();
    const bool yes = ask(q);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return yes;
  });
  QApplication::restoreOverrideCursor();
  if (!result.message.empty()) Warn(this, FromFileMessage(result.message));
  if (result.ok) {
    // A new dictionary exists from its first save on.
    DictionarySettings().Opened(folder_);
    KeepVersion(Version::kSaved, parent);
    toldChecksum_ = 0;  // the file is this window's again: any change of it is news
    if (mergeNow_ && !mergeNow_->isHidden()) SetStatus({});
    RenameMergedCopies();
  }
  return result.ok;
}

bool CMainFrame::IsTheDatabaseFile(const std::string& path) {
  if (!SameFile(path, JoinPath(folder_, kDatabaseFile))) return false;
  Warn(this, QStringLiteral("That is the database file itself: Save writes it, with its backup."));
  return true;
}

void CMainFrame::SaveCopyAs() {
  const QString chosen = Modal::Current().ChooseFileToWrite(
      this, QStringLiteral("Save Copy As"), QFile::decodeName(folder_.c_str()),
      QStringLiteral("Florilex copy.txt"), QStringLiteral("Text files (*.txt);;All files (*)"));
  if (chosen.isEmpty()) return;
  const std::string path = QFile::encodeName(chosen).toStdString();
  if (IsTheDatabaseFile(path)) return;
  const SaveResult result = WriteDatabaseFile(db_, path, *fileOps_);
  if (!result.ok) Warn(this, FromFileMessage(result.message));
}

void CMainFrame::Export(ExportFormat format) {
  const bool html = format == ExportFormat::kHtml;
  const QString chosen = Modal::Current().ChooseFileToWrite(
      this, html ? QStringLiteral("Export as HTML") : QStringLiteral("Export as Markdown"),
      QFile::decodeName(folder_.c_str()),
      html ? QStringLiteral("Florilex.html") : QStringLiteral("Florilex.md"),
      html ? QStringLiteral("HTML files (*.html *.htm);;All files (*)")
           : QStringLiteral("Markdown files (*.md);;All files (*)"));
  if (chosen.isEmpty()) return;
  const std::string path = QFile::encodeName(chosen).toStdString();
  if (IsTheDatabaseFile(path)) return;
  Busy busy(*this);  // it reads the database while events are handled
  QProgressDialog progress(QStringLiteral("Exporting the dictionary..."), QStringLiteral("Cancel"),
                           0, 100, this);
  progress.setWindowTitle(QString::fromLatin1(kAppTitle));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(800);
  progress.setAutoReset(false);
  const SaveResult result =
      ExportToFile(db_, format, kDatabaseFile, path, [&progress](double share) {
        progress.setValue(static_cast<int>(share * 100));
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
      });
  progress.reset();
  // A cancelled export leaves no file and needs no word.
  if (!result.ok && !progress.wasCanceled()) Warn(this, FromFileMessage(result.message));
}

void CMainFrame::Print() {
  const size_t nodes = db_.quotations.GetCount() + db_.categories.GetCount();
  if (nodes > kPrintWithoutAsking &&
      Modal::Current().Ask(this,
                           QStringLiteral("The printable dictionary of these %1 nodes is long: "
                                          "preparing it may take a while and much memory. Go on?")
                               .arg(nodes),
                           false) != Modal::Answer::kYes)
    return;
  StringSink html;
  ExportHtml(db_, kDatabaseFile, html);
  QTextDocument document;
  document.setHtml(
      QString::fromUtf8(html.Text().data(), static_cast<qsizetype>(html.Text().size())));
  Modal::Current().Print(this, document);
}

bool CMainFrame::CanClose() {
  if (db_.IsChanged()) {
    switch (Modal::Current().Ask(this, QString::fromLatin1(kCloseQuestion), true)) {
      case Modal::Answer::kCancel:
        return false;
      case Modal::Answer::kYes:
        // Any failure keeps the window open with the database intact: closing
        // would lose the changes the user asked to keep.
        if (!Save()) return false;
        break;
      case Modal::Answer::kNo:
        break;
    }
  }
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (closing_ || !CanClose()) {
    if (!closing_) event->ignore();
    return;
  }
  closing_ = true;
  // Saved, or given up at the guard's No: nothing to recover.
  db_.SetJournal(nullptr);
  journal_.Discard();
  db_.Clear();  // releases every category record
  event->accept();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (!isMinimized()) RequestLayout();
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Restoring from a minimised window re-applies the proportions too.
  if (event->type() == QEvent::WindowStateChange && !isMinimized()) RequestLayout();
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownBefore_) {
    shownBefore_ = true;
    // No pane has the focus until the user picks one.
    setFocus(Qt::OtherFocusReason);
    // Conflict copies are offered once the window is there to merge them.
    QTimer::singleShot(0, this, [this] {
      offering_ = true;
      OfferConflictCopies();
    });
  }
  RequestLayout();
}

void CMainFrame::RequestLayout() {
  if (layoutPending_) return;
  layoutPending_ = true;
  // Applied once the resize has reached every child, before the next paint.
  QTimer::singleShot(0, this, &CMainFrame::ApplyLayout);
}

void CMainFrame::ApplyLayout() {
  if (!layoutPending_) return;
  layoutPending_ = false;
  const int menuHeight = menuBar()->isVisible() ? menuBar()->height() : 0;
  panes_->ApplyLayout(width(), height() - menuHeight);
  update();
}

void CMainFrame::RegisterMoveCommands() {
  SetHandler(cmd::kUndoEdit, [this] { editing_->Undo(); });
  SetHandler(cmd::kRedoEdit, [this] { editing_->Redo(); });
  const std::pair<int, Direction> directions[] = {{cmd::kMoveUp, Direction::kUp},
                                                  {cmd::kMoveDown, Direction::kDown},
                                                  {cmd::kMoveOut, Direction::kOut},
                                                  {cmd::kMoveIn, Direction::kIn}};
  const int quotationMoves[] = {cmd::kMoveQuotationUp, cmd::kMoveQuotationDown,
                                cmd::kMoveQuotationOut, cmd::kMoveQuotationIn};
  const int categoryMoves[] = {cmd::kMoveCategoryUp, cmd::kMoveCategoryDown, cmd::kMoveCategoryOut,
                               cmd::kMoveCategoryIn};
  for (size_t i = 0; i < std::size(directions); ++i) {
    const Direction direction = directions[i].second;
    SetHandler(quotationMoves[i],
               [this, direction] { editing_->Move(Tree::kQuotations, direction); });
    SetHandler(categoryMoves[i],
               [this, direction] { editing_->Move(Tree::kCategories, direction); });
    // The keys move in the tree pane that last had the focus.
    SetHandler(directions[i].first, [this, direction] {
      if (const std::optional<Tree> tree = panes_->LastTree()) editing_->Move(*tree, direction);
    });
  }
  connect(&panes_->Quotations(), &TreeView::nodeDropped, this,
          [this](HTREEITEM node, HTREEITEM parent, int row) {
            editing_->MoveTo(Tree::kQuotations, node, parent, row);
          });
  connect(&panes_->Categories(), &TreeView::nodeDropped, this,
          [this](HTREEITEM node, HTREEITEM parent, int row) {
            editing_->MoveTo(Tree::kCategories, node, parent, row);
          });
}

void CMainFrame::UpdateHistoryActions() {
  // "Undo Delete Node": the item's own words, the edit's name, its keys.
  const auto name = [this](int id, const std::string& edit) {
    const QString item = QString::fromLatin1(FindCommand(id)->itemText);
    const qsizetype tab = item.indexOf(QLatin1Char('\t'));
    QString text = item.left(tab);
    if (!edit.empty()) text += QLatin1Char(' ') + QString::fromStdString(edit);
    actions_.at(id)->setText(text + item.mid(tab));
    actions_.at(id)->setEnabled(!edit.empty());
  };
  // A conflict copy whose merge is undone is offered again at the next start.
  std::erase_if(mergedCopies_,
                [this](const MergedCopy& copy) { return db_.UndoCount() < copy.undoCount; });
  name(cmd::kUndoEdit, db_.UndoName());
  name(cmd::kRedoEdit, db_.RedoName());
  // Only a conversion, its undo or its redo changes the encoding.
  actions_.at(cmd::kConvertToUnicode)->setEnabled(db_.encoding == Encoding::kWindows1252);
}

void CMainFrame::UpdateEditActions() {
  const bool active = panes_->ActivePane() == PaneSet::Pane::kWorkspace;
  CReference& workspace = panes_->Workspace();
  const bool selection = workspace.textCursor().hasSelection();
  actions_.at(cmd::kUndo)->setEnabled(active && workspace.document()->isUndoAvailable());
  actions_.at(cmd::kCut)->setEnabled(active && selection);
  actions_.at(cmd::kCopy)->setEnabled(active && selection);
  actions_.at(cmd::kPaste)->setEnabled(active && workspace.canPaste());
}

QFont CMainFrame::ChooserStartupFont() const {
  // The chooser lists installed faces and sizes in points: the start-up font
  // as this system renders it, the face that stands for it at the size that
  // gives its pixel height.
  const QFont startup = StartupFont();
  const QFontInfo shown(startup);
  QFont offered(shown.family());
  offered.setStyleName(shown.styleName());
  offered.setWeight(startup.weight());
  offered.setItalic(false);
  const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
  offered.setPointSizeF(startup.pixelSize() * 72.0 / dpi);
  return offered;
}

void CMainFrame::ChangeFont() {
  // The chooser opens on the start-up font every time.
  const QFont offered = ChooserStartupFont();
  QFont chosen;
  if (!Modal::Current().ChooseFont(this, offered, chosen)) return;
  // OK on the font offered, unchanged, changes nothing.
  auto same = [](const QFont& a, const QFont& b) {
    return a.family() == b.family() && std::abs(a.pointSizeF() - b.pointSizeF()) < 0.05 &&
           a.weight() == b.weight() && a.italic() == b.italic() && a.underline() == b.underline() &&
           a.strikeOut() == b.strikeOut();
  };
  if (same(chosen, offered)) return;
  paneFont_ = chosen;
  panes_->SetPaneFont(paneFont_);
}

void CMainFrame::ShowHelp() {
  CHelpDlg dialog(this);
  Modal::Current().Run(dialog);
}

void CMainFrame::ShowAbout() {
  CAboutDlg dialog(this);
  Modal::Current().Run(dialog);
}

}  // namespace lorelist
