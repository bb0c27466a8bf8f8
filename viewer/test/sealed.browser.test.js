// The backup viewer opening an encrypted medium in the distribution's Chromium, as a recipient
// would: the unencrypted viewer beside IMAGE.tar.age, the passphrase typed, the first picture
// shown and every file checked against the manifest inside; a wrong passphrase and a changed
// byte refused with what and where.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const initSqlJs = require('sql.js');
const { makeImage, removeImage, run } = require('./support/image-fixture.js');
const { TestBrowser, tileDifference } = require('./support/browser.js');

const ARTEFACTS = process.env.QUILLON_ARTEFACT_DIR || path.resolve(__dirname, '../../build/artefacts');
const ENTRY = '2010_05_23=10,00~10,02';
const DAY_EPOCH = Date.UTC(2010, 4, 23) / 1000;
const chromium = new TestBrowser();
let made, medium, SQL;

before(async () => {
  if (!(await chromium.start())) return;
  SQL = await initSqlJs();
  made = makeImage({ day: '20100523', from: '1000', to: '1002', cameras: 2, fps: 2, size: '320x240' });
  const pass = path.join(made.prefix, 'pass.txt');
  fs.writeFileSync(pass, 'open sesame\n', { mode: 0o600 });
  process.env.QUILLON_SCRYPT_LOG2N = '10';
  medium = path.join(made.prefix, 'medium');
  run('quillon-cli', ['--base', made.base, 'encrypt', made.image, '--out', medium, '--passphrase-file', pass], made.prefix);
});

after(async () => {
  await chromium.close();
  removeImage(made);
});

async function openMedium(file) {
  const page = await chromium.newPage({ viewport: { width: 1280, height: 860 } });
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(e.message));
  await page.goto('file://' + path.join(medium, 'BackupViewer', 'index.html'));
  await page.setInputFiles('#sealed-file', file);
  await page.waitForSelector('#unlock:not([hidden])');
  return page;
}

async function typePassphrase(page, text) {
  await page.fill('#unlock-passphrase', text);
  await page.click('#unlock-open');
}

// The first picture camera 1 recorded, as the plain image holds it.
function firstPicture() {
  const dir = path.join(made.image, ENTRY, '20100523');
  const db = new SQL.Database(fs.readFileSync(path.join(dir, '201005231000N.idx')));
  const q = db.exec('SELECT imgposition, imgsize FROM indextable WHERE camnum = 0 AND rectime = ? ORDER BY rowid', [DAY_EPOCH + 36000]);
  db.close();
  const [pos, size] = q[0].values[0];
  return fs.readFileSync(path.join(dir, '201005231000N.dat')).subarray(pos, pos + size);
}

describe('the backup viewer on an encrypted medium', () => {
  it('opens with the passphrase, shows the first picture and checks every file', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openMedium(path.join(medium, 'Backup.tar.age'));
    assert.match(await page.textContent('#unlock-text'), /^Backup\.tar\.age is an encrypted backup image\. Type its passphrase/);
    await typePassphrase(page, 'open sesame ');
    await page.waitForFunction(() => /the passphrase does not open Backup\.tar\.age/.test(document.getElementById('problem').textContent));
    assert.equal(await page.isVisible('#library'), false);
    await typePassphrase(page, 'open sesame');
    await page.waitForSelector('.open-entry');
    assert.match(await page.textContent('#sealed-note'), /^Opened from the encrypted medium Backup\.tar\.age/);
    assert.equal(await page.inputValue('#unlock-passphrase'), '', 'the passphrase is not kept in the page');
    await page.click(`#entries li[data-entry="${ENTRY}"] .open-entry`);
    await page.waitForFunction(() => QV.app.tiles.length && QV.app.tiles.every((t) => !t.busy && t.shownKey === t.wantKey) &&
      document.querySelector('.tile[data-camera="0"][data-time]'));
    assert.equal(await page.getAttribute('.tile[data-camera="0"]', 'data-time'), '2010-05-23 10:00:00');
    assert.equal(await tileDifference(page, 0, firstPicture()), 0);
    await page.waitForSelector('#integrity[data-state="intact"]');
    assert.match(await page.textContent('#integrity-summary'), /All \d+ listed files match/);
    fs.mkdirSync(ARTEFACTS, { recursive: true });
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-encrypted.png') });
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  it('says which chunk fails when a byte of the medium was changed', async (t) => {
    if (!chromium.need(t)) return;
    const bytes = fs.readFileSync(path.join(medium, 'Backup.tar.age'));
    // A byte well inside the archive, so that the medium opens and one file fails.
    bytes[Math.floor(bytes.length / 2)] ^= 1;
    const changed = path.join(made.prefix, 'Changed.tar.age');
    fs.writeFileSync(changed, bytes);
    const page = await openMedium(changed);
    await typePassphrase(page, 'open sesame');
    await page.waitForSelector('.open-entry');
    await page.waitForSelector('#integrity[data-state="failed"]');
    assert.match(await page.textContent('#problem'), /^Changed\.tar\.age fails authentication at chunk \d+ \(file bytes from \d+\): it was changed or cut short there$/);
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
