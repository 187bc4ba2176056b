#!/usr/bin/env bash
# Builds what is needed and starts the editor as the installed program
# starts: on the Florilex.txt of the current directory, or, when there is
# none, on the dictionary opened last, or else with the choice of a new
# dictionary, another one, or the bundled sample (a copy of it in your data
# folder). Arguments go on to the editor: ./run.sh ~/quotes opens the
# dictionary in ~/quotes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/common.sh"

ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Lorelist is a desktop program and there is no display here (DISPLAY is not set)." >&2
  echo "Run it in a desktop session, or under a virtual one: xvfb-run ./run.sh" >&2
  exit 1
fi

# The sample where the installed program finds it: among the data folders.
export XDG_DATA_DIRS="$lorelist_root/build/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
exec "$lorelist_root/build/src/app/lorelist" "$@"
