// The Masks mode in the distribution's Chromium, as an operator uses it: a rectangle dragged and
// polygons clicked on the pictures of an image that quillon-mkrec and quillon-cli made, times
// taken from the picture shown, MASKS.json saved as a download and given to
// `quillon-cli export --mp4 --redact`, which must take it; then loaded again to be edited.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { makeImage, removeImage, run, BIN } = require('./support/image-fixture.js');
const { TestBrowser } = require('./support/browser.js');

const ARTEFACTS = process.env.QUILLON_ARTEFACT_DIR || path.resolve(__dirname, '../../build/artefacts');
const ENTRY = '2010_05_23=10,00~10,01';
const W = 160, H = 120;  // the recorded pictures' size, shown several times larger

const chromium = new TestBrowser();
let made;

before(async () => {
  if (!(await chromium.start())) return;
  fs.mkdirSync(ARTEFACTS, { recursive: true });
  made = makeImage({ day: '20100523', from: '1000', to: '1001', cameras: 2, fps: 2, audio: 2, audioBytes: 480000 });
});

after(async () => {
  await chromium.close();
  removeImage(made);
});

async function openEntry() {
  const page = await chromium.newPage({ viewport: { width: 1280, height: 1000 } });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.errors = errors;
  await page.goto('file://' + path.join(made.viewer, 'index.html'));
  await page.setInputFiles('#folder', made.image);
  await page.click(`#entries li[data-entry="${ENTRY}"] .open-entry`);
  await page.waitForSelector('.tile[data-time]');
  await page.click('#masks-mode');
  await page.waitForSelector('#masks:not([hidden])');
  return page;
}

// The overlay of camera cam (from 0), once it shows its picture in Masks mode.
const overlay = (cam) => `.tile[data-camera="${cam}"] canvas.mask-overlay`;
async function shown(page, cam) {
  await page.waitForSelector(`${overlay(cam)}:not([hidden])`);
  return cam;
}

// Where pixels of camera cam's picture are on the page now (the controls' clicks scroll it).
async function placer(page, cam) {
  await page.$eval(overlay(cam), (c) => c.scrollIntoView({ block: 'center' }));
  const box = await page.$eval(overlay(cam), (c) => { const r = c.getBoundingClientRect(); return { left: r.left, top: r.top, width: r.width, height: r.height }; });
  assert.ok(box.width > 3 * W && box.top >= 0 && box.top + box.height <= 1000, 'the picture is shown larger, and whole: ' + JSON.stringify(box));
  return (x, y) => [box.left + x * box.width / W, box.top + y * box.height / H];
}

async function drag(page, cam, from, to) {
  const at = await placer(page, cam);
  await page.mouse.move(...at(...from));
  await page.mouse.down();
  await page.mouse.move(...at((from[0] + to[0]) / 2, (from[1] + to[1]) / 2), { steps: 4 });
  await page.mouse.move(...at(...to), { steps: 4 });
  await page.mouse.up();
}

async function clickPoints(page, cam, points) {
  const at = await placer(page, cam);
  for (const p of points) await page.mouse.click(...at(...p));
}

const listed = (page) => page.$$eval('#mask-list li', (lis) => lis.map((li) => li.dataset.kind + ': ' + li.querySelector('span').textContent));
const clockIs = (page, text) => page.waitForFunction((t) => document.getElementById('clock').textContent === t, text);
const overlayState = (page, cam) => page.$eval(overlay(cam), (c) => ({ masks: c.dataset.masks, covering: c.dataset.covering }));
// The overlay's alpha at a pixel of the picture: what the operator sees laid over it there.
const alphaAt = (page, cam, x, y) => page.$eval(overlay(cam), (c, [x, y]) => c.getContext('2d').getImageData(x, y, 1, 1).data[3], [x, y]);

// One picture at a time (two a second: the clock's second shows twice) up to a clock reading.
async function stepTo(page, clock) {
  while ((await page.textContent('#clock')) < clock) {
    const before = await page.getAttribute('.tile.focus', 'data-shown');
    await page.click('#step-forward');
    await page.waitForFunction((b) => document.querySelector('.tile.focus').dataset.shown !== b, before);
  }
  await clockIs(page, clock);
}

async function save(page, file) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#mask-save')]);
  assert.equal(download.suggestedFilename(), 'MASKS.json');
  await download.saveAs(file);
  return JSON.parse(fs.readFileSync(file, 'utf8'));
}

// What the first test draws, and the second loads.
const DRAWN = {
  masks: [
    { camera: 1, rect: [20, 30, 80, 60], method: 'blur', from: '2010-05-23 10:00:00', to: '2010-05-23 10:00:03', size: [W, H] },
    { camera: 2, polygon: [[10, 10], [150, 12], [140, 110], [20, 100]], method: 'solid', size: [W, H] },
    { camera: 2, polygon: [[30, 40], [70, 40], [50, 80]], method: 'pixelate', size: [W, H] },
  ],
  mute: [{ camera: 2, from: '2010-05-23 10:00:04' }],
};

describe('drawing redaction masks in the viewer', () => {
  const saved = () => path.join(made.prefix, 'MASKS.json');

  it('draws a rectangle and polygons on the pictures, saves MASKS.json, and the exporter takes it', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openEntry();
    let cam = await shown(page, 0);
    await clockIs(page, '2010-05-23 10:00:00');

    // Camera 1: a rectangle dragged up and left, blurred from this picture's second to 10:00:03.
    await drag(page, cam, [100, 90], [20, 30]);
    assert.deepEqual(await listed(page), ['mask: camera 1 · rectangle 80 × 60 at 20, 30 (of 160 × 120) · solid · whole recording']);
    await page.selectOption('#mask-method', 'blur');
    await page.click('#mask-from-here');
    await stepTo(page, '2010-05-23 10:00:03');
    await page.click('#mask-to-here');
    assert.equal(await page.textContent('#mask-to'), '2010-05-23 10:00:03');
    await page.waitForFunction((sel) => document.querySelector(sel).dataset.covering === '1', overlay(0));
    assert.ok(await alphaAt(page, 0, 60, 60) > 0, 'the mask lies over the picture it covers');
    assert.equal(await alphaAt(page, 0, 10, 10), 0, 'and not beside it');
    await page.screenshot({ path: path.join(ARTEFACTS, 'viewer-masks.png'), fullPage: true });
    // Past its last second it is shown as an outline only.
    await stepTo(page, '2010-05-23 10:00:04');
    await page.waitForFunction((sel) => document.querySelector(sel).dataset.covering === '0', overlay(0));
    assert.equal(await alphaAt(page, 0, 60, 60), 0);
    // A "from" after its "to" is refused, and the mask keeps its times.
    await page.click('#mask-from-here');
    assert.match(await page.textContent('#mask-problem'), /^"from" would be after "to": 2010-05-23 10:00:04 > 2010-05-23 10:00:03$/);
    assert.equal(await page.textContent('#mask-from'), '2010-05-23 10:00:00');
    await page.keyboard.press('Escape');
    assert.equal(await page.textContent('#mask-target'), 'For the next mask:');
    await page.click('#mask-all-times');
    await page.selectOption('#mask-method', 'solid');

    // Camera 2: a four-point polygon closed on its first point, and a triangle closed with Enter.
    await page.selectOption('#camera', '1');
    cam = await shown(page, 1);
    await clickPoints(page, cam, [[10, 10], [150, 12], [140, 110], [20, 100], [10, 10]]);
    await page.keyboard.press('Escape');
    await page.selectOption('#mask-method', 'pixelate');
    await clickPoints(page, cam, [[30, 40], [70, 40], [50, 80]]);
    await page.keyboard.press('Enter');
    // One drawn by mistake, and deleted.
    await drag(page, cam, [0, 0], [40, 40]);
    assert.equal((await listed(page)).length, 4, (await listed(page)).join('\n'));
    await page.click('#mask-list li:nth-child(4) .mask-delete');
    // The sound of camera 2 muted from 10:00:04.
    await page.keyboard.press('Escape');
    await page.click('#mask-mute');
    await page.click('#mask-from-here');
    assert.deepEqual(await listed(page), [
      'mask: camera 1 · rectangle 80 × 60 at 20, 30 (of 160 × 120) · blur · 2010-05-23 10:00:00 – 2010-05-23 10:00:03',
      'mask: camera 2 · polygon of 4 points (of 160 × 120) · solid · whole recording',
      'mask: camera 2 · polygon of 3 points (of 160 × 120) · pixelate · whole recording',
      'mute: camera 2 · sound muted · 2010-05-23 10:00:04 – end',
    ]);
    assert.deepEqual(await overlayState(page, 1), { masks: '2', covering: '2' });

    const doc = await save(page, saved());
    assert.deepEqual(doc, DRAWN);
    assert.deepEqual(page.errors, []);
    await page.close();

    if (!fs.existsSync(path.join(BIN, 'quillon-cli-video'))) {
      t.skip('quillon-cli-video is not built: the export is left out');
      return;
    }
    const out = path.join(made.prefix, 'redacted');
    run('quillon-cli', ['export', 'E:\\Backup', '--mp4', '--redact', saved(), '--out', out, '--no-progress'], made.prefix);
    const account = JSON.parse(fs.readFileSync(path.join(out, 'REDACTION.json'), 'utf8'));
    assert.deepEqual(account.masks.map((m) => m.given), doc.masks);
    // The rectangle hid camera 1's pictures of 10:00:00 to 10:00:03 (two a second), the polygons
    // every picture of camera 2.
    const [rect, four, three] = account.masks.map((m) => m.files);
    assert.deepEqual(rect.map((f) => [f.pictures, f.first, f.last]), [[8, '2010-05-23 10:00:00', '2010-05-23 10:00:03']]);
    for (const files of [four, three]) assert.deepEqual(files.map((f) => f.pictures), [240]);
    assert.deepEqual(account.mute.map((m) => m.files.map((f) => f.silenced_seconds)), [[116]]);
  });

  it('loads a saved file to edit it, and refuses a wrong one without losing the list', async (t) => {
    if (!chromium.need(t)) return;
    const page = await openEntry();
    const cam = await shown(page, 0);
    const given = path.join(made.prefix, 'given.json');
    fs.writeFileSync(given, JSON.stringify(DRAWN));
    await page.setInputFiles('#mask-load', given);
    await page.waitForFunction(() => document.querySelectorAll('#mask-list li').length === 4);
    assert.deepEqual(await overlayState(page, 0), { masks: '1', covering: '1' });
    const wrong = path.join(made.prefix, 'wrong.json');
    fs.writeFileSync(wrong, '{"masks": [{"camera": 1, "rect": [0, 0, 8, 8], "method": "Solid"}]}');
    await page.setInputFiles('#mask-load', wrong);
    await page.waitForSelector('#mask-problem:not([hidden])');
    assert.equal(await page.textContent('#mask-problem'), 'wrong.json is not loaded: masks[0].method: solid, blur or pixelate');
    assert.equal((await listed(page)).length, 4);
    // A loaded mask changed and one added: the file saved again has both.
    await page.click('#mask-list li:nth-child(1) span');
    await page.selectOption('#mask-method', 'pixelate');
    await page.click('#mask-all-times');
    assert.match((await listed(page))[0], / · pixelate · whole recording$/);
    await page.keyboard.press('Escape');
    await page.selectOption('#mask-method', 'blur');
    await drag(page, cam, [0.2, 60], [W - 0.2, H - 0.2]);
    const doc = await save(page, path.join(made.prefix, 'again.json'));
    assert.deepEqual(doc.masks[0], { camera: 1, rect: [20, 30, 80, 60], method: 'pixelate', size: [W, H] });
    assert.deepEqual(doc.masks.slice(1).map((m) => [m.camera, m.method, m.rect || m.polygon.length]),
      [[2, 'solid', 4], [2, 'pixelate', 3], [1, 'blur', [0, 60, W, 60]]]);
    assert.deepEqual(doc.masks[3], { camera: 1, rect: [0, 60, W, 60], method: 'blur', size: [W, H] });
    assert.deepEqual(doc.mute, [{ camera: 2, from: '2010-05-23 10:00:04' }]);
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
