// What a looper owner meets with the tracks: the table is there at once and follows
// outside changes, a dead run's temporaries are gone, imports are exact and get names
// the volume takes, failures say why, a stopped preview lets go of the file, and an
// export proposes the track's whole name.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readFileSync, readdirSync, readlinkSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, selectTrack, waitUsable, errorDetails } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, startPulse, makeAudio, readWav, scratchFolder } from '../lib/looper.mjs';

let volume, pulse, scratch, t, answers;
let skip = '';
const STALE = '.tarn-copy-Old Take.wav.Q7w8E9';

function answer(line) { appendFileSync(answers, line + '\n'); }
// A plain copy (the FUSE filesystem has no copy_file_range).
function copyFile(from, to) { writeFileSync(to, readFileSync(from)); }

async function importInto(page, source, memoryIndex, track) {
  answer(source);
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog');
  await selectTrack(page, memoryIndex, track);
  await page.click('#import-dialog #main-button');
  await page.waitForSelector('#progress-dialog');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  // Room for the long import's conversion, which Tarn checks before it starts.
  volume = mountVolume('Pool Duo', { size: 1024 });
  // A run that died in the middle of a copy onto the looper.
  writeFileSync(join(volume.track(2, 1), STALE), Buffer.alloc(4096));
  pulse = await startPulse();
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { ...pulse.env, TARN_DIALOG_ANSWERS: answers, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/bus' },
  });
  for (const probe of ['$$fs_watch', '$$audio_outputs', '$$player_status']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
  await t.page.evaluate(() => {
    window.scans = 0;
    new MutationObserver(() => {
      const text = document.querySelector('#progress-dialog .progress-text');
      if (text && text.textContent === 'Scanning...') window.scans++;
    }).observe(document.body, { subtree: true, childList: true });
  });
});

after(async () => {
  await t?.close();
  await pulse?.stop();
  volume?.cleanup();
  scratch?.cleanup();
});

test('on connect a dead run\'s temporary goes; dialogs open without scanning and follow outside changes', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  await waitFor(() => !existsSync(join(volume.track(2, 1), STALE)), { what: 'the stale temporary to go' });
  // The table is read in the background once the looper is usable.
  await waitFor(() => page.evaluate(() => Tarn.app.trackStore.table !== null), { what: 'the track table' });
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  assert.equal(await page.evaluate(() => window.scans), 0, 'no "Scanning..." once the table is kept');
  copyFile(makeAudio(join(scratch.folder, 'outside.wav'), 0.5), join(volume.track(3, 2), 'From Outside.wav'));
  await waitFor(() => page.evaluate(() => {
    const node = document.querySelector('#track-list .track[data-memory="2"][data-track="1"] .track-file');
    return node && node.textContent === 'From Outside.wav';
  }), { what: 'the outside change to show' });
  await page.click('#export-dialog #cancel-button');
});

test('a 5.000 s AAC clip imports as 220,500 frames; a name FAT refuses gets "_"', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await importInto(page, makeAudio(join(scratch.folder, 'Loop.m4a'), 5, { codec: ['-c:a', 'aac', '-b:a', '160k'] }), 0, 1);
  assert.equal(await page.$('#message-dialog'), null, 'no error');
  assert.equal(readWav(join(volume.track(1, 1), 'Loop.wav')).frames, 220500);
  await waitFor(() => page.$('#done-note'), { what: 'the import to say it is done' });
  await importInto(page, makeAudio(join(scratch.folder, 'What? Live.mp3'), 1, { codec: ['-b:a', '192k'] }), 0, 2);
  assert.equal(await page.$('#message-dialog'), null, 'no error');
  assert.deepEqual(readdirSync(volume.track(1, 2)), ['What_ Live.wav']);
  assert.equal(readWav(join(volume.track(1, 2), 'What_ Live.wav')).frames, 44100);
  assert.deepEqual(readdirSync(t.home.env.TMPDIR).filter((n) => /\.wav$/i.test(n)), [], 'no temporaries left');
});

test('a missing source says "Import failed." and why', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  answer(join(scratch.folder, 'gone.mp3'));
  await page.click('#import-button');
  const shown = await errorDetails(page);
  assert.equal(shown.text, 'Import failed.');
  assert.match(shown.reason, /not there/);
});

test('Cancel during a long import leaves nothing on the volume or in the temporary folder', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  // Long enough that the conversion is still running when Cancel is pressed, however fast
  // the machine: the press follows the progress bar's appearance at once.
  answer(makeAudio(join(scratch.folder, 'Long Set.mp3'), 1800, { codec: ['-b:a', '128k'] }));
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog');
  await selectTrack(page, 5, 1);
  // The bar shows how far the conversion got, and moves on: every percentage it shows is
  // recorded as it is set, however the page's paints and this test's looks fall.
  await page.evaluate(() => {
    window.percents = [];
    new MutationObserver((records) => {
      for (const r of records) {
        for (const node of r.addedNodes) {
          const m = /^(\d+)%$/.exec(node.textContent || '');
          if (m && r.target.classList?.contains('progress-text')) window.percents.push(Number(m[1]));
        }
      }
    }).observe(document.body, { subtree: true, childList: true });
  });
  await page.click('#import-dialog #main-button');
  await waitFor(() => page.evaluate(() => new Set(window.percents).size >= 2), { timeout: 30000, what: 'the bar to advance' });
  const { percents, width } = await page.evaluate(() => ({
    percents: window.percents.slice(), width: document.querySelector('#progress-dialog .progress-fill')?.style.width ?? 'no bar',
  }));
  assert.ok(percents.every((p, i) => i === 0 || p > percents[i - 1]), 'the bar only moves on: ' + percents);
  assert.equal(width, percents.at(-1) + '%', 'the bar is as long as the percentage says');
  await page.click('#progress-cancel');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 60000 });
  assert.equal(await page.$('#message-dialog'), null, 'a cancel is no error');
  assert.deepEqual(readdirSync(volume.track(6, 1)), []);
  assert.deepEqual(readdirSync(t.home.env.TMPDIR).filter((n) => /\.wav$/i.test(n)), []);
  assert.equal(await page.evaluate(() => Tarn.app.jobs.busy()), false);
});

test('a stopped preview leaves no descriptor open on the volume', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page, tarn } = t;
  const onVolume = () => readdirSync(`/proc/${tarn.child.pid}/fd`).filter((fd) => {
    try { return readlinkSync(`/proc/${tarn.child.pid}/fd/${fd}`).startsWith(volume.mount + '/'); } catch { return false; }
  });
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await selectTrack(page, 0, 1);
  await page.click('#play-button');
  await waitFor(() => page.evaluate(() => $native.player.status() === 1), { what: 'playback' });
  assert.ok(onVolume().length > 0, 'the playing file is open');
  await page.click('#stop-button');
  await waitFor(() => onVolume().length === 0, { what: 'the file to be let go of' });
  await page.click('#export-dialog #cancel-button');
});

test('export of "Song.Final.wav" proposes and keeps the whole name', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  copyFile(join(volume.track(1, 1), 'Loop.wav'), join(volume.track(4, 1), 'Song.Final.wav'));
  await page.evaluate(() => {
    const save = $native.fs.savefilename;
    $native.fs.savefilename = function (name, ext) { window.proposed = [name, ext]; return save(name, ext); };
  });
  const destination = join(scratch.folder, 'Song.Final.wav');
  answer(destination);
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  await waitFor(() => page.$('#track-list .track[data-memory="3"][data-track="0"].has-file'), { what: 'the copied track' });
  await selectTrack(page, 3, 1);
  await page.evaluate(() => document.getElementById('done-note')?.remove());
  await page.click('#export-dialog #main-button');
  await waitFor(() => page.$('#done-note'), { timeout: 30000, what: 'the export to say it is done' });
  assert.deepEqual(await page.evaluate(() => window.proposed), ['Song.Final.wav', 'wav']);
  assert.equal(readWav(destination).frames, 220500);
  assert.deepEqual(t.errors, []);
});

test('the track list works from the keyboard', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog');
  const selected = () => page.evaluate(() => {
    const node = document.querySelector('#track-list .track.selected');
    return node ? [Number(node.dataset.memory), Number(node.dataset.track)] : null;
  });
  assert.equal(await page.evaluate(() => document.activeElement.id), 'track-list', 'the list has the focus');
  await page.keyboard.press('Home');
  assert.deepEqual(await selected(), [0, 0]);
  await page.keyboard.press('ArrowDown');
  assert.deepEqual(await selected(), [0, 1]);
  await page.keyboard.press('Delete');
  await page.waitForSelector('#confirm-dialog');
  assert.match(await page.textContent('#confirm-dialog .delete-list'), /: What_ Live\.wav$/);
  await page.click('#confirm-dialog button:not(.primary)');
  assert.deepEqual(readdirSync(volume.track(1, 2)), ['What_ Live.wav'], 'Cancel keeps it');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'track-list', 'the focus came back');
  await page.keyboard.press('ArrowUp');
  answer(''); // the save dialog is cancelled
  await page.evaluate(() => { window.proposed = null; });
  await page.keyboard.press('Enter');
  await waitFor(() => page.evaluate(() => window.proposed), { what: 'Enter to start the export' });
  // The proposed name starts in the folder the last export went to.
  const [proposed, extension] = await page.evaluate(() => window.proposed);
  assert.deepEqual([proposed.replace(/^.*\//, ''), extension], ['Loop.wav', 'wav']);
  await page.click('#export-dialog #cancel-button');
});

test('a looper going and coming is seen at its mount change, with no periodic look', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.evaluate(() => {
    const instrument = Tarn.app.device.instrument;
    clearTimeout(instrument.timer);
    instrument.timer = null;
    instrument.checkInterval = instrument.searchInterval = 1e9;
  });
  assert.equal(volume.cleanup(), '', 'the released volume is clean');
  await waitUsable(page, false);
  assert.equal(await page.evaluate(() => Tarn.app.trackStore.table), null, 'its table went with it');
  volume = mountVolume('Pool Duo');
  await waitUsable(page);
  await waitFor(() => page.evaluate(() => Tarn.app.trackStore.table !== null), { what: 'the new table' });
  assert.equal(await page.textContent('#device-status'), 'Pool Duo');
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
