#include "lorelist_app.h"

#include <QDir>
#include <QFile>
#include <QScreen>

#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/dictionaries.h"
#include "app/main_frame.h"
#include "panes/modal.h"
#include "tools/splash.h"

namespace lorelist {

bool ShowSplashFromCommandLine(const QStringList& arguments) {
  for (const QString& argument : arguments.mid(1)) {
    const QString flag = argument.mid(1).toLower();
    if ((argument.startsWith(u'/') || argument.startsWith(u'-')) &&
        (flag == u"embedding" || flag == u"automation"))
      return false;
  }
  return true;
}

std::string AskForDictionary() {
  for (;;) {
    CStartDlg start;
    Modal::Current().Run(start);
    std::string folder, refusal;
    switch (start.Chosen()) {
      case CStartDlg::kQuit:
        return {};
      case CStartDlg::kNew:
        // A folder of its own, made in the chooser if need be; one that holds
        // a dictionary already opens it.
        folder = QFile::encodeName(Modal::Current().ChooseToOpen(nullptr,
                                                                 QStringLiteral("New Dictionary"),
                                                                 QDir::homePath(), false))
                     .toStdString();
        break;
      case CStartDlg::kOpen: {
        const QString chosen = Modal::Current().ChooseToOpen(
            nullptr, QStringLiteral("Open Dictionary"), QDir::homePath(), true);
        if (!chosen.isEmpty())
          folder = DictionaryFolder(QFile::encodeName(chosen).toStdString(), refusal);
        break;
      }
      case CStartDlg::kSample: {
        QString why;
        folder = QFile::encodeName(SampleFolder(why)).toStdString();
        refusal = why.toStdString();
        break;
      }
    }
    if (!folder.empty()) return folder;
    // A chooser cancelled, or a choice that cannot be had: back to the choices.
    if (!refusal.empty()) Warn(nullptr, QFile::decodeName(QByteArray::fromStdString(refusal)));
  }
}

bool HasDisplay() {
  // A platform without a screen shows nobody anything.
  const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
  if (platform.startsWith(u"offscreen") || platform.startsWith(u"minimal")) return false;
  return !platform.isEmpty() || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void ShowRefusal(const StartRequest& request) {
  std::string message = request.message;
  if (message.starts_with("lorelist: ")) message.erase(0, 10);
  if (!message.empty()) message[0] = static_cast<char>(std::toupper(message[0]));
  Warn(nullptr, QString::fromLocal8Bit(message) + QStringLiteral("."));
}

std::string CLorelistApp::FolderToStart(const std::string& asked) {
  // The current directory as ".": its path may be too long for getcwd, or
  // bytes that no QString holds; the window makes it absolute if it can.
  const std::string folder = FolderToOpen(asked, ".", DictionarySettings());
  if (!folder.empty()) return folder;
  return AskForDictionary();
}

CLorelistApp::CLorelistApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Lorelist"));
  setApplicationVersion(QStringLiteral(LORELIST_VERSION));
  // The desktop entry and its icon, for the window manager.
  setDesktopFileName(QStringLiteral("org.lorelist.Lorelist"));
}

CLorelistApp::~CLorelistApp() = default;

bool CLorelistApp::InitInstance(const std::string& folder) {
  CSplashWnd::EnableSplashScreen(ShowSplashFromCommandLine(arguments()));
  CSplashWnd::InstallApplicationHook();
  frame_ = std::make_unique<CMainFrame>(folder);
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/lorelist-%1.png").arg(size), QSize(size, size));
  setWindowIcon(icon);
  // Where no window manager maximises it, the window still fills the screen.
  if (QScreen* screen = primaryScreen()) frame_->resize(screen->availableGeometry().size());
  frame_->showMaximized();
  return true;
}

}  // namespace lorelist
