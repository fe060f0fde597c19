#!/usr/bin/env bash
# Builds and runs every test: the dev preset (warnings as errors), the same
# suite under AddressSanitizer and UBSan, then the extra jobs of
# scripts/extra-tests.sh (format, clang, install, deb, demo, fuzz, valgrind,
# mingw).
# Installs the Debian packages of scripts/debian-packages.txt first when one
# is missing (as root; otherwise it prints the apt-get line to run).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/packages.sh
source scripts/packages.sh
mapfile -t packages < <(ckp_package_list)
ckp_need_packages "${packages[@]}"

start=$SECONDS
cmake --workflow --preset dev
cmake --workflow --preset asan
scripts/extra-tests.sh
echo "scripts/test.sh: everything passed in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
