// Runs the real `tarn` window under its own Xvfb server (display number picked by the
// server itself, so parallel runs never collide), with temporary XDG folders.
import { spawn, execFileSync } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, chmodSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
export const tarnBinary = process.env.TARN_BIN || resolve(here, '../../../build/tarn');
export const xCloseBinary = process.env.TARN_XCLOSE || resolve(here, '../../../build/tests/x_close_window');
export const xDragBinary = process.env.TARN_XDRAG || resolve(here, '../../../build/tests/x_drag_source');
export const fakeLogin1Binary = process.env.TARN_FAKE_LOGIN1 || resolve(here, '../../../build/tests/fake_login1');

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export async function waitFor(what, probe, timeoutMs = 45000, stepMs = 100) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > until) throw new Error('timed out waiting for ' + what);
    await sleep(stepMs);
  }
}

export function startXvfb(screen = '1280x1024') {
  return new Promise((resolveStart, rejectStart) => {
    const child = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', screen + 'x24', '-nolisten', 'tcp'], {
      stdio: ['ignore', 'ignore', 'pipe', 'pipe'],
    });
    let number = '';
    let err = '';
    child.stderr.on('data', (d) => { err += d; });
    child.stdio[3].on('data', (d) => {
      number += d;
      if (number.includes('\n')) {
        resolveStart({
          display: ':' + number.trim(),
          stop: () => new Promise((r) => { child.once('exit', r); child.kill('SIGTERM'); }),
        });
      }
    });
    child.on('exit', (code) => rejectStart(new Error('Xvfb ended (' + code + '): ' + err)));
  });
}

// A fresh HOME with XDG folders and the test pages already in the unpacked page folder
// (unpacking the bundle leaves files it does not carry alone).
export function makeHome() {
  const root = mkdtempSync(join(tmpdir(), 'tarn-shell-'));
  for (const sub of ['config', 'data', 'tmp', 'run']) mkdirSync(join(root, sub));
  chmodSync(join(root, 'run'), 0o700);
  const appData = join(root, 'data', 'Corvane', 'tarn');
  mkdirSync(join(appData, 'html'), { recursive: true });
  cpSync(resolve(here, '../pages'), join(appData, 'html', 'test'), { recursive: true });
  return {
    root,
    appData,
    env: {
      HOME: root, XDG_CONFIG_HOME: join(root, 'config'), XDG_DATA_HOME: join(root, 'data'),
      TMPDIR: join(root, 'tmp'), XDG_RUNTIME_DIR: join(root, 'run'),
    },
    settings() {
      const file = join(root, 'config', 'Corvane', 'settings.json');
      return existsSync(file) ? JSON.parse(readFileSync(file, 'utf8')) : null;
    },
    pref(key) {
      const file = join(appData, 'pref', key);
      return existsSync(file) ? readFileSync(file, 'utf8') : null;
    },
    cleanup() { rmSync(root, { recursive: true, force: true }); },
  };
}

// Starts `tarn` in the window mode on the display.
export function startTarn(x, home, { args = [], page = null, env: extra = {} } = {}) {
  const env = { ...process.env, ...home.env, DISPLAY: x.display, ...extra };
  delete env.WAYLAND_DISPLAY;
  if (page) env.TARN_START_PAGE = page;
  else delete env.TARN_START_PAGE;
  const child = spawn(tarnBinary, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.on('data', (d) => { output += d; });
  child.stderr.on('data', (d) => { output += d; });
  const exited = new Promise((r) => child.on('exit', (code, signal) => r({ code, signal })));
  return {
    child, exited, env,
    output: () => output,
    running: () => child.exitCode === null && child.signalCode === null,
    async stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
      return exited;
    },
  };
}

export function xdotool(x, ...args) {
  try {
    return execFileSync('xdotool', args, { env: { ...process.env, DISPLAY: x.display }, encoding: 'utf8' }).trim();
  } catch {
    return '';
  }
}

// The ids of the visible windows named exactly `name`.
export function windowsNamed(x, name) {
  const ids = xdotool(x, 'search', '--onlyvisible', '--name', '^' + name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + '$');
  return ids ? ids.split('\n') : [];
}

export function windowGeometry(x, id) {
  const text = xdotool(x, 'getwindowgeometry', '--shell', id);
  const values = Object.fromEntries(text.split('\n').map((l) => l.split('=')));
  return { x: Number(values.X), y: Number(values.Y), width: Number(values.WIDTH), height: Number(values.HEIGHT) };
}

export function closeButton(x, id) {
  execFileSync(xCloseBinary, [id], { env: { ...process.env, DISPLAY: x.display } });
}

// Screenshot of one window as PNG; returns its path and the number of distinct colours
// the standard deviation of its pixels (0 for a blank image) and their mean brightness.
export function screenshot(x, id, file) {
  const env = { ...process.env, DISPLAY: x.display };
  execFileSync('import', ['-window', id, file], { env });
  const [deviation, colours, mean] = execFileSync('convert', [file, '-format', '%[fx:standard_deviation] %k %[fx:mean]', 'info:'],
    { encoding: 'utf8' }).trim().split(' ');
  return { file, deviation: Number(deviation), colours: Number(colours), mean: Number(mean) };
}

// A private bus standing in for the system bus, with a login manager on it that
// announces suspend and resume on request.
export async function startSleepingSystem(home) {
  const address = 'unix:path=' + join(home.root, 'run', 'system_bus');
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--nopidfile', '--address=' + address],
    { stdio: 'ignore' });
  const env = { ...process.env, DBUS_SYSTEM_BUS_ADDRESS: address };
  await waitFor('the private bus', () => existsSync(join(home.root, 'run', 'system_bus')), 10000);
  const login = spawn(fakeLogin1Binary, [], { env, stdio: ['pipe', 'pipe', 'inherit'] });
  let out = '';
  login.stdout.on('data', (d) => { out += d; });
  await waitFor('the login manager', () => out.includes('ready'), 10000);
  return {
    env: { DBUS_SYSTEM_BUS_ADDRESS: address },
    sleepAndResume() { login.stdin.write('cycle\n'); },
    async stop() {
      login.stdin.end();
      login.kill('SIGTERM');
      daemon.kill('SIGTERM');
      await new Promise((r) => (daemon.exitCode !== null ? r() : daemon.once('exit', r)));
    },
  };
}

// Drags FILES with the pointer from a little source window at the screen's top left onto
// the point (toX, toY), as a person does from a file manager; resolves once dropped.
export async function dragFiles(x, files, toX, toY) {
  const source = spawn(xDragBinary, files, { env: { ...process.env, DISPLAY: x.display }, stdio: ['ignore', 'pipe', 'inherit'] });
  try {
    let out = '';
    source.stdout.on('data', (d) => { out += d; });
    await waitFor('the drag source', () => out.includes('ready'), 10000);
    xdotool(x, 'mousemove', '60', '60', 'mousedown', '1');
    // The toolkit starts a drag after some motion with the button held, then follows it.
    for (let step = 1; step <= 20; step++) {
      xdotool(x, 'mousemove', String(60 + Math.round(((toX - 60) * step) / 20)), String(60 + Math.round(((toY - 60) * step) / 20)));
      await sleep(50);
    }
    await sleep(300);
    xdotool(x, 'mouseup', '1');
    await sleep(300);
  } finally {
    source.kill('SIGTERM');
  }
}
