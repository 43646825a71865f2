// Without a display the host can show no dialog window: the page's own chooser stands
// in for the open and save dialogs, starting in Music and Documents, with the open
// dialog's extension filter, folders to go into and out of, and a typed name.
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

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
