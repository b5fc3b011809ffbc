// SX assembly for the editor, coloured by the same grammar as the VS Code
// extension (editors/vscode/syntaxes/sx.tmLanguage.json, bundled as it is):
// its patterns are tried in its order at each place of a line, and each
// scope gets the colour VS Code's default themes give it.
import { StreamLanguage, HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { tags as t } from '@lezer/highlight';
import grammar from '../../../editors/vscode/syntaxes/sx.tmLanguage.json';

// A grammar pattern as a sticky JavaScript expression. Its (?i:...) groups
// become plain groups of an expression that ignores case throughout: the
// grammar's only case-sensitive parts are letter classes that name both cases.
function compile(match) {
  return new RegExp(match.replace(/\(\?i:/g, '(?:'), 'iy');
}

const scopeTokens = [
  ['comment', 'comment'],
  ['string', 'string'],
  ['keyword.other.instruction', 'keyword'],
  ['keyword.control.directive', 'directive'],
  ['variable.language.register', 'register'],
  ['keyword.other', 'option'],
  ['constant.numeric', 'number'],
  ['entity.name.function.label', 'label'],
  ['variable.other', 'variable'],
  ['keyword.operator', 'operator'],
  ['punctuation.separator', 'punctuation'],
];

function tokenOf(scope) {
  const row = scopeTokens.find(([prefix]) => scope.startsWith(prefix));
  return row ? row[1] : null;
}

function patternsOf(entry) {
  if (entry.include) return patternsOf(grammar.repository[entry.include.slice(1)]);
  if (entry.patterns) return entry.patterns.flatMap(patternsOf);
  return [entry];
}

const linePatterns = patternsOf(grammar.repository.line).map((p) => ({ re: compile(p.match), token: tokenOf(p.name) }));
// The label rule reads the line from its start: leading blanks, then the name.
const labelRule = grammar.repository.label;
const labelRe = compile(labelRule.match.replace(/^\^/, ''));
const labelToken = tokenOf(labelRule.captures['1'].name);

const sxStream = {
  name: 'sx',
  token(stream) {
    if (stream.sol()) {
      labelRe.lastIndex = stream.pos;
      const m = labelRe.exec(stream.string);
      if (m && m.index === stream.pos) {
        stream.eatSpace();
        stream.pos = labelRe.lastIndex;
        return labelToken;
      }
    }
    if (stream.eatSpace()) return null;
    for (const { re, token } of linePatterns) {
      re.lastIndex = stream.pos;
      const m = re.exec(stream.string);
      if (m && m.index === stream.pos && m[0].length > 0) {
        stream.pos += m[0].length;
        return token;
      }
    }
    stream.next();
    return null;
  },
  tokenTable: {
    directive: t.controlKeyword,
    register: t.special(t.variableName),
    option: t.modifier,
    label: t.labelName,
    punctuation: t.separator,
  },
  languageData: { commentTokens: { line: ';' } },
};

export const sxLanguage = StreamLanguage.define(sxStream);

// VS Code's Light+ colours for the grammar's scopes.
export const sxHighlight = syntaxHighlighting(
  HighlightStyle.define([
    { tag: t.comment, color: '#008000' },
    { tag: t.string, color: '#a31515' },
    { tag: t.keyword, color: '#0000ff' },
    { tag: t.controlKeyword, color: '#af00db' },
    { tag: t.special(t.variableName), color: '#0070c1' },
    { tag: t.modifier, color: '#0000ff' },
    { tag: t.number, color: '#098658' },
    { tag: t.labelName, color: '#795e26' },
    { tag: t.variableName, color: '#001080' },
    { tag: t.operator, color: '#000000' },
  ]),
);
