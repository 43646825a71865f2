// Makes the main view's screenshots in docs/screenshots, light and dark, at full width
// (1000 px) and at 620 px, with a Pool Five that holds a few tracks and a selection, and
// without a looper. Needs what the page flows need (root for the FAT32 volume, a built
// tarn, Chromium); run it in a mount namespace of its own:
//   tests/e2e/support/private-mounts.sh node tools/screenshots.mjs
import { mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { openTarn, waitUsable, waitFor } from '../tests/e2e/lib/page.mjs';
import { mountVolume, makeAudio, scratchFolder } from '../tests/e2e/lib/looper.mjs';

const out = join(dirname(fileURLToPath(import.meta.url)), '..', 'docs', 'screenshots');
const TRACKS = [[1, 1, 'Intro Groove'], [1, 2, 'Bass Line'], [1, 4, 'Verse Chords'], [2, 1, 'Hook'],
  [2, 3, 'Drums 96bpm'], [3, 5, 'Outro'], [5, 2, 'Pad']];
const SCHEMES = { light: '', dark: '-dark' };

const scratch = scratchFolder();
const volume = mountVolume('Pool Five');
let t;
try {
  for (const [memory, track, name] of TRACKS) {
    mkdirSync(volume.track(memory, track), { recursive: true });
    makeAudio(join(volume.track(memory, track), name + '.wav'), 4.25);
  }
  t = await openTarn();
  const { page } = t;
  await waitUsable(page);
  const cell = (m, k) => page.locator(`#track-grid [role="gridcell"][data-memory="${m}"][data-track="${k}"]`);
  // Every used cell shows its length before the picture is taken.
  await waitFor(() => page.evaluate((count) => Array.from(document.querySelectorAll('#track-grid [role="gridcell"]'))
    .filter((c) => /\d:\d\d\.\d{3}/.test(c.getAttribute('aria-label'))).length === count, TRACKS.length),
  { timeout: 60000, what: 'the lengths of the tracks' });
  await cell(1, 2).click();
  await cell(2, 2).click({ modifiers: ['Shift'] });
  // The pointer leaves the grid, so that no cell shows as hovered.
  await page.mouse.move(1, 1);
  await page.waitForTimeout(500);
  const shoot = async (name, width) => {
    await page.setViewportSize({ width, height: 700 });
    await page.waitForTimeout(300);
    for (const [scheme, suffix] of Object.entries(SCHEMES)) {
      await page.emulateMedia({ colorScheme: scheme });
      await page.waitForTimeout(300);
      await page.screenshot({ path: join(out, name + suffix + '.png') });
    }
  };
  await shoot('main-view', 1000);
  await shoot('main-view-620', 620);
  volume.cleanup();
  await waitUsable(page, false);
  await page.waitForSelector('#looper-none', { timeout: 30000 });
  await shoot('main-view-no-looper', 1000);
  console.log('screenshots written to ' + out);
} finally {
  await t?.close();
  volume.cleanup();
  scratch.cleanup();
}
