// Plug-in to usable: how long a MIDI looper takes from appearing (its MIDI ports and its
// FAT32 volume) until the page has it in edit mode with its tracks read, through the real
// headless host and looper-sim. Five plug-ins, unplugged in between.
// Needs root; runs in a private mount namespace:
//   tests/e2e/support/private-mounts.sh node bench/page_plugin_bench.mjs
// (TARN_BIN=... and LOOPER_SIM=... pick the binaries.)
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { openTarn, waitUsable } = await import(join(e2e, 'page.mjs'));
const { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim } = await import(join(e2e, 'looper.mjs'));

const why = volumesUnavailable() || (canRunMidi() ? '' : 'looper-sim or jackd is missing');
if (why) { console.log('skipped: ' + why); process.exit(0); }

const ROUNDS = 5;
const jack = await startJack();
const t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: jack.env });
const times = [];
const made = [];
const usableAt = [];
try {
  const { page } = t;
  for (let round = 0; round < ROUNDS; round++) {
    // The image is made first; plugging in is its mount and the device's ports appearing.
    const sim = await startLooperSim(jack, 'EDDY DUO', '00000072', ['--busy-ms', '100']);
    const start = Date.now();
    const volume = mountVolume('Eddy Duo');
    made.push(Date.now() - start);
    await page.waitForFunction(() => document.getElementById('device-status').dataset.usable === '1',
      null, { timeout: 30000, polling: 10 });
    usableAt.push(Date.now() - start);
    await page.waitForFunction(() => Tarn.app.trackStore.table !== null, null, { timeout: 30000, polling: 10 });
    times.push(Date.now() - start);
    await sim.stop();
    volume.cleanup();
    await waitUsable(page, false);
    // The next device's ports must be seen as new ones (and put into edit mode afresh):
    // wait until the page has let these go.
    await page.waitForFunction(() => document.getElementById('device-status').dataset.phase === '0', null,
      { timeout: 30000, polling: 10 });
  }
} finally {
  await t.close();
  await jack.stop();
}
times.sort((a, b) => a - b);
made.sort((a, b) => a - b);
usableAt.sort((a, b) => a - b);
console.log(`plug-in to usable (Eddy Duo, ${ROUNDS} runs; buttons on: edit mode on, storage checked): ` +
  `median ${usableAt[Math.floor(ROUNDS / 2)]} ms, best ${usableAt[0]} ms, worst ${usableAt[ROUNDS - 1]} ms`);
// The track table is read in the background once the looper is usable.
console.log(`  track table read as well: median ${times[Math.floor(ROUNDS / 2)]} ms, ` +
  `best ${times[0]} ms, worst ${times[ROUNDS - 1]} ms`);
console.log(`  of which making and mounting the test volume: median ${made[Math.floor(ROUNDS / 2)]} ms`);
