// What the page starts with and keeps: the server's score (UTF-8 or Shift_JIS), the score
// typed before a reload, and instrument files added by the user.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, mkdtemp, writeFile, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { serve, launch, openStudio, setScore, allowDownloads, compileNative, examplesDir, sleep } from './harness.mjs';

let srv, chrome;

before(async () => {
  srv = await serve();
  chrome = await launch();
}, { timeout: 30000 });

after(async () => {
  await chrome?.close();
  await srv?.close();
});

// Japanese between the notes is skipped by the compiler; in Shift_JIS 和 is 98 61, and 0x61 is
// "a": a page that read these bytes wrongly would write an extra note.
const scoreText = '// メロディーと和音\n#instrument "lead.xi"\n#setorder 0\nl8 c d 和音 e f g4\n';
const sjis = Buffer.concat([
  Buffer.from('2f2f208381838d83668342815b82c6986189b90a', 'hex'),
  Buffer.from('#instrument "lead.xi"\n#setorder 0\nl8 c d '),
  Buffer.from('986189b9', 'hex'),
  Buffer.from(' e f g4\n'),
]);

const served = [
  ['UTF-8', Buffer.from(scoreText, 'utf8')],
  ['Shift_JIS', sjis],
];

for (const [encoding, bytes] of served) {
  test(`the page starts with the server's score in ${encoding}`, { timeout: 30000 }, async () => {
    srv.setScore(bytes);
    try {
      const { page } = await openStudio(chrome.browser, srv.url);
      const downloads = await allowDownloads(page);
      const text = await page.evaluate(() => window.studio.view.state.doc.toString());
      assert.equal(text, scoreText);
      assert.equal(await page.evaluate(() => window.studio.result.success), true);
      await page.evaluate(() => { window.studio.name = 'served.mml'; });
      await page.click('::-p-aria(Download XM)');
      const fromPage = await downloads.file('served.xm');
      const native = await compileNative(bytes);
      assert.ok(native.module, native.stdout);
      assert.ok(fromPage.equals(native.module), `${encoding}: page ${fromPage.length} bytes, native ${native.module.length}`);
      await downloads.cleanup();
      await page.close();
    } finally {
      srv.setScore(null);
    }
  });
}

test('a typed score is still there after a reload', { timeout: 30000 }, async () => {
  const { page } = await openStudio(chrome.browser, srv.url);
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.type('\n// kept 保存\n');
  const before = await page.evaluate(() => window.studio.view.state.doc.toString());
  assert.ok(before.endsWith('// kept 保存\n'));
  await page.reload({ waitUntil: 'load' });
  await page.waitForFunction(() => window.studio?.ready && window.studio.result, { timeout: 15000 });
  const afterReload = await page.evaluate(() => window.studio.view.state.doc.toString());
  assert.equal(afterReload, before);
  await page.close();
});

test('an added instrument file is found by its name', { timeout: 30000 }, async () => {
  const { page } = await openStudio(chrome.browser, srv.url);
  const score = '#instrument "mine.xi"\n#setorder 0\nc4 e4 g4\n';
  await setScore(page, score);
  const refused = await page.evaluate(() => ({ ok: window.studio.result.success, status: document.getElementById('status').textContent }));
  assert.equal(refused.ok, false);
  assert.match(refused.status, /xiファイルが見つかりません/);
  // The chooser behind "Add instruments".
  const pad = await readFile(join(examplesDir, 'pad.xi'));
  const [chooser] = await Promise.all([page.waitForFileChooser({ timeout: 5000 }), page.click('::-p-aria(Add instruments)')]);
  const dir = await mkdtemp(join(tmpdir(), 'orvate-xi-'));
  await writeFile(join(dir, 'mine.xi'), pad);
  await chooser.accept([join(dir, 'mine.xi')]);
  await page.waitForFunction(() => window.studio.result.success, { timeout: 10000 });
  const downloads = await allowDownloads(page);
  await page.evaluate(() => { window.studio.name = 'mine.mml'; });
  await page.click('::-p-aria(Download XM)');
  const fromPage = await downloads.file('mine.xm');
  const native = await compileNative(Buffer.from(score), { extraFiles: { 'mine.xi': pad } });
  assert.ok(fromPage.equals(native.module));
  // It is kept for the next visit too.
  await page.reload({ waitUntil: 'load' });
  await page.waitForFunction(() => window.studio?.ready && window.studio.result, { timeout: 15000 });
  assert.equal(await page.evaluate(() => window.studio.result.success), true);
  await downloads.cleanup();
  await rm(dir, { recursive: true, force: true });
  await page.close();
});
