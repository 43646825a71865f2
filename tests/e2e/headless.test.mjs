import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { startTarn, launchBrowser, waitFor } from './lib/tarn.mjs';

let tarn;
let browser;
let page;

before(async () => {
  tarn = await startTarn({ args: ['a.wav', 'b c.wav', '-url', 'x:y'] });
  browser = await launchBrowser();
  page = await browser.newPage();
  // A bare page of the same origin with only the bridge library: the application's own
  // page would start event delivery and take the command events itself.
  await page.route('**/index.html*', (route) => route.fulfill({
    contentType: 'text/html', body: '<!DOCTYPE html><script src="js/lib/native.js"></script>',
  }));
  await page.goto(tarn.address);
});

after(async () => {
  await browser?.close();
  await tarn?.stop();
});

// One raw HTTP request to the bridge, with full control over the headers.
function rawCall(headers, body = '["$$app_clipboard","changed"]') {
  return new Promise((resolve, reject) => {
    const request = http.request({ host: '127.0.0.1', port: tarn.port, path: '/native', method: 'POST', headers },
      (response) => {
        let text = '';
        response.on('data', (d) => { text += d; });
        response.on('end', () => resolve({ status: response.statusCode, text, headers: response.headers }));
      });
    request.on('error', reject);
    request.end(body);
  });
}

function rawGet(path) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port: tarn.port, path, headers: { Host: `127.0.0.1:${tarn.port}` } }, (response) => {
      response.resume();
      response.on('end', () => resolve({ status: response.statusCode }));
    }).on('error', reject);
  });
}

test('the page calls util, trnUtil and app and decodes every tag', async () => {
  const values = await page.evaluate(() => ({
    bytes: $native.util.bytes('abc'),
    text: $native.call('$$util_text', '616263'),
    cut: $native.util.text('610062'),
    ext: $native.call('$$trnUtil_trnLttcVer'),
    unknown: $native.call('$$trnDevice_orientation'),
    started: $native.call('$$app_startevent'),
    version: JSON.parse($native.app.version()),
    device: JSON.parse($native.app.device()),
    storage: $native.app.storage(),
    storageSet: $native.app.storage('{"k":1}'),
    storageGet: $native.app.storage(),
    drop: $native.app.dropfiles(),
    error: (() => { try { $native.app.locate(); return 'no error'; } catch (e) { return e.message; } })(),
  }));
  assert.equal(values.bytes, '616263');
  assert.equal(values.text, 'abc');
  assert.equal(values.cut, 'a');
  assert.equal(values.ext, '2.1.0');
  assert.equal(values.unknown, undefined);
  assert.equal(values.started, true);
  assert.match(values.version.name, /^\d+\.\d+\.\d+\.\d+$/);
  assert.equal(typeof values.version.code, 'number');
  assert.match(values.device.os, /^Linux /);
  assert.match(values.device.id, /^[0-9a-f-]{36}$/);
  assert.equal(values.storage, '');
  assert.equal(values.storageSet, undefined);
  assert.equal(values.storageGet, '{"k":1}');
  assert.equal(values.drop, '[]');
  assert.equal(values.error, 'system exception');
});

test('command-line events wait for start() and then arrive in order', async () => {
  await page.evaluate(() => {
    window.received = [];
    $native.app.event.command = function (verb, arg) { window.received.push([verb, arg]); };
  });
  await new Promise((r) => setTimeout(r, 200));
  assert.deepEqual(await page.evaluate(() => window.received), []);
  await page.evaluate(() => window.$event.start());
  const received = await waitFor(async () => {
    const r = await page.evaluate(() => window.received);
    return r.length >= 3 && r;
  }, { what: 'command events' });
  assert.deepEqual(received, [['open', 'a.wav'], ['open', 'b c.wav'], ['url', 'x:y']]);
});

test('the transport refuses calls without the right token, Host or Origin', async () => {
  const host = `127.0.0.1:${tarn.port}`;
  const good = { Host: host, 'X-Tarn-Token': tarn.token, 'Content-Type': 'application/json' };
  const attempts = [
    { Host: host },
    { Host: host, 'X-Tarn-Token': 'A'.repeat(64) },
    { Host: host, 'X-Tarn-Token': tarn.token.slice(0, -1) },
    { ...good, Host: `evil.example:${tarn.port}` },
    { ...good, Origin: 'http://evil.example' },
    { ...good, Origin: `http://localhost:${tarn.port}` },
  ];
  for (const headers of attempts) {
    const answer = await rawCall(headers);
    assert.equal(answer.status, 403, JSON.stringify(headers));
    assert.equal(answer.headers['access-control-allow-origin'], undefined);
  }
  // Nothing ran: the clipboard still holds what the page left there.
  assert.equal((await rawCall(good, '["$$app_clipboard"]')).text, 's');
  // A file outside the page folder is never served, and malformed calls are refused.
  for (const path of ['/..%2f..%2fconfig/Corvane/settings.json', '/../../config/Corvane/settings.json', '/%2e%2e/v1.zip']) {
    const answer = await rawGet(path);
    assert.ok([400, 404].includes(answer.status), path + ' gave ' + answer.status);
  }
  assert.equal((await rawCall(good, '["$$app_clipboard", 3]')).status, 400);
  assert.equal((await rawCall(good, 'not json')).status, 400);
  assert.equal((await rawCall({ ...good, Origin: tarn.origin }, '["$$util_bytes","a"]')).text, 's61');
});

test('a page from another origin cannot reach the bridge', async () => {
  const other = await browser.newPage();
  await other.goto('about:blank');
  const outcome = await other.evaluate(async (url) => {
    try {
      const r = await fetch(url, { method: 'POST', body: '["$$app_clipboard","stolen"]', headers: { 'X-Tarn-Token': 'x' } });
      return String(r.status);
    } catch (e) { return 'blocked'; }
  }, `${tarn.origin}/native`);
  assert.notEqual(outcome, '200');
  await other.close();
  assert.equal(await page.evaluate(() => $native.app.clipboard()), '');
});

test('exit ends the process', async () => {
  await page.evaluate(() => $native.app.exit());
  const { code } = await tarn.exited;
  assert.equal(code, 0);
  assert.equal(existsSync(join(tarn.home.env.XDG_DATA_HOME, 'Corvane', 'tarn', 'html', 'index.html')), true);
});
