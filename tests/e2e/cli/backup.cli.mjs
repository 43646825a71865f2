// Whole-looper backup and restore from the command line: the backup folder and its
// manifest, a wiped looper restored byte for byte, --replace, a damaged backup refused
// before anything is written, and a backup of one model refused by another.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync, cpSync, truncateSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { mountVolume, makeAudio, listTree } from '../lib/looper.mjs';
import { tarn, describe, jsonOutput, canonicalJson, treeDigest, md5, startCliRig } from '../lib/cli.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072', label: 'EDDY_DUO' };
// Where the tracks are, and what: float files as the looper writes them, and a 16-bit
// one another program put there.
const TRACKS = [
  { memory: 1, track: 1, file: 'Intro Loop.wav', seconds: 1 },
  { memory: 1, track: 2, file: 'Bass.wav', seconds: 0.5 },
  { memory: 12, track: 1, file: 'DRUMS.WAV', seconds: 2, pcm16: true },
  { memory: 99, track: 2, file: 'Long Take.wav', seconds: 5 },
];

let rig, jack, sim, volume, other, scratch, home, ok, fails, backupDir;
let skip = '';

function folderName(memory, track) { return String(memory).padStart(3, '0') + '_' + track; }
function wipe(vol) { for (const path of listTree(vol.wave)) rmSync(path); }

before(async () => {
  rig = await startCliRig(MODEL);
  ({ skip, jack, sim, volume, scratch, home, ok, fails } = rig);
  if (skip) return;
  for (const t of TRACKS) {
    const made = makeAudio(join(scratch.folder, `${t.memory}-${t.track}.wav`), t.seconds, { codec: t.pcm16 ? [] : ['-c:a', 'pcm_f32le'] });
    writeFileSync(join(volume.track(t.memory, t.track), t.file), readFileSync(made));
  }
  backupDir = join(scratch.folder, 'gig backup');
});

after(async () => {
  await rig?.stop();
  other?.cleanup();
});

test('backup copies every track and writes a manifest with their checksums; a used folder gets a dated folder inside', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const started = Date.now();
  await ok(['backup', backupDir]);
  const text = readFileSync(join(backupDir, 'manifest.json'), 'utf8').replace(/\n$/, '');
  const manifest = JSON.parse(text);
  assert.equal(canonicalJson(manifest), text, 'the manifest is in sorted, compact JSON');
  assert.deepEqual(Object.keys(manifest).sort(), ['created', 'format', 'generator', 'layout', 'model', 'tracks', 'volumeName']);
  assert.deepEqual([manifest.format, manifest.model, manifest.volumeName, manifest.layout], [1, MODEL.name, MODEL.label, { memories: 99, tracks: 2 }]);
  assert.match(manifest.created, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
  const created = Date.parse(manifest.created);
  assert.ok(created >= started - 2000 && created <= Date.now() + 2000, `created ${manifest.created}`);
  assert.deepEqual(manifest.tracks, TRACKS.map((t) => {
    const source = join(volume.track(t.memory, t.track), t.file);
    return { file: t.file, md5: md5(source), memory: t.memory, path: `tracks/${folderName(t.memory, t.track)}/${t.file}`, size: statSync(source).size, track: t.track };
  }));
  const copies = treeDigest(join(backupDir, 'tracks'));
  const originals = Object.fromEntries(Object.entries(treeDigest(volume.wave)));
  assert.deepEqual(copies, originals, 'the copies are the tracks, byte for byte, in MMM_T folders');
  assert.deepEqual(readdirSync(backupDir).sort(), ['manifest.json', 'tracks']);

  // A folder holding a backup: refused, and nothing is added to it.
  const before = treeDigest(backupDir);
  await fails(['backup', backupDir], 1);
  assert.deepEqual(treeDigest(backupDir), before);
  // A folder holding other things: the backup goes into a dated folder of its own in it,
  // as in the window.
  const used = join(scratch.folder, 'used');
  mkdirSync(used);
  writeFileSync(join(used, 'notes.txt'), 'mine');
  await ok(['backup', used]);
  const inside = readdirSync(used).sort();
  assert.equal(inside.length, 2);
  assert.equal(inside[1], 'notes.txt');
  assert.match(inside[0], /^EDDY_DUO backup \d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d$/);
  assert.deepEqual(readdirSync(join(used, inside[0])).sort(), ['manifest.json', 'tracks']);
  assert.match(manifest.generator, /^tarn \S+$/, 'the generator names the version');
});

test('a wiped looper restored from the backup has a byte-identical track tree; --replace puts back changed tracks', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const original = treeDigest(volume.wave);
  wipe(volume);
  assert.deepEqual(treeDigest(volume.wave), {});
  const restored = await ok(['restore', backupDir]);
  assert.deepEqual(treeDigest(volume.wave), original, 'byte-identical, nothing else in the track folders');
  assert.match(restored.stdout + restored.stderr, /\b4\b/, 'it says how many tracks it restored: ' + describe(restored));

  // Without --replace only the empty tracks are written.
  const changed = join(volume.track(1, 1), 'Intro Loop.wav');
  // Removed and written anew: the FUSE FAT driver corrupts a file truncated in place.
  rmSync(changed);
  writeFileSync(changed, Buffer.from('RIFF changed since the backup'));
  rmSync(join(volume.track(99, 2), 'Long Take.wav'));
  await ok(['restore', backupDir]);
  const after = treeDigest(volume.wave);
  assert.equal(after['099_2/Long Take.wav'], original['099_2/Long Take.wav'], 'the empty track is restored');
  assert.notEqual(after['001_1/Intro Loop.wav'], original['001_1/Intro Loop.wav'], 'an occupied track is skipped');
  await ok(['restore', backupDir, '--replace']);
  assert.deepEqual(treeDigest(volume.wave), original);
});

test('a backup with a damaged file fails its check and writes nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  wipe(volume);
  // A flipped byte: same size, another checksum.
  const flipped = join(scratch.folder, 'flipped');
  cpSync(backupDir, flipped, { recursive: true });
  const victim = join(flipped, 'tracks', '099_2', 'Long Take.wav');
  const bytes = readFileSync(victim);
  bytes[bytes.length >> 1] ^= 0x40;
  writeFileSync(victim, bytes);
  const result = await fails(['restore', flipped], 1);
  assert.match(result.stderr, /Long Take\.wav/, 'the message names the file');
  assert.deepEqual(listTree(volume.wave), [], 'nothing written, not even the sound files');

  // A short file: the size is wrong.
  const short = join(scratch.folder, 'short');
  cpSync(backupDir, short, { recursive: true });
  truncateSync(join(short, 'tracks', '001_2', 'Bass.wav'), 1000);
  const shortResult = await fails(['restore', short], 1);
  assert.match(shortResult.stderr, /Bass\.wav/);
  assert.deepEqual(listTree(volume.wave), []);

  // A manifest that is not one.
  const broken = join(scratch.folder, 'broken');
  cpSync(backupDir, broken, { recursive: true });
  writeFileSync(join(broken, 'manifest.json'), '{"format":1,"model":');
  await fails(['restore', broken], 1);
  assert.deepEqual(listTree(volume.wave), []);
  await fails(['restore', join(scratch.folder, 'no such backup')], 1);
  assert.deepEqual(listTree(volume.wave), []);
});

test('restore onto another model is refused and writes nothing; devices and --device see both loopers', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  // Same layout (99 memories of two tracks), another model.
  other = mountVolume('Pool Duo');
  const devices = jsonOutput(await ok(['devices', '--json']));
  assert.deepEqual(devices.map((d) => d.index), [1, 2]);
  const pool = devices.find((d) => d.model === 'Pool Duo');
  assert.ok(pool, JSON.stringify(devices));
  assert.deepEqual([pool.editMode, pool.midiIn, pool.midiOut, pool.volumeName], [-1, '', '', 'POOL_DUO']);
  assert.equal(devices.find((d) => d.model === MODEL.name)?.editMode, 0);
  const result = await fails(['restore', backupDir, '--device', String(pool.index)], 1);
  assert.match(result.stderr, /This backup is of an? Eddy Duo; the connected looper is an? Pool Duo\./);
  assert.deepEqual(listTree(other.wave), [], 'nothing written onto the other looper');
  assert.deepEqual(listTree(volume.wave), [], 'nor onto the first one');
  // The same backup restores onto the looper of its model, chosen by --device.
  const eddy = devices.find((d) => d.model === MODEL.name);
  await ok(['restore', backupDir, '--device', String(eddy.index)]);
  assert.equal(listTree(volume.wave).length, TRACKS.length);
  assert.deepEqual(listTree(other.wave), []);
  assert.deepEqual(devices.map((d) => d.volume).sort(), [volume.mount, other.mount].sort(), 'the mount points as they are');
});

test('both volumes are left with clean filesystems', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
  assert.equal(other.cleanup(), '');
});
