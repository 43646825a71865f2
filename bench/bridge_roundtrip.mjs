// Round trip of one bridge call through the loopback HTTP transport, measured from
// headless Chromium against the real headless host; then, against the same host, from
// a plain HTTP client on one kept-alive connection and with a new connection per call
// (what the transport itself costs, without the browser's own process hops).
// Prints median and p99 in ms.
//   node bench/bridge_roundtrip.mjs [calls]
// Needs tests/e2e's node_modules (scripts/test.sh installs them) and build/tarn.
import http from 'node:http';
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
} finally {
  await browser.close();
  await tarn.stop();
}
