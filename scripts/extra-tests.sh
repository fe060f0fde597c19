#!/usr/bin/env bash
# The portability and packaging jobs, run by scripts/test.sh after the dev and
# asan suites:
#   format    every tracked C and C++ file as clang-format lays it out, and
#             no include in src/ reaching up a floor (scripts/check-floors.sh)
#   clang     the test suite built with clang (warnings as errors)
#   install   a release build installed into a prefix, callers built
#             against the installed tree (pkg-config; find_package for C99
#             and C++17), the manual page and completion in place
#   deb       the Debian package (cpack): its contents, no test hook
#             exported, then unpacked (never installed): the command runs on
#             the packaged libraries, python3 imports the packaged module
#   demo      scripts/demo.sh as a new user runs it: no compiler warning
#   pip       `pip install .` offline into a new venv, import ckp there, and
#             mypy --strict sees the package's types
#   editors   the TextMate grammar tokenized by vscode-textmate (from npm),
#             vim's syntax file, the zsh and fish completions
#   mingw-x86 ckp.dll and kvo.dll cross-built for 32-bit Windows; their export
#             tables hold exactly the public functions
#   mingw-x64 the same for 64-bit Windows, with the unit tests and a caller of
#             ckp.dll run under Wine
#   fuzz      each libFuzzer target over its seed corpus, then a fixed number
#             of runs from a fixed seed
#   valgrind  the unit tests of a release build under valgrind's leak check
#   mutate    scripts/mutate.sh: small faults planted in src/ one at a time,
#             each rebuilt and tested; the share the suite catches (slow,
#             so not in the default list; CKP_MUTATE_COUNT, CKP_MUTATE_SEED)
# Every tool they need is in scripts/debian-packages.txt; a missing one is a
# failure, not a skip. Run one job with `scripts/extra-tests.sh JOB...`.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-${HOME:-/root}/.wine}
wine64=/usr/lib/wine/wine64
passed=0
failed=0
summary=()

need() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "missing tool: $tool (install the packages in scripts/debian-packages.txt)" >&2
      return 1
    fi
  done
}

# The C and C++ sources: git's list in a checkout, else every such file
# outside build/.
c_sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -- '*.c' '*.h' '*.cpp' '*.hpp'
  else
    find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.h' -o -name '*.cpp' \
      -o -name '*.hpp' \) -print
  fi
}

job_format() {
  need clang-format
  local file differ=0
  while IFS= read -r file; do
    if ! clang-format --style=file "$file" | cmp -s - "$file"; then
      echo "not formatted: $file (clang-format -i $file)"
      differ=$((differ + 1))
    fi
  done < <(c_sources)
  echo "format: $differ files differ from clang-format"
  scripts/check-floors.sh src && [[ $differ -eq 0 ]]
}

job_clang() {
  need clang clang++
  cmake --workflow --preset clang
}

job_install() {
  need pkg-config cc c++
  local build=build/release-install
  cmake --preset release -B "$build" -DCKP_BUILD_TESTS=OFF -DCKP_BUILD_BENCH=OFF \
    -DCKP_BUILD_FUZZ=OFF
  # A tree built in part installs nothing: the command alone is built first,
  # and its install must fail before it copies a file.
  cmake --build "$build" -j2 --target ckp_tool
  local partial
  partial=$(mktemp -d)
  if cmake --install "$build" --prefix "$partial" >/dev/null 2>&1 &&
    grep -q '^CKP_BUILD_PYTHON:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "a tree without its Python module built installed"
    rm -rf "$partial"
    return 1
  fi
  if [[ -n $(find "$partial" -type f | head -n 1) ]]; then
    echo "a failed install left files in its prefix:"
    find "$partial" -type f
    rm -rf "$partial"
    return 1
  fi
  rm -rf "$partial"
  cmake --build "$build" -j2
  bash tests/extra/consume.sh "$build" "$build/consume"
}

# The package is built from a release tree for /usr, without tests or
# examples, as a distribution would build it.
job_deb() {
  need cpack dpkg-deb dpkg-shlibdeps nm man
  local build=build/deb version
  cmake --preset release -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DCKP_BUILD_TESTS=OFF \
    -DCKP_BUILD_EXAMPLES=OFF -DCKP_BUILD_BENCH=OFF -DCKP_BUILD_FUZZ=OFF >/dev/null
  cmake --build "$build" -j2
  rm -f "$build"/ckp_*.deb
  (cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; return 1; }
  if grep -n -i "warning" "$build/cpack.log"; then
    echo "cpack warns"
    return 1
  fi
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  bash tests/extra/check-deb.sh "$build/ckp_${version}_$(dpkg --print-architecture).deb" "$version"
}

# npm comes with nodejs from some sources; Debian ships it apart.
job_editors() {
  need node vim zsh fish
  if ! command -v npm >/dev/null; then
    # shellcheck source=scripts/packages.sh
    source scripts/packages.sh
    ckp_need_packages npm
  fi
  bash tests/extra/check-editors.sh build/editors
}

job_pip() {
  need /usr/bin/python3 mypy
  bash tests/extra/check-pip.sh build/pip
}

job_demo() {
  local log=build/demo-output.txt
  mkdir -p build
  scripts/demo.sh 2>&1 | tee "$log"
  if grep -n -i "warning" "$log"; then
    echo "the demo shows a warning"
    return 1
  fi
}

# The seeds are regression inputs; the short run from a fixed seed keeps the
# job deterministic. Longer runs: scripts/fuzz.sh.
job_fuzz() {
  need clang++
  local build=build/fuzz-ci target work
  cmake --preset fuzz -B "$build" >/dev/null
  cmake --build "$build" -j2
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  local runs
  for target in reader roundtrip setup format; do
    work=$build/work/$target
    rm -rf "$work"
    mkdir -p "$work"
    # The reader and round-trip targets read each input three times (their
    # placement oracle): fewer runs keep the job near the others' length.
    case $target in
      reader | roundtrip) runs=${CKP_FUZZ_RUNS:-30000} ;;
      *) runs=${CKP_FUZZ_RUNS:-100000} ;;
    esac
    echo "== fuzz_$target: seeds, then $runs runs"
    "$build/fuzz/fuzz_$target" -runs=0 "fuzz/corpus/$target" 2>&1 | tail -n 1
    "$build/fuzz/fuzz_$target" -runs="$runs" -seed=1 -max_len=4096 \
      -timeout=10 -artifact_prefix="$build/" "$work" "fuzz/corpus/$target" 2>&1 | tail -n 1
  done
}

# A second leak check, without sanitizers in the way.
job_valgrind() {
  need valgrind
  local build=build/release-valgrind exe status=0
  cmake --preset release -B "$build" -DCKP_BUILD_TOOLS=OFF -DCKP_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$build" -j2
  for exe in "$build"/tests/test_*; do
    [[ -f $exe && -x $exe && $exe != *.cmake ]] || continue
    echo "== valgrind $exe"
    valgrind --quiet --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --error-exitcode=1 "$exe" --gtest_brief=1 || status=1
  done
  return $status
}

# The score is the figure to read, the survivors the tests to write; the job
# fails only when the unchanged tree does not build or pass.
job_mutate() {
  mkdir -p build
  scripts/mutate.sh --count "${CKP_MUTATE_COUNT:-40}" --seed "${CKP_MUTATE_SEED:-1}" |
    tee build/mutate-output.txt
}

job_mingw_x86() {
  need i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump
  cmake --workflow --preset mingw-x86
}

# Starts Wine once, so that the first test does not pay for making the
# prefix (~/.wine unless WINEPREFIX says otherwise).
wine_ready() {
  need wineboot
  if [[ ! -x $wine64 ]]; then
    echo "missing $wine64 (Debian package wine64)" >&2
    return 1
  fi
  wineboot --init >/dev/null 2>&1 || true
  "$wine64" cmd /c exit 0 >/dev/null 2>&1
}

job_mingw_x64() {
  need x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump
  cmake --preset mingw-x64
  cmake --build --preset mingw-x64
  wine_ready
  local bin=build/mingw-x64/bin status=0 exe
  for exe in "$bin"/test_*.exe; do
    echo "== wine64 $exe"
    if ! (cd "$bin" && "$wine64" "$(basename "$exe")" --gtest_brief=1); then
      echo "FAILED under Wine: $exe"
      status=1
    fi
  done
  ctest --test-dir build/mingw-x64 -L windows-dll --output-on-failure || status=1
  windows_consumer || status=1
  return $status
}

# The installed Windows tree serves a caller as the Linux one does: ckp.pc
# gives the flags for the cross compiler, the DLLs sit in bin/.
windows_consumer() {
  local prefix=build/mingw-x64/prefix
  rm -rf "$prefix"
  cmake --install build/mingw-x64 --prefix "$prefix" >/dev/null
  local flags
  flags=$(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --cflags --libs ckp)
  echo "== caller of the installed x64 tree: $flags"
  # shellcheck disable=SC2086 # the flags are words
  x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror \
    -o "$prefix/bin/consumer.exe" tests/extra/consumers/roundtrip.c $flags
  (cd "$prefix/bin" && "$wine64" consumer.exe installed.ckpt)
}

run() {
  local name=$1 fn=$2 start=$SECONDS
  echo "=== extra job $name"
  # A subshell outside any test of its status, so that set -e holds in it.
  set +e
  (set -e; "$fn")
  local rc=$?
  set -e
  if [[ $rc -eq 0 ]]; then
    passed=$((passed + 1))
    summary+=("$name: passed in $((SECONDS - start)) s")
  else
    failed=$((failed + 1))
    summary+=("$name: FAILED after $((SECONDS - start)) s")
  fi
}

jobs=("$@")
if [[ ${#jobs[@]} -eq 0 ]]; then
  jobs=(format clang install deb demo editors pip fuzz valgrind mingw-x86 mingw-x64)
fi
for job in "${jobs[@]}"; do
  case $job in
    format) run format job_format ;;
    clang) run clang job_clang ;;
    install) run install job_install ;;
    deb) run deb job_deb ;;
    demo) run demo job_demo ;;
    mingw-x86) run mingw-x86 job_mingw_x86 ;;
    mingw-x64) run mingw-x64 job_mingw_x64 ;;
    fuzz) run fuzz job_fuzz ;;
    valgrind) run valgrind job_valgrind ;;
    editors) run editors job_editors ;;
    pip) run pip job_pip ;;
    mutate) run mutate job_mutate ;;
    *) echo "unknown job: $job" >&2; exit 2 ;;
  esac
done

printf '%s\n' "${summary[@]}"
echo "extra: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
