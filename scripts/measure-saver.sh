#!/usr/bin/env bash
# Measures the demo screen saver on virtual 1920x1080 and 3840x2160 displays: the time from
# starting `Demo.scr /S` to its black full-screen window, to the first frame of
# the first transition and to the first picture standing whole, and the frame
# period (five runs; each run, then the median and the range); then the peak
# memory and the processor time over five shows of 20 s (the highest peak, the
# median time); last a table of both sizes.
#   scripts/measure-saver.sh                      builds into build/ first
#   scripts/measure-saver.sh --build-dir DIR      uses the binaries already built in DIR
#   scripts/measure-saver.sh --player PLAYER      packs the same saver around another player
#                                                 (an earlier build, as a baseline)
#   scripts/measure-saver.sh --runs 9 --size 1280x720 --show-seconds 0 --show-runs 3
#   scripts/measure-saver.sh --screens            the demo with a show on every monitor, on one
#                                                 1920x1080 monitor and on two (Xephyr): peak
#                                                 memory and processor time, and their ratios
#   scripts/measure-saver.sh --wayland            the demo natively on Wayland (sway headless)
#                                                 against X11 (Xvfb) at 1920x1080: peak memory,
#                                                 processor time, their ratios, the start-up
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=""
player=""
screens=""
wayland=""
args=()
while (($#)); do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --player) player="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --screens) screens=1; shift ;;
    --wayland) wayland=1; shift ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ -z "$build" ]; then
  build="$root/build"
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" "$build"
fi
for tool in Xvfb python3; do
  command -v "$tool" >/dev/null || { echo "measure-saver: $tool is not installed" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -n "$screens" ]; then
  "$root/scripts/make-demo-saver.sh" "$build" "$work" "$player" --screens every
  python3 "$root/scripts/measure_screens.py" --saver "$work/Demo.scr" ${args[@]+"${args[@]}"}
  exit
fi
if [ -n "$wayland" ]; then
  "$root/scripts/make-demo-saver.sh" "$build" "$work" ${player:+"$player"}
  python3 "$root/scripts/measure_wayland.py" --saver "$work/Demo.scr" ${args[@]+"${args[@]}"}
  exit
fi
# The same saver as scripts/demo.sh builds.
"$root/scripts/make-demo-saver.sh" "$build" "$work" ${player:+"$player"}
# The first picture's decoded pixels: the frame at progress 100 is the new picture whole.
"$build/tools/slidesaver-render" frame --old "$work/media/demo-01.jpg" \
  --new "$work/media/demo-01.jpg" --style 1 --progress 100 --out "$work/first.ppm"

python3 "$root/scripts/measure_saver.py" --saver "$work/Demo.scr" \
  --first-picture "$work/first.ppm" ${args[@]+"${args[@]}"}
