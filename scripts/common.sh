# Shared by run.sh, test.sh and the benchmarks: installs what the build needs
# and builds. Sourced, not run.

# Debian packages the project builds, tests and runs with.
LORELIST_PACKAGES=(cmake ninja-build g++ pkg-config libicu-dev libxxhash-dev libzstd-dev libgtest-dev
                   qt6-base-dev fonts-dejavu-core fonts-liberation xvfb xauth time)
# What the tests add: clang and libFuzzer for fuzzing the loader; the
# validators of the desktop entry and the metainfo, the MIME database and
# GLib's file type lookup, the Debian package tools, the manual page reader,
# a CommonMark renderer, and git, which merges through lorelist-db merge.
LORELIST_TEST_PACKAGES=(clang libclang-rt-14-dev desktop-file-utils appstream shared-mime-info
                        libglib2.0-bin dpkg-dev man-db cmark git)

lorelist_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ensure_packages() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo=(sudo)
    else
      echo "These Debian packages are missing and this user cannot install them: ${missing[*]}" >&2
      exit 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# build DIR [cmake options...]: configures once and builds everything in DIR.
build() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$lorelist_root" -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir"
}

# best_of RUNS COMMAND...: runs the command RUNS times and prints the shortest
# elapsed time in seconds (nanosecond clock) and that run's peak memory in KB.
best_of() {
  local runs=$1
  shift
  local best_ns="" best_kb="" measure output
  measure=$(mktemp)
  output=$(mktemp)  # not /dev/null: grep stops at the first match when it writes there
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$measure" "$@" >"$output" || true
    end=$(date +%s%N)
    if [ -z "$best_ns" ] || [ $((end - start)) -lt "$best_ns" ]; then
      best_ns=$((end - start))
      best_kb=$(tail -n 1 "$measure")
    fi
  done
  rm -f "$measure" "$output"
  awk -v ns="$best_ns" -v kb="$best_kb" 'BEGIN{printf "%.4f %d\n", ns / 1e9, kb}'
}

# bench_database QUOTATIONS: builds, generates a database of that many
# quotation nodes in a temporary folder removed at exit, and reads it once
# into the page cache. Sets tool, work and database.
bench_database() {
  ensure_packages "${LORELIST_PACKAGES[@]}"
  build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
  tool="$lorelist_root/build/src/cli/lorelist-db"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  database="$work/Florilex.txt"
  "$tool" generate --quotations "$1" --seed 1 "$database"
  cat "$database" >/dev/null
}
