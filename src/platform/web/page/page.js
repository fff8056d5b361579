// The page around the show: the title with its loading bar and "Click to start", the files
// fetched as the page opens, plain words for what keeps the show from starting, the canvas at
// the largest whole scale or filling the screen, the clock that stands still while the page is
// hidden, the keys, the sound through WebAudio, and the offer to play again. The show itself
// runs in the wasm module (stream8.js), which calls the `page` object below.
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
  const loading = document.getElementById('loading');
  const bar = document.getElementById('bar');
  const fillCanvas = document.getElementById('fill');
  const fillContext = fillCanvas.getContext('2d', { alpha: false });
  const scaleButton = document.getElementById('scale');

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
  let fill = true;        // the viewer's choice: fill the screen where the whole scale leaves much unused
  let filling = false;    // the picture is in #fill now
  let screenLock = null;  // the screen wake lock while the show runs
  let idleTimer = 0;

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
      if (state === 'running') holdScreen();
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

  // --- Placement: the largest whole scale that fits in device pixels, centred on black; where
  // that leaves more than a quarter of the limiting side unused, the largest 4:3 that fits ---
  function place() {
    const dpr = window.devicePixelRatio || 1;
    // The layout viewport: the canvases are fixed and sized here, so they never widen it.
    const root = document.documentElement;
    const dw = Math.round(root.clientWidth * dpr), dh = Math.round(root.clientHeight * dpr);
    const fits = Math.min(dw / W, dh / H);
    const k = Math.floor(fits);
    const fillMatters = k >= 1 && k / fits < 0.75;
    filling = fillMatters && fill && state === 'running';
    scaleButton.hidden = !fillMatters || state !== 'running';
    scaleButton.textContent = fill ? '1:1' : 'fill';
    let w, h;
    if (k >= 1 && !filling) {
      w = W * k;
      h = H * k;
    } else {
      // Smaller than the show, or filling: it fits, keeping its shape.
      w = Math.max(1, Math.min(dw, Math.floor(W * fits)));
      h = Math.max(1, Math.min(dh, Math.round(w * H / W)));
    }
    const shown = filling ? fillCanvas : canvas;
    if (filling) {
      if (fillCanvas.width !== W * (k + 1)) {
        fillCanvas.width = W * (k + 1);
        fillCanvas.height = H * (k + 1);
      }
      copyToFill();  // the frame on the screen now, not the one it showed when last filling
    }
    const left = Math.floor((dw - w) / 2), top = Math.floor((dh - h) / 2);
    shown.style.width = (w / dpr) + 'px';
    shown.style.height = (h / dpr) + 'px';
    // Moved by a transform: a left or top in fractions of a CSS pixel (a device pixel ratio of 1.5
    // or 1.25) is laid out in steps of 1/64 and lets the picture's edge smear into the next
    // device pixel; a translation lands on the device pixel.
    shown.style.transform = 'translate(' + (left / dpr) + 'px,' + (top / dpr) + 'px)';
    if (state === 'running') {
      canvas.hidden = filling;
      fillCanvas.hidden = !filling;
    }
  }
  // The picture at the next whole scale up, each show pixel a block, for the browser to smooth.
  function copyToFill() {
    fillContext.imageSmoothingEnabled = false;
    fillContext.drawImage(canvas, 0, 0, fillCanvas.width, fillCanvas.height);
  }
  function toggleFill() {
    fill = !fill;
    place();
  }
  scaleButton.addEventListener('click', function (event) {
    event.stopPropagation();
    toggleFill();
  });
  function hideCanvases() {
    canvas.hidden = true;
    fillCanvas.hidden = true;
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
    if (event.key === 's' || event.key === 'S') {
      if (!event.repeat) toggleFill();
      return;
    }
    if (!event.repeat && !event.ctrlKey && !event.altKey && !event.metaKey) gesture(event);
  });
  window.addEventListener('keyup', function (event) {
    if (event.key === 'Escape') escDown = false;
  });
  window.addEventListener('blur', function () { escDown = false; });
  canvas.addEventListener('dblclick', toggleFullScreen);
  fillCanvas.addEventListener('dblclick', toggleFullScreen);

  // The pointer (and the scale button) hide after a moment without movement while the show runs.
  function stirred() {
    document.body.classList.remove('idle');
    clearTimeout(idleTimer);
    if (state === 'running') {
      idleTimer = setTimeout(function () {
        if (state === 'running') document.body.classList.add('idle');
      }, 2000);
    }
  }
  window.addEventListener('pointermove', stirred);
  window.addEventListener('pointerdown', stirred);

  // The screen stays awake while the show runs, where the browser offers a wake lock; one lost
  // to a hidden tab is taken again when the page is shown.
  function holdScreen() {
    if (screenLock || !navigator.wakeLock || document.hidden) return;
    navigator.wakeLock.request('screen').then(function (lock) {
      if (state !== 'running') {
        lock.release().catch(function () {});
        return;
      }
      screenLock = lock;
      lock.addEventListener('release', function () {
        if (screenLock === lock) screenLock = null;
      });
    }).catch(function () {});
  }
  function releaseScreen() {
    if (screenLock) screenLock.release().catch(function () {});
    screenLock = null;
  }

  function showOverlay(kind, text, more) {
    overlay.className = kind + (prepared && prepared.ready && kind !== 'error' ? ' ready' : '');
    message.textContent = text;
    detail.textContent = more || '';
    overlay.hidden = false;
  }
  function leaveShow() {
    hideCanvases();
    scaleButton.hidden = true;
    clearTimeout(idleTimer);
    document.body.classList.remove('idle');
    releaseScreen();
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
      if (filling) copyToFill();
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
      leaveShow();
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
      leaveShow();
      if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
      showOverlay('', 'Play again', endedEarly ? '' : 'The end');
      if (test && !endedEarly && status === 0) document.title = 'stream8: ended';
      setTimeout(prepare, 0);
    },
  };

  // --- The files: fetched as the page opens, their bytes counted on the title ---
  const WASM = 'stream8.wasm', DATA = 'stream8.data';
  let files = null;       // { wasm: a compiled WebAssembly.Module, data: an ArrayBuffer }
  let startWanted = false;

  function refuse(text, more) {
    if (state === 'refused') return;
    state = 'refused';
    leaveShow();
    showOverlay('error', text, more);
  }

  // One file's bytes; received(n, total) as they come (total 0 where the server does not say).
  function fetchFile(name, received) {
    return fetch(name).then(function (response) {
      if (!response.ok) {
        throw new Error(name + ' is missing: the server answered "' + response.status + ' ' +
                        response.statusText + '" for it. Copy the whole page folder again.');
      }
      const total = Number(response.headers.get('Content-Length')) || 0;
      received(0, total);
      if (!response.body || !response.body.getReader) {
        return response.arrayBuffer().then(function (b) { received(b.byteLength, total); return b; });
      }
      const reader = response.body.getReader();
      const parts = [];
      let got = 0;
      function more() {
        return reader.read().then(function (r) {
          if (r.done) {
            const all = new Uint8Array(got);
            let at = 0;
            parts.forEach(function (p) { all.set(p, at); at += p.length; });
            return all.buffer;
          }
          parts.push(r.value);
          got += r.value.length;
          received(got, total);
          return more();
        });
      }
      return more();
    }, function () {
      throw new Error(name + ' could not be fetched: the server did not answer.');
    });
  }

  // A small module that uses a SIMD instruction: valid only where the browser runs SIMD.
  const SIMD_PROBE = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
                                     10, 10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]);

  function mb(bytes) { return (bytes / 1e6).toFixed(1); }

  function load() {
    if (location.protocol === 'file:') {
      return refuse('This page must be served by a web server',
                    'Browsers do not let a page opened as a file load its show. In the page\'s ' +
                    'folder run:  python3 -m http.server 8000  and open http://localhost:8000/');
    }
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.validate !== 'function') {
      return refuse('This browser cannot run the show',
                    'It needs WebAssembly, which this browser does not offer. A current Chrome, ' +
                    'Firefox, Safari or Edge runs it.');
    }
    if (!WebAssembly.validate(SIMD_PROBE)) {
      return refuse('This browser cannot run the show',
                    'It needs WebAssembly SIMD, which this browser does not offer. A current ' +
                    'Chrome, Firefox, Safari or Edge runs it.');
    }
    if (!(window.AudioContext || window.webkitAudioContext)) {
      return refuse('This browser cannot run the show',
                    'It needs WebAudio for the music, which this browser does not offer.');
    }
    if (typeof createStream8 !== 'function') {
      return fetch('stream8.js').then(function (r) {
        refuse('The show cannot start', r.ok ? 'stream8.js is damaged: the browser cannot run it. ' +
               'Copy the whole page folder again.' : 'stream8.js is missing: the server answered "' +
               r.status + ' ' + r.statusText + '" for it. Copy the whole page folder again.');
      }, function () {
        refuse('The show cannot start', 'stream8.js could not be fetched: the server did not answer.');
      });
    }
    const got = {}, totals = {};
    function progress(name) {
      return function (n, total) {
        got[name] = n;
        totals[name] = total ? Math.max(total, n) : 0;
        const have = (got[WASM] || 0) + (got[DATA] || 0);
        // The whole only once both servers' answers have said their lengths.
        const whole = totals[WASM] && totals[DATA] ? totals[WASM] + totals[DATA] : 0;
        bar.style.width = (whole ? Math.min(100, 100 * have / whole) : 0) + '%';
        loading.textContent = 'loading ' + mb(have) + (whole ? ' of ' + mb(whole) : '') + ' MB';
      };
    }
    const wasm = fetchFile(WASM, progress(WASM)).then(function (bytes) {
      return WebAssembly.compile(bytes).catch(function () {
        throw new Error(WASM + ' is damaged: it is not a program this browser can run. ' +
                        'Copy the whole page folder again.');
      });
    });
    const data = fetchFile(DATA, progress(DATA));
    return Promise.all([wasm, data]).then(function (both) {
      files = { wasm: both[0], data: both[1] };
      loading.textContent = 'getting ready';
      prepare();
    }, function (error) {
      refuse('The show cannot start', error.message);
    });
  }

  function start() {
    if (state === 'refused') return;
    makeAudio();  // the gesture is here: the sound may start now
    run();
  }

  function makeAudio() {
    if (!audio) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (Context) audio = new Context({ sampleRate: SAMPLE_RATE });
    }
    if (audio) audio.resume().catch(function () {});
  }

  // The next run's instance, made as soon as the files are in (and again after each run): it
  // checks and decodes the pictures, renders the music and warms the drawing up, then waits here
  // for the click. A new instance for every run: the show starts from its first state.
  let prepared = null;  // { ready: waiting for the click, go: lets it start }
  function prepare() {
    if (state === 'refused' || prepared || !files) return;
    const next = { ready: false, go: null };
    const started = new Promise(function (resolve) { next.go = resolve; });
    prepared = next;
    const own = Object.create(page);
    own.whenStarted = function () {
      next.ready = true;
      loading.textContent = '';
      if (state === 'title' || state === 'ended') overlay.classList.add('ready');
      if (startWanted) Promise.resolve().then(run);
      return started;
    };
    let made;
    try {
      made = createStream8({
        page: own,
        print: function () {},
        // The module's own diagnostics; what the viewer should read comes through page.note.
        printErr: function (text) { console.error(text); },
        instantiateWasm: function (imports, receive) {
          WebAssembly.instantiate(files.wasm, imports).then(function (instance) {
            receive(instance, files.wasm);
          }, function (error) {
            page.fatal('the show could not be loaded: ' + error);
          });
          return {};
        },
        getPreloadedPackage: function (name, size) {
          if (files.data.byteLength !== size) {
            throw new Error(DATA + ' is damaged: it holds ' + files.data.byteLength +
                            ' bytes where the show\'s pictures and music take ' + size +
                            '. Copy the whole page folder again.');
          }
          return files.data;
        },
      });
    } catch (error) {
      page.fatal(error.message);
      return;
    }
    made.catch(function (error) {
      page.fatal('the show could not be loaded: ' + error);
    });
  }

  function run() {
    if (state === 'refused' || state === 'running') return;
    if (!prepared || !prepared.ready) {
      startWanted = true;
      message.textContent = 'Starting as soon as it is loaded';
      return;
    }
    const go = prepared.go;
    prepared = null;
    startWanted = false;
    state = 'running';
    endedEarly = false;
    escDown = false;
    clearRunLogs();
    if (audio) {
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
    fillContext.fillStyle = '#000';
    fillContext.fillRect(0, 0, fillCanvas.width, fillCanvas.height);
    place();
    holdScreen();
    stirred();
    go();
  }

  showOverlay('', 'Click to start');
  overlay.focus();
  load();
})();
