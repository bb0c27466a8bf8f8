// The files of a POSIX tar archive (ustar, with pax extended headers for long names and large
// sizes) read through any reader of byte ranges: only the 512-byte headers are read, so listing
// an archive costs one read per file, whatever their sizes.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const BLOCK = 512;
  // An extended header holds a path and a few numbers: one larger is damage, and is not read,
  // since reading it would take as much memory as its size field says.
  const MOST_PAX = 1 << 20;

  class TarError extends Error {}

  function field(h, from, length) {
    let end = from;
    while (end < from + length && h[end] !== 0) end++;
    return new TextDecoder().decode(h.subarray(from, end));
  }

  function octal(h, from, length, what, at) {
    if (h[from] & 0x80) {
      // Base-256, for sizes past 8 GiB: the first byte's other bits are the number's highest,
      // so that a negative one (0xff…) is too large to be a size.
      let v = h[from] & 0x7f;
      for (let i = from + 1; i < from + length; i++) v = v * 256 + h[i];
      return v;
    }
    const text = field(h, from, length).trim();
    if (!/^[0-7]*$/.test(text)) throw new TarError('the archive is damaged: the ' + what + ' of the header at byte ' + at + ' is not a number');
    return text ? parseInt(text, 8) : 0;
  }

  function checksumHolds(h) {
    let sum = 0;
    for (let i = 0; i < BLOCK; i++) sum += i >= 148 && i < 156 ? 0x20 : h[i];
    return sum === octal(h, 148, 8, 'checksum', 0);
  }

  // "LEN key=value\n" records of a pax header.
  function paxRecords(bytes, at) {
    const out = {};
    let i = 0;
    while (i < bytes.length) {
      let sp = i;
      while (sp < bytes.length && bytes[sp] !== 0x20) sp++;
      const len = Number(new TextDecoder().decode(bytes.subarray(i, sp)));
      if (!Number.isInteger(len) || len <= sp - i || i + len > bytes.length || bytes[i + len - 1] !== 0x0a) {
        throw new TarError('the archive is damaged: a malformed extended header at byte ' + at);
      }
      const record = new TextDecoder().decode(bytes.subarray(sp + 1, i + len - 1));
      const eq = record.indexOf('=');
      if (eq > 0) out[record.slice(0, eq)] = record.slice(eq + 1);
      i += len;
    }
    return out;
  }

  // read(from, length) -> Promise<Uint8Array>; size: the archive's length. Returns
  // [{ path, offset, size }] of its regular files, paths as written ("/"-separated). Folders
  // are implied by the paths; links and devices are refused, since an image holds none.
  async function list(read, size) {
    const files = [];
    const seen = new Set();
    let at = 0;
    let pax = {};
    while (at + BLOCK <= size) {
      const h = await read(at, BLOCK);
      if (h.every((b) => b === 0)) return files;
      if (!checksumHolds(h)) throw new TarError('the archive is damaged: the header at byte ' + at + ' fails its checksum');
      const type = String.fromCharCode(h[156] || 0x30);
      const prefix = field(h, 257, 6) === 'ustar' ? field(h, 345, 155) : '';
      const name = pax.path || (prefix ? prefix + '/' : '') + field(h, 0, 100);
      const length = pax.size !== undefined ? Number(pax.size) : octal(h, 124, 12, 'size', at);
      if (!Number.isSafeInteger(length) || length < 0) throw new TarError('the archive is damaged: a bad size at byte ' + at);
      const dataAt = at + BLOCK;
      if (dataAt + length > size) throw new TarError('the archive is cut short inside ' + name);
      if (type === 'x') {
        if (length > MOST_PAX) throw new TarError('the archive is damaged: an extended header of ' + length + ' bytes at byte ' + at);
        pax = paxRecords(await read(dataAt, length), at);
      } else {
        if (type === '0') {
          // A path is the image's own: one that climbs out of it or that two files share would
          // let the file checked against the manifest be another than the one shown. A leading
          // "./" is tar's way of writing a path relative to where it was made.
          const path = name.replace(/^(\.\/)+/, '').replace(/\/+$/, '');
          if (path.split('/').some((p) => p === '' || p === '.' || p === '..')) throw new TarError('the archive holds ' + name + ', which is no path inside the image');
          if (seen.has(path)) throw new TarError('the archive holds ' + path + ' twice');
          seen.add(path);
          files.push({ path, offset: dataAt, size: length });
        } else if (type !== '5' && type !== 'g') throw new TarError('the archive holds ' + name + ', which is neither a file nor a folder');
        pax = {};
      }
      at = dataAt + Math.ceil(length / BLOCK) * BLOCK;
    }
    throw new TarError('the archive is cut short: it has no end marker');
  }

  QV.define('tar', { list, TarError });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.tar;
