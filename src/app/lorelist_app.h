#pragma once

#include <QApplication>
#include <memory>
#include <string>

namespace lorelist {

class CMainFrame;
struct StartRequest;

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
  // The folder a start opens: the one asked for on the command line (empty:
  // none), else as FolderToOpen finds it, else the user's choice in the start
  // dialog. Empty: the user chose to quit.
  static std::string FolderToStart(const std::string& asked);
  CMainFrame* MainFrame() const { return frame_.get(); }

 private:
  std::unique_ptr<CMainFrame> frame_;
};

// The start dialog and what follows each choice, until a folder is chosen;
// empty for Quit.
std::string AskForDictionary();

// True when a window can be shown: a display to reach, or a platform named.
bool HasDisplay();
// A command line refused, in a message box as well.
void ShowRefusal(const StartRequest& request);

// The show-splash setting of a command line: on unless the platform's
// parsing turns it off (an embedding or automation start).
bool ShowSplashFromCommandLine(const QStringList& arguments);

}  // namespace lorelist
