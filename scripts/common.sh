# Shared by run.sh, test.sh and the benchmarks: installs what the build needs
# and builds. Sourced, not run.

# Debian packages the project builds, tests and runs with.
LORELIST_PACKAGES=(cmake ninja-build g++ pkg-config libicu-dev libgtest-dev qt6-base-dev
                   fonts-dejavu-core fonts-liberation xvfb xauth time)

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
