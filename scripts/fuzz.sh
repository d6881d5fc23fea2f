#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each one for SECONDS seconds (default 30) on its committed corpus.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang
seconds="${1:-30}"
shift || true
build=build-fuzz
CXX=clang++-16 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_FUZZ=ON \
  -DMORVANE_BUILD_TESTS=OFF -DMORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*Fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  corpus="fuzz/corpus/$t"
  work="$build/corpus/$t"
  mkdir -p "$work" "$build/artifacts"
  echo "== $t: ${seconds}s"
  # New inputs go to a scratch corpus so the committed seeds stay as they are.
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/artifacts/$t-" -print_final_stats=1 "$work" "$corpus" \
      > "$build/$t.log" 2>&1; then
    status=1
    echo "!! $t found a failure; see $build/$t.log and $build/artifacts/"
    tail -n 40 "$build/$t.log"
  else
    grep -E 'stat::number_of_executed_units|Done' "$build/$t.log" | tail -n 2 || true
  fi
done
exit $status
