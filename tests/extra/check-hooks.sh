#!/usr/bin/env bash
# check-hooks.sh NM LIBRARY HEADER on|off
#
# The test hooks (the functions HEADER declares with KVO_TEST_API) are in the
# dynamic symbol table of the shared LIBRARY exactly when the build is a test
# build (on), and never in a release build (off). The other functions of
# HEADER (KVO_API) are exported either way.
set -euo pipefail
if [[ $# -ne 4 || ($4 != on && $4 != off) ]]; then
  echo "usage: $0 NM LIBRARY HEADER on|off" >&2
  exit 2
fi
nm=$1 library=$2 header=$3 hooks=$4

names() {
  grep -E -o "^$1 [^(]*\(" "$header" | sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\($/\1/'
}
exported=$("$nm" -D --defined-only "$library" | awk '$2 ~ /^[TtWi]$/ {print $3}' | sort)
status=0
for name in $(names KVO_TEST_API); do
  if grep -qx "$name" <<<"$exported"; then
    [[ $hooks == on ]] || { echo "a release build exports the test hook $name"; status=1; }
  else
    [[ $hooks == off ]] || { echo "a test build does not export the test hook $name"; status=1; }
  fi
done
public=0
for name in $(names KVO_API); do
  grep -qx "$name" <<<"$exported" && public=$((public + 1))
done
if [[ $public -eq 0 || -z $(names KVO_TEST_API) ]]; then
  echo "no KVO_API function exported, or no KVO_TEST_API in $header"
  status=1
fi
echo "$(basename "$library"): $public public functions exported, test hooks $hooks: $([[ $status -eq 0 ]] && echo as expected || echo NOT as expected)"
exit $status
