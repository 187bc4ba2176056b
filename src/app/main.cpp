#include "app/lorelist_app.h"

int main(int argc, char** argv) {
  lorelist::CLorelistApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.exec();
}
