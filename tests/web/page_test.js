// The game's page in headless Chromium, driven over the DevTools protocol:
//   node --experimental-websocket page_test.js <page folder>
// Serves the folder, opens the page, and checks: the first frame is drawn
// after the click that starts the game, the audio context runs and the game's
// sound reaches it, a click on the title and one on the intro lead into play,
// and a setting changed on the title is still there after the page is
// reloaded. Exits 0 when all hold.
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const root = path.resolve(process.argv[2] || 'build-web');
const browser = process.env.QUARNEX_CHROMIUM || 'chromium';
const kTimeoutMs = 240000;

// Set while a browser runs: ends it, so that a failure leaves nothing behind.
let stopBrowser = null;

function fail(message) {
  console.error('FAILED: ' + message);
  if (stopBrowser) stopBrowser();
  process.exit(1);
}

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
               '.data': 'application/octet-stream'};
function serve() {
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(root, name === '/' ? 'index.html' : name);
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(res);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function launch(profile) {
  const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--autoplay-policy=no-user-gesture-required', '--user-data-dir=' + profile,
                '--remote-debugging-port=0', 'about:blank'];
  // A group of its own, so that its helper processes end with it.
  const child = childProcess.spawn(browser, args, {stdio: ['ignore', 'ignore', 'pipe'], detached: true});
  return new Promise((resolve, reject) => {
    let text = '';
    child.stderr.on('data', chunk => {
      text += chunk;
      const m = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (m) resolve({child, url: m[1]});
    });
    child.once('exit', code => reject(new Error('the browser ended (' + code + '): ' + text)));
  });
}

class Session {
  constructor(socket) {
    this.socket = socket;
    this.next = 1;
    this.waiting = new Map();
    this.sessionId = undefined;
    socket.addEventListener('message', event => {
      const m = JSON.parse(event.data);
      const w = m.id && this.waiting.get(m.id);
      if (!w) return;
      this.waiting.delete(m.id);
      if (m.error) w.reject(new Error(JSON.stringify(m.error)));
      else w.resolve(m.result);
    });
  }
  send(method, params = {}, top = false) {
    const id = this.next++;
    const message = {id, method, params};
    if (!top && this.sessionId) message.sessionId = this.sessionId;
    this.socket.send(JSON.stringify(message));
    return new Promise((resolve, reject) => this.waiting.set(id, {resolve, reject}));
  }
  async evaluate(expression) {
    const r = await this.send('Runtime.evaluate', {expression, returnByValue: true, awaitPromise: true});
    if (r.exceptionDetails) throw new Error(expression + ': ' + JSON.stringify(r.exceptionDetails));
    return r.result.value;
  }
  async until(expression, what, timeoutMs = kTimeoutMs) {
    const end = Date.now() + timeoutMs;
    for (;;) {
      let value;
      try {
        value = await this.evaluate(expression);
      } catch (e) {
        value = undefined;  // the page is between documents
      }
      if (value) return value;
      if (Date.now() > end) fail('timed out waiting for ' + what);
      await sleep(250);
    }
  }
  // A click at a point of the game's 800x600 picture.
  async click(x, y) {
    const p = await this.evaluate(`(() => { const r = Module.canvas.getBoundingClientRect();
      return [r.left + (${x} + 0.5) * r.width / 800, r.top + (${y} + 0.5) * r.height / 600]; })()`);
    for (const type of ['mouseMoved', 'mousePressed', 'mouseReleased']) {
      await this.send('Input.dispatchMouseEvent', {type, x: p[0], y: p[1], button: 'left', clickCount: 1});
      await sleep(100);
    }
  }
  async key(code, key, keyCode) {
    for (const type of ['rawKeyDown', 'keyUp']) {
      await this.send('Input.dispatchKeyEvent', {type, code, key, windowsVirtualKeyCode: keyCode});
      await sleep(150);
    }
  }
  async frames() { return this.evaluate('Module.qxPresented | 0'); }
  // Lets the game present a number of frames.
  async waitFrames(n, what) {
    const start = await this.frames();
    await this.until(`(Module.qxPresented | 0) >= ${start + n}`, what);
  }
  readGameFile(name) {
    return this.evaluate(`(() => { try { return new TextDecoder().decode(Module.FS.readFile('/game/${name}')); }
      catch (e) { return null; } })()`);
  }
}

function sleep(ms) { return new Promise(resolve => setTimeout(resolve, ms)); }

async function main() {
  if (!fs.existsSync(path.join(root, 'index.html'))) fail('no page in ' + root);
  const server = await serve();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quarnex-page-'));
  const {child, url} = await launch(profile);
  stopBrowser = () => {
    try {
      process.kill(-child.pid, 'SIGKILL');
      fs.rmSync(profile, {recursive: true, force: true});
    } catch (e) {
      // already ended, or a file still held
    }
  };
  const done = async () => {
    const ended = new Promise(resolve => child.once('exit', resolve));
    process.kill(-child.pid, 'SIGTERM');
    await ended;
    stopBrowser = null;
    server.close();
    try {
      fs.rmSync(profile, {recursive: true, force: true, maxRetries: 10, retryDelay: 200});
    } catch (e) {
      console.warn('left ' + profile + ': ' + e.message);
    }
  };
  try {
    const socket = new WebSocket(url);
    await new Promise((resolve, reject) => {
      socket.addEventListener('open', resolve);
      socket.addEventListener('error', reject);
    });
    const s = new Session(socket);
    const {targetId} = await s.send('Target.createTarget', {url: 'about:blank'}, true);
    const {sessionId} = await s.send('Target.attachToTarget', {targetId, flatten: true}, true);
    s.sessionId = sessionId;
    await s.send('Page.enable');
    await s.send('Runtime.enable');
    const page = `http://127.0.0.1:${server.address().port}/index.html?QUARNEX_FRAME_STATS=/game/stats.txt`;
    await s.send('Page.navigate', {url: page});

    await s.until(`document.getElementById('overlay') &&
      document.getElementById('overlay').classList.contains('ready')`, 'the page to load its data');
    const before = await s.readGameFile('cfg.ini');
    if (before !== null) fail('a fresh profile already has settings: ' + JSON.stringify(before));
    await s.click(400, 300);  // the overlay's click starts the game
    await s.until('(Module.qxPresented | 0) >= 1', 'the first frame');
    const lit = await s.until(`(() => { const c = document.createElement('canvas'); c.width = 800; c.height = 600;
      const g = c.getContext('2d'); g.drawImage(Module.canvas, 0, 0);
      const d = g.getImageData(0, 0, 800, 600).data; let n = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] | d[i + 1] | d[i + 2]) n++;
      return n; })()`, 'a drawn picture on the canvas', 60000);
    console.log('first frame: ' + lit + ' lit pixels');
    const audio = await s.evaluate(`Module.qxAudioContext ? Module.qxAudioContext.state : 'none'`);
    if (audio !== 'running') fail('the audio context is ' + audio);
    if (!(await s.evaluate('!!Module.qxAudioNode'))) fail('the game opened no sound output');
    console.log('audio: running');

    // Logo, then the title: one step down the volume, then start.
    await s.waitFrames(10, 'the logo');
    await s.click(10, 10);
    await s.waitFrames(90, 'the title');
    await s.key('ArrowLeft', 'ArrowLeft', 37);
    await s.waitFrames(10, 'the title to take the key');
    await s.click(400, 300);
    const saved = await s.until(`(() => { try { return new TextDecoder().decode(Module.FS.readFile('/game/cfg.ini')); }
      catch (e) { return null; } })()`, 'the settings to be saved when the title is left');
    if (saved !== '4\n4\n') fail('settings after one step down: ' + JSON.stringify(saved));
    // The title's start sound has gone through the mixer into Web Audio.
    const peak = await s.until('Module.qxAudioPeak | 0', 'a sound to reach Web Audio', 30000);
    console.log('sound reaches Web Audio (peak ' + peak + ')');
    // The intro, skipped with a click, then play for a while; Escape ends the game.
    await s.waitFrames(240, 'the intro');
    await s.click(400, 300);
    await s.waitFrames(360, 'play');
    await s.key('Escape', 'Escape', 27);
    const stats = await s.until(`(() => { try { return new TextDecoder().decode(Module.FS.readFile('/game/stats.txt')); }
      catch (e) { return null; } })()`, 'the game to end and write its frame statistics');
    const m = /^play frames (\d+)/m.exec(stats);
    if (!m || Number(m[1]) < 100) fail('too few frames of play:\n' + stats);
    if (!/^intro frames [1-9]/m.exec(stats)) fail('no intro frames:\n' + stats);
    console.log('title, intro and ' + m[1] + ' frames of play');

    // The setting survives a reload of the page.
    await s.send('Page.reload');
    await sleep(500);
    await s.until(`document.getElementById('overlay') &&
      document.getElementById('overlay').classList.contains('ready')`, 'the reloaded page');
    const kept = await s.readGameFile('cfg.ini');
    if (kept !== saved) fail('settings after a reload: ' + JSON.stringify(kept));
    console.log('settings kept across a reload');
    socket.close();
  } finally {
    await done();
  }
  console.log('page test passed');
}

main().catch(e => fail(e.stack || String(e)));
