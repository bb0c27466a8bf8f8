// The records an entry carries beside its minutes: BackupInfo.dat, the information file of 2332
// bytes (range, recorder, camera names, memo), and the minute map "<day>.DAT" of 64 rows of 1440
// bytes, the minutes of each camera the entry was to hold.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const RECORD_BYTES = 2332;
  const NAME_BYTES = 31, NAMES_AT = 40, MEMO_AT = 2024, MEMO_BYTES = 255;

  // Text up to the first NUL; the dialog writes UTF-8, an older recorder its ANSI code page.
  function cString(bytes, at, length) {
    let end = at;
    while (end < at + length && bytes[end] !== 0) end++;
    const raw = bytes.subarray(at, end);
    try {
      return new TextDecoder('utf-8', { fatal: true }).decode(raw);
    } catch (e) {
      return new TextDecoder('windows-1252').decode(raw);
    }
  }

  // The record of an ArrayBuffer or typed array; null when it is too short to be one.
  function parse(buffer) {
    const bytes = buffer instanceof Uint8Array ? buffer : new Uint8Array(buffer);
    if (bytes.length < RECORD_BYTES) return null;
    const view = new DataView(bytes.buffer, bytes.byteOffset, RECORD_BYTES);
    const u32 = (at) => view.getUint32(at, true);
    const cameraNames = [];
    for (let i = 0; i < 64; i++) cameraNames.push(cString(bytes, NAMES_AT + i * NAME_BYTES, NAME_BYTES));
    return {
      year: u32(0), month: u32(4), day: u32(8),
      startHour: u32(12), startMinute: u32(16), endHour: u32(20), endMinute: u32(24),
      camCount: u32(28), recorderKind: u32(32), modelCode: u32(36),
      cameraNames,
      memo: cString(bytes, MEMO_AT, MEMO_BYTES),
    };
  }

  const MAP_BYTES = 64 * 1440;

  // The cameras (from 0) and minutes of the day that a minute map marks within [start, end];
  // null when it is too short to be one. The information file's camera count is the recorder's,
  // not the entry's: this map is what the entry was made of.
  function parseMinuteMap(buffer, start, end) {
    const bytes = buffer instanceof Uint8Array ? buffer : new Uint8Array(buffer);
    if (bytes.length < MAP_BYTES) return null;
    const cameras = [], minutes = new Set();
    for (let cam = 0; cam < 64; cam++) {
      let any = false;
      for (let m = Math.max(0, start); m <= Math.min(1439, end); m++) {
        if (bytes[cam * 1440 + m]) {
          any = true;
          minutes.add(m);
        }
      }
      if (any) cameras.push(cam);
    }
    return { cameras, minutes: [...minutes].sort((a, b) => a - b) };
  }

  // "1–4, 7" of cameras counted from 0, shown from 1.
  function cameraRanges(cameras) {
    const out = [];
    for (let i = 0; i < cameras.length; i++) {
      let j = i;
      while (j + 1 < cameras.length && cameras[j + 1] === cameras[j] + 1) j++;
      out.push(j > i ? cameras[i] + 1 + '–' + (cameras[j] + 1) : String(cameras[i] + 1));
      i = j;
    }
    return out.join(', ');
  }

  // The name to show for a camera (from 0): its recorded name, else "Camera N".
  function cameraLabel(info, camera) {
    const name = info && info.cameraNames[camera];
    return name ? name : 'Camera ' + (camera + 1);
  }

  QV.define('backupInfo', { RECORD_BYTES, MAP_BYTES, parse, parseMinuteMap, cameraRanges, cameraLabel });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.backupInfo;
