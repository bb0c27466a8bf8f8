// The viewer's check of CUSTODY.jsonl under node, held to quillon-cli custody verify: a log made
// by a backup, a verify, a hand-over and a receipt with the receiver's own key, then that log
// with a line removed, two lines swapped, a byte changed and its last lines cut. Each time the
// page must find what the program finds, at the same line and in the same words.
'use strict';
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const crypto = require('node:crypto');
const { execFileSync } = require('node:child_process');
const { makeImage, removeImage, run } = require('./support/image-fixture.js');

const custody = require(path.join(__dirname, '../../data/Other/qv-custody.js'));

let made, log, lines, manifestHash;

before(() => {
  made = makeImage({ day: '20100523', from: '1000', to: '1001', cameras: 2, fps: 1, sign: true,
    exhibit: { case: 'C-12', exhibit: '3', operator: 'Jo Operator' },
    handover: { to: 'Det. Sam Ode', org: 'County Police', reason: 'case 12,\nexhibit 3' } });
  run('quillon-cli', ['--base', path.join(made.prefix, 'base'), 'verify', '--no-progress', 'E:\\Backup'], made.prefix);
  const receiver = path.join(made.prefix, 'receiver.key');
  execFileSync('openssl', ['genpkey', '-algorithm', 'ed25519', '-out', receiver]);
  run('quillon-cli', ['custody', 'receive', made.image, '--by', 'Sam Ode', '--key', receiver], made.prefix);
  log = fs.readFileSync(path.join(made.image, 'CUSTODY.jsonl'));
  lines = log.toString('latin1').split(/(?<=\n)/).map((l) => Buffer.from(l, 'latin1'));
  manifestHash = crypto.createHash('sha256').update(fs.readFileSync(path.join(made.image, 'SHA256SUMS'))).digest('hex');
});

after(() => removeImage(made));

// What quillon-cli custody verify says of a log (a file, or an image folder), in the check's parts.
function cliSays(target) {
  let out;
  try {
    out = run('quillon-cli', ['custody', 'verify', target], made.prefix);
  } catch (e) {
    if (e.status !== 1) throw e;
    out = e.stdout;
  }
  const said = out.split('\n');
  return {
    signatures: said.filter((l) => /^line \d+: good signature/.test(l)),
    problems: said.filter((l) => l.startsWith('BROKEN: ')).map((l) => l.slice(8)),
    unsignedTail: (said.find((l) => l.startsWith('NOT SIGNED: ')) || '').slice(12),
    intact: said.some((l) => l.startsWith('INTACT: ')),
  };
}

// The page's check of these bytes, after checking the program reads them the same way.
async function bothSay(name, bytes, hash = '') {
  const file = path.join(made.prefix, name);
  fs.writeFileSync(file, bytes);
  const page = await custody.check(new Uint8Array(bytes), hash);
  const cli = cliSays(file);
  assert.deepEqual({ signatures: page.signatures, problems: page.problems, unsignedTail: page.unsignedTail, intact: page.ok }, cli, name);
  return page;
}

const joined = (ls) => Buffer.concat(ls);

describe('the chain of custody as the page checks it', () => {
  it('finds the log the programs wrote intact, every signature good, its events in order', async () => {
    assert.equal(lines.length, 8, log.toString());
    const c = await bothSay('intact.jsonl', log, manifestHash);
    assert.equal(c.ok, true);
    assert.equal(c.signaturesChecked, true);
    assert.deepEqual(custody.verdict(c), { state: 'intact', text: 'INTACT: 8 lines, all signed.' });
    assert.deepEqual(c.entries.map((e) => e.line.event),
      ['backed up', 'signature', 'handed over', 'signature', 'verified', 'signature', 'received', 'signature']);
    assert.equal(c.entries[0].line.actor, 'Jo Operator');
    const handover = c.entries[2].line;
    assert.deepEqual([handover.recipient, handover.organisation, handover.reason], ['Det. Sam Ode', 'County Police', 'case 12,\nexhibit 3']);
    assert.equal(c.entries[6].line.actor, 'Sam Ode');
    // The machine signed the first three runs, the receiver the last, each under its own fingerprint.
    assert.deepEqual(c.entries.filter((e) => e.signer).map((e) => e.signer === made.fingerprint), [true, true, true, false]);
    assert.match(c.signatures[3], /^line 8: good signature over lines 1-7 by SHA256:[0-9a-f]{4}( [0-9a-f]{4}){15}$/);
    for (const e of c.entries) assert.match(e.line.time, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
  });

  it('says where a removed line broke the chain', async () => {
    const c = await bothSay('removed.jsonl', joined([...lines.slice(0, 2), ...lines.slice(3)]));
    assert.equal(c.problems[0], 'line 3: its previous-line hash does not match line 2');
    assert.ok(c.problems.includes('line 3: it calls itself line 4, after line 2: lines were removed, added or moved'));
    assert.match(custody.verdict(c).text, /^BROKEN at line 3: its previous-line hash does not match line 2 \(and \d+ more\)/);
    assert.equal(custody.verdict(c).state, 'broken');
  });

  it('says where two swapped lines broke it', async () => {
    const c = await bothSay('swapped.jsonl', joined([lines[0], lines[1], lines[3], lines[2], ...lines.slice(4)]));
    // Line 3 is now the hand-over's signature, which counts the lines before it.
    assert.deepEqual(c.problems.slice(0, 5), [
      'line 3: its previous-line hash does not match line 2',
      'line 3: it calls itself line 4, after line 2: lines were removed, added or moved',
      'line 3: the signature says it covers 3 lines, not the 2 lines before it',
      'line 4: its previous-line hash does not match line 3',
      'line 4: it calls itself line 3, after line 4: lines were removed, added or moved',
    ]);
  });

  it('says which line a changed byte broke, and that no signature after it verifies', async () => {
    const changed = Buffer.from(log);
    changed[changed.indexOf('County')] = 'c'.charCodeAt(0);
    const c = await bothSay('changed.jsonl', changed);
    assert.deepEqual(c.problems, [
      'line 4: its previous-line hash does not match line 3',
      'line 4: signature does not verify: lines 1-3 are not what it signed',
      'line 6: signature does not verify: lines 1-5 are not what it signed',
      'line 8: signature does not verify: lines 1-7 are not what it signed',
    ]);
    assert.deepEqual(c.signatures, ['line 2: good signature over line 1 by ' + made.fingerprint]);
  });

  it('tells a log cut inside its last line from one cut after a line, which leaves an unsigned tail', async () => {
    const inside = await bothSay('cut-inside.jsonl', log.subarray(0, log.length - 10));
    assert.deepEqual(inside.problems, ["line 8: it is cut off (it has no line end): the log's last bytes are missing"]);
    const after = await bothSay('cut-after.jsonl', joined(lines.slice(0, 7)));
    assert.deepEqual(after.problems, []);
    assert.equal(after.unsignedTail, 'the log ends after line 7, but the last signature (line 6) covers only lines 1-5: line 7 is not signed');
    assert.equal(custody.verdict(after).state, 'unsigned');
    assert.match(custody.verdict(after).text, /^NOT SIGNED: the log ends after line 7/);
    const none = await bothSay('unsigned.jsonl', lines[0]);
    assert.equal(none.unsignedTail, 'the log has no signature: line 1 is not signed');
  });

  it('reads a line that is not the log\'s kind as the program does', async () => {
    const bad = [
      ['not-object.jsonl', '[1]\n', 'line 1: it is not a JSON object'],
      ['twice.jsonl', '{"line":1,"line":1}\n', 'line 1: the field "line" is there twice'],
      ['no-actor.jsonl', '{"line":1,"prev":"' + custody.NOTHING + '","time":"t","event":"e"}\n', 'line 1: it has no "actor"'],
      ['float.jsonl', '{"line":1.5}\n', 'line 1: a \',\' or \'}\' is missing after "line"'],
      ['tail.jsonl', '{"line":1} x\n', 'line 1: something follows the object'],
    ];
    for (const [name, text, problem] of bad) {
      const c = await bothSay(name, Buffer.from(text));
      assert.equal(c.problems[0], problem, name);
    }
  });

  it('in an image, finds a log whose last event names another manifest', async () => {
    const other = path.join(made.prefix, 'other');
    fs.cpSync(made.image, other, { recursive: true });
    const sums = path.join(other, 'SHA256SUMS');
    fs.appendFileSync(sums, '# added\n');
    const hash = crypto.createHash('sha256').update(fs.readFileSync(sums)).digest('hex');
    const c = await custody.check(new Uint8Array(log), hash);
    assert.deepEqual(c.problems, cliSays(other).problems);
    assert.deepEqual(c.problems, ["line 7: it names another manifest than the image's SHA256SUMS (" + hash.slice(0, 16) + ')']);
  });

  it('in an image, reads the manifest a line cut off just before its end names, as the program does', async () => {
    // A hand-over of a copy whose manifest changed names the new manifest; then its signature
    // and the hand-over's line end are lost.
    const other = path.join(made.prefix, 'handed-again');
    fs.cpSync(made.image, other, { recursive: true });
    const sums = path.join(other, 'SHA256SUMS');
    fs.appendFileSync(sums, '# added\n');
    run('quillon-cli', ['--base', path.join(made.prefix, 'base'), 'custody', 'handover', other, '--to', 'X', '--org', 'Y', '--reason', 'Z'], made.prefix);
    const longer = fs.readFileSync(path.join(other, 'CUSTODY.jsonl'));
    const cut = longer.subarray(0, longer.lastIndexOf('\n', longer.length - 2));
    fs.writeFileSync(path.join(other, 'CUSTODY.jsonl'), cut);
    const hash = crypto.createHash('sha256').update(fs.readFileSync(sums)).digest('hex');
    const c = await custody.check(new Uint8Array(cut), hash);
    assert.deepEqual(c.problems, cliSays(other).problems);
    assert.deepEqual(c.problems, ["line 9: it is cut off (it has no line end): the log's last bytes are missing"]);
  });

  it('claims no signature where the engine cannot check Ed25519, and still checks the chain', async () => {
    const subtle = crypto.webcrypto.subtle;
    const noEd25519 = {
      digest: (...a) => subtle.digest(...a),
      importKey: async () => { throw new DOMException('Ed25519 is not supported', 'NotSupportedError'); },
      verify: async () => { throw new Error('not reached'); },
    };
    const c = await custody.check(new Uint8Array(log), manifestHash, noEd25519);
    assert.equal(c.signaturesChecked, false);
    assert.deepEqual(c.signatures, []);
    assert.deepEqual(c.problems, []);
    assert.equal(c.ok, false);
    const v = custody.verdict(c);
    assert.equal(v.state, 'unchecked');
    assert.match(v.text, /NOT checked/);
    const changed = Buffer.from(log);
    changed[changed.indexOf('County')] = 'c'.charCodeAt(0);
    const broken = await custody.check(new Uint8Array(changed), '', noEd25519);
    assert.deepEqual(broken.problems, ['line 4: its previous-line hash does not match line 3']);
  });
});

// MP4 files of an image that took a receiving stamp, as the page's check of SHA256SUMS judges
// them, held to quillon-cli verify: the stamped image, a byte of a stamped file's media changed,
// a byte of the stamp's signature changed, and the report edited so SHA256SUMS no longer vouches
// for it. The page must pass and fail the same files as the program, in the same words.
for (const part of ['qv-names.js', 'qv-manifest.js', 'qv-image.js', 'qv-report.js', 'qv-stamp.js', 'qv-verify.js']) require(path.join(__dirname, '../../data/Other', part));
const { filesBelow } = require('./support/image-fixture.js');

describe('MP4 files with a receiving stamp as the page checks them', () => {
  let stamped, videos;

  before(() => {
    stamped = makeImage({ day: '20100523', from: '1000', to: '1000', cameras: 2, fps: 1, sign: true, mp4: true,
      exhibit: { case: 'C-7', exhibit: '1', operator: 'Jo Operator' } });
    const key = path.join(stamped.prefix, 'stamp.key'), cert = path.join(stamped.prefix, 'stamp.crt');
    execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:3072', '-nodes', '-days', '2', '-subj', '/CN=County Police',
      '-keyout', key, '-out', cert], { stdio: 'ignore' });
    fs.cpSync(stamped.image, path.join(stamped.prefix, 'unstamped'), { recursive: true });
    run('quillon-cli', ['custody', 'receive', stamped.image, '--by', 'Sam Ode', '--stamp-key', key, '--stamp-cert', cert], stamped.prefix);
    videos = filesBelow(stamped.image).filter((f) => f.endsWith('.mp4'));
  });

  after(() => removeImage(stamped));

  // What quillon-cli verify says of an image folder: its STAMPED files with their words, the
  // files it finds changed, and whether it verified the image.
  function cliVerifies(folder) {
    let out;
    try {
      out = run('quillon-cli', ['verify', '--no-progress', folder], stamped.prefix);
    } catch (e) {
      if (e.status !== 1) throw e;
      out = e.stdout;
    }
    const said = out.split('\n');
    const stampedFiles = new Map();
    for (const l of said.filter((x) => x.startsWith('STAMPED '))) {
      const [, rel, text] = /^STAMPED +(.+?\.mp4): (.*)$/.exec(l);
      stampedFiles.set(rel, text);
    }
    return {
      stamped: stampedFiles,
      changed: said.filter((l) => l.startsWith('CHANGED ')).map((l) => l.replace(/^CHANGED +/, '')).sort(),
      verified: said.some((l) => l.startsWith('VERIFIED: ')),
    };
  }

  // The page's check of the same folder, as the page builds its image and runs its verifier.
  async function pageVerifies(folder) {
    const items = filesBelow(folder).map((rel) => ({ path: 'Backup/' + rel, file: new Blob([fs.readFileSync(path.join(folder, rel))]) }));
    const root = [...QV.image.build(items).roots.values()][0];
    let done;
    const finished = new Promise((resolve) => { done = resolve; });
    const v = new QV.Verifier(root, (x) => { if (x.manifest && !x.summary().count.pending) done(); });
    assert.equal(await v.start(), true);
    await finished;
    const summary = v.summary();
    return {
      v, summary,
      said: {
        stamped: v.stamps,
        changed: [...v.verdicts].filter(([, verdict]) => QV.manifest.isFailure(verdict)).map(([rel]) => rel).sort(),
        verified: summary.state === 'intact' && v.signature.state === 'good',
      },
    };
  }

  // A copy of the stamped image with change(folder) made to it; both checks of it, found equal.
  async function bothVerify(name, change = () => {}) {
    const folder = path.join(stamped.prefix, name);
    fs.cpSync(stamped.image, folder, { recursive: true });
    change(folder);
    const page = await pageVerifies(folder);
    assert.deepEqual(page.said, cliVerifies(folder), name);
    return page;
  }

  // Flips the byte at offset of() in the file rel of folder.
  function flip(folder, rel, of) {
    const file = path.join(folder, rel);
    const bytes = fs.readFileSync(file);
    bytes[of(bytes)] ^= 0x5a;
    fs.writeFileSync(file, bytes);
  }

  it('passes the stamped image, each file STAMPED with the stamper\'s name and fingerprint', async () => {
    const { v, summary, said } = await bothVerify('stamped');
    assert.equal(videos.length, 2);
    assert.deepEqual([...said.stamped.keys()].sort(), videos);
    for (const rel of videos) {
      assert.equal(v.verdict(rel), 'stamped');
      assert.match(said.stamped.get(rel), /^received with the stamp of "County Police" \(SHA256:[0-9a-f]{4}( [0-9a-f]{4}){15}\); signed by its exporter as the backup made it$/);
    }
    assert.equal(summary.state, 'intact');
    // In the program's words, and of as many files.
    const listed = /^VERIFIED: all (\d+) files match SHA256SUMS \(2 MP4 files as their exporter signed them, with a receiving stamp\)/m
      .exec(run('quillon-cli', ['verify', '--no-progress', stamped.image], stamped.prefix))[1];
    assert.ok(summary.text.startsWith('All ' + listed + ' listed files match the manifest (2 MP4 files as their exporter signed them, with a receiving stamp).'), summary.text);
  });

  it('fails a stamped file whose media has a byte changed', async () => {
    const { v, said } = await bothVerify('media-changed', (f) => flip(f, videos[0], (b) => b.indexOf('mdat') + 200));
    assert.deepEqual(said.changed, [videos[0]]);
    assert.equal(v.verdict(videos[0]), 'mismatch');
    assert.equal(v.verdict(videos[1]), 'stamped');
    assert.equal(v.summary().state, 'failed');
  });

  it('fails a stamped file whose stamp\'s signature has a byte changed', async () => {
    const { said } = await bothVerify('stamp-changed', (f) => flip(f, videos[1], (b) => b.lastIndexOf('sibo') + 4 + 100));
    assert.deepEqual(said.changed, [videos[1]]);
  });

  it('fails the stamped files when the report they are recorded in is not the one SHA256SUMS vouches for', async () => {
    const edit = (how) => (folder) => {
      const report = path.join(folder, 'report.json');
      fs.writeFileSync(report, how(fs.readFileSync(report, 'utf8')));
    };
    // The digest of a file's signed part changed, and the report whole but for a space: either
    // way no digest it records is taken.
    const digest = (await bothVerify('digest-edited', edit((t) => t.replace(/("sha256": *")[0-9a-f]/, '$1' + '0')))).said;
    assert.deepEqual(digest.changed, [...videos, 'report.json'].sort());
    const spaced = (await bothVerify('report-spaced', edit((t) => t + ' '))).said;
    assert.deepEqual(spaced.changed, [...videos, 'report.json'].sort());
    assert.equal(spaced.stamped.size, 0);
  });

  it('takes a file as stamped only when its first signature signs the recorded digest and a stamp is there', async () => {
    const stamp = require(path.join(__dirname, '../../data/Other/qv-stamp.js'));
    const report = JSON.parse(fs.readFileSync(path.join(stamped.image, 'report.json'), 'utf8'));
    const recorded = stamp.signedParts(report, 'vouched');
    assert.deepEqual([...recorded.keys()].sort(), videos);
    assert.equal(stamp.signedParts(report, 'changed').size, 0);
    const bytes = (folder, rel) => new Uint8Array(fs.readFileSync(path.join(stamped.prefix, folder, rel))).buffer;
    const file = bytes('drive_e/Backup', videos[0]);
    // The other file's digest: its signatures hold, but they are not what the report recorded.
    assert.deepEqual(await stamp.judge(file, recorded.get(videos[1])),
      { stamped: false, why: "its exporter's signature does not sign what the report recorded" });
    // Judged, the bytes are as they were read: the page reads each file once.
    const before = Buffer.from(file);
    assert.equal((await stamp.judge(file, recorded.get(videos[0]))).stamped, true);
    assert.ok(before.equals(Buffer.from(file)));
    // As the backup made it, both signatures are its exporter's: no stamp.
    assert.deepEqual(await stamp.judge(bytes('unstamped', videos[0]), recorded.get(videos[0])),
      { stamped: false, why: 'it carries no receiving stamp' });
  });

  it('reads a certificate\'s key and first common name as the program does, in UTF-8', async () => {
    const stamp = require(path.join(__dirname, '../../data/Other/qv-stamp.js'));
    const key = path.join(stamped.prefix, 'other.key'), pem = path.join(stamped.prefix, 'other.crt');
    execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2', '-utf8', '-subj', '/O=Polizei/CN=Zoë Ode/CN=Second',
      '-keyout', key, '-out', pem], { stdio: 'ignore' });
    const der = execFileSync('openssl', ['x509', '-in', pem, '-outform', 'DER']);
    const spki = execFileSync('openssl', ['pkey', '-in', key, '-pubout', '-outform', 'DER']);
    const cert = stamp.certificate(new Uint8Array(der));
    assert.equal(cert.commonName, 'Zoë Ode');
    assert.ok(Buffer.from(cert.spki).equals(spki));
    assert.throws(() => stamp.certificate(new Uint8Array(der).subarray(0, der.length - 1)), /cut short/);
  });
});
