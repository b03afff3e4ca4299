// Runs before chiptune3's processor is defined (see player.worklet.js): the processor it
// registers is wrapped so that starting a song no longer sends the whole song's cells back
// (for a large module that message alone holds the audio thread and the page for seconds), and
// so that a start sent before libopenmpt has loaded says so instead of failing silently.
const register = globalThis.registerProcessor;

globalThis.registerProcessor = (name, Processor) => {
  class Light extends Processor {
    play(buffer, paused = false) {
      try {
        super.play(buffer, paused);
      } catch {
        this.port.postMessage({ cmd: 'err', val: 'not-ready' });
        return;
      }
      if (!paused && this.modulePtr) this.port.postMessage({ cmd: 'meta', meta: { started: true } });
    }
    meta() {}
    getMeta() { return {}; }
  }
  register(name, Light);
};
