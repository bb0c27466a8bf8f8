// The exhibit report at an image root (report.json, or report-N.json where a folder holds several
// images): which one belongs to the image's current manifest, whether the manifest vouches for
// it, and its facts in words. Only text comes out of here; the page shows it as text, never HTML.
(function () {
  'use strict';
  if (typeof require === 'function' && typeof QV === 'undefined') require('./qv-namespace.js');

  const SCHEMA = 'quillon-exhibit-report/1';
  // The names the backup gives: no report-1.json, no leading zero.
  const NAME = /^report(?:-([2-9]|[1-9][0-9]+))?\.json$/;

  // The report of an image among the names of its root's files: one its current SHA256SUMS lists
  // when there is one, else any; of several, the latest (report.json is the first, report-2.json
  // the second...). null when there is none.
  function choose(names, manifest) {
    const found = names.filter((n) => NAME.test(n));
    const listed = manifest ? found.filter((n) => manifest.files.has(n)) : [];
    const pool = listed.length ? listed : found;
    const number = (n) => Number(NAME.exec(n)[1] || 1);
    return pool.sort((a, b) => number(b) - number(a))[0] || null;
  }

  // Whether the manifest vouches for the report's bytes: { state: 'vouched' | 'changed' |
  // 'unlisted' | 'unmanifested', text }.
  function vouch(name, digest, manifest) {
    if (!manifest) return { state: 'unmanifested', text: 'NOT VOUCHED FOR: the image has no readable SHA256SUMS, so nothing says ' + name + ' is the one the backup wrote.' };
    const listed = manifest.files.get(name);
    if (!listed) return { state: 'unlisted', text: 'NOT VOUCHED FOR: SHA256SUMS does not list ' + name + '; it may have been put here later.' };
    if (listed !== digest) return { state: 'changed', text: 'NOT VOUCHED FOR: ' + name + ' does not match its digest in SHA256SUMS; it was changed after the backup.' };
    return { state: 'vouched', text: name + ' matches its digest in SHA256SUMS.' };
  }

  const text = (v) => (typeof v === 'string' ? v : v === undefined || v === null ? '' : String(v));
  const list = (v) => (Array.isArray(v) ? v : []);
  const object = (v) => (v && typeof v === 'object' && !Array.isArray(v) ? v : {});

  // The report's JSON read: its facts, or an Error that says why it cannot be shown.
  function parse(json) {
    let r;
    try {
      r = JSON.parse(json);
    } catch (e) {
      throw new Error('it is not JSON (' + e.message + ')');
    }
    if (!r || typeof r !== 'object' || Array.isArray(r)) throw new Error('it is not a JSON object');
    if (r.schema !== SCHEMA) throw new Error('its schema is ' + JSON.stringify(text(r.schema)) + ', not ' + SCHEMA);
    return r;
  }

  function seconds(v) {
    const n = Number(v);
    if (!Number.isFinite(n)) return '? s';
    return (Math.round(n * 1000) / 1000) + ' s';
  }

  function signed(v) {
    const n = Number(v);
    return (n > 0 ? '+' : n < 0 ? '−' : '±') + seconds(Math.abs(n));
  }

  // The recorder's clock in one sentence.
  function clockText(recorder) {
    const c = object(recorder.clock);
    const detail = text(c.detail);
    if (c.method === 'link')
      return 'measured over the link: the recorder\'s clock is ' + signed(c.offset_seconds) + ' from this machine\'s, within ' +
        seconds(c.uncertainty_seconds) + (detail ? ' (' + detail + ')' : '');
    if (c.method === 'kernel')
      return 'a local recorder, whose clock is this machine\'s: the kernel says it is ' +
        (c.synchronised === true ? 'synchronised' : 'NOT synchronised') + ', maximum error ' + seconds(c.uncertainty_seconds);
    return 'not measured' + (detail ? ': ' + detail : '');
  }

  function minutes(ms) {
    const m = list(ms).map(text);
    return m.length ? m.join(', ') : 'none';
  }

  // The facts as [heading, [[label, value]...]] groups, the entries and their cameras after them:
  // { head: [...groups], entries: [{ title, facts: [[label, value]], cameras: [[label, value]...] }] }.
  function describe(r) {
    const c = object(r.case), x = object(r.exporter), rec = object(r.recorder);
    const head = [
      ['Case', [['Case reference', text(c.reference) || '(none given)'], ['Exhibit', text(c.exhibit) || '(none given)'],
        ['Operator', text(c.operator) || '(none given)'], ['Report made (UTC)', text(r.made)]]],
      ['Exported by', [['Machine', text(x.machine)], ['Program', text(x.program)]]],
      ['Recorder', [['Name', text(rec.name)], ['Address', text(rec.address) || 'local'], ['Time zone', text(rec.zone)],
        ['Clock', clockText(rec)]]],
    ];
    const entries = list(r.entries).map((e) => {
      e = object(e);
      const facts = [
        ['Folder', text(e.folder)],
        ['Minutes', text(e.day) + ' ' + text(e.first_minute) + ' ~ ' + text(e.last_minute)],
        ['UTC offset', text(e.utc_offset_first) + ' at the first minute, ' + text(e.utc_offset_last) + ' at the last'],
        ['Repeated hour', list(e.repeated_minutes).length
          ? list(e.repeated_minutes).length + ' minutes the clock showed twice as the zone changed back: ' + minutes(e.repeated_minutes)
          : 'none'],
      ];
      if (text(e.memo)) facts.push(['Memo', text(e.memo)]);
      for (const p of list(e.problems)) facts.push(['Not copied', text(p)]);
      const cameras = list(e.cameras).map((cam) => {
        cam = object(cam);
        const name = text(cam.number) ? 'Camera ' + text(cam.number) + (text(cam.name) ? ' (' + text(cam.name) + ')' : '') : 'Camera ?';
        const pictures = Number(cam.pictures) || 0;
        return [
          ['Camera', name],
          ['Pictures', String(pictures)],
          ['First', pictures ? text(cam.first_recorded) + ' (' + text(cam.first_utc) + ')' : '—'],
          ['Last', pictures ? text(cam.last_recorded) + ' (' + text(cam.last_utc) + ')' : '—'],
          ['Missing minutes', minutes(cam.missing_minutes)],
          ['Damaged minutes', minutes(cam.damaged_minutes)],
        ];
      });
      return { title: text(e.folder), facts, cameras };
    });
    return { head, entries };
  }

  QV.define('report', { choose, vouch, parse, describe, clockText, SCHEMA });
})();
if (typeof module === 'object' && module.exports) module.exports = globalThis.QV.report;
