// Plays one entry: a clock in seconds of the recorded day that runs at the recorded pace times
// the speed, forward or back, across minute boundaries; gaps and damaged minutes are skipped.
// Minutes are read when they are reached (and the next one just before), never all at once.
(function () {
  'use strict';
  const SPEEDS = [0.25, 0.5, 1, 2, 4, 8, 16];
  const KEEP_MINUTES = 6;  // read minutes kept, so that stepping back and forth reads nothing again
  const AHEAD = 10;        // seconds before a minute's end at which the next one is read

  class Player {
    // entry: from QV.image; SQL: the sql.js module; onChange(player, what) for the view.
    constructor(entry, SQL, onChange) {
      this.entry = entry;
      this.SQL = SQL;
      this.onChange = onChange;
      this.recorded = QV.image.recordedMinutes(entry);
      this.status = new Map();  // minute -> { damaged, problem, cameras: [..] }
      this.cache = new Map();   // minute -> read minute (most recent last)
      this.loading = new Map(); // minute -> Promise
      this.pos = (this.recorded.length ? this.recorded[0] : entry.start) * 60;
      this.playing = false;
      this.dir = 1;
      this.speed = 1;
      this.cameras = new Set();
      this.ended = false;
    }

    minuteNow() {
      return Math.min(1439, Math.floor(this.pos / 60 + 1e-9));
    }

    // The read minute, or undefined while it is not read yet.
    data(minute) {
      return this.cache.get(minute);
    }

    load(minute) {
      if (this.cache.has(minute)) return Promise.resolve(this.cache.get(minute));
      if (this.loading.has(minute)) return this.loading.get(minute);
      const files = this.entry.minutes.get(minute);
      const p = files.idx.file.arrayBuffer().then(
        (raw) => QV.minute.read(this.SQL, new Uint8Array(raw), files.dat.file.size),
        (e) => ({ damaged: true, problem: 'the index cannot be read: ' + e }),
      ).then((read) => {
        this.loading.delete(minute);
        this.cache.set(minute, read);
        this.evict();
        const cams = read.damaged ? [] : [...read.cameras.keys()];
        const first = !this.status.has(minute);
        this.status.set(minute, { damaged: read.damaged, problem: read.problem || '', cameras: cams });
        let grew = false;
        for (const c of cams) if (!this.cameras.has(c)) { this.cameras.add(c); grew = true; }
        if (first) this.onChange(this, grew ? 'cameras' : 'status');
        return read;
      });
      this.loading.set(minute, p);
      return p;
    }

    // Forgets the oldest read minutes beyond the few kept, never the playing one or its neighbours.
    evict() {
      const now = this.minuteNow();
      for (const m of [...this.cache.keys()]) {
        if (this.cache.size <= KEEP_MINUTES) break;
        if (Math.abs(m - now) > 1) this.cache.delete(m);
      }
    }

    playable(minute) {
      const s = this.status.get(minute);
      return this.entry.minutes.has(minute) && this.recorded.includes(minute) && !(s && s.damaged);
    }

    // The first recorded minute from `minute` on in direction dir that is not known damaged.
    nextRecorded(minute, dir) {
      const list = dir > 0 ? this.recorded : [...this.recorded].reverse();
      return list.find((m) => (dir > 0 ? m >= minute : m <= minute) && this.playable(m));
    }

    // Reads minutes in direction dir from `minute` until one is playable; undefined at the end.
    async resolve(minute, dir) {
      for (;;) {
        const m = this.nextRecorded(minute, dir);
        if (m === undefined) return undefined;
        const read = await this.load(m);
        if (!read.damaged) return m;
        minute = m + dir;
      }
    }

    // Moves the clock by d seconds of recording. Within a read minute it simply moves; into
    // another minute it waits (holding at the boundary) until that minute is read.
    advance(d) {
      const cur = this.minuteNow();
      const target = this.pos + d;
      const m = Math.floor(target / 60);
      const edge = this.dir > 0 ? (cur + 1) * 60 - 1e-3 : cur * 60;
      const inMinute = m === cur;
      if (inMinute) {
        this.pos = target;
      } else {
        const next = this.nextRecorded(this.dir > 0 ? cur + 1 : cur - 1, this.dir);
        if (next === undefined) {
          this.pos = edge;
          this.playing = false;
          this.ended = true;
          this.onChange(this, 'ended');
        } else if (!this.cache.has(next)) {
          this.pos = edge;
          this.load(next);
        } else if (this.cache.get(next).damaged) {
          // Known now; the next call looks past it.
          this.pos = edge;
        } else if (next === m) {
          this.pos = target;
        } else {
          this.pos = this.dir > 0 ? next * 60 : next * 60 + 59.999;
        }
      }
      const sec = this.pos - this.minuteNow() * 60;
      const soon = this.dir > 0 ? sec > 60 - AHEAD : sec < AHEAD;
      if (soon) {
        const ahead = this.nextRecorded(this.minuteNow() + this.dir, this.dir);
        if (ahead !== undefined) this.load(ahead);
      }
    }

    // The picture of camera c due now: { minute, pic, index, list } or null.
    pictureOf(c) {
      const minute = this.minuteNow();
      const read = this.cache.get(minute);
      if (!read || read.damaged) return null;
      const list = read.cameras.get(c);
      if (!list || !list.length) return null;
      let i = QV.minute.pictureAt(list, this.pos - minute * 60);
      if (i < 0) i = 0;
      return { minute, pic: list[i], index: i, list, base: read.base };
    }

    async seek(minute) {
      const m = await this.resolve(minute, 1) ?? await this.resolve(minute, -1);
      if (m === undefined) return;
      const read = this.cache.get(m);
      let first = 60;
      for (const list of read.cameras.values()) if (list.length) first = Math.min(first, list[0].t);
      this.pos = m * 60 + (first < 60 ? first : 0);
      this.ended = false;
      this.onChange(this, 'seek');
    }

    // One picture of camera c forward (dir 1) or back (-1), across minutes; pauses.
    async step(c, dir) {
      this.playing = false;
      const now = this.pictureOf(c);
      if (now) {
        const j = now.index + dir;
        if (j >= 0 && j < now.list.length) {
          this.pos = now.minute * 60 + now.list[j].t;
          this.onChange(this, 'step');
          return true;
        }
      }
      let minute = this.minuteNow() + dir;
      for (;;) {
        const m = await this.resolve(minute, dir);
        if (m === undefined) return false;
        const list = this.cache.get(m).cameras.get(c);
        if (list && list.length) {
          this.pos = m * 60 + list[dir > 0 ? 0 : list.length - 1].t;
          this.onChange(this, 'step');
          return true;
        }
        minute = m + dir;
      }
    }

    play(dir) {
      if (this.ended && dir === this.dir) return;
      this.dir = dir;
      this.ended = false;
      this.playing = true;
      this.onChange(this, 'play');
    }

    pause() {
      this.playing = false;
      this.onChange(this, 'pause');
    }

    setSpeed(speed) {
      this.speed = speed;
      this.onChange(this, 'speed');
    }

    // Reads every recorded minute once, in order and one at a time, so that the time line
    // learns which are damaged; a minute being played is never kept waiting for it.
    async scan(stopped) {
      for (const m of this.recorded) {
        if (stopped()) return;
        if (this.status.has(m)) continue;
        await new Promise((r) => setTimeout(r, 0));
        const had = this.cache.has(m);
        await this.load(m);
        if (!had && Math.abs(m - this.minuteNow()) > 1) this.cache.delete(m);
      }
    }
  }

  QV.define('Player', Player);
  QV.Player.SPEEDS = SPEEDS;
})();
