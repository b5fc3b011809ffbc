// Real headless Neovim (the Debian package) with editors/nvim and its
// built-in client against korvid lsp: open a source with an error, see
// the diagnostic, jump to a definition.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync, mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const root = process.env.KORVID_SOURCE_DIR;
const korvid = process.env.KORVID_BIN;

let nvim = null;
try { nvim = execFileSync('sh', ['-c', 'command -v nvim'], { encoding: 'utf8' }).trim(); } catch { /* none */ }

test('diagnostic and go-to-definition in Neovim', { skip: !nvim && 'nvim is not installed' }, () => {
  const dir = mkdtempSync(path.join(os.tmpdir(), 'korvid-nvim-'));
  try {
    const source = path.join(dir, 'blink.src');
    const blink = readFileSync(path.join(root, 'examples', 'blink.src'), 'latin1');
    writeFileSync(source, blink.replace('JMP     main', 'JMP     nowhere'), 'latin1');
    const report = path.join(dir, 'report.txt');
    execFileSync(nvim, ['--headless', '--clean',
      '--cmd', `set rtp^=${path.join(root, 'editors', 'nvim')}`,
      '--cmd', `lua vim.g.korvid = { path = '${korvid}' }`,
      '-c', `luafile ${path.join(root, 'tests', 'protocol', 'neovim.test.lua')}`, source],
    { cwd: dir, env: { ...process.env, KORVID_NVIM_REPORT: report, HOME: dir, XDG_STATE_HOME: dir }, timeout: 60000, stdio: 'ignore' });
    const lines = readFileSync(report, 'utf8').trim().split('\n');
    assert.deepEqual(lines, [
      'filetype=sx',
      'diagnostics=1',
      'diagnostic=24:17:1:korvid:Undefined symbol',
      'from=21:17',
      'to=27:1',
    ]);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
