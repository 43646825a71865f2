import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { readFileSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { startTarn, launchBrowser, waitFor } from './lib/tarn.mjs';

// The page downloads a catalogue track from a loopback server and gets its events,
// runs a command and hashes data, all through the real headless host.
const track = Buffer.alloc(1536 * 1024, 7);
let server;
let tarn;
let browser;
let page;

before(async () => {
  server = http.createServer((request, response) => {
    if (request.url !== '/track.wav') { response.writeHead(404).end(); return; }
    response.writeHead(200, { 'Content-Length': track.length }).end(track);
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  tarn = await startTarn({ env: { no_proxy: '127.0.0.1', NO_PROXY: '127.0.0.1' } });
  browser = await launchBrowser();
  page = await browser.newPage();
  await page.goto(tarn.address);
  await page.evaluate(() => {
    window.seen = [];
    const log = (name) => function (...args) { window.seen.push([name, ...args]); };
    $native.http.event.progress = log('progress');
    $native.http.event.completed = log('completed');
    $native.http.event.error = log('error');
    $native.sh.event.stdout = log('stdout');
    $event.start();
  });
});

after(async () => {
  await browser?.close();
  await tarn?.stop();
  server?.close();
});

test('a download reports progress and completion to the page, and a 404 an error', async () => {
  const target = join(tarn.home.root, 'track.wav');
  const base = `http://127.0.0.1:${server.address().port}`;
  const ids = await page.evaluate(([url, missing, path]) =>
    [$native.http.download(url, path), $native.http.download(missing, path + '.x')],
  [`${base}/track.wav`, `${base}/none`, target]);
  const seen = await waitFor(() => page.evaluate(() => window.seen.filter((e) => e[0] !== 'stdout')).then(
    (s) => (s.length >= 4 ? s : null)), { what: 'http events' });
  const id = String(ids[0]);
  assert.deepEqual(seen.filter((e) => e[1] === id), [
    ['progress', id, String(track.length), '1048576'],
    ['progress', id, String(track.length), String(track.length)],
    ['completed', id, target],
  ]);
  assert.deepEqual(seen.filter((e) => e[1] === String(ids[1])), [['error', String(ids[1]), `${base}/none`]]);
  assert.ok(readFileSync(target).equals(track));
  assert.equal(existsSync(target + '.x'), false);
});

test('sh output and security digests reach the page', async () => {
  const pid = await page.evaluate(() => $native.sh.exec(JSON.stringify(['printf', "'caf\\303\\251\\n'"])));
  const out = await waitFor(() => page.evaluate((p) => {
    const pieces = window.seen.filter((e) => e[0] === 'stdout' && e[1] === String(p));
    return pieces.length && pieces[pieces.length - 1][2] === '' ? pieces.map((e) => e[2]).join('') : null;
  }, pid), { what: 'sh output' });
  assert.equal(out, 'café\n');
  assert.equal(await page.evaluate(() => $native.security.md5('616263')), '900150983CD24FB0D6963F7D28E17F72');
  assert.equal(await page.evaluate(() => $native.security.decipher($native.security.encipher('ok'))), 'ok');
  await assert.rejects(page.evaluate(() => $native.sh.exec('[1]')), /system exception/);
});
