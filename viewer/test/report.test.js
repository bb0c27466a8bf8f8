// The viewer's reader of the exhibit report under node: which report of a folder belongs to its
// current manifest, whether the manifest vouches for its bytes, and its facts in words, from the
// report a backup wrote and from reports of a remote recorder and of a night the clocks went back.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const crypto = require('node:crypto');
const { makeImage, removeImage } = require('./support/image-fixture.js');

const page = (f) => require(path.join(__dirname, '../../data/Other', f));
const manifest = page('qv-manifest.js');
const report = page('qv-report.js');

const sha = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');
const listing = (files) => manifest.parse(Object.entries(files).map(([n, h]) => h + '  ' + n + '\n').join(''));
const fact = (pairs, label) => (pairs.find((p) => p[0] === label) || [])[1];
const headFact = (d, group, label) => fact(d.head.find((g) => g[0] === group)[1], label);

let made, bytes, sums;

before(() => {
  // 10:01 of camera 2 was not recorded.
  made = makeImage({ day: '20100523', from: '1000', to: '1002', cameras: 2, fps: 1, gap: ['1001'],
    exhibit: { case: 'REF <b>12</b>', exhibit: 'EX-3', operator: 'Jo Operator' },
    entries: [{ from: '1000', to: '1002', cams: 'all', memo: 'gate' }] });
  bytes = fs.readFileSync(path.join(made.image, 'report.json'));
  sums = manifest.parse(fs.readFileSync(path.join(made.image, 'SHA256SUMS'), 'utf8'));
});

after(() => removeImage(made));

describe('the exhibit report as the page reads it', () => {
  it('takes the report the current manifest lists, the latest of several, and no other name', () => {
    const h = '0'.repeat(64);
    assert.equal(report.choose(['SHA256SUMS', 'report.json', 'REPORT.pdf'], listing({ 'report.json': h })), 'report.json');
    assert.equal(report.choose(['report.json', 'report-2.json', 'report-10.json'], listing({ 'report.json': h, 'report-2.json': h, 'report-10.json': h })),
      'report-10.json', 'by number, not by name');
    assert.equal(report.choose(['report.json', 'report-3.json'], listing({ 'report.json': h })), 'report.json',
      'one the manifest does not list is not preferred');
    assert.equal(report.choose(['report-3.json'], listing({})), 'report-3.json', 'unlisted, but there (and then not vouched for)');
    assert.equal(report.choose(['report-2.json'], null), 'report-2.json');
    for (const name of ['report-.json', 'report-x.json', 'report.json.bak', 'Report.json', 'myreport.json', 'report-2.JSON',
      'report-1.json', 'report-02.json'])
      assert.equal(report.choose([name], listing({ [name]: h })), null, name);
  });

  it('vouches for the report the backup wrote, and for no changed or unlisted one', () => {
    assert.ok(sums.files.has('report.json'), 'the backup lists its report');
    assert.equal(report.choose([...sums.files.keys()].filter((n) => !n.includes('/')), sums), 'report.json');
    assert.equal(report.vouch('report.json', sha(bytes), sums).state, 'vouched');
    const changed = Buffer.from(bytes);
    changed[changed.indexOf('EX-3')] = 'F'.charCodeAt(0);
    const v = report.vouch('report.json', sha(changed), sums);
    assert.equal(v.state, 'changed');
    assert.match(v.text, /^NOT VOUCHED FOR: report\.json does not match its digest in SHA256SUMS/);
    assert.equal(report.vouch('report-2.json', sha(bytes), sums).state, 'unlisted');
    assert.match(report.vouch('report.json', sha(bytes), null).text, /^NOT VOUCHED FOR: the image has no readable SHA256SUMS/);
  });

  it('tells the case, exporter, recorder, its clock and each camera of each entry', () => {
    const d = report.describe(report.parse(bytes.toString('utf8')));
    assert.equal(headFact(d, 'Case', 'Case reference'), 'REF <b>12</b>', 'as text, markup and all');
    assert.equal(headFact(d, 'Case', 'Exhibit'), 'EX-3');
    assert.equal(headFact(d, 'Case', 'Operator'), 'Jo Operator');
    assert.match(headFact(d, 'Exported by', 'Program'), /^Quillon Backup \d+\.\d+/);
    assert.ok(headFact(d, 'Exported by', 'Machine'));
    assert.equal(headFact(d, 'Recorder', 'Address'), 'local');
    assert.equal(headFact(d, 'Recorder', 'Time zone'), 'UTC');
    // This machine's own state, as the backup read it from the kernel.
    const clock = JSON.parse(bytes.toString('utf8')).recorder.clock;
    assert.equal(clock.method, 'kernel');
    assert.equal(headFact(d, 'Recorder', 'Clock'), "a local recorder, whose clock is this machine's: the kernel says it is " +
      (clock.synchronised ? '' : 'NOT ') + 'synchronised, maximum error ' + Math.round(clock.uncertainty_seconds * 1000) / 1000 + ' s');
    assert.equal(d.entries.length, 1);
    const e = d.entries[0];
    assert.equal(e.title, made.entries[0]);
    assert.equal(fact(e.facts, 'Minutes'), '2010-05-23 10:00 ~ 10:02');
    assert.equal(fact(e.facts, 'UTC offset'), 'UTC at the first minute, UTC at the last');
    assert.equal(fact(e.facts, 'Memo'), 'gate');
    assert.equal(e.cameras.length, 2);
    for (const [i, cam] of e.cameras.entries()) {
      assert.equal(fact(cam, 'Camera'), 'Camera ' + (i + 1));
      assert.equal(fact(cam, 'Pictures'), '120', 'two recorded minutes at one a second');
      assert.equal(fact(cam, 'First'), '2010-05-23 10:00:00 (2010-05-23T10:00:00Z)');
      assert.equal(fact(cam, 'Last'), '2010-05-23 10:02:59 (2010-05-23T10:02:59Z)');
      assert.equal(fact(cam, 'Missing minutes'), '10:01');
      assert.equal(fact(cam, 'Damaged minutes'), 'none');
    }
  });

  it('tells a remote recorder\'s measured clock, an unmeasured one and the hour the clocks went back', () => {
    const r = JSON.parse(bytes.toString('utf8'));
    r.recorder = { name: 'yard', address: '10.0.0.7:7004', zone: 'Europe/Berlin',
      clock: { method: 'link', offset_seconds: -2.5, uncertainty_seconds: 0.012, synchronised: true, detail: 'best of 8 round trips' } };
    r.entries[0] = { ...r.entries[0], day: '2010-10-31', first_minute: '02:58', last_minute: '03:01',
      utc_offset_first: 'UTC+02:00', utc_offset_last: 'UTC+01:00', repeated_minutes: ['02:58', '02:59'],
      problems: ['minute 02:59 not copied: the recording is damaged'] };
    r.entries[0].cameras[0] = { ...r.entries[0].cameras[0], name: 'Gate <script>', pictures: 0, damaged_minutes: ['02:59'] };
    let d = report.describe(report.parse(JSON.stringify(r)));
    assert.equal(headFact(d, 'Recorder', 'Address'), '10.0.0.7:7004');
    assert.equal(headFact(d, 'Recorder', 'Clock'), "measured over the link: the recorder's clock is −2.5 s from this machine's, within 0.012 s (best of 8 round trips)");
    const e = d.entries[0];
    assert.equal(fact(e.facts, 'UTC offset'), 'UTC+02:00 at the first minute, UTC+01:00 at the last');
    assert.equal(fact(e.facts, 'Repeated hour'), '2 minutes the clock showed twice as the zone changed back: 02:58, 02:59');
    assert.equal(fact(e.facts, 'Not copied'), 'minute 02:59 not copied: the recording is damaged');
    assert.equal(fact(e.cameras[0], 'Camera'), 'Camera 1 (Gate <script>)');
    assert.equal(fact(e.cameras[0], 'First'), '—', 'no picture, no first time');
    assert.equal(fact(e.cameras[0], 'Damaged minutes'), '02:59');
    r.recorder.clock = { method: 'none', offset_seconds: 0, uncertainty_seconds: 0, synchronised: false, detail: 'the recorder did not answer' };
    d = report.describe(report.parse(JSON.stringify(r)));
    assert.equal(headFact(d, 'Recorder', 'Clock'), 'not measured: the recorder did not answer');
  });

  it('refuses what is no report of this kind, and says why', () => {
    assert.throws(() => report.parse('{"schema": '), /^Error: it is not JSON/);
    assert.throws(() => report.parse('[]'), /it is not a JSON object/);
    assert.throws(() => report.parse('{"schema":"quillon-exhibit-report/2"}'), /its schema is "quillon-exhibit-report\/2", not quillon-exhibit-report\/1/);
  });
});
