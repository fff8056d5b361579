// The show's page in headless Chromium, served from 127.0.0.1:
//   node page_test.js PAGE_DIR GOLDEN RECORDER_LOG LOGO_PNG
// PAGE_DIR is the built page, GOLDEN the golden table, RECORDER_LOG the wasm recorder's hash log
// (its sound lines are the sound the page must hand to WebAudio), LOGO_PNG the recorder's picture
// of logo:1. Checks, each run a new browser page:
//  - the whole show, started by a click: every presented frame is the golden table's frame of that
//    name, in order; a 1920x1080 screenshot in the logo hold is logo:1 at x2 at (320,60) on black;
//    the phase moments are the desktop's within 5% (a run that fell behind is reported as late);
//    the sound handed to WebAudio is the recorder's; the AudioContext's clock ran; the title says
//    it ended; nothing failed in the console or the network;
//  - at 1280x720 with 1.5 device pixels to a CSS pixel, started by a touch: the same screenshot in
//    device pixels; F and a double click toggle full screen; a hidden tab stops picture and sound
//    together and resumes both, with no frame skipped; Esc held in the main loop ends it, and the
//    page offers to play again, which a touch starts again;
//  - a refused picture, started by a key: the page says why in words;
//  - the title counts the bytes loaded of the whole over a slow link, names the show's length,
//    sound, keys and credits, and the program and its data are fetched before the click (the
//    first frame's delay after a click on the loaded page is reported as a figure); the picture whole and centred on a phone upright and sideways and
//    at 1366x768, filling the limiting side where the whole scale leaves over a quarter unused,
//    S and the button switching to the whole scale and back (1920x1080 is the whole show's);
//  - file://, a missing or damaged file and a browser without WebAssembly: the page says so.
// STREAM8_PAGE_SHOTS=DIR keeps screenshots of the title, the layouts and the error page there.
'use strict';
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const puppeteer = require('puppeteer-core');

const [pageDir, goldenPath, recorderLog, logoPng] = process.argv.slice(2);
const HOLD = 209, SMEAR = 300, LOOP = 2099, FADE = 450;
// Where each phase begins on the desktop's clock, in ticks from the logo's first frame.
const MOMENTS = { smear: HOLD, loop: HOLD + SMEAR, pause: HOLD + SMEAR + LOOP,
                  fade: 2 * HOLD + SMEAR + LOOP, end: 2 * HOLD + SMEAR + LOOP + FADE };

let failures = 0;
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) failures++;
}

// --- A static server for a folder ---
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                '.wasm': 'application/wasm', '.png': 'image/png', '.data': 'application/octet-stream' };
// altered: a file's name to its bytes as served instead, or to null for a 404.
function serve(dir, altered = {}) {
  const server = http.createServer(function (req, res) {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(dir, name === '/' ? 'index.html' : name);
    const base = path.basename(file);
    if (altered[base] === null || !file.startsWith(dir) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      return res.end();
    }
    const body = altered[base] !== undefined ? altered[base] : fs.readFileSync(file);
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
                         'Content-Length': body.length });
    res.end(body);
  });
  return new Promise(function (resolve) {
    server.listen(0, '127.0.0.1', function () { resolve(server); });
  });
}

// --- PNG pictures: 8-bit RGB or RGBA, every filter ---
function readPng(buffer) {
  let pos = 8, w = 0, h = 0, channels = 0;
  const idat = [];
  while (pos < buffer.length) {
    const len = buffer.readUInt32BE(pos), type = buffer.toString('latin1', pos + 4, pos + 8);
    const body = buffer.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      w = body.readUInt32BE(0);
      h = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0) throw new Error('unsupported PNG');
      channels = { 2: 3, 6: 4 }[body[9]];
    } else if (type === 'IDAT') {
      idat.push(body);
    }
    pos += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = w * channels, out = Buffer.alloc(h * stride);
  for (let y = 0; y < h; y++) {
    const f = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? out[y * stride + i - channels] : 0;
      const b = y > 0 ? out[(y - 1) * stride + i] : 0;
      const c = y > 0 && i >= channels ? out[(y - 1) * stride + i - channels] : 0;
      let p = line[i];
      if (f === 1) p += a;
      else if (f === 2) p += b;
      else if (f === 3) p += (a + b) >> 1;
      else if (f === 4) {
        const q = a + b - c, pa = Math.abs(q - a), pb = Math.abs(q - b), pc = Math.abs(q - c);
        p += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[y * stride + i] = p & 255;
    }
  }
  return { w, h, pixel: (x, y) => { const o = y * stride + x * channels; return (out[o] << 16) | (out[o + 1] << 8) | out[o + 2]; } };
}

const frameLines = (text) => text.split('\n').filter((l) => l && !l.startsWith('sound:'));
const soundLines = (text) => text.split('\n').filter((l) => l.startsWith('sound:'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function openPage(browser, url, problems, viewport = { width: 1920, height: 1080, deviceScaleFactor: 1 },
                        before = null, bytesPerSecond = 0) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  if (before) await page.evaluateOnNewDocument(before);
  if (bytesPerSecond) await page.emulateNetworkConditions({ download: bytesPerSecond, upload: bytesPerSecond, latency: 5 });
  // The page's AudioContexts, to see them suspended and resumed.
  await page.evaluateOnNewDocument(() => {
    const Real = window.AudioContext;
    window.stream8Contexts = [];
    window.AudioContext = function (options) { const c = new Real(options); window.stream8Contexts.push(c); return c; };
  });
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warn') problems.push(m.type() + ': ' + m.text()); });
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  page.on('requestfailed', (r) => problems.push('request failed: ' + r.url()));
  page.on('response', (r) => { if (r.status() >= 400) problems.push(r.status() + ' ' + r.url()); });
  await page.goto(url, { waitUntil: 'load' });
  return page;
}

// A screenshot while the logo hold is on: 1920x1080 device pixels holding logo:1 at x2 at
// (320,60) on black, exactly. A run already past the hold is not compared (a late run).
async function screenShowsLogo(page, what) {
  const shot = readPng(Buffer.from(await page.screenshot({ type: 'png' })));
  const logAfter = await page.evaluate(() => window.stream8Log[window.stream8Log.length - 1]);
  const logo = readPng(fs.readFileSync(logoPng));
  let bad = 0, first = '';
  for (let y = 0; y < 1080; y++) {
    for (let x = 0; x < 1920; x++) {
      const inside = x >= 320 && x < 1600 && y >= 60 && y < 1020;
      const want = inside ? logo.pixel((x - 320) >> 1, (y - 60) >> 1) : 0;
      if (shot.pixel(x, y) !== want) {
        if (!bad) first = ` first at (${x},${y}): ${shot.pixel(x, y).toString(16)} for ${want.toString(16)}`;
        bad++;
      }
    }
  }
  if (logAfter.startsWith('logo:'))
    check(bad === 0, `the ${what} screenshot is logo:1 at x2 at (320,60) on black (${bad} pixels differ${first})`);
  else
    console.log(`note the ${what} screenshot came after the logo hold (a late run): not compared`);
}

async function wholeShow(browser, base) {
  const problems = [];
  const page = await openPage(browser, base + 'index.html?test', problems);
  await page.click('#overlay');
  // The logo hold: a screenshot while its frames are on the screen.
  await page.waitForFunction(() => window.stream8Log.length >= 10, { timeout: 60000 });
  await screenShowsLogo(page, '1920x1080');

  await page.waitForFunction(() => document.title === 'stream8: ended', { timeout: 240000, polling: 500 });
  const result = await page.evaluate(() => ({
    log: window.stream8Log, phases: window.stream8Phases, sound: window.stream8Sound,
    audio: window.stream8Audio, late: window.stream8Late, timing: window.stream8Timing,
    offer: document.getElementById('overlay').hidden ? '' : document.getElementById('message').textContent,
  }));
  const TICK_S = await page.evaluate(() => window.stream8Tick);  // as the module tells the page
  const t = result.timing;
  console.log(`cost the page drew ${t.frames} frames at ${(t.totalMs / t.frames).toFixed(2)} ms on average, ` +
              `at most ${t.maxMs.toFixed(2)} ms, ${t.over8} over 8 ms (a figure, not a check)` +
              (t.slow.length ? ': ' + t.slow.map(([i, ms]) => `${(result.log[i] || '?').split(' ')[0]} ${ms.toFixed(1)}`).join(', ') : ''));
  const golden = frameLines(fs.readFileSync(goldenPath, 'utf8'));
  let firstBad = -1;
  for (let i = 0; i < Math.max(golden.length, result.log.length); i++)
    if (golden[i] !== result.log[i]) { firstBad = i; break; }
  check(firstBad < 0, `all ${result.log.length} presented frames equal the golden table's ${golden.length}, in order` +
        (firstBad < 0 ? '' : ` (frame ${firstBad + 1}: page ${result.log[firstBad]}, golden ${golden[firstBad]})`));

  const moments = Object.fromEntries(result.phases);
  const off = Object.keys(MOMENTS).filter((p) => !(Math.abs(moments[p] - MOMENTS[p] * TICK_S) <= 0.05 * MOMENTS[p] * TICK_S));
  const text = Object.keys(MOMENTS).map((p) => `${p} ${(moments[p] || NaN).toFixed(3)}/${(MOMENTS[p] * TICK_S).toFixed(3)}`).join(', ');
  if (result.late > 0)
    console.log(`late the page fell behind its clock at ${result.late} frames; phase moments: ${text}`);
  else
    check(off.length === 0, `phase moments within 5% of the desktop's: ${text}`);

  const want = soundLines(fs.readFileSync(recorderLog, 'utf8'));
  const same = want.length === result.sound.length && want.every((l, i) => l === result.sound[i]);
  check(same, `the sound handed to WebAudio equals the recorder's track (${result.sound.length} seconds hashed, ` +
        `${want.length} in the recorder's)`);
  const a = result.audio, musicFrames = LOOP + HOLD + FADE;
  // The sound runs on without a break (a break clicks) but where the page fell behind its clock
  // (a busy machine's frames, late or nearly, each may start it anew, once or twice).
  check(a.scheduled === musicFrames && a.clockRan > 40 && a.resyncs <= 2 * result.late + 20,
        `WebAudio was handed the sound of ${a.scheduled} of ${musicFrames} frames (${a.resyncs} restarts, ` +
        `${result.late} frames late), its clock ran ${a.clockRan.toFixed(2)} s`);
  check(a.firstLead !== null && a.firstLead >= 0 && a.maxLead <= TICK_S,
        `each frame's sound starts within a tick of that frame going to the screen (loop:1's ` +
        `${(a.firstLead * 1000).toFixed(1)} ms after, at most ${(a.maxLead * 1000).toFixed(1)} ms)`);
  check(result.offer === 'Play again', `the end offers to play again ('${result.offer}')`);
  check(problems.length === 0, 'no console errors or failed requests' + (problems.length ? ': ' + problems.join('; ') : ''));
  await page.close();
}

async function escInLoop(browser, base) {
  // 1280x720 at one and a half device pixels to a CSS pixel: the same 1920x1080 device pixels,
  // where the largest whole scale is 2 (in CSS pixels it would be 1). Started by a touch.
  const problems = [];
  const page = await openPage(browser, base + 'index.html?test', problems,
                              { width: 1280, height: 720, deviceScaleFactor: 1.5, hasTouch: true });
  await page.touchscreen.tap(640, 360);
  await page.waitForFunction(() => window.stream8Log.length >= 10, { timeout: 60000 });
  await screenShowsLogo(page, 'device-pixel (1280x720 at 1.5x)');
  // F and a double click toggle full screen.
  await page.keyboard.press('f');
  await page.waitForFunction(() => document.fullscreenElement !== null, { timeout: 5000 }).catch(() => {});
  const full = await page.evaluate(() => document.fullscreenElement !== null);
  await page.mouse.click(640, 360, { clickCount: 2 });
  await page.waitForFunction(() => document.fullscreenElement === null, { timeout: 5000 }).catch(() => {});
  const back = await page.evaluate(() => document.fullscreenElement === null);
  check(full && back, `F takes the page to full screen (${full}) and a double click back (${back})`);
  // A hidden tab: the picture and the sound stand still together, and go on together.
  await page.waitForFunction(() => window.stream8Log.some((l) => l.startsWith('loop:20 ')), { timeout: 60000 });
  const setHidden = (hidden) => page.evaluate((h) => {
    if (h) {
      Object.defineProperty(document, 'hidden', { configurable: true, get: () => true });
      Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => 'hidden' });
    } else {
      delete document.hidden;
      delete document.visibilityState;
    }
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
  const seen = () => page.evaluate(() => ({
    at: performance.now() / 1000, frames: window.stream8Log.length, sound: window.stream8Audio.scheduled,
    audio: window.stream8Contexts.map((c) => c.state).join(),
  }));
  await setHidden(true);
  await new Promise((r) => setTimeout(r, 300));
  const hiddenAt = await seen();
  await new Promise((r) => setTimeout(r, 1500));
  const hiddenLater = await seen();
  await setHidden(false);
  await new Promise((r) => setTimeout(r, 1500));
  const shown = await seen();
  // Shown again, the show goes on from where it stood: no hidden time is owed.
  const TICK_S = await page.evaluate(() => window.stream8Tick);
  const owed = (shown.frames - hiddenLater.frames) - (shown.at - hiddenLater.at) / TICK_S;
  check(hiddenLater.frames === hiddenAt.frames && hiddenLater.sound === hiddenAt.sound &&
        hiddenLater.audio === 'suspended' && shown.frames > hiddenLater.frames &&
        shown.sound > hiddenLater.sound && shown.audio === 'running' && owed < 10,
        `a hidden tab stops the picture and the sound together and resumes both (hidden: ` +
        `${hiddenLater.frames - hiddenAt.frames} frames, ${hiddenLater.sound - hiddenAt.sound} sounds in 1.5 s, ` +
        `audio ${hiddenLater.audio}; shown again: ${shown.frames - hiddenLater.frames} frames, ` +
        `${owed.toFixed(0)} more than its time holds, audio ${shown.audio})`);
  await page.waitForFunction(() => window.stream8Log.some((l) => l.startsWith('loop:100 ')), { timeout: 60000 });
  await page.keyboard.down('Escape');
  await page.waitForFunction(() => !document.getElementById('overlay').hidden, { timeout: 10000 });
  await page.keyboard.up('Escape');
  const r = await page.evaluate(() => ({
    last: window.stream8Log[window.stream8Log.length - 1], title: document.title,
    esc: window.stream8Phases.some((p) => p[0] === 'esc'), offer: document.getElementById('message').textContent,
  }));
  const golden = frameLines(fs.readFileSync(goldenPath, 'utf8'));
  const log = await page.evaluate(() => window.stream8Log);
  const firstBad = log.findIndex((l, i) => l !== golden[i]);
  check(firstBad < 0, `the ${log.length} frames before Esc are the golden table's first, in order, across the hidden ` +
        `stretch` + (firstBad < 0 ? '' : ` (frame ${firstBad + 1}: page ${log[firstBad]}, golden ${golden[firstBad]})`));
  check(r.esc && r.last.startsWith('loop:') && r.title !== 'stream8: ended' && r.offer === 'Play again',
        `Esc held in the loop ends it at ${r.last.split(' ')[0]} and the page offers to play again ('${r.offer}')`);
  await page.touchscreen.tap(640, 360);
  await page.waitForFunction(() => window.stream8Log.length >= 3, { timeout: 30000 });
  const again = await page.evaluate(() => window.stream8Log[0]);
  check(again.startsWith('logo:1 '), `playing again starts the show from ${again.split(' ')[0]}`);
  check(problems.length === 0, 'no console errors or failed requests' + (problems.length ? ': ' + problems.join('; ') : ''));
  await page.close();
}

async function refusedPicture(browser) {
  // The page's own data with logo.jpg's first bytes broken, served from a copy.
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'stream8-page-'));
  for (const f of fs.readdirSync(pageDir)) fs.copyFileSync(path.join(pageDir, f), path.join(dir, f));
  const data = fs.readFileSync(path.join(dir, 'stream8.data'));
  const at = data.indexOf(fs.readFileSync(path.resolve(goldenPath, '../../../ruvo/logo.jpg')));
  data[at] = 0;
  data[at + 1] = 0;
  fs.writeFileSync(path.join(dir, 'stream8.data'), data);
  const server = await serve(dir);
  const problems = [];
  const page = await openPage(browser, `http://127.0.0.1:${server.address().port}/`, problems);
  await page.keyboard.press('Enter');  // a key starts it too
  await page.waitForFunction(() => document.getElementById('overlay').className === 'error', { timeout: 30000 });
  const said = await page.evaluate(() => document.getElementById('overlay').innerText);
  check(at >= 0 && /logo\.jpg/.test(said), `a refused picture is named on the page: ${JSON.stringify(said)}`);
  await page.close();
  server.close();
  fs.rmSync(dir, { recursive: true, force: true });
}

async function keepShot(page, name) {
  if (process.env.STREAM8_PAGE_SHOTS) await page.screenshot({ path: path.join(process.env.STREAM8_PAGE_SHOTS, name + '.png') });
}

// The shown canvas's place in CSS pixels, in the layout viewport.
const whereShown = (page) => page.evaluate(() => {
  const shown = ['show', 'fill'].map((id) => document.getElementById(id)).filter((c) => !c.hidden);
  const r = shown.length === 1 ? shown[0].getBoundingClientRect() : { x: NaN, y: NaN, width: NaN, height: NaN };
  return { ids: shown.map((c) => c.id).join(), x: r.x, y: r.y, w: r.width, h: r.height,
           vw: document.documentElement.clientWidth, vh: document.documentElement.clientHeight,
           button: !document.getElementById('scale').hidden };
});

async function layouts(browser, base) {
  const problems = [];
  // The title, loaded before any click.
  // The title, loading over a slow link (about 2.5 s) and then loaded, before any click.
  const seeLoading = () => {
    window.seenLoading = [];
    setInterval(() => {
      const l = document.getElementById('loading');
      if (l && l.textContent && window.seenLoading[window.seenLoading.length - 1] !== l.textContent) window.seenLoading.push(l.textContent);
    }, 50);
  };
  const title = await openPage(browser, base + 'index.html?test', problems, { width: 1366, height: 768, deviceScaleFactor: 1 },
                               seeLoading, 1e6);
  await title.waitForFunction(() => /ready/.test(document.getElementById('overlay').className), { timeout: 30000 });
  const seen = await title.evaluate(() => window.seenLoading);
  const sizes = ['stream8.wasm', 'stream8.data'].reduce((n, f) => n + fs.statSync(path.join(pageDir, f)).size, 0);
  const whole = `of ${(sizes / 1e6).toFixed(1)} MB`;
  check(seen.some((t) => t.endsWith(whole) && !t.startsWith(`loading ${(sizes / 1e6).toFixed(1)} `)),
        `the title shows the bytes loaded of the whole (${sizes} bytes) while loading: ${seen.slice(0, 4).join(', ')}`);
  const requested = await title.evaluate(() => performance.getEntriesByType('resource').map((e) => e.name.split('/').pop()));
  const said = await title.evaluate(() => document.getElementById('overlay').innerText);
  const wants = [/55-second/, /sound/, /Esc/, /double-click/, /S: /, /code: vorrinek/, /music: krumo606/];
  check(wants.every((w) => w.test(said)), `the title names the length, sound, keys and credits: ${JSON.stringify(said)}`);
  check(['stream8.wasm', 'stream8.data'].every((f) => requested.includes(f)),
        `the program and its data are fetched before the click (${requested.join(', ')})`);
  await keepShot(title, 'title-1366x768');
  await title.close();

  // Each row: the viewport, whether the picture fills the screen there, and how the show starts.
  const rows = [
    ['phone upright 390x844 at 3x', { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true }, true],
    ['phone sideways 844x390 at 3x', { width: 844, height: 390, deviceScaleFactor: 3, isMobile: true, hasTouch: true }, false],
    ['1366x768', { width: 1366, height: 768, deviceScaleFactor: 1 }, true],
  ];
  for (const [what, viewport, fills] of rows) {
    const page = await openPage(browser, base + 'index.html?test', problems, viewport);
    await page.waitForFunction(() => /ready/.test(document.getElementById('overlay').className), { timeout: 30000 });
    const clicked = Date.now();
    if (viewport.hasTouch) await page.touchscreen.tap(viewport.width / 2, viewport.height / 2);
    else await page.click('#overlay');
    await page.waitForFunction(() => window.stream8Log.length >= 1, { timeout: 60000, polling: 5 });
    console.log(`note ${what}: the first frame ${Date.now() - clicked} ms after the click, loaded (a figure, not a check)`);
    await page.waitForFunction(() => window.stream8Log.length >= 3, { timeout: 60000 });
    const dpr = viewport.deviceScaleFactor;
    const judge = (m, filled) => {
      const whole = m.x >= 0 && m.y >= 0 && m.x + m.w <= m.vw + 0.01 && m.y + m.h <= m.vh + 0.01;
      const centred = Math.abs(m.x - (m.vw - m.x - m.w)) <= 1 && Math.abs(m.y - (m.vh - m.y - m.h)) <= 1;
      const shape = Math.abs(m.w * 3 - m.h * 4) <= 3;
      const size = filled ? m.ids === 'fill' && Math.max(m.w / m.vw, m.h / m.vh) >= 0.95
                          : m.ids === 'show' && Math.round(m.w * dpr) % 640 === 0 &&
                            Math.round(m.h * dpr) * 4 === Math.round(m.w * dpr) * 3;
      return whole && centred && shape && size;
    };
    const text = (m) => `${m.ids} at ${m.x.toFixed(1)},${m.y.toFixed(1)} ${m.w.toFixed(1)}x${m.h.toFixed(1)} in ${m.vw}x${m.vh}`;
    const m = await whereShown(page);
    check(judge(m, fills) && m.vw === viewport.width && m.button === fills,
          `${what}: the picture whole, centred, ${fills ? 'filling the limiting side' : 'at the whole scale'} (${text(m)}, ` +
          `scale button ${m.button ? 'shown' : 'hidden'})`);
    await keepShot(page, what.split(' ').join('-'));
    if (fills && dpr === 1) {
      // The picture itself is in the filled rectangle (the logo hold: not all black), black around it.
      const shot = readPng(Buffer.from(await page.screenshot({ type: 'png' })));
      let lit = 0, strays = 0;
      for (let y = 0; y < shot.h; y += 2) {
        for (let x = 0; x < shot.w; x += 2) {
          const inside = x >= m.x && x < m.x + m.w && y >= m.y && y < m.y + m.h;
          if (inside && shot.pixel(x, y) !== 0) lit++;
          if (!inside && shot.pixel(x, y) !== 0 && !(x > shot.w - 100 && y > shot.h - 60)) strays++;
        }
      }
      check(lit > 0.05 * (m.w * m.h) / 4 && strays === 0,
            `${what}: the filled picture shows the show (${lit} lit samples inside, ${strays} outside)`);
    }
    if (fills) {
      // S (or on a phone the button) switches to the whole scale and back.
      const flip = async () => {
        if (viewport.hasTouch) await page.tap('#scale');
        else await page.keyboard.press('s');
        return whereShown(page);
      };
      const exact = await flip();
      const again = await flip();
      check(judge(exact, false) && judge(again, true),
            `${what}: ${viewport.hasTouch ? 'the button' : 'S'} switches to the whole scale (${text(exact)}) and back (${text(again)})`);
    }
    if (!viewport.hasTouch) {
      // The pointer hides after a moment without movement and comes back when moved.
      await page.waitForFunction(() => getComputedStyle(document.getElementById('fill')).cursor === 'none', { timeout: 5000 }).catch(() => {});
      const hidden = await page.evaluate(() => getComputedStyle(document.getElementById('fill')).cursor);
      await page.mouse.move(100, 100);
      const moved = await page.evaluate(() => getComputedStyle(document.getElementById('fill')).cursor);
      check(hidden === 'none' && moved !== 'none', `${what}: the pointer hides when still ('${hidden}') and shows when moved ('${moved}')`);
    }
    await page.close();
  }
  check(problems.length === 0, 'no console errors or failed requests' + (problems.length ? ': ' + problems.join('; ') : ''));
}

async function plainErrors(browser, base) {
  const data = fs.readFileSync(path.join(pageDir, 'stream8.data'));
  // Each row: what is wrong, the page's address and how it is served, what the page must say.
  const rows = [
    ['opened as a file', 'file://' + path.resolve(pageDir, 'index.html'), null, null, /web server[^]*python3 -m http\.server/],
    ['stream8.data missing', '', { 'stream8.data': null }, null, /stream8\.data is missing[^]*404/],
    ['stream8.data truncated', '', { 'stream8.data': data.subarray(0, data.length >> 1) }, null, /stream8\.data is damaged/],
    ['stream8.data an HTML page', '', { 'stream8.data': Buffer.from('<!DOCTYPE html><p>Not here</p>') }, null, /stream8\.data is damaged/],
    ['stream8.js missing', '', { 'stream8.js': null }, null, /stream8\.js is missing[^]*404/],
    ['stream8.wasm damaged', '', { 'stream8.wasm': Buffer.from('not a program') }, null, /stream8\.wasm is damaged/],
    ['a browser without WebAssembly', base, null, () => { delete window.WebAssembly; }, /needs WebAssembly/],
  ];
  for (const [what, address, altered, before, want] of rows) {
    let server = null, url = address;
    if (altered) {
      server = await serve(path.resolve(pageDir), altered);
      url = `http://127.0.0.1:${server.address().port}/`;
    }
    const page = await openPage(browser, url, [], undefined, before);
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => document.getElementById('overlay').className === 'error', { timeout: 30000 }).catch(() => {});
    const said = await page.evaluate(() => document.getElementById('overlay').innerText);
    check(want.test(said), `${what}: the page says so: ${JSON.stringify(said)}`);
    if (what === 'stream8.data missing') await keepShot(page, 'error-data-missing');
    await page.close();
    if (server) server.close();
  }
}

(async function main() {
  const server = await serve(path.resolve(pageDir));
  const base = `http://127.0.0.1:${server.address().port}/`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'stream8-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=no-user-gesture-required', `--user-data-dir=${profile}`],
  });
  try {
    // STREAM8_PAGE_TESTS=esc,refused runs only those (while working on one).
    const only = (process.env.STREAM8_PAGE_TESTS || 'whole,esc,refused,layouts,errors').split(',');
    if (only.includes('whole')) await wholeShow(browser, base);
    if (only.includes('esc')) await escInLoop(browser, base);
    if (only.includes('refused')) await refusedPicture(browser);
    if (only.includes('layouts')) await layouts(browser, base);
    if (only.includes('errors')) await plainErrors(browser, base);
  } catch (error) {
    check(false, 'the page test ran to its end: ' + (error.stack || error));
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(failures ? `page test: ${failures} failed` : 'page test: passed');
  process.exit(failures ? 1 : 0);
})();
