#!/usr/bin/env bash
# The speed table: Lorelist against the plain tools that do the same reading
# or writing, on generated databases of a million quotation nodes (and of ten
# million, kept in the build folder, when the disk has 5 GB free). Each
# figure is the median of RUNS paired runs, Lorelist and its yardstick in
# turn, and the ratio is taken pair by pair; the goal column says what the
# figure should be.
#
#   bench/perf-table.sh [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

runs=${1:-5}
ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
tool="$lorelist_root/build/src/cli/lorelist-db"
data="$lorelist_root/build/bench-data"
mkdir -p "$data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Bytes as bytes: the file is Windows-1252, which grep and wc read as such
# only in the C locale.
export LC_ALL=C

# A database generated once and kept: the same bytes at every run. utf8:
# the UTF-8 one of the same shape, its texts in several scripts.
database() {
  local file="$data/q$1.txt"
  [ -s "$file" ] || "$tool" generate --quotations "$1" --seed 1 "$file"
  echo "$file"
}
utf8_database() {
  local file="$data/u$1.txt"
  [ -s "$file" ] || "$tool" generate --utf8 --quotations "$1" --seed 1 "$file"
  echo "$file"
}

# Elapsed seconds of one run of a command, its output to a file: grep stops
# at its first match when it sees its output is /dev/null.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >"$work/output" 2>&1 || true
  end=$(date +%s%N)
  echo "$(((end - start) / 1000))e-6"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# paired NAME GOAL -- LORELIST... -- YARDSTICK...: the median time of each
# and the median of the ratios, run by run.
paired() {
  local name=$1 goal=$2
  shift 2
  local a=() b=()
  shift  # --
  while [ "$1" != "--" ]; do a+=("$1"); shift; done
  shift
  b=("$@")
  local ta=() tb=() ratios=()
  for _ in $(seq "$runs"); do
    local x y
    x=$(seconds "${a[@]}")
    y=$(seconds "${b[@]}")
    ta+=("$x")
    tb+=("$y")
    ratios+=("$(awk -v x="$x" -v y="$y" 'BEGIN { printf "%.3f", x / y }')")
  done
  printf '%-34s %9.3f s %9.3f s %8.2fx   %s\n' "$name" \
    "$(printf '%s\n' "${ta[@]}" | median)" "$(printf '%s\n' "${tb[@]}" | median)" \
    "$(printf '%s\n' "${ratios[@]}" | median)" "$goal"
}

# Peak memory of a command in MiB, as the system counts it, and its ratio to
# a file's size.
peak() {
  local file=$1
  shift
  /usr/bin/time -f %M -o "$work/time" "$@" >/dev/null 2>&1 || true
  awk -v kb="$(cat "$work/time")" -v bytes="$(stat -c %s "$file")" \
    'BEGIN { printf "%.0f MiB = %.2fx the file", kb / 1024, kb * 1024 / bytes }'
}

one=$(database 1000000)
cat "$one" >/dev/null
echo "1,000,000 quotations: $(stat -c %s "$one") bytes"
printf '%-34s %11s %11s %9s   %s\n' measure lorelist yardstick ratio goal
paired "check / wc -l" "<= 10x" -- "$tool" check "$one" -- wc -l "$one"
paired "rewrite / dd conv=fsync" "<= 2.5x" -- "$tool" rewrite "$one" "$work/out.txt" -- \
  dd if="$one" of="$work/copy.txt" bs=4M conv=fsync status=none
paired "search, no match / grep -c -i" "<= 0.5x" -- "$tool" search qzxqjv "$one" -- \
  grep -c -i qzxqjv "$one"
paired "search wisdom / grep -c -i" "<= 1.0x" -- "$tool" search wisdom "$one" -- \
  grep -c -i wisdom "$one"
paired "convert --to-utf8 / iconv" "<= 1.0x" -- "$tool" convert --to-utf8 "$one" "$work/u.txt" -- \
  sh -c 'iconv -f CP1252 -t UTF-8 "$1" >"$2"' iconv "$one" "$work/i.txt"
echo "peak memory of check: $(peak "$one" "$tool" check "$one")   goal <= 1.4x"

# The UTF-8 dictionary of the same shape: its file is larger (letters of
# two to four bytes), so the check is set against the Windows-1252 one's
# time and against its time a byte.
utf8=$(utf8_database 1000000)
cat "$utf8" >/dev/null
echo "1,000,000 quotations in UTF-8: $(stat -c %s "$utf8") bytes" \
  "($(awk -v u="$(stat -c %s "$utf8")" -v w="$(stat -c %s "$one")" 'BEGIN { printf "%.2fx", u / w }'))"
paired "check UTF-8 / check Windows-1252" "<= 1.15x" -- "$tool" check "$utf8" -- \
  "$tool" check "$one"
echo "peak memory of check in UTF-8: $(peak "$utf8" "$tool" check "$utf8")   goal: as Windows-1252"

# The window on the same database, and a quotation of 10 MB in the Workspace.
mkdir -p "$work/window"
ln -sf "$one" "$work/window/Florilex.txt"
shown=()
for _ in $(seq "$runs"); do
  shown+=("$("$lorelist_root/build/bench/gui_bench" "$work/window" 2>/dev/null |
    awk '/window shown and painted/ { print $(NF - 1) }')")
  rm -f "$work/window/LorJournal.BK!"
done
echo "window shown and painted: $(printf '%s\n' "${shown[@]}" | median) ms   goal <= 300 ms"
QT_QPA_PLATFORM=offscreen "$lorelist_root/build/bench/gui_bench" --text-mb 10 "$work/big" 2>/dev/null |
  sed 's/$/   goal <= 300 ms/'

# Ten million, where there is room: linear in time, and the same memory.
if [ "$(df --output=avail -B1 "$data" | tail -1)" -gt $((5 * 1024 * 1024 * 1024)) ] ||
  [ -s "$data/q10000000.txt" ]; then
  ten=$(database 10000000)
  cat "$ten" >/dev/null
  # linear NAME COMMAND...: its median time at 10M against the one at 1M,
  # FILE in the command standing for the database.
  linear() {
    local name=$1
    shift
    local t1=() t10=()
    for _ in $(seq "$runs"); do
      t1+=("$(seconds "${@//FILE/$one}")")
      t10+=("$(seconds "${@//FILE/$ten}")")
    done
    awk -v n="$name" -v a="$(printf '%s\n' "${t10[@]}" | median)" \
      -v b="$(printf '%s\n' "${t1[@]}" | median)" 'BEGIN {
      printf "10,000,000 quotations: %-14s %7.3f s = %4.1fx the 1M one   goal <= 10.5x\n", n, a, a / b }'
  }
  linear check "$tool" check FILE
  linear rewrite "$tool" rewrite FILE "$work/out.txt"
  linear "search wisdom" "$tool" search wisdom FILE
  echo "peak memory of check at 10M: $(peak "$ten" "$tool" check "$ten")   goal <= 1.4x"
else
  echo "10,000,000 quotations: skipped, less than 5 GB free"
fi

# Every edit with its undo record and its journal, at a million.
"$lorelist_root/build/bench/edit_bench" "$one" >"$work/edits"
grep "worst of all" "$work/edits" | sed 's/$/   goal <= 20 ms/'
grep "journalled edit" "$work/edits" | sed 's/$/   goal: median < 1 ms/'
