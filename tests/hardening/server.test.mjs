// The loopback server against hostile local clients: bodies it must not read, connections
// it must close, the loopback names it answers to; and calls on files that would block.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { startHost, request, call, residentKiB, socketCount } from './lib/host.mjs';

let host;
// MIDI over JACK with a server name nobody runs: no MIDI system at all.
before(async () => { host = await startHost({ env: { TARN_MIDI_API: 'jack', JACK_DEFAULT_SERVER: `tarn-none-${process.pid}` } }); });
after(async () => { await host?.stop(); });

// Sends raw request head, then up to `bodyBytes` of body in 1 MiB pieces while the server
// keeps the connection; resolves with the first response line (or '') and the bytes sent.
function rawRequest(head, bodyBytes, { family = 4 } = {}) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: family === 6 ? '::1' : '127.0.0.1', port: host.port });
    let answer = '';
    let sent = 0;
    let finished = false;
    const piece = Buffer.alloc(1 << 20, 0x61);
    const done = (why) => { if (!finished) { finished = true; socket.destroy(); resolve({ answer, sent, why }); } };
    socket.on('data', (d) => { answer += d; if (answer.includes('\r\n\r\n')) setTimeout(() => done('answered'), 50); });
    socket.on('error', (e) => done(e.code));
    socket.on('close', () => done('closed'));
    socket.on('connect', () => {
      socket.write(head);
      const pump = () => {
        while (!finished && sent < bodyBytes) {
          sent += piece.length;
          if (!socket.write(piece)) { socket.once('drain', pump); return; }
        }
      };
      pump();
    });
    setTimeout(() => done('timeout'), 15000);
  });
}

const head = (headers) => `POST /native HTTP/1.1\r\nHost: 127.0.0.1:${host.port}\r\n${headers.join('\r\n')}\r\n\r\n`;

test('a body it must not take is refused from the headers, unread', async () => {
  const before = residentKiB(host.child.pid);
  // No token, 1.3 GB announced: answered and closed long before that much could be sent.
  const stranger = await rawRequest(head(['Content-Length: 1395864371', 'Content-Type: application/json']), 1395864371);
  assert.match(stranger.answer, /^HTTP\/1\.1 403/);
  assert.ok(stranger.sent < 256 << 20, `sent ${stranger.sent} bytes before the server gave up`);
  // With the token but over the limit: 413, just as unread.
  const large = await rawRequest(head([`X-Tarn-Token: ${host.token}`, 'Content-Length: 314572800', 'Content-Type: application/json']), 314572800);
  assert.match(large.answer, /^HTTP\/1\.1 413/);
  // A chunked body without the token is not read either.
  const chunked = await rawRequest(head(['Transfer-Encoding: chunked']), 64 << 20);
  assert.match(chunked.answer, /^HTTP\/1\.1 403/);
  const grown = residentKiB(host.child.pid) - before;
  assert.ok(grown < 32 * 1024, `resident size grew by ${grown} KiB`);
  // Small refused bodies still get an ordinary answer, and the bridge still works.
  assert.equal((await request(host, { body: '["$$app_clipboard","x"]' })).status, 403);
  assert.equal((await request(host, { body: '[]', headers: { 'X-Tarn-Token': host.token, 'Content-Type': 'multipart/form-data' } })).status, 415);
  assert.equal((await request(host, { method: 'GET', path: '/index.html', body: 'x', headers: { 'Content-Length': '1' } })).status, 413);
  assert.equal((await call(host, ['$$util_bytes', 'a'])).text, 's61');
  // A large legitimate call goes through: a 16 MiB argument.
  const big = 'x'.repeat(16 << 20);
  assert.equal((await call(host, ['$$util_bytes', big], { timeout: 20000 })).text.length, 1 + (32 << 20));
});

test('5,000 requests leave the descriptor count flat', { timeout: 120000 }, async () => {
  const pid = host.child.pid;
  const keepAlive = (i) => new Promise((resolve) => {
    // A keep-alive connection the client closes once it has its answer.
    const socket = net.connect({ host: '127.0.0.1', port: host.port }, () => {
      socket.write(i % 2 ? `GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:${host.port}\r\n\r\n`
        : head([`X-Tarn-Token: ${host.token}`, 'Content-Type: application/json', 'Content-Length: 24']) + '["$$util_bytes","abc"]  ');
    });
    socket.on('data', () => socket.end());
    socket.on('close', resolve);
    socket.on('error', resolve);
  });
  for (let i = 0; i < 100; i += 1) await keepAlive(i);
  await new Promise((r) => setTimeout(r, 300));
  const start = socketCount(pid);
  for (let i = 0; i < 5000; i += 10) {
    const batch = [];
    for (let j = 0; j < 10; j += 1) batch.push((i + j) % 3 ? keepAlive(i + j) : request(host, { method: 'GET', path: '/favicon.ico' }));
    await Promise.all(batch);
  }
  await new Promise((r) => setTimeout(r, 500));
  const end = socketCount(pid);
  console.log('sockets', JSON.stringify({ start, end }));
  assert.ok(end <= start + 5, `sockets went from ${start} to ${end}`);
  assert.equal((await call(host, ['$$util_bytes', 'a'])).text, 's61');
});

test('the loopback names are accepted, foreign ones refused; the logo is the favicon', async () => {
  const good = { 'X-Tarn-Token': host.token, 'Content-Type': 'application/json' };
  const body = '["$$util_bytes","a"]';
  assert.equal((await request(host, { headers: { ...good, Host: `localhost:${host.port}` }, body })).text, 's61');
  assert.equal((await request(host, { headers: { ...good, Host: `localhost:${host.port}`, Origin: `http://localhost:${host.port}` }, body })).text, 's61');
  for (const headers of [{ Host: `evil.example:${host.port}` }, { Host: 'localhost' }, { Host: `localhost:${host.port + 1}` },
    { Origin: 'http://evil.example' }, { Origin: `http://localhost:${host.port}` }, { Host: `localhost:${host.port}`, Origin: `http://127.0.0.1:${host.port}` }])
    assert.equal((await request(host, { headers: { ...good, ...headers }, body })).status, 403, JSON.stringify(headers));
  // [::1] only where the server listens there.
  const v6 = await rawRequest(`GET /index.html HTTP/1.1\r\nHost: [::1]:${host.port}\r\nConnection: close\r\n\r\n`, 0, { family: 6 });
  if (v6.answer) assert.match(v6.answer, /^HTTP\/1\.1 200/);
  const icon = await request(host, { method: 'GET', path: '/favicon.ico' });
  assert.equal(icon.status, 200);
  assert.equal(icon.headers['content-type'], 'image/svg+xml');
  assert.match(icon.text, /<svg/);
});

test('files that would block and counts that would exhaust answer at once with errors', async () => {
  const fifo = join(host.home.root, 'pipe');
  execFileSync('mkfifo', [fifo]);
  const calls = [
    ['$$fs_readString', fifo], ['$$fs_readData', fifo], ['$$fs_readData', fifo, '{"offset":0,"length":16}'],
    ['$$fs_writeString', fifo, 'x'], ['$$fs_appendData', fifo, '00'], ['$$fs_copy', fifo, join(host.home.root, 'copy')],
    ['$$fs_readString', '/dev/zero'], ['$$midix_client', '2147483647'],
  ];
  for (const args of calls) {
    const answer = await call(host, args, { timeout: 2000 });
    assert.ok(answer.ms < 1000, `${args.join(' ')} took ${answer.ms} ms`);
    assert.match(answer.text ?? answer.error, /^e/, args.join(' '));
  }
  // A count below one asks for no client: nothing to refuse, nothing made.
  const none = await call(host, ['$$midix_client', '-1'], { timeout: 2000 });
  assert.equal(none.text, 'v');
  for (const args of [['$$audio_format', fifo], ['$$player_open', fifo], ['$$audio_format', '/dev/zero']]) {
    const answer = await call(host, args, { timeout: 2000 });
    assert.ok(answer.ms < 1000, `${args.join(' ')} took ${answer.ms} ms`);
    // audio_format's error result is its record with the format "error"; player_open's a false.
    assert.match(answer.text ?? answer.error, /^(e|b$|s.*"format":"error")/, `${args.join(' ')} gave ${answer.text}`);
  }
  assert.equal((await call(host, ['$$midix_client', '16'])).text, 'v');
});

test('the MIDI system stays quiet on stderr without a server', async () => {
  // No ALSA sequencer here and no JACK server: every list is empty, nothing is printed.
  assert.equal((await call(host, ['$$midi_inendpoints'])).text, 's[]');
  assert.equal((await call(host, ['$$midix_outendpoints'])).text, 's[]');
  await new Promise((r) => setTimeout(r, 1500));  // a device poll or two
  assert.equal(host.stderr(), '');
});
