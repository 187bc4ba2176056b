#!/usr/bin/env bash
# Builds what is needed and starts the editor on the Florilex.txt of the
# current directory, or, when there is none, in a folder of your own that
# starts as a copy of the bundled sample database. Arguments go on to the
# editor: ./run.sh ~/quotes opens the database in ~/quotes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/common.sh"

ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Lorelist is a desktop program and there is no display here (DISPLAY is not set)." >&2
  echo "Run it in a desktop session, or under a virtual one: xvfb-run ./run.sh" >&2
  exit 1
fi

# With a folder or file given, it is the user's: the sample stays out of it.
if [ $# -eq 0 ] && [ ! -f Florilex.txt ]; then
  folder="${XDG_DATA_HOME:-$HOME/.local/share}/Lorelist"
  if [ ! -f "$folder/Florilex.txt" ]; then
    mkdir -p "$folder"
    cp "$lorelist_root/examples/Florilex.txt" "$folder/Florilex.txt"
    echo "No Florilex.txt here: starting on a copy of the sample database in $folder"
  else
    echo "No Florilex.txt here: starting on the database in $folder"
  fi
  cd "$folder"
fi
exec "$lorelist_root/build/src/app/lorelist" "$@"
