// The Masks mode: on the focused camera's picture a drag draws a rectangle and clicks draw a
// polygon (closed on its first point or with Enter); each tile shows its camera's masks over the
// picture, filled while the picture's time is in theirs. The list is saved as MASKS.json for
// `quillon-cli export --redact` and can be loaded again to be edited.
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const DRAG_PX = 4;    // a press that moves less than this is a click
  const CLOSE_PX = 10;  // a click this near the first point closes the polygon
  const FILL = { solid: 'rgba(0, 0, 0, 0.55)', blur: 'rgba(77, 157, 224, 0.45)', pixelate: 'rgba(224, 160, 48, 0.45)' };

  class MaskDraw {
    constructor(app) {
      this.app = app;
      this.on = false;
      this.masks = [];
      this.mutes = [];
      this.selected = null;
      // What the controls show: the selected item's, and what the next mask takes.
      this.method = 'solid';
      this.from = '';
      this.to = '';
      this.drawing = null;  // { camera, size, points } of a polygon, or { camera, size, start, end, rect: true }
      this.press = null;
      this.version = 0;
      this.saved = '';
      this.wire();
      requestAnimationFrame(() => this.frame());
    }

    wire() {
      $('masks-mode').addEventListener('click', () => this.setOn(!this.on));
      $('mask-method').addEventListener('change', (e) => this.setValue('method', e.target.value));
      $('mask-from-here').addEventListener('click', () => this.here('from'));
      $('mask-to-here').addEventListener('click', () => this.here('to'));
      $('mask-all-times').addEventListener('click', () => { this.setValue('from', ''); this.setValue('to', ''); });
      $('mask-mute').addEventListener('click', () => this.addMute());
      $('mask-save').addEventListener('click', () => this.save());
      $('mask-load').addEventListener('change', (e) => {
        if (e.target.files.length) this.load(e.target.files[0]);
        e.target.value = '';
      });
      document.addEventListener('keydown', (e) => {
        if (!this.on || /^(INPUT|TEXTAREA)$/.test(e.target.tagName)) return;
        if (e.key === 'Enter' && this.drawing && !this.drawing.rect && e.target.tagName !== 'SELECT') {
          e.preventDefault();
          this.closePolygon();
        } else if (e.key === 'Escape') {
          this.drawing = null;
          this.select(null);
        }
      });
    }

    setOn(on) {
      this.on = on;
      this.drawing = null;
      $('masks').hidden = !on;
      $('masks-mode').classList.toggle('on', on);
      this.show();
    }

    problem(text) {
      $('mask-problem').textContent = text;
      $('mask-problem').hidden = !text;
    }

    focusTile() {
      return this.app.tiles.find((t) => t.camera === this.app.focus) || null;
    }

    // The picture a tile shows: its size and time, or null before it shows one.
    static pictureOf(tile) {
      if (!tile || !tile.el.dataset.time || tile.el.classList.contains('undecodable') || tile.el.classList.contains('empty')) return null;
      return { width: tile.canvas.width, height: tile.canvas.height, reading: QV.masks.readingOf(tile.el.dataset.time) };
    }

    // ---- the controls: the selected item's values, and the next mask's ----

    setValue(key, value) {
      const item = this.selected;
      if (item && key === 'method' && !('method' in item)) return;
      if (item) {
        const changed = Object.assign({}, item);
        if (value) changed[key] = value;
        else delete changed[key];
        const why = 'method' in item ? QV.masks.checkMask(changed, 'the mask') : QV.masks.checkMute(changed, 'the mute');
        if (why) { this.problem(why); this.show(); return; }
        if (value) item[key] = value;
        else delete item[key];
      }
      this[key] = value;
      this.problem('');
      this.changed();
    }

    here(key) {
      const picture = MaskDraw.pictureOf(this.focusTile());
      if (!picture || !picture.reading) { this.problem('No picture is shown: its time cannot be taken.'); return; }
      const other = key === 'from' ? this.to : this.from;
      if (other && (key === 'from' ? picture.reading > other : picture.reading < other)) {
        this.problem('"from" would be after "to": ' + (key === 'from' ? picture.reading + ' > ' + other : other + ' > ' + picture.reading));
        return;
      }
      this.setValue(key, picture.reading);
    }

    select(item) {
      this.selected = item;
      if (item) {
        if (item.method) this.method = item.method;
        this.from = item.from || '';
        this.to = item.to || '';
      }
      this.changed();
    }

    add(list, item) {
      if (this.from) item.from = this.from;
      if (this.to) item.to = this.to;
      list.push(item);
      this.select(item);
    }

    addMute() {
      if (!this.app.player) return;
      this.add(this.mutes, { camera: this.app.focus + 1 });
    }

    remove(list, item) {
      list.splice(list.indexOf(item), 1);
      if (this.selected === item) this.selected = null;
      this.changed();
    }

    changed() {
      this.version++;
      this.show();
    }

    // ---- the file ----

    save() {
      let text;
      try {
        text = QV.masks.write(this.masks, this.mutes);
      } catch (e) {
        this.problem('Nothing saved: ' + e.message);
        return;
      }
      if (this.saved) URL.revokeObjectURL(this.saved);
      this.saved = URL.createObjectURL(new Blob([text], { type: 'application/json' }));
      const a = document.createElement('a');
      a.href = this.saved;
      a.download = 'MASKS.json';
      document.body.appendChild(a);
      a.click();
      a.remove();
      this.problem('');
    }

    async load(file) {
      try {
        const { masks, mutes } = QV.masks.read(await file.text());
        this.masks = masks;
        this.mutes = mutes;
        this.selected = null;
        this.drawing = null;
        this.problem('');
        this.changed();
      } catch (e) {
        // The list drawn so far stays as it was.
        this.problem(file.name + ' is not loaded: ' + e.message);
      }
    }

    // ---- drawing on the focused picture ----

    overlayOf(tile) {
      let overlay = tile.el.querySelector('canvas.mask-overlay');
      if (overlay) return overlay;
      overlay = document.createElement('canvas');
      overlay.className = 'mask-overlay';
      tile.el.appendChild(overlay);
      overlay.addEventListener('pointerdown', (e) => this.down(tile, overlay, e));
      overlay.addEventListener('pointermove', (e) => this.move(tile, overlay, e));
      overlay.addEventListener('pointerup', (e) => this.up(tile, overlay, e));
      // A click on the picture draws; it does not pick the camera again (which makes new tiles).
      for (const type of ['click', 'dblclick']) overlay.addEventListener(type, (e) => e.stopPropagation());
      return overlay;
    }

    pointAt(overlay, e, size) {
      return QV.masks.toPicture(e.clientX, e.clientY, overlay.getBoundingClientRect(), size[0], size[1]);
    }

    down(tile, overlay, e) {
      const picture = MaskDraw.pictureOf(tile);
      if (!this.on || e.button !== 0 || !picture || tile.camera !== this.app.focus) return;
      e.preventDefault();
      e.stopPropagation();
      overlay.setPointerCapture(e.pointerId);
      // The press on the picture takes the keys (Enter, Esc) from a control that had them.
      if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();
      if (this.drawing && (this.drawing.camera !== tile.camera || this.drawing.rect)) this.drawing = null;
      const size = this.drawing ? this.drawing.size : [picture.width, picture.height];
      this.press = { x: e.clientX, y: e.clientY, at: this.pointAt(overlay, e, size), size, dragging: false };
    }

    move(tile, overlay, e) {
      const press = this.press;
      if (!press) {
        if (this.drawing && !this.drawing.rect && this.drawing.camera === tile.camera) {
          this.drawing.hover = this.pointAt(overlay, e, this.drawing.size);
          this.version++;
        }
        return;
      }
      if (!press.dragging && Math.hypot(e.clientX - press.x, e.clientY - press.y) >= DRAG_PX && !this.drawing) press.dragging = true;
      if (press.dragging) {
        this.drawing = { camera: tile.camera, size: press.size, start: press.at, end: this.pointAt(overlay, e, press.size), rect: true };
        this.version++;
      }
    }

    up(tile, overlay, e) {
      const press = this.press;
      this.press = null;
      if (!press) return;
      if (press.dragging) {
        const rect = QV.masks.rectOf(press.at, this.pointAt(overlay, e, press.size));
        this.drawing = null;
        if (rect) this.add(this.masks, { camera: tile.camera + 1, rect, method: this.method, size: press.size });
        else this.changed();
        return;
      }
      const d = this.drawing;
      if (!d) {
        this.drawing = { camera: tile.camera, size: press.size, points: [press.at] };
      } else if (d.points.length >= 3 && this.nearFirst(overlay, d, e)) {
        this.closePolygon();
        return;
      } else {
        d.points.push(press.at);
      }
      this.version++;
    }

    nearFirst(overlay, d, e) {
      const box = overlay.getBoundingClientRect();
      const [x, y] = d.points[0];
      return Math.hypot(box.left + x * box.width / d.size[0] - e.clientX, box.top + y * box.height / d.size[1] - e.clientY) <= CLOSE_PX;
    }

    closePolygon() {
      const d = this.drawing;
      this.drawing = null;
      if (!d || d.rect) return;
      if (d.points.length < 3) {
        this.problem('A polygon needs at least 3 points.');
        this.changed();
        return;
      }
      this.add(this.masks, { camera: d.camera + 1, polygon: d.points, method: this.method, size: d.size });
    }

    // ---- what is shown ----

    frame() {
      for (const tile of this.app.tiles) this.paint(tile);
      requestAnimationFrame(() => this.frame());
    }

    // A tile's masks over its picture, drawn again only when something of them changed.
    paint(tile) {
      const overlay = this.overlayOf(tile);
      const picture = MaskDraw.pictureOf(tile);
      const live = this.on && picture;
      overlay.style.pointerEvents = live && tile.camera === this.app.focus ? 'auto' : 'none';
      const key = live ? [this.version, picture.width, picture.height, picture.reading].join(' ') : '';
      if (overlay.dataset.key === key) return;
      overlay.dataset.key = key;
      overlay.hidden = !live;
      if (!live) return;
      if (overlay.width !== picture.width || overlay.height !== picture.height) {
        overlay.width = picture.width;
        overlay.height = picture.height;
      }
      const g = overlay.getContext('2d');
      g.clearRect(0, 0, overlay.width, overlay.height);
      const scale = overlay.width / Math.max(1, overlay.getBoundingClientRect().width);
      let shown = 0, covering = 0;
      for (const mask of this.masks) {
        if (mask.camera !== tile.camera + 1) continue;
        shown++;
        const covers = QV.masks.coversReading(mask, picture.reading);
        if (covers) covering++;
        g.beginPath();
        trace(g, QV.masks.outline(mask, picture.width, picture.height), true);
        if (covers) {
          g.fillStyle = FILL[mask.method];
          g.fill('evenodd');
        }
        g.setLineDash(covers ? [] : [6 * scale, 4 * scale]);
        g.lineWidth = (mask === this.selected ? 3 : 1.5) * scale;
        g.strokeStyle = mask === this.selected ? '#fff' : 'rgba(255, 255, 255, 0.7)';
        g.stroke();
      }
      Object.assign(overlay.dataset, { masks: String(shown), covering: String(covering) });
      const d = this.drawing;
      if (d && d.camera === tile.camera) {
        const sx = picture.width / d.size[0], sy = picture.height / d.size[1];
        const pts = d.rect ? QV.masks.outline({ rect: QV.masks.rectOf(d.start, d.end) || [...d.start, 0, 0] }, 1, 1)
          : d.points.concat(d.hover ? [d.hover] : []);
        g.beginPath();
        trace(g, pts.map(([x, y]) => [x * sx, y * sy]), !!d.rect);
        g.setLineDash([4 * scale, 3 * scale]);
        g.lineWidth = 2 * scale;
        g.strokeStyle = '#ff0';
        g.stroke();
        if (!d.rect) {
          g.beginPath();
          g.arc(d.points[0][0] * sx, d.points[0][1] * sy, CLOSE_PX * scale / 2, 0, 2 * Math.PI);
          g.stroke();
        }
      }
    }

    // The controls and the list as the model says.
    show() {
      $('mask-method').value = this.method;
      $('mask-method').disabled = !!this.selected && !('method' in this.selected);
      $('mask-from').textContent = this.from || 'start of the recording';
      $('mask-to').textContent = this.to || 'end of the recording';
      $('mask-target').textContent = this.selected ? 'Selected: ' + describe(this.selected) : 'For the next mask:';
      const list = $('mask-list');
      list.textContent = '';
      for (const [kind, items] of [['mask', this.masks], ['mute', this.mutes]]) {
        items.forEach((item, i) => {
          const li = document.createElement('li');
          li.dataset.kind = kind;
          li.dataset.index = String(i);
          li.classList.toggle('selected', item === this.selected);
          const text = document.createElement('span');
          text.textContent = describe(item);
          text.addEventListener('click', () => this.select(item === this.selected ? null : item));
          const del = document.createElement('button');
          del.type = 'button';
          del.className = 'mask-delete';
          del.textContent = 'Delete';
          del.addEventListener('click', () => this.remove(items, item));
          li.append(text, ' ', del);
          list.appendChild(li);
        });
      }
      $('mask-count').textContent = this.masks.length + (this.masks.length === 1 ? ' mask' : ' masks') +
        (this.mutes.length ? ', ' + this.mutes.length + (this.mutes.length === 1 ? ' mute' : ' mutes') : '');
    }
  }

  function trace(g, pts, closed) {
    pts.forEach(([x, y], i) => (i ? g.lineTo(x, y) : g.moveTo(x, y)));
    if (closed) g.closePath();
  }

  // "camera 2 · polygon of 4 points · blur · 10:00:30 – end" for the list.
  function describe(item) {
    const times = item.from || item.to ? (item.from || 'start') + ' – ' + (item.to || 'end') : 'whole recording';
    if (!('method' in item)) return 'camera ' + item.camera + ' · sound muted · ' + times;
    const shape = item.rect ? 'rectangle ' + item.rect[2] + ' × ' + item.rect[3] + ' at ' + item.rect[0] + ', ' + item.rect[1]
      : 'polygon of ' + item.polygon.length + ' points';
    return 'camera ' + item.camera + ' · ' + shape + (item.size ? ' (of ' + item.size[0] + ' × ' + item.size[1] + ')' : '') +
      ' · ' + item.method + ' · ' + times;
  }

  QV.define('MaskDraw', MaskDraw);
  // The page's own editor, once the page (qv-app.js) is set up.
  if (QV.app) QV.maskDraw = new MaskDraw(QV.app);
})();
