#!/usr/bin/env bash
# Times lorelist-db check and rewrite on a generated database of a million
# quotation nodes, against wc -l on the same file (reading the bytes once),
# and records peak memory; then loading and saving as the editor does (the
# check before writing, the write, the sync and the backup). Each figure is
# the best of several runs.
#
#   bench/db-bench.sh [QUOTATIONS] [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

quotations=${1:-1000000}
runs=${2:-5}
bench_database "$quotations"
bytes=$(stat -c %s "$database")

best() {
  local name=$1
  shift
  echo "$name $(best_of "$runs" "$@")"
}

{
  best wc wc -l "$database"
  best check "$tool" check "$database"
  best rewrite "$tool" rewrite "$database" "$work/out.txt"
} >"$work/results"
cmp -s "$database" "$work/out.txt" || { echo "rewrite did not give the same bytes" >&2; exit 1; }

awk -v bytes="$bytes" -v q="$quotations" '
  { name[NR] = $1; t[NR] = $2; kb[NR] = $3 }
  END {
    printf "database: %d quotation nodes, %.1f MB\n", q, bytes / 1e6
    floor = t[1] > 0 ? t[1] : 0.01
    for (i = 1; i <= NR; i++)
      printf "%-8s %6.3f s  %6.1fx wc -l  peak %6.1f MB  (%.2fx the file)\n",
             name[i], t[i], t[i] / floor, kb[i] / 1024, kb[i] * 1024 / bytes
  }' "$work/results"
echo "as the editor loads and saves (best and median of $runs):"
"$lorelist_root/build/bench/save_bench" "$database" "$runs"
