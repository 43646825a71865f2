// A looper volume that is (nearly) full, and runs killed in the middle, on a real FAT32
// Pool Duo volume: an import that cannot fit is refused before anything is written; one
// whose disk fills up under it (a second writer) leaves no trace and says why; imports,
// downloads (in the window's headless host), replacing restores and backups killed with
// SIGKILL leave nothing that the next run does not clear or refuse. The volume is compared file by file after each case and
// checked with fsck at the end.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { closeSync, existsSync, openSync, readdirSync, readFileSync, rmSync, statfsSync, writeFileSync, writeSync } from 'node:fs';
import { join } from 'node:path';
import { mountVolume, makeAudio, volumesUnavailable, scratchFolder, startCatalogueServer } from '../lib/looper.mjs';
import { tarn, startCommand, describe, jsonOutput, treeDigest, tarnBinary, cliHome } from '../lib/cli.mjs';
import { openTarn, selectTrack, waitUsable, waitFor } from '../lib/page.mjs';
import { makeHome } from '../lib/tarn.mjs';

let volume, home, scratch, small, large;
let skip = '';

const MIB = 1024 * 1024;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function freeBytes(folder) {
  const facts = statfsSync(folder);
  return facts.bavail * facts.bsize;
}

// Writes `bytes` (or, with Infinity, until the volume refuses) into path.
function fill(path, bytes) {
  const chunk = Buffer.alloc(MIB, 0x5a);
  const fd = openSync(path, 'w');
  try {
    for (let left = bytes; left > 0; left -= chunk.length) {
      try {
        writeSync(fd, chunk, 0, Math.min(chunk.length, left));
      } catch (e) {
        if (bytes === Infinity) return;
        throw e;
      }
    }
  } finally {
    closeSync(fd);
  }
}

// Leaves about `leave` bytes free on the volume (the filler is part of its tree).
function leaveFree(leave) {
  const filler = join(volume.mount, 'filler.bin');
  rmSync(filler, { force: true });
  fill(filler, Math.max(0, freeBytes(volume.mount) - leave));
}

// The names of the files under a folder, without reading them.
function names(folder) {
  return readdirSync(folder, { withFileTypes: true }).flatMap((e) => (e.isDirectory() ? names(join(folder, e.name)) : [e.name]));
}

const hidden = () => names(volume.wave).filter((n) => n.startsWith('.tarn-'));
const temporaries = () => (existsSync(home.env.TMPDIR) ? readdirSync(home.env.TMPDIR) : []);

// Whether one of the folders came to hold a file whose name matches `sign` while the
// child ran.
async function appears(child, folders, sign) {
  for (let i = 0; i < 20000 && child.exitCode === null && child.signalCode === null; i++) {
    if (folders.some((f) => readdirSync(f).some((n) => sign.test(n)))) return true;
    await sleep(5);
  }
  return false;
}

// Starts `tarn ARGS`, waits until one of the folders holds a file whose name matches
// `sign`, then does `act(child)`; resolves to the run's end.
async function whenSeen(args, folders, sign, act) {
  const run = startCommand(home, args);
  const seen = await appears(run.child, folders, sign);
  if (seen) act(run.child);
  const result = await run.done;
  assert.ok(seen, `${args.join(' ')} ended before ${sign} was seen: ${describe(result)}`);
  return result;
}

before(() => {
  skip = volumesUnavailable();
  if (skip) return;
  if (!existsSync(tarnBinary)) { skip = 'no tarn binary'; return; }
  scratch = scratchFolder();
  volume = mountVolume('Pool Duo');
  home = cliHome();
  // About 10 MB and 30 MB as the Pool Duo's 16-bit stereo tracks.
  small = makeAudio(join(scratch.folder, 'ten.wav'), 60);
  large = makeAudio(join(scratch.folder, 'thirty.wav'), 180);
});

after(() => {
  volume?.cleanup();
  home?.cleanup();
  scratch?.cleanup();
});

test('an import that cannot fit is refused before writing, naming both sizes', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  leaveFree(MIB);
  const before = treeDigest(volume.mount);
  const result = await tarn(home, ['import', small, '1/1']);
  assert.equal(result.code, 1, describe(result));
  assert.match(result.stderr, /^tarn: .*Import failed\. The looper has \d+(\.\d)? (kB|MB) free; this track needs 10 MB\.$/m);
  assert.deepEqual(treeDigest(volume.mount), before, 'the volume is as it was');
  assert.deepEqual(temporaries().filter((n) => /\.wav$/.test(n)), []);
});

test('a disk filled by another writer mid-copy: the partial track goes and the reason is a full disk', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  leaveFree(80 * MIB);
  const before = treeDigest(volume.mount);
  const other = join(volume.mount, 'other-writer.bin');
  const result = await whenSeen(['import', large, '1/2'], [volume.track(1, 2)], /\.tarn-copy-/, (child) => {
    child.kill('SIGSTOP');
    try { fill(other, Infinity); } finally { child.kill('SIGCONT'); }
  });
  assert.equal(result.code, 1, describe(result));
  assert.match(result.stderr, /Import failed\. There is not enough free space on the volume\./, describe(result));
  rmSync(other);
  assert.deepEqual(treeDigest(volume.mount), before, 'nothing of the import is left');
});

test('an import killed mid-copy leaves nothing after the next run', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  leaveFree(80 * MIB);
  const before = treeDigest(volume.mount);
  const killed = await whenSeen(['import', large, '2/1'], [volume.track(2, 1)], /\.tarn-copy-/, (child) => child.kill('SIGKILL'));
  assert.equal(killed.signal, 'SIGKILL');
  assert.notDeepEqual(hidden(), [], 'the kill left its temporary');
  const listed = jsonOutput(await tarn(home, ['ls', '--json']));
  assert.equal(listed.find((r) => r.memory === 2 && r.track === 1).file, '');
  assert.deepEqual(treeDigest(volume.mount), before);
  assert.deepEqual(temporaries().filter((n) => /^(tmp|imported)\.wav$/.test(n)), [], 'the temporary folder is cleared too');
});

test('a download killed while fetching or while importing leaves nothing after the next start', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const before = treeDigest(volume.mount);
  let base = '';
  const caption = [{ no: 1, title: 'Slow', key: 'slow.wav' }, { no: 2, title: 'Fast', key: 'fast.wav' }];
  const body = readFileSync(small);
  const server = await startCatalogueServer({
    '/tracksets.json': { type: 'application/json', body: () => Buffer.from(JSON.stringify({
      contentDomain: base + '/content/', items: [{ date: '2026-01-01', lang: { en: { title: 'Set', description: '', caption } } }],
    })) },
    // 64 KiB every 20 ms: the fetch takes seconds; the other one is there at once.
    '/content/slow.wav': { body, slow: 65536 },
    // The larger take: its copy onto the looper lasts long enough to be caught in the act.
    '/content/fast.wav': { body: readFileSync(large) },
  });
  base = server.base;
  const hostHome = makeHome();
  const track = volume.track(3, 1);
  const open = (agree) => openTarn({ home: hostHome, agree, prefs: { catalogueAddress: base + '/tracksets.json' } });
  ctx.after(async () => { await server.close(); hostHome.cleanup(); });

  // Starts the download of the row's track into memory 3, track 1 and kills the host as
  // soon as a file named like `sign` shows in `folder`.
  const killDuring = async (row, folder, sign, agree) => {
    const t = await open(agree);
    try {
      // (The tab once the page has started: its start shows the looper's tab.)
      await waitUsable(t.page);
      await t.page.click('#catalogue-tab');
      await t.page.click(`.set-track:nth-child(${row}) button.download`);
      await t.page.waitForSelector('#download-dialog');
      await selectTrack(t.page, 2, 1);
      await t.page.click('#download-dialog #main-button');
      assert.ok(await appears(t.tarn.child, [folder], sign), `${sign} was not seen in ${folder}: ${t.tarn.stderr()}`);
      t.tarn.child.kill('SIGKILL');
      assert.equal((await t.tarn.exited).signal, 'SIGKILL');
    } finally {
      await t.browser.close().catch(() => {});
      // A failure above must not leave the host running (the test would never end).
      if (t.tarn.child.exitCode === null && t.tarn.child.signalCode === null) t.tarn.child.kill('SIGKILL');
    }
  };
  await killDuring(1, hostHome.env.TMPDIR, /^tarn-download-slow\.wav$/, true);
  assert.ok(existsSync(join(hostHome.env.TMPDIR, 'tarn-download-slow.wav')), 'the kill left the partial download');
  await killDuring(2, track, /^\.tarn-copy-/, false);
  assert.notDeepEqual(hidden(), [], 'the kill left its temporary on the volume');

  const t = await open(false);
  try {
    await waitUsable(t.page);
    await waitFor(() => hidden().length === 0, { timeout: 20000, what: 'the leftovers on the volume to go' });
    assert.deepEqual(treeDigest(volume.mount), before);
    assert.deepEqual(readdirSync(hostHome.env.TMPDIR).filter((n) => /^(tmp|imported)\.wav$|^tarn-download-/.test(n)), []);
  } finally {
    await t.browser.close().catch(() => {});
    t.tarn.child.kill('SIGTERM');
    await t.tarn.exited;
  }
});

test('a replacing restore killed midway puts the old tracks back; a killed backup is refused', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  rmSync(join(volume.mount, 'filler.bin'), { force: true });
  const folders = [volume.track(1, 1), volume.track(1, 2), volume.track(2, 1)];
  const take = (name, source) => folders.forEach((f) => {
    for (const old of readdirSync(f)) rmSync(join(f, old));
    // Read and written: the FUSE FAT driver has no copy_file_range.
    writeFileSync(join(f, name), readFileSync(source));
  });
  take('Take A.wav', small);
  const backupDir = join(scratch.folder, 'backup');
  assert.equal((await tarn(home, ['backup', backupDir])).code, 0);
  // Other takes since the backup.
  take('Take B.wav', makeAudio(join(scratch.folder, 'other.wav'), 50));
  const before = treeDigest(volume.mount);
  const killed = await whenSeen(['restore', backupDir, '--replace'], folders, /\.tarn-old-/, (child) => child.kill('SIGKILL'));
  assert.equal(killed.signal, 'SIGKILL', describe(killed));
  assert.equal((await tarn(home, ['ls'])).code, 0);
  assert.deepEqual(treeDigest(volume.mount), before, 'the takes made since the backup are back, nothing else');

  // A backup killed once its first track is copied: marked, refused by restore.
  const half = join(scratch.folder, 'half');
  const run = startCommand(home, ['backup', half]);
  for (let i = 0; i < 6000 && !(existsSync(join(half, 'tracks')) && readdirSync(join(half, 'tracks')).length); i++) await sleep(10);
  run.child.kill('SIGKILL');
  await run.done;
  const refused = await tarn(home, ['restore', half]);
  assert.equal(refused.code, 1, describe(refused));
  assert.match(refused.stderr, /incomplete backup|manifest\.json is missing/);
  assert.deepEqual(treeDigest(volume.mount), before);
  assert.equal(volume.cleanup(), '', 'fsck finds the volume clean');
});
