# fish completion for the ckp command; installed as
# share/fish/vendor_completions.d/ckp.fish. Needs nothing beyond fish.

set -l commands check fmt json from-json setup

complete -c ckp -f
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show help'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -a check -d 'Report every syntax error'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -a fmt -d 'Rewrite in canonical form'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -a json -d 'Print every record as JSON'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -a from-json -d 'Write back what ckp json printed'
complete -c ckp -n "not __fish_seen_subcommand_from $commands" -a setup -d 'Look at or change a setup'

complete -c ckp -n '__fish_seen_subcommand_from check fmt json from-json' -F
complete -c ckp -n '__fish_seen_subcommand_from from-json' -s o -l output -r -F -d 'Write here'
complete -c ckp -n '__fish_seen_subcommand_from check' -s q -l quiet -d 'Print only the number of errors'
complete -c ckp -n '__fish_seen_subcommand_from check' -l format -x -a 'gcc json github sarif' -d 'Diagnostic format'
complete -c ckp -n '__fish_seen_subcommand_from check' -l color -x -a 'auto always never' -d 'Colours'
complete -c ckp -n '__fish_seen_subcommand_from check' -l summary -d 'End with the count of errors'
complete -c ckp -n '__fish_seen_subcommand_from check' -l exclude -x -d 'Leave out paths matching a glob'
complete -c ckp -n '__fish_seen_subcommand_from check' -s j -l jobs -x -d 'Read this many files at once'
complete -c ckp -n '__fish_seen_subcommand_from check' -l no-context -d 'Leave out the line and caret'
complete -c ckp -n '__fish_seen_subcommand_from fmt' -s o -l output -r -F -d 'Write here'
complete -c ckp -n '__fish_seen_subcommand_from fmt' -l check -d 'Name files not in canonical form'
complete -c ckp -n '__fish_seen_subcommand_from fmt' -l diff -d 'Show how each file would change'
complete -c ckp -n '__fish_seen_subcommand_from fmt' -s i -l in-place -d 'Replace the file'
complete -c ckp -n '__fish_seen_subcommand_from json' -l array -d 'One JSON array'

set -l actions list show get set del create
complete -c ckp -n "__fish_seen_subcommand_from setup; and not __fish_seen_subcommand_from $actions" -a "$actions" -d 'Setup action'
complete -c ckp -n "__fish_seen_subcommand_from setup; and __fish_seen_subcommand_from $actions" -F
complete -c ckp -n '__fish_seen_subcommand_from setup' -s g -l group -x -d 'Search group'
complete -c ckp -n '__fish_seen_subcommand_from setup' -l json -d 'Print JSON, a flag as null'
