// Every control named and in sight, at the two window sizes the page is made for.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openSession, closeSession, openStudio } from './harness.mjs';

let studio;
before(async () => { studio = await openSession(); }, { timeout: 30000 });
after(() => closeSession(studio));

const NAMES = ['Play', 'Play from cursor', 'Stop', 'Download XM', 'Export WAV', 'Download log', 'Add instruments',
  'Open example demo.mml', 'Mute channel 1', 'Solo channel 1', 'Mute channel 6', 'Solo channel 6', 'Score'];

for (const [width, height] of [[800, 600], [1280, 800]]) {
  test(`at ${width}x${height} every control is inside the window and has its name`, { timeout: 30000 }, async () => {
    const { page } = await openStudio(studio.chrome.browser, studio.srv.url, { width, height });
    await page.waitForFunction(() => window.studio.good?.xm?.channels === 6, { timeout: 10000 });
    for (const name of NAMES) {
      const el = await page.$(`::-p-aria(${name})`);
      assert.ok(el, `no control named "${name}"`);
    }
    const outside = await page.evaluate(() => {
      const bad = [];
      for (const el of document.querySelectorAll('button, label.button, select, input:not(.visually-hidden), [role=status], .cm-scroller, .pv-scroll')) {
        const r = el.getBoundingClientRect();
        if (r.width === 0 || r.height === 0) { bad.push(`${el.textContent || el.id} is not shown`); continue; }
        if (r.left < 0 || r.top < 0 || r.right > innerWidth + 0.5 || r.bottom > innerHeight + 0.5) {
          bad.push(`${el.getAttribute('aria-label') || el.textContent || el.id}: ${JSON.stringify(r)}`);
        }
      }
      if (document.documentElement.scrollWidth > innerWidth) bad.push('page scrolls sideways');
      if (document.documentElement.scrollHeight > innerHeight) bad.push('page scrolls down');
      return bad;
    });
    assert.deepEqual(outside, []);
    const live = await page.$eval('#status', (e) => [e.getAttribute('role'), e.getAttribute('aria-live')]);
    assert.deepEqual(live, ['status', 'polite']);
    // The editor and the pattern view both get a useful share of the window.
    const sizes = await page.evaluate(() => ['#editor', '#patterns'].map((s) => {
      const r = document.querySelector(s).getBoundingClientRect();
      return r.width * r.height;
    }));
    for (const area of sizes) assert.ok(area > width * height * 0.12, `areas ${sizes}`);
    await page.close();
  });
}
