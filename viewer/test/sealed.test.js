// The viewer's reader of an encrypted medium, under node, against what quillon-cli encrypt and
// the standard age tool write: every file of the image comes back byte for byte, and every way
// the medium can fail to open says why and where.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { makeImage, removeImage, filesBelow, run } = require('./support/image-fixture.js');

const OTHER = path.resolve(__dirname, '../../data/Other');
globalThis.QVCrypto = require(path.join(process.env.QUILLON_BIN_DIR || path.resolve(__dirname, '../../build/bin'), 'Other/qv-crypto.js'));
require(path.join(OTHER, 'qv-namespace.js'));
const age = require(path.join(OTHER, 'qv-age.js'));
require(path.join(OTHER, 'qv-tar.js'));
const sealed = require(path.join(OTHER, 'qv-sealed.js'));

const SEALED_CHUNK = 65536 + 16;
let made, medium, keyMedium, identity, otherIdentity;
// The image as each medium holds it.
const asSealed = new Map();

async function fileOf(p) {
  return new File([await fs.openAsBlob(p)], path.basename(p));
}

// A copy of the file with the byte at `at` changed.
function flipped(from, to, at) {
  const bytes = fs.readFileSync(from);
  bytes[at] ^= 0x40;
  fs.writeFileSync(to, bytes);
  return to;
}

function secretFile(name, text) {
  const p = path.join(made.prefix, name);
  fs.writeFileSync(p, text, { mode: 0o600 });
  return p;
}

function newIdentity(name) {
  const p = path.join(made.prefix, name);
  const recipient = /age1[0-9a-z]+/.exec(run('quillon-cli', ['encrypt', '--new-identity', p], made.prefix))[0];
  return { file: p, text: fs.readFileSync(p, 'utf8'), recipient };
}

before(() => {
  // Two minutes of four cameras at 640x480 make minute files of several chunks each.
  made = makeImage({ day: '20100523', from: '1000', to: '1002', cameras: 4, fps: 2, audio: 1, size: '640x480' });
  process.env.QUILLON_SCRYPT_LOG2N = '10';
  // Encrypting adds a line to the image's custody log after the archive is made: the archive
  // holds the image as it was before, kept here to compare with.
  const sealedAsItWas = (out, args) => {
    const kept = path.join(made.prefix, 'as-sealed-' + out, 'Backup');
    fs.cpSync(made.image, kept, { recursive: true });
    run('quillon-cli', ['--base', made.base, 'encrypt', made.image, '--out', path.join(made.prefix, out), ...args], made.prefix);
    const file = path.join(made.prefix, out, 'Backup.tar.age');
    asSealed.set(file, kept);
    return file;
  };
  medium = sealedAsItWas('pass', ['--passphrase-file', secretFile('pass.txt', 'correct horse\n')]);
  identity = newIdentity('id.txt');
  otherIdentity = newIdentity('other.txt');
  keyMedium = sealedAsItWas('keys', ['--to', otherIdentity.recipient, '--to', identity.recipient]);
});

after(() => removeImage(made));

async function sameAsImage(items, image) {
  assert.deepEqual(items.map((i) => i.path.replace(/^Backup\//, '')).sort(), filesBelow(image));
  for (const it of items) {
    const plain = fs.readFileSync(path.join(path.dirname(image), it.path));
    assert.ok(Buffer.from(await it.file.arrayBuffer()).equals(plain), it.path);
  }
}

describe('an encrypted medium in the viewer', () => {
  it('gives back every file of the image, by passphrase or by identity, decrypting little to list it', async () => {
    const opened = await sealed.open(await fileOf(medium), { passphrase: 'correct horse' });
    assert.ok(opened.age.decrypted < opened.age.size / 4, 'listing decrypts the headers, not the files');
    await sameAsImage(opened.items, asSealed.get(medium));
    const byKey = await sealed.open(await fileOf(keyMedium), { identities: '# a comment\n\n' + identity.text });
    await sameAsImage(byKey.items, asSealed.get(keyMedium));
    assert.equal(await age.needs(await fileOf(medium)), 'passphrase');
    assert.equal(await age.needs(await fileOf(keyMedium)), 'identity');
    // Each encrypt is noted in this machine's own log, not in the log of the program's folder.
    assert.equal(fs.readFileSync(path.join(made.base, 'CUSTODY.jsonl'), 'utf8').split('"encrypted"').length - 1, 2);
  });

  it('reads any range of a file across chunk edges, as the pictures are read', async () => {
    const { items } = await sealed.open(await fileOf(medium), { passphrase: 'correct horse' });
    const biggest = items.reduce((a, b) => (b.file.size > a.file.size ? b : a));
    assert.ok(biggest.file.size > 3 * 65536, biggest.path + ' spans several chunks');
    const plain = fs.readFileSync(path.join(path.dirname(asSealed.get(medium)), biggest.path));
    const edge = 65536 - (biggest.file.offset % 65536);
    for (const [from, to] of [[0, 1], [edge - 3, edge + 3], [edge - 1, edge + 65536 + 1], [plain.length - 5, plain.length], [7, 7]]) {
      const got = Buffer.from(await biggest.file.slice(from, to).arrayBuffer());
      assert.ok(got.equals(plain.subarray(from, to)), from + '..' + to);
    }
    assert.equal(biggest.file.slice(-10).size, 10);
    // Hashed whole by WebCrypto, and chunk by chunk as a file past 16 MiB is.
    const sha = (b) => require('node:crypto').createHash('sha256').update(b).digest('hex');
    assert.equal(await biggest.file.sha256(), sha(plain));
    assert.equal(await biggest.file.slice(1, 65540).sha256(), sha(plain.subarray(1, 65540)));
    const subtle = globalThis.crypto.subtle;
    try {
      Object.defineProperty(globalThis.crypto, 'subtle', { value: undefined, configurable: true });
      assert.equal(await biggest.file.slice(1, 3 * 65536 + 7).sha256(), sha(plain.subarray(1, 3 * 65536 + 7)));
    } finally {
      Object.defineProperty(globalThis.crypto, 'subtle', { value: subtle, configurable: true });
    }
  });

  it('opens what the standard age tool encrypted, long names included', async () => {
    const tar = path.join(made.prefix, 'plain.tar');
    execFileSync('tar', ['--format=pax', '-cf', tar, '-C', path.dirname(made.image), 'Backup']);
    const out = path.join(made.prefix, 'by-age.tar.age');
    execFileSync('age', ['-e', '-r', identity.recipient, '-o', out, tar]);
    const { items } = await sealed.open(await fileOf(out), { identities: identity.text });
    await sameAsImage(items, made.image);
    // A name past ustar's 100 + 155 bytes is carried by a pax header.
    const long = path.join(made.prefix, 'long', 'x'.repeat(120), 'y'.repeat(150) + '.txt');
    fs.mkdirSync(path.dirname(long), { recursive: true });
    fs.writeFileSync(long, 'far down');
    execFileSync('tar', ['--format=pax', '-cf', tar, '-C', made.prefix, 'long']);
    execFileSync('age', ['-e', '-r', identity.recipient, '-o', out, tar]);
    const far = (await sealed.open(await fileOf(out), { identities: identity.text })).items;
    assert.deepEqual(far.map((i) => i.path), [path.relative(made.prefix, long)]);
    assert.equal(await far[0].file.text(), 'far down');
  });

  it('refuses the wrong secret, and says which kind the medium wants', async () => {
    const refused = async (file, secret, text) => {
      await assert.rejects(sealed.open(await fileOf(file), secret), (e) => e.kind === 'refused' && text.test(e.message));
    };
    await refused(medium, { passphrase: 'correct horse ' }, /^the passphrase does not open Backup\.tar\.age$/);
    await refused(medium, { identities: identity.text }, /is encrypted with a passphrase, not to a key/);
    await refused(keyMedium, { passphrase: 'x' }, /is encrypted to keys, not with a passphrase/);
    await refused(keyMedium, { identities: newIdentity('third.txt').text }, /^no identity matches a recipient of Backup\.tar\.age$/);
    await refused(keyMedium, { identities: '# mine\nAGE-SECRET-KEY-1QQQ' }, /^line 2 of the identity is not an age identity \(AGE-SECRET-KEY-1…\)$/);
    await refused(keyMedium, { identities: '# only a comment\n' }, /no identity was given/);
  });

  it('says where a changed byte or a cut file fails, and reads the rest', async () => {
    const { age: whole, items } = await sealed.open(await fileOf(medium), { passphrase: 'correct horse' });
    const biggest = items.reduce((a, b) => (b.file.size > a.file.size ? b : a));
    // A byte in the middle of that file's data: only the chunk holding it fails.
    const chunk = Math.floor((biggest.file.offset + biggest.file.size / 2) / 65536);
    const at = whole.chunksAt + chunk * SEALED_CHUNK + 100;
    const changed = await sealed.open(await fileOf(flipped(medium, path.join(made.prefix, 'changed.tar.age'), at)), { passphrase: 'correct horse' });
    const damage = [];
    changed.age.onDamage = (e) => damage.push(e.message);
    const same = changed.items.find((i) => i.path === biggest.path);
    await assert.rejects(same.file.arrayBuffer(), (e) => e.kind === 'damaged' &&
      e.message === 'changed.tar.age fails authentication at chunk ' + chunk + ' (file bytes from ' + (whole.chunksAt + chunk * SEALED_CHUNK) + '): it was changed or cut short there');
    assert.equal(damage.length, 1);
    const other = changed.items.find((i) => i.path.endsWith('SHA256SUMS'));
    assert.ok(Buffer.from(await other.file.arrayBuffer()).equals(fs.readFileSync(path.join(asSealed.get(medium), 'SHA256SUMS'))));

    // The header's MAC, and a file cut inside its last chunk.
    const text = fs.readFileSync(medium, 'latin1');
    // A MAC character swapped for another base64 one fails the MAC; one that is not base64
    // fails the reading of the header.
    const macAt = text.indexOf('\n--- ') + 6;
    const swapped = path.join(made.prefix, 'mac.tar.age');
    const bytes = fs.readFileSync(medium);
    bytes[macAt] = bytes[macAt] === 0x41 ? 0x42 : 0x41;
    fs.writeFileSync(swapped, bytes);
    await assert.rejects(sealed.open(await fileOf(swapped), { passphrase: 'correct horse' }),
      /^Error: mac\.tar\.age has a changed header \(its MAC does not match\)$/);
    bytes[macAt] = 0x2e;
    fs.writeFileSync(swapped, bytes);
    await assert.rejects(sealed.open(await fileOf(swapped), { passphrase: 'correct horse' }),
      /^Error: mac\.tar\.age has a damaged header: its MAC is not base64$/);
    const cut = path.join(made.prefix, 'cut.tar.age');
    fs.writeFileSync(cut, fs.readFileSync(medium).subarray(0, fs.statSync(medium).size - 20));
    await assert.rejects((async () => {
      const o = await sealed.open(await fileOf(cut), { passphrase: 'correct horse' });
      for (const i of o.items) await i.file.arrayBuffer();
    })(), /fails authentication at chunk \d+|cut short/);
    fs.writeFileSync(cut, Buffer.from('not an encrypted medium'));
    await assert.rejects(sealed.open(await fileOf(cut), { passphrase: 'x' }), /is not an age-encrypted file/);
  });
});
