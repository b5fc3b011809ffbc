// korvid dap driven by the registry's own debug adapter client, as an
// editor drives it: a session on the blink example (breakpoints, each step
// kind, step back and reverse continue against the forward run, variables,
// evaluate, memory), the serial example's output, and broken clients.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import net from 'node:net';
import path from 'node:path';
import { chmodSync, mkdirSync, mkdtempSync, readFileSync, symlinkSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import { DebugClient } from '@vscode/debugadapter-testsupport';

const korvid = process.env.KORVID_BIN;
const root = process.env.KORVID_SOURCE_DIR;
assert.ok(korvid && root, 'KORVID_BIN and KORVID_SOURCE_DIR must be set');
const blink = path.join(root, 'examples', 'blink.src');
const serial = path.join(root, 'examples', 'serial_tx.src');

async function session(launch, breakpoints = []) {
  const dc = new DebugClient(korvid, 'dap', 'korvid');
  await dc.start();
  await dc.initializeRequest();
  await Promise.all([dc.waitForEvent('initialized'), dc.launch(launch)]);
  const set = await dc.setBreakpointsRequest({ source: { path: launch.program }, breakpoints });
  const stopped = dc.waitForEvent('stopped');
  await dc.configurationDoneRequest();
  return { dc, set: set.body.breakpoints, first: await stopped };
}

// Sends a request that stops the chip and returns the stop with the top frame.
async function stop(dc, command, args = {}) {
  const stopped = dc.waitForEvent('stopped');
  await dc.send(command, { threadId: 1, ...args });
  const event = await stopped;
  const frames = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
  return { reason: event.body.reason, hit: event.body.hitBreakpointIds, frames, line: frames[0].line, name: frames[0].name };
}

const evaluate = async (dc, expression) => (await dc.evaluateRequest({ expression, context: 'watch' })).body.result;
async function variables(dc, name) {
  const scopes = (await dc.scopesRequest({ frameId: 0 })).body.scopes;
  const ref = scopes.find((s) => s.name === name).variablesReference;
  return (await dc.variablesRequest({ variablesReference: ref })).body.variables;
}
const valueOf = (vars, name) => vars.find((v) => v.name === name).value;

test('blink: breakpoints moved to code, steps, stack, step back and reverse continue', async () => {
  // Line 19 is blank (moves to main, 20), 26 a comment (to delay, 27), 40
  // lies past the last code line.
  const { dc, set, first } = await session({ program: blink, stopOnEntry: true }, [{ line: 19 }, { line: 26 }, { line: 40 }]);
  try {
    assert.equal(first.body.reason, 'entry');
    // From the reset vector: into start's two-word MOV, then over it whole
    // by line, or one word by instruction.
    assert.equal((await stop(dc, 'stepIn')).line, 17);
    assert.equal((await stop(dc, 'stepIn', { granularity: 'instruction' })).line, 17);
    assert.equal((await stop(dc, 'stepIn')).line, 18);
    assert.deepEqual(set.map((b) => [b.verified, b.line]), [[true, 20], [true, 27], [false, 40]]);

    let s = await stop(dc, 'continue');
    assert.deepEqual([s.reason, s.line, s.name, s.hit], ['breakpoint', 20, 'main', [set[0].id]]);
    s = await stop(dc, 'continue');
    assert.deepEqual([s.reason, s.line, s.name], ['breakpoint', 27, 'delay']);
    // The caller's frame is the CALL line.
    assert.deepEqual(s.frames.map((f) => [f.name, f.line]), [['delay', 27], ['main+1', 21]]);

    // Out of delay: the stopwatch holds the cycles of the whole call.
    const before = Number(valueOf(await variables(dc, 'Timing'), 'cycles'));
    s = await stop(dc, 'stepOut');
    assert.deepEqual([s.reason, s.line], ['step', 22]);
    const timing = await variables(dc, 'Timing');
    assert.equal(Number(valueOf(timing, 'since last stop')), Number(valueOf(timing, 'cycles')) - before);
    assert.ok(Number(valueOf(timing, 'since last stop')) > 9_000_000);

    s = await stop(dc, 'stepIn');
    assert.equal(s.line, 23);
    // A breakpoint inside the called routine stops `next` there.
    s = await stop(dc, 'next');
    assert.deepEqual([s.reason, s.line], ['breakpoint', 27]);
    assert.equal((await stop(dc, 'stepOut')).line, 24);
    s = await stop(dc, 'stepIn');
    assert.deepEqual([s.line, s.name], [20, 'main']);
    assert.equal((await stop(dc, 'stepIn')).line, 21);
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [] });
    s = await stop(dc, 'next');
    assert.deepEqual([s.reason, s.line], ['step', 22]);
    const afterCall = { regs: await variables(dc, 'Registers'), cycles: valueOf(await variables(dc, 'Timing'), 'cycles') };

    // One step back from after the call is its RET, with the counters at 0.
    s = await stop(dc, 'stepBack');
    assert.deepEqual([s.line, s.frames.length], [33, 2]);
    assert.equal(await evaluate(dc, 'count3'), '$00 (0) in 0Ah');
    // Back to the last DJNZ of the inner loop: every counter at 1.
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [{ line: 30 }] });
    s = await stop(dc, 'reverseContinue');
    assert.deepEqual([s.reason, s.line], ['breakpoint', 30]);
    assert.deepEqual([await evaluate(dc, 'count1'), await evaluate(dc, 'count2'), await evaluate(dc, 'COUNT3')],
      ['$01 (1) in 08h', '$01 (1) in 09h', '$01 (1) in 0Ah']);
    // Forward again from there: the same state as the first time after the call.
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [{ line: 22 }] });
    s = await stop(dc, 'continue');
    assert.equal(s.line, 22);
    assert.deepEqual(await variables(dc, 'Registers'), afterCall.regs);
    assert.equal(valueOf(await variables(dc, 'Timing'), 'cycles'), afterCall.cycles);
  } finally {
    await dc.stop();
  }
});

test('blink: conditions, hit counts, instruction breakpoints, variables, evaluate, memory', async () => {
  const { dc, set } = await session({ program: blink, stopOnEntry: true },
    [{ line: 30, condition: 'count1 == 3' }, { line: 27, hitCondition: '2' }]);
  try {
    assert.ok(set.every((b) => b.verified));
    let s = await stop(dc, 'continue');
    assert.equal(s.line, 30);
    assert.equal(await evaluate(dc, 'count1'), '$03 (3) in 08h');
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [{ line: 27, hitCondition: '2' }] });
    s = await stop(dc, 'continue');
    assert.deepEqual([s.line, s.frames[1].line], [27, 21]);  // the second call from here on

    const ib = await dc.send('setInstructionBreakpoints', { breakpoints: [{ instructionReference: '0x003' }, { instructionReference: '0x2000' }] });
    assert.deepEqual(ib.body.breakpoints.map((b) => [b.verified, b.line]), [[true, 20], [false, undefined]]);
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [] });
    s = await stop(dc, 'continue');
    assert.deepEqual([s.reason, s.line], ['breakpoint', 20]);

    // Registers with named bits; writes through setVariable and evaluate.
    const regs = await variables(dc, 'Registers');
    const status = regs.find((r) => r.name === 'STATUS');
    const bits = (await dc.variablesRequest({ variablesReference: status.variablesReference })).body.variables;
    assert.deepEqual(bits.map((b) => b.name), ['PA2', 'PA1', 'PA0', 'TO', 'PD', 'Z', 'DC', 'C']);
    assert.equal((await dc.setVariableRequest({ variablesReference: 1, name: 'W', value: '$5A' })).body.value, '$5A (90)');
    await dc.setVariableRequest({ variablesReference: status.variablesReference, name: 'C', value: '1' });
    assert.deepEqual([await evaluate(dc, 'w'), await evaluate(dc, 'STATUS.C'), await evaluate(dc, 'STATUS.0')], ['$5A (90)', '1', '1']);
    await assert.rejects(dc.setVariableRequest({ variablesReference: 1, name: 'W', value: 'lots' }));
    await assert.rejects(dc.evaluateRequest({ expression: 'nowhere' }));
    assert.equal(await evaluate(dc, 'main'), '$003 (main)');
    // The WATCH list in its format, and RAM by bank:address.
    await dc.setVariableRequest({ variablesReference: 2000, name: '0Ah', value: '200' });
    assert.equal(valueOf(await variables(dc, 'Watches'), 'count3'), '200');
    assert.equal(await evaluate(dc, '0:0A'), '$C8 (200)');

    const wrote = await dc.send('writeMemory', { memoryReference: 'ram', offset: 8, data: Buffer.from([1, 2]).toString('base64') });
    assert.equal(wrote.body.bytesWritten, 2);
    const read = await dc.send('readMemory', { memoryReference: 'ram', offset: 8, count: 3 });
    assert.deepEqual([...Buffer.from(read.body.data, 'base64')], [1, 2, 200]);
    const code = await dc.send('readMemory', { memoryReference: 'code', offset: 6, count: 2 });
    assert.deepEqual([...Buffer.from(code.body.data, 'base64')], [0x06, 0x05]);  // SETB RB.0 at 3
    // Program words are written whole, 12 bits each; the disassembly follows.
    const b64 = (bytes) => Buffer.from(bytes).toString('base64');
    assert.equal((await dc.send('writeMemory', { memoryReference: 'code', offset: 14, data: b64([0x00, 0x00]) })).body.bytesWritten, 2);
    await assert.rejects(dc.send('writeMemory', { memoryReference: 'code', offset: 14, data: b64([0x00]) }), /written whole/);
    await assert.rejects(dc.send('writeMemory', { memoryReference: '0x007', data: b64([0x00, 0xF0]) }), /12 bits/);
    assert.equal((await dc.send('disassemble', { memoryReference: '0x007', instructionCount: 1 })).body.instructions[0].instruction.trim(), 'NOP');

    const dis = (await dc.send('disassemble', { memoryReference: '0x003', instructionCount: 2 })).body.instructions;
    assert.deepEqual(dis.map((i) => [i.address, i.instruction.replace(/\s+/g, ' '), i.symbol, i.line]),
      [['0x003', 'SETB RB.0', 'main', 20], ['0x004', 'CALL 008', undefined, 21]]);

    const targets = (await dc.send('gotoTargets', { source: { path: blink }, line: 24 })).body.targets;
    const g = dc.waitForEvent('stopped');
    await dc.send('goto', { threadId: 1, targetId: targets[0].id });
    assert.equal((await g).body.reason, 'goto');
    assert.equal((await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0].line, 24);
  } finally {
    await dc.stop();
  }
});

test('serial example: the program\'s serial output as output events and a waveform, pause while it runs', async () => {
  const wave = path.join(mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-')), 'serial.vcd');
  const dc = new DebugClient(korvid, 'dap', 'korvid');
  await dc.start();
  let text = '';
  dc.on('output', (e) => { if (e.body.category === 'stdout') text += e.body.output; });
  try {
    await dc.initializeRequest();
    await Promise.all([dc.waitForEvent('initialized'), dc.launch({ program: serial, uartOut: 'RB.6:9600', vcd: wave })]);
    const stopped = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    await new Promise((r) => setTimeout(r, 300));
    await dc.send('pause', { threadId: 1 });
    assert.equal((await stopped).body.reason, 'pause');
    assert.equal(text, 'Hello from the SX\r\n');
    // A step back replays without sending the text again.
    await stop(dc, 'stepBack');
    await stop(dc, 'stepIn');
    assert.equal(text, 'Hello from the SX\r\n');
  } finally {
    await dc.stop();
  }
  // The waveform is complete once the session ends: the serial line's
  // falling edges, start bits of the 19 characters, are all in it.
  const vcd = readFileSync(wave, 'latin1');
  assert.match(vcd, /\$enddefinitions/);
  assert.ok(vcd.split('\n').filter((l) => /^#\d+$/.test(l)).length > 19 * 2);
});

// korvid.js in node (tests/web) serves on standard input and output only.
const portCases = { skip: process.env.KORVID_DAP_PORT === 'no' ? 'no listening port in this build' : false };
test('over a loopback port: restart goes back to the entry, a second launch is refused', portCases, async () => {
  const port = 20000 + (process.pid % 20000);
  const child = spawn(korvid, ['dap', '--port', String(port)], { stdio: ['ignore', 'ignore', 'pipe'] });
  await new Promise((resolve) => child.stderr.on('data', (d) => { if (/listening/.test(d)) resolve(); }));
  const dc = new DebugClient(korvid, 'dap', 'korvid');
  await dc.start(port);
  try {
    await dc.initializeRequest();
    await Promise.all([dc.waitForEvent('initialized'), dc.launch({ program: blink, stopOnEntry: true })]);
    const entry = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    await entry;
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [{ line: 27 }] });
    assert.equal((await stop(dc, 'continue')).line, 27);
    await assert.rejects(dc.launch({ program: blink }), /already launched/);
    const again = dc.waitForEvent('stopped');
    await dc.send('restart', {});
    assert.equal((await again).body.reason, 'entry');
    assert.equal(valueOf(await variables(dc, 'Timing'), 'cycles'), '0');
  } finally {
    await dc.stop();
    if (child.exitCode === null && child.signalCode === null) await new Promise((resolve) => child.on('exit', resolve));
  }
});

// What `--port` refuses, said in the same words on every system: a port
// that another program listens on, and numbers that are no port.
test('over a loopback port: a port in use and a port that is none are refused with the reason', portCases, async () => {
  const held = net.createServer();
  await new Promise((resolve) => held.listen(0, '127.0.0.1', resolve));
  const busy = held.address().port;
  try {
    for (const [port, status, message] of [
      [busy, 1, `korvid dap: cannot listen on 127.0.0.1:${busy}: Address already in use`],
      ['0', 2, '--port takes a port number 1 to 65535'],
      ['65536', 2, '--port takes a port number 1 to 65535'],
    ]) {
      const run = spawnSync(korvid, ['dap', '--port', String(port)], { encoding: 'utf8', input: '', timeout: 30000 });
      assert.equal(run.status, status, `--port ${port}: ${run.stderr}`);
      assert.ok(run.stderr.replace(/\r\n/g, '\n').includes(message), `--port ${port}: ${run.stderr}`);
    }
  } finally {
    held.close();
  }
});

// A disconnect while the simulated chip runs is seen at once: it is
// answered, the adapter ends with status 0 and nothing on stderr, and the
// waveform it wrote is complete.
test('blink: a disconnect while the chip runs ends the adapter', async () => {
  const wave = path.join(mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-')), 'blink.vcd');
  const dc = new DebugClient(korvid, 'dap', 'korvid');
  await dc.start();
  let errors = '';
  dc._adapterProcess.stderr.on('data', (d) => { errors += d; });
  const exited = new Promise((resolve) => dc._adapterProcess.on('close', resolve));
  try {
    await dc.initializeRequest();
    await Promise.all([dc.waitForEvent('initialized'), dc.launch({ program: blink, vcd: wave })]);
    await dc.configurationDoneRequest();
    await new Promise((r) => setTimeout(r, 300));
    assert.equal((await dc.disconnectRequest({})).success, true);
    assert.equal(await exited, 0);
    assert.equal(errors, '');
  } catch (e) {
    dc.stopAdapter();  // not stop(): its disconnect would wait for an adapter that is gone
    throw e;
  }
  // Complete: the header, and the run's end stamped after the start.
  const vcd = readFileSync(wave, 'latin1');
  assert.match(vcd, /\$enddefinitions/);
  assert.ok(vcd.split('\n').filter((l) => /^#\d+$/.test(l)).length >= 2, vcd);
});

test('faults of the program stop it with an exception, unless its filter is off', async () => {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-'));
  const cases = [
    { name: 'runs off its code', text: 'start   NOP\n        NOP\n', device: '', stop: /executing \$002, a word the program did not write/ },
    { name: 'stack overflow', text: 'start   CALL    deeper\ndeeper  CALL    deeper\n', device: '', stop: /stack overflow: the CALL at \$001 found all 2 levels/, filter: 'stack' },
    { name: 'stack underflow', text: 'start   NOP\n        RET\n', device: '', stop: /stack underflow: the return at \$001 found no CALL's return address/, filter: 'stack' },
    { name: 'watchdog', text: 'start   MOV     !OPTION, #%1111_0111\nloop    JMP     loop\n', device: ', WATCHDOG', stop: /watchdog reset/, filter: 'watchdog' },
  ];
  for (const c of cases) {
    const file = path.join(dir, c.name.replace(/ /g, '_') + '.src');
    writeFileSync(file, `        DEVICE  SX28L, OSCHS2, TURBO${c.device}\n        RESET   start\n        ORG     0\n${c.text}`);
    const { dc, first } = await session({ program: file });
    try {
      assert.equal(first.body.reason, 'exception', c.name);
      assert.match(first.body.text, c.stop, c.name);
    } finally {
      await dc.stop();
    }
    if (!c.filter) continue;
    // With only the other filter chosen, the program runs on as the chip would.
    const quiet = new DebugClient(korvid, 'dap', 'korvid');
    await quiet.start();
    try {
      const filters = (await quiet.initializeRequest()).body.exceptionBreakpointFilters.map((f) => f.filter);
      assert.deepEqual(filters, ['stack', 'watchdog']);
      await Promise.all([quiet.waitForEvent('initialized'), quiet.launch({ program: file })]);
      await quiet.send('setExceptionBreakpoints', { filters: filters.filter((f) => f !== c.filter) });
      const stopped = quiet.waitForEvent('stopped');
      await quiet.configurationDoneRequest();
      await new Promise((r) => setTimeout(r, 200));
      await quiet.send('pause', { threadId: 1 });
      assert.equal((await stopped).body.reason, 'pause', c.name);
    } finally {
      await quiet.stop();
    }
  }
});

test('a hex file of the other family is launched after a warning', async () => {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-'));
  const hex = path.join(dir, 'blink28.sxh');
  execFileSync(korvid, ['asm', blink, '-o', hex]);
  const dc = new DebugClient(korvid, 'dap', 'korvid');
  const output = [];
  dc.on('output', (e) => output.push(e.body));
  await dc.start();
  try {
    await dc.initializeRequest();
    await Promise.all([dc.waitForEvent('initialized'), dc.launch({ program: hex, family: '52', stopOnEntry: true })]);
    const warning = output.find((o) => o.category === 'stderr' && /warning:/.test(o.output));
    assert.ok(warning, JSON.stringify(output));
    assert.match(warning.output, /blink28\.sxh: warning: The fuse words .* cannot belong to the 52 family.*fit the 28L family/);
  } finally {
    await dc.stop();
  }
});

test('the history stays small under a long stimulus', async () => {
  // 200,000 pin changes: the history must not copy them with every snapshot.
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-'));
  const stim = path.join(dir, 'long.stim');
  writeFileSync(stim, Array.from({ length: 200000 }, (_, i) => `at ${(i + 1) * 50}c RB.1 = ${i % 2}`).join('\n') + '\n');
  const { dc } = await session({ program: blink, stimulus: stim, stopOnEntry: true }, [{ line: 27 }]);
  const rss = () => Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${dc._adapterProcess.pid}/status`, 'latin1'))[1]);
  try {
    const before = rss();
    await stop(dc, 'continue');
    await stop(dc, 'stepOut');  // 12.6 million cycles: the history is full
    assert.ok(rss() - before < Number(process.env.KORVID_RSS_GROWTH_KB || 8192), `resident set grew by ${rss() - before} kB`);
    assert.match(valueOf(await variables(dc, 'Timing'), 'history'), /^8\d\d KiB/);
  } finally {
    await dc.stop();
  }
});

// Raw bytes on the adapter's input: every broken message is answered, the
// session goes on, and the end of the input ends the process.
test('malformed messages and requests out of order', async () => {
  const child = spawn(korvid, ['dap'], { stdio: ['pipe', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (d) => { out += d.toString('latin1'); });
  const frame = (body) => `Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
  child.stdin.write('X-Nothing: 1\r\n\r\n');
  child.stdin.write(frame('{"seq": 1, "type": "request", "comm'));
  child.stdin.write(frame('[1, 2]'));
  child.stdin.write(frame('{"seq": 2, "type": "request", "command": "stackTrace"}'));
  child.stdin.write(frame('{"seq": 3, "type": "request", "command": "launch", "arguments": {"program": "/nonexistent.src"}}'));
  child.stdin.write(frame('{"seq": 4, "type": "request", "command": "launch", "arguments": {"program": 7}}'));
  child.stdin.write(frame('{"seq": 5, "type": "request", "command": "initialize", "arguments": {}}'));
  child.stdin.end();
  // 'close', not 'exit': the output may still be in the pipe when the process ends.
  const code = await new Promise((resolve) => child.on('close', resolve));
  assert.equal(code, 0);
  const messages = out.split(/Content-Length: \d+\r\n\r\n/).filter(Boolean).map((m) => JSON.parse(m));
  const responses = messages.filter((m) => m.type === 'response');
  assert.deepEqual(responses.map((r) => [r.request_seq, r.success]),
    [[0, false], [0, false], [0, false], [2, false], [3, false], [4, false], [5, true]]);
  assert.match(responses[3].message, /no program is launched/);
  assert.match(responses[4].message, /cannot read \/nonexistent\.src/);
});

// A client that writes thousands of requests before it reads an answer,
// while the chip is stopped and while it runs: the adapter takes them all
// in while its answers wait to be read, and answers each once.
test('many requests before the first answer is read', async () => {
  const child = spawn(korvid, ['dap'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const chunks = [];
  child.stdout.on('data', (d) => chunks.push(d));
  child.stdout.pause();  // nothing is read until every request is written
  const frame = (seq, command, args = {}) => {
    const body = JSON.stringify({ seq, type: 'request', command, arguments: args });
    return `Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
  };
  let seq = 0;
  const requests = [frame(++seq, 'initialize'), frame(++seq, 'launch', { program: blink, stopOnEntry: true }),
    frame(++seq, 'configurationDone')];
  for (let i = 0; i < 3000; ++i) requests.push(frame(++seq, 'stackTrace', { threadId: 1 }));
  requests.push(frame(++seq, 'continue', { threadId: 1 }));
  for (let i = 0; i < 3000; ++i) requests.push(frame(++seq, 'threads'));
  requests.push(frame(++seq, 'pause', { threadId: 1 }), frame(++seq, 'disconnect'));
  // Written when the adapter has read it all (its answers still unread).
  const taken = new Promise((resolve) => child.stdin.end(requests.join(''), resolve));
  let timer;
  const late = new Promise((_, reject) => { timer = setTimeout(() => reject(new Error('the adapter stopped reading requests')), 30000); });
  try {
    await Promise.race([taken, late]);
  } catch (e) {
    child.kill('SIGKILL');
    throw e;
  } finally {
    clearTimeout(timer);
  }
  const closed = new Promise((resolve) => child.on('close', resolve));
  child.stdout.resume();
  assert.equal(await closed, 0);
  const out = Buffer.concat(chunks).toString('latin1');
  const messages = out.split(/Content-Length: \d+\r\n\r\n/).filter(Boolean).map((m) => JSON.parse(m));
  const answered = messages.filter((m) => m.type === 'response').map((m) => m.request_seq);
  assert.deepEqual(answered, Array.from({ length: seq }, (_, i) => i + 1));
  assert.ok(messages.some((m) => m.event === 'stopped' && m.body.reason === 'pause'));
});

// The tool as the target: korvid-sim on a pseudo-terminal, linked into a
// temporary folder, as a user points the adapter at a port.
// korvid.exe under Wine (tests/windows) cannot name korvid-sim's terminal
// by its Linux path: the tool's cases are skipped there.
const toolCases = { skip: process.env.KORVID_TOOL_BY_PATH === 'no' ? 'no device paths for this build' : false };
const simBinary = path.join(process.env.KORVID_BINARY_DIR ?? '', 'apps', 'korvid-sim', 'korvid-sim');
async function startTool(family = '28l') {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-tool-'));
  const port = path.join(dir, 'tool');
  const child = spawn(simBinary, ['--fast', '--family', family, '--link', port], { stdio: ['ignore', 'pipe', 'ignore'] });
  // The first line is the pseudo-terminal's path: the link is there then.
  await new Promise((resolve, reject) => {
    child.stdout.once('data', resolve);
    child.once('exit', () => reject(new Error('korvid-sim ended at its start')));
  });
  const gone = new Promise((resolve) => child.once('exit', resolve));
  return { port, dir, child, kill: async () => { child.kill('SIGKILL'); await gone; } };
}

// A counting loop with a short routine: every line of it can be stepped
// silently on the tool. The 52 takes its family from the launch.
const counterOf = (family) => [
  'count   EQU     0Ch',
  'total   EQU     0Dh',
  family === '52' ? '; the SX52' : '        DEVICE  SX28L, OSCHS2, TURBO',
  '        RESET   start',
  '        ORG     0',
  'start   MOV     W,#3',         // 6
  '        MOV     count,W',      // 7
  '        CLR     total',        // 8
  'loop    CALL    bump',         // 9
  '        DJNZ    count,loop',   // 10
  '        JMP     start',        // 11
  'bump    INC     total',        // 12
  '        NOP',                  // 13
  '        RET',                  // 14
].join('\n') + '\n';
const counter = counterOf('28l');

for (const family of ['28l', '52']) test(`the tool (korvid-sim, ${family}): one hardware breakpoint, steps, variables and memory through the chip`, toolCases, async () => {
  const tool = await startTool(family);
  const program = path.join(tool.dir, 'counter.src');
  writeFileSync(program, counterOf(family));
  const { dc, set, first } = await session({ program, family, target: tool.port, stopOnEntry: true }, [{ line: 12 }, { line: 14 }]);
  try {
    assert.equal(first.body.reason, 'entry');
    // The first breakpoint holds the chip's one, which halts after its
    // instruction; the second is refused with the reason.
    assert.deepEqual(set.map((b) => [b.verified, b.line]), [[true, 12], [false, 14]]);
    assert.match(set[0].message, /halts after the instruction at \$007 has run/);
    assert.match(set[1].message, /one hardware breakpoint, and it is in use at \$007/);

    assert.equal((await stop(dc, 'stepIn')).line, 6);
    assert.equal((await stop(dc, 'stepIn', { granularity: 'instruction' })).line, 7);
    let s = await stop(dc, 'continue');
    assert.deepEqual([s.reason, s.line, s.name, s.hit], ['breakpoint', 13, 'bump+1', [set[0].id]]);
    assert.equal(await evaluate(dc, 'total'), '$01 (1) in 0Dh');
    s = await stop(dc, 'stepOut');
    assert.deepEqual([s.reason, s.line], ['step', 10]);
    assert.equal((await stop(dc, 'next')).line, 9);
    // `next` over the CALL meets the breakpoint inside it.
    assert.deepEqual((await stop(dc, 'next')).reason, 'breakpoint');
    await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [] });
    assert.equal((await stop(dc, 'stepOut')).line, 10);
    assert.equal((await stop(dc, 'next')).line, 9);
    s = await stop(dc, 'next');
    assert.deepEqual([s.reason, s.line], ['step', 10]);
    assert.equal(await evaluate(dc, 'total'), '$03 (3) in 0Dh');

    // What the tool does not have: OPTION, the directions, a cycle count,
    // the return stack, going back.
    const regs = await variables(dc, 'Registers');
    assert.ok(regs.some((r) => r.name === 'RB') && !regs.some((r) => r.name === 'OPTION' || r.name.startsWith('TRIS')));
    const scopes = (await dc.scopesRequest({ frameId: 0 })).body.scopes.map((x) => x.name);
    assert.ok(!scopes.includes('Timing'));
    await assert.rejects(dc.variablesRequest({ variablesReference: 4 }), /unknown variables reference/);
    await assert.rejects(dc.send('stepBack', { threadId: 1 }), /needs the simulator/);
    await assert.rejects(dc.send('reverseContinue', { threadId: 1 }), /needs the simulator/);

    // Writes go to the chip and are read back from it.
    assert.equal((await dc.setVariableRequest({ variablesReference: 1, name: 'W', value: '$5A' })).body.value, '$5A (90)');
    await dc.send('writeMemory', { memoryReference: 'ram', offset: 0x0D, data: Buffer.from([40]).toString('base64') });
    // RAM of the banks too (28: bank 1's 10h; 52: 30h).
    await dc.setVariableRequest({ variablesReference: 2101, name: '10h', value: '7' });
    s = await stop(dc, 'stepIn', { granularity: 'instruction' });
    assert.deepEqual([await evaluate(dc, 'w'), await evaluate(dc, 'total'), await evaluate(dc, '1:10')],
      ['$5A (90)', '$28 (40) in 0Dh', '$07 (7)']);
    const targets = (await dc.send('gotoTargets', { source: { path: program }, line: 8 })).body.targets;
    const g = dc.waitForEvent('stopped');
    await dc.send('goto', { threadId: 1, targetId: targets[0].id });
    assert.equal((await g).body.reason, 'goto');
    assert.equal((await stop(dc, 'stepIn')).line, 9);
    assert.equal(await evaluate(dc, 'total'), '$00 (0) in 0Dh');

    // A pause halts the free run; restart goes back to the entry.
    const running = stop(dc, 'continue');
    await new Promise((r) => setTimeout(r, 200));
    await dc.send('pause', { threadId: 1 });
    assert.equal((await running).reason, 'pause');
    const again = dc.waitForEvent('stopped');
    await dc.send('restart', {});
    assert.equal((await again).body.reason, 'entry');
  } finally {
    await dc.stop();
    await tool.kill();
  }
});

test('the tool: attach to the programmed chip, a busy or missing port, korvid-sim killed', toolCases, async () => {
  const tool = await startTool();
  const program = path.join(tool.dir, 'counter.src');
  writeFileSync(program, counter);
  // The launch programs the chip; while it holds the port, no one else gets it.
  const first = await session({ program, target: tool.port, stopOnEntry: true });
  const other = new DebugClient(korvid, 'dap', 'korvid');
  await other.start();
  try {
    await other.initializeRequest();
    await assert.rejects(other.launch({ program, target: tool.port }), /Unable to open .*: Device or resource busy/);
    await assert.rejects(other.launch({ program, target: path.join(tool.dir, 'none') }), /none: No such file or directory/);
    await assert.rejects(other.send('attach', { program }), /attach reconnects to the chip on a port/);
    await assert.rejects(other.launch({ program, target: 'COM9' }), /is not 'sim', COM1 to COM4 or a device path/);
  } finally {
    await other.stop();
    await first.dc.stop();
  }

  // The adapter as an ordinary user (nobody, when the tests run as root) on
  // a port it may not open: the system's reason and the usual remedy.
  const locked = path.join(tool.dir, 'locked');
  mkdirSync(locked);
  symlinkSync(tool.port, path.join(locked, 'tool'));
  chmodSync(locked, 0);
  const listen = 20000 + ((process.pid + 7) % 20000);
  const argv = [korvid, 'dap', '--port', String(listen)];
  const asUser = process.getuid() === 0 ? ['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups', ...argv] : argv;
  const server = spawn(asUser[0], asUser.slice(1), { stdio: ['ignore', 'ignore', 'pipe'] });
  await new Promise((resolve) => server.stderr.on('data', (d) => { if (/listening/.test(d)) resolve(); }));
  const user = new DebugClient(korvid, 'dap', 'korvid');
  await user.start(listen);
  try {
    await user.initializeRequest();
    await assert.rejects(user.launch({ program: blink, target: path.join(locked, 'tool') }),
      /Permission denied \(is your user in the dialout group\?\)/);
  } finally {
    await user.stop();
    if (server.exitCode === null && server.signalCode === null) await new Promise((resolve) => server.on('exit', resolve));
    chmodSync(locked, 0o700);
  }

  // Attach: the chip already holds the debug image.
  const { dc, set } = await (async () => {
    const client = new DebugClient(korvid, 'dap', 'korvid');
    await client.start();
    await client.initializeRequest();
    await Promise.all([client.waitForEvent('initialized'), client.attachRequest({ program, target: tool.port, stopOnEntry: true })]);
    const b = await client.setBreakpointsRequest({ source: { path: program }, breakpoints: [{ line: 12 }] });
    const entry = client.waitForEvent('stopped');
    await client.configurationDoneRequest();
    assert.equal((await entry).body.reason, 'entry');
    return { dc: client, set: b.body.breakpoints };
  })();
  let errors = '';
  dc.on('output', (e) => { if (e.body.category === 'stderr') errors += e.body.output; });
  try {
    assert.equal((await stop(dc, 'continue')).line, 13);
    await dc.setBreakpointsRequest({ source: { path: program }, breakpoints: [] });
    // Killed while it runs: the session ends with a terminated event.
    const ended = dc.waitForEvent('terminated');
    await dc.continueRequest({ threadId: 1 });
    await tool.kill();
    await ended;
    assert.match(errors, /the tool is gone/);
    await assert.rejects(dc.stackTraceRequest({ threadId: 1 }), /no program is launched/);
  } finally {
    await dc.stop();
  }
  assert.ok(set[0].verified);

  // Killed while it is halted: the next request fails and the session ends.
  const second = await startTool();
  writeFileSync(program, counter);
  const halted = await session({ program, target: second.port, stopOnEntry: true });
  try {
    await second.kill();
    const ended = halted.dc.waitForEvent('terminated');
    await assert.rejects(halted.dc.setVariableRequest({ variablesReference: 1, name: 'W', value: '1' }), /Unable to|Link failed/);
    await ended;
  } finally {
    await halted.dc.stop();
  }
});

// Going back in time: the Timing scope reads as it did when the chip was
// last at that point (never a count that wraps around below zero).
test('blink: the stopwatch follows step back and reverse continue; the reset vector\'s frame is reset', async () => {
  const timing = async (dc) => {
    const t = await variables(dc, 'Timing');
    return { cycles: Number(valueOf(t, 'cycles')), since: Number(valueOf(t, 'since last stop')), time: valueOf(t, 'time since last stop') };
  };
  const { dc, first } = await session({ program: blink, stopOnEntry: true });
  try {
    assert.equal(first.body.reason, 'entry');
    const entryFrames = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
    assert.equal(entryFrames[0].name, 'reset');
    const byInstruction = { granularity: 'instruction' };
    await stop(dc, 'stepIn', byInstruction);
    const once = await timing(dc);
    await stop(dc, 'stepIn', byInstruction);
    const twice = await timing(dc);
    assert.ok(twice.cycles > once.cycles && twice.since === twice.cycles - once.cycles);
    await stop(dc, 'stepBack');
    assert.deepEqual(await timing(dc), once);
    const s = await stop(dc, 'reverseContinue');
    assert.equal(s.reason, 'entry');
    assert.deepEqual(await timing(dc), { cycles: 0, since: 0, time: '0.000 us' });

    // Among breakpoint hits: back to the second hit reads as the second hit did.
    await dc.setBreakpointsRequest({ source: { path: blink }, breakpoints: [{ line: 30 }] });
    const hits = [];
    for (let i = 0; i < 3; ++i) {
      await stop(dc, 'continue');
      hits.push(await timing(dc));
    }
    assert.equal((await stop(dc, 'reverseContinue')).line, 30);
    assert.deepEqual(await timing(dc), hits[1]);
    assert.ok(hits.every((h) => h.since > 0 && h.since <= h.cycles));
  } finally {
    await dc.stop();
  }
});

// The RAM scope and its banks carry memory references: a client's memory
// view reads and writes the register file from a variable.
const ramProgramOf = (family) => [
  family === '52' ? '; the SX52' : '        DEVICE  SX28L, OSCHS2, TURBO',
  '        RESET   start',
  '        ORG     0',
  'start   JMP     start',
].join('\n') + '\n';
for (const [family, bank1, banks] of [['28l', 0x30, 8], ['52', 0x10, 15]]) test(`the RAM scope (${family}): globals and banks as variables with memory references`, async () => {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-dap-'));
  const program = path.join(dir, 'ram.src');
  writeFileSync(program, ramProgramOf(family));
  const { dc } = await session({ program, family, stopOnEntry: true });
  try {
    const ram = (await dc.scopesRequest({ frameId: 0 })).body.scopes.find((x) => x.name === 'RAM');
    assert.equal(ram.memoryReference, 'ram');
    const parts = (await dc.variablesRequest({ variablesReference: ram.variablesReference })).body.variables;
    assert.equal(parts.length, 1 + banks);
    assert.ok(parts.every((p) => p.memoryReference), JSON.stringify(parts));
    const bank = parts.find((p) => p.name === 'Bank 1');
    // Written through the variable and through the bank's memory reference.
    await dc.setVariableRequest({ variablesReference: bank.variablesReference, name: '10h', value: '7' });
    await dc.send('writeMemory', { memoryReference: bank.memoryReference, offset: 15, data: Buffer.from([0xA5]).toString('base64') });
    const read = (await dc.send('readMemory', { memoryReference: bank.memoryReference, count: 16 })).body;
    assert.equal(Number(read.address), bank1);
    const bytes = [...Buffer.from(read.data, 'base64')];
    assert.deepEqual([bytes.length, bytes[0], bytes[15]], [16, 7, 0xA5]);
    const cells = (await dc.variablesRequest({ variablesReference: bank.variablesReference })).body.variables;
    assert.deepEqual(cells.map((c) => Number('0x' + c.value.slice(1, 3))), bytes);
    // The scope's reference is the whole file: the bank at its address.
    const whole = (await dc.send('readMemory', { memoryReference: ram.memoryReference, offset: bank1, count: 16 })).body;
    assert.deepEqual([...Buffer.from(whole.data, 'base64')], bytes);
    const globals = parts.find((p) => p.name.startsWith('Globals'));
    await dc.send('writeMemory', { memoryReference: globals.memoryReference, offset: 2, data: Buffer.from([0x3C]).toString('base64') });
    assert.equal(await evaluate(dc, '0:0A'), '$3C (60)');
    await assert.rejects(dc.send('writeMemory', { memoryReference: bank.memoryReference, offset: 0x100 - bank1, data: 'AA==' }), /beyond the RAM/);
    await assert.rejects(dc.send('readMemory', { memoryReference: 'ram+0x100', count: 1 }), /memory references are/);
  } finally {
    await dc.stop();
  }
});

// Disconnecting from a running chip on the tool: nothing false is said, the
// chip is left or stopped as the client asks, and a later attach finds it.
test('the tool: disconnect while the chip runs says nothing false, and a later attach works', toolCases, async () => {
  const tool = await startTool();
  const program = path.join(tool.dir, 'counter.src');
  writeFileSync(program, counter);
  // Runs the chip for a moment and disconnects; the adapter ends without a word on stderr.
  const runAndDisconnect = async (dc, args) => {
    let errors = '';
    dc.on('output', (e) => { if (e.body.category === 'stderr') errors += e.body.output; });
    const exited = new Promise((resolve) => dc._adapterProcess.on('close', resolve));
    await dc.continueRequest({ threadId: 1 });
    await new Promise((r) => setTimeout(r, 200));
    assert.equal((await dc.disconnectRequest(args)).success, true);
    assert.equal(await exited, 0);
    assert.equal(errors, '', JSON.stringify(args));
  };
  const attach = async () => {
    const client = new DebugClient(korvid, 'dap', 'korvid');
    await client.start();
    await client.initializeRequest();
    await Promise.all([client.waitForEvent('initialized'), client.attachRequest({ program, target: tool.port, stopOnEntry: true })]);
    const entry = client.waitForEvent('stopped');
    await client.configurationDoneRequest();
    assert.equal((await entry).body.reason, 'entry');
    return client;
  };
  try {
    const { dc } = await session({ program, target: tool.port, stopOnEntry: true });
    assert.equal((await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0].name, 'reset');
    await runAndDisconnect(dc, { terminateDebuggee: false });
    await runAndDisconnect(await attach(), { terminateDebuggee: true });
    await runAndDisconnect(await attach(), {});
    const last = await attach();
    assert.equal((await stop(last, 'stepIn')).line, 6);
    await last.disconnectRequest({});
  } finally {
    await tool.kill();
  }
});
