// Bundles the page into dist/: the app and the compile worker (esbuild), the compiler as
// WebAssembly (from the emscripten build), the player's worklet files and the examples.
// Files are copied only when they changed, so a second run does next to nothing.
import { build } from 'esbuild';
import { mkdirSync, readFileSync, writeFileSync, existsSync, readdirSync, statSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..');
const dist = join(here, 'dist');
const wasmDir = resolve(process.env.WASM_DIR ?? join(root, 'build-wasm', 'web', 'wasm'));

mkdirSync(join(dist, 'examples'), { recursive: true });

function copyIfChanged(from, to) {
  const data = readFileSync(from);
  if (existsSync(to) && readFileSync(to).equals(data)) return false;
  writeFileSync(to, data);
  return true;
}

function writeIfChanged(to, text) {
  if (existsSync(to) && readFileSync(to, 'utf8') === text) return false;
  writeFileSync(to, text);
  return true;
}

const t0 = Date.now();
await build({
  entryPoints: { app: join(here, 'src/main.js'), 'compile-worker': join(here, 'src/compile-worker.js') },
  outdir: dist,
  bundle: true,
  format: 'esm',
  target: 'es2022',
  minify: true,
  sourcemap: true,
  external: ['./orvate.mjs'],
  logLevel: 'warning',
});

let copied = 0;
for (const f of ['index.html', 'style.css']) copied += copyIfChanged(join(here, f), join(dist, f));
// Worklet modules are loaded by URL, beside the app: chiptune3's as published, and ours that loads it.
for (const f of ['player.worklet.js', 'player-patch.worklet.js']) copied += copyIfChanged(join(here, 'src', f), join(dist, f));
const chiptune = join(here, 'node_modules', 'chiptune3');
for (const f of ['chiptune3.worklet.js', 'libopenmpt.worklet.js']) copied += copyIfChanged(join(chiptune, f), join(dist, f));
for (const f of ['orvate.mjs', 'orvate.wasm']) {
  const from = join(wasmDir, f);
  if (!existsSync(from)) throw new Error(`${from} is missing: build the target orvate_wasm first`);
  copied += copyIfChanged(from, join(dist, f));
}

const examples = join(root, 'examples');
const scores = [];
const instruments = [];
for (const f of readdirSync(examples).sort()) {
  if (!statSync(join(examples, f)).isFile()) continue;
  if (f.endsWith('.mml')) {
    const first = readFileSync(join(examples, f), 'utf8').split(/\r?\n/)[0];
    scores.push({ name: f, title: first.replace(/^\/\/\s*/, '') });
  } else if (f.endsWith('.xi')) {
    instruments.push(f);
  } else continue;
  copied += copyIfChanged(join(examples, f), join(dist, 'examples', f));
}
copied += writeIfChanged(join(dist, 'examples', 'index.json'), JSON.stringify({ scores, instruments }, null, 1) + '\n');

console.log(`web/dist: bundled in ${Date.now() - t0} ms, ${copied} file(s) copied`);
