// A storage-only (16-bit) looper: recognised by its label, or by its folders when the
// label says nothing; import into a banked layout, export forced to 16-bit.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readdirSync, statSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, selectTrack, waitUsable } from '../lib/page.mjs';
import {
  volumesUnavailable, mountVolume, startVolumeService, makeAudio, readWav, listTree, scratchFolder, screenshotNotBlank,
} from '../lib/looper.mjs';

let volume, volumes, scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }

async function usableAs(page, name) {
  await waitUsable(page);
  assert.equal(await page.textContent('#device-status'), name);
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  volume = mountVolume('Pool Banks', { size: 160 });
  volumes = await startVolumeService(volume.mount);
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { ...(volumes ? volumes.env : {}), TARN_DIALOG_ANSWERS: answers },
  });
  for (const probe of ['$$fs_separator', '$$audio_outputs', '$$trnWav_formatWithAcidChunk']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
});

after(async () => {
  await t?.close();
  await volumes?.stop();
  volume?.cleanup();
  scratch?.cleanup();
});

test('a storage-only looper is recognised by its label without MIDI', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await usableAs(page, 'Pool Banks');
  assert.equal(await page.isEnabled('#import-button'), true);
  assert.equal(await page.evaluate(() => Tarn.app.device.manager.editMode), false);
});

test('import into a banked layout writes 16-bit stereo at 44.1 kHz', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  answer(makeAudio(join(scratch.folder, 'Mono Take.wav'), 1.2, { rate: 48000, channels: 1 }));
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog');
  assert.equal(await page.textContent('#track-list .memory:nth-child(10) .memory-label'), 'Memory 2-2');
  await selectTrack(page, 9, 2);
  await screenshotNotBlank(page, 'storage-looper-track-list.png', ctx);
  await page.click('#import-dialog #main-button');
  await page.waitForSelector('#progress-dialog');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(await page.$('#message-dialog'), null);
  assert.deepEqual(readdirSync(volume.track(10, 2)), ['Mono Take.wav']);
  const wav = readWav(join(volume.track(10, 2), 'Mono Take.wav'));
  assert.deepEqual([wav.format, wav.channels, wav.sampleRate, wav.bits], [1, 2, 44100, 16]);
  assert.equal(wav.dataOffset + wav.dataSize, wav.fileSize);
  assert.ok(Math.abs(wav.frames - 1.2 * 44100) <= 1, 'frames ' + wav.frames);
  assert.equal(listTree(volume.wave).length, 1);
});

test('export is forced to 16-bit', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const destination = join(scratch.folder, 'out.wav');
  answer(destination);
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  assert.equal(await page.isHidden('#export-format'), true);
  await page.evaluate(() => { document.getElementById('export-format').value = '32-bit float'; });
  await selectTrack(page, 9, 2);
  await page.click('#export-dialog #main-button');
  await page.waitForSelector('#progress-dialog');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  const wav = readWav(destination);
  assert.deepEqual([wav.format, wav.bits, wav.channels], [1, 16, 2]);
});

test('a move onto the looper never shows a half-written track file', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const size = 96 * 1024 * 1024;
  const source = join(t.home.env.TMPDIR, 'big.wav');
  writeFileSync(source, Buffer.alloc(size, 7));
  const folder = volume.track(3, 1);
  const target = join(folder, 'big.wav');
  const seen = { partial: 0, whole: 0, temporaries: 0, polls: 0 };
  let moving = true;
  const poll = () => {
    if (!moving) return;
    seen.polls++;
    for (const name of readdirSync(folder)) {
      if (name === 'big.wav') {
        if (statSync(target).size === size) seen.whole++; else seen.partial++;
      } else {
        seen.temporaries++;
      }
    }
    setImmediate(poll);
  };
  setImmediate(poll);
  const error = await page.evaluate(([from, to]) => {
    try { $native.fs.move(from, to); return ''; } catch (e) { return e.message; }
  }, [source, target]);
  moving = false;
  ctx.diagnostic(JSON.stringify(seen));
  assert.equal(error, '');
  assert.equal(seen.partial, 0, 'the track name never showed a partial file');
  assert.equal(statSync(target).size, size);
  assert.equal(existsSync(source), false);
  assert.deepEqual(readdirSync(folder), ['big.wav']);
  assert.match(await page.evaluate(([to]) => {
    try { $native.fs.move('/nonexistent/x.wav', to); return 'moved'; } catch (e) { return e.message; }
  }, [target]), /./, 'moving onto an existing track fails');
  assert.equal(statSync(target).size, size, 'and leaves it alone');
});

test('Disconnect asks the host to release the storage the page took', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const outcome = await page.evaluate(() => new Promise((resolve) => {
    const { fs } = $native;
    const ok = fs.event.unmounted;
    const failed = fs.event.unmountfailed;
    fs.event.unmounted = function (p) { resolve(['unmounted', p]); return ok.apply(this, arguments); };
    fs.event.unmountfailed = function (p, r) { resolve(['unmountfailed', p, r]); return failed.apply(this, arguments); };
    Tarn.app.device.disconnect();
  }));
  assert.equal(outcome[1].replace(/\/$/, ''), volume.mount);
  if (volumes) {
    assert.equal(outcome[0], 'unmounted', JSON.stringify(outcome));
    assert.equal(volume.mounted(), false);
  } else {
    assert.equal(outcome[0], 'unmountfailed');
    await page.click('#message-dialog button');
    ctx.diagnostic('no volume service to release the volume: ' + outcome[2]);
  }
});

test('a looper without a telling label is found by trying the storage-only layouts', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  assert.equal(volume.cleanup(), '', 'the first volume was left clean');
  await waitUsable(page, false);
  await page.evaluate(() => {
    window.unmountCalls = [];
    const unmount = $native.fs.unmount;
    $native.fs.unmount = function (path) { window.unmountCalls.push(path); return unmount.apply(this, arguments); };
    window.shownNames = [];
    const status = document.getElementById('device-status');
    new MutationObserver(() => window.shownNames.push(status.textContent)).observe(status, { childList: true, characterData: true, subtree: true });
  });
  volume = mountVolume('Pool Duo', { label: '' });
  await usableAs(page, 'Pool Duo');
  const shown = await page.evaluate(() => window.shownNames);
  assert.deepEqual(shown.filter((n) => /Pool (Five|Three|One|Banks)/.test(n)), [], 'no wrong model on the way: ' + JSON.stringify(shown));
  // Pool Five and Pool Three were tried and failed their storage check on the way; the
  // looper must not have been ejected for that.
  assert.deepEqual(await page.evaluate(() => window.unmountCalls), []);
  assert.equal(volume.mounted(), true);
  assert.deepEqual(t.errors, []);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
