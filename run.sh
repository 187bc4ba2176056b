#!/usr/bin/env bash
# Builds what is needed and checks the database of the current directory, or
# the bundled sample when the current directory has none.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/common.sh"

ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null

database=Florilex.txt
if [ ! -f "$database" ]; then
  database="$lorelist_root/examples/Florilex.txt"
  echo "No Florilex.txt here: using the sample database $database"
fi
tool="$lorelist_root/build/src/cli/lorelist-db"
if "$tool" check "$database"; then
  echo "$database loads completely."
fi
"$tool" stats "$database"
