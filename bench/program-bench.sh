#!/usr/bin/env bash
# Whole-process comparison of the morvane program with the programs that do the same job:
# `morvane uuencode` and `morvane uuencode --decode` against sharutils' uuencode and uudecode
# on one file (256 MiB by default), each run a few times, best time kept. Every tool decodes
# its own encoding, and both decodings are compared with the original.
#
# Usage: bench/program-bench.sh [program]      (default: build-bench/morvane)
#        MORVANE_BENCH_MIB=32 bench/program-bench.sh    (a smaller file for a quick look)
set -euo pipefail
cd "$(dirname "$0")/.."
prog="${1:-build-bench/morvane}"
if [ ! -x "$prog" ]; then
  bash scripts/deps.sh bench peers
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j2 --target morvane_cli >/dev/null
  prog=build-bench/morvane
fi
if ! command -v uuencode >/dev/null 2>&1 || ! command -v uudecode >/dev/null 2>&1; then
  echo "program-bench: sharutils (uuencode, uudecode) is not installed; nothing to compare" >&2
  exit 0
fi
mib="${MORVANE_BENCH_MIB:-256}"
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$work/data.bin"
python3 - "$prog" "$work" "$mib" <<'PY'
import os, resource, subprocess, sys, time
prog, work, mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = os.path.join(work, "data.bin")
size = os.path.getsize(data)

def run(argv, output, to_stdout=False):
    """Wall and processor time (user + system) of one run, best of three. The output file is
    removed before each run, so every tool writes a new file."""
    best = None
    for _ in range(3):
        if os.path.exists(output):
            os.chmod(output, 0o644)
            os.remove(output)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        with open(output if to_stdout else os.devnull, "wb") as out:
            subprocess.run(argv, stdout=out, stderr=subprocess.DEVNULL, check=True)
        wall = time.perf_counter() - t0
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        if best is None or wall < best[0]:
            best = (wall, cpu)
    return best

j = lambda f: os.path.join(work, f)
rows = [
    ("uuencode", run([prog, "uuencode", "--name", "data.bin", data, "-o", j("ours.uu")],
                     j("ours.uu")),
     run(["uuencode", data, "data.bin"], j("peer.uu"), to_stdout=True)),
    ("uuencode --decode", run([prog, "uuencode", "--decode", j("ours.uu"), "-o", j("ours.bin")],
                              j("ours.bin")),
     run(["uudecode", "-o", j("peer.bin"), j("peer.uu")], j("peer.bin"))),
]
for f in ("ours.bin", "peer.bin"):
    if open(j(f), "rb").read() != open(data, "rb").read():
        sys.exit("program-bench: %s does not match the original" % f)
print("whole process, %d MiB file (MB/s of the binary file; best of 3)" % mib)
print("%-20s %22s %22s %8s" % ("job", "morvane wall | cpu", "sharutils wall | cpu", "ratio"))
for job, ours, peer in rows:
    mb = size / 1e6
    print("%-20s %10.1f | %9.1f %10.1f | %9.1f %8.2f" % (
        job, mb / ours[0], mb / max(ours[1], 1e-9), mb / peer[0], mb / max(peer[1], 1e-9),
        peer[0] / ours[0]))
print("ratio: sharutils wall time / morvane wall time (above 1: morvane is faster)")
PY
