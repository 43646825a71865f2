// Round trip of one bridge call through the loopback HTTP transport, measured from
// headless Chromium against the real headless host. Prints median and p99 in ms.
//   node bench/bridge_roundtrip.mjs [calls]
// Needs tests/e2e's node_modules (scripts/test.sh installs them) and build/tarn.
import { startTarn, launchBrowser } from '../tests/e2e/lib/tarn.mjs';

const calls = Number(process.argv[2] || 2000);
const tarn = await startTarn();
const browser = await launchBrowser();
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
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  console.log(`bridge round trip over HTTP (${calls} calls): median ${at(0.5).toFixed(3)} ms, p99 ${at(0.99).toFixed(3)} ms`);
} finally {
  await browser.close();
  await tarn.stop();
}
