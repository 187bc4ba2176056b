// Times the Unicode inventory of the Special Character command: the list of
// every offered character, the first search by name (which builds the name
// index) and searches as they are typed; then the dialog itself (on Qt's
// offscreen platform unless another is set): opened and painted, and each
// search typed into it until the grid is painted.
//
//   unicode_search_bench [QUERY ...]

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "panes/workspace.h"
#include "tools/unicode_characters.h"
#include "tools/unicode_special.h"

using namespace lorelist;

namespace {

template <typename Action>
double Ms(Action action) {
  QElapsedTimer timer;
  timer.start();
  action();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<std::string> queries(argv + 1, argv + argc);
  if (queries.empty()) queries = {"sigma", "e acute", "a", "letter", "cjk", "zzzz", "U+1D11E"};

  const UnicodeCharacters* characters = nullptr;
  const double list = Ms([&] { characters = &UnicodeCharacters::Instance(); });
  std::printf("%zu characters in %zu blocks: %.1f ms\n", characters->All().size(),
              characters->Blocks().size(), list);
  const double first = Ms([&] { characters->Search("sigma"); });
  std::printf("first search, the name index built: %.1f ms\n", first);
  for (const std::string& query : queries) {
    size_t found = 0;
    double best = 1e9;
    for (int run = 0; run < 5; ++run)
      best = std::min(best, Ms([&] { found = characters->Search(query).size(); }));
    std::printf("search %-10s %7zu found, best of 5: %.2f ms\n", query.c_str(), found, best);
  }

  CReference workspace;
  std::unique_ptr<UnicodeSpecial> dialog;
  const double open = Ms([&] {
    dialog = std::make_unique<UnicodeSpecial>(workspace, nullptr);
    dialog->show();
    QCoreApplication::processEvents();
    dialog->repaint();
  });
  std::printf("dialog opened and painted: %.1f ms\n", open);
  for (const std::string& query : queries) {
    const double typed = Ms([&] {
      dialog->FindEdit().setText(QString::fromStdString(query));
      QCoreApplication::processEvents();
      dialog->Grid().viewport()->repaint();
    });
    std::printf("typed %-10s %7d shown and painted: %.1f ms\n", query.c_str(),
                dialog->Grid().model()->rowCount(), typed);
  }
}
