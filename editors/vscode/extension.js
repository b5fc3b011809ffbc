// The Korvid extension: starts `korvid lsp` for SX sources, claims .src
// files whose first lines read as SX assembly, and offers build tasks that
// report through the korvid problem matcher; `korvid dap` debugs them.
// The korvid program is the one the `korvid.path` setting names, else the
// one this package carries (program.js says which).
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');
const { korvidProgram, ensureRunnable } = require('./program');

let client;
let extensionPath;

// The program to start now: the setting may change while VS Code runs.
function program() {
  const chosen = korvidProgram({ configured: vscode.workspace.getConfiguration('korvid').get('path'), extensionPath });
  ensureRunnable(chosen);
  return chosen;
}

// What the first lines of an SX source look like: a DEVICE line, or an
// instruction or directive of the assembler after an optional label.
const SX_LINE = /^\s*([A-Za-z_:][\w:]*\s+)?(DEVICE|ORG|RESET|EQU|MOV|JMP|CALL|SETB|CLRB|MACRO|INCLUDE)\b/i;

function looksLikeSx(document) {
  const lines = Math.min(document.lineCount, 40);
  for (let i = 0; i < lines; i++) {
    const text = document.lineAt(i).text;
    if (/;\s*korvid:/i.test(text) || SX_LINE.test(text)) return true;
  }
  return false;
}

function claim(document) {
  if (document.languageId !== 'sx' && document.fileName.toLowerCase().endsWith('.src') && looksLikeSx(document))
    vscode.languages.setTextDocumentLanguage(document, 'sx');
}

function settings() {
  const c = vscode.workspace.getConfiguration('korvid');
  return { korvid: { family: c.get('family'), dialect: c.get('dialect') } };
}

// A korvid command as a task: `asm FILE`, or `test [PATH]` (every *.test
// under the workspace folder when no path is given), run from the
// workspace folder so that the problem matcher finds the files it names.
function task(command, file) {
  const korvid = program();
  const definition = { type: 'korvid', command, file };
  const folder = vscode.workspace.workspaceFolders?.[0];
  const execution = new vscode.ProcessExecution(korvid.command, [...korvid.args, ...(file ? [command, file] : [command])],
    { ...(folder ? { cwd: folder.uri.fsPath } : {}), env: korvid.env });
  return new vscode.Task(definition, folder ?? vscode.TaskScope.Workspace, file ? `${command} ${file}` : command,
    'korvid', execution, '$korvid');
}

// The pointer over a selection of several lines: the hover request carries
// the selection ("range"), and korvid lsp answers with the lines' cycle
// bounds. Anywhere else the word's own hover.
async function hoverWithSelection(document, position, token, next) {
  const editor = vscode.window.activeTextEditor;
  const selection = editor && editor.document === document ? editor.selection : undefined;
  if (!selection || selection.isSingleLine || !selection.contains(position)) return next(document, position, token);
  const c2p = client.code2ProtocolConverter;
  const result = await client.sendRequest('textDocument/hover', {
    textDocument: c2p.asTextDocumentIdentifier(document), position: c2p.asPosition(position),
    range: c2p.asRange(selection),
  }, token);
  return client.protocol2CodeConverter.asHover(result);
}

function activate(context) {
  extensionPath = context.extensionPath;
  const korvid = program();
  client = new LanguageClient('korvid', 'Korvid', {
    command: korvid.command, args: [...korvid.args, 'lsp', '--stdio'], options: { env: korvid.env },
  }, {
    documentSelector: [{ language: 'sx' }],
    initializationOptions: settings(),
    synchronize: { configurationSection: 'korvid' },
    middleware: { provideHover: hoverWithSelection },
  });
  client.start();
  // The debugger: `korvid dap` on standard input and output.
  context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('korvid', {
    createDebugAdapterDescriptor() {
      const korvid = program();
      return new vscode.DebugAdapterExecutable(korvid.command, [...korvid.args, 'dap'], { env: korvid.env });
    },
  }));
  context.subscriptions.push(vscode.workspace.onDidOpenTextDocument(claim));
  vscode.workspace.textDocuments.forEach(claim);
  context.subscriptions.push(vscode.tasks.registerTaskProvider('korvid', {
    provideTasks() {
      const tests = task('test');
      tests.group = vscode.TaskGroup.Test;
      const editor = vscode.window.activeTextEditor;
      if (!editor || editor.document.languageId !== 'sx') return [tests];
      const assemble = task('asm', editor.document.fileName);
      assemble.group = vscode.TaskGroup.Build;
      return [assemble, tests];
    },
    resolveTask(t) {
      if (t.definition.command === 'test') return task('test', t.definition.file);
      const file = t.definition.file || vscode.window.activeTextEditor?.document.fileName;
      return file ? task(t.definition.command, file) : undefined;
    },
  }));
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
