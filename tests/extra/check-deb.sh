#!/usr/bin/env bash
# check-deb.sh DEB VERSION
#
# The Debian package holds the libraries, headers, the command, its manual
# page and completion, and the Python package where Debian's python3 finds
# it; its libkvo exports no test hook. Then it is installed
# with dpkg -i, the installed command runs, and the package is purged
# again (also when a step fails), leaving the machine as it was. A file of
# the package that is already on the system stops the check before
# anything is installed.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 DEB VERSION" >&2
  exit 2
fi
deb=$1 version=$2
here=$(cd "$(dirname "$0")" && pwd)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)

contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
status=0
for f in /usr/bin/ckp /usr/include/ckp/ckp.h /usr/include/ckp/ckp.hpp /usr/include/ckp/kvo.h \
  "/usr/lib/$multiarch/libckp.so.$version" "/usr/lib/$multiarch/libkvo.so.$version" \
  "/usr/lib/$multiarch/cmake/ckp/ckpConfig.cmake" "/usr/lib/$multiarch/pkgconfig/ckp.pc" \
  /usr/share/man/man1/ckp.1 /usr/share/bash-completion/completions/ckp \
  /usr/lib/python3/dist-packages/ckp/__init__.py /usr/lib/python3/dist-packages/ckp/__init__.pyi \
  /usr/lib/python3/dist-packages/ckp/py.typed; do
  if ! grep -qx -- "$f" <<<"$contents"; then
    echo "not in the package: $f"
    status=1
  fi
done
if ! grep -qE '^/usr/lib/python3/dist-packages/ckp/_ckp\..*\.so$' <<<"$contents"; then
  echo "not in the package: the Python module ckp/_ckp under /usr/lib/python3/dist-packages"
  status=1
fi
[[ $(dpkg-deb -f "$deb" Package) == ckp && $(dpkg-deb -f "$deb" Version) == "$version" ]] ||
  { echo "package name or version is not ckp $version"; status=1; }
shlibs=$(dpkg-deb -I "$deb" shlibs 2>/dev/null | sed 's/ (.*//' || true)
if [[ $shlibs != $'libckp 1 ckp\nlibkvo 1 ckp\nlibckp_cxx 1 ckp' ]]; then
  echo "the shlibs control file should name libckp, libkvo and libckp_cxx 1, it holds: $shlibs"
  status=1
fi
[[ $status -eq 0 ]] || exit 1
echo "$(basename "$deb"): every file in place"

extract=$(mktemp -d)
trap 'rm -rf "$extract"' EXIT
dpkg-deb -x "$deb" "$extract"
bash "$here/check-hooks.sh" nm "$extract/usr/lib/$multiarch/libkvo.so.$version" \
  "$here/../../include/ckp/kvo.h" off

if [[ $(id -u) -ne 0 ]]; then
  echo "installing the package needs root" >&2
  exit 1
fi
if dpkg-query -W -f='${Status}' ckp 2>/dev/null | grep -q "ok installed"; then
  echo "a package ckp is installed already; not touching it" >&2
  exit 1
fi
while read -r f; do
  if [[ -e $f && ! -d $f || -L $f ]]; then
    echo "$f is on the system already; not installing over it" >&2
    exit 1
  fi
done < <(grep -v '/$' <<<"$contents")

trap 'dpkg -P ckp >/dev/null 2>&1 || true; rm -rf "$extract"' EXIT
dpkg -i "$deb" >/dev/null
got=$(/usr/bin/ckp --version)
[[ $got == "ckp $version" ]] || { echo "ckp --version says '$got'"; exit 1; }
man -w ckp >/dev/null
# Debian's interpreter finds the module with nothing set: no PYTHONPATH, no
# user site, run from a directory without a ckp of its own.
py=$(cd "$extract" && env -i PATH=/usr/bin:/bin /usr/bin/python3 -s -B -c '
import ckp, sys
assert ckp.__file__.startswith("/usr/lib/python3/dist-packages/"), ckp.__file__
print(ckp.format_string("WRXCHECKPOINT=\"1.0\"\na  k=\"v\"\n"), end="")
')
[[ $py == $'WRXCHECKPOINT="1.0"\na k="v"' ]] || { echo "python3 -c 'import ckp' gave: $py"; exit 1; }
echo "installed: /usr/bin/python3 imports ckp from /usr/lib/python3/dist-packages"
echo "installed: /usr/bin/ckp --version says '$got', man -w ckp finds $(man -w ckp)"
dpkg -P ckp >/dev/null
if [[ -e /usr/bin/ckp || -e /usr/lib/$multiarch/libckp.so.$version ]] ||
  dpkg-query -W ckp >/dev/null 2>&1; then
  echo "files left after dpkg -P ckp" >&2
  exit 1
fi
echo "removed again: no file of the package is left"
