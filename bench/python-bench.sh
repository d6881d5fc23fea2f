#!/usr/bin/env bash
# Throughput from Python against the same calls from C++ (64 MiB by default): builds the module
# and bench/PythonPeer.cpp in Release, runs both, prints MB/s of each and the ratio.
# Usage: bench/python-bench.sh [MiB]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh python
build=build-pybench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF \
  -DMORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target morvane_python morvane_python_peer >/dev/null
mib="${1:-64}"
"$build/python/morvane_python_peer" "$mib" > "$build/cpp.txt"
PYTHONPATH="$build/python" /usr/bin/python3 bench/python_bench.py "$mib" > "$build/py.txt"
echo "workload ($mib MiB)       C++ MB/s  Python MB/s  Python/C++"
join "$build/cpp.txt" "$build/py.txt" |
  awk '{ printf "%-24s %9.1f %12.1f %11.3f\n", $1, $2, $3, $3 / $2 }'
