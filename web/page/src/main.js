// The playground page: the editor, the controls and the regions, talking to
// the worker that holds the assembler, the emulator and the language server.
import {
  EditorView, keymap, gutter, GutterMarker, Decoration, WidgetType, hoverTooltip, lineNumbers, highlightActiveLineGutter,
  highlightSpecialChars, drawSelection, dropCursor, rectangularSelection, crosshairCursor, highlightActiveLine,
} from '@codemirror/view';
import { EditorState, StateField, StateEffect, RangeSet } from '@codemirror/state';
import { setDiagnostics, lintKeymap } from '@codemirror/lint';
import { autocompletion, completionKeymap } from '@codemirror/autocomplete';
import { history, defaultKeymap, historyKeymap, indentWithTab } from '@codemirror/commands';
import { searchKeymap, highlightSelectionMatches } from '@codemirror/search';
import { bracketMatching } from '@codemirror/language';
import { sxLanguage, sxHighlight } from './sx-language.js';
import { examples } from 'korvid:examples';
import { WaveformView } from './waveform.js';
import { packShare, unpackShare } from './share.js';
import { latin1Bytes } from './bytes.js';

const $ = (id) => document.getElementById(id);
const STORE_KEY = 'korvid-playground';
const MAX_OPEN_BYTES = 8 << 20;

// --- the worker -------------------------------------------------------------
const worker = new Worker('worker.js');
let nextId = 1;
const waiting = new Map();
let workerReady;
const ready = new Promise((resolve) => (workerReady = resolve));

function ask(op, args) {
  return new Promise((resolve, reject) => {
    const id = nextId++;
    waiting.set(id, { resolve, reject });
    worker.postMessage({ id, op, args });
  });
}
function tell(op, args) {
  worker.postMessage({ op, args });
}

worker.onmessage = ({ data }) => {
  if (data.type === 'answer') {
    const w = waiting.get(data.id);
    waiting.delete(data.id);
    if (data.error) w.reject(new Error(data.error));
    else w.resolve(data.result);
  } else if (data.type === 'ready') {
    workerReady();
  } else if (data.type === 'failed') {
    say(data.message);
  } else if (data.type === 'running') {
    setRunning(true);
  } else if (data.type === 'tick') {
    showLive(data);
    tell('ack'); // the next report may come
    const speed = $('speed').value === 'fast' ? 'as fast as possible' : 'in real time';
    const chip = data.state && data.state.ready ? `, ${formatTime(data.state.timeUs)} of chip time` : '';
    say(`Running ${speed}${chip}; the emulator takes ${Math.round(data.load * 100)}% of a core.`);
  } else if (data.type === 'stopped') {
    setRunning(false);
    showLive(data);
    showStop(data.state, data.reason);
  }
};

// --- status line -------------------------------------------------------------
function say(text) {
  $('status').textContent = text;
}

// --- the editor ---------------------------------------------------------------
const setRunLine = StateEffect.define();
const runLineField = StateField.define({
  create: () => Decoration.none,
  update(deco, tr) {
    deco = deco.map(tr.changes);
    for (const e of tr.effects) {
      if (!e.is(setRunLine)) continue;
      if (!e.value) return Decoration.none;
      const line = tr.state.doc.line(Math.min(e.value, tr.state.doc.lines));
      return Decoration.set([Decoration.line({ class: 'cm-running-line', attributes: { 'data-running': 'true' } }).range(line.from)]);
    }
    return deco;
  },
  provide: (f) => EditorView.decorations.from(f),
});

const toggleBreak = StateEffect.define();
const clearBreaks = StateEffect.define();
class BreakMarker extends GutterMarker {
  constructor(className) {
    super();
    this.className = className;
  }
  toDOM() {
    const dot = document.createElement('span');
    dot.className = this.className;
    dot.textContent = '●';
    return dot;
  }
}
const breakMarker = new BreakMarker('cm-breakpoint');
const breakSpacer = new BreakMarker('cm-breakpoint-spacer'); // sizes the gutter
const breakField = StateField.define({
  create: () => RangeSet.empty,
  update(set, tr) {
    set = set.map(tr.changes);
    for (const e of tr.effects) {
      if (e.is(clearBreaks)) set = RangeSet.empty;
      if (!e.is(toggleBreak)) continue;
      let has = false;
      set.between(e.value, e.value, () => {
        has = true;
      });
      set = has
        ? set.update({ filter: (from) => from !== e.value })
        : set.update({ add: [breakMarker.range(e.value)] });
    }
    return set;
  },
});

function breakLines(state = view.state) {
  const lines = [];
  const iter = state.field(breakField).iter();
  for (; iter.value; iter.next()) lines.push(state.doc.lineAt(iter.from).number);
  return lines;
}

function toggleBreakAt(view, pos) {
  view.dispatch({ effects: toggleBreak.of(view.state.doc.lineAt(pos).from) });
  sendBreakpoints();
  return true;
}

const breakGutter = [
  breakField,
  gutter({
    class: 'cm-breakpoint-gutter',
    markers: (v) => v.state.field(breakField),
    initialSpacer: () => breakSpacer,
    domEventHandlers: { mousedown: (view, line) => toggleBreakAt(view, line.from) },
  }),
];

// The language server in the worker: the document's text goes to it on
// every change; its diagnostics, hover and completion come back.
const uri = 'file:///playground/program.src';
let lspVersion = 0;
let lspOpened = false;
async function lsp(message) {
  const out = await ask('lsp', { message });
  for (const m of out) if (m.method === 'textDocument/publishDiagnostics') showLspDiagnostics(m.params);
  return out.find((m) => m.id === message.id);
}
let requestId = 1;
async function lspRequest(method, params) {
  const answer = await lsp({ jsonrpc: '2.0', id: requestId++, method, params });
  return answer ? answer.result : null;
}

function positionOf(doc, pos) {
  const line = doc.lineAt(pos);
  return { line: line.number - 1, character: pos - line.from };
}
function offsetOf(doc, p) {
  const line = doc.line(Math.min(p.line + 1, doc.lines));
  return Math.min(line.from + p.character, line.to);
}

function showLspDiagnostics(params) {
  if (params.uri !== uri) return;
  const doc = view.state.doc;
  const diagnostics = params.diagnostics.map((d) => ({
    from: offsetOf(doc, d.range.start),
    to: Math.max(offsetOf(doc, d.range.start), offsetOf(doc, d.range.end)),
    severity: d.severity === 1 ? 'error' : d.severity === 2 ? 'warning' : 'info',
    message: d.message,
  }));
  view.dispatch(setDiagnostics(view.state, diagnostics));
}

let lspTimer = 0;
function syncLsp() {
  clearTimeout(lspTimer);
  lspTimer = setTimeout(async () => {
    const text = view.state.doc.toString();
    const settings = { korvid: { family: $('family').value, dialect: $('dialect').value } };
    if (!lspOpened) {
      lspOpened = true;
      await lsp({ jsonrpc: '2.0', id: requestId++, method: 'initialize', params: { capabilities: {}, initializationOptions: settings } });
      await lsp({ jsonrpc: '2.0', method: 'initialized', params: {} });
      await lsp({ jsonrpc: '2.0', method: 'textDocument/didOpen', params: { textDocument: { uri, languageId: 'sx', version: ++lspVersion, text } } });
    } else {
      await lsp({ jsonrpc: '2.0', method: 'textDocument/didChange', params: { textDocument: { uri, version: ++lspVersion }, contentChanges: [{ text }] } });
    }
    await refreshHints(lspVersion);
  }, 150);
}
function lspSettingsChanged() {
  if (!lspOpened) return;
  lsp({ jsonrpc: '2.0', method: 'workspace/didChangeConfiguration', params: { settings: { korvid: { family: $('family').value, dialect: $('dialect').value } } } });
}

// The language server's cycle hints at the ends of lines ("2 cycles",
// the bounds of a routine), as the editors show its inlay hints.
class HintWidget extends WidgetType {
  constructor(label) {
    super();
    this.label = label;
  }
  eq(other) {
    return other.label === this.label;
  }
  toDOM() {
    const span = document.createElement('span');
    span.className = 'cm-cycle-hint';
    span.textContent = this.label;
    span.title = 'instruction cycles (a/b: straight through / with the skip taken)';
    return span;
  }
}
const setHints = StateEffect.define();
const hintField = StateField.define({
  create: () => Decoration.none,
  update(deco, tr) {
    deco = deco.map(tr.changes);
    for (const e of tr.effects) if (e.is(setHints)) deco = e.value;
    return deco;
  },
  provide: (f) => EditorView.decorations.from(f),
});
async function refreshHints(version) {
  const doc = view.state.doc;
  const hints = await lspRequest('textDocument/inlayHint', {
    textDocument: { uri },
    range: { start: { line: 0, character: 0 }, end: { line: doc.lines, character: 0 } },
  });
  if (version !== lspVersion || !Array.isArray(hints)) return; // the text moved on
  const widgets = hints
    .map((h) => ({ at: offsetOf(view.state.doc, h.position), label: typeof h.label === 'string' ? h.label : h.label.map((p) => p.value).join('') }))
    .sort((a, b) => a.at - b.at)
    .map((h) => Decoration.widget({ widget: new HintWidget(h.label), side: 1 }).range(h.at));
  view.dispatch({ effects: setHints.of(Decoration.set(widgets)) });
}

const lspHover = hoverTooltip(async (view, pos) => {
  const result = await lspRequest('textDocument/hover', { textDocument: { uri }, position: positionOf(view.state.doc, pos) });
  if (!result || !result.contents) return null;
  const text = typeof result.contents === 'string' ? result.contents : result.contents.value || '';
  if (!text) return null;
  return {
    pos,
    create() {
      const dom = document.createElement('div');
      dom.className = 'cm-lsp-hover';
      dom.setAttribute('role', 'tooltip');
      dom.textContent = text.replace(/\*\*/g, '');
      return { dom };
    },
  };
});

async function lspComplete(context) {
  const word = context.matchBefore(/[A-Za-z_:.][A-Za-z0-9_:.]*/);
  if (!word && !context.explicit) return null;
  const result = await lspRequest('textDocument/completion', { textDocument: { uri }, position: positionOf(context.state.doc, context.pos) });
  const items = Array.isArray(result) ? result : result ? result.items : [];
  if (!items.length) return null;
  return {
    from: word ? word.from : context.pos,
    options: items.map((i) => ({ label: i.label, detail: i.detail, apply: i.insertText || i.label })),
    validFor: /^[A-Za-z0-9_:.]*$/,
  };
}

let saveTimer = 0;
const view = new EditorView({
  parent: $('editor'),
  state: EditorState.create({
    doc: '',
    extensions: [
      breakGutter,
      lineNumbers({ domEventHandlers: { mousedown: (view, line) => toggleBreakAt(view, line.from) } }),
      highlightActiveLineGutter(),
      highlightSpecialChars(),
      history(),
      drawSelection(),
      dropCursor(),
      EditorState.allowMultipleSelections.of(true),
      bracketMatching(),
      rectangularSelection(),
      crosshairCursor(),
      highlightActiveLine(),
      highlightSelectionMatches(),
      keymap.of([
        { key: 'Mod-Enter', run: () => (assemble(), true) },
        indentWithTab,
        ...defaultKeymap,
        ...searchKeymap,
        ...historyKeymap,
        ...completionKeymap,
        ...lintKeymap,
      ]),
      sxLanguage,
      sxHighlight,
      runLineField,
      hintField,
      lspHover,
      autocompletion({ override: [lspComplete] }),
      EditorView.contentAttributes.of({ 'aria-label': 'Source', 'aria-describedby': 'editor-hint' }),
      EditorView.updateListener.of((u) => {
        if (!u.docChanged) return;
        syncLsp();
        clearTimeout(saveTimer);
        saveTimer = setTimeout(store, 300);
      }),
    ],
  }),
});

function setSource(text) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, effects: [clearBreaks.of(null), setRunLine.of(0)] });
}

// --- keeping the source -------------------------------------------------------
let sourceName = 'program.src';
// How the source's file holds its text: UTF-8, or one byte a character
// ('latin1') for a file that is not UTF-8. Typing a character beyond
// Latin-1 into such a file makes it UTF-8.
let sourceEncoding = 'utf-8';
function encodingNow() {
  if (sourceEncoding === 'latin1' && /[^\u0000-\u00ff]/.test(view.state.doc.toString())) sourceEncoding = 'utf-8';
  return sourceEncoding;
}
function store() {
  try {
    localStorage.setItem(STORE_KEY, JSON.stringify({ source: view.state.doc.toString(), encoding: sourceEncoding, name: sourceName, family: $('family').value, dialect: $('dialect').value, test: $('test-text').value }));
  } catch (error) {
    say(`The source could not be kept in this browser's storage: ${error.message}`);
  }
}
function restore() {
  try {
    return JSON.parse(localStorage.getItem(STORE_KEY) || 'null');
  } catch {
    return null;
  }
}

// --- assembling ---------------------------------------------------------------
let lastAssembly = null;
async function assemble() {
  const answer = await ask('assemble', { source: view.state.doc.toString(), encoding: encodingNow(), name: sourceName, family: $('family').value, dialect: $('dialect').value, breakpoints: breakLines() });
  lastAssembly = answer.ok ? answer : null;
  document.body.dataset.assembleMs = answer.workerMs.toFixed(1);
  showProblems(answer);
  $('download-sxh').disabled = !answer.ok;
  $('download-lst').disabled = !answer.ok;
  if (answer.ok) {
    shownRegisters = new Map();
    $('serial-output').textContent = '';
    showStop(answer.state, 'assembled');
    const warnings = answer.problems.length;
    say(`Assembled ${sourceName}: ${answer.family === '52' ? 'SX48/SX52' : 'SX18/SX28'}, ${warnings ? warnings + (warnings === 1 ? ' warning' : ' warnings') : 'no problems'}. ${$('status').textContent}`);
    resetWave(answer.state);
  } else {
    say(`${sourceName} did not assemble: see Problems.`);
    setControls(false);
  }
  return answer;
}

function showProblems(answer) {
  const list = $('problems-list');
  list.replaceChildren();
  for (const p of answer.problems) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.className = `problem ${p.severity}`;
    button.textContent = p.text + p.notes.map((n) => `\n${n.line}:${n.column}: note: ${n.text}`).join('');
    button.addEventListener('click', () => goTo(p.line, p.column));
    item.append(button);
    list.append(item);
  }
  $('problems-none').hidden = answer.problems.length > 0;
}

function goTo(line, column) {
  if (!line) return;
  const doc = view.state.doc;
  const l = doc.line(Math.min(line, doc.lines));
  const pos = Math.min(l.from + Math.max(column - 1, 0), l.to);
  view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
  view.focus();
}

async function sendBreakpoints() {
  if (!lastAssembly) return;
  await ask('breakpoints', { lines: breakLines() });
}

// --- running --------------------------------------------------------------------
let isRunning = false;
function setControls(loaded) {
  $('run').disabled = !loaded || isRunning;
  $('pause').disabled = !isRunning;
  $('step').disabled = !loaded || isRunning;
  $('reset').disabled = !loaded;
}
function setRunning(on) {
  isRunning = on;
  setControls(!!lastAssembly);
  for (const input of document.querySelectorAll('.editable')) input.readOnly = on;
  if (on) {
    view.dispatch({ effects: setRunLine.of(0) });
    say('Running.');
  }
}

const stopTexts = {
  breakpoint: 'Stopped at a breakpoint',
  break: 'Stopped after the BREAK',
  paused: 'Paused',
  step: 'Stepped',
  reset: 'Reset',
  assembled: 'Ready',
  sleep: 'Sleeping',
  idle: 'No program: assemble first',
};

function showStop(state, reason) {
  setControls(!!lastAssembly && state && state.ready);
  if (!state || !state.ready) return;
  showRegisters(state, true);
  showPins(state);
  if (state.line) view.dispatch({ effects: setRunLine.of(state.line) });
  const text = stopTexts[reason] || 'Stopped';
  say(`${text} at line ${state.line || '?'} (PC ${hex(state.pc, 3)}), ${formatTime(state.timeUs)}.`);
}

let registersShownAt = 0;
function showLive(data) {
  if (data.serial) appendSerial(data.serial);
  if (data.wave) wave.add(data.wave, data.state);
  if (data.state && data.state.ready) {
    showPins(data.state);
    // A running chip's registers change too fast to read: four times a second.
    const now = performance.now();
    if (data.type === 'tick' && now - registersShownAt > 250) {
      registersShownAt = now;
      showRegisters(data.state, false);
    }
  }
}

function hex(value, digits) {
  return value.toString(16).toUpperCase().padStart(digits, '0');
}
function formatTime(us) {
  if (us >= 1e6) return `${(us / 1e6).toFixed(3)} s`;
  if (us >= 1e3) return `${(us / 1e3).toFixed(3)} ms`;
  return `${us.toFixed(3)} µs`;
}

// --- registers ------------------------------------------------------------------
// The cells are made once for a chip's layout and then only updated, so
// that a running chip's reports cost the page little.
let shownRegisters = new Map(); // name -> value at the last stop
let cells = new Map(); // name -> {input, row, bits, digits}
let layoutKey = '';

function showRegisters(state, atStop) {
  const key = state.registers.map((r) => r.name).join() + '|' + state.ram.map((b) => b.name).join();
  if (key !== layoutKey) buildRegisterCells(state, (layoutKey = key));
  const before = shownRegisters;
  const now = new Map();
  const update = (name, value) => {
    now.set(name, value);
    const cell = cells.get(name);
    const text = hex(value, cell.digits);
    if (cell.input.value !== text && document.activeElement !== cell.input) cell.input.value = text;
    const changed = before.has(name) && before.get(name) !== value;
    cell.row.classList.toggle('changed', changed);
    if (changed) cell.input.setAttribute('aria-description', 'changed');
    else cell.input.removeAttribute('aria-description');
    cell.bits.forEach(({ span, label, bit }) => {
      const on = (value >> bit) & 1;
      span.className = on ? 'bit on' : 'bit';
      span.textContent = `${label}=${on}`;
    });
  };
  for (const r of state.registers) update(r.name, r.value);
  for (const bank of state.ram) bank.values.forEach((v, i) => update(`RAM ${hex(bank.address + i, 2)}`, v));
  if (atStop) shownRegisters = now;
}

function makeCell(name, digits, writable, write) {
  const input = document.createElement('input');
  input.size = digits;
  input.setAttribute('aria-label', name);
  input.readOnly = !writable || isRunning;
  if (writable) input.classList.add('editable');
  input.addEventListener('change', async () => {
    const typed = input.value.trim().replace(/^(\$|0x)/i, '').replace(/h$/i, '');
    const reason = await write(typed);
    if (reason) say(reason);
    showRegisters(await ask('state'), true);
  });
  return input;
}

function buildRegisterCells(state) {
  cells = new Map();
  const rows = state.registers.map((r) => {
    const row = document.createElement('div');
    row.className = 'register';
    const label = document.createElement('label');
    label.textContent = r.name;
    const digits = r.width > 8 ? 3 : 2;
    const input = makeCell(r.name, digits, r.writable, (typed) => ask('setRegister', { name: r.name, value: `$${typed}` }));
    label.append(input);
    row.append(label);
    const bits = [];
    if (r.bits.some((b) => b)) {
      const box = document.createElement('span');
      box.className = 'bits';
      r.bits.forEach((b, i) => {
        if (!b) return;
        const span = document.createElement('span');
        box.append(span);
        bits.push({ span, label: b, bit: 7 - i });
      });
      row.append(box);
    }
    cells.set(r.name, { input, row, bits, digits });
    return row;
  });
  $('registers-table').replaceChildren(...rows);
  const banks = state.ram.map((bank) => {
    const row = document.createElement('div');
    row.className = 'bank';
    const title = document.createElement('span');
    title.className = 'bank-name';
    title.textContent = bank.name;
    row.append(title);
    bank.values.forEach((v, i) => {
      const name = `RAM ${hex(bank.address + i, 2)}`;
      const input = makeCell(name, 2, true, (typed) =>
        ask('setRam', { address: bank.address + i, value: /^[0-9a-f]{1,2}$/i.test(typed) ? parseInt(typed, 16) : -1 }),
      );
      input.title = name;
      row.append(input);
      cells.set(name, { input, row: input, bits: [], digits: 2 });
    });
    return row;
  });
  $('ram').replaceChildren(...banks);
}

// --- pins -------------------------------------------------------------------------
let pinKey = '';
function showPins(state) {
  const box = $('pins-list');
  const key = state.pins.map((p) => p.name + p.output).join();
  if (key !== pinKey) {
    pinKey = key;
    box.replaceChildren(
      ...state.pins.map((p) => {
        const row = document.createElement('div');
        row.className = 'pin';
        row.dataset.pin = p.name;
        const name = document.createElement('span');
        name.className = 'pin-name';
        name.textContent = p.name;
        const level = document.createElement('span');
        level.className = 'pin-level';
        row.append(name, level);
        if (p.output) {
          const lamp = document.createElement('span');
          lamp.className = 'lamp';
          lamp.setAttribute('role', 'img');
          row.append(lamp);
        } else {
          const sw = document.createElement('button');
          sw.className = 'switch';
          sw.setAttribute('role', 'switch');
          sw.setAttribute('aria-label', p.name);
          // A click drives the pin to the level it does not carry now: a
          // button held high by its pull-up is pressed to 0 first.
          sw.addEventListener('click', async () => {
            const level = sw.getAttribute('aria-checked') === 'true' ? 0 : 1;
            const reason = await ask('setPin', { pin: p.name, level });
            if (reason) say(reason);
            if (!isRunning) showPins(await ask('state'));
          });
          row.append(sw);
        }
        return row;
      }),
    );
  }
  for (const p of state.pins) {
    const row = box.querySelector(`[data-pin="${p.name}"]`);
    row.querySelector('.pin-level').textContent = p.level;
    const lamp = row.querySelector('.lamp');
    if (lamp) {
      lamp.classList.toggle('on', p.level === '1');
      lamp.setAttribute('aria-label', `${p.name} lamp ${p.level === '1' ? 'on' : 'off'}`);
    }
    const sw = row.querySelector('.switch');
    if (sw) {
      sw.setAttribute('aria-checked', p.high ? 'true' : 'false');
      sw.textContent = p.high ? 'on' : 'off';
    }
  }
}

// --- serial ---------------------------------------------------------------------
const MAX_SERIAL_TEXT = 64 * 1024;
function appendSerial(text) {
  if (!text) return;
  const out = $('serial-output');
  let all = out.textContent + text;
  if (all.length > MAX_SERIAL_TEXT) all = all.slice(all.length - MAX_SERIAL_TEXT);
  out.textContent = all;
  out.scrollTop = out.scrollHeight;
}
$('serial-input').addEventListener('keydown', (event) => {
  let bytes = null;
  if (event.key === 'Enter') bytes = '\r';
  else if (event.key === 'Backspace') bytes = '\b';
  else if (event.key.length === 1 && !event.ctrlKey && !event.metaKey) bytes = event.key;
  if (bytes === null) return;
  event.preventDefault();
  tell('serialSend', { bytes });
});
async function applySerialPins() {
  const pins = `${$('serial-rx').value.trim()},${$('serial-tx').value.trim()}:${$('serial-baud').value.trim()}`;
  const reason = await ask('setSerial', { pins });
  if (reason) say(reason);
  else if (lastAssembly) {
    say(`The serial terminal now listens on ${$('serial-tx').value} and sends on ${$('serial-rx').value} at ${$('serial-baud').value} baud; the chip was reset.`);
    showStop(await ask('state'), 'reset');
  }
}
for (const id of ['serial-rx', 'serial-tx', 'serial-baud']) $(id).addEventListener('change', applySerialPins);

// --- waveform -------------------------------------------------------------------
const wave = new WaveformView($('waveform-canvas'), () => $('waveform-pins').value);
function resetWave(state) {
  wave.reset(state);
}
$('waveform-pins').addEventListener('change', () => wave.draw());
$('download-vcd').addEventListener('click', async () => {
  const { text, note } = await ask('vcd');
  download(`${stem()}.vcd`, text);
  if (note) say(note);
});

// --- files ----------------------------------------------------------------------
// Hands `contents` (bytes or a text, which goes as UTF-8) to the browser
// as a download named `name`.
function saveAs(name, contents, type = 'text/plain') {
  const url = URL.createObjectURL(new Blob([contents], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}
// A text whose characters are bytes becomes the file byte for byte.
const download = (name, text) => saveAs(name, latin1Bytes(text));
const stem = () => sourceName.replace(/\.[^.]*$/, '');
// Saved in the encoding it came in: a UTF-8 text as UTF-8, a Latin-1 one
// byte for byte.
$('save').addEventListener('click', () => {
  const text = view.state.doc.toString();
  saveAs(sourceName, encodingNow() === 'latin1' ? latin1Bytes(text) : text);
});
$('download-sxh').addEventListener('click', async () => lastAssembly && download(`${stem()}.sxh`, await ask('hex')));
$('download-lst').addEventListener('click', async () => lastAssembly && download(`${stem()}.lst`, await ask('listing')));

// A source is text: bytes taken one to a character (the assembler's
// Latin-1), refused when it holds NUL bytes or is too large to edit.
$('open-file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  if (file.size > MAX_OPEN_BYTES) {
    say(`${file.name} is ${(file.size / 1048576).toFixed(1)} MB; the playground opens sources up to ${MAX_OPEN_BYTES >> 20} MB. The editor keeps its text.`);
    return;
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (bytes.includes(0)) {
    say(`${file.name} is not a text file (it holds NUL bytes); the editor keeps its text.`);
    return;
  }
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    sourceEncoding = 'utf-8';
  } catch {
    text = '';
    for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
    sourceEncoding = 'latin1';
  }
  sourceName = file.name;
  setSource(text);
  await chooseFromSource();
  await assemble();
  view.focus();
});

// --- examples -------------------------------------------------------------------
for (const e of examples) {
  const option = document.createElement('option');
  option.value = e.name;
  option.textContent = e.name;
  $('examples').append(option);
}
$('examples').addEventListener('change', async () => {
  const e = examples.find((x) => x.name === $('examples').value);
  if (!e) return;
  sourceName = e.name;
  sourceEncoding = 'latin1'; // bundled one byte a character, as read
  setSource(e.source);
  $('test-text').value = e.test || '';
  await chooseFromSource();
  await assemble();
});

// The family and dialect that the source itself names (its korvid comment
// or DEVICE) become the choices.
async function chooseFromSource() {
  const answer = await ask('assemble', { source: view.state.doc.toString(), encoding: encodingNow(), name: sourceName, family: '', dialect: '' });
  if (answer.family) $('family').value = answer.family;
  if (answer.dialect) $('dialect').value = answer.dialect;
  lspSettingsChanged();
  store();
}

$('assemble').addEventListener('click', assemble);
$('run').addEventListener('click', () => tell('run', { mode: $('speed').value }));
$('pause').addEventListener('click', () => tell('pause'));
$('step').addEventListener('click', async () => {
  const answer = await ask('step');
  showLive({ wave: null, state: answer.state });
  showStop(answer.state, 'step');
});
$('reset').addEventListener('click', async () => {
  const state = await ask('reset');
  $('serial-output').textContent = '';
  resetWave(state);
  shownRegisters = new Map();
  showStop(state, 'reset');
});
$('speed').addEventListener('change', () => tell('speed', { mode: $('speed').value }));
for (const id of ['family', 'dialect']) {
  $(id).addEventListener('change', () => {
    lspSettingsChanged();
    store();
    assemble();
  });
}

// --- share ----------------------------------------------------------------------
$('share').addEventListener('click', async () => {
  const fragment = await packShare({ source: view.state.doc.toString(), encoding: encodingNow(), family: $('family').value, dialect: $('dialect').value, name: sourceName });
  window.history.replaceState(null, '', `#${fragment}`);
  $('link').value = location.href;
  $('link').select();
  say('The link holds the source, the family and the dialect; nothing was sent anywhere.');
});

// --- tests ----------------------------------------------------------------------
for (const tab of document.querySelectorAll('[role="tab"]')) {
  tab.addEventListener('click', () => selectTab(tab));
  tab.addEventListener('keydown', (event) => {
    if (event.key !== 'ArrowRight' && event.key !== 'ArrowLeft') return;
    const tabs = [...document.querySelectorAll('[role="tab"]')];
    const next = tabs[(tabs.indexOf(tab) + (event.key === 'ArrowRight' ? 1 : tabs.length - 1)) % tabs.length];
    selectTab(next);
    next.focus();
  });
}
function selectTab(tab) {
  for (const t of document.querySelectorAll('[role="tab"]')) {
    const on = t === tab;
    t.setAttribute('aria-selected', on ? 'true' : 'false');
    t.tabIndex = on ? 0 : -1;
    $(t.getAttribute('aria-controls')).hidden = !on;
  }
}
$('run-tests').addEventListener('click', async () => {
  $('test-results').textContent = 'Running…';
  const answer = await ask('test', { text: $('test-text').value, source: view.state.doc.toString(), encoding: encodingNow(), name: sourceName });
  $('test-results').textContent = answer.text;
  $('test-results').dataset.status = answer.status;
  store();
});
$('test-text').addEventListener('input', () => {
  clearTimeout(saveTimer);
  saveTimer = setTimeout(store, 300);
});

// --- start ----------------------------------------------------------------------
async function start() {
  await ready;
  let kept = null;
  if (location.hash.length > 1) {
    try {
      kept = await unpackShare(location.hash.slice(1));
    } catch (error) {
      say(`The link could not be read (${error.message}); the last source is shown instead.`);
    }
  }
  kept = kept || restore();
  if (kept && typeof kept.source === 'string') {
    sourceName = kept.name || 'program.src';
    sourceEncoding = kept.encoding === 'latin1' ? 'latin1' : 'utf-8';
    setSource(kept.source);
    if (kept.family) $('family').value = kept.family;
    if (kept.dialect) $('dialect').value = kept.dialect;
    if (typeof kept.test === 'string') $('test-text').value = kept.test;
  } else {
    const first = examples.find((e) => e.name === 'blink.src') || examples[0];
    sourceName = first.name;
    sourceEncoding = 'latin1';
    setSource(first.source);
    $('test-text').value = first.test || '';
    $('examples').value = first.name;
    await chooseFromSource();
  }
  syncLsp();
  await assemble();
  document.body.dataset.ready = 'true';
}
start();
