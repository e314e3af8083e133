#!/usr/bin/env bash
# Makes the demo screen saver from a build: pictures and a melody that the
# project generates itself, packed into DIR/Demo.scr (the media land in DIR/media).
# Of the build it takes slidesaver, slidesaver-pack and slidesaver-demo-media.
#   scripts/make-demo-saver.sh BUILD_DIR DIR [PLAYER [PACK OPTION ...]]
#     PLAYER: another player binary to pack ("" for the build's); PACK OPTIONs go to the build.
set -euo pipefail
build="$1"
demo="$2"
player="${3:-$build/app/slidesaver}"
shift $(($# < 3 ? $# : 3))
rm -rf "$demo"
mkdir -p "$demo/media"
"$build/tools/imagegen/slidesaver-demo-media" "$demo/media"
pictures=()
for p in "$demo"/media/*.jpg; do pictures+=(--picture "$p"); done
"$build/tools/slidesaver-pack" build --player "$player" --out "$demo/Demo.scr" \
  "${pictures[@]}" --sound "$demo/media/melody.wav" \
  --title "Slidesaver Demo" --author "The Slidesaver developers" \
  --email "demo@example.org" --web "https://example.org/slidesaver" \
  --text "Slidesaver" --font-name "Arial" --font-height -32 --font-color clYellow --interval 4000 "$@"
