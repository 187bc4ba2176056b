#!/usr/bin/env bash
# Fuzzes the database loader for SECONDS (default 60): arbitrary bytes are
# loaded, written, loaded again and written again, and everything must agree.
# Inputs that fail are copied to tests/fuzz/regressions/, where db_tests
# replays them, so a fault once found stays tested.
#
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "clang++ not found: the load fuzzer is skipped."
  exit 0
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
corpus="$root/tests/fuzz/corpus"
regressions="$root/tests/fuzz/regressions"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root/tests/fuzz" -B "$build" -G Ninja
fi
ninja -C "$build" load_fuzzer

# The run grows its own copy of the corpus, so the repository's is never
# written; failing inputs land in the artifact folder.
work=$(mktemp -d "${TMPDIR:-/tmp}/lorelist-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
cp "$corpus"/* "$work/corpus/"

seeds=("$work/corpus")
# Earlier failures are seeds too; the placeholder file alone is no input.
if compgen -G "$regressions/[!.]*" >/dev/null; then
  seeds+=("$regressions")
fi

status=0
"$build/load_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -dict="$root/tests/fuzz/lorelist.dict" -artifact_prefix="$work/artifacts/" "${seeds[@]}" ||
  status=$?

if [ "$status" -ne 0 ]; then
  found=("$work"/artifacts/*)
  if [ -e "${found[0]}" ]; then
    mkdir -p "$regressions"
    cp "${found[@]}" "$regressions/"
    echo "The load fuzzer failed (exit $status). Failing inputs copied to $regressions:" >&2
    for file in "${found[@]}"; do echo "  $(basename "$file")" >&2; done
    echo "Replay one with: $build/load_fuzzer <file>" >&2
  else
    echo "The load fuzzer failed (exit $status) and left no input behind." >&2
  fi
  exit 1
fi
echo "The load fuzzer ran ${seconds}s without a failure."
