#!/usr/bin/env bash
# check-dll.sh [--count N] [--also MACRO2] [--header HEADER2 MACRO3]...
#              OBJDUMP DLL HEADER MACRO ALLOWED_DLLS...
#
# Passes when the export table of DLL holds exactly the functions that HEADER
# declares with MACRO (e.g. CKP_API), nothing else (no runtime or C++
# symbols), and when DLL imports from no DLL outside ALLOWED_DLLS (so that
# neither libstdc++ nor libgcc nor winpthread is needed at run time).
# With --count, HEADER must declare exactly N of them (so that the table
# cannot shrink or grow with the header). With --also, the functions
# declared with MACRO2 (the test hooks of a test build) belong to the table
# too. Each --header adds the functions that HEADER2 declares with MACRO3.
set -euo pipefail
count=
also=
extraHeaders=()
while [[ ${1:-} == --count || ${1:-} == --also || ${1:-} == --header ]]; do
  case $1 in
  --count) count=$2 ;;
  --also) also=$2 ;;
  --header)
    extraHeaders+=("$2" "$3")
    shift
    ;;
  esac
  shift 2
done
if [[ $# -lt 4 ]]; then
  echo "usage: $0 [--count N] [--also MACRO2] [--header HEADER2 MACRO3]... OBJDUMP DLL HEADER MACRO [ALLOWED_DLL...]" >&2
  exit 2
fi
objdump=$1 dll=$2 header=$3 macro=$4
shift 4
dump=$("$objdump" -p "$dll")

macros=$macro
if [[ -n $also ]]; then macros="$macro|$also"; fi
# The names of the functions that a header declares with one of the macros.
declaredIn() {
  grep -E -o "^($2) [^(]*\(" "$1" | sed -E 's/.*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\($/\1/'
}
mainDeclared=$(declaredIn "$header" "$macros" | sort)
declared=$mainDeclared
headerNames=$(basename "$header")
for ((i = 0; i < ${#extraHeaders[@]}; i += 2)); do
  more=$(declaredIn "${extraHeaders[i]}" "${extraHeaders[i + 1]}")
  if [[ -z $more ]]; then
    echo "no ${extraHeaders[i + 1]} declarations found in ${extraHeaders[i]}"
    exit 1
  fi
  declared=$(printf '%s\n%s\n' "$declared" "$more" | sort)
  headerNames="$headerNames + $(basename "${extraHeaders[i]}")"
done
exported=$(printf '%s\n' "$dump" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n -E 's/^[[:space:]]*\[ *[0-9]+\] +([^[:space:]]+).*/\1/p' | sort)

status=0
nDeclared=$(printf '%s\n' "$declared" | grep -c . || true)
nExported=$(printf '%s\n' "$exported" | grep -c . || true)
echo "$(basename "$dll"): $nExported exported, $nDeclared declared in $headerNames"
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
nMain=$(printf '%s\n' "$mainDeclared" | grep -c . || true)
if [[ -n $count && $nMain -ne $count ]]; then
  echo "expected exactly $count names declared in $(basename "$header"), found $nMain"
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
