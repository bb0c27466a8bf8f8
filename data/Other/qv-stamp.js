// An MP4 export file that took a receiving stamp no longer has the digest SHA256SUMS lists. It is
// still the backup's when its exporter's signature holds and signs what the image's report
// recorded for it, and the stamp's own signature, by another certificate, holds too. Checked
// here with WebCrypto on the bytes already read for the file's hash: each signature's covered
// bytes are made in place and put back, so the file is never held twice.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const SCHI_ALLOWED = ['sibo', 'cert', 'sigC', 'auib', 'cstb'];
  const SALT = 32; // the exporter's and the stamp's: as long as the SHA-256 digest

  function hex(buffer) {
    return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  }

  const u32 = (b, at) => ((b[at] << 24) >>> 0) + (b[at + 1] << 16) + (b[at + 2] << 8) + b[at + 3];
  const put32 = (b, at, v) => { b[at] = v >>> 24; b[at + 1] = (v >>> 16) & 255; b[at + 2] = (v >>> 8) & 255; b[at + 3] = v & 255; };
  const type = (b, at) => String.fromCharCode(b[at + 4], b[at + 5], b[at + 6], b[at + 7]);

  // The boxes of b[from, to): [{ type, at, header, end }]; throws an Error that says why not.
  function boxes(b, from, to) {
    const out = [];
    for (let at = from; at < to;) {
      if (to - at < 8) throw new Error('a box header at offset ' + at + ' is cut short');
      let size = u32(b, at), header = 8;
      if (size === 1) {
        if (to - at < 16) throw new Error('a 64-bit box size at offset ' + at + ' is cut short');
        size = u32(b, at + 8) * 4294967296 + u32(b, at + 12);
        header = 16;
      } else if (size === 0) {
        size = to - at;
      }
      if (size < header || size > to - at) throw new Error("box '" + type(b, at) + "' at offset " + at + ' has a bad size');
      out.push({ type: type(b, at), at, header, end: at + size });
      at += size;
    }
    return out;
  }

  const ofType = (list, t) => list.filter((x) => x.type === t);

  // Where each signature of the file lies: { metaAt, iproAt, slots: [{ sinfEnd, siboAt,
  // siboEnd, cert: Uint8Array }] }, the file-level 'meta' read as the program reads it.
  function signaturePlaces(b) {
    const top = boxes(b, 0, b.length);
    const meta = top[top.length - 1];
    if (!meta || meta.type !== 'meta' || ofType(top, 'meta').length !== 1 || meta.header !== 8)
      throw new Error("the file's 'meta' box is not its last box (or it has not exactly one)");
    const children = boxes(b, meta.at + 12, meta.end);
    const ipro = children[children.length - 1];
    if (!ipro || ipro.type !== 'ipro' || ipro.header !== 8 || ofType(children, 'ipro').length !== 1)
      throw new Error("the 'ipro' box is not the last box of the file's 'meta'");
    if (ipro.end - ipro.at < 14) throw new Error("the 'ipro' box is too short for its count");
    const count = (b[ipro.at + 12] << 8) | b[ipro.at + 13];
    const sinfs = boxes(b, ipro.at + 14, ipro.end);
    if (!count || count !== sinfs.length || sinfs.some((s) => s.type !== 'sinf'))
      throw new Error("the 'ipro' box counts " + count + ' schemes but holds ' + sinfs.length + ' boxes');
    const slots = sinfs.map((sinf, i) => {
      const which = 'signature ' + (i + 1) + ' of ' + count;
      const inner = boxes(b, sinf.at + sinf.header, sinf.end);
      if (inner.length !== 1 || inner[0].type !== 'schi') throw new Error("the 'sinf' of " + which + " does not hold exactly one 'schi'");
      const schi = boxes(b, inner[0].at + inner[0].header, inner[0].end);
      for (const t of SCHI_ALLOWED) {
        const n = ofType(schi, t).length;
        if (n > 1 || (n === 0 && (t === 'sibo' || t === 'cert'))) throw new Error("the 'schi' of " + which + " has not one '" + t + "'");
      }
      if (schi.some((x) => !SCHI_ALLOWED.includes(x.type))) throw new Error("the 'schi' of " + which + ' has a box that is not expected');
      const cstb = ofType(schi, 'cstb')[0];
      if (cstb) {
        // A count, then a track ID and a start of 4 + 8 bytes each, and nothing after them.
        const body = cstb.end - cstb.at - cstb.header;
        const n = body >= 4 ? u32(b, cstb.at + cstb.header) : -1;
        if (n < 0 || n > 0x7fffffff || body !== 4 + 12 * n) throw new Error("the 'cstb' of " + which + ' is not well formed');
      }
      const sibo = ofType(schi, 'sibo')[0], cert = ofType(schi, 'cert')[0];
      if (sibo.header !== 8) throw new Error("the 'sibo' of " + which + ' has a 64-bit size');
      return { sinfEnd: sinf.end, siboAt: sibo.at + 8, siboEnd: sibo.end, cert: b.slice(cert.at + cert.header, cert.end) };
    });
    return { metaAt: meta.at, iproAt: ipro.at, slots };
  }

  // Runs use(covered) on the bytes one signature covers: the file to the end of its 'sinf', the
  // sizes of 'meta' and 'ipro' ending there, its own 'sibo' zeroed. b is as it was afterwards.
  async function withCovered(b, places, slot, use) {
    const sizes = [b.slice(places.metaAt, places.metaAt + 4), b.slice(places.iproAt, places.iproAt + 4)];
    const signature = b.slice(slot.siboAt, slot.siboEnd);
    put32(b, places.metaAt, slot.sinfEnd - places.metaAt);
    put32(b, places.iproAt, slot.sinfEnd - places.iproAt);
    b.fill(0, slot.siboAt, slot.siboEnd);
    try {
      return await use(b.subarray(0, slot.sinfEnd), signature);
    } finally {
      b.set(sizes[0], places.metaAt);
      b.set(sizes[1], places.iproAt);
      b.set(signature, slot.siboAt);
    }
  }

  // ---- the certificate: a minimal DER walk to its key, subject and common name ----

  // The element of d at at: { tag, start (of its contents), end }.
  function tlv(d, at, end) {
    if (at + 2 > end) throw new Error('the certificate is cut short');
    const tag = d[at];
    let len = d[at + 1], start = at + 2;
    if (len & 0x80) {
      const n = len & 0x7f;
      if (n < 1 || n > 4 || start + n > end) throw new Error('the certificate has a bad length');
      len = 0;
      for (let i = 0; i < n; i++) len = len * 256 + d[start + i];
      start += n;
    }
    if (start + len > end) throw new Error('the certificate is cut short');
    return { tag, at, start, end: start + len };
  }

  function children(d, e) {
    const out = [];
    for (let at = e.start; at < e.end;) {
      const c = tlv(d, at, e.end);
      out.push(c);
      at = c.end;
    }
    return out;
  }

  const CN = [0x55, 0x04, 0x03];

  // A directory string as UTF-8 text would show it.
  function stringOf(d, e) {
    const bytes = d.subarray(e.start, e.end);
    if (e.tag === 0x1e) return String.fromCharCode(...Array.from({ length: bytes.length >> 1 }, (_, i) => (bytes[2 * i] << 8) | bytes[2 * i + 1]));
    if (e.tag === 0x1c) return String.fromCodePoint(...Array.from({ length: bytes.length >> 2 }, (_, i) => u32(bytes, 4 * i)));
    if (e.tag === 0x0c) return new TextDecoder().decode(bytes);
    return String.fromCharCode(...bytes); // Printable, IA5, Teletex: one byte a character
  }

  // { spki: Uint8Array, commonName } of a DER X.509 certificate; throws when it is not one.
  function certificate(d) {
    const whole = tlv(d, 0, d.length);
    if (whole.tag !== 0x30 || whole.end !== d.length) throw new Error('it is not one DER certificate');
    const tbs = children(d, whole)[0];
    if (!tbs || tbs.tag !== 0x30) throw new Error('it has no certificate body');
    const fields = children(d, tbs);
    const first = fields[0] && fields[0].tag === 0xa0 ? 1 : 0; // the version, when given
    const subject = fields[first + 4], spki = fields[first + 5];
    if (!subject || subject.tag !== 0x30 || !spki || spki.tag !== 0x30) throw new Error('it has no subject or key');
    let commonName = '';
    for (const set of children(d, subject)) {
      for (const pair of children(d, set)) {
        const [oid, value] = children(d, pair);
        if (!commonName && oid && value && oid.tag === 0x06 && oid.end - oid.start === 3 && CN.every((x, i) => d[oid.start + i] === x))
          commonName = stringOf(d, value);
      }
    }
    return { spki: d.slice(spki.at, spki.end), commonName };
  }

  // "SHA256:" and the certificate's SHA-256 in groups of four hex digits.
  async function fingerprint(der, subtle) {
    return 'SHA256:' + hex(await subtle.digest('SHA-256', der)).match(/.{4}/g).join(' ');
  }

  const same = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);

  // Whether the file's bytes (the whole file, as read for its hash) are its exporter's with a
  // receiving stamp, its first signature signing recorded (the report's hex digest):
  // { stamped: true, text } with who stamped it, or { stamped: false, why }.
  async function judge(buffer, recorded, subtle = crypto.subtle) {
    try {
      const b = new Uint8Array(buffer);
      const places = signaturePlaces(b);
      const first = places.slots[0], last = places.slots[places.slots.length - 1];
      if (places.slots.length < 2 || same(first.cert, last.cert)) return { stamped: false, why: 'it carries no receiving stamp' };
      const signed = await withCovered(b, places, first, async (covered) => hex(await subtle.digest('SHA-256', covered)));
      if (signed !== recorded) return { stamped: false, why: 'its exporter\'s signature does not sign what the report recorded' };
      const certs = [];
      for (const [i, slot] of places.slots.entries()) {
        const cert = certificate(slot.cert);
        const key = await subtle.importKey('spki', cert.spki, { name: 'RSA-PSS', hash: 'SHA-256' }, false, ['verify']);
        const good = await withCovered(b, places, slot, (covered, signature) =>
          subtle.verify({ name: 'RSA-PSS', saltLength: SALT }, key, signature, covered));
        if (!good) return { stamped: false, why: 'signature ' + (i + 1) + ' of ' + places.slots.length + ' is bad' };
        certs.push(cert);
      }
      const stamper = certs[certs.length - 1];
      return {
        stamped: true,
        text: 'received with the stamp of "' + stamper.commonName + '" (' + await fingerprint(last.cert, subtle) +
          '); signed by its exporter as the backup made it',
      };
    } catch (e) {
      return { stamped: false, why: e.message || String(e) };
    }
  }

  // What the image's report records its MP4 files' first signatures sign: Map(path -> hex), read
  // only from a report the manifest vouches for (vouched: QV.report.vouch's state).
  function signedParts(report, vouched) {
    const parts = new Map();
    if (vouched !== 'vouched' || !report || typeof report !== 'object') return parts;
    const copies = report.copies && typeof report.copies === 'object' ? report.copies : {};
    for (const p of Array.isArray(copies.signed_parts) ? copies.signed_parts : []) {
      if (p && typeof p.path === 'string' && p.path && typeof p.sha256 === 'string' && p.sha256.length === 64) parts.set(p.path, p.sha256);
    }
    return parts;
  }

  const isMp4 = (rel) => /.\.(mp4|MP4)$/.test(rel);

  QV.define('stamp', { judge, signedParts, certificate, isMp4 });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.stamp;
