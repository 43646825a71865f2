// A catalogue a user chooses: with none set the pane explains and offers Settings; a folder
// catalogue made by `tarn --make-catalogue` is tested, saved and shown; its tracks download
// from disk into a looper; the same folder served over HTTP works alike; a broken document
// shows the error text.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, writeFileSync, readFileSync, readdirSync } from 'node:fs';
import { join, relative } from 'node:path';
import { openTarn, hasModule, selectTrack, waitUsable } from '../lib/page.mjs';
import {
  canMountVolumes, mountVolume, startVolumeService, startCatalogueServer, makeAudio, readWav, listTree, scratchFolder,
} from '../lib/looper.mjs';

let volume, volumes, scratch, server, t;
let skip = '';
let folder;

function makeSet(name, set, tracks) {
  const dir = join(folder, name);
  mkdirSync(dir, { recursive: true });
  writeFileSync(join(dir, 'set.json'), JSON.stringify(set));
  for (const [file, seconds] of tracks) makeAudio(join(dir, file), seconds);
}

before(async () => {
  if (!canMountVolumes()) { skip = 'mounting looper volumes needs root and loop devices'; return; }
  scratch = scratchFolder();
  folder = join(scratch.folder, 'Band Loops');
  makeSet('older', { title: 'Older set', description: 'from last year', date: '2025-03-01' }, [['Slow #1.wav', 0.5]]);
  // Long enough for progress to be reported on the way (each MiB).
  makeSet('newer', { title: 'Newer set', description: 'fresh', date: '2026-06-01',
    tracks: { 'Groove one.wav': { title: 'Groove one', description: 'ninety bpm' } } },
  [['Groove one.wav', 7], ['Groove two.wav', 0.5]]);
  execFileSync(process.env.TARN_BIN, ['--make-catalogue', folder]);

  // The same folder on a loopback web server, and a broken document beside it.
  const routes = { '/broken/tracksets.json': { type: 'application/json', body: Buffer.from('{"items": [') } };
  for (const file of listTree(folder)) {
    const path = file.startsWith('/') ? file : join(folder, file);
    routes['/band/' + relative(folder, path)] = { body: readFileSync(path), slow: 262144 };
  }
  server = await startCatalogueServer(routes);

  volume = mountVolume('Pool Banks', { size: 160 });
  volumes = await startVolumeService(volume.mount);
  // No catalogue chosen: the built-in address goes to a proxy on a closed loopback port, so
  // nothing leaves the machine and the built-in catalogue cannot be reached.
  const proxy = 'http://127.0.0.1:9';
  t = await openTarn({
    env: { ...(volumes ? volumes.env : {}), https_proxy: proxy, http_proxy: proxy, HTTPS_PROXY: proxy, no_proxy: '127.0.0.1,localhost', NO_PROXY: '127.0.0.1,localhost' },
  });
  await t.page.click('#catalogue-tab');
  for (const probe of ['$$fs_separator', '$$http_cancel', '$$trnWav_alignTo4byteData']) {
    if (!(await hasModule(t.page, probe))) { skip = probe + ' is not in this build'; return; }
  }
});

after(async () => {
  await t?.close();
  await server?.close();
  await volumes?.stop();
  volume?.cleanup();
  scratch?.cleanup();
});

async function chooseCatalogue(page, address, expectedReport) {
  await page.click('#settings-button');
  await page.waitForSelector('#settings-dialog');
  await page.fill('#catalogue-address', address);
  await page.click('#settings-test');
  await page.waitForFunction((text) => document.querySelector('#catalogue-test-report').textContent === text, expectedReport, { timeout: 15000 });
  await page.click('#settings-save');
  assert.equal(await page.$('#settings-dialog'), null);
}

async function downloadInto(page, row, memoryIndex, track) {
  await page.click(`.set-track:nth-child(${row}) button.download`);
  await page.waitForSelector('#download-dialog');
  await selectTrack(page, memoryIndex, track);
  await page.click('#download-dialog #main-button');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  assert.equal(await page.$('#message-dialog'), null);
}

test('with no catalogue chosen the pane explains and offers Settings', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.waitForSelector('#catalogue-error', { timeout: 20000 });
  assert.match(await page.textContent('#catalogue-error'), /No track catalogue is set up/);
  await page.click('#catalogue-settings-button');
  await page.waitForSelector('#settings-dialog');
  await page.click('#settings-cancel');
});

test('a folder catalogue made by the builder is tested, saved and shown newest first', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await chooseCatalogue(page, folder, '2 track sets');
  await page.waitForSelector('#set-list li', { timeout: 15000 });
  assert.deepEqual(await page.$$eval('#set-list li', (items) => items.map((i) => i.textContent)), ['Newer set', 'Older set']);
  assert.equal(readFileSync(join(t.prefFolder, 'catalogueAddress'), 'utf8'), folder);
  const rows = await page.$$eval('.set-track', (items) => items.map((i) => i.querySelector('.name').textContent));
  assert.deepEqual(rows, ['Groove one', 'Groove two']);
});

test('Download from the folder catalogue imports the file from disk, with progress', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  await page.evaluate(() => {
    window.seenProgress = [];
    const previous = $native.http.event.progress;
    $native.http.event.progress = function (id, total, amount) { window.seenProgress.push([total, amount]); return previous.apply(null, arguments); };
  });
  await downloadInto(page, 1, 0, 1);
  const wav = readWav(join(volume.track(1, 1), 'Groove one.wav'));
  assert.deepEqual([wav.channels, wav.sampleRate, wav.bits], [2, 44100, 16]);
  assert.ok(Math.abs(wav.frames - 7 * 44100) <= 1, 'frames ' + wav.frames);
  const progress = await page.evaluate(() => window.seenProgress);
  assert.ok(progress.length > 0 && progress.every(([total]) => Number(total) > 0), JSON.stringify(progress));
});

test('the same catalogue on a loopback web server works the same way', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await chooseCatalogue(page, server.base + '/band/tracksets.json', '2 track sets');
  await page.waitForFunction(() => document.querySelectorAll('#set-list li').length === 2, null, { timeout: 15000 });
  await downloadInto(page, 2, 0, 2);
  assert.ok(server.served.includes('/band/newer/Groove two.wav'), JSON.stringify(server.served));
  assert.deepEqual(readdirSync(volume.track(1, 2)), ['Groove two.wav']);
});

test('a broken document shows the error text, in the test and in the pane', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await chooseCatalogue(page, server.base + '/broken/tracksets.json', 'Downloaded file is broken.');
  await page.waitForSelector('#catalogue-error', { timeout: 15000 });
  assert.match(await page.textContent('#catalogue-error'), /Downloaded file is broken\./);
  assert.equal(await page.$('#catalogue-settings-button'), null, 'a chosen catalogue keeps the plain error');
  assert.deepEqual(t.errors, []);
});
