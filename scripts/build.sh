#!/usr/bin/env bash
# Configures and builds the project with Ninja into build/ (or the folder given).
# Extra arguments go to cmake, e.g. -DSLIDESAVER_SANITIZE=ON. SLIDESAVER_TARGETS,
# if set, names the only targets to build (e.g. "slidesaver slidesaver-pack");
# else everything is built.
#   [SLIDESAVER_TARGETS="..."] scripts/build.sh [BUILD_DIR] [CMAKE_OPTIONS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086  # a list of target names, split on spaces
ninja -C "$dir" -j "$(nproc)" ${SLIDESAVER_TARGETS:-}
