// The page's compile against the native compiler, and the error marks in the text.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { join } from 'node:path';
import { openSession, closeSession, setScore, compileNative, examplesDir, sleep } from './harness.mjs';

let studio, page, errors, downloads;
before(async () => { ({ page, errors, downloads } = studio = await openSession({ page: true, downloads: true })); }, { timeout: 30000 });
after(() => closeSession(studio));

async function downloadXm(name) {
  await page.click('::-p-aria(Download XM)');
  return downloads.file(name);
}

test('a typed score compiles to the same bytes as the native compiler', { timeout: 60000 }, async () => {
  await setScore(page, '');
  await page.click('.cm-content');
  // Typed key by key, Japanese and a surrogate pair included.
  const typed = [
    '// メロディー ♪ 試し 🎵',
    '#songname "Typed"',
    '#instrument "lead.xi"',
    '#instrument "bass.xi"',
    '#setorder 0,1',
    '#pt 0 #ch 1 @1 o4 l8 c d e f あ g4 g4',
    '#ch 2 @2 o2 l4 (c g)2',
    '#pt 1 #ch 1 @1 a a g2 @vib 3,4 r4',
    '',
  ].join('\n');
  await page.keyboard.type(typed, { delay: 0 });
  await page.waitForFunction((t) => window.studio.result?.text === t, { timeout: 15000 }, typed);
  const shown = await page.evaluate(() => window.studio.result.success);
  assert.equal(shown, true, await page.$eval('#status', (e) => e.textContent));
  await page.evaluate(() => { window.studio.name = 'typed.mml'; });
  const fromPage = await downloadXm('typed.xm');
  const native = await compileNative(Buffer.from(typed, 'utf8'));
  assert.ok(native.module, native.stdout);
  assert.ok(fromPage.equals(native.module), `page ${fromPage.length} bytes, native ${native.module.length} bytes`);
  console.log(`# typed score: ${fromPage.length} module bytes identical to the native compiler's`);
});

test('every bundled example, opened in one click, matches the native compiler', { timeout: 90000 }, async () => {
  const names = (await readdir(examplesDir)).filter((f) => f.endsWith('.mml')).sort();
  assert.ok(names.length >= 4);
  for (const name of names) {
    const text = await readFile(join(examplesDir, name), 'utf8');
    const n = await page.evaluate(() => window.studio.compiles);
    await page.click(`::-p-aria(Open example ${name})`);
    await page.waitForFunction((c, t) => window.studio.compiles > c && window.studio.result.text === t,
      { timeout: 15000 }, n, text.replace(/\r\n?/g, '\n'));
    const base = name.replace(/\.mml$/, '');
    const fromPage = await downloadXm(`${base}.xm`);
    const native = await compileNative(Buffer.from(text.replace(/\r\n?/g, '\n'), 'utf8'));
    assert.ok(native.module, `${name}: ${native.stdout}`);
    assert.ok(fromPage.equals(native.module), `${name}: page ${fromPage.length} bytes, native ${native.module.length}`);
  }
});

test('the event log download is the native event log', { timeout: 30000 }, async () => {
  const score = '#setorder 0\n#ch 1 c4 @vib 3,4 r4\n#ch 3 l16 (c d)2\n';
  await setScore(page, score);
  await page.evaluate(() => { window.studio.name = 'logged.mml'; });
  await page.click('::-p-aria(Download log)');
  const log = await downloads.file('logged.log');
  const native = await compileNative(Buffer.from(score));
  assert.ok(log.equals(native.log), `page:\n${log}\nnative:\n${native.log}`);
});

// [score, line, column (characters), the marked text starts with, message part]
const errorCases = [
  ['#setorder 0\nc4 x\n', 2, 3, 'x', '未定義のコマンド又は文法エラーです'],
  ['// 日本語のコメント\n#setorder 0 あいc4 x\n', 2, 17, 'x', '｢x｣'],
  ['// 🎵🎵 emoji\n#setorder 0 🎵 c4 v -5\n', 2, 18, 'v', '指定された値に問題があります'],
  ['#setorder 0\n$A{c y} l16 $A\n', 2, 5, 'y', '｢y｣'],
  ['#setorder 0 @@e15 c\n', 1, 12, '@@e15', '｢@@e15｣'],
];

test('an error is underlined at its place and worded as the compiler words it', { timeout: 60000 }, async () => {
  for (const [score, line, column, marked, words] of errorCases) {
    await setScore(page, score);
    const got = await page.evaluate(() => {
      const view = window.studio.view;
      const el = document.querySelector('.cm-lintRange-error');
      if (!el) return null;
      const pos = view.posAtDOM(el, 0);
      const l = view.state.doc.lineAt(pos);
      return { line: l.number, column: pos - l.from, text: el.textContent, status: document.getElementById('status').textContent,
        role: document.getElementById('status').getAttribute('role') };
    });
    assert.ok(got, `no error mark for ${JSON.stringify(score)}`);
    assert.equal(got.line, line, JSON.stringify({ score, got }));
    assert.equal(got.column, column, JSON.stringify({ score, got }));
    assert.ok(got.text.startsWith(marked), JSON.stringify({ score, got }));
    assert.ok(got.status.includes(words), JSON.stringify({ score, got }));
    assert.match(got.status, /^コンパイル失敗\. 停止:\[Y\d+,X\d+\]/);
    assert.equal(got.role, 'status');
    const native = await compileNative(Buffer.from(score, 'utf8'));
    assert.ok(got.status.endsWith(native.stdout.trim().split('\n').pop()), `page: ${got.status}\nnative: ${native.stdout}`);
  }
  // A fixed score clears the mark.
  await setScore(page, '#setorder 0\nc4\n');
  assert.equal(await page.$('.cm-lintRange-error'), null);
});

test('a score that runs too long is stopped with a message and the page stays responsive', { timeout: 60000 }, async () => {
  const runaway = '#setorder 0 [[[[[[ o4 ]99 ]99 ]99 ]99 ]99 ]99\n';
  const timeouts = await page.evaluate(() => window.studio.timeouts);
  const t0 = Date.now();
  await page.evaluate((t) => {
    const view = window.studio.view;
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: t } });
  }, runaway);
  // While it runs, the page answers: a click on Stop runs its handler and typing updates the text.
  let worst = 0;
  for (let i = 0; i < 10; i++) {
    const s = Date.now();
    await page.evaluate(() => new Promise((ok) => requestAnimationFrame(() => ok())));
    worst = Math.max(worst, Date.now() - s);
    await sleep(100);
  }
  const clickStart = Date.now();
  await page.evaluate(() => { window.__clicked = false; document.getElementById('play').addEventListener('click', () => { window.__clicked = true; }, { once: true }); });
  await page.click('::-p-aria(Play)');
  assert.equal(await page.evaluate(() => window.__clicked), true);
  await page.click('::-p-aria(Stop)').catch(() => {});
  const clickMs = Date.now() - clickStart;
  await page.waitForFunction((n) => window.studio.timeouts > n, { timeout: 10000 }, timeouts);
  const stoppedAfter = Date.now() - t0;
  const status = await page.$eval('#status', (e) => e.textContent);
  assert.match(status, /ran too long/);
  assert.ok(worst < 250, `a frame took ${worst} ms while the score compiled`);
  assert.ok(stoppedAfter < 6000, `stopped after ${stoppedAfter} ms`);
  console.log(`# runaway score: stopped after ${stoppedAfter} ms; slowest frame meanwhile ${worst} ms; click answered in ${clickMs} ms`);
  // The next edit compiles on a fresh worker.
  await setScore(page, '#setorder 0\nc4 e4 g4\n');
  assert.equal(await page.evaluate(() => window.studio.result.success), true);
});

test('a newer edit supersedes a long compile at once', { timeout: 30000 }, async () => {
  await page.evaluate(() => {
    const view = window.studio.view;
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: '#setorder 0 [[[[[[ o4 ]99 ]99 ]99 ]99 ]99 ]99\n' } });
  });
  await sleep(300);
  const t0 = Date.now();
  await setScore(page, '#setorder 0\nc4 d4\n');
  const ms = Date.now() - t0;
  const r = await page.evaluate(() => ({ ok: window.studio.result.success, status: document.getElementById('status').textContent }));
  assert.equal(r.ok, true);
  assert.doesNotMatch(r.status, /too long/);
  assert.ok(ms < 1500, `newest result shown after ${ms} ms`);
  console.log(`# edit after a runaway compile: shown after ${ms} ms`);
});

test('no page errors', () => {
  assert.deepEqual(errors.filter((e) => !/404/.test(e)), []);
});
