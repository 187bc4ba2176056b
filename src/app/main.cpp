#include <cstdio>

#include "app/command_line.h"
#include "app/lorelist_app.h"

int main(int argc, char** argv) {
  // Read before the window system is reached, so that help, the version and
  // a refusal need no display.
  const lorelist::StartRequest request =
      lorelist::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
  switch (request.action) {
    case lorelist::StartRequest::kHelp:
      std::fputs(lorelist::kLorelistUsage, stdout);
      return 0;
    case lorelist::StartRequest::kVersion:
      std::printf("lorelist %s\n", LORELIST_VERSION);
      return 0;
    case lorelist::StartRequest::kRefused:
      std::fprintf(stderr, "%s\n%s", request.message.c_str(), lorelist::kLorelistUsage);
      // Started from the desktop, nobody reads standard error.
      if (lorelist::HasDisplay()) {
        lorelist::CLorelistApp app(argc, argv);
        lorelist::ShowRefusal(request);
      }
      return 2;
    case lorelist::StartRequest::kRun:
      break;
  }
  lorelist::CLorelistApp app(argc, argv);
  const std::string folder = lorelist::CLorelistApp::FolderToStart(request.folder);
  if (folder.empty()) return 0;  // Quit in the start dialog
  if (!app.InitInstance(folder)) return 1;
  return app.exec();
}
