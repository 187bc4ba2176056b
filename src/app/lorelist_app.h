#pragma once

#include <QApplication>
#include <memory>
#include <string>

namespace lorelist {

class CMainFrame;

// The application: starts the one main window, having every event offered to
// the splash window first.
class CLorelistApp : public QApplication {
  Q_OBJECT

 public:
  CLorelistApp(int& argc, char** argv);
  ~CLorelistApp() override;

  // Creates the main window on the database of folder, titles it and shows
  // it maximised; false when start-up failed.
  bool InitInstance(const std::string& folder = ".");
  CMainFrame* MainFrame() const { return frame_.get(); }

 private:
  std::unique_ptr<CMainFrame> frame_;
};

// The show-splash setting of a command line: on unless the platform's
// parsing turns it off (an embedding or automation start).
bool ShowSplashFromCommandLine(const QStringList& arguments);

}  // namespace lorelist
