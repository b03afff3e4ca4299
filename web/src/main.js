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
import { DiskApi, HttpError, tokenFromAddress, instrumentRequests, textChange } from './disk.js';

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
let instrumentTimer = 0;
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
    saveTimer = setTimeout(keepText, 300);
    if (disk) {
      scheduleDiskState();
      clearTimeout(instrumentTimer);
      instrumentTimer = setTimeout(() => { if (disk.ready) syncInstruments(editor.text()); }, 250);
    }
  },
  onCursor: () => { if (!player.playing) showCursorPattern(); },
  keys: [{ key: 'Mod-s', run: () => { if (!disk) return false; saveToDisk(); return true; } }],
});
studio.view = editor.view;
window.addEventListener('pagehide', keepText);

// The text is kept in the browser as it is typed: for a file on disk under the file's name,
// with the version it is based on, so that a reload loses nothing.
function keepText() {
  clearTimeout(saveTimer);
  // A server without a score: kept as on a page of its own.
  if (!disk?.ready) { storage.saveScore(editor.text()); return; }
  const text = editor.text();
  const dirty = text !== disk.text;
  // Unsaved edits from before a reload are not overwritten until the user has chosen.
  if (!dirty && disk.conflict?.mine !== undefined) return;
  storage.saveDraft(disk.name, { text, base: disk.version, dirty });
}

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
  if (score) score.arrayBuffer().then((b) => { if (!disk) studio.name = score.name; editor.setText(storage.decodeScore(new Uint8Array(b))); });
});

async function fetchBytes(url) {
  const res = await fetch(url);
  if (!res.ok) throw new Error(`${url}: ${res.status}`);
  return new Uint8Array(await res.arrayBuffer());
}

// A score on disk takes its instruments from disk only, as the command line would.
async function loadExamples({ instruments = true } = {}) {
  const list = await (await fetch('examples/index.json')).json();
  const box = $('examples');
  for (const s of list.scores) {
    const b = document.createElement('button');
    b.textContent = s.name.replace(/\.mml$/, '');
    b.title = s.title ?? s.name;
    b.setAttribute('aria-label', `Open example ${s.name}`);
    b.addEventListener('click', async () => {
      const text = storage.decodeScore(await fetchBytes(`examples/${s.name}`));
      if (!disk) studio.name = s.name;
      player.stop();
      editor.setText(text);
      setButtons();
    });
    box.append(b);
  }
  if (instruments) await Promise.all(list.instruments.map(async (name) => compiler.setFile(name, await fetchBytes(`examples/${name}`))));
  return list;
}

// ---------------------------------------------------------------- a score file on disk
// With the server's token in the address, the page edits the file the server was started with:
// it reads it, saves back to it, and follows changes made to it (or to its instruments) on disk.
const token = tokenFromAddress();
const disk = token ? {
  api: new DiskApi(token),
  ready: false,
  name: 'score.mml',
  version: null,    // the file version the editor's text is based on
  text: '',         // the file's text at that version
  encoding: null,
  eol: null,
  lossy: false,
  saving: false,
  heard: null,      // the newest version the server reported
  checking: null,   // a running comparison with the disk
  conflict: null,   // { score, mine? } while the user has to choose
  instruments: new Map(), // "name\0instlib" -> { name, instlib, found }
  loads: [],        // when disk versions reached the editor (ms since the epoch)
} : null;
studio.disk = disk;
let diskUi = null;

function diskSetup() {
  const bar = document.createElement('div');
  bar.id = 'disk-bar';
  bar.setAttribute('role', 'group');
  bar.setAttribute('aria-label', 'File on disk');
  const save = document.createElement('button');
  save.type = 'button';
  save.id = 'save';
  save.textContent = 'Save';
  save.title = 'Save to the file on disk (Ctrl+S)';
  save.setAttribute('aria-keyshortcuts', 'Control+S');
  save.addEventListener('click', () => saveToDisk());
  const name = document.createElement('span');
  name.id = 'disk-name';
  const state = document.createElement('span');
  state.id = 'disk-state';
  const message = document.createElement('span');
  message.id = 'disk-message';
  message.setAttribute('role', 'status');
  message.setAttribute('aria-live', 'polite');
  bar.append(save, name, state, message);
  $('status-bar').before(bar);
  diskUi = { bar, save, name, state, message, banner: null };
  // Ctrl+S outside the editor too, instead of the browser's "save page".
  document.addEventListener('keydown', (e) => {
    // The editor's own key binding has handled it when the editor has the focus.
    if (e.defaultPrevented || !(e.ctrlKey || e.metaKey) || e.altKey || e.key.toLowerCase() !== 's') return;
    e.preventDefault();
    saveToDisk();
  });
}

function diskMessage(text, kind = 'info') {
  diskUi.message.textContent = text;
  diskUi.message.dataset.kind = kind;
}

let diskStateQueued = false;
function scheduleDiskState() {
  if (diskStateQueued) return;
  diskStateQueued = true;
  queueMicrotask(() => { diskStateQueued = false; showDiskState(); });
}

function isDirty() { return !!disk?.ready && editor.text() !== disk.text; }

function showDiskState() {
  if (!diskUi) return;
  const dirty = isDirty();
  diskUi.bar.dataset.dirty = String(dirty);
  diskUi.state.textContent = !disk.ready ? '' : dirty ? 'Unsaved changes' : 'Saved';
  diskUi.name.textContent = disk.name + (disk.lossy ? ' (not saved from here: bytes that are not cp932)' : '');
  diskUi.save.disabled = !disk.ready || disk.saving || disk.lossy;
  const title = `${dirty ? '• ' : ''}${disk.name} – ORVATE Studio`;
  if (document.title !== title) document.title = title;
}

// The editor's text is now based on this file version.
function adopt(score) {
  disk.version = score.version;
  disk.text = score.text;
  disk.name = score.name ?? disk.name;
  disk.encoding = score.encoding;
  disk.eol = score.eol;
  disk.lossy = !!score.lossy;
  studio.name = disk.name;
}

function loadIntoEditor(text) {
  editor.replace(textChange(editor.text(), text));
  disk.loads.push({ at: performance.timeOrigin + performance.now(), heardAt: disk.heardAt, version: disk.version });
}

// The banner shown while the editor holds edits that the file on disk no longer matches.
// `mine` is the text to keep when it is not the editor's (unsaved edits from before a reload).
function showConflict(score, { mine, reason } = {}) {
  disk.conflict = { score, mine: mine ?? disk.conflict?.mine };
  if (!diskUi.banner) {
    const banner = document.createElement('div');
    banner.id = 'conflict';
    banner.setAttribute('role', 'alert');
    const text = document.createElement('span');
    const keep = document.createElement('button');
    keep.type = 'button';
    keep.textContent = 'Keep mine';
    keep.title = 'Keep your text; the next save replaces the file';
    keep.addEventListener('click', keepMine);
    const load = document.createElement('button');
    load.type = 'button';
    load.textContent = 'Load from disk';
    load.title = 'Replace the text in the editor with the file';
    load.addEventListener('click', loadFromDisk);
    banner.append(text, keep, load);
    diskUi.bar.after(banner);
    diskUi.banner = { el: banner, text };
  }
  diskUi.banner.text.textContent = reason ?? `${score.name ?? disk.name} changed on disk while you have unsaved edits.`;
}

function closeConflict() {
  disk.conflict = null;
  diskUi.banner?.el.remove();
  diskUi.banner = null;
}

function keepMine() {
  const c = disk.conflict;
  if (!c) return;
  adopt(c.score);
  if (c.mine !== undefined) loadIntoEditor(c.mine);
  closeConflict();
  diskMessage(`Your text is kept; saving will replace ${disk.name} on disk.`);
  syncInstruments(editor.text());
  keepText();
  showDiskState();
}

function loadFromDisk() {
  const c = disk.conflict;
  if (!c) return;
  adopt(c.score);
  loadIntoEditor(c.score.text);
  closeConflict();
  diskMessage(`Loaded ${disk.name} from disk.`);
  syncInstruments(disk.text);
  keepText();
  showDiskState();
}

// The server reported a version: compare it with the editor's base, one look at a time.
function diskChanged(version) {
  disk.heard = version ?? null;
  disk.heardAt = performance.timeOrigin + performance.now();
  if (disk.checking || disk.saving || !disk.ready) return;
  if (version && version === disk.version && !disk.conflict) return;
  disk.checking = checkDisk().finally(() => {
    disk.checking = null;
    if (disk.heard && disk.heard !== disk.version && disk.heard !== disk.conflict?.score.version) diskChanged(disk.heard);
  });
}

async function checkDisk() {
  let score;
  try { score = await disk.api.score(); } catch (e) { diskMessage(`The file could not be read: ${e.message}`, 'error'); return; }
  if (!score) return;
  if (score.version === disk.version) {
    // Back to the version the editor is based on: nothing to choose any more.
    if (disk.conflict && disk.conflict.mine === undefined) closeConflict();
    return;
  }
  if (!isDirty() && disk.conflict?.mine === undefined) {
    closeConflict();
    adopt(score);
    loadIntoEditor(score.text);
    syncInstruments(score.text);
    keepText();
    diskMessage(`Loaded the new version of ${disk.name} from disk.`);
  } else {
    showConflict(score);
  }
  showDiskState();
}

async function saveToDisk() {
  if (!disk) return;
  if (!disk.ready || disk.saving) return;
  if (disk.lossy) {
    diskMessage(`Not saved: ${disk.name} holds bytes that are not cp932 text, and saving would change them.`, 'error');
    return;
  }
  const text = editor.text();
  disk.saving = true;
  showDiskState();
  diskMessage(`Saving ${disk.name}…`);
  try {
    const { status, body } = await disk.api.save(text, disk.version);
    if (status === 200) {
      disk.version = body.version;
      disk.text = text;
      if (disk.conflict?.mine === undefined) closeConflict();
      diskMessage(`Saved ${disk.name}.`, 'ok');
      keepText();
    } else if (status === 409) {
      const score = await disk.api.score();
      if (score) showConflict(score, { reason: `Not saved: ${disk.name} changed on disk since you loaded it. Keep mine and save again, or load the file from disk.` });
      diskMessage('Not saved: the file changed on disk.', 'error');
    } else if (status === 422) {
      const ch = body.character ?? '?';
      const cp = ch.codePointAt(0)?.toString(16).toUpperCase().padStart(4, '0');
      diskMessage(`Not saved: "${ch}" (U+${cp}) at line ${body.line}, column ${body.column} cannot be written in ${disk.encoding ?? 'the file\'s encoding'}. Nothing was written.`, 'error');
      selectCharacter(body.line, body.column);
    } else if (status === 403) {
      diskMessage('Not saved: the server refused this page. Open the address the server printed (with its token).', 'error');
    } else {
      diskMessage(`Not saved: the server answered ${status}${body.error ? ` (${body.error})` : ''}.`, 'error');
    }
  } catch (e) {
    diskMessage(`Not saved: ${e.message}`, 'error');
  } finally {
    disk.saving = false;
    showDiskState();
    if (disk.heard && disk.heard !== disk.version) diskChanged(disk.heard);
  }
}

// Line and column (from 1, in characters) of a character the file's encoding cannot hold.
function selectCharacter(line, column) {
  const doc = editor.view.state.doc;
  if (!(line >= 1 && line <= doc.lines && column >= 1)) return;
  const l = doc.line(line);
  let at = l.from;
  for (let c = 1; c < column && at < l.to; c++) at += doc.sliceString(at, at + 2).codePointAt(0) > 0xffff ? 2 : 1;
  if (at >= l.to) return;
  editor.select(at, at + (doc.sliceString(at, at + 2).codePointAt(0) > 0xffff ? 2 : 1));
}

// Instrument files come from disk, found as the command line finds them, under the name the
// score gives them. Names not found are asked for again when the score names them again.
async function syncInstruments(text) {
  const wanted = instrumentRequests(text);
  const fetches = [];
  for (const req of wanted) {
    const key = `${req.name}\0${req.instlib ?? ''}`;
    const known = disk.instruments.get(key);
    if (known?.found) continue;
    const entry = known ?? { ...req, found: false };
    disk.instruments.set(key, entry);
    fetches.push(fetchInstrument(entry));
  }
  const changed = (await Promise.all(fetches)).some(Boolean);
  if (changed && disk.ready) scheduleCompile();
  return changed;
}

async function fetchInstrument(entry) {
  try {
    const bytes = await disk.api.file(entry.name, entry.instlib);
    if (bytes) {
      entry.found = true;
      compiler.setFile(entry.name, bytes);
      return true;
    }
    const had = entry.found;
    entry.found = false;
    if (had) compiler.deleteFile(entry.name);
    return had;
  } catch (e) {
    diskMessage(`${entry.name} could not be read: ${e.message}`, 'error');
    return false;
  }
}

async function instrumentChanged(name) {
  const entries = [...disk.instruments.values()].filter((e) => e.name === name);
  const changed = (await Promise.all(entries.map(fetchInstrument))).some(Boolean);
  if (changed) { compiler.request(editor.text()); diskMessage(`${name} changed on disk; compiled again.`); }
}

async function startFromDisk() {
  diskSetup();
  showDiskState();
  let score;
  try {
    score = await disk.api.score();
  } catch (e) {
    diskMessage(e instanceof HttpError && e.status === 403
      ? 'The server refused this page: open the address the server printed (with its token).'
      : `The score could not be read from the server: ${e.message}`, 'error');
    return null;
  }
  if (!score) {
    diskMessage('The server was started without a score: nothing to save to.', 'warning');
    return null;
  }
  adopt(score);
  await syncInstruments(score.text);
  disk.draft = storage.loadDraft(score.name);
  return score.text;
}

// Once the file's text is in the editor: unsaved edits from before a reload are offered, and
// changes on disk are followed from now on.
function followDisk() {
  disk.ready = true;
  disk.loads.push({ at: performance.timeOrigin + performance.now(), version: disk.version });
  const draft = disk.draft;
  disk.draft = null;
  if (draft?.dirty && draft.text !== disk.text) {
    showConflict({ name: disk.name, text: disk.text, version: disk.version, encoding: disk.encoding, eol: disk.eol, lossy: disk.lossy }, {
      mine: draft.text,
      reason: draft.base === disk.version
        ? `You have unsaved edits to ${disk.name} from before the page was reloaded.`
        : `You have unsaved edits to ${disk.name} from before the page was reloaded, and the file changed on disk since.`,
    });
  }
  if (disk.lossy) diskMessage(`${disk.name} holds bytes that are not cp932 text (shown as �): it can be edited here but not saved.`, 'warning');
  disk.api.events({
    onScore: ({ version }) => diskChanged(version),
    onFile: ({ name }) => instrumentChanged(name),
    // A change made before the stream was open, or while it was broken, is looked up.
    onOpen: () => diskChanged(null),
  });
}

// ---------------------------------------------------------------- start
async function startingScore(list) {
  const stored = storage.loadScore();
  if (stored !== null) return stored;
  const demo = list?.scores.find((s) => s.name === 'demo.mml') ?? list?.scores[0];
  if (!demo) return '#setorder 0\nc4 d4 e4\n';
  studio.name = demo.name;
  return storage.decodeScore(await fetchBytes(`examples/${demo.name}`));
}

(async () => {
  setButtons();
  setStatus('Loading…');
  let text = disk ? await startFromDisk() : null;
  const onDisk = text !== null;
  let list = null;
  try { list = await loadExamples({ instruments: !onDisk }); } catch (e) { setStatus(`Examples not found: ${e.message}`, 'warning'); }
  if (!onDisk) for (const { name, bytes } of storage.loadFiles()) compiler.setFile(name, bytes);
  if (text === null) text = await startingScore(list);
  editor.setText(text);
  if (onDisk) followDisk();
  showDiskState();
  studio.ready = true;
})();
