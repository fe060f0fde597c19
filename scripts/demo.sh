#!/usr/bin/env bash
# The first look: installs the Debian packages that the library and the ckp
# command need (when one is missing), builds only the two libraries and the
# command (release, no tests; the tree configures nothing else, so that it
# installs as it is), and runs the command on the example project
# in examples/project. The build's own output goes to build/demo.log; a
# compiler warning would be shown here.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/packages.sh
source scripts/packages.sh
ckp_need_packages build-essential cmake ninja-build libcli11-dev nlohmann-json3-dev

build=build/demo
log=build/demo.log
mkdir -p build
echo "Building the library and the ckp command in $build (log: $log) ..."
start=$SECONDS
if ! {
  cmake --preset release -B "$build" -DCKP_BUILD_TESTS=OFF -DCKP_BUILD_EXAMPLES=OFF \
    -DCKP_BUILD_BENCH=OFF -DCKP_BUILD_FUZZ=OFF -DCKP_BUILD_PYTHON=OFF &&
    cmake --build "$build"
} >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed; its output is above and in $log." >&2
  exit 1
fi
if grep -q "warning:" "$log"; then
  grep -A3 "warning:" "$log"
fi
ckp=$build/tools/ckp
echo "Built $ckp ($("$ckp" --version)) in $((SECONDS - start)) s."

project=examples/project
show() {
  local what=$1
  shift
  printf '\n== %s\n$ ckp %s\n' "$what" "$*"
  local status=0
  "$ckp" "$@" || status=$?
  echo "(exit status $status)"
}

show "Syntax check of the main file and the two files it includes" check "$project/main.ckpt"
show "A syntax error, shown where it is" check "$project/broken.ckpt"
show "Every record as JSON, includes followed" json "$project/main.ckpt"
show "The canonical form of the main file" fmt "$project/main.ckpt"
show "The team's setup" setup show "$project/team.setup"

cat <<EOF

More: $ckp --help, and the README's sections on the file format and the
command. Install the command and the library with
  cmake --install $build --prefix ~/.local
EOF
