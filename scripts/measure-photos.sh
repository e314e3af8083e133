#!/usr/bin/env bash
# Measures what photos cost: the fitted picture change against a full decode
# (bench/photo_bench), slidesaver-pack on a folder of 4000x3000 photos with
# --max-size 1920x1080 (pictures per second, processor use), and the peak memory
# of a saver showing 6000x4000 photos fitted to a 1920x1080 screen against one
# showing 1920x1080 pictures, and the same photos with --fill blur.
#   scripts/measure-photos.sh                     builds optimised into build/release first
#   scripts/measure-photos.sh --build-dir DIR     uses the binaries already built in DIR
#   scripts/measure-photos.sh --photos 200        how many photos the pack tool gets
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [[ " $* " != *" --build-dir "* ]]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
  set -- --build-dir "$root/build/release" "$@"
fi
exec python3 "$root/scripts/measure_photos.py" "$@"
