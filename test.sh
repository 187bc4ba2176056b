#!/usr/bin/env bash
# Builds Lorelist and runs every test: the suite as built for use, the
# install and the Debian package checked, the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a minute of fuzzing
# the loader.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/common.sh"

ensure_packages "${LORELIST_PACKAGES[@]}" "${LORELIST_TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
# The soaks (random tests from a fresh seed each run) only when asked:
# LORELIST_SOAK=1 ./test.sh.
labels=(-LE soak)
[ "${LORELIST_SOAK:-0}" = 1 ] && labels=()

echo "== tests"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
ctest --test-dir "$lorelist_root/build" --output-on-failure -j "$jobs" "${labels[@]}"

echo "== installing and packaging"
"$lorelist_root/scripts/install-check.sh" "$lorelist_root/build"

echo "== tests built with AddressSanitizer and UndefinedBehaviorSanitizer"
build "$lorelist_root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DLORELIST_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$lorelist_root/build-asan" --output-on-failure -j "$jobs" "${labels[@]}"

echo "== fuzzing the loader"
"$lorelist_root/scripts/fuzz.sh" "${LORELIST_FUZZ_SECONDS:-60}"
