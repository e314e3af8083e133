#!/usr/bin/env bash
# Runs a Windows program under Wine: scripts/wine-run.sh PROGRAM.exe [ARGS...]
# The program's stdout, stderr and exit status come through unchanged.
# scripts/wine-run.sh --prepare only creates the prefix.
#
# Wine runs in a private prefix, never the user's ~/.wine: $SLIDESAVER_WINEPREFIX,
# or build/windows/wineprefix by default (the cross toolchain file points each
# build folder at its own). The prefix is created on first use (5-7 s); a lock
# makes concurrent first starts wait for one another instead of racing.
# Without DISPLAY the program runs with no X display; windows then cannot be
# shown, but console programs and tests work.
set -euo pipefail

if (($# < 1)); then
  echo "usage: $0 PROGRAM.exe [ARGS...] | --prepare" >&2
  exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${SLIDESAVER_WINEPREFIX:-$root/build/windows/wineprefix}"
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their installers would ask on first start.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Debian's wine64 package has no command of its own; /usr/bin/wine picks its
# loader but also nags about the missing 32-bit one unless WINEDEBUG hides it.
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER="$wine"
elif command -v wine >/dev/null; then
  wine=wine
else
  echo "$0: wine is not installed (scripts/build-windows.sh installs it)" >&2
  exit 127
fi

ready="$prefix/.slidesaver-ready"
if [ ! -e "$ready" ]; then
  (
    flock 9
    if [ ! -e "$ready" ]; then
      # Left over from an interrupted first start; anything else is not ours.
      if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ] && [ ! -d "$prefix/dosdevices" ]; then
        echo "$0: $prefix exists and is not a Wine prefix" >&2
        exit 1
      fi
      rm -rf "$prefix"
      # fd 9 must not reach wineserver, which outlives wineboot and would
      # keep the lock held for a while.
      if ! "$wine" wineboot --init >"$prefix.log" 2>&1 9>&-; then
        echo "$0: creating the Wine prefix $prefix failed; see $prefix.log" >&2
        exit 1
      fi
      touch "$ready"
    fi
  ) 9>"$prefix.lock"
fi

if [ "$1" = --prepare ]; then exit 0; fi
exec "$wine" "$@"
