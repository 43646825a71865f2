// The command line against a MIDI looper (looper-sim on a private JACK server, its volume a
// FAT32 image): usage and exit statuses, devices, ls, import of mp3/m4a/wav, export in the
// three formats, rm, and --from-folder, each leaving the looper out of edit mode.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { spawn, spawnSync } from 'node:child_process';
import { makeAudio, readWav, listTree } from '../lib/looper.mjs';
import { tarn, describe, jsonOutput, wellFormed, samples, treeDigest, editModeWrites, startCliRig, tarnBinary } from '../lib/cli.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072', label: 'EDDY_DUO', memories: 99, tracks: 2 };
const SUBCOMMANDS = ['devices', 'ls', 'import', 'export', 'rm', 'deleted', 'undelete', 'backup', 'restore'];

let rig, jack, sim, volume, scratch, home, ok, fails;
let skip = '';
const audio = {};

before(async () => {
  rig = await startCliRig(MODEL);
  ({ skip, jack, sim, volume, scratch, home, ok, fails } = rig);
  if (skip) return;
  const s = scratch.folder;
  audio.mp3 = makeAudio(join(s, 'Song.mp3'), 2, { codec: ['-b:a', '192k'] });
  audio.m4a = makeAudio(join(s, 'Loop.m4a'), 3, { codec: ['-c:a', 'aac', '-b:a', '160k'] });
  audio.wav = makeAudio(join(s, 'Mono Take.wav'), 1.2, { rate: 48000, channels: 1 });
  audio.outside = makeAudio(join(s, 'Outside.wav'), 0.5);
});

after(async () => {
  await rig?.stop();
});

// A program run with the test's environment to its end: {code, signal, stdout, stderr}.
function tarnThrough(file, args, input) {
  return new Promise((resolve, reject) => {
    const child = spawn(file, args, { env: { ...process.env, ...home.env, TERM: 'dumb' }, cwd: home.root, stdio: ['pipe', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (d) => { stdout += d; });
    child.stderr.on('data', (d) => { stderr += d; });
    const timer = setTimeout(() => child.kill('SIGKILL'), 60000);
    child.on('error', reject);
    child.on('close', (code, signal) => { clearTimeout(timer); resolve({ code, signal, stdout, stderr }); });
    // The answer comes once the question is on the terminal.
    if (input) setTimeout(() => child.stdin.end(input), 1500); else child.stdin.end();
  });
}

function trackFiles(memory, track) { return readdirSync(volume.track(memory, track)); }

function checkModelWav(path, frames, ctx) {
  const wav = readWav(path);
  assert.deepEqual([wav.format, wav.channels, wav.sampleRate, wav.bits, wav.blockAlign], [3, 2, 44100, 32, 8], path);
  assert.deepEqual(wellFormed(wav), [], path);
  if (Array.isArray(frames)) assert.ok(wav.frames >= frames[0] && wav.frames <= frames[1], `${path}: ${wav.frames} frames`);
  else assert.equal(wav.frames, frames, path);
  return wav;
}

test('--help, usage errors (2) and a bad track address do nothing to the looper', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const top = await tarn(home, ['--help']);
  assert.equal(top.code, 0, describe(top));
  for (const sub of SUBCOMMANDS) assert.match(top.stdout, new RegExp(`\\b${sub}\\b`), `tarn --help lists ${sub}`);
  for (const sub of SUBCOMMANDS) {
    const help = await tarn(home, [sub, '--help']);
    assert.equal(help.code, 0, `tarn ${sub} --help: ${describe(help)}`);
    assert.match(help.stdout, new RegExp(`tarn ${sub}\\b`), `tarn ${sub} --help shows its usage`);
  }
  await fails(['import'], 2);
  await fails(['ls', '--no-such-option'], 2);
  await fails(['export', '1/x', join(scratch.folder, 'never.wav')], 2);
  await fails(['import', audio.mp3, '1/1', '--next-empty'], 2);
  await fails(['rm'], 2);
  assert.deepEqual(editModeWrites(sim), [], 'help and usage errors never touch edit mode');
  assert.deepEqual(listTree(volume.wave), []);
  assert.equal(existsSync(join(scratch.folder, 'never.wav')), false);
});

test('devices lists the looper, as text and as JSON, without changing edit mode', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const json = jsonOutput(await ok(['devices', '--json']));
  assert.equal(json.length, 1, JSON.stringify(json));
  const [device] = json;
  assert.deepEqual(Object.keys(device).sort(), ['editMode', 'index', 'midiIn', 'midiOut', 'model', 'volume', 'volumeName']);
  assert.deepEqual({ editMode: device.editMode, index: device.index, model: device.model, volumeName: device.volumeName },
    { editMode: 0, index: 1, model: MODEL.name, volumeName: MODEL.label });
  assert.match(device.midiIn, /EDDY DUO/);
  assert.match(device.midiOut, /EDDY DUO/);
  const text = await ok(['devices']);
  assert.match(text.stdout, /Eddy Duo/);
  assert.ok(text.stdout.includes(volume.mount), text.stdout);
  assert.deepEqual(editModeWrites(sim), [], 'devices only reads the edit mode');
  assert.equal(device.volume, volume.mount, 'the mount point as it is');
});

test('import: mp3 into a given track, m4a and wav into the next empty ones, in the model\'s format and exact', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const mp3 = jsonOutput(await ok(['import', audio.mp3, '3/2', '--json']));
  assert.deepEqual(mp3, [{ file: audio.mp3, frames: 88200, memory: 3, track: 2 }]);
  assert.deepEqual(trackFiles(3, 2), ['Song.wav']);
  checkModelWav(join(volume.track(3, 2), 'Song.wav'), 88200);

  const m4a = jsonOutput(await ok(['import', audio.m4a, '--next-empty', '--json']));
  assert.deepEqual(m4a, [{ file: audio.m4a, frames: 132300, memory: 1, track: 1 }]);
  checkModelWav(join(volume.track(1, 1), 'Loop.wav'), 132300);

  // 1.2 s at 48 kHz, mono: resampled to 44.1 kHz (52,920 frames, give or take the
  // resampler's last frame) and made stereo.
  await ok(['import', audio.wav, '--next-empty']);
  assert.deepEqual(trackFiles(1, 2), ['Mono Take.wav']);
  const wav = checkModelWav(join(volume.track(1, 2), 'Mono Take.wav'), [52919, 52921]);
  const [left, right] = samples(join(volume.track(1, 2), 'Mono Take.wav'), wav, 2000).slice(1000, 1002);
  assert.equal(left, right, 'both channels carry the mono source');

  // Occupied target, missing source: exit 1, the volume as it was.
  const before = treeDigest(volume.wave);
  await fails(['import', audio.m4a, '3/2'], 1);
  await fails(['import', join(scratch.folder, 'gone.mp3'), '5/1'], 1);
  assert.deepEqual(treeDigest(volume.wave), before);
  assert.deepEqual(readdirSync(home.env.TMPDIR).filter((n) => /\.wav$/i.test(n)), [], 'no temporaries left');
});

test('ls --json lists every track cell as the volume holds it; the text ends with the count', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  // A 16-bit file put there by another program.
  writeFileSync(join(volume.track(7, 1), 'Outside.wav'), readFileSync(audio.outside));
  const cells = jsonOutput(await ok(['ls', '--json']));
  assert.equal(cells.length, MODEL.memories * MODEL.tracks);
  let at = 0;
  for (let memory = 1; memory <= MODEL.memories; memory++) {
    for (let track = 1; track <= MODEL.tracks; track++) {
      const cell = cells[at++];
      const files = trackFiles(memory, track);
      assert.deepEqual([cell.memory, cell.track], [memory, track], 'memory/track order');
      assert.deepEqual(Object.keys(cell).sort(), ['file', 'format', 'frames', 'length', 'memory', 'track']);
      if (!files.length) {
        assert.deepEqual(cell, { file: '', format: '', frames: 0, length: 0, memory, track });
        continue;
      }
      const wav = readWav(join(volume.track(memory, track), files[0]));
      assert.equal(cell.file, files[0]);
      assert.equal(cell.frames, wav.frames, `${memory}/${track}`);
      assert.equal(cell.format, wav.format === 3 ? 'float' : String(wav.bits), `${memory}/${track}`);
      assert.ok(Math.abs(cell.length - wav.frames / 44100) < 0.01, `${memory}/${track}: length ${cell.length}`);
    }
  }
  assert.deepEqual(cells.filter((c) => c.file).map((c) => `${c.memory}/${c.track} ${c.file} ${c.format}`),
    ['1/1 Loop.wav float', '1/2 Mono Take.wav float', '3/2 Song.wav float', '7/1 Outside.wav 16']);
  const text = await ok(['ls']);
  const lines = text.stdout.trimEnd().split('\n');
  assert.equal(lines.at(-1), `4 of ${MODEL.memories * MODEL.tracks} tracks used`);
  assert.equal(lines.length, 5, text.stdout);
  for (const name of ['Loop.wav', 'Mono Take.wav', 'Song.wav', 'Outside.wav']) assert.ok(text.stdout.includes(name), name);
});

test('export writes 16-bit, 24-bit and float WAVs of the whole track; an existing file needs --force', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const trackPath = join(volume.track(3, 2), 'Song.wav');
  const track = readWav(trackPath);
  const reference = samples(trackPath, track, 4000);
  const cases = [['16', 1, 16, 1.5 / 32768], ['24', 1, 24, 1.5 / 8388608], ['float', 3, 32, 0]];
  for (const [format, tag, bits, tolerance] of cases) {
    const out = join(scratch.folder, `out-${format}.wav`);
    await ok(['export', '3/2', out, '--format', format]);
    const wav = readWav(out);
    assert.deepEqual([wav.format, wav.bits, wav.channels, wav.sampleRate], [tag, bits, 2, 44100], format);
    assert.deepEqual(wellFormed(wav), [], format);
    assert.equal(wav.frames, track.frames, format);
    const got = samples(out, wav, 4000);
    const worst = Math.max(...got.map((v, i) => Math.abs(v - reference[i])));
    assert.ok(worst <= tolerance, `${format}: samples differ by up to ${worst}`);
  }
  const floatOut = readFileSync(join(scratch.folder, 'out-float.wav'));
  const floatWav = readWav(join(scratch.folder, 'out-float.wav'));
  assert.ok(floatOut.subarray(floatWav.dataOffset).equals(readFileSync(trackPath).subarray(track.dataOffset)), 'float export keeps the samples bit for bit');

  // Without --format: the track's own format.
  const own = join(scratch.folder, 'own.wav');
  await ok(['export', '7/1', own]);
  assert.deepEqual([readWav(own).format, readWav(own).bits, readWav(own).frames], [1, 16, 22050]);

  const existing = join(scratch.folder, 'out-16.wav');
  const kept = readFileSync(existing);
  await fails(['export', '3/2', existing, '--format', '24'], 1);
  assert.ok(readFileSync(existing).equals(kept), 'the existing file is untouched');
  await ok(['export', '3/2', existing, '--format', '24', '--force']);
  assert.equal(readWav(existing).bits, 24);

  await fails(['export', '9/1', join(scratch.folder, 'empty.wav')], 1);
  assert.equal(existsSync(join(scratch.folder, 'empty.wav')), false, 'an empty track exports nothing');
});

test('rm needs --yes without a terminal (2), deletes with it keeping a copy that undelete puts back byte for byte', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  await fails(['rm', '1/2'], 2, { input: 'y\n' });
  assert.deepEqual(trackFiles(1, 2), ['Mono Take.wav']);
  const bytes = readFileSync(join(volume.track(1, 2), 'Mono Take.wav'));
  const removed = JSON.parse((await ok(['rm', '1/2', '--yes', '--json'])).stdout);
  assert.deepEqual(trackFiles(1, 2), [], 'the file is gone, the track folder stays');
  await fails(['rm', '1/2', '--yes'], 1);
  assert.deepEqual(trackFiles(1, 1), ['Loop.wav'], 'nothing else deleted');

  const listed = JSON.parse((await ok(['deleted', '--json'])).stdout);
  assert.deepEqual(listed.map((r) => [r.id, r.model, r.memory, r.track, r.file, r.size]),
    [[removed.id, MODEL.name, 1, 2, 'Mono Take.wav', bytes.length]]);
  assert.match((await ok(['deleted'])).stdout, new RegExp(`^${removed.id} +${MODEL.name} +1/2 .+ Mono Take\\.wav\n$`));
  await fails(['undelete', removed.id, '1/1'], 1);
  await fails(['undelete', 'no-such-id'], 1);
  await ok(['undelete', removed.id]);
  assert.deepEqual(readFileSync(join(volume.track(1, 2), 'Mono Take.wav')), bytes, 'put back byte for byte');
  assert.equal(JSON.parse((await ok(['deleted', '--json'])).stdout).length, 0);
  await ok(['rm', '1/2', '--yes', '--permanently']);
  assert.deepEqual(trackFiles(1, 2), []);
  assert.deepEqual(JSON.parse((await ok(['deleted', '--json'])).stdout), [], 'nothing kept of a delete for good');
});

test('--from-folder fills the empty tracks in order; more files than empty tracks writes nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const folder = join(scratch.folder, 'set');
  mkdirSync(join(folder, 'nested'), { recursive: true });
  const names = ['01 Intro.mp3', '02 Verse.wav', '03 Chorus.m4a', '04 Bridge.mp3', '05 Outro.wav'];
  const seconds = [1, 0.5, 2, 1.5, 0.25];
  const codecs = { mp3: ['-b:a', '128k'], m4a: ['-c:a', 'aac', '-b:a', '128k'], wav: [] };
  // Written in reverse, so the order comes from the names, not from the folder.
  for (let i = names.length - 1; i >= 0; i--) makeAudio(join(folder, names[i]), seconds[i], { codec: codecs[names[i].split('.').pop()] });
  makeAudio(join(folder, 'nested', '00 Not Here.wav'), 0.5);
  // Empty now: 1/2, 2/1, 2/2, 3/1, 4/1, ... (1/1, 3/2 and 7/1 are taken).
  const expected = [[1, 2], [2, 1], [2, 2], [3, 1], [4, 1]];
  const done = jsonOutput(await ok(['import', '--from-folder', folder, '--json'], { timeout: 80000 }));
  assert.deepEqual(done, names.map((name, i) => ({ file: join(folder, name), frames: Math.round(seconds[i] * 44100), memory: expected[i][0], track: expected[i][1] })));
  names.forEach((name, i) => {
    const file = name.replace(/\.[^.]+$/, '.wav');
    assert.deepEqual(trackFiles(...expected[i]), [file]);
    checkModelWav(join(volume.track(...expected[i]), file), Math.round(seconds[i] * 44100));
  });
  assert.deepEqual(trackFiles(4, 2), [], 'nothing past the five');

  // Fill every empty track but two: five files no longer fit, and none is written.
  const filler = readFileSync(join(volume.track(4, 1), '05 Outro.wav'));
  for (let memory = 1; memory <= MODEL.memories; memory++) {
    for (let track = 1; track <= MODEL.tracks; track++) {
      if (memory === 99 || trackFiles(memory, track).length) continue;
      writeFileSync(join(volume.track(memory, track), 'Filler.wav'), filler);
    }
  }
  const before = treeDigest(volume.wave);
  await fails(['import', '--from-folder', folder], 1);
  assert.deepEqual(treeDigest(volume.wave), before, 'nothing written');
  assert.deepEqual([trackFiles(99, 1), trackFiles(99, 2)], [[], []]);
});

// Runs tarn on a terminal (script(1) gives it one); what the terminal showed, stdout and
// stderr together.
async function onTerminal(args, input, stdoutFile) {
  let quoted = [tarnBinary, ...args].map((a) => "'" + a.replace(/'/g, "'\\''") + "'").join(' ');
  if (stdoutFile) quoted += ` > '${stdoutFile}'`;
  const result = await tarnThrough('script', ['-q', '-e', '-c', quoted, '/dev/null'], input);
  assert.equal(sim.modes().at(-1) ?? 0, 0, 'edit mode left');
  return result;
}

test('on a terminal: import shows a progress line on stderr, rm asks before deleting', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  if (spawnSync('which', ['script']).status !== 0) { ctx.skip('script(1) is missing'); return; }
  const plainOut = join(scratch.folder, 'import-stdout.txt');
  const imported = await onTerminal(['import', audio.m4a, '99/1'], undefined, plainOut);
  assert.equal(imported.code, 0, describe(imported));
  assert.doesNotMatch(readFileSync(plainOut, 'utf8'), /%|\r/, 'no progress on stdout');
  assert.match(imported.stdout, /\r[^\r\n]* \[[#.]+\] +\d{1,3}%/, 'a self-overwriting progress line: ' + JSON.stringify(imported.stdout));
  assert.deepEqual(trackFiles(99, 1), ['Loop.wav']);
  const kept = await onTerminal(['rm', '99/1'], 'n\n');
  // Declining is the user's answer, not a usage error (a status of 0 or 1 both fit).
  assert.ok(kept.code === 0 || kept.code === 1, describe(kept));
  assert.ok(kept.stdout.includes('Delete 99/1 (Loop.wav)? [y/N] '), JSON.stringify(kept.stdout));
  assert.deepEqual(trackFiles(99, 1), ['Loop.wav'], 'no: kept');
  const gone = await onTerminal(['rm', '99/1'], 'y\n');
  assert.equal(gone.code, 0, describe(gone));
  assert.deepEqual(trackFiles(99, 1), [], 'yes: deleted');
});

test('the volume is left with a clean filesystem and the looper out of edit mode', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(sim.modes().at(-1) ?? 0, 0);
  assert.equal(volume.cleanup(), '');
});
