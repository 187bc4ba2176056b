// The window's side of two versions of one dictionary: the file changed
// outside the window, conflict copies left by sync services, another copy
// merged, earlier versions compared and taken back. Every merge is the
// engine's (db/merge.h); the window chooses the versions and asks.

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "app/main_frame.h"
#include "db/conflict_copies.h"
#include "panes/modal.h"
#include "panes/text.h"
#include "tools/merge_view.h"

namespace lorelist {

namespace {

// A change of the file is looked at once the writes that make it are over.
constexpr int kSettleMs = 300;

// What the changes come to, in counts: "2 nodes added, 1 text changed".
QString Counts(const std::vector<Change>& changes, bool takenOnly) {
  static const char* const kWords[][2] = {
      {"node added", "nodes added"},
      {"node deleted", "nodes deleted"},
      {"text changed", "texts changed"},
      {"node moved", "nodes moved"},
      {"reference added", "references added"},
      {"reference deleted", "references deleted"},
      {"subject entry added", "subject entries added"},
      {"subject entry deleted", "subject entries deleted"},
      {"encoding changed", "encoding changed"},
  };
  int counts[std::size(kWords)] = {};
  for (const Change& change : changes)
    if (!takenOnly || change.take) ++counts[change.kind];
  QStringList parts;
  for (size_t kind = 0; kind < std::size(kWords); ++kind)
    if (counts[kind])
      parts << QStringLiteral("%1 %2")
                   .arg(counts[kind])
                   .arg(QString::fromLatin1(kWords[kind][counts[kind] == 1 ? 0 : 1]));
  return parts.isEmpty() ? QStringLiteral("no differences") : parts.join(QStringLiteral(", "));
}

QString When(int64_t seconds) {
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

QString NameOf(const std::string& path) {
  return FromFileMessage(BaseName(path));
}

// Where each node stands in its tree, in pre-order, and back.
uint32_t PositionOf(const TreeStore& tree, HTREEITEM node) {
  uint32_t position = 0;
  for (HTREEITEM h = tree.GetRootItem(); h; ++position) {
    if (h == node) return position;
    if (NextNode(h, tree) == kEndOfWalk) break;
  }
  return kNone;
}
HTREEITEM NodeAtPosition(const TreeStore& tree, uint32_t position) {
  HTREEITEM h = tree.GetRootItem();
  for (uint32_t i = 0; h && i < position; ++i)
    if (NextNode(h, tree) == kEndOfWalk) return nullptr;
  return h;
}

TreeView& PaneOf(PaneSet& panes, Tree tree) {
  if (tree == Tree::kQuotations) return panes.Quotations();
  return panes.Categories();
}

// What a tree pane shows: its current node, its expanded ones, its scroll.
struct PaneView {
  uint32_t current = kNone;
  std::vector<uint32_t> expanded;
  int scroll = 0;
};

}  // namespace

std::string CMainFrame::DatabasePath() const {
  return JoinPath(folder_, kDatabaseFile);
}

QString CMainFrame::StatusLine() const {
  return status_ ? status_->text() : QString();
}

void CMainFrame::SetStatus(const QString& text, bool offerMerge) {
  // Made at the first word to say: till then the panes have the window's
  // whole height.
  if (!status_) {
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("fileStatus"));
    mergeNow_ = new QPushButton(QStringLiteral("Merge Now"), this);
    mergeNow_->setToolTip(QStringLiteral(
        "Merge the changes made to Florilex.txt outside this window into it, and save"));
    connect(mergeNow_, &QPushButton::clicked, this, [this] { MergeOutsideChanges(); });
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(mergeNow_);
    statusBar()->show();  // made after the window was shown
  }
  status_->setText(text);
  mergeNow_->setVisible(offerMerge);
}

void CMainFrame::KeepVersion(Version::How how, uint64_t parent) {
  if (db_.disk.exists && db_.disk.summed) history_->Keep(how, db_.disk, parent);
}

void CMainFrame::StartWatching() {
  watcher_ = new QFileSystemWatcher(this);
  fileTimer_ = new QTimer(this);
  fileTimer_->setSingleShot(true);
  fileTimer_->setInterval(kSettleMs);
  connect(watcher_, &QFileSystemWatcher::fileChanged, fileTimer_, qOverload<>(&QTimer::start));
  connect(watcher_, &QFileSystemWatcher::directoryChanged, fileTimer_, qOverload<>(&QTimer::start));
  connect(fileTimer_, &QTimer::timeout, this, &CMainFrame::CheckFile);
  // The folder tells of a copy appearing and of the file replaced by a
  // rename, which the file's own watch does not outlive.
  watcher_->addPath(QFile::decodeName(folder_.c_str()));
  watcher_->addPath(QFile::decodeName(DatabasePath().c_str()));
}

bool CMainFrame::Quiet() const {
  return busy_ == 0 && !closing_ && !QApplication::activeModalWidget() &&
         !QApplication::activePopupWidget();
}

void CMainFrame::CheckFile() {
  if (!Quiet()) {
    fileTimer_->start();  // once the window is free
    return;
  }
  const QString path = QFile::decodeName(DatabasePath().c_str());
  if (!watcher_->files().contains(path)) watcher_->addPath(path);
  OfferConflictCopies();
  if (!ChangedSince(db_.disk, DatabasePath())) return;
  const FileStamp seen = StampOfFile(DatabasePath());
  // Each change is told once, however many times the folder stirs.
  if (seen.summed && seen.checksum == toldChecksum_) return;
  toldChecksum_ = seen.checksum;
  // The Workspace's text is the user's and stays as it is.
  if (!db_.IsChanged() && !db_.partlyLoaded)
    Reload();
  else
    SetStatus(QStringLiteral("Florilex.txt was changed outside this window, which has unsaved "
                             "edits. Merge Now takes those changes into them and saves."),
              true);
}

void CMainFrame::Reload() {
  Busy busy(*this);
  // Read aside first: a file caught half written by a sync is not loaded,
  // and its nodes tell where the panes' selection went.
  Database fresh;
  const LoadResult read = LoadDatabase(fresh, DatabasePath(), nullptr, db_.disk.encoding);
  if (read.status != LoadResult::kComplete) {
    SetStatus(QStringLiteral("Florilex.txt was changed outside this window but cannot be read "
                             "now: %1 The window keeps the dictionary it has.")
                  .arg(read.status == LoadResult::kMissing
                           ? QStringLiteral("it is gone.")
                           : FromDbShown(read.message, fresh.encoding)));
    return;
  }
  Matching matching;
  MatchDatabases(db_, fresh, matching, CompareInUtf8({&db_, &fresh}));
  const Tree trees[] = {Tree::kQuotations, Tree::kCategories};
  PaneView views[2];
  for (int t = 0; t < 2; ++t) {
    TreeView& pane = PaneOf(*panes_, trees[t]);
    const TreeStore& tree = db_.Of(trees[t]);
    const TreeMatching& match = matching.Of(trees[t]);
    const auto into = [&](HTREEITEM node) {
      const uint32_t at = PositionOf(tree, node);
      return at == kNone ? kNone : match.aToB[at];
    };
    views[t].current = pane.GetCurrentItem() ? into(pane.GetCurrentItem()) : kNone;
    views[t].scroll = pane.verticalScrollBar()->value();
    // Only the branches shown are walked: what is expanded below a
    // collapsed one is not seen.
    std::vector<HTREEITEM> open = {nullptr};
    while (!open.empty()) {
      const HTREEITEM parent = open.back();
      open.pop_back();
      for (HTREEITEM child = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); child;
           child = tree.GetNextSiblingItem(child))
        if (tree.GetChildItem(child) && pane.isExpanded(pane.Model().IndexOf(child))) {
          open.push_back(child);
          if (const uint32_t at = into(child); at != kNone) views[t].expanded.push_back(at);
        }
    }
  }
  // Nothing unsaved: the journal's edits, if any were undone, are moot.
  db_.SetJournal(nullptr);
  journal_.Discard();
  const Encoding unmarked = db_.disk.encoding;
  LoadIntoPanes(
      [this, unmarked] { loadResult_ = LoadDatabase(db_, DatabasePath(), nullptr, unmarked); });
  db_.SetJournal(&journal_);
  KeepVersion(Version::kLoaded, 0);
  toldChecksum_ = 0;
  // Changed again between the two readings: the next look settles it.
  const bool same = db_.disk.checksum == fresh.disk.checksum;
  for (int t = 0; t < 2 && same; ++t) {
    TreeView& pane = PaneOf(*panes_, trees[t]);
    const TreeStore& tree = db_.Of(trees[t]);
    std::sort(views[t].expanded.begin(), views[t].expanded.end());
    for (uint32_t at : views[t].expanded)
      if (HTREEITEM node = NodeAtPosition(tree, at)) pane.expand(pane.Model().IndexOf(node));
    if (HTREEITEM node =
            views[t].current == kNone ? nullptr : NodeAtPosition(tree, views[t].current))
      pane.SelectItem(node);
    pane.verticalScrollBar()->setValue(views[t].scroll);
  }
  SetStatus(QStringLiteral("Florilex.txt was changed outside this window and loaded again at %1.")
                .arg(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat)));
}

bool CMainFrame::MergeOutsideChanges() {
  Busy busy(*this);
  Database theirs;
  const LoadResult read = LoadDatabase(theirs, DatabasePath(), nullptr, db_.disk.encoding);
  if (read.status != LoadResult::kComplete) {
    Warn(this, read.status == LoadResult::kMissing
                   ? QStringLiteral("Florilex.txt was removed outside this window: there is "
                                    "nothing to merge. Save writes it again.")
                   : QStringLiteral("The changed Florilex.txt cannot be merged: %1")
                         .arg(FromDbShown(read.message, theirs.encoding)));
    return false;
  }
  // Theirs is about to be replaced: kept, it stays among the versions.
  history_->Keep(Version::kLoaded, theirs.disk);
  // The base: what this window loaded or last saved, as the history kept it.
  history_->Wait();
  Database base;
  const std::optional<Version> kept = history_->Find(db_.disk.checksum);
  const bool threeWay = kept && history_->Load(*kept, base).status == LoadResult::kComplete;
  MergePlan plan(threeWay ? base : db_, db_, theirs);
  if (!plan.changes.empty()) {
    if ((!threeWay || plan.Conflicts() > 0) &&
        !RunMergeView(plan, theirs,
                      threeWay ? QStringLiteral("Florilex.txt as changed outside this window, "
                                                "merged into this window's database")
                               : QStringLiteral("Florilex.txt as changed outside this window. The "
                                                "version this window loaded is not kept: tick "
                                                "each difference to take.")))
      return false;
    if (std::any_of(plan.changes.begin(), plan.changes.end(),
                    [](const Change& c) { return c.take; }) &&
        !ApplyPlan(plan, Database::kGroupEdits[0]))
      return false;
  }
  // The file merged is replaced without a question; one changed again
  // since is not.
  const uint64_t merged = theirs.disk.checksum;
  bool again = false;
  const bool saved = SaveWith([this, merged, &again](const std::string& q) {
    if (q == kChangedOutsideQuestion) {
      const FileStamp now = StampOfFile(DatabasePath());
      again = !(now.summed && now.checksum == merged);
      return !again;
    }
    return Modal::Current().Ask(this, QString::fromLatin1(q), false) == Modal::Answer::kYes;
  });
  if (again)
    Warn(this, QStringLiteral("Florilex.txt was changed outside this window again while its "
                              "changes were merged. Save again to merge those too."));
  if (saved && !plan.changes.empty())
    Tell(this, QStringLiteral("The changes made to Florilex.txt outside this window were merged "
                              "and saved: %1.")
                   .arg(Counts(plan.changes, true)));
  return saved;
}

void CMainFrame::OfferConflictCopies() {
  if (!offering_ || !Quiet()) return;
  Busy busy(*this);
  for (const std::string& path : ConflictCopies(folder_)) {
    if (copiesSeen_.count(path)) continue;
    const FileStamp file = StampOfFile(path);
    const auto refused = notCopies_.find(path);
    if (refused != notCopies_.end() && refused->second == file.checksum) continue;
    Database other;
    // Only a dictionary counts: anything else of the name is left alone.
    if (!LoadOther(path, other, true)) {
      notCopies_[path] = file.checksum;
      continue;
    }
    copiesSeen_.insert(path);
    const QString question =
        QStringLiteral(
            "%1 left a copy of Florilex.txt beside it, \"%2\", with changes made "
            "elsewhere while this one was changed too. Merge them into this "
            "dictionary? Later asks again at the next start.")
            .arg(QString::fromLatin1(ConflictCopyService(BaseName(path))), NameOf(path));
    if (Modal::Current().Choose(this, question, {QStringLiteral("Merge"), QStringLiteral("Later")},
                                1) == 0)
      MergeOther(path, other, true);
  }
}

bool CMainFrame::LoadOther(const std::string& path, Database& other, bool quiet) {
  LoadResult read = LoadDatabase(other, path, nullptr, db_.disk.encoding);
  if (!quiet && read.looksLikeUtf8 &&
      Modal::Current().Ask(this, Utf8Question(path), false) == Modal::Answer::kYes)
    read = LoadDatabase(other, path, nullptr, Encoding::kUtf8);
  if (read.status == LoadResult::kComplete) return true;
  if (!quiet)
    Warn(this, QStringLiteral("%1 cannot be merged: it is not a dictionary that loads whole. %2")
                   .arg(FromFileMessage(path), read.status == LoadResult::kMissing
                                                   ? QStringLiteral("There is no such file.")
                                                   : FromDbShown(read.message, other.encoding)));
  return false;
}

bool CMainFrame::MergeOther(const std::string& path, const Database& other, bool conflictCopy) {
  Busy busy(*this);
  // The base is looked for among the versions this database grew from:
  // slow on a large dictionary, so off the window's thread. Input waits
  // meanwhile: the database is read there.
  history_->Wait();
  std::optional<Version> found;
  {
    QProgressDialog progress(QStringLiteral("Looking for the version both copies come from..."),
                             QString(), 0, 0, this);
    progress.setWindowTitle(QString::fromLatin1(kAppTitle));
    progress.setMinimumDuration(500);
    QEventLoop loop;
    std::thread finder([&] {
      found = history_->BaseFor(db_, other);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    finder.join();
  }
  Database base;
  const bool threeWay = found && history_->Load(*found, base).status == LoadResult::kComplete;
  MergePlan plan(threeWay ? base : db_, db_, other);
  if (plan.changes.empty()) {
    Tell(this, QStringLiteral("%1 holds nothing that this dictionary lacks.").arg(NameOf(path)));
    if (conflictCopy) MarkMerged(path);
    return false;
  }
  const QString what = threeWay
                           ? QStringLiteral(
                                 "%1 merged into this dictionary, against the version both come "
                                 "from (kept %2)")
                                 .arg(NameOf(path), When(found->kept))
                           : QStringLiteral(
                                 "%1 compared with this dictionary: no version both come from is "
                                 "kept, so each difference is yours to tick.")
                                 .arg(NameOf(path));
  if (!RunMergeView(plan, other, what)) return false;
  const bool made = ApplyPlan(plan, Database::kGroupEdits[0]);
  if (conflictCopy) MarkMerged(path);
  return made;
}

void CMainFrame::MergeDictionary() {
  Busy busy(*this);
  const QString chosen = Modal::Current().ChooseToOpen(this, QStringLiteral("Merge Dictionary"),
                                                       QFile::decodeName(folder_.c_str()), true);
  if (chosen.isEmpty()) return;
  const std::string path = QFile::encodeName(chosen).toStdString();
  if (SameFile(path, DatabasePath())) {
    Warn(this, QStringLiteral("That is this dictionary's own file: choose another copy of it."));
    return;
  }
  Database other;
  if (LoadOther(path, other, false))
    MergeOther(path, other,
               ConflictCopyService(BaseName(path)) && SameFile(DirectoryOf(path), folder_));
}

void CMainFrame::EarlierVersions() {
  Busy busy(*this);
  history_->Wait();
  const std::vector<Version> versions = history_->Versions();
  if (versions.empty()) {
    Tell(this, QStringLiteral("No earlier version of this dictionary is kept yet: one is kept "
                              "each time it is loaded or saved."));
    return;
  }
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Earlier Versions"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(
      QStringLiteral("The versions of Florilex.txt kept when it was loaded or saved, newest "
                     "first. Compare shows the differences; those you tick are taken back."),
      &dialog));
  auto* list = new QTreeWidget(&dialog);
  list->setObjectName(QStringLiteral("versions"));
  list->setRootIsDecorated(false);
  list->setHeaderLabels(
      {QStringLiteral("Kept"), QStringLiteral("Size"), QStringLiteral("Changed since, up to now")});
  {
    // Each version read and compared: a moment each on a large dictionary.
    QProgressDialog progress(QStringLiteral("Reading the versions kept..."), QString(), 0,
                             static_cast<int>(versions.size()), this);
    progress.setWindowTitle(QString::fromLatin1(kAppTitle));
    progress.setMinimumDuration(500);
    for (const Version& version : versions) {
      Database earlier;
      const bool read = history_->Load(version, earlier).status == LoadResult::kComplete;
      auto* item = new QTreeWidgetItem(list);
      item->setText(
          0, QStringLiteral("%1 (%2)").arg(When(version.kept), version.how == Version::kSaved
                                                                   ? QStringLiteral("saved")
                                                                   : QStringLiteral("loaded")));
      item->setText(1, QLocale().formattedDataSize(static_cast<qint64>(version.size)));
      item->setText(
          2, read ? Counts(Differences(earlier, db_), false) : QStringLiteral("cannot be read"));
      item->setDisabled(!read);
      progress.setValue(progress.value() + 1);
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
  }
  list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  list->setCurrentItem(list->topLevelItem(0));
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* compare =
      buttons->addButton(QStringLiteral("Compare"), QDialogButtonBox::ActionRole);
  compare->setDefault(true);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  const auto compareChosen = [&] {
    const int row = list->indexOfTopLevelItem(list->currentItem());
    if (row < 0 || list->currentItem()->isDisabled()) return;
    const Version& version = versions[static_cast<size_t>(row)];
    Database earlier;
    if (history_->Load(version, earlier).status != LoadResult::kComplete) return;
    // Two-way: every difference a choice, none ticked.
    MergePlan plan(db_, db_, earlier);
    if (plan.changes.empty()) {
      Tell(&dialog, QStringLiteral("That version is the dictionary as it is now."));
      return;
    }
    if (!RunMergeView(plan, earlier,
                      QStringLiteral("The version kept %1 against the dictionary now: what you "
                                     "tick is taken back.")
                          .arg(When(version.kept))))
      return;
    // The list no longer tells the truth once something is taken back.
    if (ApplyPlan(plan, Database::kGroupEdits[1])) dialog.accept();
  };
  connect(compare, &QPushButton::clicked, &dialog, compareChosen);
  connect(list, &QTreeWidget::itemDoubleClicked, &dialog, compareChosen);
  layout->addWidget(buttons);
  dialog.resize(640, 360);
  Modal::Current().Run(dialog);
}

bool CMainFrame::RunMergeView(MergePlan& plan, const Database& theirs, const QString& what) {
  CMergeView view(plan, db_, theirs, what, this);
  return Modal::Current().ReviewMerge(view, plan);
}

bool CMainFrame::ApplyPlan(MergePlan& plan, const char* name) {
  if (std::none_of(plan.changes.begin(), plan.changes.end(),
                   [](const Change& c) { return c.take; }))
    return false;
  const std::string refusal = plan.Apply(db_, name);
  if (refusal.empty()) return true;
  Warn(this, FromDbShown(refusal, db_.encoding));
  return false;
}

void CMainFrame::MarkMerged(const std::string& copy) {
  mergedCopies_.push_back({copy, db_.UndoCount()});
  if (!db_.IsChanged()) RenameMergedCopies();
}

void CMainFrame::RenameMergedCopies() {
  QStringList renamed;
  for (const MergedCopy& copy : mergedCopies_) {
    std::string reason;
    const std::string to = RenameMergedCopy(copy.path, reason);
    if (to.empty())
      Warn(this,
           QStringLiteral("%1 was merged but cannot be renamed, and will be offered again: %2")
               .arg(FromFileMessage(copy.path), FromFileMessage(reason)));
    else
      renamed << QStringLiteral("%1 is now %2").arg(NameOf(copy.path), NameOf(to));
  }
  mergedCopies_.clear();
  if (!renamed.isEmpty())
    SetStatus(QStringLiteral("Merged conflict copies set aside: %1.")
                  .arg(renamed.join(QStringLiteral("; "))));
}

}  // namespace lorelist
