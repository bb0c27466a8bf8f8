// One minute of an entry read from its index (SQLite, through sql.js) against the length of
// its data file: each camera's pictures in recorded order with the time each is due. A minute
// whose index is no database or has no picture table, or addresses bytes past the end of its
// data file, is damaged: it is marked and not played.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const MAX_PICTURE_BYTES = 1048576;  // the recorder's copy buffer: no picture is larger

  // Pictures that share a stamp spread evenly over that second, so that 25 pictures stamped
  // with one second play 40 ms apart. pictures: sorted by rectime; sets .t (seconds from base).
  function spreadTimes(pictures, base) {
    for (let i = 0; i < pictures.length;) {
      let end = i;
      while (end < pictures.length && pictures[end].rectime === pictures[i].rectime) end++;
      const share = 1 / (end - i);
      for (let k = i; k < end; k++) pictures[k].t = Math.min(59.999, Math.max(0, pictures[i].rectime - base + (k - i) * share));
      i = end;
    }
  }

  function isWhole(v) {
    return typeof v === 'number' && Number.isInteger(v);
  }

  // SQL: the sql.js module; idxBytes: Uint8Array of the index; dataLength: bytes of the data file.
  // Returns { damaged: false, cameras: Map(camera -> [{ rectime, pos, size, t }]), base }
  // or { damaged: true, problem }.
  function read(SQL, idxBytes, dataLength) {
    let db;
    const rows = [];
    try {
      db = new SQL.Database(idxBytes);
      const q = db.prepare('SELECT camnum, rectime, imgposition, imgsize FROM indextable ORDER BY rowid');
      while (q.step()) rows.push(q.get());
      q.free();
    } catch (e) {
      const text = String(e && e.message ? e.message : e);
      return { damaged: true, problem: /no such table/i.test(text) ? 'the index holds no picture table' : 'the index is not a database (' + text + ')' };
    } finally {
      if (db) db.close();
    }
    const cameras = new Map();
    let past = 0, minStamp = Infinity;
    for (const [cam, rectime, pos, size] of rows) {
      if (!isWhole(cam) || cam < 0 || cam > 63 || !isWhole(rectime) || !isWhole(pos) || !isWhole(size) ||
          size < 0 || size > MAX_PICTURE_BYTES || pos < 0 || pos + size > dataLength) {
        past++;
        continue;
      }
      if (!cameras.has(cam)) cameras.set(cam, []);
      cameras.get(cam).push({ rectime, pos, size, t: 0 });
      minStamp = Math.min(minStamp, rectime);
    }
    if (past) return { damaged: true, problem: past + ' of ' + rows.length + ' pictures lie outside the data file' };
    // The minute's stamps start at its first whole minute, whatever clock the recorder keeps.
    const base = Number.isFinite(minStamp) ? minStamp - (((minStamp % 60) + 60) % 60) : 0;
    for (const list of cameras.values()) {
      list.sort((a, b) => a.rectime - b.rectime);  // stable: rows of one stamp keep their order
      spreadTimes(list, base);
    }
    return { damaged: false, cameras, base };
  }

  // The index of the last picture due at or before second t of the minute; -1 when none is.
  function pictureAt(list, t) {
    let lo = 0, hi = list.length - 1, found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (list[mid].t <= t + 1e-9) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    return found;
  }

  QV.define('minute', { read, pictureAt, spreadTimes, MAX_PICTURE_BYTES });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.minute;
