#!/usr/bin/env bash
# Whole-process comparison of the morvane program with the command-line programs that do the
# same job, on one page-cached file of random bytes (256 MiB by default). Each pair runs in
# turn (ours, peer, ours, peer, ...) so that a change in the machine's load hits both; the
# ratio is taken pair by pair and the median is printed, with the median wall times and the
# two command lines. Every output is checked once against the peer's (or the original data).
#
# Usage: bench/program-bench.sh [program]        (default: build-bench/morvane, built if missing)
#        MORVANE_BENCH_MIB=32 bench/program-bench.sh     a smaller file for a quick look
#        MORVANE_BENCH_RUNS=9 bench/program-bench.sh     pairs per row (default 5)
#        MORVANE_BENCH_ONLY=base64 bench/program-bench.sh   rows whose job starts so
#
# Ratio: morvane wall time / peer wall time (below 1: morvane is faster). "stdout" rows write
# to /dev/null, "file" rows redirect standard output to a new file in $TMPDIR (or /tmp).
# Peers: md5sum, base64 (coreutils), uuencode/uudecode (sharutils), openssl.
set -euo pipefail
cd "$(dirname "$0")/.."
prog="${1:-build-bench/morvane}"
if [ ! -x "$prog" ]; then
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j2 --target morvane_cli >/dev/null
  prog=build-bench/morvane
fi
prog=$(realpath "$prog")
mib="${MORVANE_BENCH_MIB:-256}"
runs="${MORVANE_BENCH_RUNS:-5}"
only="${MORVANE_BENCH_ONLY:-}"
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

for tool in md5sum base64 openssl uuencode uudecode cmp; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "program-bench: $tool is not installed (coreutils, openssl, sharutils)" >&2
    exit 1
  }
done
# OpenSSL 3 keeps Blowfish and RIPEMD-160 in its legacy provider.
legacy=()
if openssl list -providers -provider legacy >/dev/null 2>&1; then
  legacy=(-provider legacy -provider default)
fi

data="$work/data.bin"
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$data"
base64 -w0 "$data" >"$work/flat.b64"
base64 -w76 "$data" >"$work/wrap.b64"
uuencode "$data" data.bin >"$work/lf.uu"
key=00112233445566778899aabbccddeeff
iv=0001020304050607

# job | our command | the peer's command | how the two outputs are compared
#   same: byte for byte; digest: the first 40 hex digits of the first line; data: ours is the
#   original data; skip: the formats differ (ours is checked by decoding it elsewhere)
rows=(
  "digest md5|$prog digest --algorithm md5 $data|md5sum $data|digest"
  "digest sha1|$prog digest --algorithm sha1 $data|openssl dgst -sha1 -r $data|digest"
  "digest ripemd160|$prog digest --algorithm ripemd160 $data|openssl dgst ${legacy[*]} -ripemd160 -r $data|digest"
  "base64|$prog base64 $data|base64 -w0 $data|same"
  "base64 --decode|$prog base64 --decode $work/flat.b64|base64 -d $work/flat.b64|same"
  "base64 --decode 76-col|$prog base64 --decode $work/wrap.b64|base64 -d $work/wrap.b64|same"
  "uuencode|$prog uuencode --name data.bin $data|uuencode $data data.bin|skip"
  "uuencode --decode LF|$prog uuencode --decode $work/lf.uu|uudecode -o /dev/stdout $work/lf.uu|same"
  "encrypt blowfish cbc|$prog encrypt --cipher blowfish --mode cbc --key-hex $key --iv $iv --layout stream $data|openssl enc ${legacy[*]} -bf-cbc -nopad -K $key -iv $iv -in $data|skip"
)

# Wall seconds of one run, standard output to $1.
timed() {
  local out=$1 t0 t1
  shift
  [ -f "$out" ] && rm -f "$out"  # never a device such as /dev/null
  t0=$EPOCHREALTIME
  "$@" >"$out" 2>/dev/null
  t1=$EPOCHREALTIME
  echo "$t0 $t1" | awk '{ printf "%.6f\n", $2 - $1 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

check() {
  local how=$1 ours=$2 peer=$3
  case "$how" in
    same) cmp -s "$ours" "$peer" ;;
    digest) [ "$(head -c 40 "$ours")" = "$(head -c 40 "$peer")" ] ;;
    *) true ;;
  esac
}

echo "whole process, ${mib} MiB page-cached file, $runs pairs per row, median of the pair ratios"
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -m), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-24s %-7s %10s %10s %7s\n' "job" "output" "morvane s" "peer s" "ratio"
for row in "${rows[@]}"; do
  IFS='|' read -r job ours peer how <<<"$row"
  [ -n "$only" ] && [ "${job#"$only"}" = "$job" ] && continue
  read -ra ours_argv <<<"$ours"
  read -ra peer_argv <<<"$peer"
  for output in stdout file; do
    if [ "$output" = stdout ]; then
      out_ours=/dev/null out_peer=/dev/null
    else
      out_ours="$work/out.ours" out_peer="$work/out.peer"
    fi
    # One run each that is not counted: it warms the caches and checks the outputs.
    timed "$work/check.ours" "${ours_argv[@]}" >/dev/null
    timed "$work/check.peer" "${peer_argv[@]}" >/dev/null
    if ! check "$how" "$work/check.ours" "$work/check.peer"; then
      echo "program-bench: '$job': morvane's output differs from the peer's" >&2
      exit 1
    fi
    rm -f "$work/check.ours" "$work/check.peer"
    a=() b=() r=()
    for ((i = 0; i < runs; i++)); do
      ta=$(timed "$out_ours" "${ours_argv[@]}")
      tb=$(timed "$out_peer" "${peer_argv[@]}")
      a+=("$ta") b+=("$tb")
      r+=("$(awk -v x="$ta" -v y="$tb" 'BEGIN { printf "%.4f\n", x / y }')")
    done
    rm -f "$work/out.ours" "$work/out.peer"
    printf '%-24s %-7s %10.3f %10.3f %7.2f\n' "$job" "$output" \
      "$(printf '%s\n' "${a[@]}" | median)" "$(printf '%s\n' "${b[@]}" | median)" \
      "$(printf '%s\n' "${r[@]}" | median)"
  done
  echo "    morvane: ${ours//$work\//} | peer: ${peer//$work\//}"
done
echo "ratio: morvane wall time / peer wall time, median over the pairs (below 1: morvane is faster)"
