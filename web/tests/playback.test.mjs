// Playing: sound out, a moving playhead, the notes marked in the text, play from the cursor,
// mute and solo, and the WAV export.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdir } from 'node:fs/promises';
import { join } from 'node:path';
import { openSession, closeSession, openExample, setScore, rootDir, sleep } from './harness.mjs';

let studio, page, errors, downloads;
before(async () => { ({ page, errors, downloads } = studio = await openSession({ page: true, downloads: true })); }, { timeout: 30000 });
after(() => closeSession(studio));

// Loudest RMS and the rows shown over a stretch of playback.
async function listen(ms) {
  return page.evaluate((ms) => new Promise((ok) => {
    const s = window.studio;
    let peak = 0;
    const rows = new Set();
    const marks = new Set();
    const t = setInterval(() => {
      peak = Math.max(peak, s.player.level());
      const p = s.lastShownPosition;
      if (p) rows.add(`${p.order}:${p.row}`);
      const pv = s.patternView;
      if (pv.playRow >= 0) marks.add(`${pv.pattern}:${pv.playRow}`);
      for (const m of document.querySelectorAll('.cm-playing')) marks.add('text:' + m.textContent);
    }, 20);
    setTimeout(() => { clearInterval(t); ok({ peak, rows: [...rows], marks: [...marks] }); }, ms);
  }), ms);
}

async function stop() {
  await page.click('::-p-aria(Stop)');
  await sleep(150);
}

test('Play gives sound, a moving playhead and the sounding notes marked in the text', { timeout: 30000 }, async () => {
  await openExample(page, 'demo.mml');
  await page.click('::-p-aria(Play)');
  const heard = await listen(2500);
  assert.ok(heard.peak > 0.01, `RMS peak ${heard.peak}`);
  assert.ok(heard.rows.length >= 5, `rows seen: ${heard.rows}`);
  const playheadRows = heard.marks.filter((m) => !m.startsWith('text:'));
  assert.ok(playheadRows.length >= 5, `playhead rows: ${playheadRows}`);
  const textMarks = heard.marks.filter((m) => m.startsWith('text:')).map((m) => m.slice(5));
  // The intro's bass notes and drum hits come from the macro bodies.
  assert.ok(textMarks.some((m) => /^c8?$/.test(m)), `marked: ${textMarks}`);
  console.log(`# demo: RMS peak ${heard.peak.toFixed(3)} over 2.5 s, ${heard.rows.length} rows shown`);
  await stop();
  const quiet = await listen(300);
  assert.ok(quiet.peak < 0.001, `after Stop RMS ${quiet.peak}`);
  assert.equal(await page.$('.cm-playing'), null);
});

// [score, text the cursor is put in (its first character), nth occurrence, order, row]
const cursorCases = [
  ['#setorder 0,1\n#pt 0 #ch 1 l16 c d e f g a b > c\n#pt 1 #ch 1 l16 c d e f g a b > c\n', 'g a b > c\n', 2, 1, 8],
  ['#setorder 1,0,1\n#pt 0 #ch 1 l8 c d e f\n#pt 1 #ch 1 l8 r r r e f\n', 'f\n', 2, 0, 16],
  ['#setorder 0,1\n$m{ e f }\n#pt 0 #ch 1 l8 c d c d\n#pt 1 #ch 1 l8 c d $m\n', 'f }', 1, 1, 12],
  ['#setorder 0,1\n#pt 0 #ch 1 l8 c d e f\n#pt 1 #ch 2 l8 r c @vib 3,4 d\n', '@vib', 1, 1, 8],
];

test('Play from cursor starts at the order position and row of the command under the cursor', { timeout: 60000 }, async () => {
  for (const [score, needle, nth, order, row] of cursorCases) {
    await setScore(page, score);
    let at = -1;
    for (let i = 0; i < nth; i++) at = score.indexOf(needle, at + 1);
    assert.ok(at >= 0);
    await page.evaluate((pos) => window.studio.view.dispatch({ selection: { anchor: pos } }), at);
    await page.click('::-p-aria(Play from cursor)');
    await page.waitForFunction(() => window.studio.player.first, { timeout: 5000 });
    const first = await page.evaluate(() => window.studio.player.first);
    assert.equal(first.order, order, `${JSON.stringify(score)}: ${JSON.stringify(first)}`);
    // The first report comes a few milliseconds in, at most one row later at these speeds.
    assert.ok(first.row === row || first.row === row + 1, `${JSON.stringify(score)}: ${JSON.stringify(first)}`);
    await stop();
  }
});

test('muting every channel silences the output and unmuting brings the sound back', { timeout: 30000 }, async () => {
  await openExample(page, 'demo.mml');
  const channels = await page.evaluate(() => window.studio.good.xm.channels);
  assert.equal(channels, 6);
  await page.click('::-p-aria(Play)');
  await sleep(300);
  for (let ch = 1; ch <= channels; ch++) await page.click(`::-p-aria(Mute channel ${ch})`);
  await sleep(400);
  const muted = await listen(800);
  assert.ok(muted.peak < 0.002, `all muted: RMS ${muted.peak}`);
  assert.ok(muted.rows.length >= 2, 'playback goes on while muted');
  // Solo wins over mute: the bass alone sounds.
  await page.click('::-p-aria(Solo channel 2)');
  const solo = await listen(800);
  assert.ok(solo.peak > 0.01, `bass solo: RMS ${solo.peak}`);
  assert.equal(await page.$eval('::-p-aria(Solo channel 2)', (b) => b.getAttribute('aria-pressed')), 'true');
  await page.click('::-p-aria(Solo channel 2)');
  for (let ch = 1; ch <= channels; ch++) await page.click(`::-p-aria(Mute channel ${ch})`);
  const back = await listen(800);
  assert.ok(back.peak > 0.01, `unmuted: RMS ${back.peak}`);
  console.log(`# mute: RMS ${muted.peak.toFixed(4)} all muted, ${solo.peak.toFixed(3)} bass solo, ${back.peak.toFixed(3)} unmuted`);
  await stop();
});

function parseWav(buf) {
  assert.equal(buf.toString('ascii', 0, 4), 'RIFF');
  assert.equal(buf.toString('ascii', 8, 12), 'WAVE');
  assert.equal(buf.toString('ascii', 12, 16), 'fmt ');
  const format = buf.readUInt16LE(20), channels = buf.readUInt16LE(22), rate = buf.readUInt32LE(24), bits = buf.readUInt16LE(34);
  assert.equal(buf.toString('ascii', 36, 40), 'data');
  const size = buf.readUInt32LE(40);
  assert.equal(size, buf.length - 44);
  return { format, channels, rate, bits, samples: new Int16Array(buf.buffer.slice(buf.byteOffset + 44, buf.byteOffset + 44 + size)) };
}

test('Export WAV writes the song as 16-bit PCM that is not silent', { timeout: 60000 }, async () => {
  await openExample(page, 'basics.mml');
  await page.click('::-p-aria(Export WAV)');
  const wav = parseWav(await downloads.file('basics.wav', 30000));
  assert.equal(wav.format, 1);
  assert.equal(wav.channels, 2);
  assert.equal(wav.bits, 16);
  let sum = 0;
  for (const s of wav.samples) sum += (s / 32768) ** 2;
  const rms = Math.sqrt(sum / wav.samples.length);
  const seconds = wav.samples.length / 2 / wav.rate;
  assert.ok(rms > 0.01, `WAV RMS ${rms}`);
  assert.ok(seconds > 2 && seconds < 600, `${seconds} s`);
  const ms = await page.evaluate(() => window.studio.metrics.wavMs);
  console.log(`# WAV: ${seconds.toFixed(1)} s at ${wav.rate} Hz, RMS ${rms.toFixed(3)}, rendered and encoded in ${ms.toFixed(0)} ms`);
});

test('screenshot of the demo playing', { timeout: 30000 }, async () => {
  await page.setViewport({ width: 1280, height: 800 });
  await openExample(page, 'demo.mml');
  // Start in the tune, with the cursor on its first line.
  const at = await page.evaluate(() => window.studio.view.state.doc.toString().indexOf('a4. b8'));
  await page.evaluate((pos) => window.studio.view.dispatch({ selection: { anchor: pos }, scrollIntoView: true }), at);
  await page.click('::-p-aria(Play from cursor)');
  await page.waitForFunction(() => document.querySelectorAll('.cm-playing').length >= 2, { timeout: 5000 });
  await sleep(900);
  await mkdir(join(rootDir, 'docs'), { recursive: true });
  await page.screenshot({ path: join(rootDir, 'docs', 'studio.png') });
  await stop();
});

test('no page errors', () => {
  assert.deepEqual(errors.filter((e) => !/404/.test(e)), []);
});
