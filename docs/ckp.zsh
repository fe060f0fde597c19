#compdef ckp
# zsh completion for the ckp command; installed as
# share/zsh/site-functions/_ckp (on zsh's fpath). Needs nothing beyond zsh.

_ckp_setup_actions() {
  local -a actions=(
    'list:list the entries'
    'show:show entries with their properties'
    'get:print one property'
    'set:set a property (making the entry)'
    'del:delete an entry or a property'
    'create:create an empty setup file'
  )
  _describe -t actions 'setup action' actions
}

_ckp() {
  local curcontext=$curcontext state line
  typeset -A opt_args
  _arguments -C \
    '(- :)--help[show help]' \
    '(- :)--version[show the version]' \
    '1:command:((check\:"report every syntax error" fmt\:"rewrite in canonical form" json\:"print every record as JSON" from-json\:"write back what ckp json printed" setup\:"look at or change a setup"))' \
    '*::arguments:->arguments' && return
  case $line[1] in
    check)
      _arguments \
        '(-q --quiet)'{-q,--quiet}'[print only the number of syntax errors]' \
        '--format=[diagnostic format]:format:(gcc json github sarif)' \
        '--no-context[leave out the echoed line and the caret]' \
        '--color=[colours]:when:(auto always never)' \
        '--summary[end with the count of errors and files]' \
        '*--exclude[leave out paths matching a glob]:glob:' \
        '(-j --jobs)'{-j+,--jobs=}'[read this many files at once]:number of files:' \
        '*:checkpoint file or directory:_files'
      ;;
    fmt)
      _arguments \
        '(-o --output)'{-o,--output}'[write here instead of standard output]:output file:_files' \
        '--check[name each file not in canonical form]' \
        '--diff[show how each file would change]' \
        '(-i --in-place)'{-i,--in-place}'[replace the file]' \
        '*:checkpoint file:_files'
      ;;
    json)
      _arguments '--array[one JSON array]' '*:checkpoint file:_files'
      ;;
    from-json)
      _arguments \
        '(-o --output)'{-o,--output}'[write here instead of standard output]:output file:_files' \
        '1:output of ckp json:_files'
      ;;
    setup)
      _arguments \
        '(-g --group)'{-g,--group}'[search group]:group:' \
        '--json[print JSON, a flag as null]' \
        '1:action:_ckp_setup_actions' \
        '2:setup file:_files' \
        '*:entry or property:'
      ;;
  esac
}

_ckp "$@"
