// The distribution's Chromium, headless, driven by playwright-core; no browser is downloaded.
'use strict';
const fs = require('node:fs');
const { chromium } = require('playwright-core');

const CANDIDATES = [process.env.QUILLON_CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser'].filter(Boolean);

// The browser, or { problem } when none can start here.
async function launch() {
  const executablePath = CANDIDATES.find((p) => fs.existsSync(p));
  if (!executablePath) return { problem: 'no Chromium found (' + CANDIDATES.join(', ') + '); scripts/setup installs it' };
  try {
    const browser = await chromium.launch({
      executablePath, headless: true,
      args: ['--autoplay-policy=no-user-gesture-required', '--disable-gpu'],
    });
    return { browser };
  } catch (e) {
    return { problem: 'Chromium at ' + executablePath + ' cannot start: ' + String(e.message).split('\n')[0] };
  }
}

// The browser of one test file: start() in before(), close() in after(), and need(t) first in
// each test, which skips the test, with the reason, where Chromium cannot start.
class TestBrowser {
  async start() {
    const started = await launch();
    this.problem = started.problem || '';
    this.browser = started.browser || null;
    if (this.problem) console.log('QUILLON-SKIP: the browser tests need Chromium: ' + this.problem);
    return Boolean(this.browser);
  }

  need(t) {
    if (this.problem) t.skip(this.problem);
    return !this.problem;
  }

  newPage(options) {
    return this.browser.newPage(options);
  }

  async close() {
    if (this.browser) await this.browser.close();
  }
}

// The largest difference of any colour value between camera cam's tile and the JPEG bytes
// decoded on their own; 0 when the tile shows exactly that picture.
async function tileDifference(page, cam, jpeg) {
  return page.evaluate(async ({ cam, b64 }) => {
    const canvas = document.querySelector(`.tile[data-camera="${cam}"] canvas`);
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const bmp = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
    if (bmp.width !== canvas.width || bmp.height !== canvas.height) return 999;
    const own = new OffscreenCanvas(bmp.width, bmp.height).getContext('2d');
    own.drawImage(bmp, 0, 0);
    const want = own.getImageData(0, 0, bmp.width, bmp.height).data;
    const have = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let diff = 0;
    for (let i = 0; i < want.length; i++) diff = Math.max(diff, Math.abs(want[i] - have[i]));
    return diff;
  }, { cam, b64: Buffer.from(jpeg).toString('base64') });
}

module.exports = { launch, TestBrowser, tileDifference };
