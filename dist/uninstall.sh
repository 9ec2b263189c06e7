#!/bin/sh
# Removes what `make install` put under DESTDIR/PREFIX: the file list is that of a fresh install
# into a scratch folder, so it holds however often and from wherever the game was installed.
# Usage: [DESTDIR=...] uninstall.sh BUILD_DIR PREFIX
set -eu
list=$(mktemp -d)
trap 'rm -rf "$list"' EXIT
DESTDIR=$list cmake --install "$1" --prefix "$2" >/dev/null
cd "$list"
find . ! -type d | while read -r f; do
    f=${DESTDIR-}${f#.}
    if [ -e "$f" ] || [ -L "$f" ]; then rm -f "$f" && echo "Removed: $f"; fi
done
# Only the game's own folders; shared ones such as share/icons stay.
find . -depth -type d -name ghosts-of-vorn | while read -r d; do
    d=${DESTDIR-}${d#.}
    find "$d" -depth -type d -empty -delete 2>/dev/null || true
done
