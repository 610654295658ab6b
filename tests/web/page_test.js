// The game's page in headless Chromium, driven over the DevTools protocol:
//   node page_test.js <page folder>
// Serves the folder, opens the page, and checks: the first frame is drawn
// after the click that starts the game, the audio context runs and the game's
// sound reaches it, a click on the title and one on the intro lead into play,
// and a setting changed on the title is still there after the page is
// reloaded. Exits 0 when all hold. Needs nothing but node itself (18 on).
'use strict';
const childProcess = require('child_process');
const crypto = require('crypto');
const EventEmitter = require('events');
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

// The client side of a WebSocket, as much as the DevTools protocol needs:
// text messages (fragmented or not), pings and the closing handshake. Node
// before 22 has no WebSocket of its own without a flag.
const kOpContinuation = 0x0, kOpText = 0x1, kOpBinary = 0x2, kOpClose = 0x8, kOpPing = 0x9, kOpPong = 0xa;
const kLargestMessage = 256 * 1024 * 1024;

class DevToolsSocket {
  // `socket` is the upgraded connection, `head` what came after the handshake.
  constructor(socket, head) {
    this.socket = socket;
    this.buffer = head || Buffer.alloc(0);
    this.parts = null;  // the fragments of a message still being received
    this.partsLength = 0;
    this.closed = false;
    this.closeSent = false;
    this.onmessage = () => {};
    this.onclose = () => {};
    socket.on('data', chunk => {
      this.buffer = this.buffer.length ? Buffer.concat([this.buffer, chunk]) : chunk;
      this.parse();
    });
    socket.on('close', () => this.ended('the connection closed'));
    socket.on('error', e => this.ended(e.message));
    if (this.buffer.length) this.parse();
  }
  ended(reason) {
    if (this.closed) return;
    this.closed = true;
    this.onclose(reason);
  }
  broken(reason) {
    this.ended(reason);
    this.socket.destroy();
  }
  parse() {
    while (!this.closed) {
      const b = this.buffer;
      if (b.length < 2) return;
      const fin = (b[0] & 0x80) !== 0, opcode = b[0] & 0x0f, masked = (b[1] & 0x80) !== 0;
      if (b[0] & 0x70) return this.broken('a frame with reserved bits set');
      let length = b[1] & 0x7f, at = 2;
      if (length === 126) {
        if (b.length < 4) return;
        length = b.readUInt16BE(2);
        at = 4;
      } else if (length === 127) {
        if (b.length < 10) return;
        const big = b.readBigUInt64BE(2);
        if (big > BigInt(kLargestMessage)) return this.broken('a frame of ' + big + ' bytes');
        length = Number(big);
        at = 10;
      }
      const maskAt = at;
      if (masked) at += 4;
      if (b.length < at + length) return;
      let payload = b.subarray(at, at + length);
      if (masked) {  // a server must not mask, but the content is still plain to read
        payload = Buffer.from(payload);
        for (let i = 0; i < length; i++) payload[i] ^= b[maskAt + (i & 3)];
      }
      this.buffer = b.subarray(at + length);
      this.frame(fin, opcode, payload);
    }
  }
  frame(fin, opcode, payload) {
    switch (opcode) {
      case kOpPing:
        this.write(kOpPong, payload);
        return;
      case kOpPong:
        return;
      case kOpClose:
        if (!this.closeSent) {
          this.closeSent = true;
          this.write(kOpClose, payload.subarray(0, 2));
        }
        this.socket.end();
        this.ended('closed by the browser');
        return;
      case kOpText:
      case kOpBinary:
        if (this.parts) return this.broken('a new message inside a fragmented one');
        this.parts = [];
        this.partsLength = 0;
        break;
      case kOpContinuation:
        if (!this.parts) return this.broken('a continuation frame outside a message');
        break;
      default:
        return this.broken('a frame of unknown kind ' + opcode);
    }
    this.parts.push(payload);
    this.partsLength += payload.length;
    if (this.partsLength > kLargestMessage) return this.broken('a message of over ' + kLargestMessage + ' bytes');
    if (!fin) return;
    const text = Buffer.concat(this.parts).toString('utf8');
    this.parts = null;
    this.onmessage(text);
  }
  // One whole frame, masked as a client's must be.
  write(opcode, payload) {
    const n = payload.length;
    const head = n < 126 ? 2 : n < 65536 ? 4 : 10;
    const frame = Buffer.alloc(head + 4 + n);
    frame[0] = 0x80 | opcode;
    if (n < 126) {
      frame[1] = 0x80 | n;
    } else if (n < 65536) {
      frame[1] = 0x80 | 126;
      frame.writeUInt16BE(n, 2);
    } else {
      frame[1] = 0x80 | 127;
      frame.writeBigUInt64BE(BigInt(n), 2);
    }
    const mask = crypto.randomBytes(4);
    mask.copy(frame, head);
    for (let i = 0; i < n; i++) frame[head + 4 + i] = payload[i] ^ mask[i & 3];
    this.socket.write(frame);
  }
  send(text) {
    if (this.closed || this.closeSent) throw new Error('the DevTools connection is closed');
    this.write(kOpText, Buffer.from(text, 'utf8'));
  }
  close() {
    if (this.closed || this.closeSent) return;
    this.closeSent = true;
    this.write(kOpClose, Buffer.from([0x03, 0xe8]));  // 1000, a normal close
  }
}

function connect(url) {
  const u = new URL(url);
  const key = crypto.randomBytes(16).toString('base64');
  const accept = crypto.createHash('sha1').update(key + '258EAFA5-E914-47DA-95CA-C5AB0DC85B11').digest('base64');
  return new Promise((resolve, reject) => {
    const req = http.request({host: u.hostname, port: u.port, path: u.pathname + u.search, headers: {
      'Connection': 'Upgrade', 'Upgrade': 'websocket', 'Sec-WebSocket-Key': key, 'Sec-WebSocket-Version': '13'}});
    req.once('upgrade', (res, socket, head) => {
      if (res.headers['sec-websocket-accept'] !== accept) {
        socket.destroy();
        reject(new Error('the browser answered the handshake with a wrong key'));
        return;
      }
      socket.setNoDelay(true);
      resolve(new DevToolsSocket(socket, head));
    });
    req.once('response', res => {
      res.resume();
      reject(new Error('the browser refused the WebSocket: HTTP ' + res.statusCode));
    });
    req.once('error', reject);
    req.end();
  });
}

// The frames Chromium may send but seldom does (64-bit lengths, fragments
// with a ping between them, a close), fed through the client by hand.
function checkFrames() {
  const written = [];
  const wire = new EventEmitter();
  wire.write = b => written.push(Buffer.from(b));
  wire.end = () => { wire.ended = true; };
  wire.destroy = () => { wire.ended = true; };
  const ws = new DevToolsSocket(wire, null);
  const got = [];
  let closed = null;
  ws.onmessage = text => got.push(text);
  ws.onclose = reason => { closed = reason; };
  const frame = (fin, opcode, payload, lengthBytes) => {
    const p = Buffer.from(payload);
    let head;
    if (lengthBytes === 8) {
      head = Buffer.alloc(10);
      head[1] = 127;
      head.writeBigUInt64BE(BigInt(p.length), 2);
    } else if (lengthBytes === 2) {
      head = Buffer.alloc(4);
      head[1] = 126;
      head.writeUInt16BE(p.length, 2);
    } else {
      head = Buffer.alloc(2);
      head[1] = p.length;
    }
    head[0] = (fin ? 0x80 : 0) | opcode;
    return Buffer.concat([head, p]);
  };
  const big = 'x'.repeat(70000), mid = 'é'.repeat(100);
  const stream = Buffer.concat([
    frame(true, kOpText, big, 8), frame(true, kOpText, mid, 2), frame(false, kOpText, 'ab', 1),
    frame(true, kOpPing, 'p1', 1), frame(false, kOpContinuation, 'cd', 1), frame(true, kOpContinuation, 'ef', 1),
    frame(true, kOpClose, Buffer.from([0x03, 0xe8]), 1)]);
  // Byte by byte, so that every frame arrives in pieces.
  for (let i = 0; i < stream.length; i++) wire.emit('data', stream.subarray(i, i + 1));
  const expect = (ok, what) => { if (!ok) fail('WebSocket client: ' + what); };
  expect(got.length === 3 && got[0] === big && got[1] === mid && got[2] === 'abcdef',
         'messages read as ' + JSON.stringify(got.map(t => t.length > 20 ? t.length + ' chars' : t)));
  expect(closed !== null && wire.ended, 'a close frame did not end the connection');
  // Sent: the pong for "p1" and the close answered, both masked.
  const unmask = b => { const len = b[1] & 0x7f; const out = Buffer.from(b.subarray(6, 6 + len));
    for (let i = 0; i < len; i++) out[i] ^= b[2 + (i & 3)]; return out; };
  expect(written.length === 2, written.length + ' frames sent in answer');
  expect(written[0][0] === (0x80 | kOpPong) && (written[0][1] & 0x80) && unmask(written[0]).toString() === 'p1',
         'the ping was not answered with its own payload');
  expect(written[1][0] === (0x80 | kOpClose) && unmask(written[1]).readUInt16BE(0) === 1000,
         'the close was not answered');
  // And what the client sends itself, at each length encoding.
  const out = new EventEmitter();
  let sent = null;
  out.write = b => { sent = Buffer.from(b); };
  const sender = new DevToolsSocket(out, null);
  for (const [n, head] of [[125, 2], [126, 4], [65535, 4], [65536, 10]]) {
    sender.send('y'.repeat(n));
    const len = head === 2 ? sent[1] & 0x7f : head === 4 ? sent.readUInt16BE(2) : Number(sent.readBigUInt64BE(2));
    const mask = sent.subarray(head, head + 4);
    let ok = sent[0] === (0x80 | kOpText) && (sent[1] & 0x80) && len === n && sent.length === head + 4 + n;
    for (let i = 0; ok && i < n; i++) ok = (sent[head + 4 + i] ^ mask[i & 3]) === 0x79;
    expect(ok, 'a message of ' + n + ' bytes was framed wrongly');
  }
}

class Session {
  constructor(socket) {
    this.socket = socket;
    this.next = 1;
    this.waiting = new Map();
    this.sessionId = undefined;
    socket.onmessage = text => {
      const m = JSON.parse(text);
      const w = m.id && this.waiting.get(m.id);
      if (!w) return;
      this.waiting.delete(m.id);
      if (m.error) w.reject(new Error(JSON.stringify(m.error)));
      else w.resolve(m.result);
    };
    socket.onclose = reason => {
      for (const w of this.waiting.values()) w.reject(new Error('DevTools: ' + reason));
      this.waiting.clear();
    };
  }
  send(method, params = {}, top = false) {
    const id = this.next++;
    const message = {id, method, params};
    if (!top && this.sessionId) message.sessionId = this.sessionId;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, {resolve, reject});
      try {
        this.socket.send(JSON.stringify(message));
      } catch (e) {
        this.waiting.delete(id);
        reject(e);
      }
    });
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
      if (this.socket.closed) fail('the DevTools connection ended while waiting for ' + what);
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
  // Down and up sent together, so that the game reads the key only after it is up again.
  async tap(code, key, keyCode) {
    await Promise.all(['rawKeyDown', 'keyUp'].map(type =>
      this.send('Input.dispatchKeyEvent', {type, code, key, windowsVirtualKeyCode: keyCode})));
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
  checkFrames();
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
    const socket = await connect(url);
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

    // Logo, then the title: one step down the volume with a tap too short to be
    // seen held, then start.
    await s.waitFrames(10, 'the logo');
    await s.click(10, 10);
    await s.waitFrames(90, 'the title');
    await s.tap('ArrowLeft', 'ArrowLeft', 37);
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
