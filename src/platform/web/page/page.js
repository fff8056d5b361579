// The page around the show: the title and its "Click to start", the canvas at the largest whole
// scale, the clock that stands still while the page is hidden, the keys, the sound through
// WebAudio, and the offer to play again. The show itself runs in the wasm module (stream8.js),
// which calls the `page` object below.
//
// index.html?test also keeps "NAME HASH" of every presented frame in window.stream8Log, the phase
// moments in window.stream8Phases, the sound's hash log in window.stream8Sound, the tick's length
// in window.stream8Tick, and sets the title to "stream8: ended" when the show has ended by itself;
// other pages set no globals.
'use strict';

(function () {
  const SAMPLE_RATE = 48000;
  const RAMP_S = 0.06;      // an early end ramps the music to silence, as on the desktop
  const W = 640, H = 480;

  const test = new URLSearchParams(location.search).has('test');
  const canvas = document.getElementById('show');
  const context = canvas.getContext('2d', { alpha: false });
  const image = context.createImageData(W, H);
  const overlay = document.getElementById('overlay');
  const message = document.getElementById('message');
  const detail = document.getElementById('detail');

  // What a run leaves for the tests to read (as window.stream8*, under ?test only); each run
  // starts them anew.
  let logs = null;
  function clearRunLogs() {
    logs = {
      frames: [], phases: [], sound: [], late: 0,
      audio: { scheduled: 0, resyncs: 0, firstLead: null, maxLead: 0, clockRan: 0 },
      timing: { frames: 0, totalMs: 0, maxMs: 0, over8: 0, slow: [] },
    };
    publishLogs();
  }
  function publishLogs() {
    if (!test) return;
    window.stream8Log = logs.frames;
    window.stream8Phases = logs.phases;
    window.stream8Sound = logs.sound;
    window.stream8Audio = logs.audio;
    window.stream8Late = logs.late;
    window.stream8Timing = logs.timing;
  }
  clearRunLogs();

  let state = 'title';   // title, running, ended, refused
  let tickS = 0;         // seconds a tick lasts, as the module tells
  let audio = null;      // the AudioContext, made on the first gesture
  let gain = null;
  let sources = [];
  let audioStartedAt = 0;  // context time when this run began
  let nextSound = null;  // context time where the last frame's sound ends
  let audioOffset = null;  // the audio clock less the page's, as last seen just after a step
  let offsetSeenAt = 0;
  let escDown = false;
  let endedEarly = false;
  let hiddenSince = null;
  let hiddenTotal = 0;
  let wake = null;

  // --- The clock: the page's time, standing still while it is hidden ---
  function now() {
    const t = performance.now();
    return t - hiddenTotal - (hiddenSince !== null ? t - hiddenSince : 0);
  }
  document.addEventListener('visibilitychange', function () {
    if (document.hidden && hiddenSince === null) {
      hiddenSince = performance.now();
      if (audio) audio.suspend().catch(function () {});
    } else if (!document.hidden && hiddenSince !== null) {
      hiddenTotal += performance.now() - hiddenSince;
      hiddenSince = null;
      if (audio && state === 'running') {
        audioOffset = null;  // the audio clock stood still: measure it anew
        audio.resume().catch(function () {});
      }
    }
  });

  function wakeUp() {
    if (wake) {
      const w = wake;
      wake = null;
      w();
    }
  }
  const channel = new MessageChannel();
  const yields = [];
  channel.port1.onmessage = function () { const r = yields.shift(); if (r) r(); };

  // --- Placement: the largest whole scale that fits in device pixels, centred on black ---
  function place() {
    const dpr = window.devicePixelRatio || 1;
    const dw = Math.round(window.innerWidth * dpr), dh = Math.round(window.innerHeight * dpr);
    const k = Math.floor(Math.min(dw / W, dh / H));
    let w, h;
    if (k >= 1) {
      w = W * k;
      h = H * k;
    } else {
      // Smaller than the show: it fits, keeping its shape.
      const s = Math.min(dw / W, dh / H);
      w = Math.max(1, Math.floor(W * s));
      h = Math.max(1, Math.floor(H * s));
    }
    const left = Math.floor((dw - w) / 2), top = Math.floor((dh - h) / 2);
    canvas.style.width = (w / dpr) + 'px';
    canvas.style.height = (h / dpr) + 'px';
    // Moved by a transform: a left or top in fractions of a CSS pixel (a device pixel ratio of 1.5
    // or 1.25) is laid out in steps of 1/64 and lets the picture's edge smear into the next
    // device pixel; a translation lands on the device pixel.
    canvas.style.transform = 'translate(' + (left / dpr) + 'px,' + (top / dpr) + 'px)';
  }
  window.addEventListener('resize', place);

  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(function () {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(function () {});
    }
  }

  // --- Input ---
  function gesture(event) {
    if (state === 'title' || state === 'ended') {
      if (event) event.preventDefault();
      start();
    }
  }
  overlay.addEventListener('click', gesture);
  overlay.addEventListener('touchend', gesture);
  window.addEventListener('keydown', function (event) {
    if (event.key === 'Escape') {
      escDown = true;
      wakeUp();
      return;
    }
    if (state === 'running' && (event.key === 'f' || event.key === 'F')) {
      toggleFullScreen();
      return;
    }
    if (!event.repeat && !event.ctrlKey && !event.altKey && !event.metaKey) gesture(event);
  });
  window.addEventListener('keyup', function (event) {
    if (event.key === 'Escape') escDown = false;
  });
  window.addEventListener('blur', function () { escDown = false; });
  canvas.addEventListener('dblclick', toggleFullScreen);

  function showOverlay(kind, text, more) {
    overlay.className = kind;
    message.textContent = text;
    detail.textContent = more || '';
    overlay.hidden = false;
  }

  // --- Sound ---
  function stopSound(early) {
    if (!audio || !gain) return;
    if (early) {
      const t = audio.currentTime;
      gain.gain.setValueAtTime(gain.gain.value, t);
      gain.gain.linearRampToValueAtTime(0, t + RAMP_S);
      const end = t + RAMP_S;
      sources.forEach(function (s) { try { s.stop(end); } catch (e) { /* not started */ } });
    }
    sources = [];
  }

  // The audio clock at this moment. currentTime moves in steps of the output's buffer (10 ms in
  // Chromium), so read alone it lags by up to a step, and a frame's sound would now and then be
  // judged off its picture and started anew (a click). Its offset from the page's clock as seen
  // just after a step is the clock between steps: the largest offset seen is held, let fall
  // behind by 0.5 ms a second in case the two clocks drift apart.
  function audioNow() {
    const page = performance.now() / 1000;
    const seen = audio.currentTime - page;
    const held = audioOffset === null ? -Infinity : audioOffset - (page - offsetSeenAt) * 0.0005;
    if (seen >= held) {
      audioOffset = seen;
      offsetSeenAt = page;
      return page + seen;
    }
    return page + held;
  }

  // --- What the module calls ---
  const page = {
    test: test,
    tick: function (seconds) {
      tickS = seconds;
      if (test) window.stream8Tick = seconds;
    },
    now: now,
    paused: function () { return hiddenSince !== null; },
    escHeld: function () { return escDown; },
    sleep: function (ms) {
      return new Promise(function (resolve) {
        wake = resolve;
        setTimeout(wakeUp, ms);
      });
    },
    yieldNow: function () {
      return new Promise(function (resolve) {
        yields.push(resolve);
        channel.port2.postMessage(0);
      });
    },
    present: function (rgba, line) {
      image.data.set(rgba);
      context.putImageData(image, 0, 0);
      if (line !== null) logs.frames.push(line);
    },
    phase: function (name, seconds) {
      logs.phases.push([name, seconds]);
      if (name === 'esc') endedEarly = true;
    },
    sound: function (samples, frames) {
      if (!audio) return;
      // Each frame's sound follows the last one's without a gap while that keeps it within a tick
      // of its frame going to the screen (now); otherwise, a page that fell behind or a clock
      // that drifted, it starts anew half a tick from now.
      const now = audioNow();
      let when = nextSound;
      // A frame's sound starts half a tick after it goes to the canvas.
      if (when === null || when < now || when > now + tickS) {
        if (when !== null) logs.audio.resyncs++;
        when = now + tickS / 2;
      }
      const stats = logs.audio;
      if (stats.firstLead === null) stats.firstLead = when - now;
      stats.maxLead = Math.max(stats.maxLead, when - now);
      const buffer = audio.createBuffer(2, frames, SAMPLE_RATE);
      const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
      for (let i = 0; i < frames; i++) {
        left[i] = samples[2 * i] / 32768;
        right[i] = samples[2 * i + 1] / 32768;
      }
      const source = audio.createBufferSource();
      source.buffer = buffer;
      source.connect(gain);
      source.start(when);
      nextSound = when + frames / SAMPLE_RATE;
      stats.scheduled++;
      sources.push(source);
      source.onended = function () {
        const i = sources.indexOf(source);
        if (i >= 0) sources.splice(i, 1);
      };
    },
    frameCost: function (ms) {
      const t = logs.timing;
      t.frames++;
      t.totalMs += ms;
      if (ms > t.maxMs) t.maxMs = ms;
      if (ms > 8) {
        t.over8++;
        // Which frame: its place in the test mode's log, which it is about to join.
        if (t.slow.length < 100) t.slow.push([logs.frames.length, ms]);
      }
    },
    late: function () {
      logs.late++;
      publishLogs();
    },
    endMusic: function (early) {
      stopSound(early);
    },
    fatal: function (text) {
      state = 'refused';
      canvas.hidden = true;
      showOverlay('error', 'The show cannot start', text);
    },
    note: function (text) {
      detail.textContent = text;
    },
    soundLog: function (line) {
      logs.sound.push(line);
    },
    done: function (status) {
      if (state === 'refused') return;
      state = 'ended';
      if (audio) logs.audio.clockRan = audio.currentTime - audioStartedAt;
      canvas.hidden = true;
      if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
      showOverlay('', 'Play again', endedEarly ? '' : 'The end');
      if (test && !endedEarly && status === 0) document.title = 'stream8: ended';
    },
  };

  function start() {
    state = 'running';
    endedEarly = false;
    escDown = false;
    clearRunLogs();
    if (!audio) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (Context) {
        audio = new Context({ sampleRate: SAMPLE_RATE });
      }
    }
    if (audio) {
      audio.resume().catch(function () {});
      audioStartedAt = audio.currentTime;
      nextSound = null;
      audioOffset = null;
      if (gain) gain.disconnect();  // the last run's, ramped to silence or done
      gain = audio.createGain();
      gain.connect(audio.destination);
    }
    overlay.hidden = true;
    context.fillStyle = '#000';
    context.fillRect(0, 0, W, H);
    canvas.hidden = false;
    place();
    // A new instance for every run: the show starts from its first state.
    createStream8({
      page: page,
      print: function () {},
      // The module's own diagnostics; what the viewer should read comes through page.note.
      printErr: function (text) { console.error(text); },
    }).catch(function (error) {
      page.fatal('the show could not be loaded: ' + error);
    });
  }

  showOverlay('', 'Click to start');
  overlay.focus();
})();
