// Backup images for the viewer's tests, made as a recorder and an operator would: recordings by
// quillon-mkrec, an entry and a folder backup with the viewer by quillon-cli, under a machine
// prefix of their own. The page is checked against the manifest the backup itself wrote.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const BIN = process.env.QUILLON_BIN_DIR || path.resolve(__dirname, '../../../build/bin');

function run(program, args, prefix) {
  return execFileSync(path.join(BIN, program), args, {
    env: { ...process.env, QUILLON_PREFIX: prefix, TZ: 'UTC', LC_ALL: 'C' },
    encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'],
  });
}

function filesBelow(folder, rel = '') {
  const out = [];
  for (const e of fs.readdirSync(path.join(folder, rel), { withFileTypes: true })) {
    const r = rel ? rel + '/' + e.name : e.name;
    if (e.isDirectory()) out.push(...filesBelow(folder, r));
    else out.push(r);
  }
  return out.sort();
}

// Every backup writes SHA256SUMS into its image root: the page is tested against that one.
function expectManifest(root) {
  if (!fs.existsSync(path.join(root, 'SHA256SUMS'))) throw new Error(`the backup wrote no SHA256SUMS into ${root}`);
}

// plan: { day, from, to, cameras, fps, audio, gap: [HHMM], damage: ['short@HHMM'], size, sign,
// entries: [{ from, to, cams: 'all' | '2,4', memo }] (default: the whole recording, all cameras),
// hostCameras: false to back up as without a host (64 cameras, whatever the recorder has),
// partial: true when the pass is expected to fail and leave a partial image,
// mp4: true for each camera of each entry as an MP4 file too, exhibit: { case, exhibit, operator }
// for the report's case, handover: { to, org, reason } for a hand-over signed after the backup
// (needs sign) }.
// Returns { prefix, usb, image, viewer, entries: [entry folder names] }.
function makeImage(plan) {
  const prefix = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-viewer-'));
  const usb = path.join(prefix, 'drive_e');
  const base = path.join(prefix, 'base');
  fs.mkdirSync(usb, { recursive: true });
  fs.writeFileSync(path.join(prefix, 'drives.ini'),
    `[C:]\nPath=${path.join(prefix, 'drive_c')}\nType=fixed\n[E:]\nPath=${usb}\nType=removable\n`);
  fs.mkdirSync(base);
  for (const item of ['GUIS', 'Other', 'Language.eng']) fs.cpSync(path.join(BIN, item), path.join(base, item), { recursive: true });
  const args = ['--root', 'C:\\QorData', '--days', plan.day, '--from', plan.from, '--to', plan.to,
    '--cameras', String(plan.cameras), '--fps', String(plan.fps), '--audio', String(plan.audio || 0),
    '--size', plan.size || '160x120', '--audio-bytes', String(plan.audioBytes || 480000)];
  if (plan.gap) args.push('--gap', plan.gap.join(','));
  for (const d of plan.damage || []) args.push('--damage', d);
  run('quillon-mkrec', args, prefix);
  const cli = ['--base', base, ...(plan.hostCameras === false ? [] : ['--cameras', String(plan.cameras)])];
  const entries = plan.entries || [{ from: plan.from, to: plan.to, cams: 'all', memo: '' }];
  for (const e of entries) run('quillon-cli', [...cli, 'add', plan.day, e.from, e.to, '--cams', e.cams, '--memo', e.memo || ''], prefix);
  // A signing key makes the backup sign its manifest; the fingerprint is what it printed.
  const fingerprint = plan.sign ? /fingerprint: (SHA256:[0-9a-f ]+)/.exec(run('quillon-cli', ['key', 'create'], prefix))[1] : '';
  try {
    const exhibit = plan.exhibit ? ['--case', plan.exhibit.case, '--exhibit', plan.exhibit.exhibit, '--operator', plan.exhibit.operator] : [];
    run('quillon-cli', [...cli, 'backup', '--folder', 'E:\\Backup', '--viewer', '--no-progress', ...exhibit, ...(plan.mp4 ? ['--mp4'] : [])], prefix);
    if (plan.partial) throw new Error('the backup was expected to fail, but it completed');
  } catch (e) {
    // A failing pass exits 1 and still writes the manifest of what it completed.
    if (!plan.partial || e.status !== 1) throw e;
  }
  const image = path.join(usb, 'Backup');
  expectManifest(image);
  if (plan.handover) {
    const h = plan.handover;
    run('quillon-cli', [...cli, 'custody', 'handover', 'E:\\Backup', '--to', h.to, '--org', h.org, '--reason', h.reason], prefix);
  }
  const d = plan.day;
  const folder = (f, t) => `${d.slice(0, 4)}_${d.slice(4, 6)}_${d.slice(6)}=${f.slice(0, 2)},${f.slice(2)}~${t.slice(0, 2)},${t.slice(2)}`;
  return { prefix, base, usb, image, fingerprint, viewer: path.join(usb, 'BackupViewer'), entries: entries.map((e) => folder(e.from, e.to)) };
}

function removeImage(made) {
  if (made) fs.rmSync(made.prefix, { recursive: true, force: true });
}

module.exports = { makeImage, removeImage, filesBelow, run, BIN };
