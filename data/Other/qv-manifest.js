// SHA256SUMS beside an image: sha256sum's lines ("hex  path", "hex *path", "\"-escaped names)
// and "#" comments, the first of which tells that an image is partial.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const LINE = /^(\\?)([0-9a-fA-F]{64}) [ *](.+)$/;

  function unescapeName(name) {
    return name.replace(/\\(\\|n|r)/g, (all, c) => (c === 'n' ? '\n' : c === 'r' ? '\r' : '\\'));
  }

  // { files: Map(path -> lower-case hex), comments: [text], bad: [line numbers] }.
  function parse(text) {
    const files = new Map(), comments = [], bad = [];
    const lines = text.split('\n');
    lines.forEach((raw, i) => {
      const line = raw.endsWith('\r') ? raw.slice(0, -1) : raw;
      if (line.trim() === '') return;
      if (line.startsWith('#')) {
        comments.push(line.slice(1).trim());
        return;
      }
      const m = LINE.exec(line);
      if (!m) {
        bad.push(i + 1);
        return;
      }
      let path = m[1] ? unescapeName(m[3]) : m[3];
      path = path.replace(/^\.\//, '');
      files.set(path, m[2].toLowerCase());
    });
    return { files, comments, bad };
  }

  // What a file's check found: "ok", "mismatch", "missing" (listed, not in the image),
  // "unlisted" (in the image, not listed), "unreadable" or "pending".
  const VERDICT_TEXT = {
    ok: 'matches', mismatch: 'DOES NOT MATCH', missing: 'missing from the image',
    unlisted: 'not in the manifest', unreadable: 'cannot be read', pending: 'not checked yet',
  };

  // The whole image's verdict from the per-file ones.
  function summarize(verdicts, manifest) {
    const count = { ok: 0, mismatch: 0, missing: 0, unlisted: 0, unreadable: 0, pending: 0 };
    for (const v of verdicts.values()) count[v]++;
    let state, text;
    if (count.mismatch || count.missing || count.unreadable) {
      state = 'failed';
      const parts = [];
      if (count.mismatch) parts.push(count.mismatch + ' changed');
      if (count.missing) parts.push(count.missing + ' missing');
      if (count.unreadable) parts.push(count.unreadable + ' unreadable');
      text = 'The image is NOT intact: ' + parts.join(', ') + ' of ' +
        (manifest ? manifest.files.size : 0) + ' listed files.';
    } else if (count.pending) {
      state = 'checking';
      text = 'Checking… ' + count.ok + ' of ' + (count.ok + count.pending) + ' listed files match so far.';
    } else {
      state = 'intact';
      text = 'All ' + count.ok + ' listed files match the manifest.';
    }
    if (count.unlisted) {
      text += ' ' + count.unlisted + (count.unlisted === 1 ? ' file is' : ' files are') + ' not in the manifest.';
      if (state === 'intact') state = 'unlisted';
    }
    if (manifest && manifest.comments.length) text += ' Note: ' + manifest.comments[0];
    return { state, text, count };
  }

  QV.define('manifest', { parse, summarize, VERDICT_TEXT });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.manifest;
