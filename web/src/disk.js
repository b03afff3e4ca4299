// The score file orvatek-studio was started with, through its API: read, saved back, and
// followed. Every request carries the token the server printed in the page's address; the
// event stream takes it in its query, since EventSource cannot set headers.

export function tokenFromAddress(search = location.search) {
  const t = new URLSearchParams(search).get('token');
  return t ? t : null;
}

export class DiskApi {
  constructor(token) {
    this.token = token;
  }

  headers(extra = {}) {
    return { 'X-Orvate-Token': this.token, ...extra };
  }

  // { name, text, encoding, eol, version, lossy? }, or null when the server has no score.
  async score() {
    const res = await fetch('/api/score', { headers: this.headers(), cache: 'no-store' });
    if (res.status === 404) return null;
    if (!res.ok) throw new HttpError(res.status, await errorText(res));
    return res.json();
  }

  // { status, body }: 200 { version }, 409 { error: 'changed', version }, 422 { line, column, character }.
  async save(text, baseVersion) {
    const res = await fetch('/api/score', {
      method: 'PUT',
      headers: this.headers({ 'If-Match': baseVersion, 'Content-Type': 'application/json; charset=utf-8' }),
      body: JSON.stringify({ text }),
      cache: 'no-store',
    });
    let body = {};
    try { body = await res.json(); } catch { /* an answer without JSON */ }
    return { status: res.status, body };
  }

  // The bytes of an instrument file as the command line would find it, or null when none exists.
  async file(name, instlib) {
    let url = `/api/file?name=${encodeURIComponent(name)}`;
    if (instlib !== null && instlib !== undefined) url += `&instlib=${encodeURIComponent(instlib)}`;
    const res = await fetch(url, { headers: this.headers(), cache: 'no-store' });
    if (res.status === 404) return null;
    if (!res.ok) throw new HttpError(res.status, await errorText(res));
    return new Uint8Array(await res.arrayBuffer());
  }

  // Calls onScore({ version }) and onFile({ name }) as the server reports changes; onOpen(n)
  // at every (re)connection, so that a change missed while disconnected can be looked up.
  events({ onScore, onFile, onOpen }) {
    const es = new EventSource(`/api/events?token=${encodeURIComponent(this.token)}`);
    let opened = 0;
    es.addEventListener('open', () => onOpen?.(++opened));
    es.addEventListener('score', (e) => { try { onScore(JSON.parse(e.data)); } catch (err) { console.error(err); } });
    es.addEventListener('file', (e) => { try { onFile(JSON.parse(e.data)); } catch (err) { console.error(err); } });
    return es;
  }
}

export class HttpError extends Error {
  constructor(status, message) {
    super(`${status}${message ? `: ${message}` : ''}`);
    this.status = status;
  }
}

async function errorText(res) {
  try {
    const body = await res.json();
    return body.error ?? '';
  } catch { return ''; }
}

// The instrument files a score asks for, in order, each with the #instlib in force where it is
// named. Comments (and quoted text, which may hold "//") are skipped so that a name in a comment
// is not fetched.
export function instrumentRequests(text) {
  const out = [];
  const seen = new Set();
  let instlib = null;
  const re = /\/\/[^\n]*|\/\*[\s\S]*?\*\/|#(instrument|instlib)\s*"([^"\n]*)"|"[^"\n]*"/g;
  for (let m; (m = re.exec(text));) {
    if (!m[1]) continue;
    if (m[1] === 'instlib') { instlib = m[2]; continue; }
    const key = `${m[2]}\0${instlib ?? ''}`;
    if (m[2] && !seen.has(key)) { seen.add(key); out.push({ name: m[2], instlib }); }
  }
  return out;
}

// The smallest change that turns `from` into `to`: the common start and end are kept, so the
// editor keeps the cursor, the selection and the scroll position outside the change.
export function textChange(from, to) {
  if (from === to) return null;
  const max = Math.min(from.length, to.length);
  let start = 0;
  while (start < max && from.charCodeAt(start) === to.charCodeAt(start)) start++;
  let end = 0;
  while (end < max - start && from.charCodeAt(from.length - 1 - end) === to.charCodeAt(to.length - 1 - end)) end++;
  // Not inside a surrogate pair.
  if (start > 0 && isHighSurrogate(from.charCodeAt(start - 1))) start--;
  if (end > 0 && isLowSurrogate(from.charCodeAt(from.length - end))) end--;
  return { from: start, to: from.length - end, insert: to.slice(start, to.length - end) };
}

const isHighSurrogate = (c) => c >= 0xd800 && c <= 0xdbff;
const isLowSurrogate = (c) => c >= 0xdc00 && c <= 0xdfff;
