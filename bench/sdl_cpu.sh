#!/usr/bin/env bash
# Processor use of the SDL build under Xvfb: the share of one core the game
# uses over 10 s at the title and over 10 s in play, read from /proc/PID/stat.
#
#   bench/sdl_cpu.sh [GAME_DIR]   # GAME_DIR holds quarnex and res.ptk (default build/run)
#
# The game runs in a fresh folder (no save file, so the intro comes before play)
# on its own Xvfb display; xdotool clicks through the title and the intro.
# QUARNEX_CPU_SHOTS=DIR keeps an xwd picture of the window in each scene.
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

# SDL makes and drops short-lived helper windows at start, and a window can
# vanish between xdotool finding it and asking about it. Look for the game's
# own window (its pid and title) and take it once the server says it is
# viewable; any X error on the way means "not yet" and the search repeats.
find_window() {
  local w
  for w in $(xdotool search --pid "$game_pid" --name '^Quarnex$' 2>/dev/null); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable'; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
# Every click looks for the window afresh and tries again if the window
# vanished under it.
# The game reads the button once a frame: the button stays down a while.
click() {
  local window
  for _ in $(seq 200); do
    kill -0 "$game_pid" 2>/dev/null || { echo "the game ended early" >&2; exit 1; }
    if window=$(find_window) && xdotool mousemove --window "$window" 400 300 mousedown 1 sleep 0.2 mouseup 1 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "the game window did not appear" >&2
  exit 1
}

# Processor ticks (user + system) so far: the game's total, then one line per
# thread ("tid|name|ticks").
ticks() { awk '{print $14 + $15}' "/proc/$game_pid/stat"; }
thread_ticks() {
  local t
  for t in /proc/"$game_pid"/task/*; do
    # The name sits in parentheses and may hold spaces; the counts follow it.
    sed -E 's/^([0-9]+) \((.*)\) (.*)$/\1 \2|\3/' "$t/stat" 2>/dev/null |
      awk -F'|' '{split($2, f, " "); t = $1; sub(/ .*/, "", t); n = $1; sub(/^[0-9]+ /, "", n)
                  print t "|" n "|" f[12] + f[13]}'
  done
}

# Share of one core over the next $seconds seconds, in percent, for the
# whole game and for each of its threads.
measure() {
  local scene=$1 t0 t1 hz
  hz=$(getconf CLK_TCK)
  thread_ticks > "$work/threads0"
  t0=$(ticks)
  sleep "$seconds"
  t1=$(ticks)
  thread_ticks > "$work/threads1"
  echo "$t0 $t1 $hz $seconds" | awk -v s="$scene" '{printf "%s %.1f %% of one core\n", s, ($2 - $1) * 100 / ($3 * $4)}'
  awk -F'|' -v hz="$hz" -v secs="$seconds" '
    NR == FNR { before[$1] = $3; next }
    { used = $3 - ($1 in before ? before[$1] : 0)
      if (used > 0) printf "  thread %s (%s) %.1f %%\n", $1, $2, used * 100 / (hz * secs) }
  ' "$work/threads0" "$work/threads1"
}

shot() {
  [ -n "${QUARNEX_CPU_SHOTS:-}" ] || return 0
  local window
  mkdir -p "$QUARNEX_CPU_SHOTS"
  window=$(find_window) && xwd -silent -id "$window" -out "$QUARNEX_CPU_SHOTS/$1.xwd" 2>/dev/null || true
}

# The logo ends by itself after 240 frames; a click there could come before
# the logo reads the button and then start a game at the title instead. The
# logo is light, the title dark: wait for two dark pictures a second apart,
# then for the title's fade-in.
brightness() {
  local window
  window=$(find_window) || { echo 1; return; }
  xwd -silent -id "$window" 2>/dev/null | convert xwd:- -format '%[fx:mean]' info: 2>/dev/null || echo 1
}
dark=0
for _ in $(seq 120); do
  kill -0 "$game_pid" 2>/dev/null || { echo "the game ended early" >&2; exit 1; }
  if awk -v m="$(brightness)" 'BEGIN { exit !(m > 0.05 && m < 0.5) }'; then dark=$((dark + 1)); else dark=0; fi
  [ "$dark" -ge 2 ] && break
  sleep 1
done
[ "$dark" -ge 2 ] || { echo "the title did not appear" >&2; exit 1; }
sleep 2
shot title
measure title
click            # starts a game: fade, load, intro
# The intro is a still picture that takes no click for its first two seconds;
# play never stands still. Click until a still, lit picture (the intro) has
# been seen and the picture moves again, then wait out the intro's fade.
picture() {
  local window
  # No picture is never the same as the last one.
  window=$(find_window) && xwd -silent -id "$window" 2>/dev/null | md5sum || echo "none $RANDOM"
}
intro=0
last=""
for _ in $(seq 240); do
  kill -0 "$game_pid" 2>/dev/null || { echo "the game ended early" >&2; exit 1; }
  now=$(picture)
  if [ "$now" = "$last" ] && awk -v m="$(brightness)" 'BEGIN { exit !(m > 0.05) }'; then
    intro=1
    click
  elif [ "$intro" = 1 ] && [ "$now" != "$last" ]; then
    break
  fi
  last=$now
  sleep 0.5
done
[ "$intro" = 1 ] || { echo "the intro did not appear" >&2; exit 1; }
sleep 3
shot play
measure play
