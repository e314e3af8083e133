#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the Windows build
# (MinGW-w64) comes first so that the normal build's end-to-end tests also drive
# the Windows player under Wine; then the normal build's tests; then a clang
# build with AddressSanitizer and UndefinedBehaviorSanitizer that also runs the
# fuzz targets for a short while; last the Windows unit tests under Wine. With
# CI=true it also builds the Debian package and the Windows archive, checks the
# package installed, and builds both a second time in another folder to check
# that they are the same bytes.
#   scripts/test.sh            all of it
#   scripts/test.sh -L e2e     only tests with that ctest label (normal build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

"$root/scripts/build-windows.sh" "$root/build/windows" -DCMAKE_BUILD_TYPE=RelWithDebInfo
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)" "$@")
if [ $# -gt 0 ]; then exit 0; fi

if [ "${CI:-}" = true ]; then
  # The Debian package, installed on this machine, used and removed again.
  made="$("$root/scripts/package.sh")"
  deb="$(tail -1 <<<"$made")"
  zip="$(tail -2 <<<"$made" | head -1)"
  "$root/scripts/check-package.sh" "$deb" "$root/build"
  python3 -m zipfile -l "$zip"
  # Reproducible: a second build of this commit, in another folder, gives the same bytes.
  made="$("$root/scripts/package.sh" "$root/build/package-again")"
  again="$(tail -1 <<<"$made")"
  zip_again="$(tail -2 <<<"$made" | head -1)"
  sha256sum "$deb" "$again" "$zip" "$zip_again"
  if ! cmp -s "$deb" "$again"; then
    echo "test.sh: two packages of one commit differ ($deb, $again):" >&2
    python3 "$root/scripts/compare-packages.py" "$deb" "$again" >&2
    exit 1
  fi
  if ! cmp -s "$zip" "$zip_again"; then
    echo "test.sh: two Windows archives of one commit differ ($zip, $zip_again)" >&2
    exit 1
  fi
else
  echo "test.sh: the package check (scripts/check-package.sh) runs with CI=true: it installs the package"
fi

CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build/sanitize" \
  -DCMAKE_BUILD_TYPE=Debug -DSLIDESAVER_SANITIZE=ON -DSLIDESAVER_FUZZ=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
(cd "$root/build/sanitize" && ctest --output-on-failure -j "$(nproc)")

# Wine makes windows only through a display: the Win32 backend's window tests need one.
(cd "$root/build/windows" && xvfb-run -a ctest --output-on-failure -j "$(nproc)")
