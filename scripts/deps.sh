#!/usr/bin/env bash
# Makes sure that what a build needs is there.
# Usage: scripts/deps.sh [tests] [bench] [peers] [python] [clang]
#   (nothing)  the tools: cmake, a C++ compiler and make (needed), pkg-config
#   tests      GoogleTest
#   bench      Google Benchmark and python3
#   peers      the peer libraries and programs the differential tests and benchmarks compare with
#   python     the Python module's build and tests, for /usr/bin/python3 (the interpreter the
#              build targets): pybind11, pytest, setuptools, the headers, venv and pip
#   clang      clang++-16 with its sanitizer and fuzzer runtimes
# Libraries are looked for as the build looks for them (CMake's find_package and pkg-config, so
# CMAKE_PREFIX_PATH and PKG_CONFIG_PATH count). Whatever is missing is installed with apt-get
# where there is one (as root, or through sudo); elsewhere the script names what is missing and
# leaves the rest to CMake, which builds the tests and benchmarks only when their frameworks are
# found and uses only the peers it finds. Only a missing cmake, make or compiler stops it.
set -euo pipefail

need=()      # Debian packages to install
missing=()   # what is missing, in words
tool() {     # tool COMMAND PACKAGE
  command -v "$1" >/dev/null 2>&1 || { need+=("$2"); missing+=("$1"); }
}
tool cmake cmake
command -v "${CXX:-c++}" >/dev/null 2>&1 || command -v g++ >/dev/null 2>&1 ||
  { need+=(g++); missing+=("a C++ compiler"); }
tool make make
tool pkg-config pkg-config

packages=() # CMake packages, each with its Debian package after a colon
modules=()  # pkg-config modules, likewise
for extra in "$@"; do
  case "$extra" in
    tests) packages+=(GTest:libgtest-dev) ;;
    bench)
      packages+=(benchmark:libbenchmark-dev)
      tool python3 python3
      ;;
    peers)
      packages+=(OpenSSL:libssl-dev)
      modules+=(nettle:nettle-dev libgcrypt:libgcrypt20-dev libcrypto++:libcrypto++-dev)
      tool openssl openssl
      tool uuencode sharutils
      ;;
    python)
      py() { /usr/bin/python3 -c "$1" >/dev/null 2>&1 || { need+=("$2"); missing+=("$2"); }; }
      tool /usr/bin/python3 python3
      [ -f /usr/include/pybind11/pybind11.h ] || { need+=(pybind11-dev); missing+=(pybind11-dev); }
      py 'import pybind11' python3-pybind11
      py 'import pytest' python3-pytest
      py 'import setuptools' python3-setuptools
      py 'import sysconfig, os, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' python3-dev
      py 'import ensurepip, venv' python3-venv
      /usr/bin/python3 -m pip --version >/dev/null 2>&1 || { need+=(python3-pip); missing+=(python3-pip); }
      ;;
    clang)
      # The sanitizer runtimes come with the compiler's own package set.
      tool clang++-16 clang-16
      command -v clang++-16 >/dev/null 2>&1 || need+=(libclang-rt-16-dev)
      ;;
    *) echo "deps.sh: unknown set \"$extra\" (tests, bench, peers, python, clang)" >&2; exit 2 ;;
  esac
done

# Ask CMake, in a scratch project, which of the libraries it finds.
if [ $((${#packages[@]} + ${#modules[@]})) -gt 0 ] && command -v cmake >/dev/null 2>&1; then
  probe="$(mktemp -d)"
  trap 'rm -rf "$probe"' EXIT
  cat > "$probe/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.20)
project(probe CXX)
foreach(pkg IN LISTS PROBE_PACKAGES)
  find_package(${pkg} QUIET)
  if(NOT ${pkg}_FOUND)
    message(STATUS "missing ${pkg}")
  endif()
endforeach()
find_package(PkgConfig QUIET)
foreach(mod IN LISTS PROBE_MODULES)
  if(PkgConfig_FOUND)
    pkg_check_modules(probe_${mod} QUIET ${mod})
  endif()
  if(NOT probe_${mod}_FOUND)
    message(STATUS "missing ${mod}")
  endif()
endforeach()
EOF
  names() { local IFS=';'; echo "${*%%:*}"; }
  found_missing="$(cmake -S "$probe" -B "$probe/b" \
    "-DPROBE_PACKAGES=$(names "${packages[@]}")" "-DPROBE_MODULES=$(names "${modules[@]}")" \
    2>/dev/null | sed -n 's/^-- missing //p')" || found_missing="$(names "${packages[@]}" "${modules[@]}" | tr ';' '\n')"
  for entry in "${packages[@]}" "${modules[@]}"; do
    if grep -qxF "${entry%%:*}" <<<"$found_missing"; then
      need+=("${entry#*:}")
      missing+=("${entry%%:*}")
    fi
  done
fi

[ ${#need[@]} -eq 0 ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO=sudo; fi
if command -v apt-get >/dev/null 2>&1 && { [ "$(id -u)" -eq 0 ] || [ -n "$SUDO" ]; }; then
  echo "Installing: ${need[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
  exit 0
fi
echo "deps.sh: not found: ${missing[*]} (no apt-get to install them with here)." >&2
for m in "${missing[@]}"; do
  case "$m" in
    cmake | make | "a C++ compiler")
      echo "deps.sh: the build needs $m; install it and run again." >&2
      exit 1
      ;;
  esac
done
echo "deps.sh: building without them (point CMAKE_PREFIX_PATH or PKG_CONFIG_PATH at them if" \
  "they are installed elsewhere)." >&2
