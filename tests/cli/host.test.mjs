// The command line's script host: the real tarn binary running small test scripts in place
// of the command driver (TARN_PAGE_ROOT points it at a page of the test's own), with the
// page's own bridge library for the transport.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, writeFileSync, copyFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { startXvfb } from '../shell/lib/xsession.mjs';

const TARN = process.env.TARN_BIN;
const SOURCE = join(dirname(fileURLToPath(import.meta.url)), '..', '..');

// A private home (runtime folder, data, config) and a page root whose command scripts are
// the bridge library and the given script (as js/tarn/test.js).
function makeSetup(t, script, { list } = {}) {
  const home = mkdtempSync(join(tmpdir(), 'tarn-cli-'));
  t.after(() => rmSync(home, { recursive: true, force: true }));
  const root = join(home, 'page');
  for (const dir of ['run', 'data', 'config', 'tmp', 'page/js/lib', 'page/js/tarn']) mkdirSync(join(home, dir), { recursive: true, mode: 0o700 });
  copyFileSync(join(SOURCE, 'page/js/lib/native.js'), join(root, 'js/lib/native.js'));
  if (script !== null) writeFileSync(join(root, 'js/tarn/test.js'), script);
  if (list !== null) writeFileSync(join(root, 'js/cli-scripts.json'), JSON.stringify(list || ['js/lib/native.js', 'js/tarn/test.js']));
  const env = {
    PATH: process.env.PATH, HOME: home, XDG_RUNTIME_DIR: join(home, 'run'), XDG_DATA_HOME: join(home, 'data'),
    XDG_CONFIG_HOME: join(home, 'config'), TMPDIR: join(home, 'tmp'), TARN_PAGE_ROOT: root, TARN_TEST_VALUE: 'v a l',
  };
  return { home, root, env };
}

// Runs tarn with args; resolves with its status, signal, stdout and stderr.
function run(setup, args, { input, onStart, timeout = 10000 } = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(TARN, args, { env: setup.env, cwd: setup.home, stdio: ['pipe', 'pipe', 'pipe'] });
    let out = '', err = '';
    child.stdout.on('data', (d) => { out += d; });
    child.stderr.on('data', (d) => { err += d; if (onStart) onStart(child, err); });
    const timer = setTimeout(() => { child.kill('SIGKILL'); reject(new Error('tarn did not end: ' + err)); }, timeout);
    child.on('error', reject);
    child.on('close', (code, signal) => { clearTimeout(timer); resolve({ code, signal, out, err }); });
    if (input !== undefined) child.stdin.end(input); else if (!onStart) child.stdin.end();
  });
}

const cli = (body) => `var Tarn = { cli: { run: function () {\n${body}\n} } };\n`;

test('timers run in deadline order; cleared ones never; promise continuations after each callback', async (t) => {
  const setup = makeSetup(t, cli(`
    var seen = [];
    setTimeout(function () { seen.push('late'); }, 40);
    setTimeout(function () {
      seen.push('early');
      Promise.resolve().then(function () { seen.push('continued'); });
      setTimeout(function () { seen.push('nested'); }, 0);
    }, 10);
    var dropped = setTimeout(function () { seen.push('cleared'); }, 5);
    clearTimeout(dropped);
    setTimeout(function (a, b) { seen.push('zero:' + a + b); }, 0, 1, 'x');
    setTimeout(function () { seen.push('zero2'); });
    Promise.resolve().then(function () { seen.push('sync promise'); });
    var ticks = 0;
    var interval = setInterval(function () {
      ticks++;
      if (ticks === 3) clearInterval(interval);
    }, 5);
    seen.push('run returned');
    setTimeout(function () {
      seen.push('ticks:' + ticks);
      $host.write(1, JSON.stringify(seen));
      $host.exit(0);
    }, 120);`));
  const r = await run(setup, ['ls']);
  assert.equal(r.code, 0, r.err);
  assert.deepEqual(JSON.parse(r.out),
    ['run returned', 'sync promise', 'zero:1x', 'zero2', 'early', 'continued', 'nested', 'late', 'ticks:3']);
});

test('the host object: arguments, folders, environment, streams and bridge calls', async (t) => {
  const setup = makeSetup(t, cli(`
    var report = {
      args: $host.args, cwd: $host.cwd, env: $host.env('TARN_TEST_VALUE'), none: $host.env('TARN_NOT_SET_ANYWHERE'),
      tty: [$host.isatty(0), $host.isatty(1), $host.isatty(2)], columns: $host.columns(),
      globals: [typeof self, typeof window, self === globalThis, window === globalThis],
      separator: $native.fs.separator(),
      text: $native.util.text('48C3A90061'),
      raw: $host.call(JSON.stringify(['$$util_bytes', 'A\\u00e9'])),
      refused: $host.call('["$$sh_exec", "{}"]').charAt(0),
    };
    try { $host.call('not json'); } catch (e) { report.badCall = String(e.message); }
    console.log('to stderr', { a: 1 }, [2]);
    $native.callAsync('$$fs_separator').then(function (s) {
      report.async = s;
      var written = $host.write(1, JSON.stringify(report) + '\\n\\u00e9\\n');
      $host.write(2, 'written ' + written + '\\n');
      $host.exit(0);
    });`));
  const r = await run(setup, ['export', '1/1', 'a b.wav', '--json']);
  assert.equal(r.code, 0, r.err);
  const [json, tail] = r.out.split('\n');
  const report = JSON.parse(json);
  assert.deepEqual(report.args, ['export', '1/1', 'a b.wav', '--json']);
  assert.equal(report.cwd, setup.home);
  assert.equal(report.env, 'v a l');
  assert.equal(report.none, '');
  assert.deepEqual(report.tty, [false, false, false]);
  assert.equal(report.columns, 80);
  assert.deepEqual(report.globals, ['object', 'object', true, true]);
  assert.equal(report.separator, '/');
  assert.equal(report.text, 'Hé');
  assert.equal(report.raw, 's41C3A9');
  assert.equal(report.refused, 'e');
  assert.match(report.badCall, /JSON array of strings/);
  assert.equal(report.async, '/');
  assert.match(r.err, /^written true$/m);
  assert.equal(tail, 'é');
  assert.match(r.err, /^to stderr \{"a":1\} \[2\]$/m);
});

test('an event posted by a worker reaches $event.dispatch', async (t) => {
  const setup = makeSetup(t, cli(`
    $native.sh.event.stdout = function (pid, text) {
      $host.write(1, 'event:' + pid + ':' + text);
      if (text.indexOf('world') >= 0) $host.exit(0);
    };
    $native.start();
    var pid = $native.sh.exec(JSON.stringify(['printf', "'hello world\\\\n'"]));
    $host.write(1, 'pid:' + pid + '\\n');`));
  const r = await run(setup, ['devices']);
  assert.equal(r.code, 0, r.err);
  const pid = /^pid:(\d+)\n/.exec(r.out);
  assert.ok(pid, r.out);
  assert.match(r.out, new RegExp('event:' + pid[1] + ':hello world\\n'));
});

test('exit statuses: the first call wins, out-of-range is a failure, the app module exit is success', async (t) => {
  const cases = [
    ['$host.exit(7);', 7],
    ['$host.exit(4); $host.exit(5);', 4],
    ['setTimeout(function () { $host.exit(2); }, 0); $host.exit(3);', 3],
    ['$host.exit(300);', 1],
    ['$host.exit();', 0],
    ['$native.app.exit();', 0],
  ];
  for (const [body, status] of cases) {
    const r = await run(makeSetup(t, cli(body)), ['rm', '1/1']);
    assert.equal(r.code, status, body + ': ' + r.err);
    assert.equal(r.err, '', body);
  }
});

test('an escaping exception is an internal error with its position, exit 1', async (t) => {
  const cases = [
    [cli('\n  null.boom();'), /^tarn: internal error: TypeError: null is not an object .*\(js\/tarn\/test\.js:3\)\n$/],
    [cli('  setTimeout(function () {\n    throw new Error("late failure");\n  }, 5);'),
      /^tarn: internal error: Error: late failure \(js\/tarn\/test\.js:3\)\n$/],
    ['var x = ;', /^tarn: internal error: SyntaxError: .*\(js\/tarn\/test\.js:1\)\n$/],
    ['var Tarn = {};', /^tarn: internal error: TypeError: .*\(tarn-cli-run:1\)\n$/],
    [cli('  return Promise.reject(new Error("async failure"));'), /^tarn: internal error: Error: async failure \(/],
    [cli('  window.$event.start(); $native.sh.event.stdout = function () { throw new Error("in handler"); };\n' +
      '  $native.sh.exec(JSON.stringify(["echo", "x"]));'), /^tarn: internal error: Error: in handler \(js\/tarn\/test\.js:2\)\n$/],
  ];
  for (const [script, message] of cases) {
    const r = await run(makeSetup(t, script), ['ls']);
    assert.equal(r.code, 1, script + ': ' + r.err);
    assert.match(r.err, message);
  }
});

test('a page without command scripts, or with a bad list, fails clearly', async (t) => {
  let r = await run(makeSetup(t, null, { list: null }), ['ls']);
  assert.equal(r.code, 1);
  assert.match(r.err, /^tarn: the command scripts are missing: the page has no js\/cli-scripts\.json\n$/);
  r = await run(makeSetup(t, '', { list: ['../../etc/passwd'] }), ['ls']);
  assert.equal(r.code, 1);
  assert.match(r.err, /lists a path outside the page/);
  r = await run(makeSetup(t, '', { list: ['js/tarn/missing.js'] }), ['ls']);
  assert.equal(r.code, 1);
  assert.match(r.err, /cannot read the command script js\/tarn\/missing\.js/);
});

// Starts a script that says "ready" on stderr once it runs, then sends the signals.
function interrupted(setup, signals, options = {}) {
  let sent = false;
  return run(setup, ['import', 'x'], {
    ...options,
    onStart(child, err) {
      if (sent || !err.includes('ready')) return;
      sent = true;
      for (const [signal, delay] of signals) setTimeout(() => child.kill(signal), delay);
    },
  });
}

test('SIGINT reaches onInterrupt; exit 130 after cleanup ends the process by SIGINT, 143 by SIGTERM', async (t) => {
  const script = cli(`
    $host.onInterrupt = function () {
      console.log('interrupted');
      setTimeout(function () { console.log('cleaned up'); $host.exit($host.env('SIG') === 'TERM' ? 143 : 130); }, 50);
    };
    setTimeout(function () { $host.exit(0); }, 8000);
    console.log('ready');`);
  const setup = makeSetup(t, script);
  let r = await interrupted(setup, [['SIGINT', 0]]);
  assert.equal(r.signal, 'SIGINT', r.err);
  assert.match(r.err, /ready\ninterrupted\ncleaned up\n$/);
  setup.env.SIG = 'TERM';
  r = await interrupted(setup, [['SIGTERM', 0]]);
  assert.equal(r.signal, 'SIGTERM', r.err);
  assert.match(r.err, /interrupted\ncleaned up\n$/);
});

test('a second signal, or a signal without a handler, ends the command at once', async (t) => {
  const stubborn = makeSetup(t, cli(`
    $host.onInterrupt = function () { console.log('interrupted'); };
    setTimeout(function () { $host.exit(0); }, 8000);
    console.log('ready');`));
  const started = Date.now();
  let r = await interrupted(stubborn, [['SIGINT', 0], ['SIGINT', 200]]);
  assert.equal(r.signal, 'SIGINT', r.err);
  assert.match(r.err, /interrupted\n$/);
  assert.ok(Date.now() - started < 5000);
  const unhandled = makeSetup(t, cli(`setTimeout(function () { $host.exit(0); }, 8000); console.log('ready');`));
  r = await interrupted(unhandled, [['SIGTERM', 0]]);
  assert.equal(r.signal, 'SIGTERM', r.err);
});

test('readLine reads standard input line by line; a signal ends the wait', async (t) => {
  const reader = makeSetup(t, cli(`
    var lines = [];
    for (var line; (line = $host.readLine()) !== null;) lines.push(line);
    $host.write(1, JSON.stringify(lines));
    $host.exit(0);`));
  let r = await run(reader, ['rm', '1/1'], { input: 'yes\r\nno\n\nlast' });
  assert.equal(r.code, 0, r.err);
  assert.deepEqual(JSON.parse(r.out), ['yes', 'no', '', 'last']);

  const prompt = makeSetup(t, cli(`
    $host.onInterrupt = function () { console.log('interrupted'); $host.exit(130); };
    console.log('ready');
    var answer = $host.readLine();
    console.log('answer ' + answer);
    $host.exit(answer === 'y' ? 0 : 1);`));
  r = await interrupted(prompt, [['SIGINT', 100]]);
  assert.equal(r.signal, 'SIGINT', r.err);
  assert.match(r.err, /ready\ninterrupted\nanswer null\n$/);
});

test('a command refuses to run while another Tarn holds the lock', async (t) => {
  const setup = makeSetup(t, cli(`
    console.log('ready');
    $host.onInterrupt = function () { $host.exit(130); };
    setTimeout(function () { $host.exit(0); }, 8000);`));
  const refused = /^tarn: Tarn is already running \(a window or another tarn command\); close it first\.\n$/;
  let second;
  let r = await run(setup, ['ls'], {
    onStart(child, err) {
      if (second || !err.includes('ready')) return;
      second = run(setup, ['devices']).finally(() => child.kill('SIGINT'));
    },
  });
  assert.equal(r.signal, 'SIGINT');
  const other = await second;
  assert.equal(other.code, 1);
  assert.match(other.err, refused);

  // A window started meanwhile says why it does not open.
  const x = await startXvfb();
  t.after(() => x.stop());
  let windowRun;
  r = await run(setup, ['ls'], {
    onStart(child, err) {
      if (windowRun || !err.includes('ready')) return;
      windowRun = run({ ...setup, env: { ...setup.env, DISPLAY: x.display } }, []).finally(() => child.kill('SIGINT'));
    },
  });
  const window = await windowRun;
  assert.equal(window.code, 1);
  assert.match(window.err, /^tarn: a tarn command is running; start Tarn again when it has finished\.\n$/);

  // A headless host holds the lock as well; a window started meanwhile says so too.
  const headless = spawn(TARN, ['--headless'], { env: setup.env, stdio: ['ignore', 'pipe', 'pipe'] });
  t.after(() => headless.kill('SIGKILL'));
  await new Promise((resolve) => headless.stdout.once('data', resolve));
  r = await run(setup, ['ls']);
  assert.equal(r.code, 1);
  assert.match(r.err, refused);
  r = await run({ ...setup, env: { ...setup.env, DISPLAY: x.display } }, ['song.wav']);
  assert.equal(r.code, 1);
  assert.match(r.err, /^tarn: Tarn is already running without a window \(headless, or still starting\); close it first\.\n$/);
  headless.kill('SIGTERM');
  await new Promise((resolve) => headless.on('close', resolve));
  // Free again: the command runs.
  writeFileSync(join(setup.root, 'js/tarn/test.js'), cli('$host.exit(0);'));
  r = await run(setup, ['ls']);
  assert.equal(r.code, 0, r.err);
});
