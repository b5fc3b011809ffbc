// The playground page as a user lives it, in real headless Chromium driven
// through puppeteer-core, served by scripts/serve-web on 127.0.0.1: open a
// file, see its problem at its line, fix it by typing, run to a breakpoint,
// read a register, flip a switch and see the lamp, read the greeting on the
// serial terminal, run a test file, share and reopen, reload and keep the
// text, and bad input that leaves the page working. Controls and regions
// are found by their accessible names, as assistive technology finds them.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { existsSync, mkdirSync, mkdtempSync, writeFileSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

// As an ordinary user runs the page: a run as root goes on as nobody.
if (process.getuid && process.getuid() === 0) {
  const self = new URL(import.meta.url).pathname;
  const run = spawnSync('setpriv', ['--reuid=65534', '--regid=65534', '--clear-groups', 'env', `HOME=${tmpdir()}`, process.execPath, self], { stdio: 'inherit' });
  process.exit(run.status ?? 1);
}

const root = process.env.KORVID_SOURCE_DIR;
const site = process.env.KORVID_WEB_DIR;
const korvid = process.env.KORVID_BIN;
const chromium = process.env.KORVID_CHROMIUM || '/usr/bin/chromium';
if (!existsSync(join(site, 'index.html')) || !existsSync(chromium)) {
  console.log(`skipped: ${existsSync(chromium) ? 'no page in ' + site + ' (scripts/build-web)' : 'no ' + chromium}`);
  process.exit(77);
}
const puppeteer = createRequire(join(root, 'web/page/package.json'))('puppeteer-core');

const work = mkdtempSync(join(tmpdir(), 'korvid-page-'));
let server, browser, page, base;

const wait = (ms) => new Promise((r) => setTimeout(r, ms));
const text = (selector) => page.$eval(selector, (e) => e.textContent);
const status = () => text('#status');
// The editor's lines as shown (the examples used here fit in its view).
// Lines are read without the cycle hints drawn at their ends.
const lineText = (l) => [...l.childNodes].filter((n) => !(n.classList && n.classList.contains('cm-cycle-hint'))).map((n) => n.textContent).join('');
const editorText = (p = page) => p.$eval('.cm-content', (e, f) => [...e.querySelectorAll('.cm-line')].map(new Function(`return ${f}`)()).join('\n'), lineText.toString());
const byName = (role, name) => page.waitForSelector(`::-p-aria([name="${name}"][role="${role}"])`);

async function untilStatus(pattern, timeout = 15000) {
  try {
    await page.waitForFunction((source) => new RegExp(source).test(document.getElementById('status').textContent), { timeout }, pattern.source);
  } catch (error) {
    throw new Error(`the status line never matched ${pattern}: it says "${await status()}"`);
  }
  return status();
}

async function openPage(p, url) {
  await p.goto(url);
  await p.waitForSelector('body[data-ready="true"]', { timeout: 30000 });
}

async function chooseExample(name) {
  await page.select('#examples', name);
  await untilStatus(new RegExp(`Assembled ${name.replace('.', '\\.')}`));
}

before(async () => {
  server = spawn(join(root, 'scripts/serve-web'), ['0'], { env: { ...process.env, PYTHONUNBUFFERED: '1' }, stdio: ['ignore', 'pipe', 'pipe'] });
  base = await new Promise((resolve, reject) => {
    let seen = '';
    const look = (chunk) => {
      seen += chunk;
      const m = /port (\d+)/.exec(seen);
      if (m) resolve(`http://127.0.0.1:${m[1]}/`);
    };
    server.stdout.on('data', look);
    server.stderr.on('data', look);
    server.on('exit', (code) => reject(new Error(`scripts/serve-web ended (${code}): ${seen}`)));
  });
  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: join(work, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 1000 });
  page.on('pageerror', (e) => console.log('page error:', e.message));
  const client = await page.createCDPSession();
  await client.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: work });
  const started = Date.now();
  await openPage(page, base);
  console.log(`the page was ready ${Date.now() - started} ms after it was asked for`);
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.kill();
  rmSync(work, { recursive: true, force: true });
});

test('a file with a fault shows the problem as korvid asm says it, and typing mends it', async () => {
  const source = readFileSync(join(root, 'examples/blink.src'), 'latin1').replace('JMP     main', 'JMP     mian');
  mkdirSync(join(work, 'in'));
  const file = join(work, 'in', 'faulty.src');
  writeFileSync(file, source, 'latin1');
  const input = await page.$('#open-file');
  await input.uploadFile(file);
  await untilStatus(/faulty\.src did not assemble/);
  const problems = await page.$$eval('#problems-list .problem', (items) => items.map((i) => i.textContent));
  const cli = spawnSync(korvid, ['asm', file, '-o', join(work, 'faulty.sxh')], { encoding: 'latin1' });
  assert.equal(cli.status, 1);
  const expected = cli.stderr.split('\n').filter((l) => l.startsWith(file + ':')).map((l) => l.slice(file.length + 1));
  assert.deepEqual(problems.join('\n').split('\n'), expected);
  assert.match(problems[0], /^24:17: error: /);
  // The language server marks the same word in the editor, and hovering a
  // word shows what the server says of it.
  await page.waitForSelector('.cm-lintRange-error', { timeout: 10000 });
  const word = await page.waitForSelector('::-p-text(DJNZ)');
  await word.hover();
  const hover = await page.waitForSelector('.cm-lsp-hover', { timeout: 10000 });
  assert.match(await hover.evaluate((e) => e.textContent), /DJNZ/);
  await page.mouse.move(0, 0);

  // A click on the problem puts the cursor on the word; typing replaces it.
  await (await byName('button', problems[0].split('\n')[0])).click();
  assert.equal(await text('.cm-activeLineGutter:not(.cm-breakpoint-gutter .cm-gutterElement)'), '24');
  await page.keyboard.down('Shift');
  await page.keyboard.press('End');
  await page.keyboard.up('Shift');
  await page.keyboard.type('main');
  await (await byName('button', 'Assemble')).click();
  await untilStatus(/Assembled faulty\.src: SX18\/SX28, no problems/);
  // With the program whole, the cycle hints of its lines are shown.
  await page.waitForFunction(() => [...document.querySelectorAll('.cm-cycle-hint')].some((h) => /^\d/.test(h.textContent)), { timeout: 10000 });

  // Save, and the downloads, hold what korvid asm writes for the mended text.
  for (const name of ['Save', 'Download .sxh', 'Download .lst']) await (await byName('button', name)).click();
  const downloaded = (name) => readFileSync(join(work, name), 'latin1');
  for (let i = 0; i < 100 && !['faulty.src', 'faulty.sxh', 'faulty.lst'].every((n) => existsSync(join(work, n))); i++) await wait(100);
  const mended = source.replace('JMP     mian', 'JMP     main');
  assert.equal(downloaded('faulty.src'), mended);
  const cliDir = join(work, 'cli');
  mkdirSync(cliDir);
  writeFileSync(join(cliDir, 'faulty.src'), mended, 'latin1');
  const built = spawnSync(korvid, ['asm', 'faulty.src', '-o', 'faulty.sxh', '-l', 'faulty.lst'], { cwd: cliDir, encoding: 'latin1' });
  assert.equal(built.status, 0, built.stderr);
  for (const name of ['faulty.sxh', 'faulty.lst']) assert.equal(downloaded(name), readFileSync(join(cliDir, name), 'latin1'), name);

  // Tab indents in the editor, and Esc then Tab leaves it for the next control.
  await page.click('.cm-content');
  await page.keyboard.press('Escape');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.closest('.cm-editor') === null), true);
  assert.equal(await text('#problems-none'), 'None.');
  assert.equal(await page.$eval('#problems-none', (e) => e.hidden), false);
});

test('a breakpoint set in the gutter stops the run on its line, and the registers show the chip there', async () => {
  // The line numbers are redrawn as the editor changes: found anew each time.
  const clickLineNumber = async (n) => {
    for (const g of await page.$$('.cm-lineNumbers .cm-gutterElement'))
      if ((await g.evaluate((e) => e.textContent)) === String(n)) return g.click();
    throw new Error(`no line number ${n} on the screen`);
  };
  await clickLineNumber(20);
  await page.waitForSelector('.cm-breakpoint');
  await (await byName('button', 'Run')).click();
  const said = await untilStatus(/Stopped at a breakpoint/);
  assert.match(said, /at line 20 \(PC 003\)/);
  assert.equal(await page.$eval('.cm-line[data-running="true"]', (e, f) => new Function(`return ${f}`)()(e).trim(), lineText.toString()), 'main    SETB    led');
  const registers = await byName('region', 'Registers');
  assert.equal(await registers.$eval('input[aria-label="PC"]', (e) => e.value), '003');
  assert.equal(await registers.$eval('input[aria-label="TRIS_B"]', (e) => e.value), 'FE');
  // The next arrival is a half second later: the first CALL and both delays.
  await (await byName('button', 'Run')).click();
  await untilStatus(/Running/);
  assert.match(await untilStatus(/Stopped at a breakpoint at line 20/, 20000), /, 50\d\.\d{3} ms\./);
  // A register written while paused is what the chip holds.
  await registers.$eval('input[aria-label="W"]', (e) => {
    e.value = '5A';
    e.dispatchEvent(new Event('change'));
  });
  await (await byName('button', 'Step')).click();
  await untilStatus(/Stepped at line 21/);
  assert.equal(await registers.$eval('input[aria-label="W"]', (e) => e.value), '5A');
  // The step ran SETB led: the program counter and RB changed, and only
  // they are marked.
  assert.deepEqual(await registers.$$eval('input[aria-description="changed"]', (n) => n.map((e) => e.getAttribute('aria-label'))), ['PC', 'RB']);
  await clickLineNumber(20);
  await page.waitForFunction(() => !document.querySelector('.cm-breakpoint'));
});

test('a switch on an input pin drives the program, and the lamp of its output follows', async () => {
  await chooseExample('button_led.src');
  await (await byName('button', 'Run')).click();
  await untilStatus(/Running/);
  const lamp = await page.waitForSelector('::-p-aria([name="RB.0 lamp off"])');
  const button = await byName('switch', 'RB.1');
  await page.waitForFunction(() => document.querySelector('[role="switch"][aria-label="RB.1"]').getAttribute('aria-checked') === 'true');
  await button.click(); // pressed: driven to 0 against the pull-up
  await page.waitForSelector('::-p-aria([name="RB.0 lamp on"])', { timeout: 5000 });
  await button.click(); // released
  await page.waitForSelector('::-p-aria([name="RB.0 lamp off"])', { timeout: 5000 });
  assert.ok(lamp);
  await (await byName('button', 'Pause')).click();
  await untilStatus(/Paused/);
});

test('the serial terminal shows the greeting, and the test file passes against the editor', async () => {
  await chooseExample('serial_tx.src');
  await (await byName('button', 'Run')).click();
  assert.match(await untilStatus(/Stopped after the BREAK/), /line \d+/);
  assert.equal(await text('#serial-output'), 'Hello from the SX\r\n');
  await (await byName('tab', 'Tests')).click();
  await (await byName('button', 'Run tests')).click();
  await page.waitForFunction(() => document.getElementById('test-results').dataset.status);
  const cli = spawnSync(korvid, ['test', join(root, 'examples/tests/serial_tx.test')], { encoding: 'latin1' });
  const results = await text('#test-results');
  assert.equal(results.split('\n')[0], cli.stdout.split('\n')[0].replace(join(root, 'examples/tests/'), ''));
  assert.match(results, /^PASS serial_tx\.test/);
  await (await byName('tab', 'Debug')).click();
});

test('the serial terminal sends what the user types', async () => {
  await chooseExample('serial_echo.src');
  await (await byName('button', 'Run')).click();
  await untilStatus(/Running/);
  await (await page.$('#serial-input')).type('echo?');
  await page.waitForFunction(() => document.getElementById('serial-output').textContent === 'echo?', { timeout: 5000 });
  await (await byName('button', 'Pause')).click();
  await untilStatus(/Paused/);
});

test('a program that never stops leaves the page free, at full speed too, while its pins switch millions of times', async () => {
  await page.select('#speed', 'fast');
  const file = join(work, 'toggle.src');
  writeFileSync(file, ['        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX', '        RESET   start', '        ORG     0',
    'start   MOV     !RB, #0', 'loop    NOT     RB', '        JMP     loop', ''].join('\n'));
  await (await page.$('#open-file')).uploadFile(file);
  await untilStatus(/Assembled toggle\.src/);
  await (await byName('button', 'Run')).click();
  await untilStatus(/Running/);
  await wait(1500);
  const started = Date.now();
  assert.equal(await page.evaluate(() => 6 * 7), 42);
  // A page blocked by the run would not answer at all before Pause.
  assert.ok(Date.now() - started < 3000, 'the page answered while the chip ran');
  await (await byName('button', 'Pause')).click();
  const said = await untilStatus(/Paused/, 3000);
  // The chip ran on meanwhile: every pin of RB toggled every four cycles,
  // some ten million changes a second of chip time.
  const [, amount, unit] = /, ([\d.]+) (s|ms|µs)\.$/.exec(said) || [, 0, 's'];
  const seconds = Number(amount) / { s: 1, ms: 1e3, 'µs': 1e6 }[unit];
  assert.ok(seconds > 0.2, `chip time after 1.5 s at full speed: ${said}`);
  const vcd = await page.evaluate(async () => {
    const click = new Promise((resolve) => {
      const original = URL.createObjectURL;
      URL.createObjectURL = (blob) => (resolve(blob.size), original(blob));
    });
    document.getElementById('download-vcd').click();
    return click;
  });
  assert.ok(vcd > 1e6 && vcd <= 16 * 1048576 + 64, `the waveform's download stays bounded: ${vcd} bytes`);
  assert.match(await untilStatus(/size limit/), /^The waveform/);
  await page.select('#speed', 'realtime');
});

test('a source assembles and saves as its bytes, Latin-1 or UTF-8, as korvid asm reads them', async () => {
  mkdirSync(join(work, 'enc'));
  const files = [
    // A Latin-1 degree sign before the fault on its line: the column counts bytes.
    ['degree.src', Buffer.from("        DEVICE  SX28L\n        ORG     0\n        RETW    '\xb0', nowhere\n", 'latin1')],
    // UTF-8 beyond Latin-1: an arrow in a comment, then the same fault.
    ['arrow.src', Buffer.from("        DEVICE  SX28L\n        ORG     0 ; \u2192 start\n        RETW    '\u2192', nowhere\n", 'utf8')],
  ];
  for (const [name, bytes] of files) {
    const file = join(work, 'enc', name);
    writeFileSync(file, bytes);
    await (await page.$('#open-file')).uploadFile(file);
    await untilStatus(new RegExp(`${name.replace('.', '\\.')} did not assemble`));
    const cli = spawnSync(korvid, ['asm', file, '-o', join(work, 'enc', 'out.sxh')], { encoding: 'latin1' });
    const expected = cli.stderr.split('\n').filter((l) => l.startsWith(file + ':')).map((l) => l.slice(file.length + 1));
    const problems = await page.$$eval('#problems-list .problem', (items) => items.map((i) => i.textContent));
    assert.deepEqual(problems.join('\n').split('\n'), expected, name);
    await (await byName('button', 'Save')).click();
    for (let i = 0; i < 100 && !existsSync(join(work, name)); i++) await wait(100);
    assert.deepEqual(readFileSync(join(work, name)), bytes, name);
  }
});

test('a file that is not text is refused in words and the editor keeps its text', async () => {
  const kept = await editorText();
  const file = join(work, 'image.bin');
  writeFileSync(file, Buffer.from([0x4d, 0x5a, 0x00, 0x01, 0xff]));
  await (await page.$('#open-file')).uploadFile(file);
  await untilStatus(/image\.bin is not a text file/);
  assert.equal(await editorText(), kept);
});

test('the family of a 52 source comes from its comment', async () => {
  await chooseExample('sx52_counter.src');
  assert.equal(await page.$eval('#family', (e) => e.value), '52');
  assert.match(await status(), /SX48\/SX52/);
  assert.ok((await page.$$eval('#pins-list .pin-name', (n) => n.map((e) => e.textContent))).includes('RE.7'));
});

test('Share puts the source into the link, which opens it elsewhere; a reload keeps what was typed', async () => {
  await chooseExample('blink.src');
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.type('\n; shared from the test');
  await (await byName('button', 'Share')).click();
  await page.waitForFunction(() => document.getElementById('link').value);
  const link = await (await byName('textbox', 'Link')).evaluate((e) => e.value);
  assert.match(link, /#s=[A-Za-z0-9_-]+$/);
  const typed = await editorText();
  assert.match(typed, /; shared from the test$/);

  // A new browser profile has none of this page's storage: the link alone.
  const other = await browser.createBrowserContext();
  const fresh = await other.newPage();
  await openPage(fresh, link);
  assert.equal(await editorText(fresh), typed);
  await other.close();

  await page.goto(base); // no fragment: the text comes from the browser's storage
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await editorText(), typed);
});
