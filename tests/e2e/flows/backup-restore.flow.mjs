// The window's Back up… and Restore… on a FAT32 looper volume, without a display: the
// folder is chosen in the page's own chooser; the manifest lists every track with its
// checksum, and a restore after the tracks were deleted gives the same track tree back.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { join, relative } from 'node:path';
import { openTarn, hasModule, selectTrack, waitUsable, waitFor } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, listTree, scratchFolder } from '../lib/looper.mjs';

let volume, scratch, t, music, documents, gig;
let skip = '';
let manifest = null;

const md5 = (path) => createHash('md5').update(readFileSync(path)).digest('hex').toUpperCase();

// Every file under the track folders with its bytes' digest, and every folder's listing.
function trackTree() {
  const tree = {};
  for (const path of listTree(volume.wave)) tree[relative(volume.wave, path)] = md5(path);
  for (const folder of readdirSync(volume.wave)) tree[folder + '/'] = readdirSync(join(volume.wave, folder)).sort().join('|');
  return tree;
}

async function messageText(page) {
  await page.waitForSelector('#message-dialog', { timeout: 60000 });
  const text = await page.textContent('#message-dialog .dialog-body');
  await page.click('#message-dialog button');
  return text;
}

async function importInto(page, name, memoryIndex, track) {
  await page.click('#import-button');
  await page.waitForSelector('#chooser-dialog');
  await page.click(`#chooser-list .chooser-entry[data-name="${name}"]`);
  await page.click('#chooser-accept');
  await page.waitForSelector('#import-dialog');
  await selectTrack(page, memoryIndex, track);
  await page.click('#import-dialog #main-button');
  await waitFor(() => readdirSync(volume.track(memoryIndex + 1, track)).includes(name), { timeout: 30000, what: 'the import of ' + name });
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  const config = join(scratch.folder, 'config');
  music = join(scratch.folder, 'Music');
  documents = join(scratch.folder, 'Documents');
  gig = join(documents, 'Gig');
  for (const folder of [config, music, gig]) mkdirSync(folder, { recursive: true });
  writeFileSync(join(documents, 'notes.txt'), 'the chooser\'s start folder is not empty');
  writeFileSync(join(config, 'user-dirs.dirs'), `XDG_MUSIC_DIR="${music}"\nXDG_DOCUMENTS_DIR="${documents}"\n`);
  makeAudio(join(music, 'Intro.wav'), 1);
  makeAudio(join(music, 'Groove.wav'), 0.5);
  volume = mountVolume('Pool Duo');
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { XDG_CONFIG_HOME: config, DISPLAY: '', WAYLAND_DISPLAY: '', TARN_DIALOG_ANSWERS: '' },
  });
  for (const probe of ['$$fs_separator', '$$security_md5', '$$audio_outputs']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

test('Back up… writes every track and a manifest into the folder chosen in the page', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  assert.equal(await page.isEnabled('#backup-button'), true);
  assert.equal(await page.isEnabled('#restore-button'), true);
  await importInto(page, 'Intro.wav', 0, 1);
  await importInto(page, 'Groove.wav', 2, 2);

  await page.click('#backup-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-dialog .dialog-title'), 'Select Folder');
  assert.equal(await page.textContent('#chooser-folder'), documents + '/');
  assert.deepEqual(await page.$$eval('#chooser-list .chooser-entry', (n) => n.map((e) => e.textContent)), ['Gig/'], 'folders only');
  await page.click('#chooser-list .chooser-entry[data-name="Gig"]');
  await page.click('#chooser-accept');
  assert.equal(await messageText(page), 'Backed up 2 tracks into ' + gig + '.');

  const text = readFileSync(join(gig, 'manifest.json'), 'utf8');
  manifest = JSON.parse(text);
  assert.deepEqual(Object.keys(manifest), ['created', 'format', 'generator', 'layout', 'model', 'tracks', 'volumeName']);
  assert.match(manifest.created, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);
  assert.match(manifest.generator, /^tarn \S+$/);
  assert.deepEqual([manifest.format, manifest.model, manifest.volumeName], [1, 'Pool Duo', 'POOL_DUO']);
  assert.deepEqual(manifest.layout, { memories: 99, tracks: 2 });
  const expected = [[1, 1, 'Intro.wav'], [3, 2, 'Groove.wav']].map(([memory, track, file]) => {
    const source = join(volume.track(memory, track), file);
    return { file, md5: md5(source), memory, path: `tracks/${String(memory).padStart(3, '0')}_${track}/${file}`,
      size: readFileSync(source).length, track };
  });
  assert.deepEqual(manifest.tracks, expected);
  assert.equal(text, JSON.stringify(manifest), 'compact, in the order of its keys');
  for (const entry of manifest.tracks) assert.equal(md5(join(gig, entry.path)), entry.md5);
  assert.deepEqual(listTree(gig).map((p) => relative(gig, p)).sort(), ['manifest.json', ...expected.map((e) => e.path)].sort());
});

test('a folder with a backup in it is refused; one with other things gets the backup in a new folder', async (ctx) => {
  if (skip || !manifest) { ctx.skip(skip || 'no backup'); return; }
  const { page } = t;
  await page.click('#backup-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-folder'), gig + '/');
  await page.click('#chooser-accept');
  assert.match(await messageText(page), /^Backup failed\.This folder holds a backup already\./);

  await page.click('#backup-button');
  await page.waitForSelector('#chooser-dialog');
  await page.click('#chooser-up');
  await waitFor(async () => (await page.textContent('#chooser-folder')) === documents + '/', { what: 'the folder above' });
  await page.click('#chooser-accept');
  const done = await messageText(page);
  const made = readdirSync(documents).filter((n) => n.startsWith('POOL_DUO backup '));
  assert.equal(made.length, 1, 'one new folder: ' + readdirSync(documents));
  assert.equal(done, 'Backed up 2 tracks into ' + join(documents, made[0]) + '.');
  const second = JSON.parse(readFileSync(join(documents, made[0], 'manifest.json'), 'utf8'));
  assert.deepEqual(second.tracks, manifest.tracks);
  assert.equal(readFileSync(join(documents, 'notes.txt'), 'utf8'), 'the chooser\'s start folder is not empty');
});

test('Restore… after the tracks were deleted gives the same track tree back', async (ctx) => {
  if (skip || !manifest) { ctx.skip(skip || 'no backup'); return; }
  const { page } = t;
  const before = trackTree();
  for (const entry of manifest.tracks) rmSync(join(volume.track(entry.memory, entry.track), entry.file));
  await waitFor(() => page.evaluate(() => Tarn.app.trackStore.snapshot().every((m) => m.every((c) => !c.fileName))),
    { what: 'the window to see the tracks gone' });

  await page.click('#restore-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-folder'), documents + '/', 'the chooser starts where the last folder was chosen');
  await page.dblclick('#chooser-list .chooser-entry[data-name="Gig"]');
  await waitFor(async () => (await page.textContent('#chooser-folder')) === gig + '/', { what: 'the backup folder' });
  await page.click('#chooser-accept');
  assert.equal(await messageText(page), 'Restored 2 tracks.');
  assert.deepEqual(trackTree(), before);
  await waitFor(() => page.evaluate(() => Tarn.app.trackStore.snapshot()[2][1].fileName === 'Groove.wav'),
    { what: 'the window to see the restored tracks' });

  // Once more: every track is taken now; skipping them writes nothing.
  await page.click('#restore-button');
  await page.waitForSelector('#chooser-dialog');
  await page.click('#chooser-accept');
  await page.waitForSelector('#restore-replace-dialog');
  await page.click('#restore-skip');
  assert.equal(await messageText(page), 'Restored 0 tracks. 2 tracks skipped: their place on the looper is taken (1/1, 3/2).');
  assert.deepEqual(trackTree(), before);
  assert.deepEqual(t.errors, []);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
