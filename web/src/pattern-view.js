// The pattern as a tracker shows it: one line per row, one column per channel (note,
// instrument, volume column, effect). It is drawn on a canvas over an empty scroller whose size
// is that of the whole pattern, so only what is in sight is drawn and a pattern of a thousand
// rows and 32 channels scrolls as lightly as a short one.
import { noteText, instrumentText, volumeText, effectText } from './xm.js';

const ROW = 18;
const FONT = '12px "DejaVu Sans Mono", monospace';
const COLORS = {
  bg: '#16181d', bar: '#1c1f26', head: '#1e2128', line: '#2c313a', num: '#626a78', barNum: '#9aa3b2',
  play: '#35532a', note: '#ffffff', empty: '#4a505c', ins: '#f2d36b', vol: '#5fd0c4', fx: '#f28cc8', text: '#d7dae0',
};

export class PatternView {
  constructor(root, { onCellClick } = {}) {
    this.onCellClick = onCellClick;
    this.xm = null;
    this.pattern = 0;
    this.playRow = -1;
    this.follow = true;
    root.classList.add('pattern-view');
    this.scroller = document.createElement('div');
    this.scroller.className = 'pv-scroll';
    this.scroller.tabIndex = 0;
    this.scroller.setAttribute('role', 'region');
    this.scroller.setAttribute('aria-label', 'Pattern rows');
    this.spacer = document.createElement('div');
    this.spacer.className = 'pv-spacer';
    this.scroller.append(this.spacer);
    this.canvas = document.createElement('canvas');
    this.canvas.className = 'pv-canvas';
    this.canvas.setAttribute('role', 'img');
    root.append(this.scroller, this.canvas);
    this.ctx = this.canvas.getContext('2d');
    this.ctx.font = FONT;
    this.charW = this.ctx.measureText('0').width;
    this.numW = Math.ceil(this.charW * 4.5);
    this.cellW = Math.ceil(this.charW * 14);
    this.scroller.addEventListener('scroll', () => this.schedule());
    this.scroller.addEventListener('click', (e) => {
      const r = this.scroller.getBoundingClientRect();
      const x = e.clientX - r.left + this.scroller.scrollLeft - this.numW;
      const y = e.clientY - r.top + this.scroller.scrollTop - ROW;
      if (x < 0 || y < 0 || !this.xm) return;
      const ch = Math.floor(x / this.cellW), row = Math.floor(y / ROW);
      if (ch < this.xm.channels && row < this.rows()) this.onCellClick?.(this.pattern, ch, row);
    });
    new ResizeObserver(() => this.draw()).observe(this.scroller);
  }

  rows() { return this.xm?.patterns[this.pattern]?.rows ?? 0; }

  setModule(xm) {
    this.xm = xm;
    if (!xm || this.pattern >= xm.patternCount) this.pattern = 0;
    this.layout();
    this.draw();
  }

  showPattern(p) {
    if (!this.xm || p < 0 || p >= this.xm.patternCount || p === this.pattern) return;
    this.pattern = p;
    this.scroller.scrollTop = 0;
    this.layout();
    this.draw();
  }

  layout() {
    const n = this.xm?.channels ?? 0;
    this.spacer.style.width = `${this.numW + n * this.cellW}px`;
    this.spacer.style.height = `${(this.rows() + 1) * ROW}px`;
    this.canvas.setAttribute('aria-label', this.xm ? `Pattern ${this.pattern}: ${this.rows()} rows, ${n} channels` : 'No pattern');
  }

  // Shows where playback is, and keeps that row in sight.
  setPlayhead(pattern, row) {
    if (pattern >= 0) this.showPattern(pattern);
    this.playRow = row;
    if (this.follow && row >= 0) {
      const top = row * ROW;
      const h = this.scroller.clientHeight - ROW;
      if (top < this.scroller.scrollTop || top + ROW > this.scroller.scrollTop + h) {
        this.scroller.scrollTop = Math.max(0, top - h / 3);
      }
    }
    this.draw();
  }

  schedule() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => { this.pending = 0; this.draw(); });
  }

  draw() {
    const w = this.scroller.clientWidth, h = this.scroller.clientHeight;
    const dpr = window.devicePixelRatio || 1;
    if (this.canvas.width !== Math.round(w * dpr) || this.canvas.height !== Math.round(h * dpr)) {
      this.canvas.width = Math.round(w * dpr);
      this.canvas.height = Math.round(h * dpr);
      this.canvas.style.width = `${w}px`;
      this.canvas.style.height = `${h}px`;
    }
    const g = this.ctx;
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    g.fillStyle = COLORS.bg;
    g.fillRect(0, 0, w, h);
    const xm = this.xm;
    if (!xm) return;
    g.font = FONT;
    g.textBaseline = 'middle';
    const n = xm.channels, rows = this.rows();
    const sx = this.scroller.scrollLeft, sy = this.scroller.scrollTop;
    const first = Math.max(0, Math.floor(sy / ROW));
    const last = Math.min(rows, Math.ceil((sy + h) / ROW));
    const ch0 = Math.max(0, Math.floor(sx / this.cellW));
    const ch1 = Math.min(n, Math.ceil((sx + w) / this.cellW) + 1);
    const cells = xm.cells(this.pattern);
    const y = (r) => ROW + r * ROW - sy;
    const x = (ch) => this.numW + ch * this.cellW - sx;
    // Row backgrounds.
    for (let r = first; r < last; r++) {
      if (r === this.playRow) { g.fillStyle = COLORS.play; g.fillRect(0, y(r), w, ROW); }
      else if (r % 16 === 0) { g.fillStyle = COLORS.bar; g.fillRect(0, y(r), w, ROW); }
    }
    // Cells, one colour at a time.
    const c = this.charW;
    const fields = [
      [0, 'note', (o) => noteText(cells[o])],
      [4 * c, 'ins', (o) => instrumentText(cells[o + 1])],
      [7 * c, 'vol', (o) => volumeText(cells[o + 2])],
      [10 * c, 'fx', (o) => effectText(cells[o + 3], cells[o + 4])],
    ];
    for (const [dx, color, text] of fields) {
      for (let r = first; r < last; r++) {
        const ty = y(r) + ROW / 2;
        for (let ch = ch0; ch < ch1; ch++) {
          const o = (r * n + ch) * 5;
          const s = text(o);
          g.fillStyle = s[0] === '.' || s === '---' ? COLORS.empty : COLORS[color];
          g.fillText(s, x(ch) + c * 0.6 + dx, ty);
        }
      }
    }
    // Column lines.
    g.fillStyle = COLORS.line;
    for (let ch = ch0; ch <= ch1 && ch <= n; ch++) g.fillRect(x(ch), 0, 1, h);
    // Row numbers and the head stay in place.
    g.fillStyle = COLORS.head;
    g.fillRect(0, 0, this.numW, h);
    for (let r = first; r < last; r++) {
      if (r === this.playRow) { g.fillStyle = COLORS.play; g.fillRect(0, y(r), this.numW, ROW); }
      g.fillStyle = r === this.playRow ? COLORS.note : r % 16 === 0 ? COLORS.barNum : COLORS.num;
      g.fillText(String(r).padStart(3, '0'), c * 0.8, y(r) + ROW / 2);
    }
    g.fillStyle = COLORS.head;
    g.fillRect(0, 0, w, ROW);
    g.fillStyle = COLORS.line;
    g.fillRect(0, ROW - 1, w, 1);
    g.fillStyle = COLORS.num;
    g.fillText(`P${this.pattern}`, c * 0.5, ROW / 2);
    g.fillStyle = COLORS.text;
    for (let ch = ch0; ch < ch1; ch++) g.fillText(`ch ${ch + 1}`, x(ch) + c * 0.6, ROW / 2);
  }
}
