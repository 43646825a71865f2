// Runs the real `tarn` command line for the end-to-end tests: each test file gets a home
// of its own (XDG folders and a private runtime folder, so the single-instance lock and
// the settings are its own), and every run is a plain child process without a terminal.
import { spawn } from 'node:child_process';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, readFileSync, readdirSync, statSync, chmodSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { join, relative } from 'node:path';
import { tarnBinary, makeHome } from './tarn.mjs';
import { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, scratchFolder } from './looper.mjs';

export { tarnBinary };

// A home for the command line; env is what every run gets on top of the caller's.
export function cliHome(extraEnv = {}) {
  const home = makeHome();
  const runtime = join(home.root, 'runtime');
  mkdirSync(runtime);
  chmodSync(runtime, 0o700);
  home.env = {
    ...home.env,
    XDG_RUNTIME_DIR: runtime,
    // No disk service and no session bus: nothing of the machine's is reached.
    DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-cli/system_bus_socket',
    DBUS_SESSION_BUS_ADDRESS: '',
    DISPLAY: '',
    WAYLAND_DISPLAY: '',
    ...extraEnv,
  };
  return home;
}

// Starts `tarn ARGS...`; the handle's done resolves to {code, signal, stdout, stderr}.
export function startCommand(home, args, { input, cwd } = {}) {
  const child = spawn(tarnBinary, args, {
    env: { ...process.env, ...home.env },
    cwd: cwd || home.root,
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  let stdout = '';
  let stderr = '';
  child.stdout.setEncoding('utf8');
  child.stderr.setEncoding('utf8');
  child.stdout.on('data', (d) => { stdout += d; });
  child.stderr.on('data', (d) => { stderr += d; });
  child.stdin.on('error', () => {});
  if (input !== undefined) child.stdin.end(input); else child.stdin.end();
  const done = new Promise((resolve, reject) => {
    child.on('error', reject);
    child.on('close', (code, signal) => resolve({ code, signal, stdout, stderr }));
  });
  return { child, done, stderr: () => stderr, stdout: () => stdout };
}

// Runs `tarn ARGS...` to its end; a run that hangs is killed after timeout ms and fails.
export async function tarn(home, args, { timeout = 60000, ...options } = {}) {
  const run = startCommand(home, args, options);
  let timer;
  const limit = new Promise((_, reject) => {
    timer = setTimeout(() => {
      run.child.kill('SIGKILL');
      reject(new Error(`tarn ${args.join(' ')} did not end within ${timeout} ms; stderr: ${run.stderr()}`));
    }, timeout);
  });
  try {
    return await Promise.race([run.done, limit]);
  } finally {
    clearTimeout(timer);
  }
}

// What a run did, for assertion messages.
export function describe(result) {
  return `exit ${result.code}${result.signal ? ' (' + result.signal + ')' : ''}; stdout: ${result.stdout.slice(0, 2000)}; stderr: ${result.stderr.slice(0, 2000)}`;
}

// The files under a folder as {relative path: MD5}, for comparing trees byte for byte.
export function treeDigest(folder) {
  const out = {};
  const walk = (dir) => {
    for (const name of readdirSync(dir).sort()) {
      const full = join(dir, name);
      if (statSync(full).isDirectory()) walk(full);
      else out[relative(folder, full)] = md5(full);
    }
  };
  walk(folder);
  return out;
}

export function md5(path) {
  return createHash('md5').update(readFileSync(path)).digest('hex').toUpperCase();
}

// The first `count` samples of a WAV's data as numbers in [-1, 1], whatever its encoding.
export function samples(path, wav, count) {
  const bytes = readFileSync(path);
  const out = [];
  const size = wav.bits / 8;
  for (let i = 0; i < count; i++) {
    const at = wav.dataOffset + i * size;
    if (at + size > wav.dataOffset + wav.dataSize) break;
    if (wav.format === 3) out.push(bytes.readFloatLE(at));
    else if (wav.bits === 16) out.push(bytes.readInt16LE(at) / 32768);
    else if (wav.bits === 24) out.push(bytes.readIntLE(at, 3) / 8388608);
    else if (wav.bits === 32) out.push(bytes.readInt32LE(at) / 2147483648);
  }
  return out;
}

// The usual checks of a WAV written onto a looper or exported: complete, consistent, and
// with its sample data on a 4-byte boundary.
export function wellFormed(wav) {
  const problems = [];
  if (wav.dataOffset === undefined) problems.push('no data chunk');
  if (wav.riffSize !== wav.fileSize - 8) problems.push(`RIFF size ${wav.riffSize} for a file of ${wav.fileSize} bytes`);
  if (wav.dataOffset + wav.dataSize !== wav.fileSize) problems.push(`data ends at ${wav.dataOffset + wav.dataSize} of ${wav.fileSize}`);
  if (wav.dataOffset % 4 !== 0) problems.push(`data starts at ${wav.dataOffset}, not on a 4-byte boundary`);
  if (wav.blockAlign !== wav.channels * wav.bits / 8) problems.push(`block align ${wav.blockAlign}`);
  if (wav.byteRate !== wav.sampleRate * wav.blockAlign) problems.push(`byte rate ${wav.byteRate}`);
  if (wav.dataSize % wav.blockAlign !== 0) problems.push(`data size ${wav.dataSize} is not whole frames`);
  return problems;
}

// A value written in the project's JSON rule: sorted keys, compact.
export function canonicalJson(value) {
  if (Array.isArray(value)) return '[' + value.map(canonicalJson).join(',') + ']';
  if (value && typeof value === 'object') {
    return '{' + Object.keys(value).sort().map((k) => JSON.stringify(k) + ':' + canonicalJson(value[k])).join(',') + '}';
  }
  return JSON.stringify(value);
}

// The one JSON document a --json run printed; fails when stdout holds anything else or
// does not follow the project's JSON rule.
export function jsonOutput(result) {
  const text = result.stdout.replace(/\n$/, '');
  let value;
  try { value = JSON.parse(text); } catch (e) { throw new Error('stdout is not one JSON document: ' + describe(result)); }
  if (canonicalJson(value) !== text) throw new Error('stdout is not in sorted, compact JSON: ' + text.slice(0, 500));
  return value;
}

// The edit-mode values the simulator was sent (DT1 writes of 7F700000), in order: [1, 0, ...].
export function editModeWrites(sim) {
  return sim.lines.filter((l) => /^recv F07D10[0-9A-F]*127F700000[0-9A-F]{2}[0-9A-F]{2}F7$/.test(l))
    .map((l) => parseInt(l.slice(-6, -4), 16));
}

// ok(args) runs a command that must succeed, fails(args, status) one that must fail with
// that status and its message (`tarn: ...`, or `tarn CMD: ...` and the help hint for a
// usage error); both check that the looper (sim, when given) ends out of edit mode and
// that a command which switched it on switched it off again.
export function commandRunner(home, sim) {
  const leftEditMode = (args) => {
    if (sim) assert.equal(sim.modes().at(-1) ?? 0, 0, `tarn ${args.join(' ')} left the looper in edit mode`);
  };
  return {
    async ok(args, options) {
      const writes = sim ? editModeWrites(sim).length : 0;
      const result = await tarn(home, args, options);
      assert.equal(result.code, 0, `tarn ${args.join(' ')}: ${describe(result)}`);
      leftEditMode(args);
      const made = sim ? editModeWrites(sim).slice(writes) : [];
      if (made.length) assert.deepEqual([made[0], made.at(-1)], [1, 0], `edit mode on, then off: ${made}`);
      return result;
    },
    async fails(args, status, options) {
      const result = await tarn(home, args, options);
      assert.equal(result.code, status, `tarn ${args.join(' ')}: ${describe(result)}`);
      assert.match(result.stderr, status === 2 ? new RegExp(`^tarn ${args[0]}: .+`, 'm') : /^tarn: .+/m, describe(result));
      if (status === 2) assert.ok(result.stderr.includes(`Try 'tarn ${args[0]} --help'.`), describe(result));
      assert.equal(result.stdout, '', 'nothing on stdout for a failure');
      leftEditMode(args);
      return result;
    },
  };
}

// What a command-line test file needs, made once in its before(): a JACK server, the
// looper simulator (with simArgs), the model's FAT32 volume, a scratch folder and a home.
// {skip} names what is missing; stop() takes down whatever was made.
export async function startCliRig(model, simArgs = []) {
  const rig = { skip: volumesUnavailable() };
  rig.stop = async () => {
    await rig.sim?.stop();
    await rig.jack?.stop();
    rig.volume?.cleanup();
    rig.home?.cleanup();
    rig.scratch?.cleanup();
  };
  if (rig.skip) return rig;
  if (!canRunMidi()) { rig.skip = 'looper-sim or jackd is missing'; return rig; }
  if (!existsSync(tarnBinary)) { rig.skip = 'no tarn binary'; return rig; }
  rig.scratch = scratchFolder();
  rig.jack = await startJack();
  rig.sim = await startLooperSim(rig.jack, model.port, model.id, simArgs);
  rig.volume = mountVolume(model.name);
  rig.home = cliHome(rig.jack.env);
  Object.assign(rig, commandRunner(rig.home, rig.sim));
  return rig;
}
