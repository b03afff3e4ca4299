// What the page keeps without a file on disk: the score typed before a reload, and instrument
// files added by the user. (A score file on disk: follow.test.mjs.)
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, mkdtemp, writeFile, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { openSession, closeSession, openStudio, setScore, allowDownloads, compileNative, examplesDir } from './harness.mjs';

let studio;
before(async () => { studio = await openSession(); }, { timeout: 30000 });
after(() => closeSession(studio));

test('a typed score is still there after a reload', { timeout: 30000 }, async () => {
  const { page } = await openStudio(studio.chrome.browser, studio.srv.url);
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
  const { page } = await openStudio(studio.chrome.browser, studio.srv.url);
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
