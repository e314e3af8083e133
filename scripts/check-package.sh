#!/usr/bin/env bash
# Installs the Debian package on this machine, makes a saver with the installed
# pack tool (which finds the installed player by itself), runs it for a few
# seconds on a virtual display, checks that it showed a picture and ended
# cleanly, and removes the package again. Needs root (or sudo), and a normal
# build for the demo pictures and the screen grabber.
#   scripts/check-package.sh PACKAGE.deb BUILD_DIR
set -euo pipefail
deb="$(realpath "$1")"
build="$(realpath "$2")"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
if dpkg-query -W -f='${Status}' slidesaver 2>/dev/null | grep -q "install ok installed"; then
  echo "check-package: slidesaver is installed on this machine already; left as it is" >&2
  exit 1
fi
work="$(mktemp -d)"
cleanup() {
  $sudo apt-get remove -y -qq slidesaver >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" \
    >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  exit 1
fi
for page in slidesaver slidesaver-pack slidesaver-render; do
  test -f "/usr/share/man/man1/$page.1.gz" || { echo "check-package: no manual page $page(1)" >&2; exit 1; }
done

"$build/tools/imagegen/slidesaver-demo-media" "$work/media"
(cd "$work" && slidesaver-pack build --out Check.scr --picture media --interval 1000) 2>"$work/pack.err"
if ! grep -q "the player is /usr/bin/slidesaver$" "$work/pack.err"; then
  echo "check-package: the pack tool did not take the installed player:" >&2
  cat "$work/pack.err" >&2
  exit 1
fi
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  "$1" /S 2>"$3/saver.err" & saver=$!
  sleep 3
  "$2" grab root "$3/screen.ppm"
  kill -TERM "$saver"
  wait "$saver"' check "$work/Check.scr" "$build/tests/e2e/slidesaver-x11-probe" "$work"
python3 - "$work/screen.ppm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
header = data.split(b'\n', 3)   # P6, size, maxval, pixels
colours = {data[i:i + 3] for i in range(len(b'\n'.join(header[:3])) + 1, len(data), 3 * 97)}
sys.exit(0 if len(colours) > 10 else 'check-package: the saver showed no picture')
PY
if [ -s "$work/saver.err" ]; then
  echo "check-package: the saver wrote to stderr:" >&2
  cat "$work/saver.err" >&2
  exit 1
fi
echo "check-package: $(basename "$deb") installed; its pack tool made a saver that showed pictures" \
  "and ended cleanly; removed again"
