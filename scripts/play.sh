#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it from its ready-to-run folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target quarnex
# Building the game lays out build/run: the binary next to its packed resources, as released.
cd build/run
exec ./quarnex
