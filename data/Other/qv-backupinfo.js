// BackupInfo.dat, the entry information file of 2332 bytes: range, recorder, camera names, memo.
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

  // The name to show for a camera (from 0): its recorded name, else "Camera N".
  function cameraLabel(info, camera) {
    const name = info && info.cameraNames[camera];
    return name ? name : 'Camera ' + (camera + 1);
  }

  QV.define('backupInfo', { RECORD_BYTES, parse, cameraLabel });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.backupInfo;
