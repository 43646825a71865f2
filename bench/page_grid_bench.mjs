// Grid shown after usable: on an Eddy Six whose 594 tracks all hold a short take, how
// long from the looper becoming usable until the main view shows its whole grid, and
// until the visible cells show their lengths. Through the real headless host and
// looper-sim; two plug-ins, unplugged in between.
// Needs root; runs in a private mount namespace:
//   tests/e2e/support/private-mounts.sh node bench/page_grid_bench.mjs
import { join, resolve, dirname } from 'node:path';
import { readFileSync, writeFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { openTarn, waitUsable } = await import(join(e2e, 'page.mjs'));
const { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, makeAudio, scratchFolder } =
  await import(join(e2e, 'looper.mjs'));

const why = volumesUnavailable() || (canRunMidi() ? '' : 'looper-sim or jackd is missing');
if (why) { console.log('skipped: ' + why); process.exit(0); }

const ROUNDS = 2;
const scratch = scratchFolder();
const take = makeAudio(join(scratch.folder, 'take.wav'), 0.1, { codec: ['-c:a', 'pcm_f32le'] });
const jack = await startJack();
const t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: jack.env });
const shown = [];
const lengths = [];
const fromTable = [];
try {
  const { page } = t;
  for (let round = 0; round < ROUNDS; round++) {
    // The time is taken in the page: from the status turning usable to the grid's paint.
    await page.evaluate(() => {
      window.benchUsable = 0;
      window.benchTable = 0;
      Tarn.app.g.observer.append('tracks_changed', 'bench', () => {
        if (!window.benchTable && Tarn.app.trackStore.table) window.benchTable = performance.now();
      });
      const status = document.getElementById('device-status');
      new MutationObserver(() => {
        if (!window.benchUsable && status.dataset.usable === '1') window.benchUsable = performance.now();
      }).observe(status, { attributes: true });
    });
    const volume = mountVolume('Eddy Six', { size: 64 });
    // Written, not copied: the FUSE filesystem has no copy_file_range.
    const bytes = readFileSync(take);
    for (let m = 1; m <= 99; m++) for (let k = 1; k <= 6; k++) writeFileSync(join(volume.track(m, k), `Take ${m}-${k}.wav`), bytes);
    const sim = await startLooperSim(jack, 'EDDY SIX', '0000000073', []);
    await page.waitForFunction(() => window.benchUsable > 0 &&
      document.querySelectorAll('#track-grid [role="gridcell"]').length === 594, null, { timeout: 240000, polling: 'raf' })
      .catch(async (e) => {
        const seen = await page.evaluate(() => [document.getElementById('device-status').textContent, window.benchUsable,
          document.querySelectorAll('#track-grid [role="gridcell"]').length, document.getElementById('looper-view').dataset.state]);
        throw new Error(e.message + ' (seen: ' + seen.join(' | ') + ')');
      });
    const painted = await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => r(performance.now()))));
    shown.push(painted - await page.evaluate(() => window.benchUsable));
    fromTable.push(painted - await page.evaluate(() => window.benchTable));
    await page.waitForFunction(() => /0:00\.100/.test(document.querySelector('#track-grid [data-index="0"]').getAttribute('aria-label')),
      null, { timeout: 60000, polling: 'raf' });
    lengths.push(await page.evaluate(() => performance.now() - window.benchUsable));
    await sim.stop();
    volume.cleanup();
    await waitUsable(page, false);
    await page.waitForFunction(() => document.getElementById('device-status').dataset.phase === '0', null, { timeout: 30000 });
  }
} finally {
  await t.close();
  await jack.stop();
  scratch.cleanup();
}
const median = (list) => list.slice().sort((a, b) => a - b)[Math.floor(list.length / 2)];
const fmt = (ms) => Math.round(ms) + ' ms';
console.log(`grid shown after usable (Eddy Six, 594 used tracks, ${ROUNDS} runs): median ${fmt(median(shown))}, ` +
  `best ${fmt(Math.min(...shown))}, worst ${fmt(Math.max(...shown))}`);
console.log(`  of which the grid itself (track table read -> grid painted): median ${fmt(median(fromTable))}, ` +
  `worst ${fmt(Math.max(...fromTable))}`);
console.log(`  first cell's length shown: median ${fmt(median(lengths))}`);
