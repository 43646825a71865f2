// The catalogue pane against a server on 127.0.0.1 that sends what no catalogue should:
// markup and script in its texts and addresses, text that is not JSON, a document too
// large or with too many sets, a body that stalls or dribbles, a redirect to a file.
// Each ends in a plain message (or plain text), within bounded time.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { openTarn, hasModule } from '../lib/page.mjs';

let server, base, t;
let skip = '';
let answer = () => {};

before(async () => {
  server = http.createServer((req, res) => answer(req, res));
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  base = `http://127.0.0.1:${server.address().port}`;
  answer = (req, res) => { res.writeHead(200, { 'Content-Type': 'application/json' }); res.end('{"items":[]}'); };
  t = await openTarn({ prefs: { catalogueAddress: base + '/tracksets.json' } });
  await t.page.click('#catalogue-tab');
  if (!(await hasModule(t.page, '$$http_cancel'))) skip = 'the http module is not in this build';
});

after(async () => {
  await t?.close();
  server?.closeAllConnections?.();
  await new Promise((r) => server?.close(r));
});

function serve(body, type = 'application/json') {
  answer = (req, res) => { res.writeHead(200, { 'Content-Type': type, 'Content-Length': Buffer.byteLength(body) }); res.end(body); };
}

// Loads the catalogue again; the failure's text (or '' once sets are listed).
async function reload(page, timeout = 20000) {
  // The last answer's text goes first, so that only this one's is waited for.
  await page.evaluate(() => { document.getElementById('catalogue').textContent = ''; Tarn.app.catalogueView.load(); });
  await page.waitForSelector('#catalogue-error, #set-list', { timeout });
  const error = await page.$('#catalogue-error p');
  return error ? error.textContent() : '';
}

test('markup and script in a catalogue stay text; players and images come only from the web', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  serve(JSON.stringify({
    contentDomain: base + '/content/', ytplayerUrl: 'javascript:window.__hostile=1;//',
    items: [{ date: '2026-01-01', lang: { en: {
      title: '<img src=x onerror="window.__hostile=2">Set', description: '<script>window.__hostile=3</script>',
      image: 'file:///etc/passwd', youtubeurl: 'v', soundcloudurl: 'javascript:window.__hostile=4',
      caption: [{ no: 1, title: '<b>bold</b>', key: '../../escape.wav' }],
    } } }],
  }));
  assert.equal(await reload(page), '');
  assert.equal(await page.textContent('#set-list li'), '<img src=x onerror="window.__hostile=2">Set');
  assert.match(await page.textContent('#set-detail'), /<script>window.__hostile=3<\/script>/);
  assert.equal(await page.$$eval('#catalogue iframe, #catalogue img', (list) => list.length), 0);
  assert.equal(await page.evaluate(() => window.__hostile), undefined);
});

test('a document that is not JSON, too large or with a million sets gets a plain message', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  serve('<html><body>Not here</body></html>', 'text/html');
  assert.equal(await reload(page), 'Downloaded file is broken.');
  serve('{"items":[' + '{},'.repeat(1000000) + '{}]}');
  assert.match(await reload(page), /too many track sets/);
  serve(' '.repeat(9 * 1024 * 1024) + '{"items":[]}');
  assert.match(await reload(page), /too large \(over 8 MB\)/);
});

test('a body that stalls or dribbles, or a redirect to a file, ends as a connection failure', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const timers = [];
  answer = (req, res) => { res.writeHead(200, { 'Content-Length': 1000 }); res.write('{"items":['); };
  assert.match(await reload(page, 40000), /could not be reached/);
  answer = (req, res) => {
    res.writeHead(200, { 'Content-Length': 100000 });
    const drip = setInterval(() => res.write(' '), 1000);
    timers.push(drip);
    res.on('close', () => clearInterval(drip));
  };
  assert.match(await reload(page, 40000), /could not be reached/);
  timers.forEach(clearInterval);
  answer = (req, res) => { res.writeHead(302, { Location: 'file:///etc/passwd' }); res.end(); };
  assert.match(await reload(page), /could not be reached/);
});
