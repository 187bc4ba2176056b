#pragma once

#include <cstdint>

#include "db/database.h"

namespace lorelist {

// Fills an empty database with a synthetic one shaped like a real dictionary,
// the same for the same count and seed: authors > works > quotations, about a
// tenth as many categories 3-4 levels deep, about one reference per
// quotation and a fifth as many subject entries. In UTF-8 the texts hold
// letters of several scripts; the rest is as in Windows-1252 for the same
// count and seed: the same tree, references and entries.
void GenerateDatabase(Database& db, int64_t quotations, uint64_t seed,
                      Encoding encoding = Encoding::kWindows1252);

}  // namespace lorelist
