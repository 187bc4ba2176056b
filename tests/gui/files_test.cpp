// The window and its files: the first day in an empty folder, which
// dictionary a start opens, other dictionaries in processes of their own,
// saving whatever surrounds the file, and the recovery journal after a crash.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <chrono>
#include <thread>

#include "app/command_line.h"
#include "app/command_table.h"
#include "app/dialogs.h"
#include "app/dictionaries.h"
#include "app/lorelist_app.h"
#include "db/folder_lock.h"
#include "db/journal.h"
#include "db/load.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

// Settings and data folders of the test's own, as XDG names them.
class Xdg {
 public:
  Xdg() : config_(qgetenv("XDG_CONFIG_HOME")), data_(qgetenv("XDG_DATA_HOME")) {
    qputenv("XDG_CONFIG_HOME", Q(dir.File("config")).toUtf8());
    qputenv("XDG_DATA_HOME", Q(dir.File("data")).toUtf8());
  }
  ~Xdg() {
    qputenv("XDG_CONFIG_HOME", config_);
    qputenv("XDG_DATA_HOME", data_);
  }
  std::string Sample() const { return dir.File("data/Lorelist"); }
  TempDir dir;

 private:
  QByteArray config_, data_;
};

// A folder with a dictionary in it.
std::string Dictionary(const TempDir& dir, const std::string& name) {
  const std::string folder = dir.File(name);
  std::filesystem::create_directories(folder);
  WriteFile(JoinPath(folder, kDatabaseFile), CrLf({"@Q1 " + name, "@@"}));
  return folder;
}

// What a stand-in editor program, which notes each folder it is started on
// in a log, was started on: once as many starts are noted, or a while passed.
std::string StartedOn(const std::string& log, int starts) {
  std::string folders;
  for (int wait = 0; wait < 1000; ++wait) {
    folders = Exists(log) ? ReadFile(log) : "";
    if (std::count(folders.begin(), folders.end(), '\n') >= starts) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return folders;
}

class FilesTest : public FrameTest {
 protected:
  // Keys reach the window the user works in: the active one.
  static void Activate(CMainFrame& window) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  static void PressSave(CMainFrame& window) {
    Activate(window);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
  }
  // The first quotation's text replaced from the Workspace, as a user does it.
  static void EditFirst(CMainFrame& window, const QString& text) {
    Activate(window);
    DoubleClick(window.Panes().Quotations(), window.Db().quotations.GetRootItem());
    window.Panes().Workspace().SetText(text);
    QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(window.Db().IsChanged());
  }
  std::string Database() const { return ReadFile(dir.File(kDatabaseFile)); }
  // Four journalled edits by their keys: a reference deleted, a node moved,
  // the move undone and made again.
  void Edit() {
    DeleteFirstReference("2");
    Click(Panes().Quotations(), Quotation("2"));
    QTest::keyClick(&Panes().Quotations(), Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(frame.get(), Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
  }
  // The window gone without closing, as in a crash, and started again with
  // this answer to the question of the journal.
  void CrashAndRestart(std::optional<Modal::Answer> answer) {
    frame.reset();
    modal.shown.clear();
    if (answer) modal.answers.push_back(*answer);
    Open("");
  }
  Xdg xdg;
};

TEST_F(FilesTest, AnEmptyFolderGrowsIntoADictionaryThatSavesAndLoadsAgain) {
  Open("");
  ASSERT_EQ(modal.Messages(), std::vector<QString>{Q(NewDictionaryNotice(dir.path()))});
  EXPECT_EQ(modal.shown[0].icon, Modal::Icon::kInformation);
  // Nothing selected in empty trees: the first node, whatever its placement.
  NewNode("Montaigne", Placement::kBelow);
  Keys(Qt::Key_G);
  NewNode("Doubt");
  Keys(Qt::Key_I);
  NewNode("Essais", Placement::kBelow);
  Keys(Qt::Key_G);
  DoubleClick(Panes().Quotations(), Quotation("1.1"));
  Keys(Qt::Key_Z);
  EXPECT_EQ(SavedFile(), "\xEF\xBB\xBF" + CrLf({"@Q1 Montaigne", "@Q1.1 Essais", "@@", "@C1 Doubt",
                                                "@R1.1 Essais"}));
  Reopen();
  EXPECT_TRUE(modal.shown.empty());
}

// Goes down into base's subfolders by their names, made one at a time, and
// back where it was at its end: a path longer than PATH_MAX is reached only
// so.
class Descent {
 public:
  Descent(const std::string& base, const std::vector<std::string>& names)
      : back_(::open(".", O_RDONLY | O_DIRECTORY)) {
    EXPECT_EQ(::chdir(base.c_str()), 0);
    for (const std::string& name : names) {
      ::mkdir(name.c_str(), 0700);
      EXPECT_EQ(::chdir(name.c_str()), 0) << name;
    }
  }
  ~Descent() {
    EXPECT_EQ(::fchdir(back_), 0);
    ::close(back_);
  }

 private:
  int back_;
};

// A folder, or a path to its Florilex.txt (which need not exist yet: loading
// says it cannot be opened), names the database's folder, by the bytes of its
// name whether UTF-8 or not; with none the start rules choose. Help, the
// version and refusals are the command line cases' to tell.
TEST(CommandLine, AFolderOrAPathToItsFlorilexTxtNamesTheDatabasesFolder) {
  TempDir dir;
  const std::string latin1 = dir.File("caf\xe9");  // an old name, copied from another disk
  std::filesystem::create_directory(latin1);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},
      {{dir.path()}, dir.path()},
      {{dir.path() + "/Florilex.txt"}, dir.path()},
      {{"Florilex.txt"}, "."},
      {{latin1}, latin1},
      {{"-platform", "offscreen", latin1}, latin1},  // Qt's own
      {{"--", latin1 + "/Florilex.txt"}, latin1},
  };
  for (const auto& [words, folderNamed] : cases) {
    std::vector<std::string> arguments{"lorelist"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    SCOPED_TRACE(testing::PrintToString(arguments));
    const StartRequest request = ParseCommandLine(arguments);
    EXPECT_EQ(request.action, StartRequest::kRun) << request.message;
    EXPECT_EQ(request.folder, folderNamed);
  }
}

// Which dictionary a start opens: the one named, the current directory's,
// the one opened last while it still exists, or the user's choice.
TEST(StartRules, TheArgumentTheCurrentFolderTheLastOneOrTheStartDialog) {
  Xdg xdg;
  TempDir dir;
  const std::string current = Dictionary(dir, "current"), last = Dictionary(dir, "last");
  const std::string named = dir.File("named");  // a new one: nothing there yet
  ScriptedModal modal;
  DictionarySettings settings;
  settings.Opened(last);
  EXPECT_EQ(FolderToOpen(named, current, settings), named);
  EXPECT_EQ(FolderToOpen({}, current, settings), current);
  EXPECT_EQ(FolderToOpen({}, dir.path(), settings), last);
  // A start takes the current directory as it is, whether its name is
  // UTF-8 or not, and its path within getcwd's reach or not; one beyond it
  // is not remembered, having no absolute path.
  Dictionary(dir, "caf\xe9");
  {
    Descent into(dir.path(), {"caf\xe9"});
    EXPECT_EQ(CLorelistApp::FolderToStart({}), ".");
  }
  {
    Descent into(dir.path(), std::vector<std::string>(20, std::string(250, 'n')));
    ASSERT_EQ(AbsolutePath("."), ".") << "within PATH_MAX";
    WriteFile(kDatabaseFile, CrLf({"@Q1 deep", "@@"}));
    EXPECT_EQ(CLorelistApp::FolderToStart({}), ".");
    settings.Opened(".");
    EXPECT_EQ(settings.Last(), last);
  }
  std::filesystem::remove(JoinPath(last, kDatabaseFile));  // the last one is gone
  EXPECT_EQ(FolderToOpen({}, dir.path(), settings), "");

  // The start dialog: Quit, or the sample, copied once and kept as the user
  // changed it; the installed file is never written.
  auto choose = [&](CStartDlg::Choice choice) {
    modal.dialogScripts.push_back([choice](QDialog& dialog) {
      QTest::mouseClick(&dynamic_cast<CStartDlg&>(dialog).Button(choice), Qt::LeftButton);
    });
  };
  choose(CStartDlg::kQuit);
  EXPECT_EQ(AskForDictionary(), "");
  choose(CStartDlg::kSample);
  EXPECT_EQ(AskForDictionary(), xdg.Sample());
  const std::string copy = JoinPath(xdg.Sample(), kDatabaseFile);
  Database sample;
  EXPECT_EQ(LoadDatabase(sample, copy).status, LoadResult::kComplete);
  EXPECT_GT(sample.quotations.GetCount(), 10u);
  WriteFile(copy, "@@\r\n");
  choose(CStartDlg::kSample);
  EXPECT_EQ(AskForDictionary(), xdg.Sample());
  EXPECT_EQ(ReadFile(copy), "@@\r\n");
  // A chooser cancelled goes back to the choices; New takes the folder chosen,
  // Open the folder of the Florilex.txt chosen, and refuses another file.
  choose(CStartDlg::kNew);
  choose(CStartDlg::kNew);
  modal.files = {std::nullopt, Q(named)};
  EXPECT_EQ(AskForDictionary(), named);
  WriteFile(dir.File("notes.txt"), "x");
  choose(CStartDlg::kOpen);
  choose(CStartDlg::kOpen);
  modal.files = {Q(dir.File("notes.txt")), Q(JoinPath(current, kDatabaseFile))};
  EXPECT_EQ(AskForDictionary(), current);
  EXPECT_EQ(modal.Messages().size(), 1u);
  EXPECT_TRUE(modal.dialogScripts.empty());
}

// Kept by the bytes of their paths, UTF-8 or not; the settings written as
// text before are read as well.
TEST(RecentDictionaries, NewestFirstAtMostEightOnlyThoseThatExistAndCleared) {
  Xdg xdg;
  TempDir dir;
  DictionarySettings settings;
  std::vector<std::string> folders;
  for (int i = 0; i < 10; ++i) folders.push_back(Dictionary(dir, "caf\xe9" + std::to_string(i)));
  for (const std::string& folder : folders) settings.Opened(folder);
  settings.Opened(folders[3]);  // again: to the front, once
  std::vector<std::string> expected{folders[3]};
  for (int i = 9; expected.size() < 8; --i)
    if (i != 3) expected.push_back(folders[i]);
  EXPECT_EQ(settings.Recent(), expected);
  std::filesystem::remove_all(folders[9]);
  std::erase(expected, folders[9]);
  EXPECT_EQ(settings.Recent(), expected);
  EXPECT_EQ(settings.Last(), folders[3]);

  const std::string utf8 = Dictionary(dir, "caf\xc3\xa9"), other = Dictionary(dir, "other");
  WriteFile(xdg.dir.File("config/Lorelist/Lorelist.conf"),
            "[General]\nlast=" + utf8 + "\nrecent=" + utf8 + ", " + other + "\n");
  EXPECT_EQ(settings.Last(), utf8);
  EXPECT_EQ(settings.Recent(), (std::vector<std::string>{utf8, other}));
  settings.Opened(folders[0]);
  EXPECT_EQ(settings.Recent(), (std::vector<std::string>{folders[0], utf8, other}));
}

// Open Recent and Open Dictionary (through the real chooser) each start
// another process on the folder, named by its bytes whether UTF-8 or not;
// this window stays as it is.
TEST_F(FilesTest, OtherDictionariesOpenInProcessesOfTheirOwn) {
  TempDir others;
  const std::string other = Dictionary(others, "caf\xe9"), third = Dictionary(dir, "third");
  const std::string editor = others.File("editor"), log = others.File("started");
  WriteFile(editor, "#!/bin/sh\necho \"$1\" >> '" + log + "'\n");
  ASSERT_EQ(::chmod(editor.c_str(), 0755), 0);
  DictionarySettings().Opened(other);
  Open();
  SetEditorProgram(editor);
  QMenu& recent = *frame->Action(cmd::kOpenRecent)->menu();
  emit recent.aboutToShow();
  ASSERT_GE(recent.actions().size(), 3);  // this dictionary, the other, Clear Recent
  QAction* item = nullptr;
  for (QAction* action : recent.actions())
    if (action->text() == QFile::decodeName(other.c_str())) item = action;
  ASSERT_NE(item, nullptr);
  item->trigger();
  EXPECT_EQ(StartedOn(log, 1), other + "\n");
  EXPECT_EQ(frame->Folder(), dir.path());
  EXPECT_TRUE(modal.Messages().empty());
  SetEditorProgram(others.File("missing"));  // a start that fails says why
  item->trigger();
  EXPECT_EQ(modal.Messages(),
            std::vector<QString>{"Cannot start a new Lorelist window on " +
                                 QFile::decodeName(other.c_str()) + ": No such file or directory"});
  SetEditorProgram(editor);
  frame->Action(cmd::kClearRecent)->trigger();
  emit recent.aboutToShow();
  EXPECT_EQ(recent.actions().size(), 1);
  EXPECT_FALSE(recent.actions().front()->isEnabled());

  modal.realFileChooser = true;
  AnswerRealChooser(Q(JoinPath(third, kDatabaseFile)));
  frame->Action(cmd::kOpenDictionary)->trigger();
  EXPECT_EQ(StartedOn(log, 2), other + "\n" + third + "\n");
}

// The second window is warned before it appears; its save is asked about
// the first one's, and No keeps its work unsaved.
TEST_F(FilesTest, ASecondWindowIsWarnedAndNeitherOverwritesTheOtherSilently) {
  Open();
  EXPECT_TRUE(modal.shown.empty()) << "the first window is not warned";
  CMainFrame second(dir.path());
  second.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
  ASSERT_EQ(modal.Messages(), std::vector<QString>{kAlreadyOpenWarning});
  EXPECT_FALSE(modal.shown[0].hadParent);

  EditFirst(*frame, "From the first window");
  PressSave(*frame);
  const std::string first = Database();
  EditFirst(second, "From the second window");
  modal.choices = {"No"};
  PressSave(second);
  EXPECT_EQ(modal.Questions(), std::vector<QString>{kChangedOutsideQuestion});
  EXPECT_EQ(modal.choiceButtons.back(), (QStringList{"Merge", "Yes", "No"}));
  EXPECT_EQ(Database(), first);
  EXPECT_TRUE(second.Db().IsChanged());
  second.Db().ClearChanged();
  second.close();
}

// A second window keeps its edits in memory while the first one keeps the
// journal. Once the first has gone, here in a crash that left its journal
// behind, the second's next edit sets that journal aside, says so, and
// starts its own with every edit since the last save: a crash of the second
// window then loses nothing.
TEST_F(FilesTest, ASecondWindowJournalsOnceTheFirstHasGone) {
  Open();
  auto second = std::make_unique<CMainFrame>(dir.path());
  second->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(second.get()));
  EditFirst(*frame, "From the first window");
  const std::string firsts = ReadFile(dir.File(kJournalFile));
  EditFirst(*second, "From the second window");
  EXPECT_EQ(ReadFile(dir.File(kJournalFile)), firsts);
  frame.reset();
  modal.shown.clear();

  QTest::keyClick(second.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(second.get(), Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{Q(LeftBehindMessage(
                                  dir.File(kJournalFile), dir.File(kJournalAsideFile)))});
  EXPECT_EQ(ReadFile(dir.File(kJournalAsideFile)), firsts);
  const std::string expected = WrittenDatabase(second->Db());
  second.reset();
  CrashAndRestart(Modal::Answer::kYes);
  EXPECT_EQ(modal.Questions(), std::vector<QString>{Q(RestoreQuestion(3))});
  EXPECT_EQ(WrittenDatabase(frame->Db()), expected);
}

// Florilex.txt leading onto the backup: said before the window appears,
// nothing loaded, and Save says it again, writing nothing.
TEST_F(FilesTest, ADatabaseLinkedOntoTheBackupIsNotOpened) {
  WriteFile(dir.File(kBackupFile), kGuiSample);
  ASSERT_EQ(::symlink(kBackupFile, dir.File(kDatabaseFile).c_str()), 0);
  Open("");
  const QString refusal = Q(SavedNameRefusal(dir.path()));
  ASSERT_FALSE(refusal.isEmpty());
  EXPECT_EQ(modal.Messages(), std::vector<QString>{refusal});
  EXPECT_FALSE(modal.shown[0].hadParent);
  EXPECT_TRUE(frame->Db().quotations.IsEmpty());
  PressSave(*frame);
  EXPECT_EQ(modal.Messages(), (std::vector<QString>{refusal, refusal}));
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kGuiSample);
}

// It opens in the database's folder, offering a name; a name alone puts the
// copy there; Escape writes nothing, and the database itself is refused.
TEST_F(FilesTest, SaveCopyAsThroughTheRealFileChooser) {
  Open();
  EditFirst(*frame, "Copied");
  modal.realFileChooser = true;
  const std::string copy = dir.File("copy of the dictionary.txt");
  QString openedIn, suggested;
  AnswerRealChooser(std::nullopt);
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_FALSE(Exists(copy));
  AnswerRealChooser(QStringLiteral("copy of the dictionary.txt"), &openedIn, &suggested);
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_EQ(openedIn.toStdString(), dir.path());
  EXPECT_EQ(suggested, "Florilex copy.txt");
  EXPECT_EQ(ReadFile(copy), WrittenDatabase(frame->Db()));
  EXPECT_TRUE(frame->Db().IsChanged());

  modal.realFileChooser = false;
  modal.files = {Q(dir.File(kDatabaseFile))};
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_EQ(modal.Messages().size(), 1u);
  EXPECT_EQ(Database(), kGuiSample);
}

// The folder lock held by the real program in another process, started on
// the current directory's dictionary: this window is warned; once that
// process is killed outright, a new window is not.
TEST_F(FilesTest, TheLockOfAnotherProcessWarnsUntilItDies) {
  WriteFile(dir.File(kDatabaseFile), kGuiSample);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(3);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execl(LORELIST_APP_BINARY, LORELIST_APP_BINARY, static_cast<char*>(nullptr));
    ::_exit(4);
  }
  auto holds = [&] {
    return FolderLock().Acquire(dir.path()) == FolderLock::State::kHeldElsewhere;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!holds() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!holds()) ::kill(child, SIGKILL);
  ASSERT_TRUE(holds()) << "the editor never took the lock";
  Open();
  EXPECT_EQ(modal.Messages(), std::vector<QString>{kAlreadyOpenWarning});
  ::kill(child, SIGKILL);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  Reopen();
  EXPECT_TRUE(modal.shown.empty());
}

// After a crash the start asks, before the window, whether to restore: No
// sets the journal aside and loads the file as it is; Yes restores the
// edits, undoable, and the journal goes on from there until a save. A
// journal for another version of the file is set aside with a message.
TEST_F(FilesTest, AfterACrashTheEditsAreRestoredOrSetAside) {
  Open();
  Edit();
  CrashAndRestart(Modal::Answer::kNo);
  EXPECT_EQ(WrittenDatabase(frame->Db()), kGuiSample);
  EXPECT_EQ(Names(), (std::set<std::string>{kDatabaseFile, kJournalAsideFile}));

  Edit();
  const std::string expected = WrittenDatabase(frame->Db());
  CrashAndRestart(Modal::Answer::kYes);
  EXPECT_EQ(modal.Questions(), std::vector<QString>{Q(RestoreQuestion(4))});
  EXPECT_FALSE(modal.shown[0].hadParent);
  EXPECT_EQ(WrittenDatabase(frame->Db()), expected);
  EXPECT_EQ(frame->Action(cmd::kUndoEdit)->text(), "Undo Move Node\tCtrl+Shift+Z");
  frame->Action(cmd::kUndoEdit)->trigger();
  const std::string undone = WrittenDatabase(frame->Db());
  CrashAndRestart(Modal::Answer::kYes);
  EXPECT_EQ(modal.Questions(), std::vector<QString>{Q(RestoreQuestion(5))});
  EXPECT_EQ(WrittenDatabase(frame->Db()), undone);
  EXPECT_EQ(SavedFile(), undone);

  EditFirst(*frame, "Lost");
  WriteFile(dir.File(kDatabaseFile), kGuiSample + "@C3 Added elsewhere\r\n");
  std::filesystem::remove(dir.File(kJournalAsideFile));
  CrashAndRestart(std::nullopt);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{Q(OtherFileMessage(
                                  dir.File(kJournalFile), dir.File(kJournalAsideFile)))});
  EXPECT_EQ(modal.shown.size(), 1u);
}

// No at the close guard gives the edits up, and their journal with them; a
// second window neither offers nor writes one.
TEST_F(FilesTest, ANormalRunLeavesTheUsualNamesOnly) {
  Open();
  Edit();
  SavedFile();
  Edit();
  const std::string journal = ReadFile(dir.File(kJournalFile));
  {
    CMainFrame second(dir.path());
    ASSERT_EQ(modal.Messages().back(), kAlreadyOpenWarning);
    ASSERT_EQ(second.Db().UpdateText(Tree::kQuotations, second.Db().quotations.GetRootItem(),
                                     "elsewhere"),
              "");
    EXPECT_EQ(ReadFile(dir.File(kJournalFile)), journal);
    second.Db().ClearChanged();
  }
  modal.answers.push_back(Modal::Answer::kNo);
  frame->close();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(Names(), (std::set<std::string>{kDatabaseFile, kBackupFile}));
  Reopen();
  EXPECT_TRUE(modal.shown.empty());
}

}  // namespace
}  // namespace lorelist::test
