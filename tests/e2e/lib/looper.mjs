// A simulated looper for the end-to-end flows: its volume (tools/looper-volume.sh, a
// FAT32 image as on the devices, needs root), its MIDI side (looper-sim on a private JACK
// server), a catalogue on 127.0.0.1, and test audio made with ffmpeg.
import { spawn, execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, readFileSync, existsSync, readdirSync, readlinkSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import http from 'node:http';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../../..');
const volumeTool = join(repo, 'tools/looper-volume.sh');
export const looperSimBinary = process.env.LOOPER_SIM || resolve(repo, 'build/looper-sim');

// Looper volumes are mounted only inside a mount namespace of the flow's own
// (tests/e2e/support/private-mounts.sh): the host then sees no other volume of the
// machine, and nothing outside sees the flow's.
export function inPrivateMounts() {
  try { return !!process.env.TARN_PRIVATE_MOUNTS && readlinkSync('/proc/self/ns/mnt') === process.env.TARN_PRIVATE_MOUNTS; } catch { return false; }
}

// Why looper volumes cannot be mounted here ('' when they can).
export function volumesUnavailable() {
  if (!process.getuid || process.getuid() !== 0) return 'mounting looper volumes needs root';
  if (!existsSync('/dev/loop-control')) return 'mounting looper volumes needs loop devices';
  if (!inPrivateMounts()) return 'looper volumes are mounted only in a private mount namespace (tests/e2e/support/private-mounts.sh)';
  const fs = process.env.LOOPER_VOLUME_FS || 'fat32';
  const tools = fs === 'ext4' ? ['mkfs.ext4'] : ['mkfs.fat', 'fsck.fat', 'mmd', 'fusefat'];
  const missing = tools.filter((tool) => spawnSync('which', [tool]).status !== 0);
  return missing.length ? 'missing ' + missing.join(', ') : '';
}

export function canMountVolumes() { return volumesUnavailable() === ''; }

export function canRunMidi() {
  return existsSync(looperSimBinary) && spawnSync('which', ['jackd']).status === 0;
}

// Mounts a looper volume for a model; options.label overrides the model's label.
// cleanup() unmounts it, checks its filesystem and returns what the check found wrong
// ('' for a clean one).
export function mountVolume(model, { label, size } = {}) {
  const folder = mkdtempSync(join('/tmp', 'tarn-looper-'));
  const point = join(folder, 'vol');
  const args = ['mount', model, point];
  if (label !== undefined) args.push('--label', label);
  if (size !== undefined) args.push('--size', String(size));
  execFileSync(volumeTool, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  let report = null;
  return {
    mount: point,
    wave: join(point, 'CORVANE', 'WAVE'),
    track(memory, track) { return join(point, 'CORVANE', 'WAVE', String(memory).padStart(3, '0') + '_' + track); },
    mounted() { return spawnSync('mountpoint', ['-q', point]).status === 0; },
    cleanup() {
      if (report === null) {
        const done = spawnSync(volumeTool, ['unmount', point, '--check'], { encoding: 'utf8', stdio: ['ignore', 'ignore', 'pipe'] });
        report = done.status === 0 ? '' : (done.stderr || 'the volume check failed (' + done.status + ')');
        rmSync(folder, { recursive: true, force: true });
      }
      return report;
    },
  };
}

function waitForExit(child, ms) {
  return new Promise((r) => {
    if (child.exitCode !== null || child.signalCode !== null) { r(); return; }
    const timer = setTimeout(() => { child.kill('SIGKILL'); }, ms);
    child.once('exit', () => { clearTimeout(timer); r(); });
  });
}

let serial = 0;
// A JACK server of our own (dummy backend) and the environment Tarn needs to use it.
export async function startJack() {
  const name = `tarn-page-${process.pid}-${serial++}`;
  const child = spawn('jackd', ['--no-realtime', '-n', name, '-d', 'dummy', '-r', '44100', '-p', '128'], { stdio: 'ignore' });
  const ok = spawnSync('jack_wait', ['-w', '-t', '10', '-s', name], { stdio: 'ignore' }).status === 0;
  if (!ok) { child.kill('SIGKILL'); throw new Error('jackd did not start'); }
  return {
    name,
    env: { JACK_DEFAULT_SERVER: name, JACK_NO_START_SERVER: '1', TARN_MIDI_API: 'jack' },
    async stop() { child.kill('SIGTERM'); await waitForExit(child, 5000); },
  };
}

// The looper's MIDI side; lines() holds what it printed ("recv", "sent", "mode").
export async function startLooperSim(jack, portName, modelId, extra = []) {
  const child = spawn(looperSimBinary, ['--name', portName, '--model', modelId, '--api', 'jack', ...extra], {
    env: { ...process.env, ...jack.env }, stdio: ['ignore', 'pipe', 'pipe'],
  });
  const lines = [];
  let buffer = '';
  child.stdout.on('data', (d) => {
    buffer += d;
    let at;
    while ((at = buffer.indexOf('\n')) >= 0) { lines.push(buffer.slice(0, at)); buffer = buffer.slice(at + 1); }
  });
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  const end = Date.now() + 10000;
  while (!lines.includes('ready ' + portName)) {
    if (Date.now() > end || child.exitCode !== null) throw new Error('looper-sim did not start: ' + err);
    await new Promise((r) => setTimeout(r, 50));
  }
  return {
    lines,
    modes() { return lines.filter((l) => l.startsWith('mode ')).map((l) => Number(l.slice(5))); },
    async stop() { child.kill('SIGTERM'); await waitForExit(child, 5000); },
  };
}

// A catalogue server on 127.0.0.1: routes maps a path to {type, body} (404 otherwise).
export async function startCatalogueServer(routes) {
  const served = [];
  const server = http.createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    served.push(path);
    const route = routes[path];
    if (!route) { res.writeHead(404); res.end('not found'); return; }
    const body = typeof route.body === 'function' ? route.body() : route.body;
    res.writeHead(200, { 'Content-Type': route.type || 'application/octet-stream', 'Content-Length': body.length });
    if (route.slow) {
      // In small steps, so that progress can be seen and a cancel can land.
      let at = 0;
      const step = () => {
        if (at >= body.length) { res.end(); return; }
        res.write(body.subarray(at, at + route.slow));
        at += route.slow;
        setTimeout(step, 20);
      };
      step();
    } else {
      res.end(body);
    }
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const base = `http://127.0.0.1:${server.address().port}`;
  return { base, served, close: () => new Promise((r) => server.close(r)) };
}

// Audio made by ffmpeg: a sine of the given length in seconds.
export function makeAudio(path, seconds, { rate = 44100, channels = 2, codec = [] } = {}) {
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `sine=frequency=440:sample_rate=${rate}:duration=${seconds}`,
    '-ac', String(channels), ...codec, path]);
  return path;
}

// The parts of a WAV file the flows check.
export function readWav(path) {
  const bytes = readFileSync(path);
  if (bytes.toString('ascii', 0, 4) !== 'RIFF' || bytes.toString('ascii', 8, 12) !== 'WAVE') throw new Error('not a WAV file');
  let at = 12;
  const wav = { riffSize: bytes.readUInt32LE(4), fileSize: bytes.length };
  while (at + 8 <= bytes.length) {
    const id = bytes.toString('ascii', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === 'fmt ') {
      wav.format = bytes.readUInt16LE(at + 8);
      wav.channels = bytes.readUInt16LE(at + 10);
      wav.sampleRate = bytes.readUInt32LE(at + 12);
      wav.byteRate = bytes.readUInt32LE(at + 16);
      wav.blockAlign = bytes.readUInt16LE(at + 20);
      wav.bits = bytes.readUInt16LE(at + 22);
      if (wav.format === 0xFFFE && size >= 26) wav.format = bytes.readUInt16LE(at + 32);
    } else if (id === 'data') {
      wav.dataOffset = at + 8;
      wav.dataSize = size;
    }
    at += 8 + size + (size & 1);
  }
  wav.frames = wav.blockAlign ? wav.dataSize / wav.blockAlign : 0;
  return wav;
}

export function listTree(folder) {
  const out = [];
  const walk = (dir) => {
    for (const name of readdirSync(dir)) {
      const full = join(dir, name);
      if (statSync(full).isDirectory()) walk(full); else out.push(full);
    }
  };
  walk(folder);
  return out;
}

export function scratchFolder() {
  const folder = mkdtempSync(join(tmpdir(), 'tarn-flow-'));
  return { folder, cleanup: () => rmSync(folder, { recursive: true, force: true }) };
}

// A private PulseAudio server with a null sink, for previews without a sound card.
export async function startPulse() {
  const dir = mkdtempSync(join('/tmp', 'tarn-pulse-'));
  const socket = join(dir, 'native');
  const child = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit', '--use-pid-file=no',
    '--disable-shm', `--load=module-native-protocol-unix socket=${socket}`,
    '--load=module-null-sink sink_name=tarn_flow rate=44100 channels=2'], {
    env: { ...process.env, PULSE_RUNTIME_PATH: dir, PULSE_STATE_PATH: dir, HOME: dir, XDG_CONFIG_HOME: dir, DBUS_SESSION_BUS_ADDRESS: '' },
    stdio: 'ignore',
  });
  const env = { PULSE_SERVER: 'unix:' + socket };
  const end = Date.now() + 15000;
  while (spawnSync('pactl', ['info'], { env: { ...process.env, ...env }, stdio: 'ignore' }).status !== 0) {
    if (Date.now() > end || child.exitCode !== null) { child.kill('SIGKILL'); rmSync(dir, { recursive: true, force: true }); throw new Error('pulseaudio did not start'); }
    await new Promise((r) => setTimeout(r, 100));
  }
  return {
    env,
    async stop() { child.kill('SIGTERM'); await waitForExit(child, 5000); rmSync(dir, { recursive: true, force: true }); },
  };
}

// Saves a screenshot into the test output folder and checks that it shows something:
// a blank page has a handful of colours, a drawn one hundreds.
export async function screenshotNotBlank(page, name, ctx) {
  const folder = process.env.TARN_E2E_OUTPUT || join(repo, 'build', 'e2e-output');
  mkdirSync(folder, { recursive: true });
  const path = join(folder, name.replace(/^.*\//, ''));
  const png = await page.screenshot({ path });
  const colours = await page.evaluate(async (data) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    const seen = new Set();
    for (let i = 0; i < pixels.length; i += 4 * 7) seen.add((pixels[i] << 16) | (pixels[i + 1] << 8) | pixels[i + 2]);
    return seen.size;
  }, png.toString('base64'));
  if (ctx) ctx.diagnostic(`screenshot ${path}: ${colours} colours`);
  if (colours < 20) throw new Error(`the screenshot ${path} looks blank (${colours} colours)`);
  return path;
}

// A private system bus with a UDisks2 stand-in that knows the looper's volume, so that
// the page's Disconnect can really release it.
export async function startVolumeService(mountPoint) {
  if (spawnSync('/usr/bin/python3', ['-c', 'import dbusmock'], { stdio: 'ignore' }).status !== 0) return null;
  const dir = mkdtempSync(join('/tmp', 'tarn-udisks-'));
  const socket = join(dir, 'system_bus_socket');
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--nopidfile', `--address=unix:path=${socket}`], { stdio: 'ignore' });
  const env = { DBUS_SYSTEM_BUS_ADDRESS: `unix:path=${socket}` };
  const stopAll = async (mock) => {
    if (mock) { mock.kill('SIGTERM'); await waitForExit(mock, 5000); }
    daemon.kill('SIGTERM');
    await waitForExit(daemon, 5000);
    rmSync(dir, { recursive: true, force: true });
  };
  let end = Date.now() + 10000;
  while (!existsSync(socket)) {
    if (Date.now() > end) { await stopAll(); throw new Error('dbus-daemon did not start'); }
    await new Promise((r) => setTimeout(r, 50));
  }
  const mock = spawn('/usr/bin/python3', ['-m', 'dbusmock', '--system', '--template', join(here, '../../support/udisks2_mock.py'),
    '--parameters', JSON.stringify({ mount: mountPoint })], { env: { ...process.env, ...env }, stdio: 'ignore' });
  const owned = () => spawnSync('dbus-send', ['--system', '--print-reply', '--dest=org.freedesktop.DBus', '/',
    'org.freedesktop.DBus.NameHasOwner', 'string:org.freedesktop.UDisks2'], { env: { ...process.env, ...env }, encoding: 'utf8' }).stdout || '';
  end = Date.now() + 15000;
  while (!owned().includes('boolean true')) {
    if (Date.now() > end || mock.exitCode !== null) { await stopAll(mock); throw new Error('the UDisks2 stand-in did not start'); }
    await new Promise((r) => setTimeout(r, 100));
  }
  return { env, stop: () => stopAll(mock) };
}
