#!/usr/bin/env bash
# Installs the build and test tools when they are missing (Debian; needs root for apt-get).
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
for extra in "$@"; do
  case "$extra" in
    bench)
      [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
      command -v python3 >/dev/null 2>&1 || need+=(python3)
      ;;
    peers)
      [ -f /usr/include/openssl/evp.h ] || need+=(libssl-dev openssl)
      [ -f /usr/include/nettle/md5.h ] || need+=(nettle-dev)
      [ -f /usr/include/gcrypt.h ] || need+=(libgcrypt20-dev)
      [ -d /usr/include/crypto++ ] || need+=(libcrypto++-dev)
      command -v openssl >/dev/null 2>&1 || need+=(openssl)
      command -v uuencode >/dev/null 2>&1 || need+=(sharutils)
      ;;
    python)
      # The Python module and its tests, for Debian's /usr/bin/python3 (the interpreter the
      # build targets); venv and pip for `pip install --no-build-isolation ./python`.
      [ -x /usr/bin/python3 ] || need+=(python3)
      [ -f /usr/include/pybind11/pybind11.h ] || need+=(pybind11-dev)
      /usr/bin/python3 -c 'import pybind11' >/dev/null 2>&1 || need+=(python3-pybind11)
      /usr/bin/python3 -c 'import pytest' >/dev/null 2>&1 || need+=(python3-pytest)
      /usr/bin/python3 -c 'import setuptools' >/dev/null 2>&1 || need+=(python3-setuptools)
      /usr/bin/python3 -c 'import sysconfig, os, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' >/dev/null 2>&1 || need+=(python3-dev)
      /usr/bin/python3 -c 'import ensurepip, venv' >/dev/null 2>&1 || need+=(python3-venv)
      /usr/bin/python3 -m pip --version >/dev/null 2>&1 || need+=(python3-pip)
      ;;
    clang) command -v clang++-16 >/dev/null 2>&1 || need+=(clang-16 libclang-rt-16-dev) ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi
