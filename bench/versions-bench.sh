#!/usr/bin/env bash
# lorelist-db diff and merge on versions of a generated database of a million
# quotation nodes, each a thousand random edits of every kind away from it
# (bench/edit_versions: mine below the top-level nodes at even places, theirs
# at odd ones, so that they merge without conflicts), against loading the
# same files with lorelist-db check. The goals: diff within 3 times the time
# of checking both files, merge within 4 times that of checking the three,
# each within 3 times the size of its files in memory. Each figure is the
# best of several runs.
#
#   bench/versions-bench.sh [QUOTATIONS] [EDITS] [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

quotations=${1:-1000000}
edits=${2:-1000}
runs=${3:-5}
bench_database "$quotations"
base=$database
mine="$work/mine.txt"
theirs="$work/theirs.txt"
"$lorelist_root/build/bench/edit_versions" "$base" "$mine" "$edits" 0 11 >/dev/null
"$lorelist_root/build/bench/edit_versions" "$base" "$theirs" "$edits" 1 12 >/dev/null
cat "$mine" "$theirs" >/dev/null

megabytes() { awk -v b="$1" 'BEGIN{printf "%.1f", b / 1e6}'; }
bytes() { stat -c %s "$@" | awk '{sum += $1} END {print sum}'; }

# measure NAME COMMAND...: the best time and its peak; sets seconds and kb.
measure() {
  local name=$1
  shift
  read -r seconds kb < <(best_of "$runs" "$@")
  printf '%-38s %7.3f s  peak %7.1f MB' "$name" "$seconds" "$(megabytes $((kb * 1024)))"
}
# against YARDSTICK_SECONDS FILES...: this measure's time and peak as ratios.
against() {
  local yardstick=$1
  shift
  awk -v s="$seconds" -v y="$yardstick" -v kb="$kb" -v b="$(bytes "$@")" \
    'BEGIN{printf "  %5.2fx the time, %5.2fx the files\n", s / y, kb * 1024 / b}'
}

printf 'database: %d quotation nodes, %s MB; versions %d edits from it\n' "$quotations" \
  "$(megabytes "$(bytes "$base")")" "$edits"
printf 'differences: %d of mine, %d of theirs\n' \
  "$("$tool" diff "$base" "$mine" | wc -l)" "$("$tool" diff "$base" "$theirs" | wc -l)"

# shellcheck disable=SC2016 # the files are the shell's arguments
measure "check base && check mine" sh -c '"$0" check "$1" && "$0" check "$2"' "$tool" "$base" "$mine"
echo
two=$seconds
measure "diff base mine" "$tool" diff "$base" "$mine"
against "$two" "$base" "$mine"

# shellcheck disable=SC2016
measure "check base, mine and theirs" \
  sh -c '"$0" check "$1" && "$0" check "$2" && "$0" check "$3"' "$tool" "$base" "$mine" "$theirs"
echo
three=$seconds
measure "merge base mine theirs -o out" "$tool" merge "$base" "$mine" "$theirs" -o "$work/out.txt"
against "$three" "$base" "$mine" "$theirs"
# Both sets of edits are in the merge: none is a conflict.
"$tool" merge "$base" "$mine" "$theirs" -o "$work/out.txt"
