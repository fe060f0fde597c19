#!/usr/bin/env bash
# The main job: builds the library and the ckp command (release preset) and
# runs the command on the example project in examples/project: a syntax
# check of the main file and the two files it includes, every record as
# JSON, the canonical form of the main file, and the team's setup.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release
ckp=build/release/tools/ckp
project=examples/project
run() {
  echo "\$ ckp $*"
  "$ckp" "$@"
  echo
}
run check "$project/main.ckpt"
run json "$project/main.ckpt"
run fmt "$project/main.ckpt"
run setup show "$project/team.setup"
