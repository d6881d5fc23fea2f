#!/usr/bin/env bash
# Runs every example from BINDIR in a scratch WORKDIR; the output is the same on every run.
# Usage: examples/run.sh BINDIR WORKDIR
set -euo pipefail
bin="$(cd "$1" && pwd)"
mkdir -p "$2"
cd "$2"
# A sample file of 100 000 bytes, the same every time.
sample=sample.bin
awk 'BEGIN { for (i = 0; i < 10000; i++) printf "line %04d\n", i }' > "$sample"

for program in "$bin"/*; do
  [ -x "$program" ] && [ -f "$program" ] || continue
  name="$(basename "$program")"
  echo "== $name"
  case "$name" in
    encrypt_file) "$program" "$sample" 3 ;;
    encode_file | hash_file) "$program" "$sample" ;;
    *) "$program" ;;
  esac
done
