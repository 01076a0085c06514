// The page's side of WebAudioBackend (web_audio_backend.h states the
// contract): an emscripten JavaScript library linked into the player.
// State lives in Module.tolvaniAudio so that tests and the page can read it.
mergeInto(LibraryManager.library, {
  $TolvaniAudio: {
    // Sample types, as WebAudioBackend::SampleType numbers them.
    kU8: 0, kS16: 1, kS24: 2, kS32: 3, kF32: 4, kF64: 5,
    // Left and right weights of each channel in the stereo mix of 3 to 8
    // channels, in the WAVE channel order (the OpenAL backend's downmix:
    // centre at -3 dB, LFE left out).
    kDownmix: (function () {
      var h = Math.SQRT1_2;
      return {
        3: [[1, 0], [0, 1], [h, h]],
        4: [[1, 0], [0, 1], [h, 0], [0, h]],
        5: [[1, 0], [0, 1], [h, h], [h, 0], [0, h]],
        6: [[1, 0], [0, 1], [h, h], [0, 0], [h, 0], [0, h]],
        7: [[1, 0], [0, 1], [h, h], [0, 0], [0.5, 0.5], [h, 0], [0, h]],
        8: [[1, 0], [0, 1], [h, h], [0, 0], [h, 0], [0, h], [h, 0], [0, h]],
      };
    })(),
    // Rates every Web Audio implementation takes for a buffer.
    kSafeLowRate: 8000,
    kSafeHighRate: 96000,

    state: function () {
      if (!Module.tolvaniAudio) {
        Module.tolvaniAudio = { context: null, failed: false, starts: 0, nextId: 1, backends: {}, listening: false };
      }
      return Module.tolvaniAudio;
    },
    // The browser's AudioContext constructor, or undefined.
    contextType: function () {
      return globalThis.AudioContext || globalThis.webkitAudioContext;
    },
    available: function () {
      return typeof TolvaniAudio.contextType() === 'function' ||
        typeof Module.tolvaniMakeAudioContext === 'function';
    },
    // The page's context, made on first need; null when it cannot be made.
    context: function () {
      var s = TolvaniAudio.state();
      if (s.context || s.failed) return s.context;
      try {
        var make = Module.tolvaniMakeAudioContext;
        var Type = TolvaniAudio.contextType();
        s.context = make ? make() : new Type();
      } catch (e) {
        console.warn('tolvani: no sound (' + e + ')');
        s.failed = true;
        s.context = null;
      }
      return s.context;
    },
    // The backend's master gain node, connected once the context exists.
    master: function (backend) {
      if (backend.master) return backend.master;
      var context = TolvaniAudio.context();
      if (!context) return null;
      backend.master = context.createGain();
      backend.master.gain.value = backend.gain;
      backend.master.connect(context.destination);
      return backend.master;
    },
    onGesture: function () {
      var context = TolvaniAudio.context();
      if (context && context.state === 'suspended' && context.resume) context.resume().catch(function () {});
    },
    listen: function () {
      var s = TolvaniAudio.state();
      if (s.listening || typeof document === 'undefined') return;
      s.listening = true;
      ['pointerdown', 'keydown', 'touchstart'].forEach(function (type) {
        document.addEventListener(type, TolvaniAudio.onGesture, { capture: true, passive: true });
      });
    },
    voice: function (id, handle) {
      var backend = TolvaniAudio.state().backends[id];
      if (!backend) return null;
      var voices = backend.voices;
      if (!voices.has(handle)) {
        voices.set(handle, { buffer: null, loop: false, rateScale: 1, node: null, startedAt: 0, held: null });
      }
      return voices.get(handle);
    },
    // A typed array over `count` samples at ptr; copied first when ptr is
    // not aligned for the type (the copy holds only those samples).
    view: function (Type, ptr, count) {
      var bytes = count * Type.BYTES_PER_ELEMENT;
      if (ptr % Type.BYTES_PER_ELEMENT === 0) return new Type(HEAPU8.buffer, ptr, count);
      return new Type(HEAPU8.slice(ptr, ptr + bytes).buffer, 0, count);
    },
    // A function giving sample i (frames x channels interleaved) as a float.
    reader: function (type, ptr, count) {
      var T = TolvaniAudio;
      var v;
      switch (type) {
        case T.kU8:
          v = HEAPU8.subarray(ptr, ptr + count);
          return function (i) { return (v[i] - 128) / 128; };
        case T.kS16:
          v = T.view(Int16Array, ptr, count);
          return function (i) { return v[i] / 32768; };
        case T.kS24:
          v = HEAPU8.subarray(ptr, ptr + count * 3);
          return function (i) {
            var o = i * 3;
            return ((v[o] << 8 | v[o + 1] << 16 | v[o + 2] << 24) >> 8) / 8388608;
          };
        case T.kS32:
          v = T.view(Int32Array, ptr, count);
          return function (i) { return v[i] / 2147483648; };
        case T.kF32:
          v = T.view(Float32Array, ptr, count);
          return function (i) { var x = v[i]; return isFinite(x) ? x : 0; };
        default:
          v = T.view(Float64Array, ptr, count);
          return function (i) { var x = v[i]; return isFinite(x) ? Math.max(-1e30, Math.min(1e30, x)) : 0; };
      }
    },
    // An AudioBuffer for frames at rate, and the playback rate that plays it
    // at that rate: {buffer, rateScale}; throws when the browser refuses.
    makeBuffer: function (channels, frames, rate) {
      var T = TolvaniAudio;
      var make = function (r) {
        var options = { numberOfChannels: channels, length: frames, sampleRate: r };
        if (typeof AudioBuffer === 'function') {
          try {
            return new AudioBuffer(options);
          } catch (e) {
            if (e && e.name !== 'NotSupportedError') throw e;
            return null;
          }
        }
        var context = T.context();
        if (!context) throw new Error('no audio context');
        try {
          return context.createBuffer(channels, frames, r);
        } catch (e) {
          if (e && e.name !== 'NotSupportedError') throw e;
          return null;
        }
      };
      var buffer = make(rate);
      if (buffer) return { buffer: buffer, rateScale: 1 };
      var safe = rate < T.kSafeLowRate ? T.kSafeLowRate : T.kSafeHighRate;
      buffer = make(safe);
      if (!buffer) throw new Error('sample rate ' + rate + ' refused');
      return { buffer: buffer, rateScale: rate / safe };
    },
    stopNode: function (voice) {
      var node = voice.node;
      if (!node) return;
      voice.node = null;
      node.onended = null;
      try {
        node.stop();
      } catch (e) {
        // never started or already stopped
      }
      node.disconnect();
    },
    // Starts voice's buffer at offset seconds of buffer time.
    play: function (backend, voice, offset) {
      var master = TolvaniAudio.master(backend);
      if (!master || !voice.buffer) return;
      var context = master.context;
      var node = context.createBufferSource();
      node.buffer = voice.buffer;
      node.loop = voice.loop;
      node.playbackRate.value = voice.rateScale;
      node.connect(master);
      node.onended = function () {
        if (voice.node === node) {
          voice.node = null;
          node.disconnect();
        }
      };
      node.start(context.currentTime, offset);
      voice.node = node;
      voice.startedAt = context.currentTime - offset / voice.rateScale;
      TolvaniAudio.state().starts += 1;
    },
  },

  tolvani_audio_open__deps: ['$TolvaniAudio'],
  tolvani_audio_open: function () {
    if (!TolvaniAudio.available()) return 0;
    var s = TolvaniAudio.state();
    var id = s.nextId++;
    s.backends[id] = { gain: 1, master: null, voices: new Map() };
    TolvaniAudio.listen();
    return id;
  },

  tolvani_audio_close__deps: ['$TolvaniAudio'],
  tolvani_audio_close: function (id) {
    var s = TolvaniAudio.state();
    var backend = s.backends[id];
    if (!backend) return;
    backend.voices.forEach(function (voice) { TolvaniAudio.stopNode(voice); });
    if (backend.master) backend.master.disconnect();
    delete s.backends[id];
  },

  tolvani_audio_destroy__deps: ['$TolvaniAudio'],
  tolvani_audio_destroy: function (id, handle) {
    handle >>>= 0;
    var voice = TolvaniAudio.voice(id, handle);
    if (!voice) return;
    TolvaniAudio.stopNode(voice);
    TolvaniAudio.state().backends[id].voices.delete(handle);
  },

  tolvani_audio_submit__deps: ['$TolvaniAudio'],
  tolvani_audio_submit: function (id, handle, ptr, frames, channels, type, rate, loop) {
    var T = TolvaniAudio;
    var voice = T.voice(id, handle >>> 0);
    if (!voice) return 2;
    if (voice.node) return 1;
    ptr >>>= 0;
    frames >>>= 0;
    var weights = channels > 2 ? T.kDownmix[channels] : null;
    var made;
    try {
      made = T.makeBuffer(weights ? 2 : channels, frames, rate >>> 0);
    } catch (e) {
      console.warn('tolvani: sound buffer refused (' + e + ')');
      return 2;
    }
    var read = T.reader(type, ptr, frames * channels);
    var i, c, k, at;
    if (weights) {
      var left = made.buffer.getChannelData(0);
      var right = made.buffer.getChannelData(1);
      for (i = 0, at = 0; i < frames; ++i, at += channels) {
        var l = 0, r = 0;
        for (k = 0; k < channels; ++k) {
          var x = read(at + k);
          l += weights[k][0] * x;
          r += weights[k][1] * x;
        }
        left[i] = l;
        right[i] = r;
      }
    } else {
      for (c = 0; c < channels; ++c) {
        var out = made.buffer.getChannelData(c);
        for (i = 0, at = c; i < frames; ++i, at += channels) out[i] = read(at);
      }
    }
    voice.buffer = made.buffer;
    voice.rateScale = made.rateScale;
    voice.loop = loop !== 0;
    voice.held = null;
    return 0;
  },

  tolvani_audio_flush__deps: ['$TolvaniAudio'],
  tolvani_audio_flush: function (id, handle) {
    var voice = TolvaniAudio.voice(id, handle >>> 0);
    // A playing voice keeps its data, as an OpenAL source does.
    if (voice && !voice.node) {
      voice.buffer = null;
      voice.held = null;
    }
  },

  tolvani_audio_start__deps: ['$TolvaniAudio'],
  tolvani_audio_start: function (id, handle) {
    var voice = TolvaniAudio.voice(id, handle >>> 0);
    if (!voice) return;
    TolvaniAudio.stopNode(voice);
    voice.held = null;
    TolvaniAudio.play(TolvaniAudio.state().backends[id], voice, 0);
  },

  tolvani_audio_stop__deps: ['$TolvaniAudio'],
  tolvani_audio_stop: function (id, handle) {
    var voice = TolvaniAudio.voice(id, handle >>> 0);
    if (!voice) return;
    TolvaniAudio.stopNode(voice);
    voice.held = null;
  },

  tolvani_audio_gain__deps: ['$TolvaniAudio'],
  tolvani_audio_gain: function (id, gain) {
    var backend = TolvaniAudio.state().backends[id];
    if (!backend) return;
    backend.gain = gain;
    if (backend.master) backend.master.gain.value = gain;
  },

  tolvani_audio_pause__deps: ['$TolvaniAudio'],
  tolvani_audio_pause: function (id, paused) {
    var T = TolvaniAudio;
    var backend = T.state().backends[id];
    if (!backend) return;
    backend.voices.forEach(function (voice) {
      if (paused) {
        if (!voice.node) return;
        var context = voice.node.context;
        var duration = voice.buffer.duration;
        var at = (context.currentTime - voice.startedAt) * voice.rateScale;
        T.stopNode(voice);
        if (voice.loop) at = duration > 0 ? at % duration : 0;
        else if (at >= duration) return; // it had ended
        voice.held = Math.max(0, at);
      } else if (voice.held !== null) {
        var offset = voice.held;
        voice.held = null;
        T.play(backend, voice, offset);
      }
    });
  },
});
