#!/usr/bin/env bash
# The tests' share of all C++ lines (non-blank, non-comment), as the project
# counts them: src and tests, and the ratio, which must stay at most a third.
#
#   scripts/test-share.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python3 - "$root" <<'PY'
import os, sys
root = sys.argv[1]

def sloc(path):
    n, block = 0, False
    for line in open(path, encoding="utf-8", errors="replace"):
        s, out, i = line, "", 0
        while i < len(s):
            if block:
                j = s.find("*/", i)
                if j < 0:
                    break
                block, i = False, j + 2
            elif s.startswith("//", i):
                break
            elif s.startswith("/*", i):
                block, i = True, i + 2
            elif s[i] == '"':  # a string literal, whatever it holds
                j = i + 1
                while j < len(s) and s[j] != '"':
                    j += 2 if s[j] == "\\" else 1
                out += s[i:j + 1]
                i = j + 1
            else:
                out += s[i]
                i += 1
        n += bool(out.strip())
    return n

counts = {}
for folder in ("src", "tests"):
    counts[folder] = sum(sloc(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(root, folder))
                         for f in fs if f.endswith((".cpp", ".h", ".hpp", ".cc")))
total = counts["src"] + counts["tests"]
print(f"src {counts['src']}, tests {counts['tests']}: tests are {counts['tests'] / total:.1%} of all C++ lines")
sys.exit(0 if counts["tests"] * 3 <= total else 1)
PY
