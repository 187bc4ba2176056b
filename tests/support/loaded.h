#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "db/load.h"

namespace lorelist::test {

// Keeps every message loading reports, with its line.
struct Recorder : LoadReporter {
  std::vector<std::pair<std::string, uint64_t>> reports;
  void ReportLoadError(const std::string& message, uint64_t line) override {
    reports.emplace_back(message, line);
  }
};

// A database as loading left it, with the result and what was reported.
struct Loaded {
  Database db;
  LoadResult result;
  Recorder reporter;
};

}  // namespace lorelist::test
