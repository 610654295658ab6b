#!/usr/bin/env bash
# Start-up time under Xvfb: from launch until the runtime is started and
# ready to draw its first frame (the draw probe writes backend.txt right
# after InitRuntime), with the software renderer forced and with the
# automatic choice, which on a machine without a graphics processor must be
# about as quick (within 1.3 x the forced start + 0.1 s).
#
#   bench/start_time.sh [PROBE] [RUNS]   # PROBE default build/tests/quarnex_draw_probe, RUNS 5
set -euo pipefail
cd "$(dirname "$0")/.."
probe=$(realpath "${1:-build/tests/quarnex_draw_probe}")
runs=${2:-5}

work=$(mktemp -d /tmp/quarnex_start_XXXXXX)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"

# Milliseconds from launch to backend.txt, for one run with QUARNEX_RENDERER=$1.
one_run() {
  local dir="$work/run" hold="$work/hold" start now pid
  rm -rf "$dir" && mkdir -p "$dir" && touch "$hold"
  start=$(date +%s%N)
  (cd "$dir" && QUARNEX_RENDERER="$1" QUARNEX_PROBE_HOLD="$hold" QUARNEX_LOCK_DIR="$dir" SDL_AUDIODRIVER=dummy \
    exec "$probe" >/dev/null 2>&1) &
  pid=$!
  while [ ! -e "$dir/backend.txt" ] && kill -0 "$pid" 2>/dev/null; do sleep 0.005; done
  now=$(date +%s%N)
  rm -f "$hold"
  wait "$pid" || true
  echo $(((now - start) / 1000000)) "$(cat "$dir/backend.txt" 2>/dev/null || echo none)"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for choice in software automatic; do
  : > "$work/$choice.txt"
  for _ in $(seq "$runs"); do
    one_run "$([ "$choice" = automatic ] && echo "" || echo "$choice")" >> "$work/$choice.txt"
  done
  echo "$choice: median $(cut -d' ' -f1 "$work/$choice.txt" | median) ms of $(cut -d' ' -f1 "$work/$choice.txt" | tr '\n' ' ')(back end: $(head -1 "$work/$choice.txt" | cut -d' ' -f2-))"
done
soft=$(cut -d' ' -f1 "$work/software.txt" | median)
auto=$(cut -d' ' -f1 "$work/automatic.txt" | median)
echo "automatic / budget: $auto ms against $((soft * 13 / 10 + 100)) ms (1.3 x software + 100 ms)"
