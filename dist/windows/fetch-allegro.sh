#!/bin/sh
# Fetches Allegro's upstream source as Debian's archive carries it, through an apt configuration
# of our own (its own sources list, state and cache under the build folder), and checks it.
# Usage: fetch-allegro.sh WORK_DIR  ->  WORK_DIR/allegro4.4_4.4.3.1.orig.tar.gz
set -eu
work=$(realpath -m "$1")
tarball=allegro4.4_4.4.3.1.orig.tar.gz
sha256=ec19dbc9a021244582b4819b3583ee594b50141f9fcf6944a4ed8069cbf8d4d4
if [ -f "$work/$tarball" ] && echo "$sha256  $work/$tarball" | sha256sum -c --status; then
  exit 0
fi
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
  >"$apt_dir/sources.list"
set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
       -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
       -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache="" -o APT::Sandbox::User=root
apt-get "$@" -qq update
# Only the upstream tarball: the Debian revision's own files are not needed.
uri=$(apt-get "$@" -qq source --print-uris allegro4.4 | tr -d "'" | awk -v f="$tarball" '$2 == f { print $1 }')
[ -n "$uri" ] || { echo "fetch-allegro: $tarball is not in the archive's allegro4.4 source" >&2; exit 1; }
/usr/lib/apt/apt-helper -o APT::Sandbox::User=root download-file "$uri" "$work/$tarball" "SHA256:$sha256"
echo "$sha256  $work/$tarball" | sha256sum -c
