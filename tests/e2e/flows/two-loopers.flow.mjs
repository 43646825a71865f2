// Two loopers plugged in at once: the page takes the first volume, in the order the host
// lists them, whose label names a model, and imports go to that volume only. Two volumes
// that are recognisable only by their folders are both left alone.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, selectTrack, waitUsable } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, readWav, listTree, scratchFolder } from '../lib/looper.mjs';

let first, second, unlabelled = [], scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }

async function deviceStatus(page) { return page.textContent('#device-status'); }

async function importInto(page, source, memoryIndex, track) {
  answer(source);
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog');
  await selectTrack(page, memoryIndex, track);
  await page.click('#import-dialog #main-button');
  await page.waitForSelector('#progress-dialog, #message-dialog', { timeout: 60000 });
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  const error = await page.$('#message-dialog');
  assert.equal(error && await error.textContent(), null, 'no error');
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  // Mounted in this order, so listed in this order.
  first = mountVolume('Pool Duo');
  second = mountVolume('Pool One');
  t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: { TARN_DIALOG_ANSWERS: answers } });
  for (const probe of ['$$fs_separator', '$$audio_outputs', '$$trnWav_formatWithAcidChunk']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
});

after(async () => {
  await t?.close();
  first?.cleanup();
  second?.cleanup();
  for (const volume of unlabelled) volume.cleanup();
  scratch?.cleanup();
});

test('of two labelled loopers the first listed volume is taken', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const listed = await page.evaluate(() => JSON.parse($native.fs.volumes()).map((v) => v.mount.replace(/\/$/, '')));
  // Other runs' looper volumes live under the same prefix: none of them may show here.
  assert.deepEqual(listed.filter((m) => m.startsWith('/tmp/tarn-looper-')), [first.mount, second.mount],
    'the host sees exactly the flow\'s two looper volumes, in mount order');
  await waitUsable(page);
  assert.equal(await deviceStatus(page), 'Pool Duo');
  assert.equal((await page.evaluate(() => Tarn.app.device.instrument.volume)).replace(/\/$/, ''), first.mount);
});

test('an import goes to the taken volume only', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await importInto(page, makeAudio(join(scratch.folder, 'Both Hands.wav'), 0.5), 0, 2);
  assert.deepEqual(readdirSync(first.track(1, 2)), ['Both Hands.wav']);
  assert.deepEqual([readWav(join(first.track(1, 2), 'Both Hands.wav')).bits], [16]);
  assert.deepEqual(listTree(first.wave).length, 1);
  assert.deepEqual(listTree(second.wave), [], 'nothing reached the other looper');
});

test('when the taken looper goes, the other one is taken and imports follow it', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  assert.equal(first.cleanup(), '', 'the first volume was left clean');
  await waitFor(async () => (await deviceStatus(page)) === 'Pool One', { timeout: 20000, what: 'the second looper' });
  await waitUsable(page);
  await importInto(page, makeAudio(join(scratch.folder, 'Other.wav'), 0.5), 1, 1);
  assert.deepEqual(readdirSync(second.track(2, 1)), ['Other.wav']);
  assert.equal(listTree(second.wave).length, 1);
  assert.equal(second.cleanup(), '', 'the second volume was left clean');
  await waitUsable(page, false);
});

test('two volumes known only by their folders are both left alone', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  unlabelled = [mountVolume('Pool Duo', { label: '' }), mountVolume('Pool Duo', { label: '' })];
  // Three device checks, 3 s apart.
  await new Promise((r) => setTimeout(r, 9500));
  assert.equal(await page.evaluate(() => document.getElementById('device-status').dataset.usable), '0');
  assert.equal(await page.evaluate(() => Tarn.app.device.instrument.volume), '');
  assert.equal(await page.isDisabled('#import-button'), true);
  for (const volume of unlabelled) assert.equal(volume.cleanup(), '');
  assert.deepEqual(t.errors, []);
});
