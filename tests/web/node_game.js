// Runs the browser build of a game under node on the headless back end:
//   node --no-experimental-fetch node_game.js <folder of quarnex.js> <work folder> [name]
// Every QUARNEX_* variable is passed on; /out in the game's file system is the
// work folder, and the files the game left in its start directory are copied
// there when it ends. The exit status is the game's.
'use strict';
const fs = require('fs');
const path = require('path');

const [dir, work, name = 'quarnex'] = process.argv.slice(2);
if (!dir || !work) {
  console.error('usage: node_game.js <build folder> <work folder> [name]');
  process.exit(2);
}
const left = ['cfg.ini', 'sv.syk', 'Log.txt'];

globalThis.Module = {
  locateFile(file) { return path.resolve(dir, file); },
  preRun: [function() {
    const env = Module.ENV;
    env.QUARNEX_PLATFORM = 'headless';
    for (const [k, v] of Object.entries(process.env)) if (k.startsWith('QUARNEX_')) env[k] = v;
    Module.FS.mkdir('/out');
    Module.FS.mount(Module.NODEFS, {root: path.resolve(work)}, '/out');
  }],
  onRuntimeInitialized() { Module.callMain([]); },
  onExit(code) {
    for (const file of left) {
      try {
        fs.writeFileSync(path.join(work, file), Module.FS.readFile('/game/' + file));
      } catch (e) {
        // not written by this run
      }
    }
    process.exitCode = code;
  },
  print(text) { console.log(text); },
  printErr(text) { console.error(text); },
};
// Run as a script of its own, not a module, so that it finds the Module above.
const script = path.resolve(dir, name + '.js');
globalThis.require = require;
globalThis.__dirname = path.dirname(script);
globalThis.__filename = script;
require('vm').runInThisContext(fs.readFileSync(script, 'utf8'), {filename: script});
