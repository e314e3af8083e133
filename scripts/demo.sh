#!/usr/bin/env bash
# Builds the player, makes a demo screen saver from pictures and a melody that
# the project generates itself, and shows what the saver holds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/media"
"$root/build/tools/imagegen/slidesaver-demo-media" "$demo/media"
pictures=()
for p in "$demo"/media/*.jpg; do pictures+=(--picture "$p"); done
"$root/build/tools/slidesaver-pack" build --player "$root/build/app/slidesaver" --out "$demo/Demo.scr" \
  "${pictures[@]}" --sound "$demo/media/melody.wav" \
  --title "Slidesaver Demo" --author "The Slidesaver developers" \
  --email "demo@example.org" --web "https://example.org/slidesaver" \
  --text "Slidesaver" --font-name "Arial" --font-height -32 --font-color clYellow --interval 4000
echo "Built $demo/Demo.scr:"
"$root/build/tools/slidesaver-pack" inspect "$demo/Demo.scr" | python3 -m json.tool
