// Which korvid program the extension runs, for its language server, debug
// adapter and tasks. In order:
//   1. the `korvid.path` setting, when the user gave one;
//   2. the native program that a package for this platform carries
//      (bin/PLATFORM-ARCH/korvid, korvid.exe on Windows);
//   3. the WebAssembly build (bin/korvid.js), run by VS Code's own runtime
//      as plain node, where no native program fits (macOS, ARM Linux);
//   4. `korvid` on PATH.
// Kept apart from extension.js (no `vscode` here) so that it can be tested
// in plain node.
'use strict';
const fs = require('fs');
const nodePath = require('path');

// { command, args, env, kind }: run `command ...args KORVID-ARGS` with
// `env` added to the environment. `kind` says which rule chose it.
function korvidProgram({
  configured, extensionPath, platform = process.platform, arch = process.arch,
  execPath = process.execPath, exists = fs.existsSync,
}) {
  const path = platform === 'win32' ? nodePath.win32 : nodePath.posix;
  const setting = typeof configured === 'string' ? configured.trim() : '';
  if (setting) return { command: setting, args: [], env: {}, kind: 'setting' };
  if (extensionPath) {
    const native = path.join(extensionPath, 'bin', `${platform}-${arch}`, platform === 'win32' ? 'korvid.exe' : 'korvid');
    if (exists(native)) return { command: native, args: [], env: {}, kind: 'bundled' };
    const script = path.join(extensionPath, 'bin', 'korvid.js');
    // Inside VS Code execPath is its Electron program, which this variable
    // turns into node; a plain node ignores it.
    if (exists(script)) return { command: execPath, args: [script], env: { ELECTRON_RUN_AS_NODE: '1' }, kind: 'webassembly' };
  }
  return { command: 'korvid', args: [], env: {}, kind: 'path' };
}

// A bundled native program may have lost its execute bit on the way
// (an unpacker that drops modes); put it back, as far as we may.
function ensureRunnable(program) {
  if (program.kind !== 'bundled' || process.platform === 'win32') return;
  try {
    const mode = fs.statSync(program.command).mode;
    if ((mode & 0o111) !== 0o111) fs.chmodSync(program.command, mode | 0o111);
  } catch {
    // Starting it will report what is wrong.
  }
}

module.exports = { korvidProgram, ensureRunnable };
