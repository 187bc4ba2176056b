#!/usr/bin/env bash
# lorelist-db search in a UTF-8 dictionary against the same search in its
# Windows-1252 original (a generated database of a million quotation nodes,
# converted), and in a twin of the UTF-8 one whose letters are Greek and
# Cyrillic. Each figure is the best of several runs; the goal is a ratio of
# at most 1.5 for the search without regard to case.
#
#   bench/search-bench.sh [QUOTATIONS] [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

quotations=${1:-1000000}
runs=${2:-5}
bench_database "$quotations"
windows=$database
utf8="$work/utf8.txt"
scripts="$work/scripts.txt"
"$tool" convert --to-utf8 "$windows" "$work/converted.txt"
{ printf '\xef\xbb\xbf'; cat "$work/converted.txt"; } >"$utf8"
rm "$work/converted.txt"

# The texts of every line in Greek and Cyrillic letters, one for one (the
# lines break where they did), the tags and codes kept; a sigma that ends a
# word is final.
perl -CSD -Mutf8 -pe '
  BEGIN {
    @m{"a" .. "z"} = split //, "αβцδεφγхιйκλμνοπθρστувшξыζ";
  }
  s{^(\x{FEFF}?\@(?:[QCR][0-9.]*|S|\@))?(.*)}{
    my ($tag, $text) = ($1 // "", $2);
    $tag . ($text =~ s/([A-Za-z])/$1 eq lc $1 ? $m{$1} : uc $m{lc $1}/ger =~ s/σ(?!\p{L})/ς/gr)
  }e' "$utf8" >"$scripts"
"$tool" check "$scripts"
cat "$windows" "$utf8" "$scripts" >/dev/null

seconds() { best_of "$runs" "$@" | cut -d' ' -f1; }

printf 'database: %d quotation nodes; Windows-1252 %.1f MB, UTF-8 %.1f MB, in Greek and Cyrillic %.1f MB\n' \
  "$quotations" "$(awk -v b="$(stat -c %s "$windows")" 'BEGIN{print b / 1e6}')" \
  "$(awk -v b="$(stat -c %s "$utf8")" 'BEGIN{print b / 1e6}')" \
  "$(awk -v b="$(stat -c %s "$scripts")" 'BEGIN{print b / 1e6}')"
# The search text last: printf pads bytes, not characters.
printf '%14s %10s %8s   %s\n' windows-1252 utf-8 ratio "lorelist-db search"
# search ARGUMENTS...: the same search in both files.
for args in "e" "zzqx" "wisdom" "été" "--case e" "--case zzqx"; do
  # shellcheck disable=SC2086 # the options and the text, as words
  w=$(seconds "$tool" search $args "$windows")
  # shellcheck disable=SC2086
  u=$(seconds "$tool" search $args "$utf8")
  printf '%12.3f s %8.3f s %7.2fx   %s\n' "$w" "$u" "$(awk -v u="$u" -v w="$w" 'BEGIN{print u / w}')" "$args"
done
printf '%14s %10s %8s   %s\n' "" utf-8 "" "in Greek and Cyrillic"
for args in "ε" "ζζθξ" "шισδομ" "ΛΟВΕ"; do
  printf '%14s %8.3f s %8s   %s\n' "" "$(seconds "$tool" search "$args" "$scripts")" "" "$args"
done
