// Redaction masks as `quillon-cli export --redact MASKS.json` reads them: the list the operator
// draws, the mapping of a pointer on a shown picture to the picture's own pixels, and the file's
// JSON, written and read by the rules the exporter checks, so a saved file is never refused.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const METHODS = ['solid', 'blur', 'pixelate'];
  const MASK_KEYS = ['camera', 'rect', 'polygon', 'method', 'from', 'to', 'size'];
  const MUTE_KEYS = ['camera', 'from', 'to'];
  const DAYS = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31];

  // "YYYY-MM-DD hh:mm:ss" that names a real day and time of the recorder's clock.
  function isReading(text) {
    const m = typeof text === 'string' && /^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)$/.exec(text);
    if (!m) return false;
    const [year, month, day, hour, minute, second] = m.slice(1).map(Number);
    const leap = (year % 4 === 0 && year % 100 !== 0) || year % 400 === 0;
    return month >= 1 && month <= 12 && day >= 1 && day <= DAYS[month - 1] + (month === 2 && leap ? 1 : 0) &&
      hour <= 23 && minute <= 59 && second <= 59;
  }

  // The reading of a picture's time as the tiles show it ("2010-05-23 10:00:07", maybe with
  // hundredths), or '' when it is none.
  function readingOf(time) {
    const text = typeof time === 'string' ? time.slice(0, 19) : '';
    return isReading(text) ? text : '';
  }

  const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);
  const isWhole = (v) => isNumber(v) && Math.floor(v) === v && Math.abs(v) < 1e9;

  // A point of the shown picture in the picture's own pixels: (clientX, clientY) over an element
  // at box (its getBoundingClientRect()) that shows a picture of width x height, clamped to it
  // and rounded to whole pixels.
  function toPicture(clientX, clientY, box, width, height) {
    const clamp = (v, max) => Math.min(max, Math.max(0, Math.round(v)));
    return [clamp((clientX - box.left) * width / box.width, width), clamp((clientY - box.top) * height / box.height, height)];
  }

  // The rectangle [x, y, width, height] two corners span, or null when it has no area.
  function rectOf(a, b) {
    const x = Math.min(a[0], b[0]), y = Math.min(a[1], b[1]);
    const w = Math.abs(a[0] - b[0]), h = Math.abs(a[1] - b[1]);
    return w > 0 && h > 0 ? [x, y, w, h] : null;
  }

  // A mask's outline as points in the pixels of a picture of width x height: the coordinates are
  // scaled from the size they were drawn on, as the exporter scales them (without a size they
  // are taken as they are).
  function outline(mask, width, height) {
    const sx = mask.size ? width / mask.size[0] : 1, sy = mask.size ? height / mask.size[1] : 1;
    const pts = mask.rect
      ? [[mask.rect[0], mask.rect[1]], [mask.rect[0] + mask.rect[2], mask.rect[1]],
        [mask.rect[0] + mask.rect[2], mask.rect[1] + mask.rect[3]], [mask.rect[0], mask.rect[1] + mask.rect[3]]]
      : mask.polygon;
    return pts.map(([x, y]) => [x * sx, y * sy]);
  }

  // Whether a mask or mute covers the picture of a reading: both ends are included, either may
  // be left out. Readings of one form compare as text.
  function coversReading(item, reading) {
    if (!reading) return !item.from && !item.to;
    return (!item.from || item.from <= reading) && (!item.to || reading <= item.to);
  }

  // ---- checking, with where it is wrong, counting from 0 as the exporter does ----

  function checkKeys(v, where, keys) {
    for (const name of Object.keys(v)) {
      if (!keys.includes(name)) return where + ': unknown key "' + name + '"';
      if (v[name] === null) return where + '.' + name + ': null (leave the key out instead)';
    }
    return '';
  }

  function checkCamera(v, where) {
    if (!('camera' in v)) return where + ': no "camera"';
    return isWhole(v.camera) && v.camera >= 1 && v.camera <= 64 ? '' : where + '.camera: a camera number 1-64';
  }

  function checkRange(v, where) {
    for (const name of ['from', 'to']) {
      if (name in v && !isReading(v[name])) return where + '.' + name + ': a recorded time "YYYY-MM-DD hh:mm:ss" of the recorder\'s clock';
    }
    return v.from && v.to && v.from > v.to ? where + ': "from" is after "to"' : '';
  }

  function checkShape(v, where) {
    if (('rect' in v) === ('polygon' in v)) return where + ': one of "rect" and "polygon"';
    if ('rect' in v) {
      if (!Array.isArray(v.rect) || v.rect.length !== 4) return where + '.rect: [x, y, width, height]';
      if (!v.rect.every(isNumber)) return where + '.rect: [x, y, width, height], numbers';
      return v.rect[2] > 0 && v.rect[3] > 0 ? '' : where + '.rect: its width and height are more than 0';
    }
    if (!Array.isArray(v.polygon) || v.polygon.length < 3) return where + '.polygon: at least 3 points [x, y]';
    const bad = v.polygon.findIndex((p) => !Array.isArray(p) || p.length !== 2 || !isNumber(p[0]) || !isNumber(p[1]));
    return bad < 0 ? '' : where + '.polygon[' + bad + ']: a point [x, y]';
  }

  // '' when the exporter takes the mask, else what is wrong and where.
  function checkMask(v, where) {
    if (!v || typeof v !== 'object' || Array.isArray(v)) return where + ': a mask is an object';
    const why = checkKeys(v, where, MASK_KEYS) || checkCamera(v, where) || checkShape(v, where);
    if (why) return why;
    if (!('method' in v)) return where + ': no "method" (solid, blur or pixelate)';
    if (!METHODS.includes(v.method)) return where + '.method: solid, blur or pixelate';
    if ('size' in v && !(Array.isArray(v.size) && v.size.length === 2 && v.size.every((n) => isWhole(n) && n >= 1))) {
      return where + '.size: [width, height], whole numbers more than 0';
    }
    return checkRange(v, where);
  }

  function checkMute(v, where) {
    if (!v || typeof v !== 'object' || Array.isArray(v)) return where + ': a mute is an object';
    return checkKeys(v, where, MUTE_KEYS) || checkCamera(v, where) || checkRange(v, where);
  }

  // ---- the file ----

  // A mask or mute with its keys in the file's order and nothing else.
  function tidy(item, keys) {
    const out = {};
    for (const k of keys) if (item[k] !== undefined && item[k] !== '') out[k] = item[k];
    return out;
  }

  // The text of MASKS.json for the lists; throws when the exporter would refuse it.
  function write(masks, mutes) {
    const m = masks.map((x) => tidy(x, MASK_KEYS)), u = mutes.map((x) => tidy(x, MUTE_KEYS));
    if (!m.length && !u.length) throw new Error('no mask and no mute: nothing would be hidden');
    const why = m.map((x, i) => checkMask(x, 'masks[' + i + ']')).find((w) => w) ||
      u.map((x, i) => checkMute(x, 'mute[' + i + ']')).find((w) => w);
    if (why) throw new Error(why);
    const list = (items) => '[\n' + items.map((x) => '    ' + JSON.stringify(x).replace(/,"/g, ', "').replace(/":/g, '": ')).join(',\n') + '\n  ]';
    const parts = [];
    if (m.length) parts.push('  "masks": ' + list(m));
    if (u.length) parts.push('  "mute": ' + list(u));
    return '{\n' + parts.join(',\n') + '\n}\n';
  }

  // { masks, mutes } of a masks file's text; throws with where it is wrong.
  function read(text) {
    let doc;
    try {
      doc = JSON.parse(text);
    } catch (e) {
      throw new Error('not JSON: ' + e.message);
    }
    if (!doc || typeof doc !== 'object' || Array.isArray(doc)) throw new Error('the file is an object with "masks" and "mute"');
    const why = checkKeys(doc, 'the file', ['masks', 'mute']);
    if (why) throw new Error(why);
    if ('masks' in doc && !Array.isArray(doc.masks)) throw new Error('masks: a list of masks');
    if ('mute' in doc && !Array.isArray(doc.mute)) throw new Error('mute: a list of audio ranges');
    const masks = doc.masks || [], mutes = doc.mute || [];
    if (!masks.length && !mutes.length) throw new Error('the file names no mask and no mute: nothing would be hidden');
    const wrong = masks.map((x, i) => checkMask(x, 'masks[' + i + ']')).find((w) => w) ||
      mutes.map((x, i) => checkMute(x, 'mute[' + i + ']')).find((w) => w);
    if (wrong) throw new Error(wrong);
    return { masks: masks.map((x) => tidy(x, MASK_KEYS)), mutes: mutes.map((x) => tidy(x, MUTE_KEYS)) };
  }

  QV.define('masks', {
    METHODS, isReading, readingOf, toPicture, rectOf, outline, coversReading, checkMask, checkMute, write, read,
  });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.masks;
