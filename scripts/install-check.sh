#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the
# programs run, the desktop entry and the AppStream metainfo validate, the
# icons and manual pages are in place; then builds the Debian package and
# lists it.
#
#   scripts/install-check.sh BUILD_DIR
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
id=org.lorelist.Lorelist

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$prefix/bin/lorelist" --version
"$prefix/bin/lorelist-db" --version
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
  test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
done
test -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
for page in lorelist lorelist-db; do
  man --warnings -l "$prefix/share/man/man1/$page.1" >/dev/null
done
echo "installed and checked in a temporary prefix"

(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(ls "$build_dir"/lorelist_*.deb)
echo "$(basename "$package"): $(dpkg-deb -f "$package" Depends)"
dpkg-deb -f "$package" Depends | grep -q libqt6widgets6
dpkg-deb -c "$package" | awk '{print $6}' | grep -v '/$'
