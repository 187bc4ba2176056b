#!/usr/bin/env bash
# lorelist-db export and search on a generated database of a million
# quotation nodes: export time and size, search against grep -c -i for the
# same text on the same file. Each figure is the best of several runs.
#
#   bench/cli-bench.sh [QUOTATIONS] [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

quotations=${1:-1000000}
runs=${2:-5}
bench_database "$quotations"

best() {
  local name=$1
  shift
  read -r seconds kb < <(best_of "$runs" "$@")
  printf '%-34s %7.3f s  peak %6.1f MB\n' "$name" "$seconds" "$(awk -v kb="$kb" 'BEGIN{print kb / 1024}')"
}

printf 'database: %d quotation nodes, %.1f MB (locale %s)\n' "$quotations" \
  "$(awk -v b="$(stat -c %s "$database")" 'BEGIN{print b / 1e6}')" "${LC_ALL:-${LANG:-POSIX}}"
best "export --html" "$tool" export --html "$database" -o "$work/out.html"
best "export --markdown" "$tool" export --markdown "$database" -o "$work/out.md"
printf '%-34s %7.1f MB, %7.1f MB\n' "exported sizes (html, markdown)" \
  "$(awk -v b="$(stat -c %s "$work/out.html")" 'BEGIN{print b / 1e6}')" \
  "$(awk -v b="$(stat -c %s "$work/out.md")" 'BEGIN{print b / 1e6}')"
# grep stops at the first match in a file it takes for binary (Windows-1252
# bytes are not UTF-8): -a makes it read everything, as search does.
for text in qzxqjv Wisdom; do
  best "grep -c -i $text" grep -c -i "$text" "$database"
  best "grep -a -c -i $text" grep -a -c -i "$text" "$database"
  best "lorelist-db search $text" "$tool" search "$text" "$database"
done
