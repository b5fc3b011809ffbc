// A text whose characters stand for bytes (a Latin-1 source, a listing, a
// waveform of many megabytes) as those bytes.
export function latin1Bytes(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
  return bytes;
}
