#!/usr/bin/env bash
# Renders the gallery of every transition style into docs/styles/: a looping
# WebP animation of each style (style-000.webp ... style-127.webp) and
# contact-sheet.png with every style's half-way frame. The two pictures are demo
# pictures the project makes itself: rings (old) giving way to a glowing
# gradient (new).
#   scripts/make-gallery.sh [--build-dir DIR]
# Builds the two tools it needs in build/ (configuring it first when needed),
# or in DIR, an existing build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=""
while (($#)); do
  case "$1" in
    --build-dir)
      build="${2:?--build-dir needs a folder}"
      shift 2
      ;;
    *)
      echo "usage: scripts/make-gallery.sh [--build-dir DIR]" >&2
      exit 2
      ;;
  esac
done
if [ -z "$build" ]; then
  build="$root/build"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
elif [ ! -f "$build/build.ninja" ]; then
  echo "make-gallery: $build is not a build folder (no build.ninja)" >&2
  exit 2
fi
ninja -C "$build" slidesaver-render slidesaver-demo-media >/dev/null

media="$(mktemp -d)"
trap 'rm -rf "$media"' EXIT
"$build/tools/imagegen/slidesaver-demo-media" "$media" --uniform --width 960 --height 540

out="$root/docs/styles"
rm -f "$out"/style-*.webp "$out"/contact-sheet.png  # the folder's README stays
mkdir -p "$out"
"$build/tools/slidesaver-render" gallery --old "$media/demo-01.jpg" --new "$media/demo-06.jpg" \
  --out-dir "$out"
echo "$(find "$out" -type f ! -name README.md | wc -l) files in docs/styles, $(du -sh "$out" | cut -f1)"
