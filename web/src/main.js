// The studio's page: the score is compiled on every edit, shown as patterns, and played.
import { createEditor } from './editor.js';
import { CompileClient } from './compile-client.js';
import { Player, renderAll } from './player.js';
import { PatternView } from './pattern-view.js';
import { TextPositions, ScoreMap, PART_NOTE } from './positions.js';
import { XmModule, KEY_OFF } from './xm.js';
import { encodeWav } from './wav.js';
import { download } from './download.js';
import * as storage from './storage.js';

const $ = (id) => document.getElementById(id);
const statusEl = $('status');
const detailEl = $('detail');

// Everything the tests read back is here too.
const studio = {
  result: null,       // the latest outcome shown
  good: null,         // the latest successful one: { xm, map, positions, module }
  metrics: { editToApplied: [], editToPainted: [], playToSound: [], compileMs: [] },
  compiles: 0,
  timeouts: 0,
  muted: new Set(),
  soloed: new Set(),
  name: 'score',
  ready: false,
};
window.studio = studio;

function setStatus(text, kind = 'info') {
  if (statusEl.textContent !== text) statusEl.textContent = text;
  if (statusEl.dataset.kind !== kind) statusEl.dataset.kind = kind;
}

// ---------------------------------------------------------------- compiling
let editStartedAt = null;
let saveTimer = 0;
let compileQueued = false;
let shownDiagnostics = 0;

const compiler = new CompileClient({
  timeoutMs: 3000,
  budget: 0,
  onResult: (r) => applyResult(r),
  onTimeout: ({ ms }) => {
    studio.timeouts++;
    setStatus(`The score ran too long: compiling was stopped after ${(ms / 1000).toFixed(1)} s. ` +
      'Look for a loop or macro that repeats without end.', 'error');
    detailEl.textContent = '';
    editor.setDiagnostics([]);
    setButtons();
  },
  onFailure: ({ message }) => {
    setStatus(`The compiler stopped unexpectedly (${message}); it has been restarted.`, 'error');
    setButtons();
  },
});

// Edits made in one task (a paste, a replace-all) are sent as one request.
function scheduleCompile() {
  if (compileQueued) return;
  compileQueued = true;
  queueMicrotask(() => { compileQueued = false; compiler.request(editor.text()); });
}

function applyResult(r) {
  const applyStart = performance.now();
  const positions = new TextPositions(r.text);
  studio.result = r;
  studio.compiles++;
  studio.metrics.compileMs.push(r.compileMs);
  const diags = [];
  if (r.success) {
    let xm = null;
    try { xm = new XmModule(r.module); } catch (e) { console.error(e); }
    const map = r.map ? new ScoreMap(r.map) : null;
    const changed = !studio.good || !sameBytes(studio.good.module, r.module);
    studio.good = { xm, map, positions, module: r.module, text: r.text };
    for (const w of r.warnings) {
      if (!w.span) continue;
      const { from, to } = positions.span(w.span.offset, w.span.length);
      diags.push({ from, to, severity: 'warning', message: w.text, source: w.code });
    }
    const warn = r.warnings.length ? ` ${r.warnings.length} warning${r.warnings.length > 1 ? 's' : ''}: ${r.warnings.map((w) => w.text).join(' / ')}` : '';
    setStatus(`${r.message || 'コンパイル成功.'}${warn}`, r.warnings.length ? 'warning' : 'ok');
    detailEl.textContent = xm
      ? `${xm.patternCount} patterns, ${xm.channels} channels, ${xm.songLength} orders, ${r.module.length} bytes; compiled in ${r.compileMs.toFixed(1)} ms`
      : '';
    if (changed) patternView.setModule(xm);
    buildChannelStrip();
    if (changed && player.playing) player.swap(playBytes());
    if (!player.playing) $('position').textContent = '';
    if (!player.playing) showCursorPattern();
  } else {
    const d = r.diagnostic;
    if (d && d.span) {
      const { from, to } = positions.span(d.span.offset, d.span.length);
      diags.push({ from, to, severity: 'error', message: r.message });
    } else if (d && d.positioned) {
      // No span: mark the character at the reported place.
      const line = editor.view.state.doc.line(Math.min(Math.max(d.line, 1), editor.view.state.doc.lines));
      const from = Math.min(line.from + d.column, line.to);
      diags.push({ from: Math.max(from - 1, line.from), to: Math.max(from, line.from + 1), severity: 'error', message: r.message });
    }
    // As the console words it: the verdict, then the reason.
    setStatus(`コンパイル失敗. ${r.message}`, 'error');
    if (!player.playing && studio.good) $('position').textContent = 'showing the last version that compiled';
    detailEl.textContent = `compiled in ${r.compileMs.toFixed(1)} ms`;
  }
  // An unchanged empty list is not sent again: every dispatch costs the editor a measure.
  if (diags.length || shownDiagnostics) editor.setDiagnostics(diags);
  shownDiagnostics = diags.length;
  setButtons();
  if (editStartedAt !== null && r.requestedAt >= editStartedAt) {
    const started = editStartedAt;
    editStartedAt = null;
    studio.metrics.editToApplied.push(performance.now() - started);
    (studio.metrics.stages ??= []).push({ toRequest: r.requestedAt - started, queued: r.queuedMs, roundTrip: r.roundTripMs, compile: r.compileMs, apply: performance.now() - applyStart });
    requestAnimationFrame(() => studio.metrics.editToPainted.push(performance.now() - started));
  }
}

function sameBytes(a, b) {
  if (!a || !b || a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}

// ---------------------------------------------------------------- editor
const editor = createEditor($('editor'), {
  doc: '',
  onChange: () => {
    if (editStartedAt === null) editStartedAt = performance.now();
    scheduleCompile();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(() => storage.saveScore(editor.text()), 300);
  },
  onCursor: () => { if (!player.playing) showCursorPattern(); },
});
studio.view = editor.view;
window.addEventListener('pagehide', () => storage.saveScore(editor.text()));

// ---------------------------------------------------------------- patterns and playback
const patternView = new PatternView($('patterns'), {
  onCellClick: (p, ch, row) => {
    const g = studio.good;
    if (!g?.map) return;
    const list = g.map.patternChannels(p).get(ch);
    const ci = list?.find((i) => g.map.cells[i * 5 + 2] === row);
    if (ci === undefined) return;
    const spans = g.map.cellSpans(ci);
    if (spans.length && g.text === editor.text()) {
      const { from, to } = g.positions.span(spans[spans.length - 1][0], spans[spans.length - 1][1]);
      editor.select(from, to);
    }
  },
});

const player = new Player();
studio.player = player;
studio.patternView = patternView;

function silentChannels() {
  const n = studio.good?.xm?.channels ?? 0;
  const silent = new Set();
  for (let ch = 0; ch < n; ch++) {
    if (studio.soloed.size ? !studio.soloed.has(ch) : studio.muted.has(ch)) silent.add(ch);
  }
  return silent;
}

function playBytes() {
  const g = studio.good;
  return g.xm ? g.xm.withSilentChannels(silentChannels()) : g.module;
}

function showCursorPattern() {
  const g = studio.good;
  if (!g?.map || g.text !== editor.text()) return;
  const at = g.map.startFor(g.positions.charToByte(editor.cursor()));
  if (at) patternView.showPattern(at.pattern);
}

let pendingRow = null;
player.onPosition((pos) => {
  pendingRow = pos;
  requestAnimationFrame(showPosition);
});

function showPosition() {
  const pos = pendingRow;
  const g = studio.good;
  if (!pos) { patternView.setPlayhead(patternView.pattern, -1); editor.setPlaying([]); $('position').textContent = ''; return; }
  if (!g?.xm) return;
  const pattern = pos.pattern >= 0 ? pos.pattern : g.xm.orders[pos.order];
  studio.lastShownPosition = { order: pos.order, pattern, row: pos.row };
  patternView.setPlayhead(pattern, pos.row);
  $('position').textContent = `order ${pos.order}  pattern ${pattern}  row ${pos.row}`;
  if (g.map && g.text === editor.text()) {
    const n = g.xm.channels;
    const cells = g.xm.cells(pattern);
    const isKeyOff = (ch, row) => cells[(row * n + ch) * 5] === KEY_OFF;
    const ranges = [];
    for (const ci of g.map.cellsForRow(pattern, pos.row, isKeyOff)) {
      const exact = g.map.cells[ci * 5 + 2] === pos.row;
      for (const [off, len] of g.map.cellSpans(ci, exact ? 0xff : PART_NOTE)) ranges.push(g.positions.span(off, len));
    }
    editor.setPlaying(ranges);
  }
}

async function startPlayback(order, row) {
  if (!studio.good) return;
  const t0 = performance.now();
  await player.play(playBytes(), order, row);
  setButtons();
  // How long until the output carries sound.
  const started = performance.now();
  const probe = setInterval(() => {
    const now = performance.now();
    if (player.level() > 0.01) { clearInterval(probe); studio.metrics.playToSound.push(now - t0); }
    else if (!player.playing || now - started > 3000) clearInterval(probe);
  }, 2);
}

$('play').addEventListener('click', () => startPlayback(0, 0));
$('play-cursor').addEventListener('click', () => {
  const g = studio.good;
  if (!g?.map) return;
  if (g.text !== editor.text()) { setStatus('The score has errors: the cursor cannot be placed in the last good version.', 'error'); return; }
  const at = g.map.startFor(g.positions.charToByte(editor.cursor()));
  if (!at) { setStatus('Nothing at or after the cursor is played.', 'warning'); return; }
  studio.playFromCursor = at;
  startPlayback(at.order, at.row);
});
$('stop').addEventListener('click', () => { player.stop(); setButtons(); });

// ---------------------------------------------------------------- mute and solo
function buildChannelStrip() {
  const strip = $('channels');
  const n = studio.good?.xm?.channels ?? 0;
  if (strip.childElementCount === n) { updateChannelStrip(); return; }
  strip.textContent = '';
  for (let ch = 0; ch < n; ch++) {
    const group = document.createElement('span');
    group.className = 'ch';
    group.setAttribute('role', 'group');
    group.setAttribute('aria-label', `Channel ${ch + 1}`);
    const label = document.createElement('span');
    label.textContent = `${ch + 1}`;
    label.className = 'ch-num';
    const mute = document.createElement('button');
    mute.textContent = 'Mute';
    mute.setAttribute('aria-label', `Mute channel ${ch + 1}`);
    mute.dataset.role = 'mute';
    mute.addEventListener('click', () => toggle(studio.muted, ch));
    const solo = document.createElement('button');
    solo.textContent = 'Solo';
    solo.setAttribute('aria-label', `Solo channel ${ch + 1}`);
    solo.dataset.role = 'solo';
    solo.addEventListener('click', () => toggle(studio.soloed, ch));
    group.append(label, mute, solo);
    strip.append(group);
  }
  updateChannelStrip();
}

function updateChannelStrip() {
  [...$('channels').children].forEach((g, ch) => {
    g.querySelector('[data-role=mute]').setAttribute('aria-pressed', String(studio.muted.has(ch)));
    g.querySelector('[data-role=solo]').setAttribute('aria-pressed', String(studio.soloed.has(ch)));
  });
}

function toggle(set, ch) {
  if (set.has(ch)) set.delete(ch); else set.add(ch);
  updateChannelStrip();
  if (player.playing) player.swap(playBytes());
}

// ---------------------------------------------------------------- files out
function baseName() { return studio.name.replace(/\.[^.]*$/, '') || 'score'; }

$('download-xm').addEventListener('click', () => {
  const r = studio.result;
  if (r?.success) download(`${baseName()}.xm`, r.module);
});

$('export-wav').addEventListener('click', async () => {
  const r = studio.result;
  if (!r?.success) return;
  const button = $('export-wav');
  button.disabled = true;
  setStatus('Rendering the song…');
  try {
    const t0 = performance.now();
    const audio = await renderAll(r.module);
    const wav = encodeWav(audio.left, audio.right, audio.sampleRate);
    studio.metrics.wavMs = performance.now() - t0;
    download(`${baseName()}.wav`, wav, 'audio/wav');
    setStatus(`WAV written: ${(audio.left.length / audio.sampleRate).toFixed(1)} s, ${wav.length} bytes.`, 'ok');
  } catch (e) {
    setStatus(`The song could not be rendered: ${e.message}`, 'error');
  } finally {
    setButtons();
  }
});

$('download-log').addEventListener('click', async () => {
  try {
    const r = await compiler.once(editor.text(), { log: true });
    download(`${baseName()}.log`, r.log, 'text/plain');
  } catch (e) {
    setStatus(`The event log could not be made: ${e.message}`, 'error');
  }
});

function setButtons() {
  const ok = !!studio.result?.success;
  $('download-xm').disabled = !ok;
  $('export-wav').disabled = !ok;
  $('play').disabled = !studio.good;
  $('play-cursor').disabled = !studio.good;
  $('stop').disabled = !player.playing;
}

// ---------------------------------------------------------------- instruments and examples
async function addInstrumentFiles(fileList) {
  const names = [];
  for (const f of fileList) {
    const bytes = new Uint8Array(await f.arrayBuffer());
    compiler.setFile(f.name, bytes);
    storage.saveFile(f.name, bytes);
    names.push(f.name);
  }
  if (names.length) {
    setStatus(`Added ${names.join(', ')}: "#instrument" finds ${names.length > 1 ? 'them' : 'it'} by name.`, 'ok');
    scheduleCompile();
  }
}

$('add-xi-button').addEventListener('click', () => $('add-xi').click());
$('add-xi').addEventListener('change', (e) => { addInstrumentFiles(e.target.files); e.target.value = ''; });
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dropping'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('dropping');
  const files = [...(e.dataTransfer?.files ?? [])];
  const xi = files.filter((f) => /\.xi$/i.test(f.name));
  const score = files.find((f) => /\.(mml|txt)$/i.test(f.name));
  if (xi.length) addInstrumentFiles(xi);
  if (score) score.arrayBuffer().then((b) => { studio.name = score.name; editor.setText(storage.decodeScore(new Uint8Array(b))); });
});

async function fetchBytes(url) {
  const res = await fetch(url);
  if (!res.ok) throw new Error(`${url}: ${res.status}`);
  return new Uint8Array(await res.arrayBuffer());
}

async function loadExamples() {
  const list = await (await fetch('examples/index.json')).json();
  const box = $('examples');
  for (const s of list.scores) {
    const b = document.createElement('button');
    b.textContent = s.name.replace(/\.mml$/, '');
    b.title = s.title ?? s.name;
    b.setAttribute('aria-label', `Open example ${s.name}`);
    b.addEventListener('click', async () => {
      const text = storage.decodeScore(await fetchBytes(`examples/${s.name}`));
      studio.name = s.name;
      player.stop();
      editor.setText(text);
      setButtons();
    });
    box.append(b);
  }
  await Promise.all(list.instruments.map(async (name) => compiler.setFile(name, await fetchBytes(`examples/${name}`))));
  return list;
}

// ---------------------------------------------------------------- start
async function startingScore(list) {
  // A score handed to the server on its command line comes first, unless it is the one this
  // browser already started from (then the edits made since are kept).
  try {
    const res = await fetch('score', { cache: 'no-store' });
    if (res.ok) {
      const bytes = new Uint8Array(await res.arrayBuffer());
      const text = storage.decodeScore(bytes);
      const stamp = `${bytes.length}:${hash(bytes)}`;
      const stored = storage.loadScore();
      if (localStorage.getItem('orvate.served') === stamp && stored !== null) return stored;
      try { localStorage.setItem('orvate.served', stamp); } catch { /* full */ }
      studio.name = decodeURIComponent(res.headers.get('X-Score-Name') ?? 'score.mml');
      return text;
    }
  } catch { /* no server score */ }
  const stored = storage.loadScore();
  if (stored !== null) return stored;
  const demo = list?.scores.find((s) => s.name === 'demo.mml') ?? list?.scores[0];
  if (!demo) return '#setorder 0\nc4 d4 e4\n';
  studio.name = demo.name;
  return storage.decodeScore(await fetchBytes(`examples/${demo.name}`));
}

function hash(bytes) {
  let h = 2166136261;
  for (let i = 0; i < bytes.length; i++) h = Math.imul(h ^ bytes[i], 16777619);
  return (h >>> 0).toString(16);
}

(async () => {
  setButtons();
  setStatus('Loading…');
  let list = null;
  try { list = await loadExamples(); } catch (e) { setStatus(`Examples not found: ${e.message}`, 'warning'); }
  for (const { name, bytes } of storage.loadFiles()) compiler.setFile(name, bytes);
  const text = await startingScore(list);
  editor.setText(text);
  studio.ready = true;
})();
