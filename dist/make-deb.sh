#!/bin/sh
# Builds ghosts-of-vorn_<version>_<arch>.deb into OUT_DIR from a built tree, installed under /usr.
# Usage: make-deb.sh BUILD_DIR OUT_DIR
set -eu
build=$(cd "$1" && pwd)
out=$(cd "$2" && pwd)
. "$build/dist/release"
arch=$(dpkg --print-architecture)
maintainer="The Ghosts of Vorn developers <developers@ghosts-of-vorn.example>"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg=$work/ghosts-of-vorn
doc=$pkg/usr/share/doc/ghosts-of-vorn

DESTDIR=$pkg cmake --install "$build" --prefix /usr >/dev/null
# As Debian's own packages are stripped: no debugging symbols, no compiler comments.
strip --remove-section=.comment --remove-section=.note "$pkg/usr/lib/games/ghosts-of-vorn/ghosts-of-vorn"
gzip -9n "$pkg/usr/share/man/man6/ghosts-of-vorn.6"
# A native package's changelog, written from the release so the version is named in one place.
printf 'ghosts-of-vorn (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$(date -u -R -d "$date")" | gzip -9n > "$doc/changelog.gz"
chmod -R u=rwX,go=rX "$pkg"

# dpkg-shlibdeps reads the control file of a source tree; it needs only to find one.
mkdir -p "$work/src/debian" "$pkg/DEBIAN"
printf 'Source: ghosts-of-vorn\n\nPackage: ghosts-of-vorn\nArchitecture: any\n' > "$work/src/debian/control"
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O "$pkg/usr/lib/games/ghosts-of-vorn/ghosts-of-vorn" |
         sed -n 's/^shlibs:Depends=//p')

cat > "$pkg/DEBIAN/control" <<CONTROL
Package: ghosts-of-vorn
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --apparent-size "$pkg/usr" | cut -f1)
Depends: $shlibs, freepats, x11-utils
Section: games
Priority: optional
Description: arcade game: hunt translucent ghosts with a flashlight beam
 King Sakkar has sent you to the planet Vorn to find the Red Gem, broken
 into shards and carried by translucent ghosts. Your only weapon is the
 X-Beam, a flashlight aimed with the mouse. Each level has as many ghosts
 as its number, and one of them carries the level's shard: destroy that
 ghost to move on.
 .
 The game keeps each player's 15 best scores in their own data folder.
CONTROL
(cd "$pkg" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$pkg/DEBIAN/md5sums"
chmod 644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"

deb=$out/ghosts-of-vorn_${version}_${arch}.deb
dpkg-deb --root-owner-group --build "$pkg" "$deb" >/dev/null
echo "$deb"
