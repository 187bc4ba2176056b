// Saving from the window whatever surrounds the file: another window on the
// folder, another program changing the file, a link onto the backup, the
// folder taken away, and Save Copy As through the real file chooser.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/command_table.h"
#include "db/folder_lock.h"
#include "db/save.h"
#include "frame_fixture.h"
#include "support/capture_ops.h"

namespace lorelist::test {
namespace {

const QString kChangedOutside = QString::fromLatin1(kChangedOutsideQuestion);

class SaveSafetyTest : public FrameTest {
 protected:
  // The first quotation's text replaced from the Workspace, as a user does it.
  void EditFirst(CMainFrame& window, const QString& text) {
    Activate(window);
    DoubleClick(window.Panes().Quotations(), window.Db().quotations.GetRootItem());
    window.Panes().Workspace().SetText(text);
    QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(window.Db().IsChanged());
  }
  // Keys reach the window the user works in: the active one.
  static void Activate(CMainFrame& window) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  static void PressSave(CMainFrame& window) {
    Activate(window);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
  }
  std::unique_ptr<CMainFrame> OpenAnother(const std::string& folder) {
    auto window = std::make_unique<CMainFrame>(folder);
    window->resize(1000, 700);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Settle();
    return window;
  }
  static void Discard(std::unique_ptr<CMainFrame>& window) {
    window->Db().ClearChanged();
    window->close();
    window.reset();
  }
  std::vector<QString> Questions() const {
    std::vector<QString> texts;
    for (const auto& s : modal.shown)
      if (s.kind == "question") texts.push_back(s.text);
    return texts;
  }
  std::string Database() const { return ReadFile(dir.File(kDatabaseFile)); }
};

TEST_F(SaveSafetyTest, ASecondWindowIsWarnedAndNeitherOverwritesTheOtherSilently) {
  Open();
  EXPECT_TRUE(modal.shown.empty()) << "the first window is not warned";
  std::unique_ptr<CMainFrame> second = OpenAnother(dir.path());
  ASSERT_EQ(modal.Messages(), std::vector<QString>{QString::fromLatin1(kAlreadyOpenWarning)});
  EXPECT_FALSE(modal.shown[0].hadParent) << "shown before the window";

  EditFirst(*frame, "From the first window");
  PressSave(*frame);
  const std::string first = Database();
  ASSERT_NE(first.find("@Q1 From the first window\r\n"), std::string::npos);

  modal.shown.clear();
  EditFirst(*second, "From the second window");
  modal.answers = {Modal::Answer::kNo};
  PressSave(*second);
  EXPECT_EQ(Questions(), std::vector<QString>{kChangedOutside});
  EXPECT_EQ(Database(), first);
  EXPECT_TRUE(second->Db().IsChanged());
  EXPECT_EQ(second->windowTitle(), "Lorelist Version 1.1");

  modal.answers = {Modal::Answer::kYes};
  PressSave(*second);
  EXPECT_NE(Database().find("@Q1 From the second window\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), first) << "the other window's save is the backup";
  EXPECT_FALSE(second->Db().IsChanged());
  Discard(second);

  // The first window is asked in its turn.
  modal.shown.clear();
  EditFirst(*frame, "Again from the first");
  modal.answers = {Modal::Answer::kNo};
  PressSave(*frame);
  EXPECT_EQ(Questions(), std::vector<QString>{kChangedOutside});
}

TEST_F(SaveSafetyTest, AnotherProgramsChangeIsAskedAboutAlsoByTheCloseGuard) {
  Open();
  EditFirst(*frame, "Mine");
  const std::string theirs = kGuiSample + "@C3 Added in a text editor\r\n";
  WriteFile(dir.File(kDatabaseFile), theirs);

  // Close, Yes to saving, No to replacing their change: the window stays.
  modal.answers = {Modal::Answer::kYes, Modal::Answer::kNo};
  frame->close();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(Questions().back(), kChangedOutside);
  EXPECT_EQ(Database(), theirs);
  EXPECT_FALSE(Exists(dir.File(kBackupFile)));
  EXPECT_TRUE(frame->Db().IsChanged());

  modal.answers = {Modal::Answer::kYes, Modal::Answer::kYes};
  frame->close();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(Database().rfind("@Q1 Mine\r\n", 0), 0u);
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), theirs);
}

// Florilex.txt leading onto the backup: the window says so before it
// appears, loads nothing, and Save writes nothing.
TEST_F(SaveSafetyTest, ADatabaseLinkedOntoTheBackupIsNotOpened) {
  WriteFile(dir.File(kBackupFile), kGuiSample);
  ASSERT_EQ(::symlink(kBackupFile, dir.File(kDatabaseFile).c_str()), 0);
  Open("");
  const QString refusal = QString::fromStdString(SavedNameRefusal(dir.path()));
  ASSERT_FALSE(refusal.isEmpty());
  EXPECT_EQ(modal.Messages(), std::vector<QString>{refusal});
  EXPECT_FALSE(modal.shown[0].hadParent);
  EXPECT_TRUE(frame->Db().quotations.IsEmpty());
  PressSave(*frame);
  EXPECT_EQ(modal.Messages(), (std::vector<QString>{refusal, refusal}));
  EXPECT_EQ(ReadFile(dir.File(kBackupFile)), kGuiSample);
}

TEST_F(SaveSafetyTest, TheFolderTakenAwayIsNamedAndSaveCopyAsStillKeepsTheWork) {
  const std::string folder = dir.File("quotes");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteFile(JoinPath(folder, kDatabaseFile), kGuiSample);
  frame = OpenAnother(folder);
  EXPECT_EQ(frame->Folder(), folder);
  EditFirst(*frame, "Work worth keeping");
  std::filesystem::rename(folder, dir.File("moved away"));

  PressSave(*frame);
  EXPECT_EQ(modal.Messages(),
            std::vector<QString>{QString::fromStdString(
                "Cannot save in the folder " + folder +
                ": No such file or directory. Save Copy As... can keep the database in another "
                "file.")});
  EXPECT_TRUE(frame->Db().IsChanged());

  const std::string copy = dir.File("rescued.txt");
  modal.files = {QString::fromStdString(copy)};
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_EQ(ReadFile(copy), WrittenDatabase(frame->Db()));
  EXPECT_NE(ReadFile(copy).find("@Q1 Work worth keeping\r\n"), std::string::npos);
  EXPECT_TRUE(frame->Db().IsChanged()) << "a copy does not save the database";
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1");

  // The folder made again: Save works there, having asked about the file gone.
  modal.shown.clear();
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  modal.answers = {Modal::Answer::kYes};
  PressSave(*frame);
  EXPECT_EQ(Questions(), std::vector<QString>{kChangedOutside});
  EXPECT_EQ(ReadFile(JoinPath(folder, kDatabaseFile)), ReadFile(copy));
  EXPECT_FALSE(frame->Db().IsChanged());
}

TEST_F(SaveSafetyTest, SaveCopyAsThroughTheRealFileChooser) {
  Open();
  EditFirst(*frame, "Copied");

  modal.realFileChooser = true;
  const std::string copy = dir.File("copy of the dictionary.txt");
  QString openedIn, suggested;
  // It opens in the database's folder, so a name alone puts the file there.
  auto answer = [&](std::optional<QString> name) {
    AnswerRealChooser(name, &openedIn, &suggested);
  };
  answer(std::nullopt);
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_FALSE(Exists(copy));

  answer(QStringLiteral("copy of the dictionary.txt"));
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_EQ(openedIn.toStdString(), dir.path());
  EXPECT_EQ(suggested, "Florilex copy.txt");
  EXPECT_EQ(ReadFile(copy), WrittenDatabase(frame->Db()));
  EXPECT_TRUE(frame->Db().IsChanged());
  EXPECT_EQ(Database(), kGuiSample);
  EXPECT_TRUE(modal.Messages().empty());

  // Not onto the database itself: that is what Save is for.
  modal.realFileChooser = false;
  modal.files = {QString::fromStdString(dir.File(kDatabaseFile))};
  frame->Action(cmd::kSaveCopyAs)->trigger();
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"That is the database file itself: Save "
                                                   "writes it, with its backup."});
  EXPECT_EQ(Database(), kGuiSample);
}

// The folder lock held by the real program in another process: this window
// is warned; once that process is killed outright, a new window is not.
TEST_F(SaveSafetyTest, TheLockOfAnotherProcessWarnsUntilItDies) {
  WriteFile(dir.File(kDatabaseFile), kGuiSample);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(3);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execl(LORELIST_APP_BINARY, LORELIST_APP_BINARY, static_cast<char*>(nullptr));
    ::_exit(4);
  }
  // Holding the lock shows in the system's table of locks, by the folder's inode.
  struct stat folder;
  ASSERT_EQ(::stat(dir.path().c_str(), &folder), 0);
  auto holds = [&] {
    std::ifstream locks("/proc/locks");
    std::string line;
    const std::string inode = ":" + std::to_string(folder.st_ino) + " ";
    while (std::getline(locks, line))
      if (line.find("OFDLCK") != std::string::npos && line.find(inode) != std::string::npos)
        return true;
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!holds() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!holds()) ::kill(child, SIGKILL);
  ASSERT_TRUE(holds()) << "the editor never took the lock";

  Open();
  EXPECT_EQ(modal.Messages(), std::vector<QString>{QString::fromLatin1(kAlreadyOpenWarning)});
  TearDown();

  ::kill(child, SIGKILL);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  modal.shown.clear();
  Open();
  EXPECT_TRUE(modal.shown.empty());
}

}  // namespace
}  // namespace lorelist::test
