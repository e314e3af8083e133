#!/usr/bin/env bash
# Builds the Debian package slidesaver_<version>_amd64.deb: an optimised build
# into build/package (or the folder given), then CPack. Prints the package's
# path on its last line. Two packages of one commit are the same bytes, wherever
# they are built (see docs/development.md; dates: SOURCE_DATE_EPOCH, else the
# last commit's).
#   scripts/package.sh [BUILD_DIR]
# Only the Debian package: there is no Windows release here yet. The Windows
# player (scripts/build-windows.sh) keeps its symbol table, its debugging
# information split off into slidesaver.exe.debug; a Windows release would
# ship it stripped (x86_64-w64-mingw32-strip --strip-all slidesaver.exe), the
# test builds staying as they are.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build/package}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
rm -f "$dir"/slidesaver_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/slidesaver_*.deb
