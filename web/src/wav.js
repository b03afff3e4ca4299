// 16-bit PCM stereo WAV.
export function encodeWav(left, right, sampleRate) {
  const frames = Math.min(left.length, right.length);
  const buf = new ArrayBuffer(44 + frames * 4);
  const dv = new DataView(buf);
  const str = (o, s) => { for (let i = 0; i < s.length; i++) dv.setUint8(o + i, s.charCodeAt(i)); };
  str(0, 'RIFF'); dv.setUint32(4, 36 + frames * 4, true); str(8, 'WAVE');
  str(12, 'fmt '); dv.setUint32(16, 16, true); dv.setUint16(20, 1, true); dv.setUint16(22, 2, true);
  dv.setUint32(24, sampleRate, true); dv.setUint32(28, sampleRate * 4, true);
  dv.setUint16(32, 4, true); dv.setUint16(34, 16, true);
  str(36, 'data'); dv.setUint32(40, frames * 4, true);
  const pcm = new Int16Array(buf, 44, frames * 2);
  for (let i = 0; i < frames; i++) {
    pcm[i * 2] = Math.max(-1, Math.min(1, left[i])) * 32767;
    pcm[i * 2 + 1] = Math.max(-1, Math.min(1, right[i])) * 32767;
  }
  return new Uint8Array(buf);
}
