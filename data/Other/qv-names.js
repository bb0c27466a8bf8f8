// The names of a backup image: entry folders, day folders, minute files and audio files.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const ENTRY = /^(\d{4})_(\d{2})_(\d{2})=(\d{2}),(\d{2})~(\d{2}),(\d{2})$/;
  const MINUTE = /^(\d{8})(\d{2})(\d{2})N\.(idx|dat)$/i;
  const AUDIO = /^(\d{8})(\d{2})(\d{2})\.(au|aug)(\d{1,2})$/i;
  const DAY = /^\d{8}$/;

  function clockMinute(h, m) {
    const hour = Number(h), minute = Number(m);
    return hour < 24 && minute < 60 ? hour * 60 + minute : -1;
  }

  // "2010_05_23=14,00~15,30": the day and the first and last minute (both recorded).
  function parseEntryFolder(name) {
    const m = ENTRY.exec(name);
    if (!m) return null;
    const start = clockMinute(m[4], m[5]), end = clockMinute(m[6], m[7]);
    if (start < 0 || end < 0 || end < start) return null;
    return { day: m[1] + m[2] + m[3], start, end };
  }

  // "201005231405N.idx": the minute of the day and which of the pair.
  function parseMinuteFile(name) {
    const m = MINUTE.exec(name);
    if (!m) return null;
    const minute = clockMinute(m[2], m[3]);
    if (minute < 0) return null;
    return { day: m[1], minute, kind: m[4].toLowerCase() };
  }

  // "201005231405.au3" or ".aug3": the minute and the channel (the camera, from 0).
  function parseAudioFile(name) {
    const m = AUDIO.exec(name);
    if (!m) return null;
    const minute = clockMinute(m[2], m[3]);
    const channel = Number(m[5]);
    if (minute < 0 || channel > 63) return null;
    return { day: m[1], minute, channel };
  }

  function isDayFolder(name) {
    return DAY.test(name);
  }

  function two(n) {
    return String(n).padStart(2, '0');
  }

  // "14:05" of a minute of the day.
  function clock(minuteOfDay) {
    return two(Math.floor(minuteOfDay / 60)) + ':' + two(minuteOfDay % 60);
  }

  // "2010-05-23" of YYYYMMDD.
  function dayText(day) {
    return day.slice(0, 4) + '-' + day.slice(4, 6) + '-' + day.slice(6, 8);
  }

  // "14:05:07.40" of a second of the day; tenths are kept so that steps show.
  function timeOfDay(second) {
    const whole = Math.floor(second);
    const hundredths = Math.floor((second - whole) * 100 + 1e-6);
    return two(Math.floor(whole / 3600)) + ':' + two(Math.floor(whole / 60) % 60) + ':' +
      two(whole % 60) + '.' + two(hundredths);
  }

  QV.define('names', {
    parseEntryFolder, parseMinuteFile, parseAudioFile, isDayFolder, clock, dayText, timeOfDay,
  });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.names;
