#!/usr/bin/env bash
# check-completion.sh SCRIPT
#
# The bash completion of ckp: valid bash, registered for ckp, and its
# answers for subcommands, setup actions, options and their values, and
# file names.
set -euo pipefail
script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
bash -n "$script"
# shellcheck source=/dev/null
source "$script"
[[ $(complete -p ckp) == "complete -F _ckp ckp" ]] || { echo "ckp is not completed by _ckp"; exit 1; }

status=0
expect() {
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _ckp
  local got="${COMPREPLY[*]}"
  if [[ $got != "$want" ]]; then
    echo "completing '$*': got '$got', want '$want'"
    status=1
  fi
}

expect "check fmt json from-json setup --help --version" ckp ""
expect "check" ckp ch
expect "list show get set del create" ckp setup ""
expect "list show get set del create" ckp setup -g team ""
expect "show set" ckp setup s
expect "" ckp setup set team.setup bob ""
expect "--group" ckp setup --gr
expect "--no-context" ckp check --no-c
expect "--quiet --format= --no-context --color= --summary --exclude --jobs --help" ckp check --
expect "gcc json github sarif" ckp check --format ""
expect "always" ckp check --color = al
expect "" ckp check --exclude ""
expect "" ckp check -j ""
expect "json" ckp check --format = j
expect "--check" ckp fmt --ch
expect "--array" ckp json --a

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/main.ckpt" "$work/team.setup"
cd "$work"
expect "main.ckpt" ckp check ma
expect "team.setup" ckp setup show t
expect "main.ckpt" ckp fmt -o ma
[[ $status -eq 0 ]] && echo "completion: all answers as expected"
exit $status
