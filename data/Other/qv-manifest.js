// SHA256SUMS beside an image: sha256sum's lines ("hex  path", "hex *path", "\"-escaped names)
// and "#" comments. The first comment of a pass that did not complete says so ("PARTIAL IMAGE"),
// the others what was not copied and which entries are incomplete.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const LINE = /^(\\?)([0-9a-fA-F]{64}) [ *](.+)$/;
  const PARTIAL = /^PARTIAL IMAGE\b:?\s*(.*)$/;
  const NOT_COPIED = /^not copied:\s*(.*)$/;
  const INCOMPLETE = /^incomplete entry:\s*([^:]+?):\s*(.*)$/;

  function unescapeName(name) {
    return name.replace(/\\(\\|n|r)/g, (all, c) => (c === 'n' ? '\n' : c === 'r' ? '\r' : '\\'));
  }

  // { files: Map(path -> lower-case hex), comments: [text], bad: [line numbers],
  //   partial: why the image is partial or null, notCopied: [text],
  //   incomplete: Map(entry folder name -> its first reason) }.
  function parse(text) {
    const files = new Map(), comments = [], bad = [], notCopied = [], incomplete = new Map();
    let partial = null, first = true;
    const lines = text.split('\n');
    lines.forEach((raw, i) => {
      const line = raw.endsWith('\r') ? raw.slice(0, -1) : raw;
      if (line.trim() === '') return;
      const leading = first;
      first = false;
      if (line.startsWith('#')) {
        const comment = line.slice(1).trim();
        comments.push(comment);
        let m;
        // Only the first line marks the image: a file name cannot turn a whole image partial.
        if (leading && (m = PARTIAL.exec(comment))) partial = m[1] || 'the image is not complete.';
        else if ((m = INCOMPLETE.exec(comment)) && !incomplete.has(m[1])) incomplete.set(m[1], m[2]);
        else if ((m = NOT_COPIED.exec(comment))) notCopied.push(m[1]);
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
    return { files, comments, bad, partial, notCopied, incomplete };
  }

  // Why an entry is incomplete, from its own line, else from the first "not copied" line that
  // names its folder (older manifests have only those); '' when the manifest names it nowhere.
  function incompleteReason(manifest, entryName) {
    if (!manifest) return '';
    if (manifest.incomplete.has(entryName)) return manifest.incomplete.get(entryName);
    const prefix = entryName + ':';
    const line = manifest.notCopied.find((t) => t.startsWith(prefix));
    return line ? line.slice(prefix.length).trim() : '';
  }

  // The minutes of an entry that the backup found damaged at the recorder, from its "incomplete
  // entry" and "not copied" lines ("camera 1, 10:04: the recording is damaged[: why]"): such a
  // minute was copied with its readable pictures only. Map(minute of the day -> { cameras: [N as
  // written, sorted], leftOut: pictures the lines say were left out, 0 when none says }).
  const RECORDER_DAMAGE = /(?:camera (\d+)|minute), (\d\d):(\d\d): the recording is damaged(?:: (\d+) pictures? of the index lie outside)?/g;
  function recorderDamage(manifest, entryName) {
    const out = new Map();
    if (!manifest) return out;
    const heads = ['incomplete entry: ' + entryName + ':', 'not copied: ' + entryName + ':'];
    const seen = new Set();
    for (const comment of manifest.comments) {
      const head = heads.find((h) => comment.startsWith(h));
      if (!head) continue;
      for (const m of comment.slice(head.length).matchAll(RECORDER_DAMAGE)) {
        const hour = Number(m[2]), min = Number(m[3]);
        if (hour > 23 || min > 59) continue;
        const minute = hour * 60 + min;
        if (!out.has(minute)) out.set(minute, { cameras: [], leftOut: 0 });
        const d = out.get(minute);
        const cam = m[1] === undefined ? null : Number(m[1]);
        if (cam !== null && !d.cameras.includes(cam)) d.cameras.push(cam);
        // The entry line and the detailed line name the same camera: count its pictures once.
        const key = minute + '/' + cam;
        if (m[4] !== undefined && !seen.has(key)) {
          seen.add(key);
          d.leftOut += Number(m[4]);
        }
      }
    }
    for (const d of out.values()) d.cameras.sort((a, b) => a - b);
    return out;
  }

  // What a file's check found: "ok", "mismatch", "missing" (listed, not in the image),
  // "unlisted" (in the image, not listed), "unreadable", "pending" or "stamped" (an MP4 file
  // changed only by a receiving stamp over its exporter's signature, see qv-stamp.js).
  const VERDICT_TEXT = {
    ok: 'matches', mismatch: 'DOES NOT MATCH', missing: 'missing from the image', stamped: 'STAMPED',
    unlisted: 'not in the manifest', unreadable: 'cannot be read', pending: 'not checked yet',
  };

  // The whole image's verdict from the per-file ones.
  function summarize(verdicts, manifest) {
    const count = { ok: 0, mismatch: 0, missing: 0, unlisted: 0, unreadable: 0, pending: 0, stamped: 0 };
    for (const v of verdicts.values()) count[v]++;
    // A stamped file matches as its exporter signed it: it counts with the matching ones.
    const matching = count.ok + count.stamped;
    const stampedText = count.stamped
      ? ' (' + count.stamped + (count.stamped === 1 ? ' MP4 file' : ' MP4 files') + ' as their exporter signed them, with a receiving stamp)'
      : '';
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
      text = 'Checking… ' + matching + ' of ' + (matching + count.pending) + ' listed files match so far' + stampedText + '.';
    } else {
      state = 'intact';
      text = 'All ' + matching + ' listed files match the manifest' + stampedText + '.';
    }
    if (count.unlisted) {
      text += ' ' + count.unlisted + (count.unlisted === 1 ? ' file is' : ' files are') + ' not in the manifest.';
      if (state === 'intact') state = 'unlisted';
    }
    // A partial image is never whole, however well its files match; only a failure outranks it.
    if (manifest && manifest.partial) {
      if (state !== 'failed') state = 'partial';
      text = 'PARTIAL IMAGE: ' + manifest.partial + ' ' + text;
    } else if (manifest && manifest.comments.length) {
      text += ' Note: ' + manifest.comments[0];
    }
    return { state, text, count };
  }

  // A file's check failed: what the "failures only" list shows.
  function isFailure(verdict) {
    return verdict === 'mismatch' || verdict === 'missing' || verdict === 'unlisted' || verdict === 'unreadable';
  }

  QV.define('manifest', { parse, summarize, incompleteReason, recorderDamage, isFailure, VERDICT_TEXT });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.manifest;
