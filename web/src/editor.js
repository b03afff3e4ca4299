// The score editor: CodeMirror with the score language, the compiler's verdict as lint marks,
// and the commands sounding during playback marked in the text.
import { EditorState, StateEffect, StateField, RangeSetBuilder } from '@codemirror/state';
import {
  EditorView, Decoration, keymap, lineNumbers, highlightActiveLine, highlightActiveLineGutter,
  drawSelection, highlightSpecialChars,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { searchKeymap, highlightSelectionMatches } from '@codemirror/search';
import { bracketMatching } from '@codemirror/language';
import { setDiagnostics, lintGutter } from '@codemirror/lint';
import { mml } from './mml-language.js';

const setPlaying = StateEffect.define();
const playingMark = Decoration.mark({ class: 'cm-playing' });

const playingField = StateField.define({
  create: () => Decoration.none,
  update(deco, tr) {
    deco = deco.map(tr.changes);
    for (const e of tr.effects) if (e.is(setPlaying)) deco = e.value;
    return deco;
  },
  provide: (f) => EditorView.decorations.from(f),
});

export function createEditor(parent, { doc, onChange, onCursor, keys = [] }) {
  const view = new EditorView({
    parent,
    state: EditorState.create({
      doc,
      extensions: [
        lineNumbers(),
        highlightActiveLineGutter(),
        highlightSpecialChars(),
        history(),
        drawSelection(),
        bracketMatching(),
        highlightActiveLine(),
        highlightSelectionMatches(),
        keymap.of(keys),
        keymap.of([...defaultKeymap, ...historyKeymap, ...searchKeymap, indentWithTab]),
        mml(),
        lintGutter(),
        playingField,
        EditorView.contentAttributes.of({ 'aria-label': 'Score' }),
        EditorView.updateListener.of((u) => {
          if (u.docChanged) onChange?.(u);
          if (u.selectionSet) onCursor?.(u.state.selection.main.head);
        }),
      ],
    }),
  });

  return {
    view,
    text: () => view.state.doc.toString(),
    setText(text) {
      view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, selection: { anchor: 0 } });
    },
    // Only the changed stretch is replaced: the cursor and the scroll position stay where they were.
    replace(change) {
      if (change) view.dispatch({ changes: change });
    },
    cursor: () => view.state.selection.main.head,
    select(from, to = from) {
      view.dispatch({ selection: { anchor: from, head: to }, scrollIntoView: true });
      view.focus();
    },
    // diagnostics: [{ from, to, severity, message }]
    setDiagnostics(list) {
      view.dispatch(setDiagnostics(view.state, list));
    },
    // ranges: [{ from, to }] in any order
    setPlaying(ranges) {
      const len = view.state.doc.length;
      const sorted = ranges
        .map((r) => ({ from: Math.min(r.from, len), to: Math.min(r.to, len) }))
        .filter((r) => r.to > r.from)
        .sort((a, b) => a.from - b.from || a.to - b.to);
      const b = new RangeSetBuilder();
      let last = null;
      for (const r of sorted) {
        if (last && last.from === r.from && last.to === r.to) continue;
        b.add(r.from, r.to, playingMark);
        last = r;
      }
      view.dispatch({ effects: setPlaying.of(b.finish()) });
    },
  };
}
