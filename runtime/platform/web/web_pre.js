// Runs before the game starts: its files' folder becomes the working
// directory, files the game writes there (settings, saves) are kept in the
// browser's storage, and those kept on an earlier visit are put back.
(function() {
  var prefix = 'quarnex:';

  function storage() {
    try {
      return typeof localStorage != 'undefined' ? localStorage : null;
    } catch (e) {
      return null;  // storage refused (private mode, file:// pages)
    }
  }

  function absolute(path) {
    return path.charAt(0) == '/' ? path : FS.cwd().replace(/\/$/, '') + '/' + path;
  }

  function toBase64(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }

  function fromBase64(text) {
    var raw = atob(text);
    var bytes = new Uint8Array(raw.length);
    for (var i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
    return bytes;
  }

  // Only what the game writes in its own folder, whole (not appended, as logs
  // are), and small enough for the storage.
  var folder = '/game/';
  var largest = 1 << 20;

  function keep(path) {
    var s = storage();
    path = absolute(path);
    if (!s || path.indexOf(folder) != 0) return;
    try {
      var bytes = FS.readFile(path);
      if (bytes.length <= largest) s.setItem(prefix + path, toBase64(bytes));
    } catch (e) {
      console.warn('quarnex: cannot keep ' + path + ': ' + e);
    }
  }

  function forget(path) {
    var s = storage();
    if (s) s.removeItem(prefix + absolute(path));
  }

  // Every way of writing a file ends in these, so saves are kept as soon as
  // they are complete (write-through), whatever wrote them.
  function watchWrites() {
    var close = FS.close, rename = FS.rename, unlink = FS.unlink;
    FS.close = function(stream) {
      var written = (stream.flags & 3) != 0 && (stream.flags & 1024) == 0;  // O_WRONLY/O_RDWR, not O_APPEND
      var path = stream.path;
      var result = close.apply(this, arguments);
      if (written && path) keep(path);
      return result;
    };
    FS.rename = function(from, to) {
      var result = rename.apply(this, arguments);
      forget(from);
      keep(to);
      return result;
    };
    FS.unlink = function(path) {
      var result = unlink.apply(this, arguments);
      forget(path);
      return result;
    };
  }

  Module['preRun'] = [function() {
    try { FS.mkdir('/game'); } catch (e) {}
    FS.chdir('/game');
    watchWrites();
    var s = storage();
    if (!s) return;
    for (var i = 0; i < s.length; i++) {
      var key = s.key(i);
      if (key.indexOf(prefix) != 0) continue;
      var path = key.substring(prefix.length);
      var dir = path.substring(0, path.lastIndexOf('/'));
      try {
        if (dir) FS.mkdirTree(dir);
        FS.writeFile(path, fromBase64(s.getItem(key)));
      } catch (e) {
        console.warn('quarnex: cannot restore ' + path + ': ' + e);
      }
    }
  }].concat(Module['preRun'] || []);
})();
