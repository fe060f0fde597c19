#!/usr/bin/env bash
# check-packages.sh SCRIPTS_DIR
#
# The package step of scripts/demo.sh and scripts/test.sh, run against fake
# dpkg-query, id and apt-get commands: nothing happens when every package is
# there; a user who is not root gets the exact apt-get line and exit 1; root
# gets apt-get update and install of exactly the missing packages. The
# package list reads as plain names.
set -euo pipefail
scripts=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# Installed: the packages named in $work/installed. Root: when $work/root exists.
cat >"$work/bin/dpkg-query" <<EOS
#!/bin/sh
package=\$(eval echo "\\\${\$#}")
grep -qx "\$package" "$work/installed" && printf 'install ok installed' && exit 0
echo "dpkg-query: no packages found matching \$package" >&2
exit 1
EOS
cat >"$work/bin/id" <<EOS
#!/bin/sh
[ -e "$work/root" ] && echo 0 || echo 1000
EOS
cat >"$work/bin/apt-get" <<EOS
#!/bin/sh
echo "apt-get \$*" >>"$work/apt.log"
EOS
chmod +x "$work/bin/"*
touch "$work/apt.log"

status=0
check() {
  local what=$1 want=$2 got=$3
  if [[ $got != "$want" ]]; then
    printf '%s:\n  got  %q\n  want %q\n' "$what" "$got" "$want"
    status=1
  fi
}
need() {
  PATH="$work/bin:$PATH" bash -c 'source "$0/packages.sh"; ckp_need_packages "$@"' \
    "$scripts" "$@"
}

printf '%s\n' a b c >"$work/installed"
out=$(need a b c 2>&1) && rc=0 || rc=$?
check "all there: exit" 0 "$rc"
check "all there: output" "" "$out"
check "all there: apt-get" "" "$(cat "$work/apt.log")"

printf '%s\n' a >"$work/installed"
out=$(need a b c 2>&1) && rc=0 || rc=$?
check "missing, not root: exit" 1 "$rc"
check "missing, not root: output" \
  "$(printf 'Missing Debian packages. Install them with:\n  sudo apt-get install b c')" "$out"
check "missing, not root: apt-get" "" "$(cat "$work/apt.log")"

touch "$work/root"
out=$(need a b c 2>&1) && rc=0 || rc=$?
check "missing, root: exit" 0 "$rc"
check "missing, root: output" "Installing 2 Debian packages: b c" "$out"
check "missing, root: apt-get" \
  "$(printf 'apt-get update -qq\napt-get install -y -qq --no-install-recommends b c')" \
  "$(cat "$work/apt.log")"

list=$(bash -c 'source "$0/packages.sh"; ckp_package_list' "$scripts")
for name in build-essential cmake libgtest-dev man-db; do
  grep -qx "$name" <<<"$list" || { echo "the package list lacks $name"; status=1; }
done
if grep -v -E '^[a-z0-9][a-z0-9.+-]+$' <<<"$list"; then
  echo "the package list holds something that is not a package name (above)"
  status=1
fi
[[ $status -eq 0 ]] && echo "package step: all cases as expected ($(wc -l <<<"$list") packages in the list)"
exit $status
