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
}

CLorelistApp::~CLorelistApp() = default;

bool CLorelistApp::InitInstance(const std::string& folder) {
  CSplashWnd::EnableSplashScreen(ShowSplashFromCommandLine(arguments()));
  CSplashWnd::InstallApplicationHook();
  frame_ = std::make_unique<CMainFrame>(folder);
  setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
  // Where no window manager maximises it, the window still fills the screen.
  if (QScreen* screen = primaryScreen()) frame_->resize(screen->availableGeometry().size());
  frame_->showMaximized();
  return true;
}

}  // namespace lorelist
