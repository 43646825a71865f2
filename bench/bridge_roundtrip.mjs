// Round trip of one bridge call through the loopback HTTP transport, measured from
// headless Chromium against the real headless host; then, against the same host, from
// a plain HTTP client on one kept-alive connection and with a new connection per call
// (what the transport itself costs, without the browser's own process hops), and from a
// bare socket that writes a ready request and reads the answer (the host's own share).
// Prints median and p99 in ms.
//   node bench/bridge_roundtrip.mjs [calls]
// Needs tests/e2e's node_modules (scripts/test.sh installs them) and build/tarn.
import http from 'node:http';
import net from 'node:net';
import { startTarn, launchBrowser } from '../tests/e2e/lib/tarn.mjs';

const calls = Number(process.argv[2] || 2000);
const tarn = await startTarn();
const browser = await launchBrowser();
const summary = (times) => {
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  return `median ${at(0.5).toFixed(3)} ms, p99 ${at(0.99).toFixed(3)} ms`;
};

function clientTimes(agent, n) {
  const body = '["$$util_bytes","abc"]';
  const one = () => new Promise((resolve, reject) => {
    const request = http.request({
      host: '127.0.0.1', port: tarn.port, path: '/native', method: 'POST', agent,
      headers: { 'X-Tarn-Token': tarn.token, 'Content-Type': 'application/json', 'Content-Length': body.length },
    }, (response) => { response.resume(); response.on('end', resolve); });
    request.on('error', reject);
    request.end(body);
  });
  return (async () => {
    const times = [];
    for (let i = 0; i < n; i++) {
      const t0 = performance.now();
      await one();
      times.push(performance.now() - t0);
    }
    return times;
  })();
}

// The same call over one bare socket: no HTTP library on the client side, so what is
// left is the loopback hop and the host's own work.
async function socketTimes(n) {
  const body = '["$$util_bytes","abc"]';
  const request = Buffer.from(`POST /native HTTP/1.1\r\nHost: 127.0.0.1:${tarn.port}\r\nX-Tarn-Token: ${tarn.token}\r\n` +
    `Content-Type: application/json\r\nContent-Length: ${body.length}\r\n\r\n${body}`);
  const socket = net.connect(tarn.port, '127.0.0.1');
  socket.setNoDelay(true);
  await new Promise((resolve, reject) => { socket.once('connect', resolve); socket.once('error', reject); });
  let pending = null;
  let received = Buffer.alloc(0);
  socket.on('data', (chunk) => {
    received = Buffer.concat([received, chunk]);
    const end = received.indexOf('\r\n\r\n');
    if (end < 0) return;
    const length = Number((/content-length: *(\d+)/i.exec(received.subarray(0, end).toString()) || [])[1] || 0);
    if (received.length < end + 4 + length) return;
    received = received.subarray(end + 4 + length);
    pending();
  });
  const times = [];
  for (let i = 0; i < n + 50; i++) {
    const t0 = performance.now();
    await new Promise((resolve) => { pending = resolve; socket.write(request); });
    if (i >= 50) times.push(performance.now() - t0);
  }
  socket.destroy();
  return times;
}

try {
  const page = await browser.newPage();
  await page.goto(tarn.address);
  const times = await page.evaluate((n) => {
    for (let i = 0; i < 50; i++) $native.util.bytes('warm');
    const out = [];
    for (let i = 0; i < n; i++) {
      const t0 = performance.now();
      $native.util.bytes('abc');
      out.push(performance.now() - t0);
    }
    return out;
  }, calls);
  console.log(`bridge round trip over HTTP (${calls} calls): ${summary(times)}`);
  const kept = new http.Agent({ keepAlive: true, maxSockets: 1 });
  const fresh = new http.Agent({ keepAlive: false });
  console.log(`plain client, one kept-alive connection: ${summary(await clientTimes(kept, calls))}`);
  console.log(`plain client, a new connection per call: ${summary(await clientTimes(fresh, calls))}`);
  kept.destroy();
  console.log(`bare socket, one connection: ${summary(await socketTimes(calls))}`);
} finally {
  await browser.close();
  await tarn.stop();
}
