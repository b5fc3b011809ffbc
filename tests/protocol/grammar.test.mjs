// The VS Code extension's TextMate grammar, run by the registry's own
// engine (vscode-textmate on vscode-oniguruma): the scopes of the examples,
// the assembler's whole vocabulary, agreement with korvid lsp's semantic
// tokens, and what the packaged .vsix holds.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync, execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';
import os from 'node:os';
import path from 'node:path';
import vsctm from 'vscode-textmate';
import oniguruma from 'vscode-oniguruma';
import * as lsp from 'vscode-languageserver-protocol/node.js';

const korvid = process.env.KORVID_BIN;
const root = process.env.KORVID_SOURCE_DIR;
const ext = path.join(root, 'editors', 'vscode');
const manifest = JSON.parse(readFileSync(path.join(ext, 'package.json'), 'utf8'));
const scopeOfType = manifest.contributes.semanticTokenScopes[0].scopes;
const examples = readdirSync(path.join(root, 'examples')).filter((f) => f.endsWith('.src'));

let grammar;
before(async () => {
  const require = createRequire(import.meta.url);
  const wasm = readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new vsctm.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (s) => new oniguruma.OnigScanner(s),
      createOnigString: (s) => new oniguruma.OnigString(s),
    }),
    loadGrammar: async (scope) => scope === 'source.sx'
      ? vsctm.parseRawGrammar(readFileSync(path.join(ext, 'syntaxes', 'sx.tmLanguage.json'), 'utf8'), 'sx.tmLanguage.json')
      : null,
  });
  grammar = await registry.loadGrammar('source.sx');
});

// Runs `body` in a fresh temporary folder, removed afterwards.
function inTempDir(prefix, body) {
  const dir = mkdtempSync(path.join(os.tmpdir(), prefix));
  try {
    return body(dir);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// The innermost scope of every character of every line.
function scopes(text) {
  let stack = vsctm.INITIAL;
  return text.split(/\r?\n/).map((line) => {
    const r = grammar.tokenizeLine(line, stack);
    stack = r.ruleStack;
    const at = [];
    for (const t of r.tokens) for (let i = t.startIndex; i < t.endIndex; i++) at[i] = t.scopes[t.scopes.length - 1];
    return at;
  });
}

test('the examples: comments, labels, instructions, numbers, strings', () => {
  const blink = readFileSync(path.join(root, 'examples', 'blink.src'), 'latin1');
  const s = scopes(blink);
  const lines = blink.split(/\r?\n/);
  const scopeOf = (line, word) => s[line][lines[line].indexOf(word)];
  assert.equal(scopeOf(0, ';'), 'comment.line.semicolon.sx');
  assert.equal(scopeOf(4, "'BLINK'"), 'string.quoted.single.sx');
  assert.equal(scopeOf(16, 'start'), 'entity.name.function.label.sx');
  assert.equal(scopeOf(16, 'MOV'), 'keyword.other.instruction.sx');
  assert.equal(scopeOf(16, 'RB'), 'variable.language.register.sx');
  assert.equal(scopeOf(16, '%1111'), 'constant.numeric.sx');
  assert.equal(scopeOf(16, '; RB.0'), 'comment.line.semicolon.sx');
  assert.equal(scopeOf(15, 'ORG'), 'keyword.control.directive.sx');
  assert.equal(scopeOf(29, ':inner'), 'entity.name.function.label.sx');
  assert.equal(s[29][lines[29].lastIndexOf(':inner')], 'entity.name.function.label.sx');
  assert.equal(scopeOf(5, '50_000_000'), 'constant.numeric.sx');
  assert.equal(scopeOf(9, '08h'), 'constant.numeric.sx');
});

function startServer() {
  const child = spawn(korvid, ['lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const c = lsp.createMessageConnection(new lsp.StreamMessageReader(child.stdout), new lsp.StreamMessageWriter(child.stdin));
  c.listen();
  return { child, c };
}

let server;
before(async () => {
  server = startServer();
  await server.c.sendRequest(lsp.InitializeRequest.type, { processId: null, rootUri: null, capabilities: {} });
});
after(() => { server.c.sendNotification(lsp.ExitNotification.type); });

test('every keyword of both families and dialects has its scope', async () => {
  const expected = { instruction: 'keyword.other.instruction.sx', directive: 'keyword.control.directive.sx',
    register: 'variable.language.register.sx', DEVICE: 'keyword.other.sx', watch: 'keyword.other.sx' };
  const text = ' DEVICE \n\n WATCH x,8,\nx EQU 1\n';
  let n = 0;
  for (const family of ['28l', '52']) for (const dialect of ['strict', 'extended']) {
    const uri = `file:///vocabulary-${family}-${dialect}.src`;
    await server.c.sendNotification(lsp.DidChangeConfigurationNotification.type, { settings: { korvid: { family, dialect } } });
    await server.c.sendNotification(lsp.DidOpenTextDocumentNotification.type,
      { textDocument: { uri, languageId: 'sx', version: 1, text } });
    for (const [line, character] of [[0, 8], [1, 0], [2, 12]]) {
      const items = (await server.c.sendRequest(lsp.CompletionRequest.type,
        { textDocument: { uri }, position: { line, character } })).items;
      for (const item of items) {
        const kind = item.detail.startsWith('STATUS.') ? 'register' : item.detail.split(' ')[0];
        if (!expected[kind]) continue;
        for (const word of [item.label, item.label.toLowerCase()]) {
          assert.equal(scopes(`        ${word}`)[0][8], expected[kind], `${word} (${item.detail})`);
          n++;
        }
      }
    }
  }
  assert.ok(n > 300);
});

test('TextMate colours agree with the semantic tokens on every example', async () => {
  const types = (await server.c.sendRequest(lsp.InitializeRequest.type,
    { processId: null, rootUri: null, capabilities: {} })).capabilities.semanticTokensProvider.legend.tokenTypes;
  // Where the grammar can know: not which kind of symbol a name in an operand is.
  const known = new Set(['comment', 'string', 'number', 'instruction', 'directive', 'register', 'keyword']);
  let compared = 0;
  for (const name of examples) {
    const text = readFileSync(path.join(root, 'examples', name), 'latin1');
    const family = name.startsWith('sx52') ? '52' : '28l';
    await server.c.sendNotification(lsp.DidChangeConfigurationNotification.type, { settings: { korvid: { family, dialect: 'strict' } } });
    const uri = pathToFileURL(path.join(root, 'examples', name)).href;
    await server.c.sendNotification(lsp.DidOpenTextDocumentNotification.type, { textDocument: { uri, languageId: 'sx', version: 1, text } });
    const data = (await server.c.sendRequest(lsp.SemanticTokensRequest.type, { textDocument: { uri } })).data;
    const s = scopes(text);
    let line = 0, ch = 0;
    for (let i = 0; i < data.length; i += 5) {
      line += data[i]; ch = data[i] ? data[i + 1] : ch + data[i + 1];
      const type = types[data[i + 3]], mods = data[i + 4];
      const labelDecl = type === 'label' && (mods & 1);
      const localUse = type === 'label' && (mods & 2);
      if (!known.has(type) && !labelDecl && !localUse) continue;
      assert.equal(s[line][ch], scopeOfType[type][0], `${name}:${line + 1}:${ch + 1} ${type}`);
      compared++;
    }
  }
  assert.ok(compared > 500, `${compared} tokens compared`);
});

test('the problem matcher reads korvid asm and korvid test errors', () => inTempDir('korvid-matcher-', (dir) => {
  const source = path.join(dir, 'broken.src');
  writeFileSync(source, ' DEVICE SX28L\nstart JMP nowhere\n');
  const check = path.join(dir, 'blink.test');
  writeFileSync(path.join(dir, 'blink.src'), readFileSync(path.join(root, 'examples', 'blink.src')));
  writeFileSync(check, 'source blink.src\nrun for 2ms\n  expect at 1ms RB.0 == 0\n');
  const matcher = manifest.contributes.problemMatchers[0].pattern;
  for (const [args, expected] of [
    [['asm', source, '-o', path.join(dir, 'out.sxh')], [source, '2', '11', 'error', 'Undefined symbol']],
    [['test', check], [check, '3', '3', 'error', 'expected RB.0 == 0 at 1ms, was 1']],
  ]) {
    let output = '';
    try {
      execFileSync(korvid, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (e) { output = e.stdout.toString() + e.stderr.toString(); }
    const m = output.split('\n').map((l) => l.match(new RegExp(matcher.regexp))).find(Boolean);
    assert.ok(m, output);
    assert.deepEqual([m[matcher.file], m[matcher.line], m[matcher.column], m[matcher.severity], m[matcher.message]],
      expected);
  }
}));

test('the .vsix holds the manifest, the client and both grammars', () => inTempDir('korvid-vsix-', (dir) => {
  const vsix = path.join(dir, 'korvid-sx.vsix');
  execFileSync(path.join(root, 'scripts', 'package-vscode'), [vsix], { stdio: 'ignore' });
  const entries = execFileSync('unzip', ['-Z1', vsix], { encoding: 'utf8' }).split('\n');
  for (const e of ['extension.vsixmanifest', 'extension/package.json', 'extension/extension.js',
    'extension/language-configuration.json', 'extension/syntaxes/sx.tmLanguage.json',
    'extension/syntaxes/sxh.tmLanguage.json', 'extension/node_modules/vscode-languageclient/node.js'])
    assert.ok(entries.includes(e), e);
  assert.ok(!entries.some((e) => e.includes('node_modules/@vscode/vsce/')), 'no packaging tool inside');
  const packed = JSON.parse(execFileSync('unzip', ['-p', vsix, 'extension/package.json'], { encoding: 'utf8' }));
  assert.equal(packed.main, './extension.js');
  assert.equal(packed.contributes.problemMatchers[0].name, 'korvid');
}));

// Packaging names no file that is not there: the licence is the project's
// (MIT) and travels in the .vsix; vsce would otherwise warn and, on a
// terminal, stop to ask whether to go on.
test('packaging the .vsix warns of no missing file and carries the licence', () => inTempDir('korvid-vsix-', (dir) => {
  const vsix = path.join(dir, 'korvid-sx.vsix');
  const run = spawnSync(path.join(root, 'scripts', 'package-vscode'), [vsix], { encoding: 'utf8', input: '' });
  const output = run.stdout + run.stderr;
  assert.equal(run.status, 0, output);
  assert.doesNotMatch(output, /not found|continue\?/i, output);
  assert.equal(manifest.license, 'MIT');
  const licence = execFileSync('unzip', ['-p', vsix, 'extension/LICENSE.txt'], { encoding: 'utf8' });
  assert.equal(licence, readFileSync(path.join(root, 'LICENSE'), 'utf8'));
}));
