#!/usr/bin/env bash
# Builds the library and the program, then shows the program at work on a real file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
prog=build/morvane
"$prog" --version
"$prog" --help
