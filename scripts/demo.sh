#!/usr/bin/env bash
# Builds the player, makes a demo screen saver from pictures and a melody that
# the project generates itself, shows what the saver holds and starts it in
# saver mode. Any key, a click or a clear mouse movement ends it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
# Only what the demo runs (scripts/test.sh later builds the rest into the same build/):
# the player, the pack tool, the demo media and, for the screenshot without a
# display, the screen grabber of the end-to-end tests.
SLIDESAVER_TARGETS="slidesaver slidesaver-pack slidesaver-demo-media slidesaver-x11-probe" \
  "$root/scripts/build.sh" "$root/build"

demo="$root/build/demo"
"$root/scripts/make-demo-saver.sh" "$root/build" "$demo"
echo "Built $demo/Demo.scr:"
"$root/build/tools/slidesaver-pack" inspect "$demo/Demo.scr" | python3 -m json.tool

if [ -z "${DISPLAY:-}" ]; then
  # No desktop here: show it on a virtual display for a few seconds and keep a screenshot.
  echo "No X display (DISPLAY is not set): running $demo/Demo.scr /S on a virtual 1280x720"
  echo "display for 6 seconds; start it on a desktop with: DISPLAY=:0 $demo/Demo.scr /S"
  SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" xvfb-run -a -s "-screen 0 1280x720x24" bash -c '
    "$1" /S & saver=$!
    sleep 6
    "$2" grab root "$3"
    kill -TERM "$saver"
    wait "$saver"' demo "$demo/Demo.scr" "$root/build/tests/e2e/slidesaver-x11-probe" \
    "$demo/screenshot.ppm"
  echo "The saver ran and ended cleanly; what it showed after 6 s: $demo/screenshot.ppm"
  exit 0
fi
echo "Starting $demo/Demo.scr /S (any key, a click or a clear mouse movement ends it)"
exec "$demo/Demo.scr" /S
