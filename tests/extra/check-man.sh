#!/usr/bin/env bash
# check-man.sh MANPAGE VERSION CKP
#
# The manual page renders without a warning from man and groff, carries the
# project's VERSION, and names every subcommand and every long option that
# the help of the built command CKP lists.
set -euo pipefail
if [[ $# -ne 3 ]]; then
  echo "usage: $0 MANPAGE VERSION CKP" >&2
  exit 2
fi
page=$1 version=$2 ckp=$3
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

warnings=$(
  MANWIDTH=80 man -l --warnings "$page" 2>&1 >"$work/rendered"
  groff -z -ww -man "$page" 2>&1
)
if [[ -n $warnings ]]; then
  printf 'rendering %s warns:\n%s\n' "$page" "$warnings"
  status=1
fi
if ! grep -q "^\.TH CKP 1 .*\"ckp $version\"" "$page"; then
  echo "the .TH line does not carry version $version"
  status=1
fi

text=$(MANWIDTH=200 man -l "$page" 2>"$work/errors")
# Subcommands: the first words of the lines under "Subcommands:" in the
# command's help.
subcommands=$("$ckp" --help |
  awk 'tolower($0) ~ /^subcommands:/ {on = 1; next} on && !NF {on = 0} on {print $1}')
if [[ -z $subcommands ]]; then
  echo "no subcommands found in '$ckp --help'"
  status=1
fi
for sub in $subcommands; do
  if ! grep -q "ckp $sub" <<<"$text"; then
    echo "the manual page does not show 'ckp $sub'"
    status=1
  fi
  for option in $("$ckp" "$sub" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    if ! grep -q -- "$option" <<<"$text"; then
      echo "the manual page does not name '$sub $option'"
      status=1
    fi
  done
done
[[ $status -eq 0 ]] && echo "$(basename "$page"): renders cleanly, version $version, every subcommand and option named"
exit $status
