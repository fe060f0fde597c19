#!/usr/bin/env bash
# Builds the benchmarks (release), generates their inputs once and runs them;
# the ratios against the baselines are printed at the end of the run.
#   scripts/bench.sh [--reps=N] [--benchmark_filter=REGEX] ...
# Inputs (about 300 MB) go to build/bench-data, or to $CKP_BENCH_DATA.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
data=${CKP_BENCH_DATA:-build/bench-data}
cmake --preset release -B "$build" -DCKP_BUILD_BENCH=ON -DCKP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target ckp_bench ckp_bench_gen ckp_tool
mkdir -p "$data"
"$build/bench/ckp_bench_gen" "$data"
# The machine and how busy it is: ratios are measured in one process, but a
# busy machine still spreads them.
echo "machine: $(uname -sm), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
exec "$build/bench/ckp_bench" --data="$data" --tool="$build/tools/ckp" "$@"
