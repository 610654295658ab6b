#!/usr/bin/env bash
# Frame and load times of the shipped game, run headless with a fixed scripted
# player that aims at the stones and breaks them for a while, then lets the
# stones through until the game is over. Prints the game's frame statistics
# (processor time per frame in ms, frame waits left out; load times in ms of
# wall time) and the peak resident memory: with the renderer's best vector
# level, SSE2 only and none, each drawn on one thread (QUARNEX_DRAW_THREADS=1),
# and with the best level split over the drawing threads (the default). The
# frame figures are the processor time of the whole process, so with the
# drawing threads they add up every thread's share; they show the cost of
# splitting, not the time a frame takes to appear.
#
#   bench/game_frames.sh [GAME_DIR]   # GAME_DIR holds quarnex and res.ptk (default build/run)
#
# The machine's load shows in the figures; compare runs made side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
game_dir=$(realpath "${1:-build/run}")
[ -x "$game_dir/quarnex" ] && [ -f "$game_dir/res.ptk" ] || {
  echo "no quarnex and res.ptk in $game_dir (build the quarnex target first)" >&2
  exit 2
}

# Presented-frame numbers: logo left at once, a game started from the title,
# the intro clicked away, then clicks on a ring around the core every other
# frame (every stone deep enough to be hit is near one of its eight points),
# with the attack type changed now and then. After the attacks the stones get
# through; the game-over picture times out to the title, and Escape ends there.
script() {
  local logo=5 start=40 intro=$((40 + 65 + 180))
  local play=$((intro + 121))
  local first=$((play + 60)) last=$((play + 1260))
  local quit=$((last + 3000))
  echo "frame $logo click left 10 10"
  echo "frame $start click left 400 300"
  echo "frame $intro click left 400 300"
  awk -v first="$first" -v last="$last" 'BEGIN {
    pi = atan2(0, -1); point = 0
    for (f = first; f <= last; f += 2) {
      a = (point % 8) * pi / 4
      x = 400 + int(150 * cos(a) + (cos(a) < 0 ? -0.5 : 0.5))
      y = 280 + int(150 * sin(a) + (sin(a) < 0 ? -0.5 : 0.5))
      printf "frame %d click left %d %d\n", f, x, y
      if (point % 24 == 23) printf "frame %d click right %d %d\n", f + 1, x, y
      point++
    }
  }'
  echo "frame $quit key Escape down"
}

run() {
  local level=$1 threads=$2 work
  work=$(mktemp -d /tmp/quarnex_frames_XXXXXX)
  cp "$game_dir/res.ptk" "$work/"
  script > "$work/script.txt"
  (
    cd "$work"
    if [ "$level" = best ]; then unset QUARNEX_SIMD; else export QUARNEX_SIMD=$level; fi
    if [ "$threads" = default ]; then unset QUARNEX_DRAW_THREADS; else export QUARNEX_DRAW_THREADS=$threads; fi
    QUARNEX_PLATFORM=headless QUARNEX_SCRIPT=script.txt QUARNEX_LOCK_DIR="$work" \
      QUARNEX_DATE="2026-03-14 15:09:26" QUARNEX_FRAME_STATS="$work/stats.txt" \
      /usr/bin/time -f "%M" -o "$work/rss.txt" "$game_dir/quarnex" >/dev/null 2>"$work/stderr.txt"
  ) || { echo "the game failed with QUARNEX_SIMD=$level:" >&2; cat "$work/stderr.txt" >&2; rm -rf "$work"; exit 1; }
  echo "== vector level: $level, drawing threads: $threads"
  cat "$work/stats.txt"
  awk '{printf "peak resident memory %.1f MB\n", $1 / 1024}' "$work/rss.txt"
  rm -rf "$work"
}

run best 1
run best default
run sse2 1
run none 1
