#!/usr/bin/env bash
# check-deb.sh DEB VERSION
#
# The Debian package holds the libraries, headers, the command, its manual
# page and completion, and the Python package where Debian's python3 finds
# it; its libkvo exports no test hook. The package is then unpacked into a
# temporary directory, never installed on the machine: the unpacked command
# runs on the unpacked libraries, names them by their sonames and carries no
# run path outside the package, the manual page renders, and Debian's python3
# imports the unpacked module.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 DEB VERSION" >&2
  exit 2
fi
deb=$1 version=$2
here=$(cd "$(dirname "$0")" && pwd)
extract=$(mktemp -d)
trap 'rm -rf "$extract"' EXIT
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>"$extract/arch.err") ||
  multiarch=$(gcc -print-multiarch)

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
shlibs=$(dpkg-deb -I "$deb" shlibs 2>"$extract/shlibs.err" | sed 's/ (.*//' || true)
if [[ $shlibs != $'libckp 1 ckp\nlibkvo 1 ckp\nlibckp_cxx 1 ckp' ]]; then
  echo "the shlibs control file should name libckp, libkvo and libckp_cxx 1, it holds: $shlibs"
  status=1
fi
[[ $status -eq 0 ]] || exit 1
echo "$(basename "$deb"): every file in place"

dpkg-deb -x "$deb" "$extract"
bash "$here/check-hooks.sh" nm "$extract/usr/lib/$multiarch/libkvo.so.$version" \
  "$here/../../include/ckp/kvo.h" off

usr="$extract/usr"
bin="$usr/bin/ckp" libdir="$usr/lib/$multiarch"
needed=$(readelf -d "$bin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in libckp.so.1 libkvo.so.1; do
  grep -qx "$lib" <<<"$needed" || { echo "ckp does not name $lib: $needed"; exit 1; }
  [[ -e $libdir/$lib ]] || { echo "the package has no $lib for ckp to load"; exit 1; }
done
# A run path may only lead from the binary to its own package's files.
if readelf -d "$bin" "$libdir"/lib*.so."$version" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p' |
  tr ':' '\n' | grep -v '^\$ORIGIN'; then
  echo "a packaged binary carries a run path outside the package"
  exit 1
fi
got=$(LD_LIBRARY_PATH="$libdir" "$bin" --version)
[[ $got == "ckp $version" ]] || { echo "ckp --version says '$got'"; exit 1; }
man -l "$usr/share/man/man1/ckp.1" >"$extract/ckp.1.txt"
grep -q "ckp $version" "$extract/ckp.1.txt" || { echo "the manual page does not render"; exit 1; }
# Debian's interpreter, with nothing set but the unpacked tree in place of
# /usr: no user site, run from a directory without a ckp of its own.
py=$(cd "$extract" && env -i PATH=/usr/bin:/bin LD_LIBRARY_PATH="$libdir" \
  PYTHONPATH="$usr/lib/python3/dist-packages" /usr/bin/python3 -s -B -c '
import ckp, sys
assert ckp.__file__.startswith(sys.argv[1]), ckp.__file__
print(ckp.format_string("WRXCHECKPOINT=\"1.0\"\na  k=\"v\"\n"), end="")
' "$usr/lib/python3/dist-packages/")
[[ $py == $'WRXCHECKPOINT="1.0"\na k="v"' ]] || { echo "python3 -c 'import ckp' gave: $py"; exit 1; }
echo "unpacked: ckp --version says '$got' on the packaged libraries; python3 imports the packaged ckp"
