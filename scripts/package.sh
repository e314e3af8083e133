#!/usr/bin/env bash
# Builds the release files of this commit: the Debian package
# slidesaver_<version>_amd64.deb (an optimised build into build/package, or the
# folder given, then CPack) and the Windows archive
# slidesaver-<version>-windows.zip (an optimised cross-build into its windows/
# folder: the stripped player, the pack tool and a README for Windows users).
# Prints the archive's path, then the package's on the last line. Two runs of
# one commit give the same bytes, wherever they are built (see
# docs/development.md; dates: SOURCE_DATE_EPOCH, else the last commit's).
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build/package}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
rm -f "$dir"/slidesaver_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)

# The Windows archive: the same date as the package's.
"$root/scripts/build-windows.sh" "$dir/windows" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
epoch="${SOURCE_DATE_EPOCH:-$(sed -n 's/.*SOURCE_DATE_EPOCH} \([0-9]*\)).*/\1/p' "$dir/CPackSourceDate.cmake")}"
release="$dir/windows-release"
rm -rf "$release"
mkdir -p "$release"
for program in app/slidesaver.exe tools/slidesaver-pack.exe; do
  # strip writes its own time into a PE header unless SOURCE_DATE_EPOCH gives one.
  SOURCE_DATE_EPOCH="$epoch" x86_64-w64-mingw32-strip --strip-all -o "$release/$(basename "$program")" "$dir/windows/$program"
done
SOURCE_DATE_EPOCH="$epoch" python3 "$root/scripts/make-windows-zip.py" \
  --out "$dir/slidesaver-$version-windows.zip" --version "$version" \
  --readme "$root/docs/windows-release-readme.txt" "$release/slidesaver.exe" "$release/slidesaver-pack.exe"
ls "$dir"/slidesaver_*.deb
