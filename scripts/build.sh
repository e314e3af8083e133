#!/usr/bin/env bash
# Configures and builds the project with Ninja into build/ (or the folder given).
# Extra arguments go to cmake, e.g. -DSLIDESAVER_SANITIZE=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" -j "$(nproc)"
