// The main view is the looper: without one it says how to connect it; with one, every
// memory and track is a cell of a grid that names itself, follows the keyboard and
// outside changes, and imports, exports several tracks and renames in place.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readFileSync, readdirSync, mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, hasModule, waitFor, waitUsable } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, readWav, scratchFolder } from '../lib/looper.mjs';

let volume, scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }
const cell = (page, m, t) => page.locator(`#track-grid [role="gridcell"][data-memory="${m}"][data-track="${t}"]`);
const cellName = (page, m, t) => cell(page, m, t).getAttribute('aria-label');
const selectedCount = (page) => page.locator('#track-grid [role="gridcell"][aria-selected="true"]').count();

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { TARN_DIALOG_ANSWERS: answers, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/bus' },
  });
  if (!(await hasModule(t.page, '$$fs_watch'))) skip = '$$fs_watch is not in this build';
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

test('no looper: the main view says how to connect one', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.waitForSelector('#looper-none');
  assert.match(await page.textContent('#looper-none'), /Plug your looper into this computer/);
  assert.equal(await page.isVisible('#catalogue'), false, 'the catalogue has a tab of its own');
  await page.click('#catalogue-tab');
  assert.equal(await page.isVisible('#catalogue'), true);
  await page.click('#looper-tab');
});

test('plugged in: every cell names itself, with the name and length of a track already there', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  volume = mountVolume('Pool Duo');
  // Made beside and written in one go (ffmpeg's own writes go back to patch the header).
  const intro = makeAudio(join(scratch.folder, 'Intro.wav'), 1.5, { codec: ['-c:a', 'pcm_s16le'] });
  writeFileSync(join(volume.track(2, 1), 'Intro.wav'), readFileSync(intro));
  await waitUsable(page);
  const grid = page.getByRole('grid', { name: 'Tracks' });
  await grid.waitFor();
  assert.equal(await page.locator('#track-grid [role="gridcell"]').count(), 99 * 2);
  await waitFor(async () => (await cellName(page, 1, 0)) === 'Memory 2, track 1: Intro.wav, 0:01.500', { what: 'the length to be read' });
  assert.equal(await cellName(page, 0, 0), 'Memory 1, track 1: empty');
  assert.equal(await cellName(page, 98, 1), 'Memory 99, track 2: empty');
  assert.match(await cell(page, 1, 0).textContent(), /44\.1 kHz 16-bit/);
  assert.equal(await page.textContent('#grid-usage'), '1 of 198 tracks used');
  assert.match(await page.textContent('#grid-space'), /free of/);
});

test('the keyboard moves, extends and selects all; Enter on an empty cell imports there and the grid stays', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await cell(page, 0, 0).click();
  await page.keyboard.press('ArrowDown');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.memory + '/' + document.activeElement.dataset.track), '1/0');
  assert.equal(await page.locator('#track-grid [tabindex="0"]').count(), 1, 'one cell in the tab order');
  await page.keyboard.press('Shift+ArrowRight');
  await page.keyboard.press('Shift+ArrowDown');
  assert.equal(await selectedCount(page), 4, 'memory 2 track 1 through memory 3 track 2');
  assert.equal(await page.textContent('#grid-selected'), '4 tracks selected');
  await page.keyboard.press('Control+a');
  assert.equal(await selectedCount(page), 198);
  await cell(page, 2, 1).click();
  answer(makeAudio(join(scratch.folder, 'Take Two.flac'), 2, { codec: ['-c:a', 'flac'] }));
  await page.keyboard.press('Enter');
  await waitFor(async () => (await cellName(page, 2, 1)) === 'Memory 3, track 2: Take Two.wav, 0:02.000',
    { timeout: 30000, what: 'the imported FLAC in its cell' });
  assert.equal(readWav(join(volume.track(3, 2), 'Take Two.wav')).frames, 88200);
  assert.equal(await page.textContent('#grid-usage'), '2 of 198 tracks used');
});

test('two tracks export into a folder with one "n of N" bar; F2 renames a track in place', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.evaluate(() => {
    window.steps = [];
    new MutationObserver(() => {
      const text = document.querySelector('#progress-dialog .progress-text')?.textContent;
      if (text && !window.steps.includes(text)) window.steps.push(text);
    }).observe(document.body, { subtree: true, childList: true, characterData: true });
  });
  const out = join(scratch.folder, 'out');
  mkdirSync(out);
  await cell(page, 1, 0).click();
  await cell(page, 2, 1).click({ modifiers: ['Control'] });
  answer(out);
  await page.click('#grid-export');
  await waitFor(() => readdirSync(out).length === 2 && page.$('#done-note'), { timeout: 30000, what: 'both exports' });
  assert.deepEqual(readdirSync(out).sort(), ['Intro.wav', 'Take Two.wav']);
  assert.equal(readWav(join(out, 'Intro.wav')).frames, 66150);
  assert.ok((await page.evaluate(() => window.steps)).includes('Exporting... 2 of 2'));

  await cell(page, 1, 0).click();
  await page.keyboard.press('F2');
  await page.fill('#rename-name', 'Intro: Final?');
  await page.keyboard.press('Enter');
  await waitFor(async () => (await cellName(page, 1, 0))?.startsWith('Memory 2, track 1: Intro_ Final_.wav'), { what: 'the new name' });
  assert.deepEqual(readdirSync(volume.track(2, 1)), ['Intro_ Final_.wav']);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.deepEqual(t.errors, []);
  assert.equal(volume.cleanup(), '');
});
