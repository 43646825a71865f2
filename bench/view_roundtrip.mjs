// The bridge inside the real window: round trip of one call from the page through the
// tarn:// scheme (median, p99), and the time from process start to the page's first
// bridge call; then the loopback HTTP transport's round trip for comparison.
//   node bench/view_roundtrip.mjs [calls] [starts]
// Needs build/tarn, Xvfb; the HTTP figure needs tests/e2e's node_modules.
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { startXvfb, makeHome, startTarn, waitFor } from '../tests/shell/lib/xsession.mjs';

const calls = Number(process.argv[2] || 2000);
const starts = Number(process.argv[3] || 5);
const here = dirname(fileURLToPath(import.meta.url));

const x = await startXvfb();
const home = makeHome();
const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
try {
  const startups = [];
  let times = null;
  for (let i = 0; i < starts; i++) {
    const t0 = Date.now();
    const tarn = startTarn(x, home, { page: 'test/bench.html?calls=' + (i === 0 ? calls : 1) });
    const result = await waitFor('the bench page', () => home.pref('bench') && JSON.parse(home.pref('bench')), 120000);
    startups.push(result.first - t0);
    if (i === 0) times = result.times.sort((a, b) => a - b);
    await tarn.stop();
    await tarn.exited;
    // Each start writes the result afresh.
    (await import('node:fs')).rmSync(resolve(home.appData, 'pref', 'bench'), { force: true });
  }
  const mean = times.reduce((a, b) => a + b, 0) / times.length;
  console.log(`bridge round trip in the window, tarn:// scheme (${calls} calls, timed in batches of 10): ` +
              `median ${quantile(times, 0.5).toFixed(3)} ms, p99 ${quantile(times, 0.99).toFixed(3)} ms, ` +
              `mean ${mean.toFixed(3)} ms`);
  const warm = startups.slice(1).sort((a, b) => a - b);
  console.log(`process start to first bridge call: first start (unpacks the page) ${startups[0]} ms` +
              (warm.length ? `, later starts median ${quantile(warm, 0.5)} ms (of ${warm.length})` : ''));
} finally {
  home.cleanup();
  await x.stop();
}

if (existsSync(resolve(here, '../tests/e2e/node_modules'))) {
  const http = spawnSync(process.execPath, [resolve(here, 'bridge_roundtrip.mjs'), String(calls)], { encoding: 'utf8' });
  process.stdout.write(http.stdout || http.stderr);
} else {
  console.log('(HTTP transport figure: install tests/e2e node_modules and run bench/bridge_roundtrip.mjs)');
}
