#!/usr/bin/env bash
# Fuzzes for SECONDS in all (default 60), split between two fuzzers: the
# loader's round trip (arbitrary bytes are loaded, written, loaded again and
# written again, and everything must agree) and the one-pass scan of
# lorelist-db search against the loader (they must judge every file alike).
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
  echo "clang++ not found: the fuzzers are skipped."
  exit 0
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
corpus="$root/tests/fuzz/corpus"
regressions="$root/tests/fuzz/regressions"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root/tests/fuzz" -B "$build" -G Ninja
fi
ninja -C "$build" load_fuzzer scan_fuzzer

# Each run grows its own copy of the corpus, so the repository's is never
# written; failing inputs land in the artifact folder.
work=$(mktemp -d "${TMPDIR:-/tmp}/lorelist-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

share=$(((seconds + 1) / 2))
failed=0
for fuzzer in load_fuzzer scan_fuzzer; do
  mkdir "$work/$fuzzer" "$work/$fuzzer/corpus" "$work/$fuzzer/artifacts"
  cp "$corpus"/* "$work/$fuzzer/corpus/"
  seeds=("$work/$fuzzer/corpus")
  # Earlier failures are seeds too; the placeholder file alone is no input.
  if compgen -G "$regressions/[!.]*" >/dev/null; then
    seeds+=("$regressions")
  fi
  status=0
  "$build/$fuzzer" -max_total_time="$share" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -dict="$root/tests/fuzz/lorelist.dict" -artifact_prefix="$work/$fuzzer/artifacts/" \
    "${seeds[@]}" || status=$?
  if [ "$status" -ne 0 ]; then
    failed=1
    found=("$work/$fuzzer"/artifacts/*)
    if [ -e "${found[0]}" ]; then
      mkdir -p "$regressions"
      cp "${found[@]}" "$regressions/"
      echo "The $fuzzer failed (exit $status). Failing inputs copied to $regressions:" >&2
      for file in "${found[@]}"; do echo "  $(basename "$file")" >&2; done
      echo "Replay one with: $build/$fuzzer <file>" >&2
    else
      echo "The $fuzzer failed (exit $status) and left no input behind." >&2
    fi
  else
    echo "The $fuzzer ran ${share}s without a failure."
  fi
done
exit "$failed"
