// The viewer's readers of names, BackupInfo.dat, SHA256SUMS and minute indexes, under node.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const initSqlJs = require('sql.js');

const page = (f) => require(path.join(__dirname, '../../data/Other', f));
const names = page('qv-names.js');
const backupInfo = page('qv-backupinfo.js');
const manifest = page('qv-manifest.js');
const image = page('qv-image.js');
const minute = page('qv-minute.js');

test('names of entry folders, minute files and audio files', () => {
  assert.deepEqual(names.parseEntryFolder('2010_05_23=14,00~15,30'), { day: '20100523', start: 840, end: 930 });
  assert.equal(names.parseEntryFolder('2010_05_23=14,00~13,59'), null, 'end before start');
  assert.equal(names.parseEntryFolder('2010_05_23=24,00~24,10'), null, 'no hour 24');
  assert.equal(names.parseEntryFolder('BackupViewer'), null);
  assert.deepEqual(names.parseMinuteFile('201005231405N.idx'), { day: '20100523', minute: 845, kind: 'idx' });
  assert.deepEqual(names.parseMinuteFile('201005231405N.DAT'), { day: '20100523', minute: 845, kind: 'dat' });
  assert.equal(names.parseMinuteFile('20100523.dat'), null, 'the minute map is no minute');
  assert.equal(names.parseMinuteFile('201005231460N.idx'), null);
  assert.deepEqual(names.parseAudioFile('201005231405.au3'), { day: '20100523', minute: 845, channel: 3 });
  assert.deepEqual(names.parseAudioFile('201005231405.aug12'), { day: '20100523', minute: 845, channel: 12 });
  assert.equal(names.parseAudioFile('201005231405.au64'), null);
  assert.equal(names.timeOfDay(14 * 3600 + 5 * 60 + 7.4), '14:05:07.40');
  assert.equal(names.clock(0), '00:00');
});

function infoRecord({ memo = 'front door', names: cams = {}, camCount = 4 } = {}) {
  const bytes = new Uint8Array(2332);
  const view = new DataView(bytes.buffer);
  [2010, 5, 23, 14, 0, 15, 30, camCount, 1, 0x670].forEach((v, i) => view.setUint32(i * 4, v, true));
  for (const [cam, name] of Object.entries(cams)) bytes.set(Buffer.from(name), 40 + Number(cam) * 31);
  bytes.set(typeof memo === 'string' ? Buffer.from(memo, 'utf8') : memo, 2024);
  return bytes;
}

test('BackupInfo.dat: range, recorder, names and memo', () => {
  const thirty = 'x'.repeat(30);
  const info = backupInfo.parse(infoRecord({ names: { 0: 'Gate', 1: thirty, 63: 'Last' }, memo: 'Tür offen' }));
  assert.deepEqual([info.year, info.month, info.day, info.startHour, info.startMinute, info.endHour, info.endMinute],
    [2010, 5, 23, 14, 0, 15, 30]);
  assert.equal(info.camCount, 4);
  assert.equal(info.modelCode, 0x670);
  assert.equal(info.cameraNames[0], 'Gate');
  assert.equal(info.cameraNames[1], thirty, 'a full slot ends at its NUL, not in the next name');
  assert.equal(info.cameraNames[2], '');
  assert.equal(info.cameraNames[63], 'Last');
  assert.equal(info.memo, 'Tür offen');
  assert.equal(backupInfo.cameraLabel(info, 0), 'Gate');
  assert.equal(backupInfo.cameraLabel(info, 2), 'Camera 3');
  // A memo in a Windows code page is not UTF-8: its bytes are still shown.
  assert.equal(backupInfo.parse(infoRecord({ memo: Uint8Array.of(0x54, 0xfc, 0x72) })).memo, 'Tür');
  assert.equal(backupInfo.parse(new Uint8Array(2331)), null, 'a short file is no record');
});

test('SHA256SUMS: lines, comments, escapes and the verdict of the whole', () => {
  const a = 'a'.repeat(64), b = 'B'.repeat(64), c = 'c'.repeat(64);
  const m = manifest.parse('# partial image: 1 of 2 entries\n' + a + '  e/20100523/x.idx\r\n' + b +
    ' *e/20100523/y.dat\n\\' + c + '  e/new\\nline\nnot a line\n\n');
  assert.deepEqual([...m.files.keys()], ['e/20100523/x.idx', 'e/20100523/y.dat', 'e/new\nline']);
  assert.equal(m.files.get('e/20100523/y.dat'), 'b'.repeat(64), 'hex is compared in lower case');
  assert.deepEqual(m.comments, ['partial image: 1 of 2 entries']);
  assert.deepEqual(m.bad, [5]);

  const all = (v) => manifest.summarize(new Map(Object.entries(v)), m);
  assert.equal(all({ x: 'ok', y: 'ok' }).state, 'intact');
  assert.match(all({ x: 'ok', y: 'ok' }).text, /partial image/);
  assert.equal(all({ x: 'ok', y: 'pending' }).state, 'checking');
  assert.equal(all({ x: 'ok', y: 'unlisted' }).state, 'unlisted');
  const bad = all({ x: 'mismatch', y: 'ok', z: 'missing', w: 'pending' });
  assert.equal(bad.state, 'failed', 'one changed file fails the image even while others are pending');
  assert.match(bad.text, /1 changed, 1 missing/);
});

test('a partial manifest: its state, the incomplete entries and why, older ones without entry lines', () => {
  const a = 'a'.repeat(64);
  const E = '2026_01_06=10,00~10,12', F = '2026_01_06=11,00~11,05';
  const text = '# PARTIAL IMAGE: not everything was copied.\n' +
    `# not copied: ${F}: minute 11:02 not copied: its files are missing\n` +
    `# incomplete entry: ${E}: camera 5, 10:15: the recording is damaged\n` +
    `# incomplete entry: ${E}: a second line for it is not its first reason\n` +
    a + `  ${E}/20260106/BackupInfo.dat\n`;
  const m = manifest.parse(text);
  assert.equal(m.partial, 'not everything was copied.');
  assert.deepEqual([...m.incomplete], [[E, 'camera 5, 10:15: the recording is damaged']]);
  assert.equal(manifest.incompleteReason(m, E), 'camera 5, 10:15: the recording is damaged');
  assert.equal(manifest.incompleteReason(m, F), 'minute 11:02 not copied: its files are missing', 'from the older kind of line');
  assert.equal(manifest.incompleteReason(m, '2026_01_06=12,00~12,01'), '');
  assert.equal(m.files.size, 1, 'comments are no files');

  // Every listed file matching does not make a partial image whole; a failure still outranks it.
  const all = (v, mf = m) => manifest.summarize(new Map(Object.entries(v)), mf);
  const ok = all({ [`${E}/20260106/BackupInfo.dat`]: 'ok' });
  assert.equal(ok.state, 'partial');
  assert.match(ok.text, /^PARTIAL IMAGE: not everything was copied\./);
  assert.equal(all({ x: 'pending' }).state, 'partial');
  assert.equal(all({ x: 'mismatch' }).state, 'failed');

  const stopped = manifest.parse('# PARTIAL IMAGE: the backup was stopped before it was complete.\n' + a + '  x\n');
  assert.equal(all({ x: 'ok' }, stopped).state, 'partial');
  assert.equal(stopped.incomplete.size, 0, 'no entry lines: none named, nothing fails to parse');
  // Only the first line marks an image partial.
  assert.equal(manifest.parse(a + '  x\n# PARTIAL IMAGE: late\n').partial, null);

  assert.deepEqual(['mismatch', 'missing', 'unlisted', 'unreadable', 'ok', 'pending'].map(manifest.isFailure),
    [true, true, true, true, false, false]);
});

test('a partial manifest: the minutes an entry lost pictures of at the recorder, and only that entry\'s', () => {
  const a = 'a'.repeat(64);
  const E = '2010_05_23=10,00~10,05', F = '2010_05_23=10,04~10,05';
  const m = manifest.parse('# PARTIAL IMAGE: not everything was copied.\n' +
    `# incomplete entry: ${E}: camera 1, 10:04: the recording is damaged\n` +
    `# not copied: ${E}: camera 1, 10:04: the recording is damaged: 60 pictures of the index lie outside the data file and were left out; the rest of the minute was copied\n` +
    `# not copied: ${E}: camera 3, 10:04: the recording is damaged: 2 pictures of the index lie outside the data file and were left out; the rest of the minute was copied\n` +
    `# not copied: ${E}: camera 2, 23:59: the recording is damaged\n` +
    `# not copied: ${E}: minute 10:02 not copied: its index file is missing\n` +
    `# not copied: ${F}: camera 4, 10:05: the recording is damaged: 7 pictures of the index lie outside the data file and were left out\n` +
    `# incomplete entry: ${E}X: camera 9, 10:01: the recording is damaged\n` +
    `# a comment: ${E}: camera 5, 10:03: the recording is damaged\n` +
    a + `  ${E}/20100523/201005231004N.dat\n`);
  const lost = manifest.recorderDamage(m, E);
  assert.deepEqual([...lost.keys()].sort((x, y) => x - y), [604, 1439], 'a minute not copied at all is no recorder damage; other entries and comments are not this one\'s');
  assert.deepEqual(lost.get(604), { cameras: [1, 3], leftOut: 62 }, 'the entry line and the detailed one name camera 1 once');
  assert.deepEqual(lost.get(1439), { cameras: [2], leftOut: 0 });
  assert.deepEqual([...manifest.recorderDamage(m, F)], [[605, { cameras: [4], leftOut: 7 }]]);
  assert.equal(manifest.recorderDamage(null, E).size, 0, 'no manifest, nothing known');
  assert.equal(manifest.recorderDamage(manifest.parse(`# not copied: ${E}: camera 1, 24:04: the recording is damaged\n`), E).size, 0, 'no hour 24');
});

test('the minute map: the cameras and minutes an entry holds, not the recorder\'s camera count', () => {
  const map = new Uint8Array(92164);
  for (let cam = 0; cam < 16; cam++) for (let m = 600; m <= 605; m++) map[cam * 1440 + m] = 1;
  map[20 * 1440 + 700] = 1;  // another entry's minute of the same day
  const holds = backupInfo.parseMinuteMap(map, 600, 612);
  assert.deepEqual(holds.cameras, [...Array(16).keys()]);
  assert.deepEqual(holds.minutes, [600, 601, 602, 603, 604, 605]);
  assert.deepEqual(backupInfo.parseMinuteMap(map, 700, 700).cameras, [20]);
  assert.equal(backupInfo.parseMinuteMap(new Uint8Array(1000), 0, 10), null, 'a short file is no map');
  assert.equal(backupInfo.cameraRanges([0, 1, 2, 3, 6, 8, 9]), '1–4, 7, 9–10');
});

test('the image from picked paths: entries, minutes, audio and the manifest of their root', () => {
  const f = (name) => ({ name });
  const e = 'usb/Backup/2010_05_23=14,00~14,02/20100523/';
  const items = [
    'usb/Backup/SHA256SUMS', 'usb/Backup/SHA256SUMS.sig', 'usb/Backup/SHA256SUMS.pub', 'usb/BackupViewer/index.html',
    'usb/Backup/BackupViewer/index.html', 'usb/notes.txt',
    e + 'BackupInfo.dat', e + '20100523.DAT', e + '201005231400N.idx', e + '201005231400N.dat',
    e + '201005231402N.idx', e + 'Audio/201005231400.au1', e + 'Audio/201005231400.aug2',
    e + '201005231500N.idx', 'usb/Backup/2010_05_23=14,00~14,02/20100524/201005241400N.idx',
    'usb/Backup/2010_05_22=09,00~09,10/20100522/201005220905N.idx',
    'usb/Backup/2010_05_22=09,00~09,10/20100522/201005220905N.dat',
  ].map((p) => ({ path: p, file: f(p) }));
  const img = image.build(items);
  assert.deepEqual(img.entries.map((x) => x.name), ['2010_05_22=09,00~09,10', '2010_05_23=14,00~14,02']);
  const entry = img.entries[1];
  assert.equal(entry.root, 'usb/Backup');
  assert.equal(entry.info.rel, '2010_05_23=14,00~14,02/20100523/BackupInfo.dat');
  assert.equal(entry.map.rel, '2010_05_23=14,00~14,02/20100523/20100523.DAT');
  assert.deepEqual(image.recordedMinutes(entry), [840], '14:02 lacks its data file');
  assert.deepEqual([...entry.minutes.get(840).audio.keys()], [1, 2]);
  assert.ok(entry.minutes.has(900), 'a minute outside the range is still kept, never played from the range');
  assert.ok(!entry.minutes.has(841));
  const root = img.roots.get('usb/Backup');
  assert.equal(root.manifest.name, 'usb/Backup/SHA256SUMS');
  assert.equal(root.signature.name, 'usb/Backup/SHA256SUMS.sig');
  assert.ok(root.files.has('2010_05_23=14,00~14,02/20100524/201005241400N.idx'), 'every file below an entry is checked');
  assert.ok(root.files.has('BackupViewer/index.html'), 'a file beside the entries is part of the image');
  assert.deepEqual([...root.files.keys()].filter((k) => k.startsWith('SHA256SUMS') || k.includes('notes')), [],
    'the manifest, its signature and key, and files outside the image are not checked');
  assert.equal(img.roots.size, 1);
});

async function indexBytes(SQL, rows, { table = true } = {}) {
  const db = new SQL.Database();
  if (table) {
    db.run('CREATE TABLE indextable(camnum int,rectime int,capstatus char(1),imgwidth int,imgheight int,' +
      'frametype char(1),imgposition int,imgsize int,codectype char(1),reserve char(1));');
    for (const [cam, t, pos, size] of rows) db.run("insert into indextable values(?,?,'N',160,120,'I',?,?,'J','0')", [cam, t, pos, size]);
  } else {
    db.run('CREATE TABLE other(x int)');
  }
  const bytes = db.export();
  db.close();
  return bytes;
}

test('a minute: pictures by camera in recorded order, due times, and damage', async () => {
  const SQL = await initSqlJs();
  const t0 = 1274623200 + 5 * 60;  // 2010-05-23 14:05:00 as the recorder stamps it
  // Rows stored out of order; camera 1 has four pictures in one second.
  const rows = [[0, t0 + 1, 100, 10], [0, t0, 0, 10], [1, t0 + 2, 10, 5], [1, t0 + 2, 15, 5],
    [1, t0 + 2, 20, 5], [1, t0 + 2, 25, 5]];
  const read = minute.read(SQL, await indexBytes(SQL, rows), 110);
  assert.equal(read.damaged, false);
  assert.equal(read.base, t0);
  assert.deepEqual(read.cameras.get(0).map((p) => [p.pos, p.t]), [[0, 0], [100, 1]]);
  assert.deepEqual(read.cameras.get(1).map((p) => [p.pos, p.t]), [[10, 2], [15, 2.25], [20, 2.5], [25, 2.75]]);
  const cam1 = read.cameras.get(1);
  assert.equal(minute.pictureAt(cam1, 1.9), -1);
  assert.equal(minute.pictureAt(cam1, 2.3), 1);
  assert.equal(minute.pictureAt(cam1, 59), 3);

  const past = minute.read(SQL, await indexBytes(SQL, rows), 109);
  assert.equal(past.damaged, true, 'a picture one byte past the end of the data file');
  assert.match(past.problem, /1 of 6 pictures lie outside/);
  assert.equal(minute.read(SQL, await indexBytes(SQL, [[0, t0, -1, 4]]), 100).damaged, true);
  assert.equal(minute.read(SQL, await indexBytes(SQL, [[0, t0, 0, 1048577]]), 2e6).damaged, true);

  const text = minute.read(SQL, new TextEncoder().encode('this is not an index file\n'), 10);
  assert.equal(text.damaged, true);
  assert.match(text.problem, /not a database/);
  const noTable = minute.read(SQL, await indexBytes(SQL, [], { table: false }), 10);
  assert.match(noTable.problem, /no picture table/);

  const empty = minute.read(SQL, await indexBytes(SQL, []), 0);
  assert.equal(empty.damaged, false);
  assert.equal(empty.cameras.size, 0);
});
