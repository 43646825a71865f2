// A looper volume holding what a looper never writes (an ext4 volume, so that links and
// names that are not UTF-8 can be there): `tarn ls` lists every track it can, says what
// it cannot read, and neither hangs nor writes anything; a read-only volume refuses an
// import with its reason, and a track folder that links elsewhere gets nothing.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { closeSync, existsSync, ftruncateSync, lstatSync, mkdirSync, openSync, readdirSync, readFileSync, rmdirSync, symlinkSync, writeFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { mountVolume, makeAudio, volumesUnavailable, scratchFolder } from '../lib/looper.mjs';
import { tarn, describe, jsonOutput, treeDigest, tarnBinary, cliHome } from '../lib/cli.mjs';

let volume, home, scratch, outside;
let skip = '';

// A WAV header whose data chunk claims `dataBytes`, followed by `body` bytes.
function header(dataBytes, body = 0) {
  const b = Buffer.alloc(44 + body);
  b.write('RIFF', 0); b.writeUInt32LE(Math.min(36 + dataBytes, 0xffffffff), 4); b.write('WAVE', 8);
  b.write('fmt ', 12); b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(2, 22);
  b.writeUInt32LE(44100, 24); b.writeUInt32LE(176400, 28); b.writeUInt16LE(4, 32); b.writeUInt16LE(16, 34);
  b.write('data', 36); b.writeUInt32LE(Math.min(dataBytes, 0xffffffff), 40);
  return b;
}

// Every entry under a folder (links not followed) with its size and time: the 4 GiB file
// is not read to compare it.
function statTree(folder, out = {}) {
  for (const e of readdirSync(folder, { withFileTypes: true })) {
    const path = join(folder, e.name);
    const st = lstatSync(path);
    out[path] = `${st.size}:${st.mtimeMs}`;
    if (e.isDirectory()) statTree(path, out);
  }
  return out;
}

before(() => {
  skip = volumesUnavailable();
  if (skip) return;
  if (!existsSync(tarnBinary)) { skip = 'no tarn binary'; return; }
  scratch = scratchFolder();
  const saved = process.env.LOOPER_VOLUME_FS;
  process.env.LOOPER_VOLUME_FS = 'ext4';
  try { volume = mountVolume('Pool Duo'); } finally {
    if (saved === undefined) delete process.env.LOOPER_VOLUME_FS; else process.env.LOOPER_VOLUME_FS = saved;
  }
  home = cliHome();
  outside = join(scratch.folder, 'outside');
  mkdirSync(outside);
  writeFileSync(join(outside, 'secret.wav'), header(8, 8));
  const good = readFileSync(makeAudio(join(scratch.folder, 'good.wav'), 1));
  const put = (m, t, name, bytes) => writeFileSync(join(volume.track(m, t), name), bytes);
  put(1, 1, 'good.wav', good);
  put(1, 2, 'notes.txt', 'not audio');
  put(2, 1, 'truncated.wav', header(1000).subarray(0, 30));
  put(2, 2, 'empty.wav', Buffer.alloc(0));
  put(3, 1, 'huge.wav', header(0xfffffff0));
  put(3, 2, 'garbage.wav', Buffer.from('RIFF\xff\xff\xff\xffWAVEfmt \x00\x00\x00\x80', 'latin1'));
  // A sparse file that says 4 GiB and is: read without reading it all.
  const sparse = openSync(join(volume.track(4, 1), 'sparse.wav'), 'w');
  writeFileSync(sparse, header(0xffffffd0));
  ftruncateSync(sparse, 2 ** 32);
  closeSync(sparse);
  symlinkSync(join(outside, 'secret.wav'), join(volume.track(4, 2), 'link.wav'));
  symlinkSync(outside, join(volume.track(5, 1), 'away'));
  // A whole track folder that leads out of the volume.
  mkdirSync(join(scratch.folder, 'elsewhere'));
  rmdirSync(volume.track(7, 2));
  symlinkSync(join(scratch.folder, 'elsewhere'), volume.track(7, 2));
  writeFileSync(join(volume.track(5, 2), Buffer.from([0x62, 0xff, 0xfe, 0x2e, 0x77, 0x61, 0x76]).toString('latin1')), good);
  // 10,000 entries: hard links of one file, as the volume has few inodes.
  execFileSync('python3', ['-c', 'import os,sys\nd=sys.argv[1]\nopen(d + "/n.txt", "w").close()\n' +
    'for i in range(9999): os.link(d + "/n.txt", os.path.join(d, "n%05d.txt" % i))', volume.track(6, 1)]);
  put(6, 1, 'zz last.wav', good);
});

after(() => {
  volume?.cleanup();
  home?.cleanup();
  scratch?.cleanup();
});

test('ls lists what it can of a hostile volume, and writes nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const before = statTree(volume.mount);
  const outsideBefore = treeDigest(outside);
  const result = await tarn(home, ['ls', '--json'], { timeout: 120000 });
  const rows = jsonOutput(result);
  const at = (m, t) => rows.find((r) => r.memory === m && r.track === t);
  assert.equal(rows.length, 198, describe(result));
  assert.equal(at(1, 1).file, 'good.wav');
  assert.ok(at(1, 1).frames > 0);
  assert.equal(at(1, 2).file, '', 'a text file is no track');
  for (const [m, t] of [[2, 1], [2, 2], [3, 2]]) {
    assert.ok(at(m, t).file, `${m}/${t} is listed`);
    assert.deepEqual([at(m, t).format, at(m, t).frames], ['', 0], `${m}/${t} has no format it could read`);
  }
  assert.equal(at(6, 1).file, 'zz last.wav', 'found among 10,000 other entries');
  assert.deepEqual(statTree(volume.mount), before, 'nothing written on the volume');
  assert.deepEqual(treeDigest(outside), outsideBefore, 'nothing written outside it');
  const text = await tarn(home, ['ls'], { timeout: 120000 });
  assert.equal(text.code, 0, describe(text));
});

test('an import onto a read-only volume is refused with its reason and nothing is left', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  execFileSync('mount', ['-o', 'remount,ro', volume.mount]);
  try {
    const result = await tarn(home, ['import', join(scratch.folder, 'good.wav'), '7/1']);
    assert.equal(result.code, 1, describe(result));
    assert.match(result.stderr, /^tarn: .*Import failed\. The volume is read-only\./m);
  } finally {
    execFileSync('mount', ['-o', 'remount,rw', volume.mount]);
  }
  assert.deepEqual(Object.keys(treeDigest(volume.track(7, 1))), []);
});

test('an import into a track folder that links out of the volume writes nothing there', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const result = await tarn(home, ['import', join(scratch.folder, 'good.wav'), '7/2']);
  assert.equal(result.code, 1, describe(result));
  assert.match(result.stderr, /Import failed\. The track folder leads out of the looper's volume/);
  assert.deepEqual(readdirSync(join(scratch.folder, 'elsewhere')), []);
});
