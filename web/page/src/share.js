// The Share link: the source, family and dialect compressed into the page
// address's fragment (deflate, then base64url), which never leaves the
// browser: a fragment is not sent to the server.
async function pipe(bytes, stream) {
  const out = new Response(new Blob([bytes]).stream().pipeThrough(stream));
  return new Uint8Array(await out.arrayBuffer());
}

function toBase64Url(bytes) {
  let text = '';
  for (const b of bytes) text += String.fromCharCode(b);
  return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  const plain = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  return Uint8Array.from(plain, (c) => c.charCodeAt(0));
}

export async function packShare(what) {
  const bytes = new TextEncoder().encode(JSON.stringify(what));
  return `s=${toBase64Url(await pipe(bytes, new CompressionStream('deflate-raw')))}`;
}

export async function unpackShare(fragment) {
  if (!fragment.startsWith('s=')) throw new Error('it holds no shared source');
  const bytes = await pipe(fromBase64Url(fragment.slice(2)), new DecompressionStream('deflate-raw'));
  const what = JSON.parse(new TextDecoder().decode(bytes));
  if (typeof what.source !== 'string') throw new Error('it holds no source');
  return what;
}
