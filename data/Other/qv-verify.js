// Checks an image's files against its SHA256SUMS in the browser (WebCrypto), one file at a
// time in the background; the files of what is playing are checked first.
(function () {
  'use strict';

  function hex(buffer) {
    return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  }

  // The Ed25519 signature of the manifest by the key beside it (PEM, SubjectPublicKeyInfo):
  // { state: 'good' | 'bad' | 'unchecked', text, fingerprint }. The key on the medium proves only
  // that the files match whoever signed; its fingerprint is compared with the one the backup
  // printed.
  async function checkSignature(manifestBytes, signatureFile, keyFile) {
    if (!keyFile) return { state: 'unchecked', text: 'SHA256SUMS is signed, but its key SHA256SUMS.pub is missing.' };
    try {
      const pem = await keyFile.text();
      const der = Uint8Array.from(atob(pem.replace(/-----[^-]+-----/g, '').replace(/\s+/g, '')), (c) => c.charCodeAt(0));
      const key = await crypto.subtle.importKey('spki', der, { name: 'Ed25519' }, false, ['verify']);
      const raw = der.slice(der.length - 32);
      const fp = hex(await crypto.subtle.digest('SHA-256', raw)).match(/.{4}/g).join(' ');
      const fingerprint = 'SHA256:' + fp;
      const good = await crypto.subtle.verify({ name: 'Ed25519' }, key, await signatureFile.arrayBuffer(), manifestBytes);
      return good
        ? { state: 'good', fingerprint, text: 'Signature good, by the key ' + fingerprint + ' (compare it with the fingerprint the backup printed).' }
        : { state: 'bad', fingerprint, text: 'BAD signature: SHA256SUMS is not the manifest that was signed.' };
    } catch (e) {
      return { state: 'unchecked', text: 'The signature cannot be checked in this browser (' + e.name + ').' };
    }
  }

  class Verifier {
    // root: { manifest: File|null, files: Map(rel -> File) }; onChange(verifier) after changes.
    constructor(root, onChange) {
      this.root = root;
      this.onChange = onChange;
      this.verdicts = new Map();
      this.manifest = null;
      this.queue = [];
      this.running = false;
      this.problem = '';
      this.signature = null;
      // By path: what the vouched report records each MP4 file's first signature signs, and
      // for each file found stamped, who stamped it.
      this.signedParts = new Map();
      this.stamps = new Map();
    }

    // The signed parts of the root's report, when its manifest vouches for it.
    async readSignedParts() {
      if (![...this.manifest.files.keys()].some(QV.stamp.isMp4)) return;
      const names = [...this.root.files.keys()].filter((n) => !n.includes('/'));
      const name = QV.report.choose(names, this.manifest);
      if (!name) return;
      try {
        const bytes = await this.root.files.get(name).arrayBuffer();
        const vouched = QV.report.vouch(name, hex(await crypto.subtle.digest('SHA-256', bytes)), this.manifest).state;
        this.signedParts = QV.stamp.signedParts(JSON.parse(new TextDecoder().decode(bytes)), vouched);
      } catch (e) {
        this.signedParts = new Map();
      }
    }

    // Reads and parses the manifest, sets every file's first verdict, then checks in the background.
    async start() {
      if (!this.root.manifest) return false;
      try {
        const bytes = await this.root.manifest.arrayBuffer();
        this.manifest = QV.manifest.parse(new TextDecoder().decode(bytes));
        if (this.root.signature) this.signature = await checkSignature(bytes, this.root.signature, this.root.publicKey);
      } catch (e) {
        this.problem = 'SHA256SUMS cannot be read: ' + e;
        this.onChange(this);
        return true;
      }
      await this.readSignedParts();
      for (const rel of this.manifest.files.keys()) {
        if (this.root.files.has(rel)) {
          this.verdicts.set(rel, 'pending');
          this.queue.push(rel);
        } else {
          this.verdicts.set(rel, 'missing');
        }
      }
      for (const rel of this.root.files.keys()) if (!this.manifest.files.has(rel)) this.verdicts.set(rel, 'unlisted');
      this.onChange(this);
      this.run();
      return true;
    }

    verdict(rel) {
      return this.verdicts.get(rel) || (this.manifest ? 'unlisted' : 'none');
    }

    // Moves a file to the front of the queue, so that what is shown is judged first.
    prefer(rel) {
      if (this.verdicts.get(rel) !== 'pending') return;
      const i = this.queue.indexOf(rel);
      if (i > 0) {
        this.queue.splice(i, 1);
        this.queue.unshift(rel);
      }
    }

    summary() {
      return QV.manifest.summarize(this.verdicts, this.manifest);
    }

    async run() {
      if (this.running) return;
      this.running = true;
      while (this.queue.length) {
        const rel = this.queue.shift();
        let verdict;
        try {
          const file = this.root.files.get(rel);
          // A file of an encrypted medium hashes itself as it is decrypted, never held whole.
          let bytes = file.sha256 ? null : await file.arrayBuffer();
          const digest = bytes ? hex(await crypto.subtle.digest('SHA-256', bytes)) : await file.sha256();
          verdict = digest === this.manifest.files.get(rel) ? 'ok' : 'mismatch';
          // A changed MP4 file may be the exporter's with a receiving stamp, judged on the
          // same bytes.
          const recorded = this.signedParts.get(rel);
          if (verdict === 'mismatch' && recorded && QV.stamp.isMp4(rel)) {
            if (!bytes) bytes = await file.arrayBuffer();
            const s = await QV.stamp.judge(bytes, recorded);
            if (s.stamped) {
              verdict = 'stamped';
              this.stamps.set(rel, s.text);
            }
          }
        } catch (e) {
          verdict = 'unreadable';
        }
        this.verdicts.set(rel, verdict);
        this.onChange(this);
      }
      this.running = false;
    }
  }

  QV.define('Verifier', Verifier);
})();
