// A new user's first day: a dictionary started in an empty folder, the
// start that picks which dictionary to open, the recent ones, and other
// dictionaries opened from the window in windows of their own.

#include <signal.h>
#include <sys/wait.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/command_line.h"
#include "app/command_table.h"
#include "app/dialogs.h"
#include "app/dictionaries.h"
#include "app/lorelist_app.h"
#include "commands/dialogs.h"
#include "db/load.h"
#include "db/save.h"
#include "frame_fixture.h"
#include "support/capture_ops.h"

namespace lorelist::test {
namespace {

QString Q(const std::string& path) {
  return QString::fromStdString(path);
}

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
  std::string Settings() const { return dir.File("config/Lorelist/Lorelist.conf"); }
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

class FirstDayTest : public FrameTest {
 protected:
  Xdg xdg;
};

TEST_F(FirstDayTest, AnEmptyFolderGrowsIntoADictionaryThatSavesAndLoadsAgain) {
  Open("");
  ASSERT_EQ(modal.Messages(), std::vector<QString>{Q(NewDictionaryNotice(dir.path()))});
  EXPECT_EQ(modal.shown[0].icon, Modal::Icon::kInformation);
  // Nothing selected in empty trees: the first node, whatever its placement.
  NewNode("Montaigne", Placement::kBelow);
  Keys(Qt::Key_G);
  NewNode("Doubt");
  Keys(Qt::Key_I);
  // The rest as in any dictionary.
  NewNode("Essais", Placement::kBelow);
  Keys(Qt::Key_G);
  NewNode("Que sais-je?", Placement::kBelow);
  Keys(Qt::Key_G);
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto& add = dynamic_cast<CNewSubj&>(dialog);
    QTest::keyClicks(&add.Edit(), "scepticism");
    QTest::mouseClick(&add.OkButton(), Qt::LeftButton);
  });
  Keys(Qt::Key_B);
  DoubleClick(Panes().Quotations(), Quotation("1.1.1"));
  Click(Panes().Categories(), Category("1"));
  Keys(Qt::Key_Z);
  Keys(Qt::Key_S);
  EXPECT_EQ(modal.Messages().size(), 1u) << modal.Messages().back().toStdString();

  const std::string saved = ReadFile(dir.File(kDatabaseFile));
  EXPECT_EQ(saved, CrLf({"@Q1 Montaigne", "@Q1.1 Essais", "@Q1.1.1 Que sais-je?", "@@", "@C1 Doubt",
                         "@Sscepticism", "@R1.1.1 Que sais-je?"}));
  frame->close();
  frame.reset();
  modal.shown.clear();
  Open("");
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(WrittenDatabase(frame->Db()), saved);
  // The one refusal that stays: a tree with nodes, and none selected.
  Keys(Qt::Key_G);
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"First select a quotation node"});
}

StartRequest Parse(std::initializer_list<QString> words) {
  QStringList arguments{QStringLiteral("lorelist")};
  arguments.append(QStringList(words));
  return ParseCommandLine(arguments);
}

TEST(CommandLine, AFolderOrAPathToItsFlorilexTxtNamesTheDatabasesFolder) {
  TempDir dir;
  const QString folder = QString::fromStdString(dir.path());
  EXPECT_EQ(Parse({}).folder, "");  // none named: the start rules choose
  EXPECT_EQ(Parse({folder}).folder, dir.path());
  // The file need not exist yet: loading says it cannot be opened, by its path.
  const StartRequest file = Parse({folder + QStringLiteral("/Florilex.txt")});
  EXPECT_EQ(file.action, StartRequest::kRun);
  EXPECT_EQ(file.folder, dir.path());
  EXPECT_EQ(Parse({QStringLiteral("Florilex.txt")}).folder, ".");
  // Qt's own options go on to the application.
  const StartRequest qt = Parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), folder});
  EXPECT_EQ(qt.action, StartRequest::kRun);
  EXPECT_EQ(qt.folder, dir.path());
  EXPECT_EQ(Parse({QStringLiteral("-h")}).action, StartRequest::kHelp);
  EXPECT_EQ(Parse({QStringLiteral("--version")}).action, StartRequest::kVersion);
  EXPECT_EQ(Parse({QStringLiteral("--"), QStringLiteral("--version")}).action,
            StartRequest::kRefused);  // a folder of that name, which is not there
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
  settings.Opened(Q(last));
  const QString empty = Q(dir.path());
  struct Case {
    QString asked, cwd;
    std::string expected;  // empty: the start dialog
  };
  const Case cases[] = {
      {Q(named), Q(current), named},
      {{}, Q(current), current},
      {{}, empty, last},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FolderToOpen(c.asked, c.cwd, settings).toStdString(), c.expected);
  std::filesystem::remove(JoinPath(last, kDatabaseFile));  // the last one is gone
  EXPECT_EQ(FolderToOpen({}, empty, settings), "");

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

  // Settings that cannot be written stop nothing.
  std::filesystem::remove_all(std::filesystem::path(xdg.Settings()).parent_path());
  std::filesystem::create_directories(xdg.Settings());  // a folder where the file should be
  settings.Opened(Q(current));
  settings.ClearRecent();
  EXPECT_TRUE(std::filesystem::is_directory(xdg.Settings()));
}

TEST(RecentDictionaries, NewestFirstAtMostEightOnlyThoseThatExistAndCleared) {
  Xdg xdg;
  TempDir dir;
  DictionarySettings settings;
  std::vector<std::string> folders;
  for (int i = 0; i < 10; ++i) folders.push_back(Dictionary(dir, "d" + std::to_string(i)));
  for (const std::string& folder : folders) settings.Opened(Q(folder));
  settings.Opened(Q(folders[3]));  // again: to the front, once
  QStringList expected{Q(folders[3])};
  for (int i = 9; expected.size() < 8; --i)
    if (i != 3) expected << Q(folders[i]);
  EXPECT_EQ(settings.Recent(), expected);
  std::filesystem::remove_all(folders[9]);
  expected.removeAll(Q(folders[9]));
  EXPECT_EQ(settings.Recent(), expected);
  EXPECT_EQ(settings.Last(), Q(folders[3]));
  settings.ClearRecent();
  EXPECT_TRUE(settings.Recent().isEmpty());
}

// The editor process started on a folder, found by its arguments as the
// system tells them, and ended; false when none came within a while.
bool EndEditorOn(const std::string& folder) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::ifstream in(entry.path() / "cmdline");
      std::string program, argument;
      std::getline(in, program, '\0');
      std::getline(in, argument, '\0');
      if (program == LORELIST_APP_BINARY && argument == folder) {
        ::kill(static_cast<pid_t>(std::stoi(entry.path().filename().string())), SIGKILL);
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// New, Open and Open Recent each start another process on the folder; this
// window stays as it is.
TEST_F(FirstDayTest, OpenRecentStartsAnotherWindowProcessOnItsFolder) {
  TempDir others;
  const std::string other = Dictionary(others, "other");
  DictionarySettings().Opened(Q(other));
  Open();
  SetEditorProgram(QStringLiteral(LORELIST_APP_BINARY));
  QMenu& recent = *frame->Action(cmd::kOpenRecent)->menu();
  emit recent.aboutToShow();
  ASSERT_GE(recent.actions().size(), 3);  // this dictionary, the other, Clear Recent
  QAction* item = nullptr;
  for (QAction* action : recent.actions())
    if (action->text() == Q(other)) item = action;
  ASSERT_NE(item, nullptr);
  item->trigger();
  ASSERT_TRUE(EndEditorOn(other)) << "no editor started on " << other;
  EXPECT_EQ(frame->Folder(), dir.path());
  EXPECT_TRUE(modal.Messages().empty());

  frame->Action(cmd::kClearRecent)->trigger();
  emit recent.aboutToShow();
  EXPECT_EQ(recent.actions().size(), 1);
  EXPECT_FALSE(recent.actions().front()->isEnabled());
}

// Open Dictionary through the real chooser: a Florilex.txt picked by its name.
TEST_F(FirstDayTest, OpenDictionaryThroughTheRealFileChooser) {
  Open();
  const std::string other = Dictionary(dir, "other");
  SetEditorProgram(QStringLiteral(LORELIST_APP_BINARY));
  modal.realFileChooser = true;
  AnswerRealChooser(Q(JoinPath(other, kDatabaseFile)));
  frame->Action(cmd::kOpenDictionary)->trigger();
  EXPECT_TRUE(EndEditorOn(other));
}

}  // namespace
}  // namespace lorelist::test
