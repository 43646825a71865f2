// A MIDI looper from connection to exit: its volume on a FAT32 image, its MIDI side
// in looper-sim on a private JACK server, a catalogue on 127.0.0.1 and a null sound sink.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, existsSync, readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, selectTrack, errorText, errorDetails, waitUsable } from '../lib/page.mjs';
import {
  volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, startPulse, startVolumeService,
  startCatalogueServer, makeAudio, readWav, listTree, scratchFolder, screenshotNotBlank,
} from '../lib/looper.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072' };
const FRAME = 8; // stereo 32-bit float

let jack, sim, volume, volumes, server, pulse, scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  if (!canRunMidi()) { skip = 'looper-sim or jackd is missing'; return; }
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  jack = await startJack();
  sim = await startLooperSim(jack, MODEL.port, MODEL.id, ['--busy-ms', '300']);
  volume = mountVolume(MODEL.name);
  volumes = await startVolumeService(volume.mount);
  pulse = await startPulse();
  const groove = readFileSync(makeAudio(join(scratch.folder, 'groove.wav'), 1.5));
  let base = '';
  server = await startCatalogueServer({
    '/catalogue.json': { type: 'application/json', body: () => Buffer.from(JSON.stringify({
      totalResults: 1, contentDomain: base + '/content/', ytplayerUrl: '',
      items: [{ date: '2026-01-01', lang: { en: { title: 'Set one', caption: [
        { no: 1, title: 'Groove', description: '', key: 'sets/one/Groove Take.wav' },
        { no: 2, title: 'Missing', description: '', key: 'sets/one/missing.wav' },
        { no: 3, title: 'Slow', description: '', key: 'sets/one/slow.wav' },
      ] } } }],
    })) },
    '/content/sets/one/Groove Take.wav': { body: groove, slow: 16384 },
    '/content/sets/one/slow.wav': { body: Buffer.alloc(8 * 1024 * 1024), slow: 16384 },
  });
  base = server.base;
  t = await openTarn({
    prefs: { catalogueAddress: server.base + '/catalogue.json' },
    env: { ...jack.env, ...pulse.env, ...(volumes ? volumes.env : {}), TARN_DIALOG_ANSWERS: answers },
  });
  for (const probe of ['$$fs_separator', '$$midi_inendpoints', '$$audio_outputs', '$$trnWav_formatWithAcidChunk', '$$http_cancel']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
});

after(async () => {
  await t?.close();
  await sim?.stop();
  await jack?.stop();
  await pulse?.stop();
  await volumes?.stop();
  await server?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

test('the looper is recognised, switched into edit mode, and the buttons come on', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  assert.match(await page.textContent('#device-status'), /Eddy Duo/);
  assert.equal(sim.modes().at(-1), 1, 'the simulator is in edit mode');
  assert.ok(sim.lines.some((l) => l === 'recv F07D100000007212' + '7F70000001' + '10F7'), 'edit mode on was written');
  for (const id of ['#import-button', '#export-button', '#disconnect-button']) assert.equal(await page.isEnabled(id), true, id);
});

test('an mp3 imported into memory 5 track 1 lands whole, in the model\'s format, with no temporaries', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const source = makeAudio(join(scratch.folder, 'Song.Final.mp3'), 2.5, { codec: ['-b:a', '192k'] });
  const sourceFrames = 2.5 * 44100;
  answer(source);
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog');
  assert.match(await page.textContent('#import-dialog .source-file'), /Song\.Final\.mp3/);
  await selectTrack(page, 4, 1);
  await screenshotNotBlank(page, 'midi-looper-track-list.png', ctx);
  await page.click('#import-dialog #main-button');
  await page.waitForSelector('#progress-dialog');
  await screenshotNotBlank(page, 'midi-looper-import-progress.png', ctx);
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(await page.$('#message-dialog'), null, 'no error');
  const folder = volume.track(5, 1);
  assert.deepEqual(readdirSync(folder), ['Song.Final.wav']);
  const wav = readWav(join(folder, 'Song.Final.wav'));
  assert.deepEqual([wav.format, wav.channels, wav.sampleRate, wav.bits, wav.blockAlign], [3, 2, 44100, 32, FRAME]);
  assert.equal(wav.dataOffset % 4, 0, 'the data starts on a 4-byte boundary');
  assert.equal(wav.dataOffset + wav.dataSize, wav.fileSize, 'the file is complete');
  assert.ok(Math.abs(wav.frames - sourceFrames) <= 1, `frames ${wav.frames} vs ${sourceFrames}`);
  const temporary = t.home.env.TMPDIR;
  assert.deepEqual(readdirSync(temporary).filter((n) => /\.wav$/i.test(n)), [], 'no temporaries left');
  assert.deepEqual(listTree(volume.wave).filter((p) => !p.endsWith('Song.Final.wav')), [], 'nothing else on the volume');
});

test('too short and unreadable files are refused before anything is written', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  answer(makeAudio(join(scratch.folder, 'blip.wav'), 0.04));
  await page.click('#import-button');
  assert.equal(await errorText(page), 'Data is too short.');
  const junk = join(scratch.folder, 'junk.mp3');
  writeFileSync(junk, 'not audio at all');
  answer(junk);
  await page.click('#import-button');
  assert.equal(await errorText(page), 'Unsupported format.');
  assert.equal(listTree(volume.wave).length, 1);
});

test('preview plays the track and stops', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  if (!(await hasModule(t.page, '$$player_status'))) { ctx.skip('the player module is not in this build'); return; }
  const { page } = t;
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await selectTrack(page, 4, 1);
  await page.click('#play-button');
  await waitFor(() => page.evaluate(() => $native.player.status() === 1), { what: 'playback' });
  assert.match(await page.evaluate(() => $native.player.file()), /005_1\/Song\.Final\.wav$/);
  await page.click('#stop-button');
  await waitFor(() => page.evaluate(() => $native.player.status() === 0), { what: 'the stop' });
  await page.click('#export-dialog #cancel-button');
});

test('export to 24-bit writes a valid file', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const destination = join(scratch.folder, 'exported.wav');
  answer(destination);
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  assert.equal(await page.inputValue('#export-format'), '24-bit');
  await selectTrack(page, 4, 1);
  await page.click('#export-dialog #main-button');
  await page.waitForSelector('#progress-dialog');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(await page.$('#message-dialog'), null);
  const exported = readWav(destination);
  const track = readWav(join(volume.track(5, 1), 'Song.Final.wav'));
  assert.deepEqual([exported.format, exported.bits, exported.channels, exported.sampleRate], [1, 24, 2, 44100]);
  assert.equal(exported.frames, track.frames);
});

test('a second job while one runs is refused and the first still completes', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const source = makeAudio(join(scratch.folder, 'Second.wav'), 1);
  const outcome = await page.evaluate(async ({ source, dst1, dst2 }) => {
    const jobs = Tarn.app.jobs;
    const inst = Tarn.app.device.instrument.inst;
    const results = [];
    const first = new Promise((resolve) => jobs.importFile(source, dst1, inst.wave, (o) => { results.push(['first', o.success]); resolve(); }));
    jobs.importFile(source, dst2, inst.wave, (o) => results.push(['second', o.success, o.reason]));
    await first;
    return results;
  }, { source, dst1: join(volume.track(6, 1), 'Second.wav'), dst2: join(volume.track(7, 1), 'Second.wav') });
  assert.deepEqual(outcome[0].slice(0, 2), ['second', false]);
  assert.match(outcome[0][2], /still running/);
  assert.deepEqual(outcome[1], ['first', true]);
  assert.deepEqual(readdirSync(volume.track(6, 1)), ['Second.wav']);
  assert.deepEqual(readdirSync(volume.track(7, 1)), []);
});

test('a catalogue download fills an empty track and shows progress; a 404 fails; Cancel stops', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#catalogue-tab');
  await page.waitForSelector('#set-list li', { timeout: 20000 });
  const download = async (row, memory, track) => {
    await page.click(`.set-track:nth-child(${row}) button.download`);
    await page.waitForSelector('#download-dialog');
    await selectTrack(page, memory - 1, track);
    await page.click('#download-dialog #main-button');
  };
  await page.evaluate(() => {
    window.seenPercents = [];
    new MutationObserver((records) => {
      for (const r of records) {
        const node = r.target;
        if (node.classList && node.classList.contains('progress-text') && /%$/.test(node.textContent)) {
          window.seenPercents.push(node.textContent);
        }
      }
    }).observe(document.body, { subtree: true, childList: true, characterData: true });
  });
  await download(1, 9, 2);
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(await page.$('#message-dialog'), null);
  const percents = await page.evaluate(() => window.seenPercents);
  assert.ok(percents.length > 0 && percents.every((p) => /^\d{1,3}%$/.test(p)), JSON.stringify(percents));
  assert.ok(server.served.includes('/content/sets/one/Groove Take.wav'), 'the key was encoded and decoded back');
  const wav = readWav(join(volume.track(9, 2), 'Groove Take.wav'));
  assert.deepEqual([wav.format, wav.bits, wav.channels], [3, 32, 2]);
  assert.ok(Math.abs(wav.frames - 1.5 * 44100) <= 1);

  await download(2, 10, 1);
  assert.equal(await errorText(page), 'Download failed.');
  assert.deepEqual(readdirSync(volume.track(10, 1)), []);

  await download(3, 11, 1);
  await page.waitForSelector('#progress-cancel');
  await page.click('#progress-cancel');
  await new Promise((r) => setTimeout(r, 1500));
  assert.equal(await page.$('#message-dialog'), null);
  assert.deepEqual(readdirSync(volume.track(11, 1)), []);
  assert.equal(existsSync(join(t.home.env.TMPDIR, 'slow.wav')), false, 'the cancelled download left nothing');
  assert.equal(await page.evaluate(() => Tarn.app.jobs.busy()), false);
});

test('delete removes the track after a confirmation that names it, and offers Undo', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await selectTrack(page, 5, 1);
  await page.click('#delete-button');
  await page.waitForSelector('#confirm-dialog');
  assert.equal(await page.textContent('#confirm-dialog .delete-list'), 'Memory 6, Track 1: Second.wav', 'the file is named');
  assert.equal(await page.textContent('#confirm-dialog button.primary'), 'Delete');
  await page.click('#confirm-dialog button.primary');
  await waitFor(() => readdirSync(volume.track(6, 1)).length === 0, { what: 'the file to go' });
  await page.waitForSelector('#deleted-note #undo-button');
  assert.equal(await page.textContent('#track-list .track[data-memory="5"][data-track="0"] .track-file'), '');
  await page.click('#export-dialog #cancel-button');
});

test('Disconnect leaves edit mode and asks the host to release the volume; exit ends Tarn', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page, tarn } = t;
  const unmounts = [];
  await page.exposeFunction('recordUnmount', (kind, path) => unmounts.push([kind, path]));
  await page.evaluate(() => {
    const ok = $native.fs.event.unmounted;
    const failed = $native.fs.event.unmountfailed;
    $native.fs.event.unmounted = function (p) { window.recordUnmount('unmounted', p); return ok.apply(this, arguments); };
    $native.fs.event.unmountfailed = function (p, r) { window.recordUnmount('unmountfailed', p + ': ' + r); return failed.apply(this, arguments); };
  });
  await page.click('#disconnect-button');
  await page.click('#confirm-dialog button.primary');
  await waitFor(() => unmounts.length > 0, { timeout: 20000, what: 'the unmount answer' });
  assert.equal(unmounts[0][1].startsWith(volume.mount), true, JSON.stringify(unmounts));
  if (volumes) {
    assert.equal(unmounts[0][0], 'unmounted', JSON.stringify(unmounts));
    await waitFor(() => sim.modes().at(-1) === 0, { timeout: 10000, what: 'edit mode off' }).catch(async (e) => {
      ctx.diagnostic(sim.lines.slice(-12).join(' | '));
      ctx.diagnostic(JSON.stringify(await page.evaluate(() => ({ phase: Tarn.app.device.manager.phase,
        edit: Tarn.app.device.manager.editMode, queue: Tarn.app.device.communicator.queue }))));
      throw e;
    });
    assert.equal(volume.mounted(), false, 'the volume was released');
    await waitUsable(page, false);
    assert.equal(await page.isDisabled('#import-button'), true);
    // Its drive was ejected with it: Connect cannot bring the volume back, says to plug the
    // looper in again, and leaves edit mode off rather than on behind "No looper connected".
    await page.click('#disconnect-button');
    await page.click('#confirm-dialog button.primary');
    const shown = await errorDetails(page);
    assert.match(shown.text + ' ' + shown.reason, /could not be connected again.*Unplug the looper and plug it in again\./s);
    assert.equal(sim.modes().at(-1), 0);
    assert.equal(await page.textContent('#disconnect-button'), 'Connect');
  } else {
    // No volume service on this machine: edit mode is left whatever becomes of the volume.
    await waitFor(() => sim.modes().at(-1) === 0, { timeout: 10000, what: 'edit mode off' });
    if (unmounts[0][0] === 'unmountfailed') await page.click('#message-dialog button');
    ctx.diagnostic('no volume service to release the volume: ' + unmounts[0][1]);
  }
  await page.evaluate(() => $native.app.event.command('exit', ''));
  const { code } = await tarn.exited;
  assert.equal(code, 0);
  assert.deepEqual(t.errors, []);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
