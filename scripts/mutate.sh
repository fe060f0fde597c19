#!/usr/bin/env bash
# Mutation testing of the suite: plants small faults in src/ one at a time,
# rebuilds build/mutate and runs the tests; prints the faults caught, those
# that survived and the score. Options: --count N, --seed S, --files GLOB,
# --list (print the mutants only). Slow: one rebuild and one test run per
# mutant. See scripts/mutate.py.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutate.py "$@"
