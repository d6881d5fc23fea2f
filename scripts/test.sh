#!/usr/bin/env bash
# Builds everything and runs every test suite. Usage: scripts/test.sh [build-dir] [cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh tests python
build="${1:-build}"
shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
