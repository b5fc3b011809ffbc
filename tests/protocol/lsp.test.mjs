// korvid lsp driven by the registry's own JSON-RPC client and protocol
// types, as an editor drives it: every request with exact results on the
// examples, and the protocol errors a broken client may cause.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import path from 'node:path';
import * as rpc from 'vscode-jsonrpc/node.js';
import * as lsp from 'vscode-languageserver-protocol';

const korvid = process.env.KORVID_BIN;
const root = process.env.KORVID_SOURCE_DIR;
assert.ok(korvid && root, 'KORVID_BIN and KORVID_SOURCE_DIR must be set');
const blinkPath = path.join(root, 'examples', 'blink.src');
const blinkUri = pathToFileURL(blinkPath).href;
const blink = readFileSync(blinkPath, 'latin1');

function start() {
  const child = spawn(korvid, ['lsp', '--stdio'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const connection = rpc.createMessageConnection(
    new rpc.StreamMessageReader(child.stdout), new rpc.StreamMessageWriter(child.stdin));
  const diagnostics = new Map();
  const waiters = [];
  connection.onNotification(lsp.PublishDiagnosticsNotification.type, (p) => {
    diagnostics.set(p.uri, p);
    for (const w of waiters.splice(0)) w();
  });
  connection.listen();
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  // The diagnostics of a document version, once they have come.
  async function diagnosticsOf(uri, version) {
    while (diagnostics.get(uri)?.version !== version) await new Promise((r) => waiters.push(r));
    return diagnostics.get(uri).diagnostics;
  }
  return { child, connection, diagnosticsOf, exited };
}

let server;
const doc = { uri: blinkUri };
const at = (line, character) => ({ textDocument: doc, position: { line, character } });

before(async () => {
  server = start();
  const init = await server.connection.sendRequest(lsp.InitializeRequest.type, {
    processId: process.pid, rootUri: null, capabilities: {},
    initializationOptions: { korvid: { family: '28l', dialect: 'strict' } },
  });
  assert.equal(init.capabilities.textDocumentSync.change, lsp.TextDocumentSyncKind.Incremental);
  assert.deepEqual(init.capabilities.renameProvider, { prepareProvider: true });
  await server.connection.sendNotification(lsp.InitializedNotification.type, {});
  await server.connection.sendNotification(lsp.DidOpenTextDocumentNotification.type, {
    textDocument: { uri: blinkUri, languageId: 'sx', version: 1, text: blink },
  });
  assert.deepEqual(await server.diagnosticsOf(blinkUri, 1), []);
});

after(async () => {
  await server.connection.sendRequest(lsp.ShutdownRequest.type);
  await server.connection.sendNotification(lsp.ExitNotification.type);
  assert.equal(await server.exited, 0);
});

test('hover: symbols, instructions, registers, numbers', async () => {
  const hover = async (line, ch) => (await server.connection.sendRequest(lsp.HoverRequest.type, at(line, ch)))?.contents;
  assert.deepEqual(await hover(20, 17), { kind: 'markdown', value: '**delay** label = $8 · 8 · %1000 in page 0\n\ndefined on line 27' });
  assert.equal((await hover(28, 1)).value, '**:middle** local label = $B · 11 · %1011 in page 0\n\ndefined on line 29');
  assert.equal((await hover(16, 17)).value, '**RB** register $06: port B');
  assert.equal((await hover(26, 25)).value, 'number $30 · 48 · %110000');
  const mov = (await hover(16, 9)).value;
  assert.match(mov, /^\*\*MOV\*\* instruction\n\n- \*\*MOV W,#lit\*\* \(1 word; 1 cycle\): W = lit\n/);
  assert.ok(mov.includes('\n- **MOV W,fr-W** (1 word; 1 cycle; changes C DC Z): W = fr - W\n'), mov);
  assert.ok((await hover(23, 9)).value.includes(
    '\n- **JMP addr** (1 word; turbo 3 cycles; compatible 2): jump within the page the page bits select\n'));
  assert.equal((await hover(15, 9)).value, '**ORG** directive: sets the address the next code goes to');
  assert.equal(await server.connection.sendRequest(lsp.HoverRequest.type, at(2, 0)), null);
});

test('hover: plain text for a client that prefers it; the 52 family\'s words and cycles', async () => {
  const plain = start();
  const c = plain.connection;
  await c.sendRequest(lsp.InitializeRequest.type, {
    processId: null, rootUri: null,
    capabilities: { textDocument: { hover: { contentFormat: [lsp.MarkupKind.PlainText, lsp.MarkupKind.Markdown] } } },
  });
  await c.sendNotification(lsp.DidOpenTextDocumentNotification.type,
    { textDocument: { uri: blinkUri, languageId: 'sx', version: 1, text: blink } });
  assert.deepEqual((await c.sendRequest(lsp.HoverRequest.type, at(20, 17))).contents,
    { kind: 'plaintext', value: 'delay label = $8 · 8 · %1000 in page 0\n\ndefined on line 27' });
  // The 52's LCALL: three page bits before the CALL, turbo cycles only.
  const file = path.join(root, 'examples', 'sx52_counter.src');
  const uri = pathToFileURL(file).href;
  await c.sendNotification(lsp.DidChangeConfigurationNotification.type, { settings: { korvid: { family: '52' } } });
  await c.sendNotification(lsp.DidOpenTextDocumentNotification.type,
    { textDocument: { uri, languageId: 'sx', version: 1, text: readFileSync(file, 'latin1') } });
  assert.deepEqual(await plain.diagnosticsOf(uri, 1), []);
  const lcall = await c.sendRequest(lsp.HoverRequest.type, { textDocument: { uri }, position: { line: 24, character: 9 } });
  assert.equal(lcall.contents.value,
    'LCALL instruction\n\n- LCALL addr (4 words; 6 cycles; changes PA): set the page bits of addr one by one, then CALL');
  await c.sendRequest(lsp.ShutdownRequest.type);
  await c.sendNotification(lsp.ExitNotification.type);
  assert.equal(await plain.exited, 0);
});

test('definition, references, highlight: labels, local labels, EQU symbols, watch targets', async () => {
  const c = server.connection;
  const def = await c.sendRequest(lsp.DefinitionRequest.type, at(20, 17));
  assert.deepEqual(def, { uri: blinkUri, range: { start: { line: 26, character: 0 }, end: { line: 26, character: 5 } } });
  // The watch target count3 is the EQU symbol of line 12.
  const watchDef = await c.sendRequest(lsp.DefinitionRequest.type, at(13, 17));
  assert.equal(watchDef.range.start.line, 11);
  const refs = await c.sendRequest(lsp.ReferencesRequest.type, { ...at(29, 2), context: { includeDeclaration: true } });
  assert.deepEqual(refs.map((r) => [r.range.start.line, r.range.start.character, r.range.end.character]),
    [[29, 0, 6], [29, 24, 30]]);
  const noDecl = await c.sendRequest(lsp.ReferencesRequest.type, { ...at(9, 0), context: { includeDeclaration: false } });
  assert.deepEqual(noDecl.map((r) => r.range.start.line), [28, 29]);
  const hl = await c.sendRequest(lsp.DocumentHighlightRequest.type, at(19, 0));
  assert.deepEqual(hl.map((h) => [h.range.start.line, h.kind]), [[19, 3], [23, 2]]);
});

test('rename: prepare, edits, refusals', async () => {
  const c = server.connection;
  assert.deepEqual(await c.sendRequest(lsp.PrepareRenameRequest.type, at(30, 26)), {
    range: { start: { line: 30, character: 24 }, end: { line: 30, character: 31 } }, placeholder: ':middle' });
  assert.equal(await c.sendRequest(lsp.PrepareRenameRequest.type, at(30, 9)), null);
  const edit = await c.sendRequest(lsp.RenameRequest.type, { ...at(8, 1), newName: 'lamp' });
  assert.deepEqual(edit.changes[blinkUri].map((e) => [e.range.start.line, e.range.start.character, e.newText]),
    [[8, 0, 'lamp'], [17, 16, 'lamp'], [19, 16, 'lamp'], [21, 16, 'lamp']]);
  await assert.rejects(c.sendRequest(lsp.RenameRequest.type, { ...at(8, 1), newName: 'main' }),
    (e) => e.code === lsp.LSPErrorCodes.RequestFailed && /already defined/.test(e.message));
});

test('outline: constants, labels with their local labels', async () => {
  const symbols = await server.connection.sendRequest(lsp.DocumentSymbolRequest.type, { textDocument: doc });
  assert.deepEqual(symbols.map((s) => [s.name, s.kind, s.detail]), [
    ['led', lsp.SymbolKind.Constant, '$006'], ['count1', lsp.SymbolKind.Constant, '$008'],
    ['count2', lsp.SymbolKind.Constant, '$009'], ['count3', lsp.SymbolKind.Constant, '$00A'],
    ['start', lsp.SymbolKind.Function, '$000'], ['main', lsp.SymbolKind.Function, '$003'],
    ['delay', lsp.SymbolKind.Function, '$008']]);
  const delay = symbols[6];
  assert.deepEqual(delay.children.map((s) => s.name), [':outer', ':middle', ':inner']);
  // A label's block runs to the line before the next label, the last one
  // to the end of the source.
  const main = symbols[5];
  const lines = blink.split(/\r?\n/);
  assert.deepEqual([main.range.start, main.range.end], [{ line: 19, character: 0 }, { line: 25, character: lines[25].length }]);
  assert.deepEqual(delay.range.start, { line: 26, character: 0 });
  assert.equal(delay.range.end.line, lines.length - 1);
});

test('completion: mnemonics, symbols in scope, DEVICE words only after DEVICE', async () => {
  const c = server.connection;
  const labels = async (line, ch) => (await c.sendRequest(lsp.CompletionRequest.type, at(line, ch))).items;
  const operand = await labels(30, 16);  // after DJNZ in delay's block
  const byLabel = Object.fromEntries(operand.map((i) => [i.label, i]));
  assert.equal(byLabel.delay.detail, 'label = $8');
  assert.equal(byLabel.count1.detail, 'constant (EQU) = $8');
  assert.equal(byLabel[':inner'].kind, lsp.CompletionItemKind.Function);
  assert.equal(byLabel.STATUS.detail, 'register $03');
  assert.equal(byLabel.W.detail, 'operand word');
  assert.equal(byLabel.MOV, undefined);
  const mnemonic = await labels(18, 0);
  assert.ok(mnemonic.some((i) => i.label === 'DJNZ' && i.detail === 'instruction'));
  assert.ok(mnemonic.some((i) => i.label === 'WATCH' && i.detail === 'directive'));
  assert.ok(!mnemonic.some((i) => i.label === 'TURBO'));
  const device = await labels(3, 16);
  assert.ok(device.some((i) => i.label === 'TURBO'));
  assert.ok(device.every((i) => i.detail === 'DEVICE option'));
});

test('semantic tokens from the scanner', async () => {
  const result = await server.connection.sendRequest(lsp.SemanticTokensRequest.type, { textDocument: doc });
  const types = ['comment', 'string', 'number', 'label', 'instruction', 'directive', 'register', 'constant',
    'variable', 'macro', 'keyword', 'parameter'];
  const tokens = [];
  let line = 0, ch = 0;
  for (let i = 0; i < result.data.length; i += 5) {
    const [dl, dc, len, type, mods] = result.data.slice(i, i + 5);
    line += dl; ch = dl ? dc : ch + dc;
    tokens.push({ line, ch, text: blink.split(/\r?\n/)[line].substr(ch, len), type: types[type], mods });
  }
  const line16 = tokens.filter((t) => t.line === 16).map((t) => `${t.type}:${t.text}:${t.mods}`);
  assert.deepEqual(line16, ['label:start:1', 'instruction:MOV:0', 'register:RB:0', 'number:%1111_1110:0',
    'comment:; RB.0 is an output:0']);
  assert.deepEqual(tokens.filter((t) => t.line === 4).map((t) => t.type), ['directive', 'string']);
  assert.deepEqual(tokens.filter((t) => t.line === 29).map((t) => `${t.type}:${t.mods}`),
    ['label:3', 'instruction:0', 'constant:0', 'label:2']);
});

test('diagnostics follow incremental edits', async () => {
  const c = server.connection;
  await c.sendNotification(lsp.DidChangeTextDocumentNotification.type, {
    textDocument: { uri: blinkUri, version: 2 },
    contentChanges: [{ range: { start: { line: 23, character: 16 }, end: { line: 23, character: 20 } }, text: 'nowhere' }],
  });
  assert.deepEqual(await server.diagnosticsOf(blinkUri, 2), [{
    range: { start: { line: 23, character: 16 }, end: { line: 23, character: 23 } },
    severity: lsp.DiagnosticSeverity.Error, source: 'korvid', message: 'Undefined symbol' }]);
  await c.sendNotification(lsp.DidChangeTextDocumentNotification.type, {
    textDocument: { uri: blinkUri, version: 3 },
    contentChanges: [
      { range: { start: { line: 23, character: 16 }, end: { line: 23, character: 23 } }, text: 'main' },
      { range: { start: { line: 16, character: 52 }, end: { line: 16, character: 52 } }, text: '\r\n        MOV W,#300' }],
  });
  assert.deepEqual(await server.diagnosticsOf(blinkUri, 3), [{
    range: { start: { line: 17, character: 15 }, end: { line: 17, character: 18 } },
    severity: lsp.DiagnosticSeverity.Warning, source: 'korvid', code: 'field-cut',
    message: '300 does not fit its 8-bit field: the word holds 2Ch' }]);
  await c.sendNotification(lsp.DidChangeTextDocumentNotification.type, {
    textDocument: { uri: blinkUri, version: 4 },
    contentChanges: [{ range: { start: { line: 16, character: 52 }, end: { line: 17, character: 18 } }, text: '' }],
  });
  assert.deepEqual(await server.diagnosticsOf(blinkUri, 4), []);
});

test('errors name the word behind them; long sources and RETIW reloads assemble quietly', async () => {
  const c = server.connection;
  const uri = 'file:///notes.src';
  const diagnosticsFor = async (text, version) => {
    const change = version === 1 ? lsp.DidOpenTextDocumentNotification.type : lsp.DidChangeTextDocumentNotification.type;
    await c.sendNotification(change, version === 1
      ? { textDocument: { uri, languageId: 'sx', version, text } }
      : { textDocument: { uri, version }, contentChanges: [{ text }] });
    return server.diagnosticsOf(uri, version);
  };
  const error = (line, start, end, message) => ({ range: { start: { line, character: start }, end: { line, character: end } },
    severity: lsp.DiagnosticSeverity.Error, source: 'korvid', message });
  assert.deepEqual(await diagnosticsFor('\tDEVICE SX28L\n\tCALL sub\nsub\tRET\n', 1), [error(1, 6, 9,
    'Expected a constant, variable, unary operator, or "(" (sub is an instruction name, which cannot name a label or stand for a value)')]);
  assert.deepEqual(await diagnosticsFor('\tDEVICE SX28L\n        MOVX  W, 5\n', 2), [error(1, 8, 12,
    'Expected a label, directive, or instruction (MOVX is no instruction, directive or macro defined above, so it is read as a label)')]);
  const device = await diagnosticsFor('\tDEVICE SX28\n', 3);
  assert.equal(device.length, 1);
  assert.ok(device[0].message.startsWith('Expected a DEVICE parameter (SX28 is a DEVICE word of the extended dialect; ' +
    'the strict dialect writes SX28L) (the strict dialect refuses this'), device[0].message);
  // 1.6 MB of comments around a small program.
  const long = '\tDEVICE SX28L\n' + `; ${'c'.repeat(50)}\n`.repeat(30000) + 'start\tMOV W,#5\n\tJMP start\n';
  assert.deepEqual(await diagnosticsFor(long, 4), []);
  // -255..-1 is the 8-bit field's value modulo 256; -256 is cut.
  assert.deepEqual(await diagnosticsFor('\tDEVICE SX28L\nTICK\tEQU\t217\n\tMOV W,#-TICK\n\tRETW -255\n', 5), []);
  assert.deepEqual((await diagnosticsFor('\tDEVICE SX28L\n\tMOV W,#-256\n', 6)).map((d) => [d.code, d.message]),
    [['field-cut', '-256 does not fit its 8-bit field: the word holds 00h']]);
  await c.sendNotification(lsp.DidCloseTextDocumentNotification.type, { textDocument: { uri } });
});

test('protocol errors: before initialize, unknown methods, broken framing and JSON', async () => {
  const fresh = start();
  await assert.rejects(fresh.connection.sendRequest(lsp.HoverRequest.type, at(0, 0)),
    (e) => e.code === rpc.ErrorCodes.ServerNotInitialized);
  await fresh.connection.sendRequest(lsp.InitializeRequest.type, { processId: null, rootUri: null, capabilities: {} });
  await assert.rejects(fresh.connection.sendRequest('korvid/noSuchMethod', {}),
    (e) => e.code === rpc.ErrorCodes.MethodNotFound);
  // Raw bytes past the client library: a body that is not JSON, a header
  // without a length; the server answers and keeps serving.
  fresh.child.stdin.write('Content-Length: 6\r\n\r\n{oops}');
  fresh.child.stdin.write('Content-Type: nothing\r\n\r\n');
  const hover = await fresh.connection.sendRequest(lsp.HoverRequest.type, at(0, 0)).catch((e) => e);
  assert.equal(hover.code, lsp.ErrorCodes.InvalidParams);  // the document is not open there
  await fresh.connection.sendNotification(lsp.ExitNotification.type);
  assert.equal(await fresh.exited, 1);  // exit without shutdown
});

test('macros, = variables and their uses in the showcase example', async () => {
  const c = server.connection;
  const file = path.join(root, 'examples', 'showcase.src');
  const uri = pathToFileURL(file).href;
  await c.sendNotification(lsp.DidOpenTextDocumentNotification.type,
    { textDocument: { uri, languageId: 'sx', version: 1, text: readFileSync(file, 'latin1') } });
  assert.deepEqual(await server.diagnosticsOf(uri, 1), []);
  const here = (line, character) => ({ textDocument: { uri }, position: { line, character } });
  const def = await c.sendRequest(lsp.DefinitionRequest.type, here(40, 9));
  assert.deepEqual(def.range, { start: { line: 11, character: 0 }, end: { line: 11, character: 4 } });
  const refs = await c.sendRequest(lsp.ReferencesRequest.type, { ...here(6, 0), context: { includeDeclaration: true } });
  assert.deepEqual(refs.map((r) => [r.range.start.line, r.range.start.character]), [[6, 0], [46, 16], [63, 0], [63, 16], [64, 16]]);
  const hover = await c.sendRequest(lsp.HoverRequest.type, here(40, 9));
  assert.equal(hover.contents.value, '**wait** macro\n\ndefined on line 12');
  const outline = await c.sendRequest(lsp.DocumentSymbolRequest.type, { textDocument: { uri } });
  assert.deepEqual(outline.map((s) => [s.name, s.kind]), [
    ['DEBUG', lsp.SymbolKind.Variable], ['temp', lsp.SymbolKind.Constant], ['acc', lsp.SymbolKind.Constant],
    ['wait', lsp.SymbolKind.Method], ['addall', lsp.SymbolKind.Method], ['rotate', lsp.SymbolKind.Method],
    ['start', lsp.SymbolKind.Function], ['squares', lsp.SymbolKind.Function]]);
  assert.deepEqual(outline[3].children.map((s) => s.name), [':spin']);
  await c.sendNotification(lsp.DidCloseTextDocumentNotification.type, { textDocument: { uri } });
});

test('cycles: inlay hints, code lenses and the interrupt budget', async () => {
  const c = server.connection;
  const uri = 'file:///cycles/isr.src';
  const lines = [
    '        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX',
    '        RESET   start',
    '        ORG     0',
    'isr     MOV     08h, #10',
    ':spin   DJNZ    08h, :spin',
    '        SB      RB.0',
    '        NOP',
    '        MOV     W, #-20',
    '        RETIW',
    'start   MOV     !OPTION, #%1000_1000',
    'main    CALL    wait',
    '        JMP     main',
    'wait    RET',
  ];
  await c.sendNotification(lsp.DidOpenTextDocumentNotification.type, {
    textDocument: { uri, languageId: 'sx', version: 1, text: lines.join('\r\n') },
  });
  // Entry 3, MOV 2, nine passes of 4 and a last of 2, SB and NOP 2 either
  // way, MOV 1, RETIW 3: 49 cycles against a period of 20.
  assert.deepEqual(await server.diagnosticsOf(uri, 1), [{
    range: { start: { line: 8, character: 8 }, end: { line: 8, character: 13 } },
    severity: lsp.DiagnosticSeverity.Warning, source: 'korvid', code: 'isr-budget',
    message: 'the interrupt routine can take 49 cycles, longer than its period of 20 cycles' }]);

  const hints = await c.sendRequest(lsp.InlayHintRequest.type, {
    textDocument: { uri }, range: { start: { line: 0, character: 0 }, end: { line: 12, character: 0 } } });
  assert.deepEqual(hints.map((h) => [h.position.line, h.position.character, h.label]), [
    [3, lines[3].length, '2'], [4, lines[4].length, '4/2'], [5, lines[5].length, '1/2'], [6, lines[6].length, '1'],
    [7, lines[7].length, '1'], [8, lines[8].length, '3'], [9, lines[9].length, '2'], [10, lines[10].length, '3'],
    [11, lines[11].length, '3'], [12, lines[12].length, '3']]);
  const some = await c.sendRequest(lsp.InlayHintRequest.type, {
    textDocument: { uri }, range: { start: { line: 4, character: 0 }, end: { line: 5, character: 0 } } });
  assert.deepEqual(some.map((h) => h.label), ['4/2', '1/2']);

  const lenses = await c.sendRequest(lsp.CodeLensRequest.type, { textDocument: { uri } });
  assert.deepEqual(lenses.map((l) => [l.range.start.line, l.command.title]), [
    [3, 'interrupt 49..49 of 20 cycles'], [12, '3..3 cycles']]);

  // A selection of several lines: its bounds, from arriving at its first
  // instruction until its last has run (the interrupt's entry not counted).
  const selected = async (from, to) => c.sendRequest(lsp.HoverRequest.type, {
    textDocument: { uri }, position: { line: from, character: 10 },
    range: { start: { line: from, character: 0 }, end: { line: to, character: 3 } } });
  const isrBody = await selected(3, 8);
  assert.equal(isrBody.contents.value, '46..46 cycles from line 4 to the end of line 9');
  assert.deepEqual(isrBody.range, { start: { line: 3, character: 8 }, end: { line: 8, character: 13 } });
  assert.equal((await selected(5, 7)).contents.value, '3..3 cycles from line 6 to the end of line 8');
  // One line is the word's own hover.
  assert.doesNotMatch((await selected(5, 5)).contents.value, /cycles from line/);

  // Shortened to fit its period, the warning goes.
  await c.sendNotification(lsp.DidChangeTextDocumentNotification.type, {
    textDocument: { uri, version: 2 },
    contentChanges: [{ range: { start: { line: 3, character: 22 }, end: { line: 3, character: 24 } }, text: '2' }],
  });
  assert.deepEqual(await server.diagnosticsOf(uri, 2), []);
  const after = await c.sendRequest(lsp.CodeLensRequest.type, { textDocument: { uri } });
  assert.equal(after[0].command.title, 'interrupt 17..17 of 20 cycles');
  await c.sendNotification(lsp.DidCloseTextDocumentNotification.type, { textDocument: { uri } });
});
