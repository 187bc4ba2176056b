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
# Then each file is checked for what it must give, worked out here when the
# file is made: what check prints (the message whole, at the right line), the
# counts stats prints of what was kept, and for a file that loads whole the
# logical lines rewrite writes (every text, entry and reference target). Any
# difference is printed and the script exits 1. The corpus of
# tests/fuzz/corpus holds the same kinds of file at sizes the unit tests run.
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

# The files and what each must give (generate), and the check of what they
# give (check): one program, so that both read logical lines alike.
hostile_py=$(cat <<'EOF'
import hashlib
import json
import os
import random
import subprocess
import sys

mode, work = sys.argv[1], sys.argv[2]
MB = 1_000_000
# The fixed texts of the messages the files stop with.
NO_AT = b"Line does not start with '@': "
BAD_LETTER = b"Line does not begin with valid letter: "
ZERO = b"Code has zero component: "
FINAL = b"Final number does not increment by 1: "
INTERIOR = b"Code interior moves on: "
TOO_DEEP = b"More than 25 levels: "
MISSING = b"Reference to a missing quotation node: "


def logical_lines(data):
    # The file's logical lines, worked out here on their own: a physical line
    # ends at LF, less one CR before it; while a line ends in "-", the "-" goes
    # and the next physical line (nothing past the end) is appended. Each
    # physical line is copied once, however long the run of continued lines.
    physical = data.split(b"\n")
    if physical and physical[-1] == b"":
        physical.pop()
    physical = [p[:-1] if p.endswith(b"\r") and (i < len(physical) - 1 or data.endswith(b"\n")) else p
                for i, p in enumerate(physical)]
    lines, i = [], 0
    while i < len(physical):
        pieces, kept = [physical[i]], [len(physical[i])]
        i += 1
        full = [0] if kept[0] else []  # the pieces something of which is kept
        while full and pieces[full[-1]][kept[full[-1]] - 1] == ord("-"):
            kept[full[-1]] -= 1
            if not kept[full[-1]]:
                full.pop()
            if i < len(physical):
                pieces.append(physical[i])
                kept.append(len(physical[i]))
                if kept[-1]:
                    full.append(len(pieces) - 1)
                i += 1
        lines.append(b"".join(p[:k] for p, k in zip(pieces, kept)))
    return lines


def digest(lines):
    h = hashlib.sha256()
    for line in lines:
        h.update(line + b"\n")
    return h.hexdigest()


def run(*args):
    return subprocess.run([sys.argv[3], *args], cwd=work, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def check():
    with open(os.path.join(work, "expected.json")) as f:
        expected = json.load(f)
    failures = []
    for name, want in expected.items():
        checked = run("check", name)
        if checked.returncode != want["status"]:
            failures.append(f"{name}: check exits {checked.returncode}, not {want['status']}")
        if hashlib.sha256(checked.stdout).hexdigest() != want["said"]:
            failures.append(f"{name}: check prints other than it should: {checked.stdout[:200]!r}")
        if want["stats"] is not None:
            counts = [int(line.rsplit(b": ", 1)[1]) for line in run("stats", name).stdout.splitlines()]
            if counts != want["stats"]:
                failures.append(f"{name}: stats counts {counts}, not {want['stats']}")
        if want["lines"] is not None:
            rewritten = os.path.join(work, "rewritten")
            if run("rewrite", name, rewritten).returncode != 0:
                failures.append(f"{name}: rewrite fails")
            else:
                with open(rewritten, "rb") as f:
                    if digest(logical_lines(f.read())) != want["lines"]:
                        failures.append(f"{name}: rewrite writes other lines than the file should give")
                os.remove(rewritten)
    for failure in failures:
        print("FAILED " + failure)
    if failures:
        sys.exit(f"hostile-bench: {len(failures)} of the checks FAILED")
    print(f"Each of the {len(expected)} files gives what it should.")


if mode == "check":
    check()
    sys.exit()

# Writes every file, with what it must give. Sizes are exact where a size is
# named; random bytes come from a fixed seed.
expected = {}


def write(name, parts):
    with open(os.path.join(work, name), "wb") as out:
        for part in parts:
            out.write(part)


def expect(name, message=None, line=0, kept=None, lines=None):
    # What check prints ("" when the file loads whole), the seven counts stats
    # prints of what was kept, and the logical lines rewrite writes.
    said = b"" if message is None else b"%s:%d: %s\n" % (name.encode(), line, message)
    expected[name] = {"status": 0 if message is None else 1, "said": hashlib.sha256(said).hexdigest(),
                      "stats": kept, "lines": None if lines is None else digest(lines)}


def expect_whole(name, lines=None):
    # A file of canonical codes and short lines is written back as it is.
    if lines is None:
        with open(os.path.join(work, name), "rb") as f:
            lines = logical_lines(f.read())
    expect(name, lines=lines)


def words(size, first=b"w"):
    pool = b"lorem ipsum dolor sit amet, consectetur adipiscing "
    text = (pool * (size // len(pool) + 1))[:size]
    return first + text[1 : size - 1] + b"."


def chunked(count, line, per=100_000):
    # Many short lines, joined a batch at a time.
    for start in range(0, count, per):
        yield b"".join(line(i) for i in range(start, min(count, start + per)))


NOTHING = [0, 0, 0, 0, 0, 0, 0]
ONE_NODE = [1, 1, 1, 0, 0, 0, 0]  # one top-level quotation node, unreferenced

# One huge line: not a valid line, then a valid quotation node.
for size in (50, 100):
    write(f"line-bad-{size}M", [words(size * MB, b"x"), b"\r\n"])
    expect(f"line-bad-{size}M", NO_AT + words(size * MB, b"x"), 1, NOTHING)
for size in (50, 100):
    write(f"line-q1-{size}M", [b"@Q1 ", words(size * MB), b"\r\n@Q2 next\r\n"])
    expect_whole(f"line-q1-{size}M", [b"@Q1 " + words(size * MB), b"@Q2 next", b"@@"])
# After good lines, with LF alone and no end to the last line; with a bad
# tag; and huge texts everywhere a text goes, one a reference's.
text = words(20 * MB, b"x")
write("line-bad-after-20M", [b"@Q1 a\n@Q1.1 b\n", text])
expect("line-bad-after-20M", NO_AT + text, 3, [1, 1, 1, 0, 0, 0, 0])
write("line-tag-20M", [b"@Q1 a\r\n@X", text, b"\r\n"])
expect("line-tag-20M", BAD_LETTER + b"@X" + text, 2, ONE_NODE)
text = words(10 * MB)
write("line-everywhere-30M", [b"@Q1 ", text, b"\r\n@Q2 next\r\n@Q2.1 ", text, b"\r\n@@\r\n@C1 c\r\n@R2.1 ", text])
expect_whole("line-everywhere-30M", [b"@Q1 " + text, b"@Q2 next", b"@Q2.1 " + text, b"@@", b"@C1 c", b"@R2.1 " + text])
# Floods of empty lines and of CRs with no LF (one line of CRs, all its own).
write("empty-lines-1000k", [b"@Q1 a\r\n", b"\r\n" * 1_000_000])
expect("empty-lines-1000k", NO_AT, 2, ONE_NODE)
write("crs-10M", [b"\r" * (10 * MB)])
expect("crs-10M", NO_AT + b"\r" * (10 * MB), 1, NOTHING)

# Continuation: lines of text each ending in "-", then bare "-" lines.
piece = lambda i: b"piece %d of a long chain " % i
for count in (500_000, 1_000_000):
    write(f"cont-{count // 1000}k",
          [b"@Q1 start -\r\n"]
          + list(chunked(count, lambda i: piece(i) + b"-\r\n"))
          + [b"end\r\n@Q2 after\r\n"])
    expect_whole(f"cont-{count // 1000}k",
                 [b"@Q1 start " + b"".join(chunked(count, piece)) + b"end", b"@Q2 after", b"@@"])
count = 1_000_000
write("cont-lf-1000k", [b"@Q1 start -\n"] + list(chunked(count, lambda i: piece(i) + b"-\n"))
      + [b"end\n@Q2 after\n@Q9 bad\n"])
expect("cont-lf-1000k", FINAL + b"@Q9 bad", count + 4, [2, 2, 2, 0, 0, 0, 0])
for count in (500_000, 1_000_000):
    write(f"dashes-{count // 1000}k", [b"@Q1 a-\r\n", b"-\r\n" * count, b"z\r\n"])
    expect_whole(f"dashes-{count // 1000}k", [b"@Q1 az", b"@@"])
# A run of dashes is eaten one per empty line, and at the end of the file.
write("dash-run-1000k", [b"@Q1 a", b"-" * count, b"\r\n", b"\r\n" * (count - 1), b"z\r\n"])
expect_whole("dash-run-1000k", [b"@Q1 az", b"@@"])
write("dash-run-at-end-1000k", [b"@Q1 a", b"-" * count])
expect_whole("dash-run-at-end-1000k", [b"@Q1 a", b"@@"])
write("cont-into-end-1000k", [b"@Q1 a\r\n@Q2 ", b"x -\r\n" * count])
expect_whole("cont-into-end-1000k", [b"@Q1 a", b"@Q2 " + b"x " * count, b"@@"])

# Binary garbage with NUL bytes: alone (it stops at its first line), after
# categories, and cut into subject entries, so that all of it is read, kept
# and sorted.
garbage = bytearray(random.Random(1252).randbytes(100 * MB))
garbage[0] = 0
write("garbage-100M", [garbage])
first = logical_lines(bytes(garbage[:MB]))[0]
expect("garbage-100M", NO_AT + first, 1, NOTHING)
write("garbage-after-categories-50M", [b"@Q1 a\r\n@@\r\n@C1 c\r\n@R1 r\r\n@Ss\r\n", garbage[: 50 * MB]])
expect("garbage-after-categories-50M", NO_AT + first, 6, [1, 1, 0, 1, 1, 1, 1])
for size in (50, 100):
    lines = bytes(garbage[: size * MB]).split(b"\n")
    data = b"@@\r\n@C1 c\r\n" + b"".join(b"@S" + line + b"\n" for line in lines)
    write(f"garbage-subjects-{size}M", [data])
    expect_whole(f"garbage-subjects-{size}M", logical_lines(data))
    del lines, data
del garbage

# Chains 25 levels deep, then categories as deep whose deepest refers to the
# deepest node of every chain and to nodes 7 and 8 levels down (a code that
# fits the loader's packed key and one that does not); one more file ends on
# a 26th level.
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
        return parts
    parts.append(b"@@\r\n" + b"".join(b"@C1" + b".1" * level + b" c\r\n" for level in range(25)))
    parts += list(chunked(count, lambda i: b"@R%d" % (i + 1) + b".1" * 24 + b" deepest\r\n"
                          + b"@R%d" % (i + 1) + b".1" * 6 + b" seven\r\n"
                          + b"@R%d" % (i + 1) + b".1" * 7 + b" eight\r\n"))
    parts.append(b"@C2 top again\r\n@Sdone\r\n")
    return parts
for count in (20_000, 40_000):
    write(f"chains-{count // 1000}k", chains(count))
    expect_whole(f"chains-{count // 1000}k")
write("chains-40k-26th", chains(40_000, deeper=True))
expect("chains-40k-26th", TOO_DEEP + b"@Q40000" + b".1" * 25 + b" too deep", 25 * 40_000 + 1,
       [40_000, 40_000, 40_000, 0, 0, 0, 0])

# Numbers of thousands of digits: a failing code after one node, a reference
# millions of levels deep, then nodes whose codes carry thousands of leading
# zeros, each referred to by its code.
write("digits-final", [b"@Q1 a\r\n@Q", b"9" * 5000, b" x\r\n"])
expect("digits-final", FINAL + b"@Q" + b"9" * 5000 + b" x", 2, ONE_NODE)
write("digits-interior", [b"@Q1 a\r\n@Q", b"1" * 5000, b".1 x\r\n"])
expect("digits-interior", INTERIOR + b"@Q" + b"1" * 5000 + b".1 x", 2, ONE_NODE)
write("digits-100M", [b"@Q1 a\r\n@Q", b"9" * (100 * MB), b" x\r\n"])
expect("digits-100M", FINAL + b"@Q" + b"9" * (100 * MB) + b" x", 2, ONE_NODE)
write("digits-zeros-50M", [b"@Q", b"0" * (50 * MB), b"\r\n"])
expect("digits-zeros-50M", ZERO + b"@Q" + b"0" * (50 * MB), 1, NOTHING)
write("ref-levels-20M", [b"@Q1 a\r\n@Q1.1 b\r\n@@\r\n@C1 c\r\n@R1", b".1" * (10 * MB), b" x\r\n"])
expect("ref-levels-20M", MISSING + b"@R1" + b".1" * (10 * MB) + b" x", 5, [1, 1, 1, 0, 0, 1, 1])
zeros = b"0" * 2000
for count in (10_000, 20_000):
    write(f"zeros-{count // 1000}k",
          list(chunked(count, lambda i: b"@Q" + zeros + b"%d node\r\n" % (i + 1), 1000))
          + [b"@@\r\n@C1 c\r\n"]
          + list(chunked(count, lambda i: b"@R" + zeros + b"%d ref\r\n" % (i + 1), 1000)))
    expect_whole(f"zeros-{count // 1000}k", [b"@Q%d node" % (i + 1) for i in range(count)] + [b"@@", b"@C1 c"]
                 + [b"@R%d ref" % (i + 1) for i in range(count)])

# Subject entries under one category, and one entry of 100 MB; a million
# references to one node, the last one missing.
rng = random.Random(77)
pool = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(1, 12)))
        for _ in range(50_000)]
for count in (500_000, 1_000_000):
    write(f"subjects-{count // 1000}k",
          [b"@Q1 a\r\n@@\r\n@C1 c\r\n"]
          + list(chunked(count, lambda i: b"@S" + pool[(i * 7919) % len(pool)] + b"\r\n")))
    expect_whole(f"subjects-{count // 1000}k")
write("subject-100M", [b"@@\r\n@C1 c\r\n@S", words(100 * MB, b"S"), b"\r\n"])
expect_whole("subject-100M", [b"@@", b"@C1 c", b"@S" + words(100 * MB, b"S")])
count = 1_000_000
write("refs-1000k", [b"@Q1 a\r\n@Q1.1 b\r\n@@\r\n@C1 c\r\n"]
      + list(chunked(count, lambda i: b"@R1.1 r\r\n" if i % 2 else b"@R1.1\r\n"))
      + [b"@R1.2 missing at the end\r\n"])
expect("refs-1000k", MISSING + b"@R1.2 missing at the end", count + 5, [1, 1, 0, count, 0, 1, 1])

with open(os.path.join(work, "expected.json"), "w") as out:
    json.dump(expected, out)
with open(os.path.join(work, "names"), "w") as out:
    out.write("\n".join(expected) + "\n")
EOF
)
python3 -c "$hostile_py" generate "$work"

{
  for name in $(cat "$work/names"); do
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
    printf "%-28s %7s %7s %8s %7s %10s  %s\n", "file", "MB", "seconds", "peak MB", "peak/MB",
           "out bytes", "what check prints (first 100 characters)"
    for (i = 1; i <= NR; i++) {
      n = order[i]
      printf "%-28s %7.1f %7.3f %8.1f %7.2f %10d  %s\n", n, bytes[n] / 1e6, t[n], kb[n] / 1024,
             kb[n] * 1024 / bytes[n], out[n], text[n]
    }
    print ""
    print "growth from the smaller to the larger file of a kind:"
    split("line-bad-50M line-bad-100M line-q1-50M line-q1-100M cont-500k cont-1000k " \
          "dashes-500k dashes-1000k garbage-subjects-50M garbage-subjects-100M " \
          "chains-20k chains-40k zeros-10k zeros-20k subjects-500k subjects-1000k", pair, " ")
    for (i = 1; i in pair; i += 2) {
      a = pair[i]; b = pair[i + 1]
      printf "  %-28s -> %-28s size x%.2f  time x%.2f  peak x%.2f\n", a, b,
             bytes[b] / bytes[a], t[b] / (t[a] > 0 ? t[a] : 0.001), kb[b] / kb[a]
    }
  }' "$work/results"

# What each file must give. The files are checked one at a time, each output
# compared by its digest, so that memory stays near the largest file's.
echo
python3 -c "$hostile_py" check "$work" "$tool"
