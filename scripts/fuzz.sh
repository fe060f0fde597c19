#!/usr/bin/env bash
# Runs one fuzz target for a given time: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is reader, roundtrip, setup or format. The seeds in fuzz/corpus/TARGET start
# a working corpus under build/fuzz/work/TARGET that grows from run to run;
# a finding is written to build/fuzz/artifacts/TARGET/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -lt 2 ]]; then
  echo "usage: $0 reader|roundtrip|setup|format SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
build=build/fuzz
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake --preset fuzz -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target "fuzz_$target"
work=$build/work/$target
artifacts=$build/artifacts/$target
mkdir -p "$work" "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" \
  "$work" "fuzz/corpus/$target"
