#!/usr/bin/env bash
# Builds the fuzz targets in tests/fuzz/ with clang (libFuzzer, address
# sanitizer) and runs each one briefly from a fixed seed corpus.
#   QUARNEX_FUZZ_SECONDS  seconds per target (default 30)
#   QUARNEX_FUZZ_JOBS     build jobs (default: all processors)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${QUARNEX_FUZZ_SECONDS:-30}"
jobs="${QUARNEX_FUZZ_JOBS:-$(nproc)}"
build="$PWD/build-fuzz"  # absolute: targets may change directory

cmake -S tests/fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$jobs"

status=0
for target in "$build"/*_fuzz; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="$build/corpus/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  # The target writes its seeds, then runs nothing.
  QUARNEX_FUZZ_WRITE_SEEDS="$corpus" "$target" -runs=0 >/dev/null 2>&1
  echo "fuzzing $name for ${seconds}s ($(ls "$corpus" | wc -l) seeds)"
  if ! "$target" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build/$name-" -print_final_stats=1 "$corpus" >"$build/$name.log" 2>&1; then
    echo "FAILED: $name (see $build/$name.log)"
    tail -n 40 "$build/$name.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/$name.log" || true
  fi
done
exit $status
