// The headless transport keeps a connection between bridge calls, and lets it go as soon
// as the client closes its end (a connection left half-open would hold a descriptor).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import { startTarn } from './lib/tarn.mjs';

let tarn;
before(async () => { tarn = await startTarn(); });
after(async () => { await tarn?.stop(); });

function callText(args) {
  const body = JSON.stringify(args);
  return `POST /native HTTP/1.1\r\nHost: 127.0.0.1:${tarn.port}\r\nX-Tarn-Token: ${tarn.token}\r\n` +
    `Content-Type: application/json\r\nContent-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
}

// A raw connection that collects complete responses (head and Content-Length body).
function connection() {
  const socket = net.connect({ host: '127.0.0.1', port: tarn.port });
  let buffered = Buffer.alloc(0);
  const answers = [];
  const waiting = [];
  socket.on('data', (data) => {
    buffered = Buffer.concat([buffered, data]);
    for (;;) {
      const end = buffered.indexOf('\r\n\r\n');
      if (end < 0) return;
      const head = buffered.subarray(0, end).toString();
      const length = Number(/content-length: *(\d+)/i.exec(head)?.[1] || 0);
      if (buffered.length < end + 4 + length) return;
      answers.push({ head, body: buffered.subarray(end + 4, end + 4 + length).toString() });
      buffered = buffered.subarray(end + 4 + length);
      while (waiting.length && waiting[0].count <= answers.length) waiting.shift().resolve();
    }
  });
  const closed = new Promise((resolve) => socket.on('close', resolve));
  const connected = new Promise((resolve, reject) => { socket.on('connect', resolve); socket.on('error', reject); });
  return {
    socket, answers, closed, connected,
    // Resolves once count answers are in, or when the server closes the connection first.
    until: (count) => new Promise((resolve) => {
      if (answers.length >= count) resolve();
      else { waiting.push({ count, resolve }); closed.then(resolve); }
    }),
  };
}

test('calls one after another, and pipelined, share one connection', async () => {
  const c = connection();
  await c.connected;
  c.socket.write(callText(['$$util_bytes', 'a']));
  await c.until(1);
  c.socket.write(callText(['$$util_bytes', 'b']));
  await c.until(2);
  c.socket.write(callText(['$$util_bytes', 'c']) + callText(['$$util_text', '64']));
  await c.until(4);
  assert.deepEqual(c.answers.map((a) => a.body), ['s61', 's62', 's63', 'sd']);
  for (const answer of c.answers) assert.doesNotMatch(answer.head, /connection: *close/i);
  c.socket.destroy();
});

test('the server closes its side once the client has closed an idle connection', async () => {
  const c = connection();
  await c.connected;
  c.socket.write(callText(['$$util_bytes', 'a']));
  await c.until(1);
  c.socket.end();  // half-close: 'close' comes only when the server closes too
  let timer;
  const outcome = await Promise.race([
    c.closed.then(() => 'closed'),
    new Promise((resolve) => { timer = setTimeout(() => resolve('still open'), 20000); }),
  ]);
  clearTimeout(timer);
  assert.equal(outcome, 'closed');
  c.socket.destroy();
});
