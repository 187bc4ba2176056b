#include "lorelist_app.h"

#include <QScreen>

#include "app/main_frame.h"
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
