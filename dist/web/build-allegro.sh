#!/bin/sh
# Builds the library's portable core for the browser with emscripten, with the web platform in
# allegro/ as its drivers, into WORK_DIR/install; the library's source is not patched. A finished
# build is kept and reused.
# Usage: build-allegro.sh WORK_DIR
set -eu
here=$(dirname "$(realpath "$0")")/allegro
work=$(realpath -m "$1")
stamp=$work/install/.built
want=$(cat "$here"/*.c "$here"/*.h "$here"/*.js "$0" | sha256sum | cut -c1-64)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
"$(dirname "$here")/../windows/fetch-allegro.sh" "$work" >/dev/null
rm -rf "$work/src" "$work/obj" "$work/install"
mkdir -p "$work/src" "$work/obj" "$work/install/lib" "$work/install/include/allegro/platform"
tar -xzf "$work/allegro4.4_4.4.3.1.orig.tar.gz" -C "$work/src" --strip-components=1
# The core and plain-C lists of the library's own file list, and its Unix file functions.
sources=$(sed -n '/^set(ALLEGRO_SRC_\(C_\)\?FILES/,/)/p' "$work/src/cmake/FileList.cmake" | grep -o 'src/[^ )]*\.c')
sources="$sources src/unix/ufile.c"
cp -r "$work/src/include/." "$work/install/include/"
cp "$here/alplatf.h" "$here/alunixac.h" "$work/install/include/allegro/platform/"
cp "$here/web_page.h" "$work/install/include/"
cp "$here/allegro_web.js" "$work/install/lib/"
# Debian's node may not be the first on PATH; emcc's minifier needs Debian's modules.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cflags="-O2 -DALLEGRO_SRC -I$work/install/include -I$work/src/src -Wno-deprecated-declarations"
objects=""
for s in $sources "$here"/w*.c; do
  case $s in /*) file=$s ;; *) file=$work/src/$s ;; esac
  obj=$work/obj/$(basename "$s" .c).o
  echo "emcc $cflags -c $file -o $obj"
  objects="$objects $obj"
done >"$work/compile.list"
# Two at a time, as the machine has two cores.
nice xargs -P2 -I{} sh -c '{} 2>>'"$work/build.log"' || { echo "failed: {}"; exit 255; }' <"$work/compile.list" ||
  { tail -30 "$work/build.log"; exit 1; }
emar rcs "$work/install/lib/liballeg.a" $objects
cp "$work/src/docs/txt/license.txt" "$work/install/license.txt"
echo "$want" >"$stamp"
