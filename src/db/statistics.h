#pragma once

#include "database.h"

namespace lorelist {

// The seven counts of the Statistics dialog, in its row order.
struct Statistics {
  int topLevelQuotations = 0;
  int bottomLevelQuotations = 0;
  int unreferencedBottomLevel = 0;
  int references = 0;      // running total
  int subjectEntries = 0;  // running total
  int categories = 0;
  int bottomLevelCategories = 0;

  int Row(int row) const;
};

constexpr int kStatisticsRows = 7;
extern const char* const kStatisticsLabels[kStatisticsRows];

// Walks both trees afresh for the five counts and takes the two running totals.
Statistics CountStatistics(const Database& db);

}  // namespace lorelist
