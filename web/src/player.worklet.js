// The player's AudioWorklet module: chiptune3's processor, unchanged, loaded after the patch
// that lightens it. Static imports run in order.
import './player-patch.worklet.js';
import './chiptune3.worklet.js';
