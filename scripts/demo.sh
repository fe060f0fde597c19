#!/usr/bin/env bash
# Builds the library (release preset) and runs the main job on the example.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
build/release/examples/ckp_example_roundtrip "$out/example.ckpt"
