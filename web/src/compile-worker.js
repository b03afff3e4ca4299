// The compiler in a Worker: the page posts scores and instrument files, the compile call
// runs in WebAssembly, and the outcome comes back in transferable arrays.
import createOrvate from './orvate.mjs';
import { SLOT, WARN_WORDS, WANT_LOG, WANT_MAP, WANT_WARNINGS } from './wasm-layout.js';

const encoder = new TextEncoder();
const decoder = new TextDecoder();
let M = null;
const ready = createOrvate().then((m) => { M = m; M._orv_init(); });

function withBytes(bytes, fn) {
  const ptr = M._malloc(Math.max(bytes.length, 1));
  M.HEAPU8.set(bytes, ptr);
  try { return fn(ptr); } finally { M._free(ptr); }
}

function addFiles(files) {
  for (const { name, bytes } of files) {
    const nameBytes = encoder.encode(name + '\0');
    withBytes(nameBytes, (np) => withBytes(bytes, (bp) => M._orv_file_add(np, bp, bytes.length)));
  }
}

function compile(score, flags, budget) {
  const t0 = performance.now();
  const bytes = typeof score === 'string' ? encoder.encode(score) : score;
  const table = withBytes(bytes, (p) => M._orv_compile(p, bytes.length, flags, budget));
  const t1 = performance.now();
  // Views are taken after the call: the memory may have grown during it.
  const w = new Int32Array(M.HEAPU8.buffer, table, SLOT.count);
  const u8 = (ptr, len) => M.HEAPU8.slice(ptr, ptr + len);
  const i32 = (ptr, len) => new Int32Array(M.HEAPU8.buffer.slice(ptr, ptr + len * 4));
  const text = (ptr, len) => decoder.decode(M.HEAPU8.subarray(ptr, ptr + len));
  const r = {
    success: w[SLOT.success] === 1,
    message: text(w[SLOT.msgPtr], w[SLOT.msgLen]),
    module: w[SLOT.success] ? u8(w[SLOT.modPtr], w[SLOT.modLen]) : null,
    log: flags & WANT_LOG ? text(w[SLOT.logPtr], w[SLOT.logLen]) : null,
    encoding: w[SLOT.encoding] ? 'utf-8' : 'cp932',
    diagnostic: null,
    warnings: [],
    map: null,
    scoreBytes: bytes.length,
    compileMs: t1 - t0,
  };
  if (w[SLOT.diagPresent]) {
    r.diagnostic = {
      positioned: !!w[SLOT.diagPositioned],
      line: w[SLOT.diagLine],
      column: w[SLOT.diagColumn],
      span: w[SLOT.diagHasSpan] ? {
        line: w[SLOT.diagSpanLine], column: w[SLOT.diagSpanColumn],
        offset: w[SLOT.diagSpanOffset] >>> 0, length: w[SLOT.diagSpanLength] >>> 0,
      } : null,
      token: text(w[SLOT.diagTokenPtr], w[SLOT.diagTokenLen]),
      reason: text(w[SLOT.diagReasonPtr], w[SLOT.diagReasonLen]),
    };
  }
  const nw = w[SLOT.warnCount];
  if (nw > 0) {
    const recs = new Int32Array(M.HEAPU8.buffer, w[SLOT.warnPtr], nw * WARN_WORDS);
    const wt = M.HEAPU8.subarray(w[SLOT.warnTextPtr], w[SLOT.warnTextPtr] + w[SLOT.warnTextLen]);
    for (let i = 0; i < nw; i++) {
      const o = i * WARN_WORDS;
      r.warnings.push({
        span: recs[o] ? { line: recs[o + 1], column: recs[o + 2], offset: recs[o + 3] >>> 0, length: recs[o + 4] >>> 0 } : null,
        pattern: recs[o + 5],
        code: decoder.decode(wt.subarray(recs[o + 6], recs[o + 6] + recs[o + 7])),
        text: decoder.decode(wt.subarray(recs[o + 8], recs[o + 8] + recs[o + 9])),
      });
    }
  }
  if (w[SLOT.mapPresent]) {
    r.map = {
      commands: i32(w[SLOT.commandPtr], w[SLOT.commandCount] * 4),
      chains: i32(w[SLOT.chainPtr], w[SLOT.chainCount] * 3),
      cells: i32(w[SLOT.cellPtr], w[SLOT.cellCount] * 5),
      sources: i32(w[SLOT.sourcePtr], w[SLOT.sourceCount] * 3),
      orders: u8(w[SLOT.orderPtr], w[SLOT.orderCount]),
      patternRows: i32(w[SLOT.patternRowsPtr], w[SLOT.patternCount]),
      channelCount: w[SLOT.channelCount],
      speed: w[SLOT.speed],
      tempo: w[SLOT.tempo],
      restartPos: w[SLOT.restartPos],
    };
  }
  r.packMs = performance.now() - t1;
  return r;
}

function transfers(r) {
  const list = [];
  if (r.module) list.push(r.module.buffer);
  if (r.map) for (const k of ['commands', 'chains', 'cells', 'sources', 'orders', 'patternRows']) list.push(r.map[k].buffer);
  return list;
}

self.onmessage = async (e) => {
  const msg = e.data;
  await ready;
  try {
    if (msg.type === 'files') {
      if (msg.clear) M._orv_files_clear();
      addFiles(msg.files);
      self.postMessage({ type: 'files', id: msg.id });
    } else if (msg.type === 'compile') {
      const flags = (msg.log ? WANT_LOG : 0) | (msg.map === false ? 0 : WANT_MAP) | WANT_WARNINGS;
      const r = compile(msg.score, flags, msg.budget ?? 0);
      r.type = 'result';
      r.id = msg.id;
      self.postMessage(r, transfers(r));
    }
  } catch (err) {
    self.postMessage({ type: 'error', id: msg.id, message: String(err && err.message || err) });
  }
};

ready.then(() => self.postMessage({ type: 'ready' }), (err) => self.postMessage({ type: 'error', message: String(err) }));
