// Deleting several tracks at once in the window, then Undo, then putting one back from
// "Recently deleted": the files come back byte for byte, into their own tracks. And the
// preview bar of a track dialog: its waveform, length, and playing (or saying why not).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { randomBytes } from 'node:crypto';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, waitUsable, selectTrack } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, startVolumeService, screenshotNotBlank } from '../lib/looper.mjs';

let volume, volumes, t;
let skip = '';
const bytes = {};

function put(memory, track, name) {
  const folder = volume.track(memory, track);
  mkdirSync(folder, { recursive: true });
  bytes[name] = randomBytes(70000);
  writeFileSync(join(folder, name), bytes[name]);
  return join(folder, name);
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  volume = mountVolume('Pool Banks', { size: 64 });
  put(1, 1, 'Verse.wav');
  put(1, 2, 'Chorus.wav');
  put(2, 1, 'Bridge.wav');
  writeFileSync(join(volume.track(3, 1), 'Tone.wav'), toneWav(1.5));
  volumes = await startVolumeService(volume.mount);
  t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: volumes ? volumes.env : {} });
  if (!(await hasModule(t.page, '$$security_md5'))) skip = '$$security_md5 is not in this build';
});

after(async () => {
  await t?.close();
  await volumes?.stop();
  volume?.cleanup();
});

// Float stereo at 44.1 kHz, as the loopers store it: a 440 Hz tone at half scale.
function toneWav(seconds) {
  const frames = Math.round(seconds * 44100);
  const b = Buffer.alloc(44 + frames * 8);
  b.write('RIFF', 0); b.writeUInt32LE(36 + frames * 8, 4); b.write('WAVEfmt ', 8); b.writeUInt32LE(16, 16);
  b.writeUInt16LE(3, 20); b.writeUInt16LE(2, 22); b.writeUInt32LE(44100, 24); b.writeUInt32LE(352800, 28);
  b.writeUInt16LE(8, 32); b.writeUInt16LE(32, 34); b.write('data', 36); b.writeUInt32LE(frames * 8, 40);
  for (let i = 0; i < frames; i++) {
    const v = 0.5 * Math.sin(2 * Math.PI * 440 * i / 44100);
    b.writeFloatLE(v, 44 + i * 8); b.writeFloatLE(v, 48 + i * 8);
  }
  return b;
}

const files = (memory, track) => readdirSync(volume.track(memory, track));

test('a multi-delete asks once, naming the tracks; Undo and Recently deleted put them back byte for byte', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  await waitFor(() => page.evaluate(() => !!Tarn.app.trackStore.table), { what: 'the track table', timeout: 30000 });
  assert.equal(await page.isEnabled('#deleted-button'), true);

  // The main view's selection, as it offers it; the Delete key arrives as an action.
  await page.evaluate(() => {
    window.TarnSelection = { cells: () => [{ memory: 0, track: 0 }, { memory: 0, track: 1 }, { memory: 5, track: 0 }] };
    document.dispatchEvent(new CustomEvent('tarn:action', { detail: { action: 'delete' } }));
  });
  await page.waitForSelector('#confirm-dialog');
  const question = await page.textContent('#confirm-dialog');
  assert.match(question, /Verse\.wav/);
  assert.match(question, /Chorus\.wav/);
  assert.doesNotMatch(question, /Memory 1-6/, 'an empty cell is not offered for deleting');
  assert.equal(await page.textContent('#confirm-ok'), 'Delete');
  await screenshotNotBlank(page, 'deleted-confirm.png', ctx);
  const changes = page.evaluate(() => new Promise((resolve) => {
    document.addEventListener('tarn:tracks-changed', () => resolve(true), { once: true });
  }));
  await page.click('#confirm-ok');
  await page.waitForSelector('#deleted-note #undo-button');
  assert.equal(await changes, true);
  assert.deepEqual([files(1, 1), files(1, 2), files(2, 1)], [[], [], ['Bridge.wav']]);
  await screenshotNotBlank(page, 'deleted-note.png', ctx);

  await page.click('#undo-button');
  await waitFor(() => existsSync(join(volume.track(1, 1), 'Verse.wav')) && existsSync(join(volume.track(1, 2), 'Chorus.wav')), { what: 'Undo' });
  assert.deepEqual(readFileSync(join(volume.track(1, 1), 'Verse.wav')), bytes['Verse.wav']);
  assert.deepEqual(readFileSync(join(volume.track(1, 2), 'Chorus.wav')), bytes['Chorus.wav']);

  // One more delete, then back from the view, chosen with the keyboard.
  await page.evaluate(() => {
    window.TarnSelection = { cells: () => [{ memory: 1, track: 0 }] };
    document.dispatchEvent(new CustomEvent('tarn:action', { detail: { action: 'delete' } }));
  });
  await page.click('#confirm-ok');
  // The note from the first delete may still stand, so the volume tells when this one is done.
  await waitFor(() => files(2, 1).length === 0, { what: 'the second delete' });
  await page.waitForSelector('#deleted-note');
  await page.click('#deleted-button');
  await page.waitForSelector('#deleted-dialog .deleted-row');
  assert.match(await page.textContent('#deleted-dialog .deleted-row.selected'), /Memory 1-2, Track 1.*Bridge\.wav/);
  await screenshotNotBlank(page, 'deleted-view.png', ctx);
  await page.keyboard.press('Enter');
  await waitFor(() => existsSync(join(volume.track(2, 1), 'Bridge.wav')), { what: 'the put-back' });
  assert.deepEqual(readFileSync(join(volume.track(2, 1), 'Bridge.wav')), bytes['Bridge.wav']);
  await page.waitForSelector('#deleted-dialog', { state: 'detached' });
});

test('the preview bar shows the selected track\'s waveform and length, and plays it or says why not', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await selectTrack(page, 2, 1);
  await waitFor(async () => (await page.textContent('#preview-time')) === '0:00 / 0:01', { what: 'the length' });
  const inked = await page.$eval('#preview-wave', (canvas) => {
    const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    let rows = new Set();
    for (let i = 3; i < data.length; i += 4) if (data[i]) rows.add(Math.floor((i - 3) / 4 / canvas.width));
    return { rows: rows.size, height: canvas.height };
  });
  assert.ok(inked.rows > inked.height * 0.4, `a tone at half scale fills about half the height: ${JSON.stringify(inked)}`);
  assert.equal(await page.isVisible('#preview-play'), false, 'the dialog\'s own Play button plays');
  await page.click('#play-button');
  await waitFor(() => page.evaluate(() => $native.player.status() === 1 || !!document.getElementById('preview-message').textContent),
    { what: 'playback or a message' });
  const message = await page.textContent('#preview-message');
  if (message) assert.match(message, /no sound output/);
  else assert.equal(await page.getAttribute('#preview-bar', 'data-state'), 'playing');
  await screenshotNotBlank(page, 'preview-bar.png', ctx);
  await page.click('#stop-button');
  await waitFor(() => page.evaluate(() => $native.player.status() === 0), { what: 'the stop' });
  await page.click('#export-dialog #cancel-button');
});
