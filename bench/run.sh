#!/usr/bin/env bash
# Builds the benchmarks in Release with every installed peer library, runs each bench/*Bench
# executable with JSON output and prints one table per workload: our throughput, the best
# peer's (and which peer), and the ratio ours / best peer (above 1: we are faster).
#
# Usage: bench/run.sh [benchmark options...]   e.g. bench/run.sh --benchmark_filter=Blowfish
#        MORVANE_BENCH_MIB=8 bench/run.sh     (smaller bulk workloads for a quick look)
#
# Convention for every benchmark of the project:
#   - name: <Family>/<Workload>/<impl>, e.g. Blowfish/EncryptStream-CBC/morvane
#     (no '/' inside Family or Workload; Google Benchmark suffixes such as /iterations:1 or
#     /min_time:0.050 after <impl> are ignored);
#   - impl: "morvane" for ours, otherwise the peer: openssl, cryptopp, nettle, gcrypt, std, or
#     the name of a program;
#   - each benchmark sets bytes_per_second (state.SetBytesProcessed) or items_per_second
#     (state.SetItemsProcessed); the script compares "morvane" against the best other impl of
#     the same <Family>/<Workload>, all measured in the same run;
#   - an incremental path is its own workload, named after the driver's with "-incremental"
#     (e.g. Digest/SHA1-64MiB-incremental/morvane): its row compares it with our driver;
#   - keep runs short (a few seconds per executable): the machines are shared. Throughput is
#     taken from CPU time. On a busy machine, add --benchmark_repetitions=3
#     --benchmark_enable_random_interleaving=true: the best run of each impl counts.
#     Our multi-block kernels (ECB, CBC/CFB/PCBC decryption) keep most of a core's execution
#     units busy, so whatever else runs on the physical core (on a virtual machine: other
#     guests) slows them far more than the peers' one-block loops: back-to-back repetitions
#     of ours can differ by up to 2x while a peer's move by a third. Compare only
#     interleaved repetitions, never ours from one stretch of time against peers from another.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh bench peers
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"
shopt -s nullglob
for exe in "$build"/bench/*Bench; do
  name=$(basename "$exe")
  echo "== $name" >&2
  "$exe" --benchmark_format=console --benchmark_out_format=json \
    --benchmark_out="$results/$name.json" "$@" >&2
done
python3 - "$results" <<'PY'
import json, os, sys
rows = {}
for f in sorted(os.listdir(sys.argv[1])):
    with open(os.path.join(sys.argv[1], f)) as fh:
        text = fh.read()
    if not text.strip():  # a filter that matched nothing in this executable
        continue
    data = json.loads(text)
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate" or b.get("error_occurred"):
            continue
        parts = b["name"].split("/")
        if len(parts) < 3:
            continue
        workload, impl = parts[0] + "/" + parts[1], parts[2]
        if "bytes_per_second" in b:
            value, unit = b["bytes_per_second"] / 1e6, "MB/s"
        elif "items_per_second" in b:
            value, unit = b["items_per_second"], "items/s"
        else:
            continue
        # Repeated runs (--benchmark_repetitions=N): the best of each impl counts, which
        # evens out the load of a shared machine.
        best = rows.setdefault(workload, {}).get(impl)
        if best is None or value > best[0]:
            rows[workload][impl] = (value, unit)

def show(value, unit):
    if unit == "items/s":  # per call: show the time of one call too
        return "%.0f ns/call" % (1e9 / value) if value else "-"
    return "%.1f %s" % (value, unit)

print("%-34s %16s %22s %8s" % ("workload", "morvane", "best peer", "ratio"))
for workload in rows:
    impls = rows[workload]
    ours = impls.get("morvane")
    peers = [(v, k) for k, v in impls.items() if k != "morvane"]
    driver = rows.get(workload[:-len("-incremental")], {}).get("morvane")
    if workload.endswith("-incremental") and driver:
        peers = [(driver, "our driver")]
    best = max(peers, key=lambda p: p[0][0]) if peers else None
    ours_txt = show(*ours) if ours else "-"
    best_txt = "%s (%s)" % (show(*best[0]), best[1]) if best else "-"
    ratio = "%.2f" % (ours[0] / best[0][0]) if ours and best and best[0][0] else "-"
    print("%-34s %16s %22s %8s" % (workload, ours_txt, best_txt, ratio))
PY
# Whole programs: morvane against the command-line programs that do the same job.
bash bench/program-bench.sh "$build/morvane"
