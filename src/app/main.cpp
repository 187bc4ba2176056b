#include <cstdio>
#include <cstring>

#include "app/lorelist_app.h"

int main(int argc, char** argv) {
  // Answered before the window system is reached, so that they work without
  // a display.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lorelist %s\n", LORELIST_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(lorelist::kLorelistUsage, stdout);
      return 0;
    }
  }
  lorelist::CLorelistApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.exec();
}
