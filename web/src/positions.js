// Where things are: the compiler counts UTF-8 bytes of the score it was given, the editor counts
// UTF-16 units. One pass over the text records every non-ASCII character; between two of them
// bytes and units advance together, so each conversion is a binary search.

export class TextPositions {
  constructor(text) {
    this.length = text.length;
    const starts = [];   // unit index of each non-ASCII character
    const bytes = [];    // its byte offset
    const widths = [];   // units << 3 | bytes
    if (/[^\x00-\x7f]/.test(text)) {
      let b = 0;
      for (let i = 0; i < text.length; i++) {
        const c = text.charCodeAt(i);
        if (c < 0x80) { b++; continue; }
        let units = 1;
        let n;
        if (c < 0x800) n = 2;
        else if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.length &&
                 (text.charCodeAt(i + 1) & 0xfc00) === 0xdc00) { n = 4; units = 2; }
        else n = 3; // a lone surrogate is encoded as U+FFFD, three bytes
        starts.push(i); bytes.push(b); widths.push((units << 3) | n);
        b += n; i += units - 1;
      }
      this.byteLength = b;
    } else {
      this.byteLength = text.length;
    }
    this.starts = Int32Array.from(starts);
    this.bytes = Int32Array.from(bytes);
    this.widths = Uint8Array.from(widths);
  }

  // Last index k with arr[k] <= v, or -1.
  static floor(arr, v) {
    let lo = 0, hi = arr.length - 1, r = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (arr[mid] <= v) { r = mid; lo = mid + 1; } else hi = mid - 1;
    }
    return r;
  }

  // A byte offset inside a character gives that character's start.
  byteToChar(b) {
    const k = TextPositions.floor(this.bytes, b);
    if (k < 0) return Math.min(b, this.length);
    const w = this.widths[k];
    const nb = w & 7, units = w >> 3;
    if (b < this.bytes[k] + nb) return this.starts[k];
    return Math.min(this.starts[k] + units + (b - this.bytes[k] - nb), this.length);
  }

  charToByte(c) {
    const k = TextPositions.floor(this.starts, c);
    if (k < 0) return c;
    const w = this.widths[k];
    const nb = w & 7, units = w >> 3;
    if (c < this.starts[k] + units) return this.bytes[k];
    return this.bytes[k] + nb + (c - this.starts[k] - units);
  }

  // A byte span as an editor range, never empty so that an underline shows.
  span(offset, length) {
    let from = this.byteToChar(offset);
    let to = this.byteToChar(offset + length);
    if (to <= from) to = Math.min(from + 1, this.length);
    if (to <= from && from > 0) from = to - 1;
    return { from, to };
  }
}

// Cell parts, as the map gives them.
export const PART_NOTE = 1, PART_INST = 2, PART_VCOL = 4, PART_EFFECT = 8;

// The score map in flat arrays: commands (offset, length, line, column), chains (parent,
// command, kind), cells (pattern, channel, row, first source, source count), sources
// (command, chain, parts).
export class ScoreMap {
  constructor(m) {
    Object.assign(this, m);
    this.cellCount = m.cells.length / 5;
    this.rowIndex = new Map();
  }

  // Cells of one pattern: [first, end).
  patternRange(p) {
    const c = this.cells, n = this.cellCount;
    let lo = 0, hi = n;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (c[mid * 5] < p) lo = mid + 1; else hi = mid; }
    const first = lo;
    hi = n;
    while (lo < hi) { const mid = (lo + hi) >> 1; if (c[mid * 5] <= p) lo = mid + 1; else hi = mid; }
    return [first, lo];
  }

  // For one pattern: per channel, the cell indices in row order (built on first use).
  patternChannels(p) {
    let e = this.rowIndex.get(p);
    if (e) return e;
    const [first, end] = this.patternRange(p);
    e = new Map();
    for (let i = first; i < end; i++) {
      const ch = this.cells[i * 5 + 1];
      let list = e.get(ch);
      if (!list) { list = []; e.set(ch, list); }
      list.push(i);
    }
    if (this.rowIndex.size > 64) this.rowIndex.clear();
    this.rowIndex.set(p, e);
    return e;
  }

  // The cell of a channel at a row, or the last one before it whose sources wrote a note.
  // Returns cell indices: every cell on the row, and per channel the note still sounding.
  cellsForRow(p, row, isKeyOff) {
    const out = [];
    for (const [ch, list] of this.patternChannels(p)) {
      // last cell with row <= row
      let lo = 0, hi = list.length - 1, k = -1;
      while (lo <= hi) {
        const mid = (lo + hi) >> 1;
        if (this.cells[list[mid] * 5 + 2] <= row) { k = mid; lo = mid + 1; } else hi = mid - 1;
      }
      if (k < 0) continue;
      if (this.cells[list[k] * 5 + 2] === row) out.push(list[k]);
      // walk back to the latest note on this channel
      for (let j = k; j >= 0; j--) {
        const ci = list[j];
        if (this.cellParts(ci) & PART_NOTE) {
          const r = this.cells[ci * 5 + 2];
          if (!(isKeyOff && isKeyOff(ch, r)) && !(r === row && out[out.length - 1] === ci)) out.push(ci);
          break;
        }
      }
    }
    return out;
  }

  cellParts(ci) {
    const first = this.cells[ci * 5 + 3], count = this.cells[ci * 5 + 4];
    let parts = 0;
    for (let s = first; s < first + count; s++) parts |= this.sources[s * 3 + 2];
    return parts;
  }

  // Byte spans of the commands that wrote a cell (only those that wrote one of `mask`'s parts).
  cellSpans(ci, mask = 0xff) {
    const out = [];
    const first = this.cells[ci * 5 + 3], count = this.cells[ci * 5 + 4];
    for (let s = first; s < first + count; s++) {
      if (!(this.sources[s * 3 + 2] & mask)) continue;
      const cmd = this.sources[s * 3];
      out.push([this.commands[cmd * 4], this.commands[cmd * 4 + 1]]);
    }
    return out;
  }

  // Commands whose text holds the byte offset; when none does, the first one after it.
  commandsAt(offset) {
    const c = this.commands, n = c.length / 4;
    const hit = new Set();
    let next = -1, nextOff = Infinity;
    for (let i = 0; i < n; i++) {
      const off = c[i * 4], len = c[i * 4 + 1];
      if (offset >= off && offset < off + Math.max(len, 1)) hit.add(i);
      else if (off >= offset && off < nextOff) { nextOff = off; next = i; }
    }
    if (hit.size === 0 && next >= 0) {
      // every command starting at that same place
      for (let i = 0; i < n; i++) if (c[i * 4] === nextOff) hit.add(i);
    }
    return hit;
  }

  // Where playback should start to hear the command at a byte offset: the earliest order
  // position whose pattern holds a cell written by it (directly, or through a macro call or a
  // copy that led to it), at the first such row. null when no cell came from there.
  startFor(offset) {
    const hit = this.commandsAt(offset);
    if (hit.size === 0) return null;
    const chains = this.chains, nChains = chains.length / 3;
    // A chain matches when one of its steps is a hit; parents come before their children.
    const chainHit = new Uint8Array(nChains);
    for (let i = 1; i < nChains; i++) {
      const parent = chains[i * 3];
      chainHit[i] = (hit.has(chains[i * 3 + 1]) || (parent < i && chainHit[parent])) ? 1 : 0;
    }
    const best = new Map(); // pattern -> first row
    const cells = this.cells, src = this.sources;
    for (let ci = 0; ci < this.cellCount; ci++) {
      const first = cells[ci * 5 + 3], count = cells[ci * 5 + 4];
      for (let s = first; s < first + count; s++) {
        if (hit.has(src[s * 3]) || chainHit[src[s * 3 + 1]]) {
          const p = cells[ci * 5], row = cells[ci * 5 + 2];
          if (row < (this.patternRows[p] ?? 0) && (!best.has(p) || row < best.get(p))) best.set(p, row);
          break;
        }
      }
    }
    for (let o = 0; o < this.orders.length; o++) {
      const p = this.orders[o];
      if (best.has(p)) return { order: o, pattern: p, row: best.get(p) };
    }
    return null;
  }
}
