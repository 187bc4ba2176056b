#!/usr/bin/env bash
# Times every edit of the database, its undo and its redo, on a generated
# database of a million quotation nodes, moves of a 100,000-node subtree
# among them, and the memory 10,000 undo steps keep; then edits written to the
# recovery journal and flushed to disk, and a start that replays 10,000 of
# them. The window's own
# figures for the same edits are gui-bench.sh's.
#
#   bench/edit-bench.sh [QUOTATIONS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

bench_database "${1:-1000000}"
"$lorelist_root/build/bench/edit_bench" "$database"
