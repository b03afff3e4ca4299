// Shared pieces of the browser tests: a static server for web/dist on 127.0.0.1, Debian's
// Chromium through puppeteer-core with a fresh profile, downloads into a temp dir, and the
// native compiler for comparisons.
import http from 'node:http';
import { readFile, mkdtemp, rm, readdir, stat, writeFile, copyFile, mkdir } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname, resolve, extname, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { execFile, spawn } from 'node:child_process';
import net from 'node:net';
import puppeteer from 'puppeteer-core';

const here = dirname(fileURLToPath(import.meta.url));
export const webDir = resolve(here, '..');
export const rootDir = resolve(webDir, '..');
export const distDir = join(webDir, 'dist');
export const examplesDir = join(rootDir, 'examples');
export const nativeCompiler = resolve(process.env.ORVATEK ?? join(rootDir, 'build-web-native', 'orvatek'));
export const studioServer = resolve(process.env.ORVATEK_STUDIO ?? join(rootDir, 'build-web-studio', 'studio', 'orvatek-studio'));

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm', '.json': 'application/json', '.map': 'application/json',
  '.mml': 'text/plain', '.xi': 'application/octet-stream',
};

// Serves dist/ as a plain static server: the page without a file on disk.
// The set-up most test files share: the page's files served and a browser; with { page: true } a
// studio page open in it, with { downloads: true } its downloads saved. closeSession ends it all.
export async function openSession({ page = false, downloads = false } = {}) {
  const s = { srv: await serve(), chrome: await launch() };
  if (page) ({ page: s.page, errors: s.errors } = await openStudio(s.chrome.browser, s.srv.url));
  if (downloads) s.downloads = await allowDownloads(s.page);
  return s;
}

export async function closeSession(s) {
  await s?.downloads?.cleanup();
  await s?.chrome?.close();
  await s?.srv?.close();
}

export async function serve() {
  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    const path = normalize(join(distDir, decodeURIComponent(url.pathname === '/' ? '/index.html' : url.pathname)));
    if (!path.startsWith(distDir)) { res.writeHead(403).end(); return; }
    try {
      const body = await readFile(path);
      res.writeHead(200, { 'Content-Type': TYPES[extname(path)] ?? 'application/octet-stream', 'Cache-Control': 'no-cache' });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  const { port } = server.address();
  return {
    url: `http://127.0.0.1:${port}/`,
    close: () => new Promise((ok) => { server.closeAllConnections?.(); server.close(ok); }),
  };
}

export async function launch() {
  const profile = await mkdtemp(join(tmpdir(), 'orvate-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    userDataDir: profile,
    headless: true,
    protocolTimeout: 60000,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
      '--disable-dev-shm-usage'],
  });
  const close = async () => {
    await browser.close().catch(() => {});
    await rm(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

// Opens the page and waits for the first compile to be shown. `errors` collects page errors.
export async function openStudio(browser, url, { width = 1280, height = 800, clearStorage = true } = {}) {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  await page.setViewport({ width, height });
  if (clearStorage) {
    await page.evaluateOnNewDocument(() => {
      if (!sessionStorage.getItem('kept')) { localStorage.clear(); sessionStorage.setItem('kept', '1'); }
    });
  }
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => window.studio?.ready && window.studio.result, { timeout: 15000 });
  return { page, errors };
}

// Replaces the score through the editor, as a paste would, and waits for its compile.
export async function setScore(page, text) {
  const before = await page.evaluate(() => window.studio.compiles);
  await page.evaluate((t) => {
    const view = window.studio.view;
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: t } });
  }, text);
  await page.waitForFunction((n, t) => window.studio.compiles > n && window.studio.result.text === t, { timeout: 15000 }, before, text);
}

export async function allowDownloads(page) {
  const dir = await mkdtemp(join(tmpdir(), 'orvate-dl-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: dir, eventsEnabled: true });
  return {
    dir,
    // Waits for a finished file of that name.
    async file(name, timeoutMs = 15000) {
      const end = Date.now() + timeoutMs;
      while (Date.now() < end) {
        const files = await readdir(dir);
        if (files.includes(name) && !files.some((f) => f.endsWith('.crdownload'))) {
          const p = join(dir, name);
          if ((await stat(p)).size > 0) return readFile(p);
        }
        await new Promise((ok) => setTimeout(ok, 50));
      }
      throw new Error(`download ${name} did not arrive in ${timeoutMs} ms`);
    },
    cleanup: () => rm(dir, { recursive: true, force: true }),
  };
}

// The native compiler on a score in a temp dir with the bundled instruments beside it.
export async function compileNative(scoreBytes, { extraFiles = {} } = {}) {
  if (!existsSync(nativeCompiler)) throw new Error(`native compiler missing: ${nativeCompiler}`);
  const dir = await mkdtemp(join(tmpdir(), 'orvate-native-'));
  try {
    for (const f of await readdir(examplesDir)) if (f.endsWith('.xi')) await copyFile(join(examplesDir, f), join(dir, f));
    for (const [name, bytes] of Object.entries(extraFiles)) await writeFile(join(dir, name), bytes);
    await writeFile(join(dir, 'score.mml'), scoreBytes);
    const stdout = await new Promise((ok, bad) => execFile(nativeCompiler, ['score.mml', 'score.xm', '-log', '-utf8'],
      { cwd: dir, timeout: 20000, encoding: 'buffer' }, (err, out) => (err ? bad(err) : ok(out))));
    const module = existsSync(join(dir, 'score.xm')) ? await readFile(join(dir, 'score.xm')) : null;
    const log = existsSync(join(dir, 'score.log')) ? await readFile(join(dir, 'score.log')) : null;
    return { stdout: stdout.toString('utf8'), module, log };
  } finally {
    await rm(dir, { recursive: true, force: true });
  }
}

export function sleep(ms) { return new Promise((ok) => setTimeout(ok, ms)); }

export function median(list) {
  const s = [...list].sort((a, b) => a - b);
  return s.length ? (s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2) : NaN;
}

// The dense score of the benchmark: patterns x 32 channels x 64 one-row notes.
export function denseScore(patterns = 256) {
  const notes = ['c', 'd', 'e', 'f', 'g', 'a', 'b', 'c+', 'd+', 'f+', 'g+', 'a-'];
  const parts = ['// dense notes\n#setorder ', Array.from({ length: patterns }, (_, p) => p).join(','), '\n'];
  for (let p = 0; p < patterns; p++) {
    parts.push(`#pt ${p}\n`);
    for (let c = 1; c <= 32; c++) {
      parts.push(`#ch ${c} l*1 o${3 + (c % 3)}\n`);
      for (let r = 0; r < 64; r++) parts.push(notes[(p * 7 + c * 3 + r) % notes.length], r % 16 === 15 ? '\n' : ' ');
    }
  }
  return parts.join('');
}

// Opens a bundled example with its button and waits until its compile is shown.
export async function openExample(page, name) {
  const n = await page.evaluate(() => window.studio.compiles);
  await page.click(`::-p-aria(Open example ${name})`);
  await page.waitForFunction((k, nm) => window.studio.compiles > k && window.studio.name === nm &&
    window.studio.result.text === window.studio.view.state.doc.toString(), { timeout: 15000 }, n, name);
}

function freePort() {
  return new Promise((ok, bad) => {
    const s = net.createServer();
    s.on('error', bad);
    s.listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => ok(port)); });
  });
}

// orvatek-studio on a score in a fresh temp dir (`files`: more files beside it, by relative
// path), serving web/dist on a free port. `url` is the address it printed, with its token.
export async function startStudio(scoreName, scoreBytes, { files = {} } = {}) {
  if (!existsSync(studioServer)) throw new Error(`orvatek-studio missing: ${studioServer}`);
  const dir = await mkdtemp(join(tmpdir(), 'orvate-follow-'));
  const scorePath = join(dir, scoreName);
  await writeFile(scorePath, scoreBytes);
  for (const [name, bytes] of Object.entries(files)) {
    await mkdir(dirname(join(dir, name)), { recursive: true });
    await writeFile(join(dir, name), bytes);
  }
  let lastError = '';
  // The port is free when looked at; another program may take it first, so a few tries.
  for (let attempt = 0; attempt < 5; attempt++) {
    const port = await freePort();
    const child = spawn(studioServer, ['--port', String(port), '--root', distDir, scorePath], { stdio: ['ignore', 'pipe', 'pipe'] });
    let err = '';
    child.stderr.on('data', (d) => { err += d; });
    const exited = new Promise((ok) => child.once('exit', (code, signal) => ok({ code, signal })));
    const first = await new Promise((ok) => {
      let out = '';
      const timer = setTimeout(() => ok(null), 10000);
      child.stdout.on('data', (d) => {
        out += d;
        const nl = out.indexOf('\n');
        if (nl >= 0) { clearTimeout(timer); ok(out.slice(0, nl).trim()); }
      });
      exited.then(() => { clearTimeout(timer); ok(null); });
    });
    child.stdout.resume();
    if (first) {
      const url = new URL(first);
      return {
        url: first,
        token: url.searchParams.get('token'),
        origin: url.origin,
        dir,
        scorePath,
        async stop() {
          if (child.exitCode === null && child.signalCode === null) {
            child.kill('SIGINT');
            const t = setTimeout(() => child.kill('SIGKILL'), 5000);
            await exited;
            clearTimeout(t);
          }
          await rm(dir, { recursive: true, force: true });
        },
      };
    }
    child.kill('SIGKILL');
    const { code } = await exited;
    lastError = `exit ${code}: ${err.trim()}`;
  }
  await rm(dir, { recursive: true, force: true });
  throw new Error(`orvatek-studio did not start: ${lastError}`);
}
