#pragma once

#include "cli/arguments.h"

namespace lorelist::cli {

// lorelist-db diff A B: the differences of B from A, one a line; 0 when
// there are none, 1 when there are, 2 on trouble (as diff does).
int Diff(const Arguments& args);

// lorelist-db merge BASE MINE THEIRS -o OUT [--ours|--theirs]: MINE with the
// changes THEIRS made against BASE, written to OUT as rewrite writes; the
// conflicts on standard error, kept as mine, and 1; settled by --ours or
// --theirs, 0; 2 on trouble.
int Merge(const Arguments& args);

// lorelist-db history FOLDER: the versions of FOLDER's dictionary that the
// editor kept, newest first, one a line, each with its differences to the
// current file; 0, 1 when the current file does not load whole, 2 when
// FOLDER holds no dictionary or its history cannot be read.
int History(const Arguments& args);

}  // namespace lorelist::cli
