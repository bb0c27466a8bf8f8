// The backup viewer on an encrypted medium against the same image unencrypted, in the same run:
// the time to list the entries, to show the first picture and to check every file, and the
// browser's memory while it does, for a small and a large image. Goals: listing as fast as
// the plain image, and the memory of the large one a small multiple of the small one's.
// Run after scripts/build: node bench/viewer_sealed_medium.js
// Two cameras at 704x576 and 2 pictures a second make about 8 MB a minute:
// QUILLON_BENCH_SMALL_MINUTES (1) and QUILLON_BENCH_LARGE_MINUTES (128) size the two images,
// about 10 MB and 1 GB. QUILLON_SCRYPT_LOG2N sets the passphrase's work factor (default 2^18).
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const viewer = path.resolve(__dirname, '../viewer');
const { makeImage, removeImage, run } = require(path.join(viewer, 'test/support/image-fixture.js'));
const { launch } = require(path.join(viewer, 'test/support/browser.js'));

const PASSPHRASE = 'bench passphrase';

function hhmm(minuteOfDay) {
  return String(Math.floor(minuteOfDay / 60)).padStart(2, '0') + String(minuteOfDay % 60).padStart(2, '0');
}

function folderBytes(folder) {
  let n = 0;
  for (const e of fs.readdirSync(folder, { withFileTypes: true })) {
    const p = path.join(folder, e.name);
    n += e.isDirectory() ? folderBytes(p) : fs.statSync(p).size;
  }
  return n;
}

// The memory of the browser this bench started, every process below this one, each counted
// by its proportional share of the pages (PSS), so that pages shared between them count once.
function browserResident() {
  const parent = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parent.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch (e) {
      // gone meanwhile
    }
  }
  const below = (pid) => { for (let p = parent.get(pid); p; p = parent.get(p)) if (p === process.pid) return true; return false; };
  let total = 0;
  for (const pid of parent.keys()) {
    if (!below(pid)) continue;
    try {
      const m = /^Pss:\s+(\d+) kB/m.exec(fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'));
      if (m) total += Number(m[1]) * 1024;
    } catch (e) {
      // gone meanwhile
    }
  }
  return total;
}

function makeOne(minutes) {
  const from = 600, to = 600 + minutes - 1;
  const made = makeImage({ day: '20100523', from: hhmm(from), to: hhmm(to), cameras: 2, fps: 2, size: '704x576',
    entries: [{ from: hhmm(from), to: hhmm(to), cams: 'all', memo: 'bench' }] });
  const pass = path.join(made.prefix, 'pass.txt');
  fs.writeFileSync(pass, PASSPHRASE + '\n', { mode: 0o600 });
  run('quillon-cli', ['encrypt', made.image, '--out', path.join(made.prefix, 'medium'), '--passphrase-file', pass], made.prefix);
  made.sealed = path.join(made.prefix, 'medium', 'Backup.tar.age');
  made.bytes = folderBytes(made.image);
  return made;
}

// Opens the image (plain: its folder; sealed: its .tar.age and the passphrase) in a fresh
// page and measures it until every file is checked.
async function measure(browser, made, sealed) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 860 } });
  page.on('pageerror', (e) => console.log('page error: ' + e.message));
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  await page.goto('file://' + path.join(made.viewer, 'index.html'));
  let peakHeap = 0, peakResident = 0, sampling = true;
  const sampler = (async () => {
    while (sampling) {
      const { metrics } = await cdp.send('Performance.getMetrics');
      peakHeap = Math.max(peakHeap, metrics.find((m) => m.name === 'JSHeapUsedSize').value);
      peakResident = Math.max(peakResident, browserResident());
      await new Promise((r) => setTimeout(r, 100));
    }
  })();
  const t0 = Date.now();
  let unlocked = 0;
  if (sealed) {
    await page.setInputFiles('#sealed-file', made.sealed);
    await page.waitForSelector('#unlock:not([hidden])');
    await page.fill('#unlock-passphrase', PASSPHRASE);
    const t1 = Date.now();
    await page.click('#unlock-open');
    await page.waitForSelector('.open-entry');
    unlocked = Date.now() - t1;
  } else {
    await page.setInputFiles('#folder', made.image);
    await page.waitForSelector('.open-entry');
  }
  const listed = Date.now() - t0;
  const listedInPage = await page.evaluate(() => QV.app.listed);
  await page.click('.open-entry');
  await page.waitForFunction(() => QV.app.metrics.firstPicture > 0);
  const first = await page.evaluate(() => QV.app.metrics.firstPicture);
  await page.waitForFunction(() => [...QV.app.verifiers.values()].every((v) => v.manifest && !v.running &&
    ![...v.verdicts.values()].includes('pending')), null, { timeout: 0, polling: 250 });
  const checked = Date.now() - t0;
  await page.waitForFunction(() => document.getElementById('integrity').dataset.state !== 'checking');
  const state = await page.getAttribute('#integrity', 'data-state');
  sampling = false;
  await sampler;
  await page.close();
  return { listed, listedInPage, unlocked, first, checked, state, peakHeap, peakResident };
}

const mb = (n) => (n / 1e6).toFixed(0) + ' MB';

async function main() {
  const started = await launch();
  if (started.problem) {
    console.log('viewer_sealed_medium: skipped: ' + started.problem);
    return;
  }
  const sizes = [Number(process.env.QUILLON_BENCH_SMALL_MINUTES || 1), Number(process.env.QUILLON_BENCH_LARGE_MINUTES || 128)];
  const results = [];
  try {
    for (const minutes of sizes) {
      const made = makeOne(minutes);
      try {
        const plain = await measure(started.browser, made, false);
        const sealed = await measure(started.browser, made, true);
        results.push({ minutes, bytes: made.bytes, plain, sealed });
        for (const [kind, r] of [['plain', plain], ['sealed', sealed]]) {
          console.log(`${minutes} min, ${mb(made.bytes)} ${kind}: listed ${r.listed} ms (page ${r.listedInPage.toFixed(0)} ms` +
            (kind === 'sealed' ? `, passphrase and listing ${r.unlocked} ms` : '') + `), first picture ${r.first.toFixed(0)} ms, ` +
            `every file checked ${(r.checked / 1000).toFixed(1)} s (${r.state}), peak JS heap ${mb(r.peakHeap)}, peak browser PSS ${mb(r.peakResident)}`);
        }
        console.log(`  sealed/plain: listing ${(sealed.listedInPage / plain.listedInPage).toFixed(2)}x, check ${(sealed.checked / plain.checked).toFixed(2)}x, ` +
          `check throughput sealed ${(made.bytes / 1e6 / (sealed.checked / 1000)).toFixed(0)} MB/s`);
      } finally {
        removeImage(made);
      }
    }
    const [small, large] = results;
    console.log(`large/small (${mb(large.bytes)} / ${mb(small.bytes)}): sealed peak JS heap ${(large.sealed.peakHeap / small.sealed.peakHeap).toFixed(2)}x, ` +
      `sealed peak browser PSS ${(large.sealed.peakResident / small.sealed.peakResident).toFixed(2)}x; ` +
      `plain peak PSS ${(large.plain.peakResident / small.plain.peakResident).toFixed(2)}x`);
  } finally {
    await started.browser.close();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
