#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the plain
# build, the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer
# (with LeakSanitizer), the multi-threaded test programs under ThreadSanitizer,
# a short fuzz run and a short soak. The first fault fails the run.
# It also builds the game for web browsers and tests it under node and in
# headless Chromium.
#   QUARNEX_SKIP_SANITIZERS=1  only the plain build, the web build, the fuzz run and the soak
#   QUARNEX_SKIP_WEB=1         no web build
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc)"
bash scripts/install-deps.sh

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
section() { echo "== $1 ($(date +%T))"; }

section "plain build and suite"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600)

if [ "${QUARNEX_SKIP_SANITIZERS:-0}" != 1 ]; then
  # Suppressions cover faults inside system libraries only.
  supp="$root/scripts/sanitizers"
  # No fake stack for use-after-return: its frames are not aligned for the renderer's
  # 64-byte vectors, so aligned stores to local buffers fault there and nowhere else.
  export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:strict_string_checks=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp"

  # The build runs the resource generator, so it is checked too.
  section "address and undefined-behaviour sanitizers"
  san_flags="-O1 -g -fno-omit-frame-pointer"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Sanitize -DQUARNEX_BUILD_BENCH=OFF "${launcher[@]}" \
    -DCMAKE_C_FLAGS_SANITIZE="$san_flags -fsanitize=address,undefined -fno-sanitize-recover=all" \
    -DCMAKE_CXX_FLAGS_SANITIZE="$san_flags -fsanitize=address,undefined -fno-sanitize-recover=all" \
    -DCMAKE_EXE_LINKER_FLAGS_SANITIZE="-fsanitize=address,undefined"
  cmake --build build-asan -j "$jobs"
  (cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 900)

  # Test programs whose tests run more than one thread (API lock, message
  # thread, archive reader thread, sound mixer, the real game), by folder label.
  section "thread sanitizer"
  tsan_labels="core|file|platform|sound|game"
  # The resources are made by the plain build's tools: packing them under the
  # thread sanitizer takes far too long and checks nothing the plain build does not.
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Sanitize -DQUARNEX_BUILD_BENCH=OFF "${launcher[@]}" \
    -DQUARNEX_PREBUILT_TOOLS="$root/build" \
    -DCMAKE_C_FLAGS_SANITIZE="$san_flags -fsanitize=thread" \
    -DCMAKE_CXX_FLAGS_SANITIZE="$san_flags -fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS_SANITIZE="-fsanitize=thread"
  targets=()
  for label in ${tsan_labels//|/ }; do
    [ -d "tests/$label" ] && targets+=(--target "test_$label")
  done
  # The drawing threads: the renderer's split drawings, checked byte for byte against
  # the reference, and their start-up.
  targets+=(--target test_graphics)
  cmake --build build-tsan -j "$jobs" "${targets[@]}"
  (cd build-tsan && ctest --output-on-failure -j "$jobs" --timeout 900 -L '^graphics$' \
    -R 'SplitOverThreads|^DrawThreads\.')
  # Left out: the hostile-resource table plays the same game as the end-to-end run a
  # dozen times over, and the game on the OpenGL back end runs on Mesa's software
  # rasteriser, whose threads are not ours; under this sanitizer each takes most of an hour.
  # The real game's end-to-end run takes about ten minutes under this sanitizer. Also left
  # out: the game recorded live in a real window, which plays in real time and cannot
  # finish its game there under this sanitizer.
  (cd build-tsan && ctest --output-on-failure -j "$jobs" --timeout 1500 -L "^($tsan_labels)\$" \
    -E '^(Damage/HostileResources\.|GameOnBothBackEnds\.|EndToEnd\.ALiveGameRecordedInAWindowReplaysHeadless$)')
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
fi

if [ "${QUARNEX_SKIP_WEB:-0}" != 1 ]; then
  # The browser build: its libraries are built once and kept (see scripts/web.sh),
  # the page ships the plain build's resources.
  section "web build"
  QUARNEX_WEB_TESTS=1 QUARNEX_WEB_RESOURCES="$root/build/run/res.ptk" bash scripts/web.sh
  section "web tests"
  (cd build-web/build && ctest --output-on-failure --timeout 900 -L '^web$')
  bash tests/web/game_hashes.sh build build-web
  node tests/web/page_test.js build-web
fi

section "fuzz"
QUARNEX_FUZZ_SECONDS="${QUARNEX_FUZZ_SECONDS:-15}" bash scripts/fuzz.sh
section "soak"
bash scripts/soak.sh 10
section "done"
