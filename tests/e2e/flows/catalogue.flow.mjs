// The catalogue pane against a catalogue served on 127.0.0.1: order, language, details,
// Download buttons, the "connect the device" notice, and Reload after a failure.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openTarn, hasModule, waitFor } from '../lib/page.mjs';
import { startCatalogueServer } from '../lib/looper.mjs';

const catalogue = {
  totalResults: 3,
  contentDomain: 'http://127.0.0.1:1/content/',
  ytplayerUrl: 'about:blank#',
  items: [
    { date: '2025-01-10', lang: { en: { title: 'Older set', image: '', description: 'old', text: '', caption: [] }, ja: { title: '古いセット' } } },
    { date: '2026-03-02', lang: {
      en: { title: 'Newest set', image: '', description: 'Fresh loops', text: 'Three tracks', youtubeurl: 'v1', soundcloudurl: '',
        caption: [
          { no: 1, title: 'Groove one', description: 'ninety bpm', key: 'sets/new/Groove one.wav' },
          { title: 'Liner notes', description: 'no number, no download', key: '' },
          { no: 2, title: 'Groove two', description: 'a hundred bpm', key: 'sets/new/Groove two.wav' },
        ] },
      ja: { title: '最新セット', caption: [] } } },
    { date: '2025-07-01', lang: { en: { title: 'Middle set', caption: [] }, ja: { title: '中間' } } },
  ],
};

let server;
let t;
let skip = '';

before(async () => {
  // "No looper" holds for the whole flow: it runs in a mount namespace of its own, where
  // no other flow's looper volume is seen.
  let broken = false;
  server = await startCatalogueServer({
    '/catalogue.json': { type: 'application/json', body: () => Buffer.from(broken ? '{"items": [' : JSON.stringify(catalogue)) },
  });
  server.breakIt = () => { broken = true; };
  t = await openTarn({ prefs: { catalogueAddress: server.base + '/catalogue.json' } });
  await t.page.click('#catalogue-tab');
  if (!(await hasModule(t.page, '$$fs_separator')) || !(await hasModule(t.page, '$$http_cancel'))) skip = 'the fs and http modules are not in this build';
});

after(async () => {
  await t?.close();
  await server?.close();
});

test('the catalogue lists track sets newest first and shows the first one', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.waitForSelector('#set-list li', { timeout: 15000 });
  const titles = await page.$$eval('#set-list li', (items) => items.map((i) => i.textContent));
  assert.deepEqual(titles, ['Newest set', 'Middle set', 'Older set']);
  const detail = await page.textContent('#set-detail');
  assert.match(detail, /Fresh loops/);
  assert.match(detail, /Three tracks/);
  assert.equal(await page.$$eval('#set-detail iframe.video', (f) => f.length), 1);
  const rows = await page.$$eval('.set-track', (items) => items.map((i) => [i.querySelector('.name').textContent, !!i.querySelector('button.download')]));
  assert.deepEqual(rows, [['Groove one', true], ['Liner notes', false], ['Groove two', true]]);
  assert.equal(await page.$('#splash'), null, 'the splash is gone');
  const leftovers = await page.evaluate(() => {
    try { $native.fs.stat(Tarn.app.catalogueView.state.file); return true; } catch (e) { return false; }
  });
  assert.equal(leftovers, false, 'the downloaded catalogue file is removed');
});

test('Download without a looper asks to connect one', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.click('.set-track button.download');
  await page.waitForSelector('#connect-notice');
  assert.match(await page.textContent('#connect-notice'), /Connect your looper/);
  await page.click('#connect-notice button');
  await page.click('#set-list li:nth-child(3)');
  assert.match(await page.textContent('#set-detail'), /Older set/);
});

test('a broken catalogue offers Reload, which loads it again', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  server.breakIt();
  await page.click('#reload-button');
  await page.waitForSelector('#catalogue-error', { timeout: 15000 });
  assert.match(await page.textContent('#catalogue-error'), /Downloaded file is broken\./);
  assert.deepEqual(t.errors, []);
});
