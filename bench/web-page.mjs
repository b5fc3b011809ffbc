// The playground page's speed in headless Chromium (bench/web runs it):
// how soon the page is interactive from a local server, how long the page
// takes to assemble a 5,000-line source (from the click on Assemble to the
// status line's answer), and how much of a core the emulator takes to
// hold the 50 MHz blink example in real time.
//   node bench/web-page.mjs SITE_FOLDER
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdtempSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const site = process.argv[2] || join(root, 'build-web');
const puppeteer = createRequire(join(root, 'web/page/package.json'))('puppeteer-core');
const work = mkdtempSync(join(tmpdir(), 'korvid-bench-page-'));
const wait = (ms) => new Promise((r) => setTimeout(r, ms));

const server = spawn(join(root, 'scripts/serve-web'), ['0'], { env: { ...process.env, KORVID_WEB_DIR: site, PYTHONUNBUFFERED: '1' } });
const base = await new Promise((resolve) => {
  let seen = '';
  server.stdout.on('data', (c) => {
    seen += c;
    const m = /port (\d+)/.exec(seen);
    if (m) resolve(`http://127.0.0.1:${m[1]}/`);
  });
});
const browser = await puppeteer.launch({
  executablePath: process.env.KORVID_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: join(work, 'profile'),
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const times = [];
  let page;
  for (let i = 0; i < 3; i++) {
    const context = await browser.createBrowserContext();
    page = await context.newPage();
    const started = Date.now();
    await page.goto(base);
    await page.waitForSelector('body[data-ready="true"]', { timeout: 30000 });
    times.push(Date.now() - started);
  }
  console.log(`page interactive (load, module compiled, first assembly shown): ${times.join(', ')} ms (target 1500 ms)`);

  // 5,000 lines: constants, comments and 1,000 instructions in loops (1,500
  // words, most of the chip's program memory).
  const lines = ['        DEVICE  SX28L, OSCHS2, TURBO, STACKX_OPTIONX', '        RESET   start', '        ORG     0', 'start'];
  for (let i = 0; lines.length < 5000; i++) {
    lines.push(`k${i}      EQU     ${i % 200}`, `; block ${i}: a counter loop`, ...Array(6).fill(';'), `l${i}      MOV     W, #k${i}`, `:loop   DJNZ    08h, :loop`);
  }
  lines.length = 5000;
  const file = join(work, 'large.src');
  writeFileSync(file, lines.join('\n') + '\n');
  await (await page.$('#open-file')).uploadFile(file);
  await page.waitForFunction(() => /Assembled large\.src/.test(document.getElementById('status').textContent), { timeout: 30000 });
  const assemble = [];
  for (let i = 0; i < 5; i++) {
    assemble.push(
      await page.evaluate(async () => {
        const status = document.getElementById('status');
        status.textContent = '';
        const t0 = performance.now();
        document.getElementById('assemble').click();
        while (!/Assembled/.test(status.textContent)) await new Promise((r) => setTimeout(r, 1));
        return `${Math.round(performance.now() - t0)} (worker ${document.body.dataset.assembleMs})`;
      }),
    );
  }
  console.log(`assembling 5,000 lines in the page: ${assemble.join(', ')} ms (target 50 ms)`);

  await page.select('#examples', 'blink.src');
  await page.waitForFunction(() => /Assembled blink\.src/.test(document.getElementById('status').textContent));
  await page.click('#run');
  const loads = [];
  for (let i = 0; i < 10; i++) {
    await wait(500);
    const m = /of chip time; the emulator takes (\d+)% of a core/.exec(await page.$eval('#status', (e) => e.textContent));
    if (m) loads.push(Number(m[1]));
  }
  const said = await page.$eval('#status', (e) => e.textContent);
  console.log(`blink at 50 MHz in real time: the emulator takes ${loads.join(', ')} % of a core (${said})`);
} finally {
  await browser.close();
  server.kill();
  rmSync(work, { recursive: true, force: true });
}
