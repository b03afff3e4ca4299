// Highlighting for the score language, cut the way the compiler's scanner cuts tokens:
// "#word" directives, "%x" volume-column commands, "@name" / "@@code" effects, "@n" instruments,
// "$name" macros, notes with their lengths, loops and lanes. Anything else of ASCII that is no
// command is marked, since the compiler would stop there.
import { StreamLanguage, HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { Tag, tags } from '@lezer/highlight';

const t = {
  directive: Tag.define(tags.keyword),
  volume: Tag.define(tags.attributeName),
  effect: Tag.define(tags.name),
  instrument: Tag.define(tags.typeName),
  macro: Tag.define(tags.macroName),
  note: Tag.define(tags.variableName),
  rest: Tag.define(tags.atom),
  setting: Tag.define(tags.propertyName),
  loop: Tag.define(tags.bracket),
  lane: Tag.define(tags.separator),
};

const LETTER = /[A-Za-z]/;

function startState() {
  return { comment: false, string: false };
}

function token(stream, state) {
  if (state.comment) {
    if (stream.skipTo('*/')) { stream.pos += 2; state.comment = false; } else stream.skipToEnd();
    return 'comment';
  }
  if (state.string) {
    if (stream.skipTo('"')) { stream.pos += 1; state.string = false; } else stream.skipToEnd();
    return 'string';
  }
  if (stream.eatSpace()) return null;
  const ch = stream.next();
  // Double-byte text between commands is read as a blank.
  if (ch.charCodeAt(0) >= 0x80) {
    stream.eatWhile((c) => c.charCodeAt(0) >= 0x80);
    return null;
  }
  if (ch === '/') {
    if (stream.eat('/')) { stream.skipToEnd(); return 'comment'; }
    if (stream.eat('*')) { state.comment = true; return token(stream, state) && 'comment'; }
    return 'invalid';
  }
  if (ch === '"') { state.string = true; return token(stream, state) && 'string'; }
  if (ch === '#') { stream.eatWhile(LETTER); return stream.current().length > 1 ? 'directive' : 'invalid'; }
  if (ch === '%') { return stream.eat(LETTER) ? 'volume' : 'invalid'; }
  if (ch === '@') {
    if (stream.eat('@')) { stream.eatWhile(/[A-Za-z0-9]/); return 'effect'; }
    if (stream.eatWhile(LETTER)) return 'effect';
    return 'instrument';
  }
  if (ch === '$') { stream.eatWhile(/[A-Za-z0-9_]/); return stream.current().length > 1 ? 'macro' : 'invalid'; }
  if (ch === '{' || ch === '}') return 'macro';
  if (/[a-gA-G]/.test(ch)) { stream.eatWhile(/[+-]/); return 'note'; }
  if (/[rRwW_]/.test(ch)) return 'rest';
  if (/[loqkvpLOQKVP<>]/.test(ch)) return 'setting';
  if (/[()[\]:]/.test(ch)) return 'loop';
  if (ch === '|') { stream.eat('|'); return 'lane'; }
  if (/[0-9]/.test(ch) || ((ch === '+' || ch === '-') && stream.match(/^[0-9]/, false))) {
    if (ch === '0' && stream.eat(/[xX]/)) stream.eatWhile(/[0-9A-Fa-f]/);
    else stream.eatWhile(/[0-9]/);
    stream.eatWhile('.');
    return 'number';
  }
  if (/[.^*,&]/.test(ch)) return 'operator';
  return 'invalid';
}

export const mmlLanguage = StreamLanguage.define({
  name: 'mml',
  startState,
  copyState: (s) => ({ ...s }),
  token,
  blankLine: () => {},
  tokenTable: t,
  languageData: { commentTokens: { line: '//', block: { open: '/*', close: '*/' } } },
});

const style = HighlightStyle.define([
  { tag: tags.comment, class: 'tk-comment' },
  { tag: tags.string, class: 'tk-string' },
  { tag: tags.number, class: 'tk-number' },
  { tag: tags.operator, class: 'tk-operator' },
  { tag: tags.invalid, class: 'tk-invalid' },
  { tag: t.directive, class: 'tk-directive' },
  { tag: t.volume, class: 'tk-volume' },
  { tag: t.effect, class: 'tk-effect' },
  { tag: t.instrument, class: 'tk-instrument' },
  { tag: t.macro, class: 'tk-macro' },
  { tag: t.note, class: 'tk-note' },
  { tag: t.rest, class: 'tk-rest' },
  { tag: t.setting, class: 'tk-setting' },
  { tag: t.loop, class: 'tk-loop' },
  { tag: t.lane, class: 'tk-lane' },
]);

export function mml() {
  return [mmlLanguage, syntaxHighlighting(style)];
}
