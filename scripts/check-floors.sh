#!/usr/bin/env bash
# The library's folders stand on floors, and an include only ever reaches
# down or stays in its own folder:
#   support  <-  core  <-  reader | writer | diag  <-  setup  <-  format
# reader, writer and diag share a floor and never include one another.
# Prints every include that reaches up or sideways; fails when there is one.
# Usage: scripts/check-floors.sh [SOURCE_ROOT]   (default: the checkout's src/)
set -euo pipefail
cd "${1:-"$(dirname "$0")/../src"}"

declare -A floor=([support]=0 [core]=1 [reader]=2 [writer]=2 [diag]=2 [setup]=3 [format]=4)

crossings=0
for dir in "${!floor[@]}"; do
  [[ -d "$dir" ]] || continue
  while IFS=: read -r file target; do
    # Public headers (ckp/...) and the folder's own headers are always fine.
    target_dir=${target%%/*}
    [[ "$target" == */* && "$target_dir" != ckp && "$target_dir" != "$dir" ]] || continue
    if [[ -z "${floor[$target_dir]+set}" ]]; then
      echo "unknown folder: $file includes \"$target\""
    elif ((floor[$target_dir] < floor[$dir])); then
      continue
    elif ((floor[$target_dir] == floor[$dir])); then
      echo "sideways: $file includes \"$target\""
    else
      echo "upward: $file includes \"$target\""
    fi
    crossings=$((crossings + 1))
  done < <(grep -HoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' \
             "$dir"/*.[ch]* 2>/dev/null | sed -E 's/:[^"]*"([^"]+)"$/:\1/')
done
echo "floors: $crossings includes cross a floor"
((crossings == 0))
