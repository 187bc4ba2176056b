#!/usr/bin/env bash
# Builds Lorelist and runs every test.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/common.sh"

ensure_packages "${LORELIST_PACKAGES[@]}"
build "$lorelist_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$lorelist_root/build" --output-on-failure -j "$(nproc)"
