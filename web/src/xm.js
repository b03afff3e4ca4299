// Reading the module the compiler wrote: the header, the order table and the packed patterns,
// and writing a copy with some channels silenced (the player has no channel mute).

const NOTE_NAMES = ['C-', 'C#', 'D-', 'D#', 'E-', 'F-', 'F#', 'G-', 'G#', 'A-', 'A#', 'B-'];
export const KEY_OFF = 97;

export class XmModule {
  constructor(bytes) {
    this.bytes = bytes;
    const dv = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    this.dv = dv;
    if (bytes.length < 336 || String.fromCharCode(...bytes.subarray(0, 17)) !== 'Extended Module: ') {
      throw new Error('not an XM module');
    }
    this.name = String.fromCharCode(...bytes.subarray(17, 37)).replace(/[\0 ]+$/, '');
    const headerSize = dv.getUint32(60, true);
    this.songLength = dv.getUint16(64, true);
    this.restart = dv.getUint16(66, true);
    this.channels = dv.getUint16(68, true);
    this.patternCount = dv.getUint16(70, true);
    this.instrumentCount = dv.getUint16(72, true);
    this.speed = dv.getUint16(76, true);
    this.bpm = dv.getUint16(78, true);
    this.orders = bytes.slice(80, 80 + Math.min(this.songLength, 256));
    // Pattern headers only: the cells are unpacked when a pattern is shown.
    this.patterns = [];
    let pos = 60 + headerSize;
    for (let p = 0; p < this.patternCount; p++) {
      const hlen = dv.getUint32(pos, true);
      const rows = dv.getUint16(pos + 5, true);
      const size = dv.getUint16(pos + 7, true);
      this.patterns.push({ start: pos, data: pos + hlen, rows, size });
      pos += hlen + size;
    }
    this.instrumentsStart = pos;
    this.cache = new Map();
  }

  // One pattern as rows x channels x [note, instrument, volume, effect, parameter].
  cells(p) {
    let out = this.cache.get(p);
    if (out) return out;
    const pat = this.patterns[p];
    const n = this.channels;
    out = new Uint8Array((pat ? pat.rows : 0) * n * 5);
    if (pat && pat.size > 0) {
      const b = this.bytes;
      let i = pat.data;
      const end = pat.data + pat.size;
      for (let k = 0; k < pat.rows * n && i < end; k++) {
        const o = k * 5;
        const first = b[i];
        if (first & 0x80) {
          i++;
          if (first & 1) out[o] = b[i++];
          if (first & 2) out[o + 1] = b[i++];
          if (first & 4) out[o + 2] = b[i++];
          if (first & 8) out[o + 3] = b[i++];
          if (first & 16) out[o + 4] = b[i++];
        } else {
          out.set(b.subarray(i, i + 5), o);
          i += 5;
        }
      }
    }
    if (this.cache.size > 32) this.cache.clear();
    this.cache.set(p, out);
    return out;
  }

  // A copy whose given channels hold no cells; everything else byte for byte.
  withSilentChannels(silent) {
    if (silent.size === 0) return this.bytes;
    const n = this.channels;
    const parts = [this.bytes.subarray(0, this.patterns.length ? this.patterns[0].start : this.instrumentsStart)];
    for (let p = 0; p < this.patterns.length; p++) {
      const pat = this.patterns[p];
      const header = this.bytes.slice(pat.start, pat.data);
      if (pat.size === 0) { parts.push(header); continue; }
      const cells = this.cells(p);
      const packed = new Uint8Array(pat.rows * n * 6);
      let w = 0;
      for (let k = 0; k < pat.rows * n; k++) {
        const o = k * 5;
        if (silent.has(k % n)) { packed[w++] = 0x80; continue; }
        let flags = 0x80;
        for (let j = 0; j < 5; j++) if (cells[o + j]) flags |= 1 << j;
        packed[w++] = flags;
        for (let j = 0; j < 5; j++) if (cells[o + j]) packed[w++] = cells[o + j];
      }
      new DataView(header.buffer).setUint16(7, w, true);
      parts.push(header, packed.subarray(0, w));
    }
    parts.push(this.bytes.subarray(this.instrumentsStart));
    const total = parts.reduce((s, a) => s + a.length, 0);
    const out = new Uint8Array(total);
    let pos = 0;
    for (const a of parts) { out.set(a, pos); pos += a.length; }
    return out;
  }
}

// The cell as a tracker shows it: "C-4 01 40 A0F".
export function noteText(note) {
  if (!note) return '---';
  if (note === KEY_OFF) return '===';
  const n = note - 1;
  return NOTE_NAMES[n % 12] + Math.floor(n / 12);
}

function hex2(v) { return v.toString(16).toUpperCase().padStart(2, '0'); }

export function volumeText(v) {
  if (!v) return '..';
  if (v >= 0x10 && v <= 0x50) return hex2(v - 0x10);
  const kinds = { 6: '-', 7: '+', 8: 'D', 9: 'U', 0xa: 'S', 0xb: 'V', 0xc: 'P', 0xd: 'L', 0xe: 'R', 0xf: 'M' };
  return (kinds[v >> 4] ?? '?') + (v & 15).toString(16).toUpperCase();
}

const EFFECT_LETTERS = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ';
export function effectText(type, param) {
  if (!type && !param) return '...';
  return (EFFECT_LETTERS[type] ?? '?') + hex2(param);
}

export function instrumentText(i) {
  return i ? hex2(i) : '..';
}
