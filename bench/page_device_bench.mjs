// How long the page's device work takes through the real headless host: one device
// check (volume scan and recognition), reading a 6 x 99 track table, and importing a
// three-minute mp3 onto a looper volume. Needs root (the looper volume) and a built tarn.
//   tests/e2e/support/private-mounts.sh node bench/page_device_bench.mjs   (TARN_BIN=... to pick the binary)
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { openTarn, waitUsable } = await import(join(e2e, 'page.mjs'));
const { mountVolume, makeAudio, scratchFolder } = await import(join(e2e, 'looper.mjs'));

const scratch = scratchFolder();
const volume = mountVolume('Eddy Six', { label: '', size: 160 });
const t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' } });
try {
  const { page } = t;
  // Without MIDI the Eddy Six volume is not usable; the layout is what matters here.
  const results = await page.evaluate(async (mount) => {
    const measure = (fn, runs) => {
      const start = performance.now();
      for (let i = 0; i < runs; i++) fn();
      return (performance.now() - start) / runs;
    };
    const row = Tarn.models.compatibleInstruments.find((r) => r.name === 'Eddy Six');
    return {
      check: measure(() => Tarn.app.device.check(), 20),
      table: measure(() => Tarn.tracks.readTable(Tarn.app.files, mount, row), 5),
      storage: measure(() => Tarn.tracks.storageCheck(Tarn.app.files, mount, row), 20),
    };
  }, volume.mount);
  const source = makeAudio(join(scratch.folder, 'long.mp3'), 180, { codec: ['-b:a', '192k'] });
  const importMs = await page.evaluate(async ({ source, destination }) => {
    const wave = Tarn.models.compatibleInstruments[0].wave;
    const start = performance.now();
    const outcome = await new Promise((r) => Tarn.app.jobs.importFile(source, destination, wave, r));
    if (!outcome.success) throw new Error('import failed');
    return performance.now() - start;
  }, { source, destination: join(volume.track(1, 1), 'long.wav') });
  console.log(`device check (scan + recognition):   ${results.check.toFixed(1)} ms`);
  console.log(`storage check, 6 x 99 folders:       ${results.storage.toFixed(1)} ms`);
  console.log(`track table, 6 x 99 folders:         ${results.table.toFixed(1)} ms`);
  console.log(`import of a 180 s mp3 (float track): ${(importMs / 1000).toFixed(2)} s`);
} finally {
  await t.close();
  volume.cleanup();
  scratch.cleanup();
}
