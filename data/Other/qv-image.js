// The image as the picked files show it: its entries, each with its day, range, information
// file and the index, data and audio files of each minute, and the manifest of its root. Only
// names are looked at here; no file is read.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') {
    require('./qv-namespace.js');
    require('./qv-names.js');
  }
  const names = QV.names;
  const MANIFEST = 'SHA256SUMS';

  function split(path) {
    return path.split('/').filter((p) => p !== '');
  }

  function minuteOf(entry, minute) {
    let m = entry.minutes.get(minute);
    if (!m) {
      m = { minute, idx: null, dat: null, audio: new Map() };
      entry.minutes.set(minute, m);
    }
    return m;
  }

  // items: [{ path: "Backup/2010_05_23=14,00~15,30/20100523/201005231400N.idx", file }], the
  // path as the picker gives it ("/"-separated, below the picked folder or including it).
  // Returns { entries: [...], roots: Map(root path -> { manifest, sig, files: Map(rel -> file) }) }.
  function build(items) {
    const entries = new Map();
    const roots = new Map();
    const rootOf = (root) => {
      if (!roots.has(root)) roots.set(root, { path: root, manifest: null, signature: null, publicKey: null, files: new Map() });
      return roots.get(root);
    };
    // Entry folders first, so that every file below one is known to belong to it.
    for (const { path } of items) {
      const parts = split(path);
      for (let i = 0; i < parts.length - 1; i++) {
        const range = names.parseEntryFolder(parts[i]);
        if (!range) continue;
        const root = parts.slice(0, i).join('/');
        const key = parts.slice(0, i + 1).join('/');
        if (!entries.has(key)) {
          entries.set(key, { key, name: parts[i], root, day: range.day, start: range.start, end: range.end,
            info: null, map: null, minutes: new Map(), videos: [] });
          rootOf(root);
        }
        break;
      }
    }
    // The root whose folder holds a path, the innermost when roots nest.
    const rootPaths = [...roots.keys()].sort((a, b) => b.length - a.length);
    const rootHolding = (path) => rootPaths.find((r) => r === '' || path.startsWith(r + '/'));
    for (const { path, file } of items) {
      const parts = split(path);
      const leaf = parts[parts.length - 1];
      const dir = parts.slice(0, -1).join('/');
      // The manifest, its signature and key, an older image's kept manifest (SHA256SUMS-1...) and
      // the custody log, which names the manifest and so cannot be listed in it.
      if (roots.has(dir) && (/^SHA256SUMS(-[0-9]+)?(\.sig|\.pub)?$/.test(leaf) || leaf === 'CUSTODY.jsonl')) {
        if (leaf === MANIFEST) roots.get(dir).manifest = file;
        else if (leaf === 'CUSTODY.jsonl') roots.get(dir).custody = file;
        else if (leaf === MANIFEST + '.sig') roots.get(dir).signature = file;
        else if (leaf === MANIFEST + '.pub') roots.get(dir).publicKey = file;
        continue;
      }
      // Every file of the image is checked, also those beside the entries (a disc's viewer).
      const root = rootHolding(parts.join('/'));
      if (root === undefined) continue;
      const rel = parts.slice(root ? split(root).length : 0).join('/');
      roots.get(root).files.set(rel, file);
      let entry = null, at = -1;
      for (let i = parts.length - 2; i >= 0 && !entry; i--) {
        const e = entries.get(parts.slice(0, i + 1).join('/'));
        if (e) { entry = e; at = i; }
      }
      if (!entry) continue;
      const below = parts.slice(at + 1);  // [day, name], [day, "Audio", name] or ["Video", name]
      // The entry's cameras as MP4 files, already on the medium for whoever wants a video.
      if (below.length === 2 && below[0] === 'Video' && /\.mp4$/i.test(leaf)) {
        entry.videos.push({ name: leaf, file, rel });
        entry.videos.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
        continue;
      }
      if (below.length < 2 || below[0] !== entry.day) continue;
      if (below.length === 2 && leaf === 'BackupInfo.dat') {
        entry.info = { file, rel };
        continue;
      }
      // The entry's minute map, written ".DAT" and read ".dat" alike.
      if (below.length === 2 && leaf.toLowerCase() === entry.day + '.dat') {
        entry.map = { file, rel };
        continue;
      }
      if (below.length === 2) {
        const mf = names.parseMinuteFile(leaf);
        if (mf && mf.day === entry.day) minuteOf(entry, mf.minute)[mf.kind] = { file, rel };
      } else if (below.length === 3 && below[1].toLowerCase() === 'audio') {
        const af = names.parseAudioFile(leaf);
        if (af && af.day === entry.day) minuteOf(entry, af.minute).audio.set(af.channel, { file, rel });
      }
    }
    const list = [...entries.values()].sort((a, b) =>
      a.root < b.root ? -1 : a.root > b.root ? 1 : a.day !== b.day ? (a.day < b.day ? -1 : 1) : a.start - b.start);
    return { entries: list, roots };
  }

  // The minutes of an entry that can be played: both files of the pair are there.
  function recordedMinutes(entry) {
    return [...entry.minutes.values()].filter((m) => m.idx && m.dat).map((m) => m.minute).sort((a, b) => a - b);
  }

  QV.define('image', { build, recordedMinutes, MANIFEST });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.image;
