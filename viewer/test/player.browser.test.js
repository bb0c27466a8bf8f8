// The backup viewer in the distribution's Chromium: a folder image made by quillon-mkrec and
// quillon-cli is opened from its own BackupViewer folder, picked, listed, played, stepped across
// minutes and a gap, and checked against its manifest with a flipped byte; copies damaged after
// the backup are marked and skipped. A second image, from a recorder whose minute lost pictures,
// is partial and plays what that minute still holds.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const initSqlJs = require('sql.js');
const { execFileSync } = require('node:child_process');
const { makeImage, removeImage, run } = require('./support/image-fixture.js');
const { TestBrowser, tileDifference } = require('./support/browser.js');

const ARTEFACTS = process.env.QUILLON_ARTEFACT_DIR || path.resolve(__dirname, '../../build/artefacts');
const DAY_EPOCH = Date.UTC(2010, 4, 23) / 1000;
const ALL = '2010_05_23=10,00~10,05';
const SOME = '2010_05_23=10,01~10,02';

const chromium = new TestBrowser();
let made, fromDamaged, SQL;

before(async () => {
  if (!(await chromium.start())) return;
  SQL = await initSqlJs();
  // Minutes 10:00-10:05 of four cameras at two pictures a second with two audio channels;
  // 10:03 was not recorded.
  const recording = { day: '20100523', from: '1000', to: '1005', cameras: 4, fps: 2, audio: 2, audioBytes: 480000, gap: ['1003'] };
  made = makeImage({ ...recording, sign: true,
    exhibit: { case: 'REF <i>12</i>', exhibit: 'EX-3', operator: 'Jo Operator' },
    handover: { to: 'Det. Sam Ode', org: 'County Police', reason: 'case 12, exhibit 3' },
    entries: [{ from: '1000', to: '1005', cams: 'all', memo: 'front door' }, { from: '1001', to: '1002', cams: '2,4', memo: '' }],
  });
  // The same recording, but the recorder's data file of 10:04 was cut short: the backup copies
  // the pictures it can read, says which it left out and leaves a partial image.
  fromDamaged = makeImage({ ...recording, damage: ['short@1004'], partial: true,
    entries: [{ from: '1000', to: '1005', cams: 'all', memo: 'front door' }] });
  fs.mkdirSync(ARTEFACTS, { recursive: true });
});

after(async () => {
  await chromium.close();
  removeImage(made);
  removeImage(fromDamaged);
});

// A page with the viewer of the medium and the given image folder picked; every verdict the
// integrity box shows is recorded from the start.
async function openViewer(imageFolder, medium = made) {
  const page = await chromium.newPage({ viewport: { width: 1280, height: 860 } });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.errors = errors;
  await page.goto('file://' + path.join(medium.viewer, 'index.html'));
  await page.evaluate(() => {
    window.verdictsShown = [];
    const box = document.getElementById('integrity');
    new MutationObserver(() => window.verdictsShown.push(box.dataset.state)).observe(box, { attributes: true, attributeFilter: ['data-state'] });
  });
  await page.setInputFiles('#folder', imageFolder);
  await page.waitForSelector('.open-entry');
  return page;
}

async function playEntry(page, name) {
  await page.click(`#entries li[data-entry="${name}"] .open-entry`);
  await page.waitForFunction((n) => QV.app.entry && QV.app.entry.name === n && document.querySelector('.tile[data-time]'), name);
}

// The rows of camera cam stamped at second `second` of the day in a minute of an entry.
function rowsAt(imageFolder, entry, second, cam) {
  const minute = Math.floor(second / 60);
  const stem = '20100523' + String(Math.floor(minute / 60)).padStart(2, '0') + String(minute % 60).padStart(2, '0');
  const dir = path.join(imageFolder, entry, '20100523');
  const db = new SQL.Database(fs.readFileSync(path.join(dir, stem + 'N.idx')));
  const q = db.exec('SELECT imgposition, imgsize FROM indextable WHERE camnum = ? AND rectime = ? ORDER BY rowid', [cam, DAY_EPOCH + second]);
  db.close();
  const data = fs.readFileSync(path.join(dir, stem + 'N.dat'));
  return (q.length ? q[0].values : []).map(([pos, size]) => data.subarray(pos, pos + size));
}

// The second of its minute at which camera cam's last picture in the image's minute is stamped.
function lastStamp(imageFolder, entry, minute, cam) {
  const stem = '20100523' + String(Math.floor(minute / 60)).padStart(2, '0') + String(minute % 60).padStart(2, '0');
  const db = new SQL.Database(fs.readFileSync(path.join(imageFolder, entry, '20100523', stem + 'N.idx')));
  const q = db.exec('SELECT max(rectime) FROM indextable WHERE camnum = ?', [cam]);
  db.close();
  return q[0].values[0][0] - DAY_EPOCH - minute * 60;
}

function secondOf(clock) {
  const m = /(\d\d):(\d\d):(\d\d)$/.exec(clock);
  return Number(m[1]) * 3600 + Number(m[2]) * 60 + Number(m[3]);
}

// The tile of camera cam shows the picture the image holds for the time the clock tells.
async function assertShowsClock(page, entry, cam, imageFolder = made.image) {
  // Pictures are decoded while the page goes on: wait until every tile drew what is due and
  // the clock caught up with the focused one.
  await page.waitForFunction(() => QV.app.tiles.every((t) => !t.busy && t.shownKey === t.wantKey) &&
    document.getElementById('clock').textContent === document.querySelector('.tile.focus, .tile').dataset.time);
  const clock = await page.textContent('#clock');
  const tileTime = await page.getAttribute(`.tile[data-camera="${cam}"]`, 'data-time');
  assert.equal(tileTime, clock, 'the clock tells the time of the picture shown');
  const rows = rowsAt(imageFolder, entry, secondOf(clock), cam);
  assert.ok(rows.length, 'camera ' + cam + ' recorded a picture at ' + clock);
  assert.equal(await tileDifference(page, cam, rows[0]), 0, 'camera ' + cam + ' at ' + clock);
  return clock;
}

const clockIs = (page, text) => page.waitForFunction((t) => document.getElementById('clock').textContent === t, text);
const statesOf = (page) => page.$$eval('#timeline .minute', (ms) => ms.map((m) => m.dataset.state));
const titleOf = (page, minute) => page.getAttribute(`#timeline .minute[data-minute="${minute}"]`, 'title');
// Every file checked, and the page has shown it (its redraw follows the last check).
const everyFileChecked = (page) => page.waitForFunction(() =>
  [...QV.app.verifiers.values()].every((v) => v.manifest && !v.running && ![...v.verdicts.values()].includes('pending')) &&
  !document.getElementById('integrity-summary').textContent.includes('Checking'));
// A copy of an image beside it whose file rel is cut to its first `keep` bytes.
function copyCutShort(from, name, rel, keep) {
  const copy = path.join(from.usb, name);
  fs.cpSync(from.image, copy, { recursive: true });
  const file = path.join(copy, rel);
  fs.writeFileSync(file, fs.readFileSync(file).subarray(0, keep));
  return copy;
}
const stateOf = (page, minute) => page.getAttribute(`#timeline .minute[data-minute="${minute}"]`, 'data-state');

describe('the backup viewer in Chromium', () => {
  it('lists the entries of the picked image with range, memo and minutes', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    const rows = await page.$$eval('#entries li', (lis) => lis.map((li) => [li.dataset.entry, li.querySelector('.open-entry').textContent,
      li.querySelector('.memo').textContent, li.querySelector('.detail').textContent]));
    assert.deepEqual(rows.map((r) => r.slice(0, 3)), [
      [ALL, '2010-05-23 10:00 ~ 10:05', 'Memo: front door'],
      [SOME, '2010-05-23 10:01 ~ 10:02', 'No memo'],
    ]);
    assert.match(rows[0][3], /^5 recorded minutes · 4 cameras/);
    assert.match(rows[1][3], /^2 recorded minutes/);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('plays a camera at the recorded pace and shows the recorder time of its picture', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await playEntry(page, ALL);
    assert.equal(await assertShowsClock(page, ALL, 0), '2010-05-23 10:00:00');
    const first = await page.evaluate(() => QV.app.metrics.firstPicture);
    console.log(`first picture of a 6-minute 4-camera entry shown ${first.toFixed(0)} ms after the click`);
    await page.click('#play');
    await page.waitForFunction(() => /10:00:0[2-9]$/.test(document.getElementById('clock').textContent));
    await page.click('#pause');
    assert.equal(await page.getAttribute('#player', 'data-state'), 'paused');
    await assertShowsClock(page, ALL, 0);
    // The picture does not move while paused.
    const still = await page.textContent('#clock');
    await page.waitForTimeout(600);
    assert.equal(await page.textContent('#clock'), still);
    // Another camera of the entry.
    await page.selectOption('#camera', '2');
    await page.waitForSelector('.tile[data-camera="2"][data-time]');
    await assertShowsClock(page, ALL, 2);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('steps one picture across minute boundaries and over a gap', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await playEntry(page, ALL);
    await page.click('#timeline .minute[data-minute="601"]');
    await clockIs(page, '2010-05-23 10:01:00');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:00:59');
    await assertShowsClock(page, ALL, 0);
    // Two pictures a second: the first step back stays in 10:00:59, the next leaves it.
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:00:59');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:00:58');
    await page.click('#step-forward');
    await page.click('#step-forward');
    await page.click('#step-forward');
    await clockIs(page, '2010-05-23 10:01:00');
    await assertShowsClock(page, ALL, 0);
    // From the last picture of 10:02 the next one is 10:04: 10:03 was not recorded.
    await page.click('#timeline .minute[data-minute="604"]');
    await clockIs(page, '2010-05-23 10:04:00');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:02:59');
    await page.click('#step-forward');
    await clockIs(page, '2010-05-23 10:04:00');
    await assertShowsClock(page, ALL, 0);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('marks the minute that was not recorded on the time line and plays past it both ways', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await playEntry(page, ALL);
    // Every minute read and its file checked: nothing of a sound recording is marked damaged.
    await everyFileChecked(page);
    await page.waitForFunction(() => QV.app.player.status.size === 5);
    assert.deepEqual(await statesOf(page), ['recorded', 'recorded', 'recorded', 'missing', 'recorded', 'recorded']);
    assert.equal(await titleOf(page, 604), '10:04 recorded · integrity: matches');
    assert.equal(await titleOf(page, 603), '10:03 not recorded');
    await page.selectOption('#speed', '16');
    await page.selectOption('#layout', '4');
    await page.waitForSelector('.tile[data-camera="3"][data-time]');
    await page.click('#timeline .minute[data-minute="602"]');
    await page.click('#play');
    await page.waitForFunction(() => /10:05:\d\d$/.test(document.getElementById('clock').textContent));
    await page.click('#pause');
    for (const cam of [0, 1, 2, 3]) await assertShowsClock(page, ALL, cam);
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-grid.png') });
    await page.click('#reverse');
    await page.waitForFunction(() => /10:02:\d\d$/.test(document.getElementById('clock').textContent));
    await page.click('#pause');
    await assertShowsClock(page, ALL, 0);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('skips a minute whose data file a damaged medium cut short, and fails the image\'s check', async (t) => {
    if (!chromium.need(t)) return;
    const rel = `${ALL}/20100523/201005231004N.dat`;
    const copy = copyCutShort(made, 'CutShort', rel, fs.statSync(path.join(made.image, rel)).size >> 1);
    const page = await openViewer(copy);
    await playEntry(page, ALL);
    await page.waitForFunction(() => document.querySelector('#timeline .minute[data-minute="604"]').dataset.state === 'damaged');
    assert.match(await titleOf(page, 604), /^10:04 damaged in this image: \d+ of 480 pictures lie outside the data file; skipped$/);
    // Its pictures are not shown: from 10:05 one picture back is the last of 10:02.
    await page.click('#timeline .minute[data-minute="605"]');
    await clockIs(page, '2010-05-23 10:05:00');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:02:59');
    await page.click('#timeline .minute[data-minute="604"]');
    await clockIs(page, '2010-05-23 10:05:00');
    await page.waitForSelector('#integrity[data-state="failed"]');
    await page.waitForFunction((f) => [...QV.app.verifiers.values()][0].verdict(f) === 'mismatch', rel);
    assert.equal(await stateOf(page, 604), 'damaged', 'damaged in the image outranks its failed check');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('skips a minute whose index a damaged medium turned into something that is no database', async (t) => {
    if (!chromium.need(t)) return;
    const copy = path.join(made.usb, 'NotADatabase');
    fs.cpSync(made.image, copy, { recursive: true });
    fs.writeFileSync(path.join(copy, ALL, '20100523', '201005231001N.idx'), 'this is not an index file\n'.repeat(100));
    const page = await openViewer(copy);
    await playEntry(page, ALL);
    await page.waitForFunction(() => document.querySelector('#timeline .minute[data-minute="601"]').dataset.state === 'damaged');
    assert.match(await titleOf(page, 601), /^10:01 damaged in this image: the index is not a database \(.*\); skipped$/);
    await page.click('#timeline .minute[data-minute="602"]');
    await clockIs(page, '2010-05-23 10:02:00');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:00:59');
    await page.click('#timeline .minute[data-minute="601"]');
    await clockIs(page, '2010-05-23 10:02:00');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('plays the sound of the chosen camera in step, forward only', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await playEntry(page, ALL);
    await page.click('#play');
    await page.waitForSelector('#audio-state[data-state="playing"]');
    const heard = await page.evaluate(() => ({ rel: QV.app.audio.playing.rel, samples: QV.app.audio.playing.samples,
      rate: QV.app.audio.context.sampleRate > 0 }));
    assert.equal(heard.rel, ALL + '/20100523/Audio/201005231000.au0');
    assert.equal(heard.samples, 480000, 'a minute of 8-bit samples at 8 kHz');
    await page.selectOption('#camera', '1');
    await page.waitForFunction(() => QV.app.audio.playing && QV.app.audio.playing.rel && QV.app.audio.playing.rel.endsWith('.au1'));
    // The samples are the file's bytes around the middle of 128.
    const first = await page.evaluate(async () => {
      const buf = await QV.app.audio.buffers.get(QV.app.audio.playing.rel);
      return Array.from(buf.getChannelData(0).slice(0, 4));
    });
    const raw = fs.readFileSync(path.join(made.image, ALL, '20100523/Audio/201005231000.au1'));
    first.forEach((v, i) => assert.ok(Math.abs(v - (raw[i] - 128) / 128) < 1e-6));
    await page.click('#reverse');
    await page.waitForSelector('#audio-state[data-state="silent while reversing"]');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('plays a selected-camera entry with only its cameras', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await playEntry(page, SOME);
    assert.deepEqual(await page.$$eval('#camera option', (o) => o.map((x) => x.value)), ['1', '3']);
    assert.equal(await assertShowsClock(page, SOME, 1), '2010-05-23 10:01:00');
    // Another entry and back again: each time its own tiles from its own first minute.
    await playEntry(page, ALL);
    assert.equal(await assertShowsClock(page, ALL, 0), '2010-05-23 10:00:00');
    await playEntry(page, SOME);
    assert.equal(await assertShowsClock(page, SOME, 1), '2010-05-23 10:01:00');
    await page.close();
  });

  it('checks an intact image against SHA256SUMS', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await page.waitForSelector('#integrity[data-state="intact"]');
    assert.match(await page.textContent('#integrity-summary'), /All 32 listed files match the manifest\./);
    assert.ok(made.fingerprint.startsWith('SHA256:'));
    assert.ok((await page.textContent('#integrity-summary')).includes('Signature good, by the key ' + made.fingerprint), await page.textContent('#integrity-summary'));
    await page.close();
  });

  it('shows the case of the exhibit report and the chain of custody with its verdict', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(made.image);
    await page.waitForSelector('#custody:not([hidden]) .custody-verdict');
    const fact = (label) => page.textContent(`#exhibit dd[data-fact="${label}"]`);
    assert.equal(await page.getAttribute('#exhibit .report', 'data-state'), 'vouched');
    assert.equal(await page.textContent('#exhibit .report-vouch'), 'report.json matches its digest in SHA256SUMS.');
    // The report's texts are text: the markup in the case reference is shown, not made.
    assert.equal(await fact('Case reference'), 'REF <i>12</i>');
    assert.equal(await page.$$eval('#exhibit i, #custody i', (e) => e.length), 0);
    assert.equal(await fact('Exhibit'), 'EX-3');
    assert.equal(await fact('Operator'), 'Jo Operator');
    assert.equal(await fact('Time zone'), 'UTC');
    assert.deepEqual(await page.$$eval('#exhibit .report-entry', (e) => e.map((d) => d.dataset.entry)), [ALL, SOME]);
    // 10:03 was not recorded by any camera of the whole entry.
    assert.deepEqual(await page.$$eval(`#exhibit .report-entry[data-entry="${ALL}"] dd[data-fact="Missing minutes"]`, (d) => d.map((e) => e.textContent)),
      ['10:03', '10:03', '10:03', '10:03']);
    assert.equal(await page.getAttribute('#custody .custody-log', 'data-state'), 'intact');
    assert.equal(await page.textContent('#custody .custody-verdict'), 'INTACT: 4 lines, all signed.');
    const rows = await page.$$eval('#custody .custody-events tr[data-line]', (trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
    assert.deepEqual(rows.map((r) => [r[0], r[2], r[3]]),
      [['1', 'backed up', 'Jo Operator'], ['2', 'signature', 'Jo Operator'], ['3', 'handed over', process.env.USER || rows[2][3]], ['4', 'signature', rows[3][3]]]);
    assert.match(rows[2][4], /^to Det\. Sam Ode \(County Police\)  reason: case 12, exhibit 3  manifest [0-9a-f]{16}$/);
    assert.ok(rows[3][4].endsWith('key ' + made.fingerprint), rows[3][4]);
    for (const r of rows) assert.match(r[1], /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
    assert.deepEqual(await page.$$eval('#custody .custody-said li', (l) => l.map((e) => e.textContent)),
      ['line 2: good signature over line 1 by ' + made.fingerprint, 'line 4: good signature over lines 1-3 by ' + made.fingerprint]);
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-exhibit.png'), fullPage: true });
    assert.deepEqual(page.errors, []);
    await page.close();

    // A copy whose hand-over line and report were changed after the backup.
    const copy = path.join(made.usb, 'Altered');
    fs.cpSync(made.image, copy, { recursive: true });
    const change = (name, from, to) => {
      const file = path.join(copy, name);
      const text = fs.readFileSync(file, 'utf8');
      assert.ok(text.includes(from), name);
      fs.writeFileSync(file, text.replace(from, to));
    };
    change('CUSTODY.jsonl', 'County', 'county');
    change('report.json', '"EX-3"', '"EX-4"');
    const altered = await openViewer(copy);
    await altered.waitForSelector('#custody:not([hidden]) .custody-verdict');
    assert.equal(await altered.getAttribute('#custody .custody-log', 'data-state'), 'broken');
    assert.match(await altered.textContent('#custody .custody-verdict'),
      /^BROKEN at line 4: its previous-line hash does not match line 3 \(and 1 more\): the chain of custody cannot be vouched for\.$/);
    assert.equal(await altered.getAttribute('#exhibit .report', 'data-state'), 'changed');
    assert.match(await altered.textContent('#exhibit .report-vouch'), /^NOT VOUCHED FOR: report\.json does not match its digest in SHA256SUMS/);
    assert.deepEqual(altered.errors, []);
    await altered.close();

    // A browser without Ed25519 checks the chain and claims no signature.
    const plain = await chromium.newPage();
    await plain.addInitScript(() => {
      const importKey = crypto.subtle.importKey.bind(crypto.subtle);
      crypto.subtle.importKey = (format, key, algorithm, ...rest) => (algorithm && algorithm.name === 'Ed25519'
        ? Promise.reject(new DOMException('Ed25519 is not supported', 'NotSupportedError')) : importKey(format, key, algorithm, ...rest));
    });
    await plain.goto('file://' + path.join(made.viewer, 'index.html'));
    await plain.setInputFiles('#folder', made.image);
    await plain.waitForSelector('#custody:not([hidden]) .custody-verdict');
    assert.equal(await plain.getAttribute('#custody .custody-log', 'data-state'), 'unchecked');
    assert.match(await plain.textContent('#custody .custody-verdict'), /^The chain of 4 lines is unbroken, but this browser cannot check Ed25519 signatures: they were NOT checked/);
    assert.deepEqual(await plain.$$eval('#custody .custody-said li', (l) => l.map((e) => e.textContent)),
      ['Signatures NOT checked: this browser has no Ed25519.']);
    await plain.close();
  });

  it('fails a manifest made again to match a changed file: its signature is not good', async (t) => {
    if (!chromium.need(t)) return;
    const copy = path.join(made.usb, 'Forged');
    fs.cpSync(made.image, copy, { recursive: true });
    const rel = `${ALL}/20100523/201005231001N.dat`;
    const dat = path.join(copy, rel);
    const bytes = fs.readFileSync(dat);
    bytes[10] ^= 0x01;
    fs.writeFileSync(dat, bytes);
    const sums = path.join(copy, 'SHA256SUMS');
    const hash = require('node:crypto').createHash('sha256').update(bytes).digest('hex');
    fs.writeFileSync(sums, fs.readFileSync(sums, 'utf8').replace(new RegExp('^[0-9a-f]{64}(  ' + rel.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + ')$', 'm'), hash + '$1'));
    const page = await openViewer(copy);
    // The signature fails the image at once, before a file is checked; then every file matches.
    await page.waitForSelector('#integrity[data-state="failed"]');
    await page.waitForFunction(() => /All 32 listed files match the manifest\./.test(document.querySelector('#integrity-summary').textContent));
    const summary = await page.textContent('#integrity-summary');
    assert.match(summary, /BAD signature: SHA256SUMS is not the manifest that was signed\./);
    await page.close();
  });

  it('reports a flipped byte, marks its pictures while they play, and names unlisted files', async (t) => {
    if (!chromium.need(t)) return;
    const copy = path.join(made.usb, 'Flipped');
    fs.cpSync(made.image, copy, { recursive: true });
    const dat = path.join(copy, ALL, '20100523', '201005231001N.dat');
    const bytes = fs.readFileSync(dat);
    bytes[bytes.length - 1] ^= 0x01;
    fs.writeFileSync(dat, bytes);
    fs.writeFileSync(path.join(copy, ALL, '20100523', 'note.txt'), 'added later');
    const page = await openViewer(copy);
    await page.waitForSelector('#integrity[data-state="failed"]');
    // One changed file fails the image at once; the rest is still being checked.
    await page.waitForFunction(() => [...QV.app.verifiers.values()].every((v) => !v.running));
    await page.click('#integrity-details summary');
    assert.match(await page.textContent('#integrity-summary'), /NOT intact: 1 changed of 32 listed files\. 1 file is not in the manifest\./);
    // The list shows the two failures alone until every file is asked for; its rows are drawn
    // a page at a time, after the details open.
    await page.waitForFunction(() => document.querySelectorAll('#integrity-files tr').length >= 2);
    assert.deepEqual(await page.$$eval('#integrity-files tr', (r) => r.map((tr) => [tr.dataset.file, tr.dataset.verdict])),
      [[`${ALL}/20100523/201005231001N.dat`, 'mismatch'], [`${ALL}/20100523/note.txt`, 'unlisted']]);
    await page.selectOption('#file-filter', 'all');
    assert.equal(await page.getAttribute(`#integrity-files tr[data-file="${ALL}/20100523/201005231001N.dat"]`, 'data-verdict'), 'mismatch');
    assert.equal(await page.$$eval('#integrity-files tr[data-verdict="ok"]', (r) => r.length), 31);
    await playEntry(page, ALL);
    assert.equal(await stateOf(page, 601), 'failed');
    assert.equal(await page.getAttribute('.tile[data-camera="0"]', 'data-verdict'), 'ok');
    await page.click('#timeline .minute[data-minute="601"]');
    await page.waitForSelector('.tile.failed[data-camera="0"]');
    assert.equal(await page.textContent('.tile[data-camera="0"] .badge'), 'FAILED INTEGRITY CHECK');
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-failed-check.png') });
    await page.click('#timeline .minute[data-minute="602"]');
    await page.waitForSelector('.tile[data-camera="0"]:not(.failed)');
    await page.close();
  });

  it('plays an image without a manifest and says that it cannot be checked', async (t) => {
    if (!chromium.need(t)) return;
    const copy = path.join(made.usb, 'Unsigned');
    fs.cpSync(made.image, copy, { recursive: true });
    fs.rmSync(path.join(copy, 'SHA256SUMS'));
    const page = await openViewer(copy);
    assert.match(await page.textContent('#integrity-summary'), /no SHA256SUMS/);
    // Nothing checked is nothing vouched for: never shown as intact.
    assert.equal(await page.getAttribute('#integrity', 'data-state'), 'none');
    assert.ok(!(await page.evaluate(() => window.verdictsShown)).includes('intact'));
    await playEntry(page, ALL);
    await assertShowsClock(page, ALL, 0);
    assert.equal(await page.getAttribute('.tile[data-camera="0"]', 'data-verdict'), 'none');
    await page.close();
  });

  it('opens a folder dropped on the page as it opens a picked one', async (t) => {
    if (!chromium.need(t)) return;
    const page = await chromium.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto('file://' + path.join(made.viewer, 'index.html'));
    const cdp = await page.context().newCDPSession(page);
    const data = { items: [], files: [made.image], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop']) await cdp.send('Input.dispatchDragEvent', { type, x: 500, y: 300, data });
    await page.waitForSelector('.open-entry');
    assert.deepEqual(await page.$$eval('#entries li', (lis) => lis.map((li) => li.dataset.entry)), [ALL, SOME]);
    await page.waitForSelector('#integrity[data-state="intact"]');
    await playEntry(page, ALL);
    await assertShowsClock(page, ALL, 0);
    assert.deepEqual(errors, []);
    await page.close();
  });

  it('says so when the picked folder holds no entry', async (t) => {
    if (!chromium.need(t)) return;
    const page = await chromium.newPage();
    await page.goto('file://' + path.join(made.viewer, 'index.html'));
    await page.setInputFiles('#folder', made.viewer);
    await page.waitForSelector('#problem:not([hidden])');
    assert.match(await page.textContent('#problem'), /No backup entry was found/);
    await page.close();
  });
});

describe('the backup viewer on an image with MP4 files', () => {
  let withVideo;
  before(() => {
    if (chromium.problem) return;
    // Signed, so that its MP4 files are signed too and can take a receiver's stamp.
    withVideo = makeImage({ day: '20100523', from: '1000', to: '1000', cameras: 2, fps: 2, audio: 2, sign: true,
      audioBytes: 480000, mp4: true, entries: [{ from: '1000', to: '1000', cams: 'all', memo: '' }] });
  });
  after(() => removeImage(withVideo));

  it('lists each camera\'s file to save, and plays one in the page to its end', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(withVideo.image, withVideo);
    await playEntry(page, '2010_05_23=10,00~10,00');
    await page.waitForSelector('#videos:not([hidden])');
    const listed = await page.$$eval('#video-list li', (lis) => lis.map((li) => li.dataset.video));
    assert.deepEqual(listed, ['2010-05-23_1000-1000_cam01.mp4', '2010-05-23_1000-1000_cam02.mp4']);
    const save = await page.$eval('#video-list li a', (a) => ({ download: a.download, blob: a.href.startsWith('blob:') }));
    assert.deepEqual(save, { download: '2010-05-23_1000-1000_cam01.mp4', blob: true });
    await page.click('#video-list li:nth-child(2) .play-video');
    // A minute of recording, played fast; it must reach its end without an error.
    const ended = await page.evaluate(() => new Promise((resolve) => {
      const v = document.getElementById('video');
      v.muted = true;
      v.playbackRate = 16;
      v.onerror = () => resolve('error ' + (v.error && v.error.code));
      v.onended = () => resolve('ended at ' + Math.round(v.duration) + ' s, ' + v.videoWidth + 'x' + v.videoHeight);
      v.play().catch((e) => resolve('not played: ' + e.message));
      setTimeout(() => resolve('not ended: at ' + v.currentTime + ' of ' + v.duration), 20000);
    }));
    assert.equal(ended, 'ended at 60 s, 160x120');
    // The files are part of the image: its check still finds every file intact.
    await page.waitForFunction(() => !['', 'checking', undefined].includes(document.getElementById('integrity').dataset.state));
    assert.equal(await page.$eval('#integrity', (e) => e.dataset.state), 'intact');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('still finds the image intact once a receiver has stamped its MP4 files, each STAMPED with who stamped it', async (t) => {
    if (!chromium.need(t)) return;
    const at = (name) => path.join(withVideo.prefix, name);
    execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:3072', '-nodes', '-days', '2', '-subj', '/CN=County Police',
      '-keyout', at('stamp.key'), '-out', at('stamp.crt')], { stdio: 'ignore' });
    execFileSync('openssl', ['genpkey', '-algorithm', 'ed25519', '-out', at('log.key')]);
    assert.match(run('quillon-cli', ['custody', 'receive', withVideo.image, '--by', 'Sam Ode', '--key', at('log.key'),
      '--stamp-key', at('stamp.key'), '--stamp-cert', at('stamp.crt')], withVideo.prefix), /^stamped 2 of the 2 MP4 files/);
    const page = await openViewer(withVideo.image, withVideo);
    await page.waitForFunction(() => !['', 'checking', undefined].includes(document.getElementById('integrity').dataset.state));
    assert.equal(await page.$eval('#integrity', (e) => e.dataset.state), 'intact');
    assert.match(await page.textContent('#integrity-summary'), /match the manifest \(2 MP4 files as their exporter signed them, with a receiving stamp\)/);
    await page.click('#integrity-details summary');
    await page.selectOption('#file-filter', 'all');
    const said = await page.$$eval('#integrity-files tr[data-verdict="stamped"]', (trs) => trs.map((tr) => tr.lastChild.textContent));
    assert.equal(said.length, 2);
    for (const s of said) assert.match(s, /^STAMPED: received with the stamp of "County Police" \(SHA256:[0-9a-f]{4}( [0-9a-f]{4}){15}\); signed by its exporter/);
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});

describe('the backup viewer on an image from a recorder with a damaged minute', () => {
  const WHY = 'camera 1, 10:04: the recording is damaged';

  it('shows the image partial in amber, the entry incomplete and why, never intact', async (t) => {
    if (!chromium.need(t)) return;
    const written = fs.readFileSync(path.join(fromDamaged.image, 'SHA256SUMS'), 'utf8');
    assert.ok(written.includes(`# incomplete entry: ${ALL}: ${WHY}\n`), 'the backup named the entry and why');
    const page = await openViewer(fromDamaged.image, fromDamaged);
    await everyFileChecked(page);
    await page.waitForSelector('#integrity[data-state="partial"]');
    assert.match(await page.textContent('#integrity-summary'), /^Backup: PARTIAL IMAGE: not everything was copied\..*All \d+ listed files match the manifest\. 1 entry is incomplete:$/);
    assert.equal(await page.$eval('#integrity-summary', (p) => getComputedStyle(p).color), 'rgb(224, 160, 48)', 'amber');
    assert.deepEqual(await page.$$eval('#integrity-entries li', (lis) => lis.map((li) => li.textContent)), [`${ALL}: ${WHY}`]);
    const row = await page.$eval(`#entries li[data-entry="${ALL}"]`, (li) => [li.dataset.state, li.querySelector('.entry-status').textContent]);
    assert.deepEqual(row, ['incomplete', 'INCOMPLETE: ' + WHY], 'the damaged minute is in the image: no minute is missing');
    assert.ok(!(await page.evaluate(() => window.verdictsShown)).includes('intact'));
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('marks the minute damaged at the recorder and plays the pictures it holds', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openViewer(fromDamaged.image, fromDamaged);
    await playEntry(page, ALL);
    await page.waitForFunction(() => document.querySelector('#timeline .minute[data-minute="604"]').dataset.state === 'recorder-damaged');
    await everyFileChecked(page);
    await page.waitForFunction(() => QV.app.player.status.size === 5);
    assert.deepEqual(await statesOf(page), ['recorded', 'recorded', 'recorded', 'missing', 'recorder-damaged', 'recorded']);
    // Each camera's line says how many of its pictures were left out.
    const leftOut = [...fs.readFileSync(path.join(fromDamaged.image, 'SHA256SUMS'), 'utf8')
      .matchAll(/^# not copied: .*: camera \d+, 10:04: the recording is damaged: (\d+) pictures/gm)].reduce((n, m) => n + Number(m[1]), 0);
    assert.ok(leftOut > 0);
    assert.equal(await titleOf(page, 604), '10:04 damaged at the recorder: cameras 1, 2, 3, 4 — the readable pictures were copied ' +
      `(${leftOut} pictures of its index lay outside its data file and were left out) · integrity: matches`);
    // The minute plays from its start up to its last readable picture, then on into 10:05.
    await page.click('#timeline .minute[data-minute="604"]');
    await clockIs(page, '2010-05-23 10:04:00');
    await assertShowsClock(page, ALL, 0, fromDamaged.image);
    // Said beside the time line while it plays, and gone with the next minute.
    const said = () => page.textContent('#minute-note');
    await page.waitForFunction(() => document.getElementById('minute-note').textContent.startsWith('10:04 damaged at the recorder'));
    assert.equal(await said(), await titleOf(page, 604));
    await page.click('#timeline .minute[data-minute="605"]');
    await clockIs(page, '2010-05-23 10:05:00');
    await page.waitForFunction(() => document.getElementById('minute-note').textContent === '');
    // One picture back is the last one camera 1 kept in 10:04, from before the cut.
    const kept = lastStamp(fromDamaged.image, ALL, 604, 0);
    assert.ok(kept < 59, 'the backup left out the end of 10:04');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:04:' + String(kept).padStart(2, '0'));
    await assertShowsClock(page, ALL, 0, fromDamaged.image);
    await page.click('#step-forward');
    await clockIs(page, '2010-05-23 10:05:00');
    await page.selectOption('#layout', '4');
    await page.click('#timeline .minute[data-minute="604"]');
    await page.waitForSelector('.tile[data-camera="3"][data-time]');
    await clockIs(page, '2010-05-23 10:04:00');
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-recorder-damage.png'), fullPage: true });
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('treats a minute damaged at the recorder and again in the image as damaged in the image', async (t) => {
    if (!chromium.need(t)) return;
    const rel = `${ALL}/20100523/201005231004N.dat`;
    const copy = copyCutShort(fromDamaged, 'CutAgain', rel, 1000);
    const page = await openViewer(copy, fromDamaged);
    await playEntry(page, ALL);
    await page.waitForFunction(() => document.querySelector('#timeline .minute[data-minute="604"]').dataset.state === 'damaged');
    assert.match(await titleOf(page, 604), /^10:04 damaged in this image: \d+ of \d+ pictures lie outside the data file; skipped$/);
    await page.click('#timeline .minute[data-minute="605"]');
    await clockIs(page, '2010-05-23 10:05:00');
    await page.click('#step-back');
    await clockIs(page, '2010-05-23 10:02:59');
    // A changed file outranks the partial image.
    await page.waitForSelector('#integrity[data-state="failed"]');
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
