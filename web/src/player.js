// Playback through libopenmpt, in chiptune3's AudioWorklet processor (loaded through
// player.worklet.js). The page talks to the processor with chiptune3's own messages. The
// processor is made when the page opens, so libopenmpt is compiled before the first Play.
// It has no channel mute: a muted channel is played from a copy of the module whose cells on
// that channel are empty, restarted at the position it had.

const workletUrl = new URL('./player.worklet.js', import.meta.url);

// The smallest module libopenmpt accepts: one empty pattern of one row. Played once at start-up
// to learn when the processor is ready.
function silentModule() {
  const b = new Uint8Array(336 + 9);
  const dv = new DataView(b.buffer);
  const text = (o, s) => { for (let i = 0; i < s.length; i++) b[o + i] = s.charCodeAt(i); };
  text(0, 'Extended Module: ');
  b[37] = 0x1a;
  dv.setUint16(58, 0x0104, true);
  dv.setUint32(60, 276, true);
  dv.setUint16(64, 1, true);   // song length
  dv.setUint16(68, 2, true);   // channels
  dv.setUint16(70, 1, true);   // patterns
  dv.setUint16(74, 1, true);   // linear frequencies
  dv.setUint16(76, 6, true);
  dv.setUint16(78, 125, true);
  dv.setUint32(336, 9, true);  // pattern header: length 9, packing 0, 1 row, no data
  dv.setUint16(341, 1, true);
  return b;
}

async function makeNode(context, config) {
  await context.audioWorklet.addModule(workletUrl);
  const node = new AudioWorkletNode(context, 'libopenmpt-processor', {
    numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
  });
  node.port.postMessage({ cmd: 'config', val: { repeatCount: -1, stereoSeparation: 100, interpolationFilter: 0, ...config } });
  // Wait until libopenmpt inside the worklet takes a module.
  const probe = silentModule();
  for (let i = 0; i < 200; i++) {
    const answer = await new Promise((resolve) => {
      node.port.onmessage = (e) => { if (e.data.cmd === 'meta' || e.data.cmd === 'err') resolve(e.data); };
      node.port.postMessage({ cmd: 'play', val: probe.slice().buffer });
    });
    if (answer.cmd === 'meta') break;
    await new Promise((r) => setTimeout(r, 25));
  }
  node.port.postMessage({ cmd: 'stop' });
  node.port.onmessage = null;
  return node;
}

export class Player {
  constructor() {
    this.context = new AudioContext();
    this.gain = this.context.createGain();
    this.analyser = this.context.createAnalyser();
    this.analyser.fftSize = 2048;
    this.gain.connect(this.analyser);
    this.analyser.connect(this.context.destination);
    this.playing = false;
    this.position = null; // { order, pattern, row, time }
    this.first = null;
    this.listeners = new Set();
    this.ready = makeNode(this.context, { repeatCount: -1 }).then((node) => {
      this.node = node;
      node.connect(this.gain);
      node.port.onmessage = (e) => this.message(e.data);
    });
  }

  message(d) {
    if (d.cmd === 'err') { this.lastError = d.val; return; }
    if (d.cmd !== 'pos' || !this.playing) return;
    if (this.target) {
      // The worklet may render a block from the top before the jump reaches it: keep that
      // block silent and unreported.
      const t = this.target;
      if ((d.order !== t.order || d.row < t.row) && ++t.skipped < 50) return;
      this.target = null;
      this.gain.gain.value = 1;
    }
    const prev = this.position;
    this.position = { order: d.order, pattern: d.pattern, row: d.row, time: d.pos };
    if (!this.first) this.first = this.position;
    if (!prev || prev.row !== d.row || prev.order !== d.order) for (const f of this.listeners) f(this.position);
  }

  onPosition(f) { this.listeners.add(f); }

  // Starts the module at an order position and row (0, 0: the start).
  async play(bytes, order = 0, row = 0) {
    await this.ready;
    if (this.context.state !== 'running') await this.context.resume();
    this.first = null;
    this.target = order || row ? { order, row, skipped: 0 } : null;
    this.gain.gain.value = this.target ? 0 : 1;
    this.node.port.postMessage({ cmd: 'play', val: bytes.slice().buffer });
    if (this.target) this.node.port.postMessage({ cmd: 'setOrderRow', val: { o: order, r: row } });
    this.playing = true;
    this.position = null;
  }

  // The same song with other bytes (a mute, a new compile), from where it is now.
  async swap(bytes) {
    if (!this.playing) return;
    const at = this.position ?? { order: 0, row: 0 };
    await this.play(bytes, at.order, at.row);
  }

  stop() {
    this.node?.port.postMessage({ cmd: 'stop' });
    this.playing = false;
    this.position = null;
    this.target = null;
    for (const f of this.listeners) f(null);
  }

  // RMS of what the player puts out right now.
  level() {
    const buf = new Float32Array(this.analyser.fftSize);
    this.analyser.getFloatTimeDomainData(buf);
    let s = 0;
    for (let i = 0; i < buf.length; i++) s += buf[i] * buf[i];
    return Math.sqrt(s / buf.length);
  }
}

// The whole song, played once, as stereo samples: libopenmpt renders it in one go in a
// processor of its own, on a context of its own, so playback is not held up meanwhile.
let renderer = null;
export async function renderAll(bytes) {
  if (!renderer) {
    const context = new AudioContext({ sampleRate: 44100 });
    renderer = { context, node: await makeNode(context, { repeatCount: 0 }) };
  }
  const { context, node } = renderer;
  return new Promise((resolve, reject) => {
    node.port.onmessage = (e) => {
      const d = e.data;
      if (d.cmd === 'fullAudioData') {
        node.port.onmessage = null;
        resolve({ sampleRate: context.sampleRate, left: d.data[0], right: d.data[1] });
      } else if (d.cmd === 'err') {
        node.port.onmessage = null;
        reject(new Error(`render failed: ${d.val}`));
      }
    };
    node.port.postMessage({ cmd: 'decodeAll', val: bytes.slice().buffer });
  });
}
