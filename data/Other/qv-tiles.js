// The picture tiles: one canvas a camera, each drawing the picture due, decoding at most one
// picture at a time (a late picture is dropped for the newest, so a slow machine skips rather
// than lags), with the camera's name, the picture's recorder time and its check verdict.
(function () {
  'use strict';

  class Tile {
    constructor(parent, camera, label, onPick) {
      this.camera = camera;
      this.el = document.createElement('div');
      this.el.className = 'tile';
      this.el.dataset.camera = String(camera);
      this.canvas = document.createElement('canvas');
      this.canvas.width = 4;
      this.canvas.height = 3;
      this.caption = document.createElement('div');
      this.caption.className = 'caption';
      this.badge = document.createElement('div');
      this.badge.className = 'badge';
      this.el.append(this.canvas, this.caption, this.badge);
      this.el.addEventListener('click', () => onPick(camera, false));
      this.el.addEventListener('dblclick', () => onPick(camera, true));
      parent.appendChild(this.el);
      this.label = label;
      this.shownKey = '';
      this.wantKey = '';
      this.busy = false;
      this.next = null;
    }

    // shown: Player.pictureOf(camera) or null; datFile: the minute's data file; day: YYYYMMDD;
    // verdict: the check of the minute's files ("ok", "mismatch", ...).
    show(shown, datFile, day, verdict) {
      this.el.dataset.verdict = verdict;
      const failed = verdict === 'mismatch' || verdict === 'unreadable' || verdict === 'missing';
      this.el.classList.toggle('failed', failed);
      this.badge.textContent = failed ? 'FAILED INTEGRITY CHECK' : '';
      if (!shown) {
        this.caption.textContent = this.label + ' · no picture';
        this.el.classList.add('empty');
        return;
      }
      this.el.classList.remove('empty');
      const key = shown.minute + ':' + shown.pic.pos + ':' + shown.pic.size;
      if (key === this.wantKey) return;
      this.wantKey = key;
      this.next = { key, shown, datFile, day };
      if (!this.busy) this.drawNext();
    }

    async drawNext() {
      this.busy = true;
      while (this.next) {
        const { key, shown, datFile, day } = this.next;
        this.next = null;
        const { pic, minute, base } = shown;
        let bitmap = null;
        try {
          bitmap = await createImageBitmap(await QV.sealed.asBlob(datFile.slice(pic.pos, pic.pos + pic.size, 'image/jpeg')));
        } catch (e) {
          bitmap = null;
        }
        if (this.next) continue;  // a newer picture is due; this one is late
        const second = minute * 60 + (pic.rectime - base);
        const time = QV.names.dayText(day) + ' ' + QV.names.timeOfDay(second).slice(0, 8);
        if (bitmap) {
          if (this.canvas.width !== bitmap.width || this.canvas.height !== bitmap.height) {
            this.canvas.width = bitmap.width;
            this.canvas.height = bitmap.height;
          }
          this.canvas.getContext('2d').drawImage(bitmap, 0, 0);
          bitmap.close();
          this.el.classList.remove('undecodable');
        } else {
          this.el.classList.add('undecodable');
        }
        this.caption.textContent = this.label + ' · ' + time.slice(11) + (bitmap ? '' : ' · picture cannot be decoded');
        Object.assign(this.el.dataset, {
          minute: String(minute), rectime: String(pic.rectime), pos: String(pic.pos),
          size: String(pic.size), time, shown: key,
        });
        this.shownKey = key;
        if (!Tile.firstDrawn) {
          Tile.firstDrawn = performance.now();
          document.dispatchEvent(new CustomEvent('qv-first-picture'));
        }
      }
      this.busy = false;
    }

    remove() {
      this.el.remove();
    }
  }
  Tile.firstDrawn = 0;

  QV.define('Tile', Tile);
})();
