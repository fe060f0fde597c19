#!/usr/bin/env bash
# check-dll.sh [--count N] [--also MACRO2] OBJDUMP DLL HEADER MACRO ALLOWED_DLLS...
#
# Passes when the export table of DLL holds exactly the functions that HEADER
# declares with MACRO (e.g. CKP_API), nothing else (no runtime or C++
# symbols), and when DLL imports from no DLL outside ALLOWED_DLLS (so that
# neither libstdc++ nor libgcc nor winpthread is needed at run time).
# With --count, the table must also hold exactly N names. With --also, the
# functions declared with MACRO2 (the test hooks of a test build) belong to
# the table too.
set -euo pipefail
count=
also=
while [[ ${1:-} == --count || ${1:-} == --also ]]; do
  if [[ $1 == --count ]]; then count=$2; else also=$2; fi
  shift 2
done
if [[ $# -lt 4 ]]; then
  echo "usage: $0 [--count N] [--also MACRO2] OBJDUMP DLL HEADER MACRO [ALLOWED_DLL...]" >&2
  exit 2
fi
objdump=$1 dll=$2 header=$3 macro=$4
shift 4
dump=$("$objdump" -p "$dll")

macros=$macro
if [[ -n $also ]]; then macros="$macro|$also"; fi
declared=$(grep -E -o "^(${macros}) [^(]*\(" "$header" | sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\($/\1/' | sort)
exported=$(printf '%s\n' "$dump" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n -E 's/^[[:space:]]*\[ *[0-9]+\] +([^[:space:]]+).*/\1/p' | sort)

status=0
nDeclared=$(printf '%s\n' "$declared" | grep -c . || true)
nExported=$(printf '%s\n' "$exported" | grep -c . || true)
echo "$(basename "$dll"): $nExported exported, $nDeclared declared in $(basename "$header")"
missing=$(comm -23 <(printf '%s\n' "$declared") <(printf '%s\n' "$exported"))
extra=$(comm -13 <(printf '%s\n' "$declared") <(printf '%s\n' "$exported"))
if [[ -n $missing ]]; then
  echo "declared but not exported:" $missing
  status=1
fi
if [[ -n $extra ]]; then
  echo "exported but not declared:" $extra
  status=1
fi
if [[ -n $count && $nExported -ne $count ]]; then
  echo "expected exactly $count exported names"
  status=1
fi
if [[ $nDeclared -eq 0 ]]; then
  echo "no ${macro} declarations found in $header"
  status=1
fi

imports=$(printf '%s\n' "$dump" | sed -n -E 's/^[[:space:]]*DLL Name: (.*)$/\1/p')
echo "imports:" $imports
for name in $imports; do
  allowed=0
  for ok in "$@"; do
    if [[ ${name,,} == "${ok,,}" ]]; then allowed=1; fi
  done
  if [[ $allowed -eq 0 ]]; then
    echo "imports from $name, which is not one of: $*"
    status=1
  fi
done
exit $status
