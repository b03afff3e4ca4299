// Compiles in a Worker, newest edit first. Only the result of the latest request is handed on;
// a compile still running when a newer edit comes is given a moment, then its worker is
// replaced; one that runs past the time limit is ended and reported. A warm spare worker makes
// a replacement immediate.

const workerUrl = new URL('./compile-worker.js', import.meta.url);

function startWorker(files) {
  const w = new Worker(workerUrl, { type: 'module' });
  w.postMessage({ type: 'files', clear: true, files: [...files].map(([name, bytes]) => ({ name, bytes })) });
  return w;
}

export class CompileClient {
  constructor({ timeoutMs = 3000, patienceMs = 60, budget = 0, onResult, onTimeout, onFailure }) {
    this.timeoutMs = timeoutMs;
    this.patienceMs = patienceMs;   // how long a stale compile may finish before it is cut off
    this.budget = budget;
    this.onResult = onResult;
    this.onTimeout = onTimeout;
    this.onFailure = onFailure;
    this.files = new Map();
    this.seq = 0;
    this.latest = null;     // { id, text, at }
    this.running = null;    // { id, startedAt, timer }
    this.worker = null;
    this.spare = null;
    this.restarts = 0;
    this.spawn();
  }

  spawn() {
    this.worker = this.spare ?? startWorker(this.files);
    this.spare = startWorker(this.files);
    this.worker.onmessage = (e) => this.handle(e.data);
    this.worker.onerror = (e) => { e.preventDefault?.(); this.fail(e.message || 'the compiler stopped'); };
  }

  replaceWorker() {
    this.worker.onmessage = null;
    this.worker.terminate();
    this.restarts++;
    this.spawn();
  }

  setFile(name, bytes) {
    this.files.set(name, bytes);
    const msg = { type: 'files', clear: false, files: [{ name, bytes }] };
    this.worker.postMessage(msg);
    this.spare?.postMessage(msg);
  }

  // The worker has no removal of one file: it is given the remaining set anew.
  deleteFile(name) {
    if (!this.files.delete(name)) return;
    const msg = { type: 'files', clear: true, files: [...this.files].map(([n, bytes]) => ({ name: n, bytes })) };
    this.worker.postMessage(msg);
    this.spare?.postMessage(msg);
  }

  // A new edit: it supersedes every earlier one.
  request(text) {
    const id = ++this.seq;
    this.latest = { id, text, at: performance.now() };
    if (this.running) {
      const ranFor = performance.now() - this.running.startedAt;
      if (ranFor < this.patienceMs) {
        // Let it finish; its result is dropped and the newest is sent after it.
        clearTimeout(this.patienceTimer);
        this.patienceTimer = setTimeout(() => this.cutStale(), this.patienceMs - ranFor);
        return id;
      }
      this.cutStale();
      return id;
    }
    this.dispatch();
    return id;
  }

  cutStale() {
    if (!this.running || !this.latest || this.running.id === this.latest.id) return;
    clearTimeout(this.running.timer);
    this.running = null;
    this.replaceWorker();
    this.dispatch();
  }

  dispatch() {
    const job = this.latest;
    if (!job || this.running) return;
    const startedAt = performance.now();
    const timer = setTimeout(() => this.timeout(job.id), this.timeoutMs);
    this.running = { id: job.id, startedAt, timer };
    job.dispatchedAt = startedAt;
    this.worker.postMessage({ type: 'compile', id: job.id, score: job.text, budget: this.budget });
  }

  timeout(id) {
    if (!this.running || this.running.id !== id) return;
    const ranFor = performance.now() - this.running.startedAt;
    this.running = null;
    this.replaceWorker();
    if (this.latest && this.latest.id === id) {
      this.latest = null;
      this.onTimeout?.({ id, ms: ranFor });
    } else {
      this.dispatch();
    }
  }

  fail(message) {
    const id = this.running?.id;
    if (this.running) clearTimeout(this.running.timer);
    this.running = null;
    this.replaceWorker();
    if (this.latest && this.latest.id === id) {
      this.latest = null;
      this.onFailure?.({ id, message });
    } else {
      this.dispatch();
    }
  }

  handle(msg) {
    if (msg.type === 'error') { this.fail(msg.message); return; }
    if (msg.type !== 'result') return;
    if (!this.running || this.running.id !== msg.id) return;
    clearTimeout(this.running.timer);
    clearTimeout(this.patienceTimer);
    const wall = performance.now() - this.running.startedAt;
    this.running = null;
    if (this.latest && this.latest.id === msg.id) {
      const job = this.latest;
      this.latest = null;
      msg.text = job.text;
      msg.requestedAt = job.at;
      msg.roundTripMs = wall;
      msg.queuedMs = job.dispatchedAt - job.at;
      this.onResult?.(msg);
    } else {
      this.dispatch();
    }
  }

  // One compilation outside the edit stream (the event log), in a worker of its own.
  once(text, { log = false, map = false } = {}) {
    return new Promise((resolve, reject) => {
      const w = startWorker(this.files);
      const timer = setTimeout(() => { w.terminate(); reject(new Error('timeout')); }, this.timeoutMs * 2);
      w.onmessage = (e) => {
        const m = e.data;
        if (m.type === 'result' || m.type === 'error') {
          clearTimeout(timer);
          w.terminate();
          if (m.type === 'result') resolve(m); else reject(new Error(m.message));
        }
      };
      w.onerror = (e) => { clearTimeout(timer); w.terminate(); reject(new Error(e.message)); };
      w.postMessage({ type: 'compile', id: 0, score: text, log, map, budget: this.budget });
    });
  }
}
