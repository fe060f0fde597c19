// Tokenizes checkpoint text with the editors' TextMate grammar, as VS Code
// does (vscode-textmate over the Oniguruma engine), and checks the scopes:
//   node tokenize.js GRAMMAR FILE...
// Every FILE (the examples) must come out with each non-blank character in
// a scope of its own; the cases below pin the scopes of the tricky places.
'use strict';
const fs = require('fs');
const path = require('path');
const oniguruma = require('vscode-oniguruma');
const textmate = require('vscode-textmate');

const [grammarPath, ...files] = process.argv.slice(2);

// [text, token, scope that token must have (or, with "!", must not have)]
const cases = [
  ['WRXCHECKPOINT="1.0"\n', 'WRXCHECKPOINT', 'keyword.other.header'],
  ['WRXCHECKPOINT="1.0"\n', '"1.0"', 'string.quoted.double'],
  ['  ; a comment\n', '; a comment', 'comment.line.semicolon'],
  ['lib/inv type="cell" locked\n', 'lib/inv', 'entity.name.section.path'],
  ['lib/inv type="cell" locked\n', 'type', 'variable.other.property'],
  ['lib/inv type="cell" locked\n', 'locked', 'variable.other.property'],
  ['lib/inv type="cell" locked\n', '"cell"', 'string.quoted.double'],
  ['"my dir/f \\" x" k="v"\n', '"my dir/f \\" x"', 'entity.name.section.path.quoted'],
  ['a note="say \\"hi\\"\\; twice"\n', '\\;', 'constant.character.escape'],
  ['a note="say \\"hi\\"\\; twice"\n', '\\"', 'constant.character.escape'],
  ['a k="v" ; why\n', '; why', 'comment.line.semicolon'],
  ['a k="v;w"\n', ';w"', 'comment.line.semicolon'],
  ['libs/views.ckpt WRXinc\n', 'WRXinc', 'keyword.other.qualifier'],
  ['a WRXinc="x"\n', 'WRXinc', '!keyword.other.qualifier'],
  // A continued record: the next line holds properties, not a path, also
  // after a comment on the continued line and after a comment line.
  ['a k="v" \\\nnext="w"\n', 'next', 'variable.other.property'],
  ['a k="v" \\\nnext="w"\n', '\\', 'punctuation.separator.continuation'],
  ['a k="v" \\ ; note\nnext="w"\n', 'next', 'variable.other.property'],
  ['a k="v" \\ ; note\nnext="w"\n', '; note', 'comment.line.semicolon'],
  ['a k="v" \\\n; skipped\n\nnext="w"\n', 'next', 'variable.other.property'],
  // An ended record: the next line starts a record of its own.
  ['a k="v"\nnext="w"\n', 'next="w"', 'entity.name.section.path'],
  ['a k="v" ; c \\\nb\n', 'b', 'entity.name.section.path'],
];

async function loadGrammar() {
  const wasm = fs.readFileSync(
    path.join(path.dirname(require.resolve('vscode-oniguruma')), 'onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer);
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (sources) => new oniguruma.OnigScanner(sources),
      createOnigString: (s) => new oniguruma.OnigString(s),
    }),
    loadGrammar: async () =>
      textmate.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath),
  });
  return registry.loadGrammar('source.checkpoint');
}

// Every token of the text: its text and scopes, line by line.
function tokenize(grammar, text) {
  const tokens = [];
  let state = textmate.INITIAL;
  for (const line of text.replace(/\n$/, '').split('\n')) {
    const result = grammar.tokenizeLine(line, state);
    for (const t of result.tokens) {
      tokens.push({text: line.slice(t.startIndex, t.endIndex), scopes: t.scopes});
    }
    state = result.ruleStack;
  }
  return tokens;
}

// The runs of adjacent tokens whose texts join to `token`.
function runsOf(tokens, token) {
  const runs = [];
  for (let i = 0; i < tokens.length; i++) {
    let text = '';
    for (let j = i; j < tokens.length && text.length < token.length; j++) {
      text += tokens[j].text;
      if (text === token) {
        runs.push(tokens.slice(i, j + 1));
      }
    }
  }
  return runs;
}

function checkCase(grammar, [text, token, scope]) {
  const negated = scope.startsWith('!');
  const wanted = negated ? scope.slice(1) : scope;
  const runs = runsOf(tokenize(grammar, text), token);
  if (runs.length === 0) {
    return `no token ${JSON.stringify(token)} in ${JSON.stringify(text)}`;
  }
  const inScope = (t) => t.scopes.some((s) => s.startsWith(wanted));
  const has = runs.some((run) => run.every(inScope));
  if (has === negated) {
    const got = runs.map((run) => run.map((t) => t.scopes.join(' ')).join(' + ')).join(' | ');
    return `${JSON.stringify(token)} in ${JSON.stringify(text)}: wanted ${scope}, got ${got}`;
  }
  return null;
}

// A character left in the bare file scope is one the grammar did not see.
function checkFile(grammar, file) {
  const failures = [];
  for (const t of tokenize(grammar, fs.readFileSync(file, 'utf8'))) {
    if (t.scopes.length === 1 && t.text.trim() !== '') {
      failures.push(`${file}: ${JSON.stringify(t.text)} has no scope`);
    }
  }
  return failures;
}

loadGrammar().then((grammar) => {
  const failures = cases.map((c) => checkCase(grammar, c)).filter((f) => f !== null);
  for (const file of files) {
    failures.push(...checkFile(grammar, file));
  }
  for (const f of failures) {
    console.log(`FAIL ${f}`);
  }
  console.log(`grammar: ${cases.length + files.length - failures.length} passed, ` +
              `${failures.length} failed`);
  process.exit(failures.length === 0 ? 0 : 1);
});
