// The main view is the looper: without one it says how to connect it; with one, every
// memory and track is a cell of a grid that names itself, follows the keyboard and
// outside changes, and imports, exports several tracks and renames in place.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readFileSync, readdirSync, mkdirSync } from 'node:fs';
import { join, basename } from 'node:path';
import { request } from 'node:http';
import { openTarn, hasModule, waitFor, waitUsable } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, readWav, scratchFolder } from '../lib/looper.mjs';

let volume, scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }
const cell = (page, m, t) => page.locator(`#track-grid [role="gridcell"][data-memory="${m}"][data-track="${t}"]`);
const cellName = (page, m, t) => cell(page, m, t).getAttribute('aria-label');
const selectedCount = (page) => page.locator('#track-grid [role="gridcell"][aria-selected="true"]').count();

// Drops files onto a cell as a browser does: File objects in a DataTransfer.
async function dropFiles(page, m, t, paths) {
  const files = paths.map((p) => ({ name: basename(p), data: readFileSync(p).toString('base64') }));
  await page.evaluate(({ m, t, files }) => {
    const dt = new DataTransfer();
    for (const f of files) dt.items.add(new File([Uint8Array.from(atob(f.data), (c) => c.charCodeAt(0))], f.name));
    const node = document.querySelector(`#track-grid [data-memory="${m}"][data-track="${t}"]`);
    node.dispatchEvent(new DragEvent('dragover', { dataTransfer: dt, bubbles: true, cancelable: true }));
    node.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, { m, t, files });
}

// Drags one cell onto another.
async function dragCell(page, from, to) {
  await page.evaluate(({ from, to }) => {
    const at = (c) => document.querySelector(`#track-grid [data-memory="${c[0]}"][data-track="${c[1]}"]`);
    const dt = new DataTransfer();
    at(from).dispatchEvent(new DragEvent('dragstart', { dataTransfer: dt, bubbles: true, cancelable: true }));
    at(to).dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, { from, to });
}

const uploads = () => readdirSync(t.home.env.TMPDIR).filter((n) => n.startsWith('tarn-upload-'));
const framesIn = (m, k) => { const names = readdirSync(volume.track(m, k)); return names.length === 1 ? [names[0], readWav(join(volume.track(m, k), names[0])).frames] : names; };

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
  // Room for the long import's conversion, which Tarn checks before it starts.
  volume = mountVolume('Pool Duo', { size: 1024 });
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
  // The format is drawn beside the length (by the style sheet, from the cell's data-format).
  assert.equal(await cell(page, 1, 0).locator('.cell-format').getAttribute('data-format'), '44.1 kHz 16-bit');
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
    // Every text the bar's label is given, as it is given: on a fast machine several come
    // and go between two looks at the page.
    new MutationObserver((records) => {
      for (const r of records) {
        if (!r.target.classList?.contains('progress-text')) continue;
        for (const node of r.addedNodes) {
          const text = node.textContent;
          if (text && !window.steps.includes(text)) window.steps.push(text);
        }
      }
    }).observe(document.body, { subtree: true, childList: true });
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

test('dropped files: one onto an empty cell, three filling empty cells on, too many refused before anything is written', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const made = (name, seconds) => makeAudio(join(scratch.folder, name), seconds, { codec: name.endsWith('.mp3') ? ['-b:a', '192k'] : [] });
  await dropFiles(page, 4, 0, [made('Solo.wav', 1)]);
  await waitFor(() => page.evaluate(() => !document.getElementById('progress-dialog')) && cellName(page, 4, 0).then((n) => n === 'Memory 5, track 1: Solo.wav, 0:01.000'),
    { timeout: 30000, what: 'the dropped file in memory 5' });
  assert.deepEqual(framesIn(5, 1), ['Solo.wav', 44100]);
  // Memory 3 track 2 is used: the three go to 3/1, 4/1 and 4/2.
  await dropFiles(page, 2, 0, [made('One.wav', 0.5), made('Two.mp3', 1), made('Three.wav', 2)]);
  await waitFor(() => cellName(page, 3, 1).then((n) => n === 'Memory 4, track 2: Three.wav, 0:02.000'), { timeout: 60000, what: 'the third file' });
  assert.deepEqual(framesIn(3, 1), ['One.wav', 22050]);
  assert.deepEqual(framesIn(4, 1), ['Two.wav', 44100]);
  assert.deepEqual(framesIn(4, 2), ['Three.wav', 88200]);
  assert.deepEqual(framesIn(3, 2), ['Take Two.wav', 88200], 'the used cell between is left alone');
  // Three files onto memory 99 track 1: only two empty cells from there.
  await dropFiles(page, 98, 0, [made('One.wav', 0.5), made('Solo.wav', 1), made('Three.wav', 2)]);
  const refused = await page.waitForSelector('#message-dialog');
  assert.match(await refused.textContent(), /do not fit/);
  await page.click('#message-dialog button');
  assert.deepEqual([readdirSync(volume.track(99, 1)), readdirSync(volume.track(99, 2))], [[], []]);
  await waitFor(() => uploads().length === 0, { what: 'the sent files to go' });
});

test('a used cell dragged onto an empty one moves; onto a used one swaps after asking; a drop onto a used cell asks to replace', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await dragCell(page, [4, 0], [5, 1]);
  await waitFor(() => cellName(page, 5, 1).then((n) => n?.startsWith('Memory 6, track 2: Solo.wav')), { what: 'the move' });
  assert.deepEqual([readdirSync(volume.track(5, 1)), framesIn(6, 2)], [[], ['Solo.wav', 44100]]);
  await dragCell(page, [3, 0], [3, 1]);
  await page.click('#swap-confirm');
  await waitFor(() => cellName(page, 3, 0).then((n) => n?.startsWith('Memory 4, track 1: Three.wav')), { what: 'the swap' });
  assert.deepEqual([framesIn(4, 1), framesIn(4, 2)], [['Three.wav', 88200], ['Two.wav', 44100]]);
  await dropFiles(page, 3, 0, [makeAudio(join(scratch.folder, 'Better.wav'), 3)]);
  await page.click('#replace-confirm');
  await waitFor(() => cellName(page, 3, 0).then((n) => n === 'Memory 4, track 1: Better.wav, 0:03.000'), { timeout: 30000, what: 'the replacement' });
  assert.deepEqual(readdirSync(volume.track(4, 1)), ['Better.wav'], 'the old file went, after the new one was written');
});

test('a batch cancelled during its second file keeps the first and nothing else', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await dropFiles(page, 9, 0, [makeAudio(join(scratch.folder, 'Short.wav'), 0.5),
    makeAudio(join(scratch.folder, 'Very Long.mp3'), 1800, { codec: ['-b:a', '128k'] })]);
  await waitFor(() => page.evaluate(() => document.querySelector('#progress-dialog .progress-text')?.textContent === 'Importing... 2 of 2'),
    { timeout: 60000, what: 'the second file' });
  await page.click('#progress-cancel');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 60000 });
  assert.deepEqual([framesIn(10, 1), readdirSync(volume.track(10, 2))], [['Short.wav', 22050], []]);
  assert.deepEqual(readdirSync(t.home.env.TMPDIR).filter((n) => /\.wav$|^tarn-upload-/.test(n)), []);
});

test('the upload endpoint wants the token and refuses a body too big before reading it', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  // body: sent whole, or (null) never: the answer must come from the headers alone.
  const ask = (headers, body) => new Promise((resolve, reject) => {
    const req = request({ host: '127.0.0.1', port: t.tarn.port, path: '/upload?name=x.wav', method: 'POST', headers }, (res) => resolve(res.statusCode));
    req.on('error', reject);
    if (body === null) req.flushHeaders(); else req.end(body);
  });
  assert.equal(await ask({ 'Content-Length': '10' }, '0123456789'), 403);
  assert.equal(await ask({ 'Content-Length': String(3 * 2 ** 30), 'X-Tarn-Token': t.tarn.token }, null), 413);
  assert.deepEqual(uploads(), []);
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.deepEqual(t.errors, []);
  assert.equal(volume.cleanup(), '');
});
