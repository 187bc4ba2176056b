// Times loading and saving a database as the editor does: the check before
// writing and the folder's save lock, then the save in a folder that already
// holds Florilex.txt, so every save rotates the backup. FILE is that
// Florilex.txt.
//
//   save_bench FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/load.h"
#include "db/save.h"

using namespace lorelist;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: save_bench FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::filesystem::path folder = std::filesystem::path(argv[1]).parent_path();
  std::vector<double> loads, saves;
  for (int i = 0; i < runs; ++i) {
    auto* db = new Database;  // left to the system, as the programs do
    auto start = Clock::now();
    if (LoadDatabase(*db, argv[1]).status != LoadResult::kComplete) return 1;
    loads.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    db->MarkChanged();
    start = Clock::now();
    bool asked = false;
    const SaveResult saved =
        SaveDatabase(*db, folder.string(), SystemFileOps(), [&](const std::string&) {
          asked = true;
          return false;
        });
    if (asked || !saved.ok) return 1;
    saves.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(loads.begin(), loads.end());
  std::sort(saves.begin(), saves.end());
  std::printf("load  best %.3f s  median %.3f s\n", loads.front(), loads[loads.size() / 2]);
  std::printf("save  best %.3f s  median %.3f s\n", saves.front(), saves[saves.size() / 2]);
  return 0;
}
