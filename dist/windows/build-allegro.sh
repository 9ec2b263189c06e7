#!/bin/sh
# Builds Allegro as a static library for 64-bit Windows, with the project's patches, into
# WORK_DIR/install; a finished build is kept and reused.
# Usage: build-allegro.sh WORK_DIR
set -eu
here=$(dirname "$(realpath "$0")")
work=$(realpath -m "$1")
stamp=$work/install/.built
patches="$here/allegro-dinput-fallback.patch $here/allegro-64bit-pointers.patch $here/allegro-message-loop.patch $here/allegro-sound-pause.patch"
# Rebuilt when the patches or the toolchain change.
want=$(cat $patches "$here/mingw-w64.cmake" "$0" | sha256sum | cut -c1-64)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
"$here/fetch-allegro.sh" "$work"
rm -rf "$work/src" "$work/build" "$work/install"
mkdir -p "$work/src"
tar -xzf "$work/allegro4.4_4.4.3.1.orig.tar.gz" -C "$work/src" --strip-components=1
for p in $patches; do
  patch -d "$work/src" -p1 --quiet <"$p"
done
cmake -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/install" -DSHARED=OFF \
  -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF \
  -DWANT_EXAMPLES=OFF -DWANT_TOOLS=OFF -DWANT_TESTS=OFF -DWANT_DOCS=OFF -Wno-dev >"$work/configure.log" 2>&1
nice cmake --build "$work/build" -j2 >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
cmake --install "$work/build" >/dev/null
cp "$work/src/docs/txt/license.txt" "$work/install/license.txt"
echo "$want" >"$stamp"
