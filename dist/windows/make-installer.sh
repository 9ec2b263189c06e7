#!/bin/sh
# Builds the Windows installer from the staged game folder (what the zip holds).
# Usage: make-installer.sh STAGED_FOLDER VERSION OUTPUT.exe [ICON.ico]
set -eu
[ $# -ge 3 ] || { echo "usage: $0 STAGED_FOLDER VERSION OUTPUT.exe [ICON.ico]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "$1" && pwd) || exit 1
mkdir -p "$(dirname "$3")"
version=$2
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
icon=${4-}
[ -z "$icon" ] || [ -f "$icon" ] || { echo "$0: no icon $icon" >&2; exit 1; }
[ -z "$icon" ] || icon=$(cd "$(dirname "$icon")" && pwd)/$(basename "$icon")
[ -f "$stage/ghosts-of-vorn.exe" ] && [ -f "$stage/data.dat" ] ||
    { echo "$0: $stage has no ghosts-of-vorn.exe and data.dat" >&2; exit 1; }
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT

# What is installed is what was staged, and the uninstaller removes exactly that, deepest first.
nsis() { printf '%s' "$1" | sed 's/\$/$$/g; s|/|\\|g'; }
cd "$stage"
find . -mindepth 1 -type d | sort | while read -r d; do
    printf 'SetOutPath "$INSTDIR\\%s"\n' "$(nsis "${d#./}")"
    find "$d" -maxdepth 1 -type f | sort | while read -r f; do printf 'File "%s"\n' "$stage/${f#./}"; done
done > "$lists/files.nsh"
{ echo 'SetOutPath "$INSTDIR"'
  find . -maxdepth 1 -type f | sort | while read -r f; do printf 'File "%s"\n' "$stage/${f#./}"; done
  cat "$lists/files.nsh"
  echo 'SetOutPath "$INSTDIR"'; } > "$lists/all.nsh"
{ find . -type f | sort | while read -r f; do printf 'Delete "$INSTDIR\\%s"\n' "$(nsis "${f#./}")"; done
  find . -mindepth 1 -type d | sort -r | while read -r d; do printf 'RMDir "$INSTDIR\\%s"\n' "$(nsis "${d#./}")"; done
} > "$lists/unfiles.nsh"

set -- -V2 -DVERSION="$version" -DFILES="$lists/all.nsh" -DUNFILES="$lists/unfiles.nsh" -DOUTFILE="$out"
[ -z "$icon" ] || set -- "$@" -DICON="$icon"
makensis "$@" "$here/installer.nsi"
echo "$out"
