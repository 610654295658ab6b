#!/usr/bin/env bash
# Processor use of the SDL build under Xvfb: the share of one core the game
# uses over 10 s at the title and over 10 s in play, read from /proc/PID/stat.
#
#   bench/sdl_cpu.sh [GAME_DIR]   # GAME_DIR holds quarnex and res.ptk (default build/run)
#
# The game runs in a fresh folder (no save file, so the intro comes before play)
# on its own Xvfb display; xdotool clicks through the logo, the title and the intro.
set -euo pipefail
cd "$(dirname "$0")/.."
game_dir=$(realpath "${1:-build/run}")
seconds=${QUARNEX_CPU_SECONDS:-10}

work=$(mktemp -d /tmp/quarnex_cpu_XXXXXX)
xvfb_pid=""
game_pid=""
cleanup() {
  if [ -n "$game_pid" ]; then
    kill "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cp "$game_dir/res.ptk" "$work/"
# Xvfb picks a free display number and writes it to the descriptor.
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"

(cd "$work" && QUARNEX_PLATFORM=sdl QUARNEX_LOCK_DIR="$work" SDL_AUDIODRIVER=dummy exec "$game_dir/quarnex") &
game_pid=$!

# SDL makes and drops helper windows at start; wait for the mapped game window.
sleep 1.5
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Quarnex$' 2>/dev/null | tail -1 || true)
[ -n "$window" ] || { echo "the game window did not appear" >&2; exit 1; }

click() {
  kill -0 "$game_pid" 2>/dev/null || { echo "the game ended early" >&2; exit 1; }
  xdotool mousemove --window "$window" 400 300 click 1
}

# Processor ticks (user + system) of the game so far.
ticks() { awk '{print $14 + $15}' "/proc/$game_pid/stat"; }

# Share of one core over the next $seconds seconds, in percent.
measure() {
  local t0 t1 hz
  hz=$(getconf CLK_TCK)
  t0=$(ticks)
  sleep "$seconds"
  t1=$(ticks)
  echo "$t0 $t1 $hz $seconds" | awk '{printf "%.1f", ($2 - $1) * 100 / ($3 * $4)}'
}

sleep 0.5
click            # leaves the logo
sleep 3
echo "title $(measure) % of one core"
click            # starts a game: fade, load, intro
sleep 5
click            # leaves the intro
sleep 3
echo "play $(measure) % of one core"
