// The score and the added instrument files, kept in the browser between visits.
const SCORE_KEY = 'orvate.score';
const FILES_KEY = 'orvate.files';

export function loadScore() {
  try { return localStorage.getItem(SCORE_KEY); } catch { return null; }
}

export function saveScore(text) {
  try { localStorage.setItem(SCORE_KEY, text); return true; } catch { return false; }
}

// The score of a file on disk, kept per file name: the text, the disk version it was based on,
// and whether it held edits not yet saved to the file.
const DRAFT_PREFIX = 'orvate.draft:';

export function loadDraft(name) {
  try {
    const d = JSON.parse(localStorage.getItem(DRAFT_PREFIX + name) ?? 'null');
    return d && typeof d.text === 'string' ? d : null;
  } catch { return null; }
}

export function saveDraft(name, draft) {
  try { localStorage.setItem(DRAFT_PREFIX + name, JSON.stringify(draft)); return true; } catch { return false; }
}

function toBase64(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s);
}

function fromBase64(b64) {
  const s = atob(b64);
  const out = new Uint8Array(s.length);
  for (let i = 0; i < s.length; i++) out[i] = s.charCodeAt(i);
  return out;
}

export function loadFiles() {
  try {
    const all = JSON.parse(localStorage.getItem(FILES_KEY) ?? '{}');
    return Object.entries(all).map(([name, b64]) => ({ name, bytes: fromBase64(b64) }));
  } catch { return []; }
}

export function saveFile(name, bytes) {
  try {
    const all = JSON.parse(localStorage.getItem(FILES_KEY) ?? '{}');
    all[name] = toBase64(bytes);
    localStorage.setItem(FILES_KEY, JSON.stringify(all));
    return true;
  } catch { return false; }
}

// A score file's bytes as text: UTF-8 when they are valid UTF-8, else Shift_JIS (cp932).
export function decodeScore(bytes) {
  let b = bytes;
  if (b[0] === 0xef && b[1] === 0xbb && b[2] === 0xbf) b = b.subarray(3);
  try { return new TextDecoder('utf-8', { fatal: true }).decode(b); } catch { /* not UTF-8 */ }
  return new TextDecoder('shift_jis').decode(bytes);
}
