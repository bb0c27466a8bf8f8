// Viewer.lst against the page: what the page loads is copied to the medium, and every file the
// list names is there beside the programs, sql.js with its licence and pinned version.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const SOURCE = path.resolve(__dirname, '../..');
const BIN = process.env.QUILLON_BIN_DIR || path.join(SOURCE, 'build/bin');

// The [Files] of Viewer.lst with their [Dest], as the backup reads them (count first).
function viewerList(text) {
  const sections = {};
  let section = '';
  for (const line of text.split(/\r?\n/)) {
    const head = /^\[(.+)\]$/.exec(line.trim());
    if (head) section = head[1];
    const kv = /^([^;=][^=]*)=(.*)$/.exec(line.trim());
    if (kv && section) (sections[section] = sections[section] || {})[kv[1].trim()] = kv[2].trim();
  }
  const count = Number(sections.Count.count);
  const files = [];
  for (let i = 1; i <= count; i++) files.push({ file: sections.Files['file' + i], dest: sections.Dest['dest' + i] });
  return files;
}

test('Viewer.lst copies everything the page loads, from where the build put it', () => {
  const list = viewerList(fs.readFileSync(path.join(SOURCE, 'data/GUIS/Viewer.lst'), 'utf8'));
  const names = list.map((f) => f.file);
  assert.equal(new Set(names).size, names.length, 'no file is listed twice');
  // The backup creates no subfolder of the viewer folder: every file goes to its root.
  for (const f of list) assert.equal(f.dest, '\\', f.file);
  const html = fs.readFileSync(path.join(SOURCE, 'data/Other/index.html'), 'utf8');
  const loaded = [...html.matchAll(/(?:src|href)="([^"]+)"/g)].map((m) => m[1]);
  assert.ok(loaded.includes('sql-wasm-inline.js') && loaded.includes('qv-app.js'));
  for (const file of loaded) assert.ok(names.includes(file), file + ' is loaded by the page but not copied');
  for (const file of fs.readdirSync(path.join(SOURCE, 'data/Other'))) assert.ok(names.includes(file), file + ' is in Other/ but not copied');
  for (const file of names) assert.ok(fs.existsSync(path.join(BIN, 'Other', file)), file + ' is missing from ' + BIN + '/Other');
});

test('sql.js beside the page is the pinned one, with its licence', () => {
  const lock = JSON.parse(fs.readFileSync(path.join(SOURCE, 'viewer/package-lock.json'), 'utf8'));
  const pinned = lock.packages['node_modules/sql.js'].version;
  assert.match(fs.readFileSync(path.join(BIN, 'Other/sql.js-VERSION.txt'), 'utf8'), new RegExp('sql\\.js ' + pinned.replace(/\./g, '\\.') + '\\b'));
  assert.match(fs.readFileSync(path.join(BIN, 'Other/sql.js-LICENSE.txt'), 'utf8'), /MIT license/i);
  const shipped = fs.readFileSync(path.join(BIN, 'Other/sql-wasm-inline.js'));
  assert.ok(shipped.equals(fs.readFileSync(path.join(SOURCE, 'viewer/node_modules/sql.js/dist/sql-wasm-inline.js'))));
});
