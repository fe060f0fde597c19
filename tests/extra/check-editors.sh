#!/usr/bin/env bash
# check-editors.sh WORKDIR
#
# The editor files and shell completions work as installed:
#   - the TextMate grammar tokenizes the tricky cases and the example files
#     as VS Code would (vscode-textmate and vscode-oniguruma from npm, run
#     by node; installed into WORKDIR at the versions of package.json);
#   - vim's syntax file gives each token of a sample its group;
#   - the zsh completion parses, and fish offers the subcommands and the
#     setup actions from its completion.
set -euo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 WORKDIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$1
mkdir -p "$work"
work=$(cd "$work" && pwd)

echo "== TextMate grammar (vscode-textmate)"
cp "$here/grammar/package.json" "$work/package.json"
(cd "$work" && npm install --no-audit --no-fund --loglevel=error >npm.log)
NODE_PATH="$work/node_modules" node "$here/grammar/tokenize.js" \
  "$root/editors/vscode/syntaxes/checkpoint.tmLanguage.json" \
  "$root"/examples/project/*.ckpt "$root"/examples/project/libs/* \
  "$root/examples/project/team.setup" "$here/grammar/sample.ckpt"

echo "== vim syntax"
result="$work/vim-result.txt"
rm -f "$result"
(cd "$work" && CKP_VIM_RESULT="$result" vim -u NONE -N -es --cmd "set rtp^=$root/editors/vim" \
  -c 'filetype on' -c 'syntax on' -c "edit $here/grammar/sample.ckpt" \
  -S "$here/grammar/vim-check.vim" </dev/null) || true
[[ -s $result ]] || { echo "vim wrote no result"; exit 1; }
grep -v '^ok ' "$result" || true
echo "vim: $(grep -c '^ok ' "$result") passed, $(grep -c -v '^ok ' "$result") failed"
! grep -q -v '^ok ' "$result"

echo "== shell completions"
zsh -n "$root/docs/ckp.zsh"
fish --no-execute "$root/docs/ckp.fish"
offered() {
  fish -c "source $root/docs/ckp.fish; complete -C'$1'" | cut -f1 | sort | tr '\n' ' '
}
[[ $(offered 'ckp ') == "check fmt from-json json setup " ]] || { echo "fish offers: $(offered 'ckp ')"; exit 1; }
[[ $(offered 'ckp setup ') == "create del get list set show " ]] ||
  { echo "fish offers after setup: $(offered 'ckp setup ')"; exit 1; }
echo "completions: zsh parses, fish offers the subcommands and setup actions"
