#!/usr/bin/env bash
# Builds and runs every test: the dev preset (warnings as errors), then the
# same suite under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset dev
cmake --workflow --preset asan
if [[ -x scripts/extra-tests.sh ]]; then
  scripts/extra-tests.sh
fi
