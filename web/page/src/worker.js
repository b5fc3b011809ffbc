import { latin1Bytes } from './bytes.js';

// The page's worker: holds the WebAssembly module (korvid.js) and its
// playground object, answers the page's requests, and runs the chip in
// bounded slices so that a program that never stops leaves both the page
// and this worker free to hear "pause". Real time is kept by running, each
// slice, the cycles that the wall clock says are due at the chip's clock.

const pending = [];
let playground = null;

self.Module = {
  noInitialRun: true,
  print: (text) => captured && captured.push(text),
  printErr: (text) => captured && captured.push(text),
  onRuntimeInitialized() {
    playground = new self.Module.Playground('/playground');
    for (const message of pending.splice(0)) handle(message);
    self.postMessage({ type: 'ready' });
  },
};
let captured = null;
try {
  self.importScripts('korvid.js');
} catch (error) {
  self.postMessage({ type: 'failed', message: `the WebAssembly module did not load: ${error.message}` });
}

const SLICE_MS = 16; // the work between two looks at the page's messages
const REPORT_MS = 50; // how often a running chip shows its pins and serial
let running = null; // {mode, started, cyclesAtStart, perSecond, timer}
let fastCycles = 200000;

// The source's bytes as its file holds them: one a character for a file
// read as Latin-1, else UTF-8.
function bytesOf(text, encoding) {
  return encoding === 'latin1' ? latin1Bytes(text) : new TextEncoder().encode(text);
}

function json(text) {
  return JSON.parse(text);
}

function post(type, extra) {
  self.postMessage({ type, ...extra });
}

// What the page shows of a chip that runs or has stopped: its state, the
// serial bytes and the pin changes since the last report.
function report(type, extra) {
  post(type, {
    state: json(playground.state()),
    serial: json(playground.takeSerial()),
    wave: json(playground.takeWave()),
    ...extra,
  });
}

function stop(reason) {
  if (!running) return;
  clearTimeout(running.timer);
  running = null;
  report('stopped', { reason });
}

function slice() {
  if (!running) return;
  const now = performance.now();
  let cycles;
  if (running.mode === 'realtime') {
    const due = running.cyclesAtStart + ((now - running.started) / 1000) * running.perSecond;
    const state = running.lastCycle;
    // A chip that cannot keep up does not pile up debt: at most 100 ms a slice.
    cycles = Math.min(due - state, running.perSecond / 10);
    if (cycles < 1) {
      running.timer = setTimeout(slice, SLICE_MS);
      return;
    }
  } else {
    cycles = fastCycles;
  }
  const begun = performance.now();
  const answer = json(playground.run(cycles));
  const spent = performance.now() - begun;
  running.busy += spent;
  if (running.mode === 'fast') {
    // Slices of about SLICE_MS whatever the program does.
    fastCycles = Math.max(1000, Math.min(50e6, Math.round((fastCycles * SLICE_MS) / Math.max(spent, 0.5))));
  }
  running.lastCycle = answer.state.cycle;
  if (answer.stop === 'breakpoint' || answer.stop === 'break') {
    const reason = answer.stop;
    clearTimeout(running.timer);
    running = null;
    report('stopped', { reason });
    return;
  }
  // A page still busy with the last report gets no new one: reports never
  // pile up in its queue, however fast the chip changes its pins.
  if (now - running.reported >= REPORT_MS && !running.awaitingAck) {
    running.awaitingAck = true;
    // The share of this worker's time the emulator took since the last report.
    const load = running.reported ? running.busy / (now - running.reported) : 0;
    running.reported = now;
    running.busy = 0;
    report('tick', { load });
  }
  running.timer = setTimeout(slice, running.mode === 'fast' ? 0 : SLICE_MS);
}

function start(mode) {
  if (running) return;
  const state = json(playground.state());
  if (!state.ready) {
    post('stopped', { reason: 'idle', state });
    return;
  }
  running = {
    mode,
    started: performance.now(),
    cyclesAtStart: state.cycle,
    lastCycle: state.cycle,
    perSecond: state.cyclesPerSecond,
    reported: 0,
    busy: 0,
    awaitingAck: false,
    timer: 0,
  };
  post('running', {});
  slice();
}

const requests = {
  assemble: ({ source, encoding, name, family, dialect, breakpoints }) => {
    stop('assembled');
    const begun = performance.now();
    const answer = json(playground.assemble(bytesOf(source, encoding), name, family, dialect));
    if (answer.ok && breakpoints) playground.setBreakpoints(JSON.stringify(breakpoints));
    answer.workerMs = performance.now() - begun; // the bench reads it
    return answer;
  },
  // Each byte a character of the same code.
  listing: () => playground.listing(),
  hex: () => playground.hex(),
  reset: () => {
    stop('reset');
    return json(playground.reset());
  },
  step: () => {
    stop('step');
    return json(playground.step());
  },
  breakpoints: ({ lines }) => json(playground.setBreakpoints(JSON.stringify(lines))),
  state: () => json(playground.state()),
  setRegister: ({ name, value }) => playground.setRegister(name, value),
  setRam: ({ address, value }) => playground.setRam(address, value),
  setPin: ({ pin, level }) => playground.setPin(pin, level),
  setSerial: ({ pins }) => {
    stop('reset');
    return playground.setSerial(pins);
  },
  serialSend: ({ bytes }) => playground.serialSend(bytes),
  vcd: () => ({ text: playground.vcd(), note: playground.vcdNote() }),
  lsp: ({ message }) => json(playground.lsp(JSON.stringify(message))),
  test: ({ text, source, encoding, name }) => {
    captured = [];
    try {
      return json(playground.runTest(text, bytesOf(source, encoding), name));
    } finally {
      captured = null;
    }
  },
  run: ({ mode }) => start(mode),
  ack: () => {
    if (running) running.awaitingAck = false;
  },
  pause: () => stop('paused'),
  speed: ({ mode }) => {
    if (!running || running.mode === mode) return;
    running.mode = mode;
    running.started = performance.now();
    running.cyclesAtStart = running.lastCycle;
  },
};

function handle({ id, op, args }) {
  try {
    const result = requests[op](args || {});
    if (id !== undefined) post('answer', { id, result });
  } catch (error) {
    if (id !== undefined) post('answer', { id, error: String(error && error.message ? error.message : error) });
  }
}

self.onmessage = (event) => {
  if (!playground) pending.push(event.data);
  else handle(event.data);
};
