// Without a display the host can show no dialog window: the page's own chooser stands
// in for the open and save dialogs, starting in Music and Documents, with the open
// dialog's extension filter, folders to go into and out of, and a typed name; the grid's
// Import takes several files from it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync, readdirSync, copyFileSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, selectTrack, waitUsable, waitFor } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, readWav, scratchFolder } from '../lib/looper.mjs';

let volume, scratch, t, music, documents;
let skip = '';

const listed = (page) => page.$$eval('#chooser-list .chooser-entry', (nodes) => nodes.map((n) => n.textContent));

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  const config = join(scratch.folder, 'config');
  music = join(scratch.folder, 'Music');
  documents = join(scratch.folder, 'Documents');
  for (const folder of [config, join(music, 'Live'), documents]) mkdirSync(folder, { recursive: true });
  writeFileSync(join(config, 'user-dirs.dirs'), `XDG_MUSIC_DIR="${music}"\nXDG_DOCUMENTS_DIR="${documents}"\n`);
  makeAudio(join(music, 'Loop.wav'), 1);
  copyFileSync(join(music, 'Loop.wav'), join(music, 'Live', 'Encore.wav'));
  writeFileSync(join(music, 'notes.txt'), 'not audio');
  volume = mountVolume('Pool Duo');
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { XDG_CONFIG_HOME: config, DISPLAY: '', WAYLAND_DISPLAY: '', TARN_DIALOG_ANSWERS: '' },
  });
  if (!(await hasModule(t.page, '$$fs_separator'))) skip = 'the fs module is not in this build';
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

test('import through the page\'s chooser: starts in Music, filters by extension, goes into folders and back', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  await page.click('#import-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-folder'), music + '/');
  assert.deepEqual(await listed(page), ['Live/', 'Loop.wav'], 'no text file in an audio open dialog');
  await page.dblclick('#chooser-list .chooser-entry[data-name="Live"]');
  await waitFor(async () => (await page.textContent('#chooser-folder')) === join(music, 'Live') + '/', { what: 'the folder' });
  assert.deepEqual(await listed(page), ['Encore.wav']);
  await page.click('#chooser-up');
  await page.click('#chooser-list .chooser-entry[data-name="Loop.wav"]');
  await page.click('#chooser-accept');
  await page.waitForSelector('#import-dialog');
  assert.equal(await page.$('#chooser-dialog'), null);
  assert.equal(await page.textContent('#import-dialog .source-file'), 'Loop.wav');
  await selectTrack(page, 2, 1);
  await page.click('#import-dialog #main-button');
  await waitFor(() => readdirSync(volume.track(3, 1)).includes('Loop.wav'), { timeout: 30000, what: 'the imported track' });
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(readWav(join(volume.track(3, 1), 'Loop.wav')).frames, 44100);
});

test('Cancel in the chooser starts nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#import-button');
  await page.waitForSelector('#chooser-dialog');
  await page.click('#chooser-cancel');
  await page.waitForSelector('#chooser-dialog', { state: 'detached' });
  assert.equal(await page.$('#import-dialog'), null);
  assert.equal(await page.$('#message-dialog'), null, 'a cancel is no error');
});

test('export through the page\'s chooser: starts in Documents, a typed name gets ".wav"', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await selectTrack(page, 2, 1);
  await page.click('#export-dialog #main-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-folder'), documents + '/');
  assert.equal(await page.inputValue('#chooser-name'), 'Loop.wav');
  await page.fill('#chooser-name', 'Mixdown');
  await page.click('#chooser-accept');
  await waitFor(() => readdirSync(documents).includes('Mixdown.wav'), { timeout: 30000, what: 'the exported file' });
  await waitFor(() => page.$('#done-note'), { timeout: 30000, what: 'the export to say it is done' });
  assert.equal(readWav(join(documents, 'Mixdown.wav')).frames, 44100);
  assert.deepEqual(t.errors, []);
});

test('the grid\'s Import takes several files: they fill the selected track and the empty ones after it', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const set = join(music, 'Set');
  mkdirSync(set);
  ['A.wav', 'B.wav', 'C.wav'].forEach((name, n) => makeAudio(join(set, name), n + 1));
  // Memory 2, track 2 (empty); memory 3, track 1 holds Loop.wav from the first test.
  await page.locator('#track-grid [role="gridcell"][data-memory="1"][data-track="1"]').click();
  await page.click('#grid-import');
  await page.waitForSelector('#chooser-dialog');
  await page.dblclick('#chooser-list .chooser-entry[data-name="Set"]');
  await page.waitForSelector('#chooser-list .chooser-entry[data-name="A.wav"]');
  // A range, then one taken out of it again.
  await page.click('#chooser-list .chooser-entry[data-name="A.wav"]');
  await page.click('#chooser-list .chooser-entry[data-name="C.wav"]', { modifiers: ['Shift'] });
  assert.equal(await page.locator('#chooser-list [aria-selected="true"]').count(), 3);
  await page.click('#chooser-list .chooser-entry[data-name="B.wav"]', { modifiers: ['Control'] });
  await page.click('#chooser-accept');
  // (The export's note may still stand: this one is told by its words.)
  await waitFor(async () => /Imported 2 files/i.test((await page.textContent('#done-note').catch(() => '')) || ''),
    { timeout: 60000, what: 'the import to say it is done' });
  assert.deepEqual([readdirSync(volume.track(2, 2)), readdirSync(volume.track(3, 2)), readdirSync(volume.track(4, 1))],
    [['A.wav'], ['C.wav'], []]);
  assert.equal(readWav(join(volume.track(2, 2), 'A.wav')).frames, 44100);
  assert.equal(readWav(join(volume.track(3, 2), 'C.wav')).frames, 3 * 44100);
  assert.match(await page.textContent('#done-note'), /Imported 2 files into Memory 2, Track 2 to Memory 3, Track 2\./i);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
