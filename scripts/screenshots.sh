#!/usr/bin/env bash
# Regenerates the README's screenshots, docs/screenshots/{logo,title,play}.png,
# from the game itself: a scripted headless run saves every frame it presents
# (QUARNEX_FRAMES_DIR), and three of them are scaled to half size and reduced
# to a 64-colour palette (ImageMagick), a few tens of KB each.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target quarnex

# The ImageMagick program itself, not a wrapper of the same name earlier in PATH.
convert=$(command -v convert-im6.q16 || command -v convert)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/run/quarnex" "$build/run/res.ptk" "$work/"
mkdir "$work/frames"
# Frame numbers: the logo has come together by 150 and is skipped at 160; the
# title is up by 280 and clicked at 300; the intro is clicked away at 545; the
# first stones are out of the core by 1040 while the pointer waits near the middle.
cat > "$work/script.txt" <<'SCRIPT'
frame 160 click left 10 10
frame 300 click left 400 300
frame 545 click left 400 300
frame 560 move 430 260
frame 1050 key Escape down
SCRIPT
(cd "$work" && QUARNEX_PLATFORM=headless QUARNEX_SCRIPT=script.txt QUARNEX_FRAMES_DIR=frames \
  QUARNEX_DATE="2026-03-14 15:09:26" QUARNEX_LOCK_DIR="$work" ./quarnex)

mkdir -p "$root/docs/screenshots"
shot() {
  "$convert" "$work/frames/frame_$(printf %06d "$2").png" -resize 400x300 -dither FloydSteinberg -colors 64 \
    -strip "PNG8:$root/docs/screenshots/$1.png"
}
shot logo 150
shot title 280
shot play 1040
ls -l "$root/docs/screenshots"
