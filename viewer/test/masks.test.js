// The masks model under node: where a pointer on a scaled picture lands in its own pixels, how a
// mask drawn on one size lies on another, and MASKS.json written and read by the exporter's rules.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const masks = require('../../data/Other/qv-masks.js');

const BIN = process.env.QUILLON_BIN_DIR || path.resolve(__dirname, '../../build/bin');

describe('drawing on a shown picture', () => {
  // A 160 x 120 picture shown 5.25 times larger, 300 px from the left and 80 from the top.
  const box = { left: 300, top: 80, width: 840, height: 630 };

  it('maps a pointer to the picture\'s own pixels, not the page\'s', () => {
    assert.deepEqual(masks.toPicture(300, 80, box, 160, 120), [0, 0]);
    assert.deepEqual(masks.toPicture(300 + 20 * 5.25, 80 + 30 * 5.25, box, 160, 120), [20, 30]);
    assert.deepEqual(masks.toPicture(1140, 710, box, 160, 120), [160, 120]);
    // A pointer between pixels goes to the nearer edge.
    assert.deepEqual(masks.toPicture(300 + 10.4 * 5.25, 80 + 10.6 * 5.25, box, 160, 120), [10, 11]);
    // The same spot of a picture of another size.
    assert.deepEqual(masks.toPicture(300 + 420, 80 + 315, box, 704, 576), [352, 288]);
  });

  it('keeps a pointer dragged past the picture on its edge', () => {
    assert.deepEqual(masks.toPicture(100, 2000, box, 160, 120), [0, 120]);
    assert.deepEqual(masks.toPicture(5000, -40, box, 160, 120), [160, 0]);
  });

  it('makes the same rectangle whichever corner the drag starts from, and none of no area', () => {
    const want = [20, 30, 80, 60];
    assert.deepEqual(masks.rectOf([20, 30], [100, 90]), want);
    assert.deepEqual(masks.rectOf([100, 90], [20, 30]), want);
    assert.deepEqual(masks.rectOf([100, 30], [20, 90]), want);
    assert.equal(masks.rectOf([20, 30], [20, 90]), null);
    assert.equal(masks.rectOf([20, 30], [90, 30]), null);
  });

  it('shows a mask on a picture of another size where the exporter puts it', () => {
    const rect = { camera: 1, rect: [40, 60, 120, 90], method: 'solid', size: [320, 240] };
    assert.deepEqual(masks.outline(rect, 160, 120), [[20, 30], [80, 30], [80, 75], [20, 75]]);
    assert.deepEqual(masks.outline(rect, 320, 240), [[40, 60], [160, 60], [160, 150], [40, 150]]);
    const polygon = { camera: 2, polygon: [[0, 0], [352, 0], [176, 288]], method: 'blur', size: [352, 288] };
    assert.deepEqual(masks.outline(polygon, 704, 576), [[0, 0], [704, 0], [352, 576]]);
    // Without a size the coordinates are the picture's as they are.
    assert.deepEqual(masks.outline({ rect: [1, 2, 3, 4] }, 704, 576), [[1, 2], [4, 2], [4, 6], [1, 6]]);
  });

  it('covers a picture from its first second to its last, both included', () => {
    const m = { from: '2010-05-23 10:00:30', to: '2010-05-23 10:01:10' };
    assert.ok(!masks.coversReading(m, '2010-05-23 10:00:29'));
    assert.ok(masks.coversReading(m, '2010-05-23 10:00:30'));
    assert.ok(masks.coversReading(m, '2010-05-23 10:01:10'));
    assert.ok(!masks.coversReading(m, '2010-05-23 10:01:11'));
    assert.ok(masks.coversReading({ to: '2010-05-23 10:01:10' }, '2009-01-01 00:00:00'));
    assert.ok(masks.coversReading({ from: '2010-05-23 10:00:30' }, '2011-01-01 00:00:00'));
    assert.ok(!masks.coversReading({ from: '2010-05-23 10:00:30' }, '2010-05-22 23:59:59'));
  });

  it('takes the reading of a picture\'s time as the tiles show it', () => {
    assert.equal(masks.readingOf('2010-05-23 10:00:07'), '2010-05-23 10:00:07');
    assert.equal(masks.readingOf('2010-05-23 10:00:07.50'), '2010-05-23 10:00:07');
    assert.equal(masks.readingOf('10:00:07'), '');
    assert.equal(masks.readingOf(undefined), '');
  });
});

describe('MASKS.json', () => {
  const drawn = [
    { size: [160, 120], method: 'blur', rect: [20, 30, 80, 60], camera: 1, from: '2010-05-23 10:00:03', to: '2010-05-23 10:00:09' },
    { camera: 2, polygon: [[10, 10], [150, 12], [80, 110]], method: 'pixelate', size: [160, 120], from: '' },
  ];
  const mutes = [{ camera: 1, from: '2010-05-23 10:00:10' }];

  it('is written with the exporter\'s keys in order, empty times left out, and read back the same', () => {
    const text = masks.write(drawn, mutes);
    const doc = JSON.parse(text);
    assert.deepEqual(Object.keys(doc), ['masks', 'mute']);
    assert.deepEqual(Object.keys(doc.masks[0]), ['camera', 'rect', 'method', 'from', 'to', 'size']);
    assert.deepEqual(doc.masks[1], { camera: 2, polygon: [[10, 10], [150, 12], [80, 110]], method: 'pixelate', size: [160, 120] });
    assert.deepEqual(doc.mute, [{ camera: 1, from: '2010-05-23 10:00:10' }]);
    // One mask a line, so that a reader of the file sees what hides what.
    assert.equal(text.split('\n').filter((l) => l.includes('"camera"')).length, 3);
    const back = masks.read(text);
    assert.deepEqual(back.masks, doc.masks);
    assert.deepEqual(back.mutes, doc.mute);
    assert.equal(masks.write(back.masks, back.mutes), text);
  });

  it('leaves out a list with nothing in it, and refuses to write a file that hides nothing', () => {
    assert.deepEqual(Object.keys(JSON.parse(masks.write(drawn, []))), ['masks']);
    assert.deepEqual(Object.keys(JSON.parse(masks.write([], mutes))), ['mute']);
    assert.throws(() => masks.write([], []), /nothing would be hidden/);
  });

  it('is not written when the exporter would refuse it', () => {
    const bad = { ...drawn[0], from: '2010-05-23 10:00:10', to: '2010-05-23 10:00:09' };
    assert.throws(() => masks.write([drawn[1], bad], []), /^Error: masks\[1\]: "from" is after "to"$/);
    assert.throws(() => masks.write([], [{ camera: 0 }]), /^Error: mute\[0\]\.camera: a camera number 1-64$/);
  });

  // Each mistake the exporter refuses, refused here with the same words and place.
  const refused = [
    ['{"masks": [', /^not JSON/],
    ['[]', /^the file is an object with "masks" and "mute"$/],
    ['{"masks": [], "mute": []}', /^the file names no mask and no mute/],
    ['{"mask": []}', /^the file: unknown key "mask"$/],
    ['{"masks": {}}', /^masks: a list of masks$/],
    ['{"mute": 3}', /^mute: a list of audio ranges$/],
    ['{"masks": [7]}', /^masks\[0\]: a mask is an object$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "colour": 1}]}', /^masks\[0\]: unknown key "colour"$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "from": null}]}', /^masks\[0\]\.from: null/],
    ['{"masks": [{"rect": [0, 0, 1, 1], "method": "solid"}]}', /^masks\[0\]: no "camera"$/],
    ['{"masks": [{"camera": 65, "rect": [0, 0, 1, 1], "method": "solid"}]}', /^masks\[0\]\.camera: a camera number 1-64$/],
    ['{"masks": [{"camera": 1.5, "rect": [0, 0, 1, 1], "method": "solid"}]}', /^masks\[0\]\.camera: a camera number 1-64$/],
    ['{"masks": [{"camera": 1, "method": "solid"}]}', /^masks\[0\]: one of "rect" and "polygon"$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "polygon": [[0, 0], [1, 0], [1, 1]], "method": "solid"}]}', /^masks\[0\]: one of "rect" and "polygon"$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1], "method": "solid"}]}', /^masks\[0\]\.rect: \[x, y, width, height\]$/],
    ['{"masks": [{"camera": 1, "rect": [0, "0", 1, 1], "method": "solid"}]}', /^masks\[0\]\.rect: \[x, y, width, height\], numbers$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 0, 1], "method": "solid"}]}', /^masks\[0\]\.rect: its width and height are more than 0$/],
    ['{"masks": [{"camera": 1, "polygon": [[0, 0], [1, 0]], "method": "solid"}]}', /^masks\[0\]\.polygon: at least 3 points/],
    ['{"masks": [{"camera": 1, "polygon": [[0, 0], [1, 0], [1]], "method": "solid"}]}', /^masks\[0\]\.polygon\[2\]: a point \[x, y\]$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1]}]}', /^masks\[0\]: no "method"/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "Solid"}]}', /^masks\[0\]\.method: solid, blur or pixelate$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "size": [0, 120]}]}', /^masks\[0\]\.size: \[width, height\], whole numbers more than 0$/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "size": [160.5, 120]}]}', /^masks\[0\]\.size/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "from": "2010-02-29 10:00:00"}]}', /^masks\[0\]\.from: a recorded time/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid", "to": "2010-05-23T10:00:00"}]}', /^masks\[0\]\.to: a recorded time/],
    ['{"masks": [{"camera": 1, "rect": [0, 0, 1, 1], "method": "solid"}], "mute": [{"camera": 1, "from": "2010-05-23 10:00:09", "to": "2010-05-23 10:00:08"}]}', /^mute\[0\]: "from" is after "to"$/],
    ['{"mute": [{"camera": 1, "method": "solid"}]}', /^mute\[0\]: unknown key "method"$/],
  ];
  for (const [text, why] of refused) {
    it('refuses ' + text.slice(0, 100), () => assert.throws(() => masks.read(text), (e) => why.test(e.message)));
  }

  // The exporter reads the masks file before the image: what it says of each file, or '' when
  // it took the file (and went on to find no image).
  describe('held to quillon-cli export --redact', () => {
    let dir = '';
    const video = fs.existsSync(path.join(BIN, 'quillon-cli-video'));
    before(() => { dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-masks-')); });
    after(() => fs.rmSync(dir, { recursive: true, force: true }));
    const exporter = (text) => {
      const file = path.join(dir, 'MASKS.json');
      fs.writeFileSync(file, text);
      const r = spawnSync(path.join(BIN, 'quillon-cli'), ['export', path.join(dir, 'no-image'), '--mp4', '--redact', file,
        '--out', path.join(dir, 'out'), '--no-progress'], { env: { ...process.env, QUILLON_PREFIX: dir, TZ: 'UTC', LC_ALL: 'C' }, encoding: 'utf8' });
      assert.notEqual(r.status, 0, 'there is no image to export');
      const m = new RegExp('^quillon-cli: ' + file.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + ': (.*); nothing exported$', 'm').exec(r.stderr);
      return m ? m[1] : '';
    };

    it('refuses each file the viewer refuses, in the same words', (t) => {
      if (!video) return t.skip('quillon-cli-video is not built');
      for (const [text] of refused) {
        let ours = '';
        try { masks.read(text); } catch (e) { ours = e.message; }
        const theirs = exporter(text);
        if (ours.startsWith('not JSON')) assert.match(theirs, /^not JSON/, text);
        else assert.equal(theirs, ours, text);
      }
    });

    it('takes what the viewer writes and what it takes', (t) => {
      if (!video) return t.skip('quillon-cli-video is not built');
      const texts = [masks.write(drawn, mutes), masks.write(drawn, []), masks.write([], mutes),
        '{"masks": [{"camera": 64, "rect": [-50, -50, 10.5, 1e-3], "method": "pixelate", "from": "2012-02-29 23:59:59"}]}'];
      for (const text of texts) {
        masks.read(text);
        assert.equal(exporter(text), '', text);
      }
    });
  });

  it('takes what the exporter takes: leap days, masks outside the picture, either list alone', () => {
    const ok = masks.read('{"masks": [{"camera": 64, "rect": [-50, -50, 10.5, 1e-3], "method": "pixelate", "from": "2012-02-29 23:59:59"}]}');
    assert.deepEqual(ok.masks[0].rect, [-50, -50, 10.5, 1e-3]);
    assert.deepEqual(masks.read('{"mute": [{"camera": 3}]}').mutes, [{ camera: 3 }]);
    assert.ok(!masks.isReading('2100-02-29 00:00:00'));
    assert.ok(masks.isReading('2000-02-29 00:00:00'));
  });
});
