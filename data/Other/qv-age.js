// Reads an age v1 encrypted file (age-encryption.org/v1) from a File in place: the header is
// checked and the file key unwrapped with a passphrase (scrypt) or X25519 identities, then any
// byte range is read by decrypting only the 64 KiB chunks that hold it. Nothing decrypted is
// written anywhere; a few chunks are kept in memory. The primitives are qv-crypto.js.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');
  const C = typeof QVCrypto !== 'undefined' ? QVCrypto : require('./qv-crypto.js');
  const utf8 = (s) => new TextEncoder().encode(s);

  const INTRO = 'age-encryption.org/v1\n';
  const CHUNK = 65536;
  const SEALED = CHUNK + 16;
  // As much as quillon-cli decrypt reads of a header: each recipient in it costs an X25519 step
  // for each identity pasted, milliseconds of a page's thread, so its room bounds that time.
  const MOST_HEADER = 64 << 10;
  // 2^20 · 1 KiB of scrypt state is 1 GiB, as much as a browser tab can be asked for.
  const MOST_LOG2N = 20;
  const KEPT_CHUNKS = 32;
  const RUN = 16;

  class AgeError extends Error {
    constructor(kind, text) {
      super(text);
      this.kind = kind; // 'format' | 'refused' | 'damaged'
    }
  }

  // Standard base64 without padding, as age writes it; anything else is not its header. The bits
  // past the last whole byte are zero in what an encoder writes: another spelling of the same
  // bytes (the MAC's own line is not under the MAC) is a changed header, not the same one.
  const ALPHABET = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  function unbase64(text, what, name) {
    const spare = (1 << ((text.length * 6) % 8)) - 1;
    if (!/^[A-Za-z0-9+/]*$/.test(text) || text.length % 4 === 1 || (text && ALPHABET.indexOf(text[text.length - 1]) & spare)) {
      throw new AgeError('format', name + ' has a damaged header: ' + what + ' is not base64');
    }
    const raw = atob(text);
    return Uint8Array.from(raw, (c) => c.charCodeAt(0));
  }

  function sameBytes(a, b) {
    if (a.length !== b.length) return false;
    let diff = 0;
    for (let i = 0; i < a.length; i++) diff |= a[i] ^ b[i];
    return diff === 0;
  }

  // The header's lines up to its MAC: { stanzas: [{ type, args, body }], macAt, mac, payloadAt }.
  function parseHeader(bytes, name) {
    const damaged = (why) => new AgeError('format', name + ' has a damaged header: ' + why);
    let text = '';
    for (let i = 0; i < bytes.length; i++) {
      if (bytes[i] > 0x7e || (bytes[i] < 0x20 && bytes[i] !== 0x0a)) break;
      text += String.fromCharCode(bytes[i]);
    }
    if (!text.startsWith(INTRO)) {
      throw new AgeError('format', name + ' is not an age-encrypted file (it does not start with "age-encryption.org/v1")');
    }
    const stanzas = [];
    let at = INTRO.length;
    const line = () => {
      const nl = text.indexOf('\n', at);
      // What no line ends in the room a header is given is said as such, not as a cut file.
      if (nl < 0) throw damaged(text.length >= MOST_HEADER ? 'it is longer than 64 KiB' : 'it ends inside a line');
      const l = text.slice(at, nl);
      at = nl + 1;
      return l;
    };
    for (;;) {
      const start = at;
      const l = line();
      if (l.startsWith('--- ')) {
        const mac = unbase64(l.slice(4), 'its MAC', name);
        if (mac.length !== 32) throw damaged('its MAC is not 32 bytes');
        if (!stanzas.length) throw damaged('it names no recipient');
        return { stanzas, macAt: start + 3, mac, payloadAt: at };
      }
      if (!l.startsWith('-> ')) throw damaged('a line that is neither a recipient nor the MAC');
      const [type, ...args] = l.slice(3).split(' ');
      if (!type || args.some((a) => !a)) throw damaged('an empty argument');
      let body = '';
      for (;;) {
        const b = line();
        if (b.length > 64) throw damaged('a body line longer than 64 characters');
        body += b;
        if (b.length < 64) break;
      }
      stanzas.push({ type, args, body: unbase64(body, 'a recipient body', name) });
    }
  }

  function unwrap(key, body) {
    try {
      return C.chacha20poly1305(key, new Uint8Array(12)).decrypt(body);
    } catch (e) {
      return null;
    }
  }

  // The secret keys of "AGE-SECRET-KEY-1…" lines ('#' lines and blank ones skipped).
  function readIdentities(text) {
    const keys = [];
    // A line that is no identity is named by its number, not shown: it may be a mistyped secret.
    const lines = String(text).split(/\r?\n/);
    for (let n = 0; n < lines.length; n++) {
      const l = lines[n].trim();
      if (!l || l.startsWith('#')) continue;
      const notOne = () => new AgeError('refused', 'line ' + (n + 1) + ' of the identity is not an age identity (AGE-SECRET-KEY-1…)');
      let decoded;
      try {
        decoded = C.bech32.decode(l, 1000);
      } catch (e) {
        throw notOne();
      }
      const secret = Uint8Array.from(C.bech32.fromWords(decoded.words));
      if (decoded.prefix !== 'age-secret-key-' || secret.length !== 32) throw notOne();
      keys.push(secret);
    }
    if (!keys.length) throw new AgeError('refused', 'no identity was given (an AGE-SECRET-KEY-1… line)');
    return keys;
  }

  async function fileKeyByPassphrase(stanzas, passphrase, name, onProgress) {
    if (stanzas.length !== 1) throw new AgeError('format', name + ' has a passphrase recipient beside others, which age does not allow');
    const s = stanzas[0];
    if (s.args.length !== 2 || !/^[1-9][0-9]?$/.test(s.args[1])) throw new AgeError('format', name + ' has a malformed passphrase recipient');
    const salt = unbase64(s.args[0], 'the passphrase salt', name);
    const log2N = Number(s.args[1]);
    if (salt.length !== 16 || s.body.length !== 32) throw new AgeError('format', name + ' has a malformed passphrase recipient');
    if (log2N > MOST_LOG2N) {
      throw new AgeError('refused', name + ' asks for a passphrase work factor of 2^' + log2N +
        ', more than the 2^' + MOST_LOG2N + ' a browser can be asked for: open it with quillon-cli decrypt or age');
    }
    const fullSalt = new Uint8Array(28 + 16);
    fullSalt.set(utf8('age-encryption.org/v1/scrypt'));
    fullSalt.set(salt, 28);
    const key = await C.scryptAsync(utf8(passphrase), fullSalt, {
      N: 2 ** log2N, r: 8, p: 1, dkLen: 32, maxmem: 2 ** (log2N + 10) + (1 << 20), onProgress,
    });
    const fileKey = unwrap(key, s.body);
    if (!fileKey) throw new AgeError('refused', 'the passphrase does not open ' + name);
    return fileKey;
  }

  function fileKeyByIdentities(stanzas, secrets, name) {
    const shares = stanzas.filter((s) => s.type === 'X25519');
    for (const s of shares) {
      if (s.args.length !== 1 || s.body.length !== 32) throw new AgeError('format', name + ' has a malformed X25519 recipient');
      const share = unbase64(s.args[0], 'an X25519 share', name);
      if (share.length !== 32) throw new AgeError('format', name + ' has a malformed X25519 recipient');
      for (const secret of secrets) {
        let shared;
        try {
          shared = C.x25519.getSharedSecret(secret, share);
        } catch (e) {
          continue;
        }
        if (shared.every((b) => b === 0)) continue;
        const salt = new Uint8Array(64);
        salt.set(share);
        salt.set(C.x25519.getPublicKey(secret), 32);
        const fileKey = unwrap(C.hkdf(C.sha256, shared, salt, utf8('age-encryption.org/v1/X25519'), 32), s.body);
        if (fileKey) return fileKey;
      }
    }
    throw new AgeError('refused', 'no identity matches a recipient of ' + name);
  }

  // What opens the file: 'passphrase' or 'identity', from its header alone.
  async function needs(file) {
    const bytes = new Uint8Array(await file.slice(0, Math.min(MOST_HEADER, file.size)).arrayBuffer());
    const { stanzas } = parseHeader(bytes, file.name || 'the file');
    return stanzas.some((s) => s.type === 'scrypt') ? 'passphrase' : 'identity';
  }

  class AgeFile {
    // file: a File or Blob; unlock: { passphrase } or { identities: text }; onProgress(0..1)
    // while the passphrase is stretched.
    static async open(file, unlock, onProgress) {
      const name = file.name || 'the file';
      let bytes = new Uint8Array(0);
      let header = null;
      for (let want = 4096; !header; want *= 4) {
        bytes = new Uint8Array(await file.slice(0, Math.min(want, file.size)).arrayBuffer());
        const complete = bytes.length === file.size || want >= MOST_HEADER;
        try {
          header = parseHeader(bytes, name);
        } catch (e) {
          // A header cut by the read is read again, longer; any other fault is final.
          if (complete || e.kind !== 'format' || !/ends inside a line/.test(e.message)) throw e;
        }
      }
      const { stanzas } = header;
      const passphraseFile = stanzas.some((s) => s.type === 'scrypt');
      let fileKey;
      if (passphraseFile) {
        if (unlock.passphrase === undefined) throw new AgeError('refused', name + ' is encrypted with a passphrase, not to a key: type the passphrase');
        fileKey = await fileKeyByPassphrase(stanzas, unlock.passphrase, name, onProgress);
      } else {
        if (unlock.identities === undefined) throw new AgeError('refused', name + ' is encrypted to keys, not with a passphrase: paste an identity (AGE-SECRET-KEY-1…)');
        fileKey = fileKeyByIdentities(stanzas, readIdentities(unlock.identities), name);
      }
      const macKey = C.hkdf(C.sha256, fileKey, new Uint8Array(0), utf8('header'), 32);
      if (!sameBytes(C.hmac(C.sha256, macKey, bytes.subarray(0, header.macAt)), header.mac)) {
        throw new AgeError('damaged', name + ' has a changed header (its MAC does not match)');
      }
      const nonceAt = header.payloadAt;
      if (file.size < nonceAt + 16 + 16) throw new AgeError('damaged', name + ' is cut short: it ends before its payload');
      const nonce = new Uint8Array(await file.slice(nonceAt, nonceAt + 16).arrayBuffer());
      return new AgeFile(file, name, C.hkdf(C.sha256, fileKey, nonce, utf8('payload'), 32), nonceAt + 16);
    }

    constructor(file, name, payloadKey, chunksAt) {
      this.file = file;
      this.name = name;
      this.key = payloadKey;
      this.chunksAt = chunksAt;
      const sealed = file.size - chunksAt;
      this.chunks = Math.max(1, Math.ceil(sealed / SEALED));
      const last = sealed - (this.chunks - 1) * SEALED;
      this.size = (this.chunks - 1) * CHUNK + last - 16;
      this.shortLast = last < 16 || (last === 16 && this.chunks > 1);
      this.kept = new Map();
      this.decrypted = 0;
      this.onDamage = null;
      this.run = null;
    }

    where(chunk) {
      return 'chunk ' + chunk + ' (file bytes from ' + (this.chunksAt + chunk * SEALED) + ')';
    }

    // Chunk i decrypted; `until`: the last chunk the caller goes on to, read along with it.
    chunk(i, until = i) {
      let p = this.kept.get(i);
      if (p) {
        this.kept.delete(i);
        this.kept.set(i, p);
        return p;
      }
      p = this.decryptChunk(i, until);
      this.kept.set(i, p);
      while (this.kept.size > KEPT_CHUNKS) this.kept.delete(this.kept.keys().next().value);
      // A damaged chunk is said once where the page shows it, and read again if asked again.
      p.catch((e) => {
        this.kept.delete(i);
        if (this.onDamage) this.onDamage(e);
      });
      return p;
    }

    // The sealed bytes of chunk i, read together with those of the chunks after it up to
    // `until` (at most RUN of them): a read of the file costs the browser far more than its bytes.
    async sealedBytes(i, until) {
      const r = this.run;
      if (!r || i < r.first || i >= r.first + r.count) {
        const count = Math.max(1, Math.min(RUN, until - i + 1, this.chunks - i));
        const from = this.chunksAt + i * SEALED;
        const bytes = new Uint8Array(await this.file.slice(from, Math.min(from + count * SEALED, this.file.size)).arrayBuffer());
        this.run = { first: i, count, bytes };
      }
      const at = (i - this.run.first) * SEALED;
      return this.run.bytes.subarray(at, Math.min(at + SEALED, this.run.bytes.length));
    }

    async decryptChunk(i, until) {
      const last = i === this.chunks - 1;
      if (last && this.shortLast) {
        throw new AgeError('damaged', this.name + ' is cut short: it ends inside ' + this.where(i));
      }
      const sealed = await this.sealedBytes(i, until);
      const nonce = new Uint8Array(12);
      for (let k = 10, n = i; k >= 0 && n > 0; k--, n = Math.floor(n / 256)) nonce[k] = n % 256;
      nonce[11] = last ? 1 : 0;
      try {
        const plain = C.chacha20poly1305(this.key, nonce).decrypt(sealed);
        this.decrypted += plain.length;
        return plain;
      } catch (e) {
        throw new AgeError('damaged', this.name + ' fails authentication at ' + this.where(i) + ': it was changed or cut short there');
      }
    }

    // Hands the plaintext bytes [from, from + length) to use(part, done) in order, a chunk's
    // worth at a time.
    async forEachPart(from, length, use) {
      if (from < 0 || length < 0 || from + length > this.size) {
        throw new AgeError('damaged', this.name + ' is cut short: its archive wants bytes up to ' + (from + length) + ' of ' + this.size);
      }
      let done = 0;
      while (done < length) {
        const at = from + done;
        const i = Math.floor(at / CHUNK);
        const plain = await this.chunk(i, Math.floor((from + length - 1) / CHUNK));
        const off = at - i * CHUNK;
        const n = Math.min(length - done, plain.length - off);
        use(plain.subarray(off, off + n), done);
        done += n;
      }
    }

    // The plaintext bytes [from, from + length) as one array.
    async read(from, length) {
      const out = new Uint8Array(length);
      await this.forEachPart(from, length, (part, done) => out.set(part, done));
      return out;
    }
  }

  QV.define('age', { AgeFile, AgeError, needs, parseHeader, readIdentities, CHUNK });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.age;
