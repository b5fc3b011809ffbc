// Which korvid the VS Code extension starts (editors/vscode/program.js): the
// setting, else the native program its package carries for the platform,
// else the WebAssembly build in VS Code's own runtime, else korvid on PATH;
// and the chosen command really serves the language server.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { chmodSync, copyFileSync, existsSync, mkdirSync, mkdtempSync, rmSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import * as lsp from 'vscode-languageserver-protocol/node.js';

const root = process.env.KORVID_SOURCE_DIR;
const require = createRequire(import.meta.url);
const { korvidProgram, ensureRunnable } = require(path.join(root, 'editors', 'vscode', 'program.js'));

const win = 'C:\\Users\\ann\\.vscode\\extensions\\korvid.korvid-sx-0.1.0-win32-x64';
const nix = '/home/ann/.vscode/extensions/korvid.korvid-sx-0.1.0';
const electron = '/usr/share/code/code';
const node = { env: { ELECTRON_RUN_AS_NODE: '1' } };

test('the program for each platform and package', () => {
  const cases = [
    // [what, platform, arch, extension folder, files it holds, setting, expected]
    ['Windows, its own package', 'win32', 'x64', win, ['bin\\win32-x64\\korvid.exe'], '',
      { kind: 'bundled', command: `${win}\\bin\\win32-x64\\korvid.exe`, args: [] }],
    ['Windows, the setting wins over the package', 'win32', 'x64', win, ['bin\\win32-x64\\korvid.exe'], ' D:\\sx\\korvid.exe ',
      { kind: 'setting', command: 'D:\\sx\\korvid.exe', args: [] }],
    ['Linux x64, its own package', 'linux', 'x64', nix, ['bin/linux-x64/korvid'], undefined,
      { kind: 'bundled', command: `${nix}/bin/linux-x64/korvid`, args: [] }],
    ['a blank setting is no setting', 'linux', 'x64', nix, ['bin/linux-x64/korvid'], '   ',
      { kind: 'bundled', command: `${nix}/bin/linux-x64/korvid`, args: [] }],
    ['macOS, the package for every platform', 'darwin', 'arm64', nix, ['bin/korvid.js'], '',
      { kind: 'webassembly', command: electron, args: [`${nix}/bin/korvid.js`], ...node }],
    ['ARM Linux: no native program fits, the WebAssembly build does', 'linux', 'arm64', nix,
      ['bin/linux-x64/korvid', 'bin/korvid.js'], '',
      { kind: 'webassembly', command: electron, args: [`${nix}/bin/korvid.js`], ...node }],
    ['ARM Linux with the x64 package: korvid from PATH', 'linux', 'arm64', nix, ['bin/linux-x64/korvid'], '',
      { kind: 'path', command: 'korvid', args: [] }],
    ['Windows with the Linux package: korvid from PATH', 'win32', 'x64', win, ['bin\\linux-x64\\korvid'], '',
      { kind: 'path', command: 'korvid', args: [] }],
    ['nothing bundled', 'linux', 'x64', nix, [], '', { kind: 'path', command: 'korvid', args: [] }],
    ['a setting of a name on PATH', 'darwin', 'x64', nix, ['bin/korvid.js'], 'korvid',
      { kind: 'setting', command: 'korvid', args: [] }],
  ];
  for (const [what, platform, arch, ext, files, configured, expected] of cases) {
    const sep = platform === 'win32' ? '\\' : '/';
    const held = new Set(files.map((f) => ext + sep + f));
    const got = korvidProgram({ configured, extensionPath: ext, platform, arch, execPath: electron, exists: (f) => held.has(f) });
    assert.deepEqual(got, { env: {}, ...expected }, what);
  }
});

// Starts the chosen program as the extension does (its env added to this
// one's) and asks its language server for its capabilities.
async function serves(chosen) {
  const child = spawn(chosen.command, [...chosen.args, 'lsp', '--stdio'],
    { stdio: ['pipe', 'pipe', 'inherit'], env: { ...process.env, ...chosen.env } });
  const c = lsp.createMessageConnection(new lsp.StreamMessageReader(child.stdout), new lsp.StreamMessageWriter(child.stdin));
  c.listen();
  try {
    const init = await c.sendRequest(lsp.InitializeRequest.type, { processId: null, rootUri: null, capabilities: {} });
    assert.ok(init.capabilities.hoverProvider, JSON.stringify(init.capabilities));
  } finally {
    c.sendNotification(lsp.ExitNotification.type);
    await new Promise((resolve) => (child.exitCode !== null ? resolve() : child.on('exit', resolve)));
    c.dispose();
  }
}

test('a bundled native program that lost its execute bit still starts', async () => {
  const ext = mkdtempSync(path.join(os.tmpdir(), 'korvid-ext-'));
  try {
    const native = path.join(ext, 'bin', `${process.platform}-${process.arch}`, 'korvid');
    mkdirSync(path.dirname(native), { recursive: true });
    copyFileSync(process.env.KORVID_BIN, native);
    chmodSync(native, 0o644);
    const chosen = korvidProgram({ configured: '', extensionPath: ext });
    assert.deepEqual([chosen.kind, chosen.command], ['bundled', native]);
    ensureRunnable(chosen);
    assert.equal(statSync(native).mode & 0o111, 0o111);
    await serves(chosen);
  } finally {
    rmSync(ext, { recursive: true, force: true });
  }
});

const webJs = path.join(process.env.KORVID_WEB_DIR || path.join(root, 'build-web'), 'korvid.js');
test('where no native program fits, node runs the WebAssembly build', {
  skip: existsSync(webJs) ? false : `no ${webJs} (scripts/build-web makes it)`,
}, async () => {
  const ext = mkdtempSync(path.join(os.tmpdir(), 'korvid-ext-'));
  try {
    mkdirSync(path.join(ext, 'bin'));
    copyFileSync(webJs, path.join(ext, 'bin', 'korvid.js'));
    // This node stands in for VS Code's runtime.
    const chosen = korvidProgram({ configured: '', extensionPath: ext, platform: 'darwin', arch: 'arm64' });
    assert.deepEqual([chosen.kind, chosen.command], ['webassembly', process.execPath]);
    await serves(chosen);
  } finally {
    rmSync(ext, { recursive: true, force: true });
  }
});
