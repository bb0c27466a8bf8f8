// CUSTODY.jsonl of an image: its lines read and the chain checked as quillon-cli custody verify
// checks it (each line's hash of the line before, its number, each signature over the lines before
// it), in the same words, so that what the page says can be compared with what the program says.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const NOTHING = '0'.repeat(64);
  const SIGNATURE = 'signature';
  const B64 = /^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$/;

  function hex(buffer) {
    return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  }

  // The log's lines as bytes, each with its line end; the last without when the log was cut in it.
  function splitLines(bytes) {
    const out = [];
    for (let at = 0; at < bytes.length;) {
      const end = bytes.indexOf(0x0a, at);
      const next = end < 0 ? bytes.length : end + 1;
      out.push(bytes.subarray(at, next));
      at = next;
    }
    return out;
  }

  // A flat object of texts and whole numbers, the only kind of line the log writes: { fields } or
  // { bad: what is wrong }, worded as the program words it.
  function readLine(s) {
    let at = 0;
    const space = () => { while (at < s.length && (s[at] === ' ' || s[at] === '\t' || s[at] === '\r')) at++; };
    const take = (c) => (s[at] === c ? (at++, true) : false);
    const end = () => { space(); return at === s.length ? null : 'something follows the object'; };
    const string = () => {
      if (!take('"')) return null;
      let out = '';
      while (at < s.length) {
        const c = s[at++];
        if (c === '"') return out;
        if (c.charCodeAt(0) < 0x20) return null;
        if (c !== '\\') { out += c; continue; }
        const e = s[at++];
        const k = '"\\/bfnrt'.indexOf(e);
        if (e !== undefined && k >= 0) { out += '"\\/\b\f\n\r\t'[k]; continue; }
        if (e !== 'u' || !/^[0-9a-fA-F]{4}$/.test(s.slice(at, at + 4))) return null;
        out += String.fromCharCode(parseInt(s.slice(at, at + 4), 16));
        at += 4;
      }
      return null;
    };
    const fields = new Map();
    space();
    if (!take('{')) return { bad: 'it is not a JSON object' };
    space();
    if (take('}')) { const b = end(); return b ? { bad: b } : { fields }; }
    for (;;) {
      space();
      const name = string();
      if (name === null) return { bad: "a field's name cannot be read" };
      space();
      if (!take(':')) return { bad: 'the field "' + name + '" has no value' };
      space();
      let value;
      if (s[at] === '"') {
        value = string();
        if (value === null) return { bad: 'the value of "' + name + '" cannot be read' };
      } else {
        const m = /^[0-9]*/.exec(s.slice(at))[0];
        if (!m || m.length >= 19) return { bad: 'the value of "' + name + '" is neither a text nor a number' };
        at += m.length;
        value = m;
      }
      if (fields.has(name)) return { bad: 'the field "' + name + '" is there twice' };
      fields.set(name, value);
      space();
      if (take('}')) { const b = end(); return b ? { bad: b } : { fields }; }
      if (!take(',')) return { bad: "a ',' or '}' is missing after \"" + name + '"' };
    }
  }

  // Leading digits as a number, 0 when there are none (as the program reads them).
  const number = (v) => { const m = /^[0-9]+/.exec(v || ''); return m ? Number(m[0]) : 0; };

  // One line's text: { line: {...} } or { bad }.
  function parseLine(text) {
    const r = readLine(text);
    if (r.bad) return r;
    const f = r.fields;
    for (const required of ['line', 'prev', 'time', 'event', 'actor'])
      if (!f.has(required)) return { bad: 'it has no "' + required + '"' };
    const get = (k) => f.get(k) || '';
    const line = { line: number(f.get('line')), prev: get('prev'), time: get('time'), event: get('event'), actor: get('actor'),
      manifest: get('manifest'), recipient: get('recipient'), organisation: get('organisation'), reason: get('reason'),
      note: get('note'), covers: number(f.get('covers')), key: get('key'), signature: get('signature') };
    if (line.event === SIGNATURE && (!f.has('covers') || !line.key || !line.signature))
      return { bad: 'a signature line needs "covers", "key" and "signature"' };
    return { line };
  }

  const lines = (from, to) => (from === to ? 'line ' + from : 'lines ' + from + '-' + to);
  const linesAre = (from, to) => lines(from, to) + (from === to ? ' is' : ' are');
  const count = (n) => n + (n === 1 ? ' line' : ' lines');
  const bytesOf = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));

  // A valid Ed25519 public key (the first of RFC 8032's examples): whether this engine can check
  // Ed25519 at all, told apart from a log whose key is bad.
  const PROBE_KEY = 'MCowBQYDK2VwAyEA11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=';
  async function ed25519(subtle) {
    try {
      await subtle.importKey('spki', bytesOf(PROBE_KEY), { name: 'Ed25519' }, false, ['verify']);
      return true;
    } catch (e) {
      return false;
    }
  }

  // "SHA256:0c42 674b …" of a public key's raw 32 bytes (the end of its DER), as key create prints it.
  async function fingerprint(subtle, der) {
    return 'SHA256:' + hex(await subtle.digest('SHA-256', der.slice(der.length - 32))).match(/.{4}/g).join(' ');
  }

  // bytes: the log (Uint8Array); manifestHash: SHA-256 hex of the image's SHA256SUMS, or '' for a
  // log on its own. Returns { lines: count, entries: [{ n, line | bad }], problems, signatures,
  // unsignedTail, signaturesChecked, ok }.
  async function check(bytes, manifestHash, subtle) {
    subtle = subtle || crypto.subtle;
    const canVerify = await ed25519(subtle);
    const raw = splitLines(bytes);
    const decoder = new TextDecoder();
    const out = { lines: raw.length, entries: [], problems: [], signatures: [], unsignedTail: '', signaturesChecked: canVerify, ok: false };
    let prevHash = NOTHING, lastSignature = 0, statedBefore = 0, offset = 0;
    for (let i = 0; i < raw.length; i++) {
      const n = i + 1;
      const at = 'line ' + n + ': ';
      const whole = raw[i].length > 0 && raw[i][raw[i].length - 1] === 0x0a;
      const text = decoder.decode(whole ? raw[i].subarray(0, raw[i].length - 1) : raw[i]);
      const parsed = whole ? parseLine(text) : { bad: "it is cut off (it has no line end): the log's last bytes are missing" };
      const entry = { n, line: parsed.line || null, bad: parsed.bad || '', signer: '' };
      // A line cut off just before its end still names its manifest, as the program reads it.
      if (!whole) entry.cut = parseLine(text).line || null;
      out.entries.push(entry);
      if (parsed.bad) {
        out.problems.push(at + parsed.bad);
        statedBefore = n;
      } else {
        const l = parsed.line;
        if (l.prev !== prevHash)
          out.problems.push(n === 1 ? at + 'its previous-line hash is not that of nothing (64 zeros): lines before it were removed'
            : at + 'its previous-line hash does not match line ' + (n - 1));
        // Said where the count jumps, not again for every line after a removed one.
        if (l.line !== statedBefore + 1)
          out.problems.push(at + 'it calls itself line ' + l.line + (n === 1 ? '' : ', after line ' + statedBefore) +
            ': lines were removed, added or moved');
        statedBefore = l.line;
        if (l.event === SIGNATURE) {
          lastSignature = n;
          let der = null, sig = null;
          if (B64.test(l.key)) der = bytesOf(l.key);
          if (B64.test(l.signature)) sig = bytesOf(l.signature);
          let key = null;
          if (canVerify && der) {
            try {
              key = await subtle.importKey('spki', der, { name: 'Ed25519' }, false, ['verify']);
            } catch (e) {
              key = null;
            }
          }
          if (der && der.length === 44 && (key || !canVerify)) entry.signer = await fingerprint(subtle, der);
          if (l.covers !== n - 1) {
            out.problems.push(at + 'the signature says it covers ' + count(l.covers) + ', not the ' + count(n - 1) + ' before it');
          } else if (!canVerify) {
            // Nothing is claimed of a signature this engine cannot check; the chain still is.
          } else if (!sig || !key) {
            out.problems.push(at + 'its signature or key cannot be read');
          } else {
            let good = false;
            try {
              good = await subtle.verify({ name: 'Ed25519' }, key, sig, bytes.subarray(0, offset));
            } catch (e) {
              good = false;
            }
            if (good) out.signatures.push(at + 'good signature over ' + lines(1, n - 1) + ' by ' + entry.signer);
            else out.problems.push(at + 'signature does not verify: ' + linesAre(1, n - 1) + ' not what it signed');
          }
        }
      }
      prevHash = hex(await subtle.digest('SHA-256', raw[i]));
      offset += raw[i].length;
    }
    // In an image, the last event that names a manifest must name the one the image holds now.
    if (manifestHash) {
      const named = out.entries.map((e) => ({ n: e.n, line: e.line || e.cut })).filter((e) => e.line && e.line.manifest).pop();
      if (named && named.line.manifest !== manifestHash)
        out.problems.push('line ' + named.n + ": it names another manifest than the image's SHA256SUMS (" + manifestHash.slice(0, 16) + ')');
    }
    if (!out.lines) out.unsignedTail = 'the log is empty';
    else if (!lastSignature) out.unsignedTail = 'the log has no signature: ' + linesAre(1, out.lines) + ' not signed';
    else if (lastSignature < out.lines)
      out.unsignedTail = 'the log ends after line ' + out.lines + ', but the last signature (line ' + lastSignature +
        ') covers only ' + lines(1, lastSignature - 1) + ': ' + linesAre(lastSignature + 1, out.lines) + ' not signed';
    out.ok = !out.problems.length && !out.unsignedTail && canVerify;
    return out;
  }

  // The one line that sums the check up: { state: 'intact' | 'broken' | 'unsigned' | 'unchecked', text }.
  function verdict(c) {
    if (c.problems.length) {
      const first = c.problems[0];
      const m = /^line (\d+): (.*)$/.exec(first);
      return { state: 'broken', text: 'BROKEN' + (m ? ' at line ' + m[1] + ': ' + m[2] : ': ' + first) +
        (c.problems.length > 1 ? ' (and ' + (c.problems.length - 1) + ' more)' : '') + ': the chain of custody cannot be vouched for.' };
    }
    if (c.unsignedTail) return { state: 'unsigned', text: 'NOT SIGNED: ' + c.unsignedTail + ': the chain of custody cannot be vouched for.' };
    if (!c.signaturesChecked)
      return { state: 'unchecked', text: 'The chain of ' + count(c.lines) + ' is unbroken, but this browser cannot check Ed25519 signatures: they were NOT checked (run quillon-cli custody verify).' };
    return { state: 'intact', text: 'INTACT: ' + c.lines + ' lines, all signed.' };
  }

  QV.define('custody', { check, verdict, parseLine, splitLines, NOTHING });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.custody;
