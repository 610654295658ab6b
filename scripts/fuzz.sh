#!/usr/bin/env bash
# Builds every fuzz target in tests/fuzz/ (each *_fuzz.cpp) with clang
# (libFuzzer, address and undefined-behaviour sanitizers) and runs them.
#
#   scripts/fuzz.sh               short run from the seed corpus (CI)
#   scripts/fuzz.sh --minutes N   every target for N minutes on its kept corpus
#                                 (build-fuzz/corpus/NAME), merged afterwards
#
#   QUARNEX_FUZZ_SECONDS  seconds per target in the short run (default 30)
#   QUARNEX_FUZZ_JOBS     build jobs (default: all processors)
#   QUARNEX_FUZZ_ONLY     run only these targets (names without _fuzz, space separated)
#   QUARNEX_FUZZ_TIMEOUT  seconds of wall time one input may take (default 10; raise it
#                         on a loaded machine, where a large picture is slow, not stuck)
#
# Seeds are made at run time: each target writes its own, and the picture
# decoders take the pictures scripts/make-image-fixtures.sh makes. A crash
# leaves its input as build-fuzz/NAME-crash-*; add it to the ordinary suite.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=""
if [ "${1:-}" = "--minutes" ]; then
  minutes="${2:?--minutes needs a number}"
  case "$minutes" in *[!0-9]* | "") echo "--minutes needs a whole number" >&2; exit 2 ;; esac
elif [ $# -gt 0 ]; then
  echo "usage: scripts/fuzz.sh [--minutes N]" >&2
  exit 2
fi
seconds="${QUARNEX_FUZZ_SECONDS:-30}"
[ -n "$minutes" ] && seconds=$((minutes * 60))
jobs="${QUARNEX_FUZZ_JOBS:-$(nproc)}"
build="$PWD/build-fuzz"  # absolute: targets may change directory

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S tests/fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$jobs"

pictures="$build/pictures"
if [ ! -f "$pictures/.made" ] || [ scripts/make-image-fixtures.sh -nt "$pictures/.made" ]; then
  rm -rf "$pictures"
  bash scripts/make-image-fixtures.sh "$pictures" >/dev/null
  touch "$pictures/.made"
fi
export QUARNEX_FUZZ_PICTURES="$pictures"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The suppressions of the sanitizer runs: faults inside system libraries only.
export LSAN_OPTIONS="suppressions=$PWD/scripts/sanitizers/lsan.supp:print_suppressions=0"

status=0
for target in "$build"/*_fuzz; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  if [ -n "${QUARNEX_FUZZ_ONLY:-}" ] && [[ " $QUARNEX_FUZZ_ONLY " != *" ${name%_fuzz} "* ]]; then
    continue
  fi
  seeds="$build/seeds/$name"
  rm -rf "$seeds"
  mkdir -p "$seeds"
  # The target writes its seeds, then runs nothing.
  if ! QUARNEX_FUZZ_WRITE_SEEDS="$seeds" "$target" -runs=0 -artifact_prefix="$build/$name-" \
       >"$build/$name.seeds.log" 2>&1; then
    echo "FAILED: $name could not write its seeds (see $build/$name.seeds.log)"
    tail -n 20 "$build/$name.seeds.log"
    status=1
    continue
  fi
  if [ -n "$minutes" ]; then
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  else
    corpus="$seeds"
  fi
  echo "fuzzing $name for ${seconds}s ($(ls "$corpus" | wc -l) inputs)"
  if ! "$target" -seed=1 -max_total_time="$seconds" -timeout="${QUARNEX_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
       -artifact_prefix="$build/$name-" -print_final_stats=1 "$corpus" >"$build/$name.log" 2>&1; then
    echo "FAILED: $name (see $build/$name.log)"
    tail -n 40 "$build/$name.log"
    status=1
    continue
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$name.log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/$name.log")"
  if [ -n "$minutes" ]; then
    # Keep only the inputs that add coverage.
    merged="$build/corpus/$name.merged"
    rm -rf "$merged"
    mkdir -p "$merged"
    "$target" -merge=1 "$merged" "$corpus" >"$build/$name.merge.log" 2>&1
    rm -rf "$corpus"
    mv "$merged" "$corpus"
  fi
  echo "$name: $runs runs in ${seconds}s, $rate exec/s, corpus $(ls "$corpus" | wc -l)"
done
exit $status
