#!/usr/bin/env bash
# Plays the real game headless for MINUTES virtual minutes with a scripted
# player that clicks, aims, changes the attack type and the volume and loses,
# game after game; twice, side by side. Then checks that
#   - both runs quit with status 0 and presented the same frames (hashes),
#   - the runtime's allocation report at the end is empty,
#   - the live blocks and the handles of every type are back to their start
#     values at every scene change,
#   - the resident memory at every later scene change stays within 2 MB of
#     what it was after the first game.
#   scripts/soak.sh MINUTES [BUILD_DIR]   (default build; the game is built if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:?usage: scripts/soak.sh MINUTES [BUILD_DIR]}"
case "$minutes" in *[!0-9]* | "") echo "MINUTES must be a whole number" >&2; exit 2 ;; esac
build="${2:-build}"
game="$PWD/$build/game/quarnex"
res="$PWD/$build/run/res.ptk"
if [ ! -x "$game" ] || [ ! -f "$res" ]; then
  cmake --build "$build" -j "$(nproc)" --target quarnex
fi

work="$(mktemp -d /tmp/quarnex-soak-XXXXXX)"
trap 'rm -rf "$work"' EXIT
frames=$((minutes * 60 * 60))

# The player: a fixed pseudo-random sequence, so both runs get the same input.
awk -v frames="$frames" 'BEGIN {
  seed = 14
  print "frame 5 click left 10 10"
  for (f = 20; f < frames; f += 9) {
    seed = (seed * 1103515245 + 12345) % 2147483648
    x = 120 + seed % 560
    y = 80 + int(seed / 560) % 440
    print "frame " f " move " x " " y
    print "frame " f + 1 " click left " x " " y
    if (f % 97 < 9) print "frame " f + 4 " click right " x " " y
    if (f % 613 < 9) { print "frame " f + 2 " key Right down"; print "frame " f + 4 " key Right up" }
    if (f % 1201 < 9) { print "frame " f + 2 " key Left down"; print "frame " f + 4 " key Left up" }
  }
  print "frame " frames " key Escape down"
}' >"$work/script.txt"

run() {
  local dir="$work/$1"
  mkdir -p "$dir"
  cp "$res" "$dir/res.ptk"
  (cd "$dir" && env QUARNEX_PLATFORM=headless QUARNEX_SCRIPT="$work/script.txt" \
      QUARNEX_DATE="2026-03-14 15:09:26" QUARNEX_FRAME_HASHES="$dir/hashes.txt" \
      QUARNEX_CHECKPOINTS="$dir/checkpoints.txt" QUARNEX_LOCK_DIR="$dir" "$game" >"$dir/out.txt" 2>&1)
}

echo "soak: $minutes virtual minutes ($frames frames), two runs"
start=$(date +%s)
run a & pa=$!
run b & pb=$!
status=0
wait $pa || { echo "FAILED: run a ended with status $?"; status=1; }
wait $pb || { echo "FAILED: run b ended with status $?"; status=1; }
echo "soak: runs took $(( $(date +%s) - start ))s"
[ $status -eq 0 ] || { tail -n 20 "$work/a/out.txt" "$work/b/out.txt"; exit 1; }

presented=$(wc -l <"$work/a/hashes.txt")
if [ "$presented" -lt "$frames" ]; then
  echo "FAILED: only $presented frames presented"; status=1
fi
if ! cmp -s "$work/a/hashes.txt" "$work/b/hashes.txt"; then
  echo "FAILED: two identical runs presented different frames"; status=1
fi

awk -v limit=2048 '
  function field(name,   i) { for (i = 2; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2); return "" }
  $1 == "scene" {
    scenes++
    state = field("blocks") " " field("handles")
    if (scenes == 1) start = state
    else if (state != start) { print "FAILED: scene change " scenes " left " state ", the start had " start; bad = 1 }
    rss = field("rss_kb") + 0
    # Scene changes: 1 after the logo, 2 into the first game, 3 after it,
    # 4 into the second game, 5 after it.
    if (scenes == 3) first = rss
    if (scenes == 5) second = rss
    if (scenes > 3 && rss > peak) peak = rss
  }
  $1 == "end" {
    ended = 1
    if (field("blocks") != "0" || field("bytes") != "0") { print "FAILED: allocation report at the end: " $0; bad = 1 }
  }
  END {
    if (!ended) { print "FAILED: no end checkpoint"; bad = 1 }
    if (scenes < 7) { print "FAILED: only " scenes " scene changes, fewer than three games"; bad = 1 }
    if (peak < first) peak = first
    printf "soak: %d games; resident memory after the first game %d kB, after the second %d kB, highest later %d kB (+%d kB)\n",
      int((scenes - 1) / 2), first, second, peak, peak - first
    if (peak - first > limit) { print "FAILED: resident memory grew by more than 2 MB"; bad = 1 }
    exit bad
  }' "$work/a/checkpoints.txt" || status=1
[ $status -eq 0 ] && echo "soak: passed"
exit $status
