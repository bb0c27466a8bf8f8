// The viewer's reader of an encrypted medium against media made to mislead it: each is written
// here byte by byte (age header, chunks, tar headers), so that every fault is exactly the one
// named. Each must end in a clear refusal, never in a verdict that the image is whole, and no
// number read from the medium may size what is read before it is checked.
'use strict';
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');

const OTHER = path.resolve(__dirname, '../../data/Other');
globalThis.QVCrypto = require(path.join(process.env.QUILLON_BIN_DIR || path.resolve(__dirname, '../../build/bin'), 'Other/qv-crypto.js'));
require(path.join(OTHER, 'qv-namespace.js'));
const age = require(path.join(OTHER, 'qv-age.js'));
const tar = require(path.join(OTHER, 'qv-tar.js'));
const sealed = require(path.join(OTHER, 'qv-sealed.js'));
const C = globalThis.QVCrypto;

const utf8 = (s) => new TextEncoder().encode(s);
const b64 = (bytes) => Buffer.from(bytes).toString('base64').replace(/=+$/, '');
const PASS = 'hostile';

// Chunk i of a payload sealed by key, the last one or not.
function sealChunk(key, i, last, bytes) {
  const n = new Uint8Array(12);
  n[10] = i & 0xff;
  n[9] = (i >> 8) & 0xff;
  n[11] = last ? 1 : 0;
  return C.chacha20poly1305(key, n).encrypt(bytes);
}

// An age file of `plain` opened by PASS, at scrypt's least work. macText(mac) changes how the
// MAC is written; chunks(key) gives the payload's chunks instead of sealing plain as age does.
async function sealWith(plain, { macText = (m) => m, chunks = null, name = 'hostile.tar.age' } = {}) {
  const fileKey = new Uint8Array(16).fill(7);
  const salt = new Uint8Array(16).fill(3);
  const fullSalt = new Uint8Array(44);
  fullSalt.set(utf8('age-encryption.org/v1/scrypt'));
  fullSalt.set(salt, 28);
  const key = await C.scryptAsync(utf8(PASS), fullSalt, { N: 2, r: 8, p: 1, dkLen: 32 });
  const body = C.chacha20poly1305(key, new Uint8Array(12)).encrypt(fileKey);
  let header = 'age-encryption.org/v1\n-> scrypt ' + b64(salt) + ' 1\n' + b64(body) + '\n---';
  const mac = C.hmac(C.sha256, C.hkdf(C.sha256, fileKey, new Uint8Array(0), utf8('header'), 32), utf8(header));
  header += ' ' + macText(b64(mac)) + '\n';
  const nonce = new Uint8Array(16).fill(9);
  const payloadKey = C.hkdf(C.sha256, fileKey, nonce, utf8('payload'), 32);
  const count = Math.max(1, Math.ceil(plain.length / 65536));
  const sealedChunks = chunks ? chunks(payloadKey)
    : Array.from({ length: count }, (_, i) => sealChunk(payloadKey, i, i === count - 1, plain.subarray(i * 65536, (i + 1) * 65536)));
  return new File([utf8(header), nonce, ...sealedChunks], name);
}

// One 512-byte ustar header, its checksum made to hold.
function tarHeader(name, size, { type = '0', sizeField = null } = {}) {
  const h = new Uint8Array(512);
  h.set(utf8(name).subarray(0, 100), 0);
  h.set(utf8('0000644\0'), 100);
  h.set(utf8('0000000\0'), 108);
  h.set(utf8('0000000\0'), 116);
  if (sizeField) h.set(sizeField, 124);
  else h.set(utf8(size.toString(8).padStart(11, '0') + '\0'), 124);
  h.set(utf8('00000000000\0'), 136);
  h[156] = type.charCodeAt(0);
  h.set(utf8('ustar\x0000'), 257);
  h.fill(0x20, 148, 156);
  let sum = 0;
  for (const b of h) sum += b;
  h.set(utf8(sum.toString(8).padStart(6, '0') + '\0 '), 148);
  return h;
}

// A tar archive of [name, text] files (or raw header blocks), ended by two zero blocks.
function tarOf(members) {
  const blocks = [];
  for (const m of members) {
    if (m instanceof Uint8Array) {
      blocks.push(m);
      continue;
    }
    const [name, text] = m;
    const data = utf8(text);
    blocks.push(tarHeader(name, data.length));
    const padded = new Uint8Array(Math.ceil(data.length / 512) * 512);
    padded.set(data);
    blocks.push(padded);
  }
  blocks.push(new Uint8Array(1024));
  return Buffer.concat(blocks);
}

// A reader over `bytes` that refuses (as a browser out of memory would) to be asked for more
// than `most` bytes at once; `asked` is the most it was asked for.
function boundedReader(bytes, most) {
  const r = {
    asked: 0,
    read: async (from, length) => {
      r.asked = Math.max(r.asked, length);
      if (length > most) throw new RangeError('asked for ' + length + ' bytes at once');
      const out = new Uint8Array(length);
      out.set(bytes.subarray(from, from + length));
      return out;
    },
  };
  return r;
}

describe('an encrypted medium made to mislead the viewer', () => {
  it('opens what is written here as age and tar write it, so that each fault below is the only one', async () => {
    const file = await sealWith(tarOf([['Backup/a.txt', 'first'], ['Backup/b.txt', 'x'.repeat(70000)]]));
    const { items } = await sealed.open(file, { passphrase: PASS });
    assert.deepEqual(items.map((i) => i.path), ['Backup/a.txt', 'Backup/b.txt']);
    assert.equal(await items[0].file.text(), 'first');
    assert.equal(await items[1].file.text(), 'x'.repeat(70000));
  });

  it('refuses a MAC written in a base64 no encoder writes, though it decodes to the right bytes', async () => {
    // 32 bytes are 43 characters whose last carries 2 unused bits: setting one keeps the bytes.
    const nonCanonical = (mac) => {
      const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
      return mac.slice(0, -1) + alphabet[alphabet.indexOf(mac[mac.length - 1]) ^ 1];
    };
    await assert.rejects(sealed.open(await sealWith(tarOf([['Backup/a.txt', 'first']]), { macText: nonCanonical }), { passphrase: PASS }),
      /^Error: hostile\.tar\.age has a damaged header: its MAC is not base64$/);
  });

  it('refuses a header that does not end within the room it is given, saying so', async () => {
    const huge = new File([utf8('age-encryption.org/v1\n-> x ' + 'a'.repeat(2 << 20) + '\n')], 'huge.tar.age');
    await assert.rejects(age.needs(huge), /^Error: huge\.tar\.age has a damaged header: it is longer than 64 KiB$/);
    await assert.rejects(sealed.open(huge, { passphrase: PASS }), /it is longer than 64 KiB$/);
    // Each recipient costs the page an X25519 step for each identity pasted: the room bounds
    // their number to what quillon-cli decrypt also reads, some 650.
    const share = b64(C.x25519.getPublicKey(new Uint8Array(32).fill(5)));
    const many = 'age-encryption.org/v1\n' + ('-> X25519 ' + share + '\n' + b64(new Uint8Array(32)) + '\n').repeat(700) + '--- ' + 'A'.repeat(43) + '\n';
    const identity = C.bech32.encode('age-secret-key-', C.bech32.toWords(new Uint8Array(32).fill(9)), 1000).toUpperCase();
    await assert.rejects(sealed.open(new File([many, new Uint8Array(64)], 'many.tar.age'), { identities: identity }),
      /^Error: many\.tar\.age has a damaged header: it is longer than 64 KiB$/);
  });

  it('refuses a stanza without a body, and one whose work factor a browser cannot give', async () => {
    const noBody = new File([utf8('age-encryption.org/v1\n-> X25519 abc\n--- ' + 'A'.repeat(43) + '\n')], 'n.tar.age');
    await assert.rejects(sealed.open(noBody, { identities: 'x' }), /n\.tar\.age has a damaged header/);
    const body = b64(new Uint8Array(32));
    const costly = new File([utf8('age-encryption.org/v1\n-> scrypt ' + b64(new Uint8Array(16)) + ' 40\n' + body + '\n--- ' + 'A'.repeat(43) + '\n' + 'x'.repeat(40))], 'w.tar.age');
    await assert.rejects(sealed.open(costly, { passphrase: PASS }), (e) => e.kind === 'refused' && /work factor of 2\^40/.test(e.message));
  });

  it('says a last chunk cut inside its tag is cut short, and reads an empty last chunk as empty', async () => {
    const plain = tarOf([['Backup/a.txt', 'y'.repeat(70000)]]);
    const whole = await sealWith(plain);
    const cut = new File([whole.slice(0, whole.size - (plain.length - 65536 + 16) + 10)], 'c.tar.age');
    // The archive then wants bytes past what the file holds.
    await assert.rejects(sealed.open(cut, { passphrase: PASS }), /^Error: the archive is cut short inside Backup\/a\.txt$/);
    const cutInTag = new File([whole.slice(0, whole.size - 5)], 't.tar.age');
    await assert.rejects(sealed.open(cutInTag, { passphrase: PASS }), /t\.tar\.age fails authentication at chunk 1/);
    // An empty last chunk after a full one is not age's, but only the key's holder can seal it:
    // what the full one holds is read, and nothing past it.
    const full = tarOf([['Backup/a.txt', 'y'.repeat(64000)]]);
    assert.equal(full.length, 65536);
    const withEmpty = await sealWith(full, { chunks: (key) => [sealChunk(key, 0, false, full), sealChunk(key, 1, true, new Uint8Array(0))] });
    const { age: opened, items } = await sealed.open(withEmpty, { passphrase: PASS });
    assert.equal(opened.size, 65536);
    assert.equal(await items[0].file.text(), 'y'.repeat(64000));
  });

  it('says where a changed byte fails: in a tar header it stops the listing, in a file only that file', async () => {
    const plain = tarOf([['Backup/a.txt', 'first'], ['Backup/b.txt', 'z'.repeat(200000)]]);
    const file = await sealWith(plain);
    const bytes = new Uint8Array(await file.arrayBuffer());
    const chunksAt = bytes.length - (Math.ceil(plain.length / 65536) * 16 + plain.length);
    const flip = (at) => {
      const b = bytes.slice();
      b[at] ^= 1;
      return new File([b], 'f.tar.age');
    };
    await assert.rejects(sealed.open(flip(chunksAt + 3), { passphrase: PASS }), /fails authentication at chunk 0/);
    const { items } = await sealed.open(flip(chunksAt + 2 * 65552 + 5), { passphrase: PASS });
    assert.equal(await items[0].file.text(), 'first');
    await assert.rejects(items[1].file.sha256(), (e) => e.kind === 'damaged' && /chunk 2/.test(e.message));
  });
});

describe('a tar archive made to mislead the viewer', () => {
  const listed = (bytes, most = 1 << 30) => {
    const r = boundedReader(bytes, most);
    return tar.list(r.read, bytes.length);
  };

  it('refuses sizes past the end, negative and overlong base-256 ones', async () => {
    const past = Buffer.concat([tarHeader('Backup/a.txt', 5000), new Uint8Array(1024)]);
    await assert.rejects(listed(past), /cut short inside Backup\/a\.txt/);
    const base256 = (bytes) => {
      const f = new Uint8Array(12);
      f.set(bytes);
      return Buffer.concat([tarHeader('Backup/a.txt', 0, { sizeField: f }), new Uint8Array(2048)]);
    };
    // -1, and 2^88 + 5: neither may be read as a small size.
    await assert.rejects(listed(base256(new Uint8Array(12).fill(0xff))), /a bad size/);
    await assert.rejects(listed(base256([0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5])), /a bad size/);
    // A true base-256 size is read.
    const [one] = await listed(base256([0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5]));
    assert.equal(one.size, 5);
  });

  it('refuses a malformed extended header, and one larger than any path needs before reading it', async () => {
    const pax = (text) => {
      const data = utf8(text);
      const padded = new Uint8Array(Math.ceil(data.length / 512) * 512);
      padded.set(data);
      return Buffer.concat([tarHeader('PaxHeader', data.length, { type: 'x' }), padded, tarOf([['Backup/a.txt', 'a']])]);
    };
    await assert.rejects(listed(pax('99 path=Backup/b.txt\n')), /a malformed extended header at byte 0/);
    await assert.rejects(listed(pax('3 path=Backup/b.txt\n')), /a malformed extended header at byte 0/);
    const [renamed] = await listed(pax('24 path=Backup/long.txt\n'));
    assert.equal(renamed.path, 'Backup/long.txt');
    // 8 MiB of extended header, within the archive: refused before it is read.
    const big = Buffer.concat([tarHeader('PaxHeader', 8 << 20, { type: 'x' }), new Uint8Array(8 << 20), new Uint8Array(1024)]);
    await assert.rejects(listed(big, 1 << 20), /an extended header of 8388608 bytes at byte 0/);
  });

  it('refuses a path that climbs out, is absolute, or names a file twice', async () => {
    await assert.rejects(listed(tarOf([['Backup/../../etc/x', 'a']])), /holds Backup\/\.\.\/\.\.\/etc\/x, which is no path inside the image/);
    await assert.rejects(listed(tarOf([['/Backup/a.txt', 'a']])), /holds \/Backup\/a\.txt, which is no path inside the image/);
    await assert.rejects(listed(tarOf([['Backup/./a.txt', 'a']])), /is no path inside the image/);
    assert.deepEqual((await listed(tarOf([['./Backup/a.txt', 'a']]))).map((f) => f.path), ['Backup/a.txt']);
    // The second copy of a file would be checked while the first is shown, or the other way.
    await assert.rejects(listed(tarOf([['Backup/a.txt', 'forged'], ['Backup/a.txt', 'genuine']])), /holds Backup\/a\.txt twice/);
    await assert.rejects(listed(tarOf([['Backup/a.txt', 'forged'], ['Backup//a.txt', 'genuine']])), /is no path inside the image/);
  });

  it('refuses links and devices, and lists folders as implied', async () => {
    await assert.rejects(listed(tarOf([tarHeader('Backup/l', 0, { type: '2' })])), /holds Backup\/l, which is neither a file nor a folder/);
    await assert.rejects(listed(tarOf([tarHeader('Backup/d', 0, { type: '3' })])), /neither a file nor a folder/);
    const files = await listed(tarOf([tarHeader('Backup/', 0, { type: '5' }), ['Backup/a.txt', 'a']]));
    assert.deepEqual(files.map((f) => f.path), ['Backup/a.txt']);
  });
});
