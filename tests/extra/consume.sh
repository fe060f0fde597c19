#!/usr/bin/env bash
# consume.sh BUILD_DIR WORK_DIR
#
# Installs the build in BUILD_DIR into WORK_DIR/prefix and builds callers
# against the installed tree only: a C program compiled with the flags of
# `pkg-config --cflags --libs ckp`, a C++17 one with those of ckp-cxx, and a
# CMake project that uses find_package(ckp CONFIG REQUIRED) with ckp::ckp for
# a C99 and ckp::cxx for a C++17 program. Each must write a file and read it back unchanged. When the build
# made the Python package, a Python caller imports it from the prefix and
# does the same.
set -euo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR WORK_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
cc=${CC:-cc}
cxx=${CXX:-c++}

# Runs a command with its output in a log that is shown only when it fails.
quiet() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "failed: $*" >&2
    exit 1
  fi
}

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
prefix=$work/prefix

quiet "$work/install.log" cmake --install "$build" --prefix "$prefix"
for f in include/ckp/ckp.h include/ckp/ckpx.h include/ckp/kvo.h include/ckp/ckp.hpp \
  include/ckp/ckpcxx.h lib/pkgconfig/ckp.pc lib/pkgconfig/ckp-cxx.pc \
  lib/cmake/ckp/ckpConfig.cmake; do
  if [[ ! -f $prefix/$f ]]; then
    echo "not installed: $f" >&2
    exit 1
  fi
done

if [[ -x $prefix/bin/ckp ]]; then
  for f in share/man/man1/ckp.1 share/bash-completion/completions/ckp share/doc/ckp/json.md; do
    if [[ ! -f $prefix/$f ]]; then
      echo "not installed with the command: $f" >&2
      exit 1
    fi
  done
  "$prefix/bin/ckp" --version
fi

# The build tree must not be reachable from the consumers: only the prefix.
unset CMAKE_PREFIX_PATH PKG_CONFIG_PATH LD_LIBRARY_PATH
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig

echo "== pkg-config consumer"
flags=$(pkg-config --cflags --libs ckp)
echo "pkg-config --cflags --libs ckp: $flags"
# shellcheck disable=SC2086 # the flags are words
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -o "$work/pc-consumer" "$here/consumers/roundtrip.c" \
  $flags -Wl,-rpath,"$(pkg-config --variable=libdir ckp)"
(cd "$work" && ./pc-consumer pc.ckpt)
flags=$(pkg-config --cflags --libs ckp-cxx)
echo "pkg-config --cflags --libs ckp-cxx: $flags"
# shellcheck disable=SC2086 # the flags are words
"$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -o "$work/pc-consumer-cxx" \
  "$here/consumers/roundtrip.cpp" $flags -Wl,-rpath,"$(pkg-config --variable=libdir ckp)"
(cd "$work" && ./pc-consumer-cxx pc-cxx.ckpt)

echo "== CMake consumer"
quiet "$work/cmake-configure.log" cmake -S "$here/consumers/cmake" -B "$work/cmake-consumer" \
  -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx"
quiet "$work/cmake-build.log" cmake --build "$work/cmake-consumer"
(cd "$work" && ./cmake-consumer/app cmake.ckpt)
(cd "$work" && ./cmake-consumer/app_cxx cmake-cxx.ckpt)

# The Python package, when the build made it: imported from the prefix's
# site-packages alone, it writes a file and reads it back.
site=$(find "$prefix/lib" -maxdepth 2 -type d -name '*-packages' | head -n 1)
if [[ -n $site ]]; then
  echo "== Python consumer ($site)"
  (cd "$work" && env -u PYTHONPATH PYTHONPATH="$site" /usr/bin/python3 -c '
import ckp
with ckp.Writer("py.ckpt") as out:
    out.header()
    out.object("cell/a", "locked", owner="alice")
got = [(r.type.name, r.path, r.props) for r in ckp.read("py.ckpt")]
assert got == [("HEADER", None, []), ("OBJECT", "cell/a", [("locked", None), ("owner", "alice")])], got
assert ckp.__file__.startswith("'"$site"'"), ckp.__file__
print("python consumer passed")
')
fi
echo "all consumers passed"
