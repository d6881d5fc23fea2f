#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds the examples against it as an outside
# project would: once with CMake (find_package(morvane)) and once with pkg-config (make). Runs
# both sets; their outputs must agree. The library is built on its own, without tests or
# benchmarks, as a user who only wants the library builds it. Usage: scripts/examples.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build="${1:-build-lib}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF \
  -DMORVANE_BUILD_BENCH=OFF -DMORVANE_PYTHON=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "installed into $prefix"

echo "== the installed headers: public ones only, each compiling on its own"
if find "$prefix/include" -path '*/internal/*' | grep .; then
  echo "internal headers were installed" >&2
  exit 1
fi
(cd "$prefix/include" && find morvane -name '*.h' -print0 |
  xargs -0 -P "$(nproc)" -I{} sh -c 'echo "#include \"{}\"" |
    ${CXX:-c++} -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I. -x c++ - ||
    { echo "{} does not compile on its own" >&2; exit 255; }')

echo "== CMake: find_package(morvane CONFIG REQUIRED)"
cmake -S examples -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  >/dev/null
cmake --build "$work/cmake" -j "$(nproc)" >/dev/null

echo "== pkg-config"
pcdir="$(dirname "$(find "$prefix" -name morvane.pc | head -n 1)")"
PKG_CONFIG_PATH="$pcdir" make -s -C examples OUT="$work/make"

bash examples/run.sh "$work/cmake" "$work/run-cmake" > "$work/cmake.out"
bash examples/run.sh "$work/make" "$work/run-make" > "$work/make.out"
cat "$work/cmake.out"
if ! diff -u "$work/cmake.out" "$work/make.out"; then
  echo "the two builds of the examples disagree" >&2
  exit 1
fi
echo "== both builds ran every example with the same output"
