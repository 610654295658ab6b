#!/usr/bin/env bash
# The scripted game, played by the native build and by the browser build under
# node, both on the headless back end: they must present the same frames and
# leave the same settings and save.
#   game_hashes.sh <native build folder> <page folder>
set -euo pipefail
native="$(cd "$1" && pwd)/game/quarnex"
res="$(cd "$1" && pwd)/run/res.ptk"
page="$(cd "$2" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap '[ -n "${QUARNEX_KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

# Logo clicked away, two volume steps on the title, the start, the intro
# clicked away, attacks on a ring around the core, the game over, Escape.
awk 'BEGIN {
  print "frame 5 click left 10 10"
  f = 82
  split("Right Left Left Left Right", keys, " ")
  for (i = 1; i <= 5; i++) { print "frame " f " key " keys[i] " down"; print "frame " f + 2 " key " keys[i] " up"; f += 4 }
  print "frame 230 click left 400 300"
  print "frame 475 click left 400 300"
  point = 0
  for (f = 726; f <= 926; f += 2) {
    a = (point % 8) * atan2(0, -1) / 4
    x = 400 + int(150 * cos(a) + (cos(a) < 0 ? -0.5 : 0.5))
    y = 280 + int(150 * sin(a) + (sin(a) < 0 ? -0.5 : 0.5))
    print "frame " f " click left " x " " y
    point++
  }
  print "frame 2160 down left"
  print "frame 2260 up left"
  print "frame 2360 key Escape down"
}' >"$work/script.txt"

export QUARNEX_SCRIPT="$work/script.txt" QUARNEX_DATE="2026-03-14 15:09:26"
mkdir -p "$work/native" "$work/web"
cp "$res" "$work/native/res.ptk"
(cd "$work/native" && QUARNEX_PLATFORM=headless QUARNEX_LOCK_DIR="$work/native" \
  QUARNEX_FRAME_HASHES="$work/native/hashes.txt" "$native" >"$work/native/out.txt" 2>&1) ||
  { echo "FAILED: the native game ended with status $?"; tail -n 20 "$work/native/out.txt"; exit 1; }
# The game's file system sees the work folder as /out.
cp "$work/script.txt" "$work/web/script.txt"
(QUARNEX_SCRIPT=/out/script.txt QUARNEX_FRAME_HASHES=/out/hashes.txt \
  node --no-experimental-fetch "$here/node_game.js" "$page" "$work/web" >"$work/web/out.txt" 2>&1) ||
  { echo "FAILED: the browser build ended with status $?"; tail -n 20 "$work/web/out.txt"; exit 1; }

status=0
frames=$(wc -l <"$work/native/hashes.txt")
[ "$frames" -ge 2360 ] || { echo "FAILED: only $frames frames presented natively"; status=1; }
if cmp -s "$work/native/hashes.txt" "$work/web/hashes.txt"; then
  echo "same $frames frames: $(tail -n 1 "$work/web/hashes.txt")"
else
  echo "FAILED: the builds presented different frames"
  diff "$work/native/hashes.txt" "$work/web/hashes.txt" | head -n 5
  status=1
fi
for file in cfg.ini sv.syk; do
  if ! cmp -s "$work/native/$file" "$work/web/$file"; then
    echo "FAILED: $file differs"; status=1
  fi
done
[ -s "$work/web/sv.syk" ] || { echo "FAILED: no save written"; status=1; }
exit $status
