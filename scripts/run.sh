#!/usr/bin/env bash
# Builds the library and the program, then shows the program at work on a real file: the
# README is encrypted, decrypted and compared with the original, and digested.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh python
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
prog=build/morvane
demo=build/demo
mkdir -p "$demo"
"$prog" --version
show() {
  echo "\$ $*"
  "$@"
}
export MORVANE_KEY="a demonstration key"
show "$prog" encrypt --cipher blowfish --mode cbc README.md -o "$demo/README.md.enc"
show "$prog" decrypt --cipher blowfish --mode cbc "$demo/README.md.enc" -o "$demo/README.md.dec"
show cmp README.md "$demo/README.md.dec"
echo "README.md: $(stat -c %s README.md) bytes; encrypted: $(stat -c %s "$demo/README.md.enc") bytes;" \
  "decrypted copy identical"
show "$prog" digest --algorithm sha1 README.md "$demo/README.md.dec"
