#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the
# programs run, the desktop entry and the AppStream metainfo validate, the
# desktop knows a Florilex.txt by its type, the icons, manual pages and the
# sample dictionary are in place; then builds the Debian package and lists it.
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

# The sample dictionary, whole; a file named Florilex.txt has the type the
# desktop entry claims (and the icon), any other text file stays plain text.
sample="$prefix/share/lorelist/examples/Florilex.txt"
"$prefix/bin/lorelist-db" check "$sample"
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
mkdir "$prefix/probe"
cp "$sample" "$prefix/probe/Florilex.txt"
cp "$sample" "$prefix/probe/notes.txt"
content_type() {
  XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$prefix/none" \
    gio info -a standard::content-type "$1" | awk '/standard::content-type:/ {print $2}'
}
test "$(content_type "$prefix/probe/Florilex.txt")" = text/x-lorelist-dictionary
test "$(content_type "$prefix/probe/notes.txt")" = text/plain
grep -qx 'MimeType=text/x-lorelist-dictionary;' \
  "$prefix/share/applications/$id.desktop"
echo "installed and checked in a temporary prefix"

(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(ls "$build_dir"/lorelist_*.deb)
echo "$(basename "$package"): $(dpkg-deb -f "$package" Depends)"
dpkg-deb -f "$package" Depends | grep -q libqt6widgets6
dpkg-deb -f "$package" Depends | grep -q libzstd1
contents=$(dpkg-deb -c "$package" | awk '{print $6}' | grep -v '/$')
for file in ./usr/share/lorelist/examples/Florilex.txt ./usr/share/mime/packages/$id.xml; do
  grep -qx "$file" <<<"$contents"
done
echo "$contents"
