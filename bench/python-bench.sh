#!/usr/bin/env bash
# Throughput from Python against the same calls from C++ (64 MiB by default): builds the module
# and bench/PythonPeer.cpp in Release, runs both, prints MB/s of each and the ratio.
# Usage: bench/python-bench.sh [MiB] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh python
build=build-pybench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF \
  -DMORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target morvane_python morvane_python_peer >/dev/null
mib="${1:-64}"
rounds="${2:-3}"
# Rounds alternate between the two sides, so that a busy spell of a shared machine does not
# land on one side only; the best figure of each side counts.
: > "$build/cpp.txt"
: > "$build/py.txt"
for _ in $(seq "$rounds"); do
  "$build/python/morvane_python_peer" "$mib" >> "$build/cpp.txt"
  PYTHONPATH="$build/python" /usr/bin/python3 bench/python_bench.py "$mib" >> "$build/py.txt"
done
best() { awk '{ if ($2 > b[$1]) b[$1] = $2 } END { for (k in b) print k, b[k] }' "$1" | sort; }
echo "workload ($mib MiB, best of $rounds rounds)  C++ MB/s  Python MB/s  Python/C++"
join <(best "$build/cpp.txt") <(best "$build/py.txt") |
  awk '{ printf "%-36s %9.1f %12.1f %11.2f\n", $1, $2, $3, $3 / $2 }'
