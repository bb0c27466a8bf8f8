// The page's part of each image root's exhibit report and chain of custody: what qv-report.js and
// qv-custody.js found, drawn as text. Every text of the files goes in by textContent only.
(function () {
  'use strict';

  function hex(buffer) {
    return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  }

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function facts(pairs) {
    const dl = el('dl', 'facts');
    for (const [label, value] of pairs) {
      const dt = el('dt', '', label);
      const dd = el('dd', '', value);
      dd.dataset.fact = label;
      dl.append(dt, dd);
    }
    return dl;
  }

  // The root's manifest, read on its own: its parse and the SHA-256 of its bytes.
  async function manifestOf(root) {
    if (!root.manifest) return { manifest: null, hash: '' };
    try {
      const bytes = await root.manifest.arrayBuffer();
      return { manifest: QV.manifest.parse(new TextDecoder().decode(bytes)), hash: hex(await crypto.subtle.digest('SHA-256', bytes)) };
    } catch (e) {
      return { manifest: null, hash: '' };
    }
  }

  async function reportBox(root, manifest, where) {
    const box = el('div', 'report');
    box.dataset.root = root.path;
    const name = QV.report.choose([...root.files.keys()].filter((n) => !n.includes('/')), manifest);
    if (!name) {
      box.dataset.state = 'none';
      box.append(el('p', 'report-vouch', where + 'no exhibit report (report.json) in this image.'));
      return box;
    }
    box.dataset.report = name;
    const file = root.files.get(name);
    let bytes, d;
    try {
      bytes = await file.arrayBuffer();
      d = QV.report.describe(QV.report.parse(new TextDecoder().decode(bytes)));
    } catch (e) {
      box.dataset.state = 'unreadable';
      box.append(el('p', 'report-vouch', where + name + ' cannot be shown: ' + e.message));
      return box;
    }
    const v = QV.report.vouch(name, hex(await crypto.subtle.digest('SHA-256', bytes)), manifest);
    box.dataset.state = v.state;
    box.append(el('p', 'report-vouch', where + v.text));
    for (const [heading, pairs] of d.head) box.append(el('h3', '', heading), facts(pairs));
    for (const e of d.entries) {
      const section = el('details', 'report-entry');
      section.dataset.entry = e.title;
      section.append(el('summary', '', 'Entry ' + e.title), facts(e.facts));
      for (const cam of e.cameras) section.append(facts(cam));
      box.append(section);
    }
    return box;
  }

  // An event as the custody show command words it, in the page's columns.
  function eventRow(entry) {
    const tr = el('tr');
    tr.dataset.line = String(entry.n);
    const l = entry.line;
    if (!l) {
      tr.dataset.event = '';
      tr.append(el('td', '', String(entry.n)), el('td', '', ''), el('td', '', '(cannot be read: ' + entry.bad + ')'), el('td'), el('td'));
      return tr;
    }
    tr.dataset.event = l.event;
    const parts = [];
    if (l.recipient) parts.push('to ' + l.recipient + (l.organisation ? ' (' + l.organisation + ')' : ''));
    else if (l.organisation) parts.push('(' + l.organisation + ')');
    if (l.reason) parts.push('reason: ' + l.reason);
    if (l.note) parts.push('note: ' + l.note);
    if (l.manifest) parts.push('manifest ' + l.manifest.slice(0, 16));
    if (l.event === 'signature') parts.push((l.covers === 1 ? 'over line 1' : 'over lines 1-' + l.covers) + (entry.signer ? ', key ' + entry.signer : ''));
    tr.append(el('td', '', String(entry.n)), el('td', '', l.time), el('td', '', l.event), el('td', '', l.actor), el('td', '', parts.join('  ')));
    return tr;
  }

  async function custodyBox(root, hash, where) {
    const box = el('div', 'custody-log');
    box.dataset.root = root.path;
    if (!root.custody) {
      box.dataset.state = 'none';
      box.append(el('p', 'custody-verdict', where + 'no chain of custody (CUSTODY.jsonl) in this image.'));
      return box;
    }
    let c;
    try {
      c = await QV.custody.check(new Uint8Array(await root.custody.arrayBuffer()), hash);
    } catch (e) {
      box.dataset.state = 'unreadable';
      box.append(el('p', 'custody-verdict', where + 'CUSTODY.jsonl cannot be read: ' + e.message));
      return box;
    }
    const v = QV.custody.verdict(c);
    box.dataset.state = v.state;
    const verdict = el('p', 'custody-verdict', where + v.text);
    verdict.dataset.state = v.state;
    box.append(verdict);
    const said = el('ul', 'custody-said');
    for (const s of c.signatures) said.append(el('li', 'good', s));
    for (const p of c.problems) said.append(el('li', 'broken', 'BROKEN: ' + p));
    if (c.unsignedTail) said.append(el('li', 'unsigned', 'NOT SIGNED: ' + c.unsignedTail));
    if (!c.signaturesChecked) said.append(el('li', 'unsigned', 'Signatures NOT checked: this browser has no Ed25519.'));
    box.append(said);
    const table = el('table', 'custody-events');
    const head = el('tr');
    for (const h of ['Line', 'Time (UTC)', 'Event', 'Actor', 'Details']) head.append(el('th', '', h));
    table.append(head);
    for (const entry of c.entries) table.append(eventRow(entry));
    box.append(table);
    return box;
  }

  // Fills both sections for the roots of the image; a later call (another image picked) wins.
  let generation = 0;
  async function show(image) {
    const mine = ++generation;
    const reports = [], logs = [];
    const several = image.roots.size > 1;
    for (const root of image.roots.values()) {
      const where = several ? (root.path || 'the chosen folder') + ': ' : '';
      const { manifest, hash } = await manifestOf(root);
      reports.push(await reportBox(root, manifest, where));
      logs.push(await custodyBox(root, hash, where));
    }
    if (mine !== generation) return;
    const put = (id, boxes) => {
      const section = document.getElementById(id);
      const list = section.querySelector('.boxes');
      list.textContent = '';
      list.append(...boxes);
      section.hidden = !boxes.length;
      const rank = ['broken', 'changed', 'unlisted', 'unmanifested', 'unreadable', 'unsigned', 'unchecked', 'none', 'vouched', 'intact'];
      section.dataset.state = boxes.map((b) => b.dataset.state).sort((a, b) => rank.indexOf(a) - rank.indexOf(b))[0] || 'none';
    };
    put('exhibit', reports);
    put('custody', logs);
    document.dispatchEvent(new Event('qv-exhibit-shown'));
  }

  QV.define('exhibit', { show });
})();
