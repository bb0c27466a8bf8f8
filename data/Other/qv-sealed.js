// An encrypted medium opened in place: the image's files inside IMAGE.tar.age as objects the
// page reads like picked files (size, name, slice, arrayBuffer, text), each read decrypting only
// the chunks it needs. So a 4 GB medium lists as fast as a plain one, and no decrypted byte goes
// to disk.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');
  const QVCrypto = typeof globalThis.QVCrypto !== 'undefined' ? globalThis.QVCrypto : require('./qv-crypto.js');

  const WHOLE_DIGEST = 16 << 20;

  class SealedFile {
    constructor(age, name, offset, size, type) {
      this.age = age;
      this.name = name;
      this.offset = offset;
      this.size = size;
      this.type = type || '';
    }

    slice(start = 0, end = this.size, type = '') {
      const clamp = (v) => Math.max(0, Math.min(this.size, v < 0 ? this.size + v : v));
      const from = clamp(start);
      return new SealedFile(this.age, this.name, this.offset + from, Math.max(0, clamp(end) - from), type);
    }

    async arrayBuffer() {
      const bytes = await this.age.read(this.offset, this.size);
      return bytes.buffer;
    }

    async text() {
      return new TextDecoder().decode(await this.age.read(this.offset, this.size));
    }

    // The SHA-256 (hex) of the bytes. A large file is hashed chunk by chunk as it is decrypted,
    // so that a file of any size is checked in the memory of a few chunks; a smaller one whole,
    // by the browser's faster native digest.
    async sha256() {
      const subtle = globalThis.crypto && globalThis.crypto.subtle;
      if (subtle && this.size <= WHOLE_DIGEST) {
        return Array.from(new Uint8Array(await subtle.digest('SHA-256', await this.age.read(this.offset, this.size))),
          (b) => b.toString(16).padStart(2, '0')).join('');
      }
      const hash = QVCrypto.sha256.create();
      await this.age.forEachPart(this.offset, this.size, (part) => hash.update(part));
      return Array.from(hash.digest(), (b) => b.toString(16).padStart(2, '0')).join('');
    }

    // A Blob of the bytes, held in memory, for what only takes a Blob (pictures, a video).
    async blob() {
      return new Blob([await this.age.read(this.offset, this.size)], { type: this.type });
    }
  }

  // The Blob of a picked file or of a part of an encrypted one.
  function asBlob(file) {
    return file instanceof SealedFile ? file.blob() : Promise.resolve(file);
  }

  // The files of the image in the archive, as [{ path, file }] like a picked folder's.
  async function open(file, unlock, onProgress) {
    const age = await QV.age.AgeFile.open(file, unlock, onProgress);
    const entries = await QV.tar.list((from, length) => age.read(from, length), age.size);
    const items = entries.map((e) => ({
      path: e.path,
      file: new SealedFile(age, e.path.slice(e.path.lastIndexOf('/') + 1), e.offset, e.size),
    }));
    return { age, items };
  }

  function isSealed(file) {
    return file instanceof SealedFile;
  }

  // The largest file played from memory: far below the share of memory past which the browser
  // begins to keep Blobs on disk.
  const MOST_PLAYED = 256 << 20;

  QV.define('sealed', { open, asBlob, isSealed, SealedFile, MOST_PLAYED });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.sealed;
