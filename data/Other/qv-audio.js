// The focused camera's sound: its channel's audio file of the playing minute (8 kHz, unsigned
// 8-bit samples), played forward in step with the pictures at the playing speed.
(function () {
  'use strict';
  const RATE = 8000;
  const DRIFT = 0.3;  // seconds the sound may lag or lead before it is started again in place

  // Unsigned 8-bit samples as the floats an audio buffer holds.
  function samples(bytes) {
    const out = new Float32Array(bytes.length);
    for (let i = 0; i < bytes.length; i++) out[i] = (bytes[i] - 128) / 128;
    return out;
  }

  class AudioTrack {
    constructor() {
      this.context = null;
      this.enabled = true;
      this.buffers = new Map();  // rel -> Promise<AudioBuffer>
      this.playing = null;       // { rel, source, startedAt, offset, speed }
      this.state = 'off';
    }

    ensureContext() {
      if (!this.context) {
        const Ctx = window.AudioContext || window.webkitAudioContext;
        if (Ctx) this.context = new Ctx();
      }
      if (this.context && this.context.state === 'suspended') this.context.resume();
      return this.context;
    }

    buffer(audio) {
      if (!this.buffers.has(audio.rel)) {
        if (this.buffers.size > 8) this.buffers.delete(this.buffers.keys().next().value);
        this.buffers.set(audio.rel, audio.file.arrayBuffer().then((raw) => {
          const data = samples(new Uint8Array(raw));
          const buf = this.context.createBuffer(1, Math.max(1, data.length), RATE);
          buf.copyToChannel(data, 0);
          return buf;
        }));
      }
      return this.buffers.get(audio.rel);
    }

    stop(state) {
      if (this.playing) {
        try { this.playing.source.stop(); } catch (e) { /* already ended */ }
        this.playing = null;
      }
      this.state = state;
    }

    // audio: { file, rel } of the minute and channel, or null; offset: seconds into the minute.
    update(audio, offset, speed, forward, playing) {
      if (!this.enabled) return this.stop('muted');
      if (!playing || !forward) return this.stop(playing ? 'silent while reversing' : 'paused');
      if (!audio) return this.stop('no audio for this camera and minute');
      if (!this.ensureContext()) return this.stop('this browser plays no sound');
      const p = this.playing;
      if (p && p.rel === audio.rel && p.speed === speed) {
        const heard = p.offset + (this.context.currentTime - p.startedAt) * speed;
        if (Math.abs(heard - offset) < DRIFT) return;
      }
      if (p && p.pending === audio.rel) return;
      this.stop('loading');
      const pending = { pending: audio.rel };
      this.playing = pending;
      this.buffer(audio).then((buf) => {
        if (this.playing !== pending) return;
        const source = this.context.createBufferSource();
        source.buffer = buf;
        source.playbackRate.value = speed;
        source.connect(this.context.destination);
        const at = Math.min(Math.max(0, offset), buf.duration);
        source.start(0, at);
        this.playing = { rel: audio.rel, source, startedAt: this.context.currentTime, offset: at, speed, samples: buf.length };
        this.state = 'playing';
      }, () => {
        if (this.playing === pending) this.stop('the audio file cannot be read');
      });
    }
  }

  QV.define('AudioTrack', AudioTrack);
  QV.AudioTrack.samples = samples;
})();
