// The page: picks the image, lists its entries, and plays the chosen one with its time line,
// sound and integrity check. Everything is read from the picked files; nothing is sent anywhere.
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const app = { image: null, entry: null, info: null, player: null, verifiers: new Map(), tiles: [],
    audio: new QV.AudioTrack(), SQL: null, layout: 1, focus: -1, page: 0, generation: 0, metrics: {} };
  window.QV.app = app;

  function sqlEngine() {
    if (!app.SQL) {
      if (typeof initSqlJs !== 'function') return Promise.reject(new Error('sql-wasm-inline.js is missing beside this page'));
      app.SQL = initSqlJs();
    }
    return app.SQL;
  }

  function problem(text) {
    $('problem').textContent = text;
    $('problem').hidden = !text;
  }

  // ---- the image and its entries ----

  // options.sealed: the name of the encrypted medium the items are read from.
  async function openImage(items, options = {}) {
    const started = performance.now();
    problem('');
    $('unlock').hidden = true;
    $('sealed-note').hidden = !options.sealed;
    $('sealed-note').textContent = options.sealed ? 'Opened from the encrypted medium ' + options.sealed +
      ': each picture is decrypted when it is shown, in memory; nothing decrypted is written to disk.' : '';
    app.generation++;
    stopEntry();
    app.image = QV.image.build(items);
    app.verifiers.clear();
    const list = $('entries');
    list.textContent = '';
    if (!app.image.entries.length) {
      const locked = items.find((i) => /\.age$/i.test(i.path));
      if (locked && !options.sealed) return askToUnlock(locked.file);
      problem('No backup entry was found in the chosen folder. Choose the folder that holds the ' +
        'entry folders (named like 2010_05_23=14,00~15,30).');
      $('integrity').hidden = true;
      $('exhibit').hidden = true;
      $('custody').hidden = true;
      return;
    }
    for (const root of app.image.roots.values()) {
      const v = new QV.Verifier(root, throttle(showIntegrity, 250));
      app.verifiers.set(root.path, v);
    }
    for (const entry of app.image.entries) list.appendChild(await entryRow(entry));
    app.listed = performance.now() - started;
    $('library').hidden = false;
    showIntegrity();
    for (const v of app.verifiers.values()) v.start().then(showIntegrity);
    QV.exhibit.show(app.image);
  }

  // ---- an encrypted medium (IMAGE.tar.age) ----

  // Asks for what opens the file, a passphrase or an identity, as its header says.
  async function askToUnlock(file) {
    let needs;
    try {
      needs = await QV.age.needs(file);
    } catch (e) {
      return problem(e.message);
    }
    app.locked = { file, needs };
    const form = $('unlock');
    $('unlock-text').textContent = file.name + ' is an encrypted backup image. ' + (needs === 'passphrase'
      ? 'Type its passphrase to open it here.' : 'It was encrypted to keys: paste the identity (AGE-SECRET-KEY-1…) of one of them to open it here.');
    $('unlock-passphrase-field').hidden = needs !== 'passphrase';
    $('unlock-identity-field').hidden = needs === 'passphrase';
    $('unlock-progress').textContent = '';
    $('unlock-open').disabled = false;
    form.hidden = false;
    $('library').hidden = true;
    (needs === 'passphrase' ? $('unlock-passphrase') : $('unlock-identity')).focus();
  }

  async function unlock() {
    const { file, needs } = app.locked || {};
    if (!file) return;
    const secret = needs === 'passphrase' ? { passphrase: $('unlock-passphrase').value } : { identities: $('unlock-identity').value };
    $('unlock-open').disabled = true;
    $('unlock-progress').textContent = needs === 'passphrase' ? 'Stretching the passphrase…' : 'Opening…';
    problem('');
    try {
      const { age, items } = await QV.sealed.open(file, secret, (done) => {
        $('unlock-progress').textContent = 'Stretching the passphrase… ' + Math.round(done * 100) + '%';
      });
      $('unlock-passphrase').value = '';
      $('unlock-identity').value = '';
      app.locked = null;
      age.onDamage = (e) => problem(e.message);
      await openImage(items, { sealed: file.name });
    } catch (e) {
      $('unlock-progress').textContent = '';
      $('unlock-open').disabled = false;
      problem(e.message);
    }
  }

  async function entryInfo(entry) {
    if (!entry.info) return null;
    try {
      return QV.backupInfo.parse(await entry.info.file.arrayBuffer());
    } catch (e) {
      return null;
    }
  }

  async function entryMap(entry) {
    if (!entry.map) return null;
    try {
      return QV.backupInfo.parseMinuteMap(await entry.map.file.arrayBuffer(), entry.start, entry.end);
    } catch (e) {
      return null;
    }
  }

  // "10:03–10:09, 10:12" of minutes of the day in order.
  function minuteRanges(minutes) {
    const out = [];
    for (let i = 0; i < minutes.length; i++) {
      let j = i;
      while (j + 1 < minutes.length && minutes[j + 1] === minutes[j] + 1) j++;
      out.push(QV.names.clock(minutes[i]) + (j > i ? '–' + QV.names.clock(minutes[j]) : ''));
      i = j;
    }
    return out.join(', ');
  }

  // The cameras an entry holds are those its minute map marks: the information file's count is
  // the recorder's (64 when the backup was made without a host), not the entry's.
  function camerasText(entry, info, map) {
    if (!map) return 'cameras not known (its minute map ' + entry.day + '.DAT is missing or short)';
    const cams = map.cameras;
    if (!cams.length) return 'no camera recorded';
    const named = cams.map((c) => info && info.cameraNames[c]).filter((n) => n);
    return cams.length + (cams.length === 1 ? ' camera' : ' cameras') +
      (named.length ? ': ' + cams.map((c) => QV.backupInfo.cameraLabel(info, c)).join(', ') : ' (' + QV.backupInfo.cameraRanges(cams) + ')');
  }

  async function entryRow(entry) {
    const info = await entryInfo(entry);
    const map = await entryMap(entry);
    entry.parsedInfo = info;
    // Minutes the map promised that the image does not hold: the pass ended before them.
    entry.missingMinutes = map ? map.minutes.filter((m) => { const f = entry.minutes.get(m); return !f || !f.idx || !f.dat; }) : [];
    const row = document.createElement('li');
    row.className = 'entry';
    row.dataset.entry = entry.name;
    const range = QV.names.dayText(entry.day) + ' ' + QV.names.clock(entry.start) + ' ~ ' + QV.names.clock(entry.end);
    const minutes = QV.image.recordedMinutes(entry).length;
    const button = document.createElement('button');
    button.className = 'open-entry';
    button.textContent = range;
    button.addEventListener('click', () => playEntry(entry));
    const memo = document.createElement('div');
    memo.className = 'memo';
    memo.textContent = info ? (info.memo ? 'Memo: ' + info.memo : 'No memo') : 'BackupInfo.dat is missing or short';
    const detail = document.createElement('div');
    detail.className = 'detail';
    detail.textContent = minutes + ' recorded minutes · ' + camerasText(entry, info, map) + (entry.root ? ' · in ' + entry.root : '');
    const status = document.createElement('div');
    status.className = 'entry-status';
    row.append(button, memo, detail, status);
    return row;
  }

  // What is missing of an entry: the manifest's reason and the minutes its map lacks; '' when whole.
  function entryProblem(entry) {
    const v = app.verifiers.get(entry.root);
    const parts = [];
    const reason = QV.manifest.incompleteReason(v && v.manifest, entry.name);
    if (reason) parts.push(reason);
    if (entry.missingMinutes.length) {
      parts.push('missing ' + (entry.missingMinutes.length === 1 ? 'minute ' : 'minutes ') + minuteRanges(entry.missingMinutes) +
        ' (in its minute map, not in the image)');
    }
    return parts.join('; ');
  }

  function showEntryStates() {
    for (const entry of app.image.entries) {
      const row = document.querySelector(`#entries li[data-entry="${CSS.escape(entry.name)}"]`);
      if (!row) continue;
      const problem = entryProblem(entry);
      row.dataset.state = problem ? 'incomplete' : 'complete';
      row.querySelector('.entry-status').textContent = problem ? 'INCOMPLETE: ' + problem : '';
    }
  }

  // ---- integrity ----

  function verdictOfMinute(entry, minute) {
    const v = app.verifiers.get(entry.root);
    const files = entry.minutes.get(minute);
    if (!v || !v.manifest || !files) return 'none';
    const worst = ['mismatch', 'unreadable', 'missing', 'pending', 'unlisted', 'stamped', 'ok'];
    let out = 'ok';
    for (const f of [files.idx, files.dat]) {
      if (!f) continue;
      const verdict = v.verdict(f.rel);
      if (worst.indexOf(verdict) < worst.indexOf(out)) out = verdict;
    }
    return out;
  }

  // Rows the file list draws at most until asked for more: a day-long image holds tens of thousands.
  const ROW_STEP = 500;
  app.rowLimit = ROW_STEP;

  // The incomplete entries the manifest names, also those the image does not hold at all (a
  // stopped pass never made their folders), and those whose minutes the image lacks.
  function incompleteEntries(path, v) {
    const out = new Map();
    if (v && v.manifest) for (const [name, why] of v.manifest.incomplete) out.set(name, why);
    for (const entry of app.image.entries) {
      if (entry.root !== path) continue;
      const problem = entryProblem(entry);
      if (problem) out.set(entry.name, problem);
    }
    return out;
  }

  function showIntegrity() {
    const box = $('integrity');
    box.hidden = false;
    const summary = $('integrity-summary');
    showEntryStates();
    // The table is drawn only while it is open, and only up to its row limit.
    const rows = $('integrity-files');
    const listing = $('integrity-details').open;
    const failuresOnly = $('file-filter').value === 'failures';
    rows.textContent = '';
    const texts = [];
    const incomplete = $('integrity-entries');
    incomplete.textContent = '';
    let state = 'intact';
    let failures = 0, pending = 0, total = 0, drawn = 0, shown = 0;
    // An image is intact only when every root's manifest says so: one that cannot be checked is not.
    const rank = ['failed', 'partial', 'checking', 'unlisted', 'none', 'intact'];
    const worse = (s) => { if (rank.indexOf(s) < rank.indexOf(state)) state = s; };
    for (const [path, v] of app.verifiers) {
      const name = path || 'the chosen folder';
      for (const [entryName, why] of incompleteEntries(path, v)) {
        const li = document.createElement('li');
        li.dataset.entry = entryName;
        li.textContent = entryName + ': ' + why;
        incomplete.appendChild(li);
      }
      if (!v.manifest) {
        // Until its manifest is read an image is being checked, not intact and not unmanifested.
        const reading = v.root.manifest && !v.problem;
        texts.push(name + ': ' + (reading ? 'reading SHA256SUMS…' : v.problem || 'no SHA256SUMS: this image cannot be checked.'));
        worse(reading ? 'checking' : 'none');
        continue;
      }
      const s = v.summary();
      texts.push(name + ': ' + s.text + (v.signature ? ' ' + v.signature.text : ''));
      worse(v.signature && v.signature.state === 'bad' ? 'failed' : s.state);
      for (const [rel, verdict] of v.verdicts) {
        total++;
        const failed = QV.manifest.isFailure(verdict);
        if (failed) failures++;
        if (verdict === 'pending') pending++;
        if (!listing || (failuresOnly && !failed)) continue;
        shown++;
        if (drawn >= app.rowLimit) continue;
        drawn++;
        const tr = document.createElement('tr');
        tr.dataset.verdict = verdict;
        tr.dataset.file = rel;
        const a = document.createElement('td');
        a.textContent = (path ? path + '/' : '') + rel;
        const b = document.createElement('td');
        b.textContent = QV.manifest.VERDICT_TEXT[verdict] + (v.stamps.has(rel) ? ': ' + v.stamps.get(rel) : '');
        tr.append(a, b);
        rows.appendChild(tr);
      }
    }
    // An entry that lacks what its map promised keeps the image from being whole, manifest or not.
    if (incomplete.children.length) {
      worse('partial');
      texts.push(incomplete.children.length + (incomplete.children.length === 1 ? ' entry is' : ' entries are') + ' incomplete:');
    }
    incomplete.hidden = !incomplete.children.length;
    $('file-filter').options[0].textContent = 'Failures only (' + failures + ')';
    $('file-filter').options[1].textContent = 'Every file (' + total + ')';
    const note = $('integrity-more');
    note.hidden = !listing || (shown > 0 && drawn === shown);
    $('more-files').hidden = drawn >= shown;
    $('integrity-more-text').textContent = !shown
      ? (failuresOnly ? (pending ? 'No file has failed its check so far.' : 'No file failed its check.') : 'No file.')
      : 'Showing ' + drawn + ' of ' + shown + ' files.';
    summary.textContent = texts.join(' ');
    box.dataset.state = state;
    if (app.player) paintTimeline();
  }

  function throttle(f, ms) {
    let timer = 0;
    return () => {
      if (!timer) timer = setTimeout(() => { timer = 0; f(); }, ms);
    };
  }

  // ---- playing an entry ----

  function stopEntry() {
    if (app.player) app.player.playing = false;
    app.player = null;
    app.audio.stop('off');
    for (const t of app.tiles) t.remove();
    app.tiles = [];
    $('tiles').dataset.cameras = '';
    $('player').hidden = true;
  }

  async function playEntry(entry) {
    stopEntry();
    const generation = ++app.generation;
    app.metrics = { opened: performance.now() };
    QV.Tile.firstDrawn = 0;
    let SQL;
    try {
      SQL = await sqlEngine();
    } catch (e) {
      problem('The SQLite engine cannot start: ' + e.message);
      return;
    }
    if (generation !== app.generation) return;
    app.entry = entry;
    app.info = entry.parsedInfo || null;
    const player = new QV.Player(entry, SQL, onPlayerChange);
    app.player = player;
    app.focus = -1;
    app.page = 0;
    for (const li of document.querySelectorAll('#entries li')) li.classList.toggle('chosen', li.dataset.entry === entry.name);
    $('player').hidden = false;
    $('entry-title').textContent = QV.names.dayText(entry.day) + ' ' + QV.names.clock(entry.start) + ' ~ ' +
      QV.names.clock(entry.end) + (app.info && app.info.memo ? ' — ' + app.info.memo : '');
    showVideos(entry);
    app.timeline.build(entry);
    paintTimeline();
    if (!player.recorded.length) {
      problem('This entry holds no recorded minute.');
      return;
    }
    await player.seek(player.recorded[0]);
    if (generation !== app.generation) return;
    layoutTiles();
    player.scan(() => app.player !== player);
  }

  // The entry's MP4 files: a link that saves each, and a button that plays it in the page.
  function showVideos(entry) {
    const list = $('video-list');
    const video = $('video');
    for (const a of list.querySelectorAll('a[href^="blob:"]')) URL.revokeObjectURL(a.href);
    if (video.src.startsWith('blob:')) URL.revokeObjectURL(video.src);
    video.pause();
    video.removeAttribute('src');
    video.hidden = true;
    list.textContent = '';
    $('videos').hidden = !entry.videos.length;
    for (const v of entry.videos) {
      const li = document.createElement('li');
      li.dataset.video = v.name;
      const sealed = QV.sealed.isSealed(v.file);
      // From an encrypted medium a file is not offered for saving: that would write it decrypted.
      const save = document.createElement(sealed ? 'span' : 'a');
      if (!sealed) {
        save.href = URL.createObjectURL(v.file);
        save.download = v.name;
      }
      save.textContent = v.name;
      const play = document.createElement('button');
      play.type = 'button';
      play.className = 'play-video';
      play.textContent = 'Play';
      // The browser may keep a large Blob on disk, so a large file of an encrypted medium is
      // not played from one.
      if (sealed && v.file.size > QV.sealed.MOST_PLAYED) {
        play.disabled = true;
        play.title = 'Too large to play from the encrypted medium without the browser keeping it decrypted on disk: decrypt the medium to play it.';
      }
      play.addEventListener('click', async () => {
        if (video.src.startsWith('blob:')) URL.revokeObjectURL(video.src);
        video.src = URL.createObjectURL(await QV.sealed.asBlob(v.file));
        video.dataset.name = v.name;
        video.hidden = false;
        video.play().catch(() => {});
      });
      li.append(save, ' ', play);
      list.append(li);
    }
  }

  function cameraList() {
    return [...app.player.cameras].sort((a, b) => a - b);
  }

  function onPlayerChange(player, what) {
    if (player !== app.player) return;
    if (what === 'cameras') layoutTiles();
    if (what === 'cameras' || what === 'status') paintTimeline();
    showButtons();
  }

  function label(camera) {
    return QV.backupInfo.cameraLabel(app.info, camera);
  }

  // The tiles: the focused camera alone, or a page of up to 16 cameras.
  function layoutTiles() {
    if (!app.player) return;
    const cams = cameraList();
    if (!cams.length) return;
    if (!cams.includes(app.focus)) app.focus = cams[0];
    const per = app.layout;
    const pages = Math.max(1, Math.ceil(cams.length / per));
    app.page = Math.min(app.page, pages - 1);
    const shown = per === 1 ? [app.focus] : cams.slice(app.page * per, app.page * per + per);
    const grid = $('tiles');
    const want = shown.join(',');
    if (grid.dataset.cameras === want) return;
    for (const t of app.tiles) t.remove();
    app.tiles = shown.map((c) => new QV.Tile(grid, c, label(c), pick));
    grid.dataset.cameras = want;
    grid.style.setProperty('--columns', String(Math.ceil(Math.sqrt(per))));
    const camSel = $('camera');
    camSel.textContent = '';
    for (const c of cams) {
      const o = document.createElement('option');
      o.value = String(c);
      o.textContent = label(c);
      camSel.appendChild(o);
    }
    camSel.value = String(app.focus);
    const pageSel = $('page');
    pageSel.textContent = '';
    for (let p = 0; p < pages; p++) {
      const o = document.createElement('option');
      o.value = String(p);
      const first = cams[p * per], last = cams[Math.min(cams.length, (p + 1) * per) - 1];
      o.textContent = 'Cameras ' + (first + 1) + '–' + (last + 1);
      pageSel.appendChild(o);
    }
    pageSel.value = String(app.page);
    pageSel.hidden = per === 1 || pages === 1;
    for (const t of app.tiles) t.el.classList.toggle('focus', t.camera === app.focus);
  }

  function pick(camera, alone) {
    app.focus = camera;
    if (alone) {
      app.layout = app.layout === 1 ? 16 : 1;
      $('layout').value = String(app.layout);
    }
    $('tiles').dataset.cameras = '';
    layoutTiles();
  }

  // The entry's minutes the backup found damaged at the recorder, as its manifest names them;
  // read again only when the manifest is.
  function recorderDamage(entry) {
    const v = app.verifiers.get(entry.root);
    const manifest = v ? v.manifest : null;
    if (entry.damageFrom !== manifest || !entry.recorderDamage) {
      entry.damageFrom = manifest;
      entry.recorderDamage = QV.manifest.recorderDamage(manifest, entry.name);
    }
    return entry.recorderDamage;
  }

  function damagedCameras(d) {
    return d.cameras.length ? (d.cameras.length === 1 ? 'camera ' : 'cameras ') + d.cameras.join(', ') : 'the minute';
  }

  function recorderDamageText(d) {
    return 'damaged at the recorder: ' + damagedCameras(d) + ' — the readable pictures were copied' +
      (d.leftOut ? ' (' + d.leftOut + (d.leftOut === 1 ? ' picture' : ' pictures') + ' of its index lay outside its data file and were left out)' : '');
  }

  // A minute's state on the time line and its title. What the image itself shows comes first (not
  // there, damaged in this image, failing its check); a minute the backup rebuilt from a damaged
  // recording is sound here and plays, but says what it lacks.
  function minuteState(entry, player, lost, damage, m) {
    const files = entry.minutes.get(m);
    if (!files || !files.idx || !files.dat) {
      if (!lost.has(m)) return ['missing', 'not recorded'];
      return ['incomplete', 'recorded, but not in this image: the backup did not copy it' +
        (damage.has(m) ? ' (damaged at the recorder: ' + damagedCameras(damage.get(m)) + ')' : '')];
    }
    const s = player.status.get(m);
    if (s && s.damaged) return ['damaged', 'damaged in this image: ' + s.problem + '; skipped'];
    const v = verdictOfMinute(entry, m);
    if (v === 'mismatch' || v === 'unreadable' || v === 'missing') return ['failed', 'recorded · integrity: ' + QV.manifest.VERDICT_TEXT[v]];
    const integrity = v !== 'none' ? ' · integrity: ' + QV.manifest.VERDICT_TEXT[v] : '';
    if (damage.has(m)) return ['recorder-damaged', recorderDamageText(damage.get(m)) + integrity];
    return ['recorded', integrity ? 'recorded' + integrity : s ? 'recorded' : 'recorded (not read yet)'];
  }

  function paintTimeline() {
    const player = app.player, entry = app.entry;
    if (!player) return;
    // A minute its map promised that the image lacks was recorded, but not copied.
    const lost = new Set(entry.missingMinutes);
    const damage = recorderDamage(entry);
    const states = new Map();
    const at = (m) => {
      if (!states.has(m)) states.set(m, minuteState(entry, player, lost, damage, m));
      return states.get(m);
    };
    app.timeline.paint((m) => at(m)[0], (m) => at(m)[1]);
  }

  function showButtons() {
    const p = app.player;
    if (!p) return;
    $('play').classList.toggle('on', p.playing && p.dir > 0);
    $('reverse').classList.toggle('on', p.playing && p.dir < 0);
    $('player').dataset.state = p.playing ? (p.dir > 0 ? 'playing' : 'reversing') : p.ended ? 'ended' : 'paused';
  }

  // ---- the frame loop ----

  let last = 0;
  function frame(now) {
    const p = app.player;
    const dt = last ? Math.min(0.25, (now - last) / 1000) : 0;
    last = now;
    if (p) {
      if (p.playing) p.advance(dt * p.speed * p.dir);
      if (!p.playing && p.ended) showButtons();
      const minute = p.minuteNow();
      const files = app.entry.minutes.get(minute);
      const v = app.verifiers.get(app.entry.root);
      if (v && files && files.idx && files.dat && app.preferred !== files) {
        app.preferred = files;  // once a minute: the queue is long in a large image
        v.prefer(files.dat.rel);
        v.prefer(files.idx.rel);
      }
      const verdict = verdictOfMinute(app.entry, minute);
      for (const t of app.tiles) t.show(p.pictureOf(t.camera), files && files.dat ? files.dat.file : null, app.entry.day, verdict);
      const focusTile = app.tiles.find((t) => t.camera === app.focus);
      $('clock').textContent = focusTile && focusTile.el.dataset.time ? focusTile.el.dataset.time : '';
      $('position').textContent = QV.names.timeOfDay(p.pos) + ' · ' + (p.dir < 0 ? '−' : '') + p.speed + '×';
      app.timeline.mark(minute);
      // What is wrong with the minute playing, in words beside the time line, not in a tooltip only.
      const cell = app.timeline.cells.get(minute);
      const note = cell && cell.dataset.state !== 'recorded' ? cell.title : '';
      if ($('minute-note').textContent !== note) {
        $('minute-note').textContent = note;
        $('minute-note').dataset.state = cell ? cell.dataset.state : '';
      }
      const audio = files && files.audio.get(app.focus);
      app.audio.update(audio || null, p.pos - minute * 60, p.speed, p.dir > 0, p.playing);
      $('audio-state').textContent = 'Sound (channel ' + (app.focus + 1) + '): ' + app.audio.state;
      $('audio-state').dataset.state = app.audio.state;
    }
    requestAnimationFrame(frame);
  }

  // ---- controls ----

  function wire() {
    app.timeline = new QV.Timeline($('timeline'), (m) => app.player && app.player.seek(m));
    $('integrity-details').addEventListener('toggle', showIntegrity);
    $('file-filter').addEventListener('change', () => {
      app.rowLimit = ROW_STEP;
      showIntegrity();
    });
    $('more-files').addEventListener('click', () => {
      app.rowLimit += ROW_STEP;
      showIntegrity();
    });
    $('folder').addEventListener('change', (e) => {
      if (e.target.files.length) openImage(QV.files.fromInput(e.target.files));
    });
    $('sealed-file').addEventListener('change', (e) => {
      if (e.target.files.length) openImage(QV.files.fromInput(e.target.files));
    });
    $('unlock').addEventListener('submit', (e) => {
      e.preventDefault();
      unlock();
    });
    document.addEventListener('dragover', (e) => {
      e.preventDefault();
      document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    document.addEventListener('drop', async (e) => {
      e.preventDefault();
      document.body.classList.remove('dragging');
      openImage(await QV.files.fromDrop(e.dataTransfer));
    });
    const speed = $('speed');
    for (const s of QV.Player.SPEEDS) {
      const o = document.createElement('option');
      o.value = String(s);
      o.textContent = s + '×';
      speed.appendChild(o);
    }
    speed.value = '1';
    speed.addEventListener('change', () => app.player && app.player.setSpeed(Number(speed.value)));
    $('play').addEventListener('click', () => app.player && app.player.play(1));
    $('reverse').addEventListener('click', () => app.player && app.player.play(-1));
    $('pause').addEventListener('click', () => app.player && app.player.pause());
    $('step-forward').addEventListener('click', () => app.player && app.player.step(app.focus, 1));
    $('step-back').addEventListener('click', () => app.player && app.player.step(app.focus, -1));
    $('layout').addEventListener('change', () => {
      app.layout = Number($('layout').value);
      $('tiles').dataset.cameras = '';
      layoutTiles();
    });
    $('camera').addEventListener('change', () => pick(Number($('camera').value), false));
    $('page').addEventListener('change', () => {
      app.page = Number($('page').value);
      layoutTiles();
    });
    $('sound').addEventListener('change', () => { app.audio.enabled = $('sound').checked; });
    document.addEventListener('keydown', (e) => {
      const p = app.player;
      if (!p || e.target.tagName === 'SELECT' || e.target.tagName === 'INPUT') return;
      if (e.key === ' ') { e.preventDefault(); p.playing ? p.pause() : p.play(1); }
      else if (e.key === 'ArrowRight') p.step(app.focus, 1);
      else if (e.key === 'ArrowLeft') p.step(app.focus, -1);
    });
    document.addEventListener('qv-first-picture', () => {
      app.metrics.firstPicture = QV.Tile.firstDrawn - app.metrics.opened;
    });
    requestAnimationFrame(frame);
  }

  wire();
})();
