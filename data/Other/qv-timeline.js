// The entry's time line: one cell a minute of its range, marked recorded, missing, damaged at the
// recorder, damaged in the image or failing its check, with the playing minute lit; a click plays
// from that minute.
(function () {
  'use strict';

  class Timeline {
    constructor(el, onSeek) {
      this.el = el;
      this.onSeek = onSeek;
      this.cells = new Map();
      this.current = -1;
    }

    build(entry) {
      this.el.textContent = '';
      this.cells.clear();
      this.current = -1;
      for (let m = entry.start; m <= entry.end; m++) {
        const cell = document.createElement('div');
        cell.className = 'minute';
        cell.dataset.minute = String(m);
        cell.addEventListener('click', () => this.onSeek(m));
        this.el.appendChild(cell);
        this.cells.set(m, cell);
      }
      this.el.dataset.range = QV.names.clock(entry.start) + ' – ' + QV.names.clock(entry.end);
    }

    // state(minute) -> "recorded" | "missing" | "recorder-damaged" (copied with its readable
    // pictures) | "damaged" (in the image) | "failed" | "incomplete" (recorded, not copied);
    // why(minute) -> title text.
    paint(state, why) {
      for (const [m, cell] of this.cells) {
        const s = state(m);
        if (cell.dataset.state !== s) {
          cell.dataset.state = s;
          cell.className = 'minute ' + s + (m === this.current ? ' current' : '');
        }
        cell.title = QV.names.clock(m) + ' ' + why(m);
      }
    }

    mark(minute) {
      if (minute === this.current) return;
      const old = this.cells.get(this.current);
      if (old) old.classList.remove('current');
      const cell = this.cells.get(minute);
      if (cell) cell.classList.add('current');
      this.current = minute;
    }
  }

  QV.define('Timeline', Timeline);
})();
