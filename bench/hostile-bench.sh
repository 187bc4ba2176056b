#!/usr/bin/env bash
# Times lorelist-db check on hostile files no writer of ours produces: a
# single 100 MB line (not a valid line, and a valid quotation), a million
# continuation lines, 100 MB of binary garbage with NUL bytes, chains 25
# levels deep, codes with numbers of thousands of digits, a million subject
# entries under one category. Each kind that can grow comes in two sizes, to
# show that time and memory grow with the file and no faster. Each figure is
# the best of several runs; the generated files are the same at every run.
# The last columns show what check prints: its size in bytes (a failing line
# is printed whole) and its first 100 characters, unprintable bytes as ".".
#
#   bench/hostile-bench.sh [RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

runs=${1:-3}
ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
tool="$lorelist_root/build/src/cli/lorelist-db"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes every file. Sizes are exact where a size is named; random bytes come
# from a fixed seed.
python3 - "$work" <<'EOF'
import os
import random
import sys

work = sys.argv[1]
MB = 1_000_000


def write(name, parts):
    with open(os.path.join(work, name), "wb") as out:
        for part in parts:
            out.write(part)


def words(size, first=b"w"):
    pool = b"lorem ipsum dolor sit amet, consectetur adipiscing "
    text = (pool * (size // len(pool) + 1))[:size]
    return first + text[1 : size - 1] + b"."


def chunked(count, line, per=100_000):
    # Many short lines, joined a batch at a time.
    for start in range(0, count, per):
        yield b"".join(line(i) for i in range(start, min(count, start + per)))


# One huge line: not a valid line, then a valid quotation node.
for size in (50, 100):
    write(f"line-bad-{size}M", [words(size * MB, b"x"), b"\r\n"])
for size in (50, 100):
    write(f"line-q1-{size}M", [b"@Q1 ", words(size * MB), b"\r\n@Q2 next\r\n"])

# Continuation: lines of text each ending in "-", then bare "-" lines.
for count in (500_000, 1_000_000):
    write(f"cont-{count // 1000}k",
          [b"@Q1 start -\r\n"]
          + list(chunked(count, lambda i: b"piece %d of a long chain -\r\n" % i))
          + [b"end\r\n@Q2 after\r\n"])
for count in (500_000, 1_000_000):
    write(f"dashes-{count // 1000}k", [b"@Q1 a-\r\n", b"-\r\n" * count, b"z\r\n"])

# Binary garbage with NUL bytes: alone (it stops at its first line), and cut
# into subject entries, so that all of it is read, kept and sorted.
garbage = bytearray(random.Random(1252).randbytes(100 * MB))
garbage[0] = 0
write("garbage-100M", [garbage])
for size in (50, 100):
    lines = bytes(garbage[: size * MB]).split(b"\n")
    write(f"garbage-subjects-{size}M",
          [b"@@\r\n@C1 c\r\n", b"".join(b"@S" + line + b"\n" for line in lines)])
del garbage

# Chains 25 levels deep, then categories as deep whose deepest refers to the
# deepest node of every chain; one more file ends on a 26th level.
def chains(count, deeper=False):
    def chain(k):
        code, lines = b"%d" % k, []
        for _ in range(25):
            lines.append(b"@Q" + code + b" chain %d\r\n" % k)
            code += b".1"
        return b"".join(lines)
    parts = list(chunked(count, lambda i: chain(i + 1), 10_000))
    if deeper:
        parts.append(b"@Q%d" % count + b".1" * 25 + b" too deep\r\n")
    parts.append(b"@@\r\n" + b"".join(b"@C1" + b".1" * level + b" c\r\n" for level in range(25)))
    parts += list(chunked(count, lambda i: b"@R%d" % (i + 1) + b".1" * 24 + b" deepest\r\n"))
    return parts
write("chains-20k", chains(20_000))
write("chains-40k", chains(40_000))
write("chains-40k-26th", chains(40_000, deeper=True))

# Numbers of thousands of digits: a failing code after one node, then nodes
# whose codes carry thousands of leading zeros, each referred to by its code.
write("digits-final", [b"@Q1 a\r\n@Q", b"9" * 5000, b" x\r\n"])
write("digits-interior", [b"@Q1 a\r\n@Q", b"1" * 5000, b".1 x\r\n"])
write("digits-100M", [b"@Q1 a\r\n@Q", b"9" * (100 * MB), b" x\r\n"])
zeros = b"0" * 2000
for count in (10_000, 20_000):
    write(f"zeros-{count // 1000}k",
          list(chunked(count, lambda i: b"@Q" + zeros + b"%d node\r\n" % (i + 1), 1000))
          + [b"@@\r\n@C1 c\r\n"]
          + list(chunked(count, lambda i: b"@R" + zeros + b"%d ref\r\n" % (i + 1), 1000)))

# Subject entries under one category, and one entry of 100 MB.
rng = random.Random(77)
pool = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(1, 12)))
        for _ in range(50_000)]
for count in (500_000, 1_000_000):
    write(f"subjects-{count // 1000}k",
          [b"@Q1 a\r\n@@\r\n@C1 c\r\n"]
          + list(chunked(count, lambda i: b"@S" + pool[(i * 7919) % len(pool)] + b"\r\n")))
write("subject-100M", [b"@@\r\n@C1 c\r\n@S", words(100 * MB, b"S"), b"\r\n"])

EOF

{
  for name in line-bad-50M line-bad-100M line-q1-50M line-q1-100M cont-500k cont-1000k \
    dashes-500k dashes-1000k garbage-100M garbage-subjects-50M garbage-subjects-100M \
    chains-20k chains-40k chains-40k-26th digits-final digits-interior digits-100M zeros-10k \
    zeros-20k subjects-500k subjects-1000k subject-100M; do
    file="$work/$name"
    cat "$file" >/dev/null  # into the page cache first
    read -r seconds kb < <(cd "$work" && best_of "$runs" "$tool" check "$name")
    # Once more for what check prints.
    (cd "$work" && "$tool" check "$name" >"$work/said" || true)
    said=$(head -c 100 "$work/said" | tr -d '\n' | LC_ALL=C tr -c '[:print:]' '.')
    echo "$name $(stat -c %s "$file") $seconds $kb $(stat -c %s "$work/said") ${said:-(loads whole)}"
  done
} >"$work/results"

awk '
  {
    name = $1; bytes[name] = $2; t[name] = $3; kb[name] = $4
    out[name] = $5
    said = $0; for (i = 1; i <= 5; i++) sub(/^[^ ]+ /, "", said)
    order[NR] = name; text[name] = said
  }
  END {
    printf "%-22s %7s %7s %8s %7s %10s  %s\n", "file", "MB", "seconds", "peak MB", "peak/MB",
           "out bytes", "what check prints (first 100 characters)"
    for (i = 1; i <= NR; i++) {
      n = order[i]
      printf "%-22s %7.1f %7.3f %8.1f %7.2f %10d  %s\n", n, bytes[n] / 1e6, t[n], kb[n] / 1024,
             kb[n] * 1024 / bytes[n], out[n], text[n]
    }
    print ""
    print "growth from the smaller to the larger file of a kind:"
    split("line-bad-50M line-bad-100M line-q1-50M line-q1-100M cont-500k cont-1000k " \
          "dashes-500k dashes-1000k garbage-subjects-50M garbage-subjects-100M " \
          "chains-20k chains-40k zeros-10k zeros-20k subjects-500k subjects-1000k", pair, " ")
    for (i = 1; i in pair; i += 2) {
      a = pair[i]; b = pair[i + 1]
      printf "  %-22s -> %-22s size x%.2f  time x%.2f  peak x%.2f\n", a, b,
             bytes[b] / bytes[a], t[b] / (t[a] > 0 ? t[a] : 0.001), kb[b] / kb[a]
    }
  }' "$work/results"
