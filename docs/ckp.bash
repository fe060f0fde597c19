# shellcheck shell=bash
# bash completion for the ckp command; installed as
# share/bash-completion/completions/ckp. Needs nothing beyond bash itself.

_ckp() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev='' subcommand='' position=0 i
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()

  # The subcommand, and how many plain words follow it before the cursor.
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -g | --group | -o | --output | --exclude | -j | --jobs) i=$((i + 1)) ;;
      -*) ;;
      *)
        if [[ -z $subcommand ]]; then
          subcommand=${COMP_WORDS[i]}
        else
          position=$((position + 1))
        fi
        ;;
    esac
  done

  if [[ -z $subcommand ]]; then
    mapfile -t COMPREPLY < <(compgen -W "check fmt json from-json setup --help --version" -- "$cur")
    return
  fi

  # --format=VALUE arrives as "--format" "=" "VALUE" when = breaks words.
  if [[ $prev == --format || ($prev == = && ${COMP_WORDS[COMP_CWORD - 2]} == --format) ]]; then
    mapfile -t COMPREPLY < <(compgen -W "gcc json github sarif" -- "$cur")
    return
  fi
  if [[ $prev == --color || ($prev == = && ${COMP_WORDS[COMP_CWORD - 2]} == --color) ]]; then
    mapfile -t COMPREPLY < <(compgen -W "auto always never" -- "$cur")
    return
  fi
  case $prev in
    -g | --group | --exclude | -j | --jobs) return ;;
    -o | --output) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
  esac

  local options
  case $subcommand in
    check) options="--quiet -q --format= --no-context --color= --summary --exclude --jobs -j --help" ;;
    fmt) options="--output -o --in-place -i --check --diff --help" ;;
    json) options="--array --help" ;;
    from-json) options="--output -o --help" ;;
    setup) options="--group -g --json --help" ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    if [[ ${COMPREPLY[0]:-} == *= ]]; then
      compopt -o nospace 2>/dev/null || true
    fi
    return
  fi
  if [[ $subcommand == setup && $position -eq 0 ]]; then
    mapfile -t COMPREPLY < <(compgen -W "list show get set del create" -- "$cur")
    return
  fi
  if [[ $subcommand == setup && $position -gt 1 ]]; then
    return # entries and properties: nothing to offer
  fi
  compopt -o filenames 2>/dev/null || true
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -F _ckp ckp
