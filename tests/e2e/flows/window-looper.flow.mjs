// The real window (WebKitGTK under Xvfb) with a looper plugged in, driven only as a person
// and the desktop drive it: an "Open With" start hands a file to the running window,
// which imports it with one key; files dragged from another program onto the track grid
// go onto the looper; the toolbar at a narrow and a full-width window (screenshots for the
// eye: every action is in the bar or under More).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, statSync, mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, makeAudio, scratchFolder } from '../lib/looper.mjs';
import {
  startXvfb, makeHome, startTarn, tarnBinary, waitFor, windowsNamed, windowGeometry, screenshot, sleep, xdotool, dragFiles,
} from '../../shell/lib/xsession.mjs';

const output = process.env.TARN_E2E_OUTPUT;
if (output) mkdirSync(output, { recursive: true });
let skip = volumesUnavailable() || (canRunMidi() ? '' : 'looper-sim or jackd is missing');
let x, jack, volume, sim, scratch, home, tarn, id;

// Every take on the volume, as "memory_track/name".
function takes() {
  const found = [];
  for (const folder of readdirSync(volume.wave)) {
    for (const name of readdirSync(join(volume.wave, folder))) if (!name.startsWith('.')) found.push(folder + '/' + name);
  }
  return found.sort();
}

before(async () => {
  if (skip) return;
  x = await startXvfb('1920x1080');
  jack = await startJack();
  volume = mountVolume('Eddy Duo');
  scratch = scratchFolder();
  home = makeHome();
  // The terms were agreed to for this build before.
  const pref = join(home.appData, 'pref');
  mkdirSync(pref, { recursive: true });
  writeFileSync(join(pref, 'appInstalledDate'), statSync(tarnBinary).birthtime.toISOString());
  writeFileSync(join(pref, 'catalogueAddress'), 'http://127.0.0.1:9/none.json');
  tarn = startTarn(x, home, { env: jack.env });
  [id] = await waitFor('the Tarn window', () => windowsNamed(x, 'Tarn').length && windowsNamed(x, 'Tarn'));
  sim = await startLooperSim(jack, 'EDDY DUO', '00000072');
  await waitFor('edit mode', () => sim.modes().includes(1), 60000).catch((e) => {
    if (output) screenshot(x, id, join(output, 'window-looper-failed.png'));
    throw new Error(e.message + '\n' + tarn.output() + '\n' + sim.lines.slice(-5).join('\n'));
  });
});

after(async () => {
  await tarn?.stop();
  await sim?.stop();
  await jack?.stop();
  volume?.cleanup();
  scratch?.cleanup();
  home?.cleanup();
  await x?.stop();
});

test('a file opened with Tarn while its window runs is imported with one key', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const take = makeAudio(join(scratch.folder, 'Open With.wav'), 1);
  const brightness = () => screenshot(x, id, join(scratch.folder, 'now.png')).mean;
  const before = brightness();
  const second = startTarn(x, home, { args: [take], env: jack.env });
  assert.equal((await second.exited).code, 0, second.output());
  // The Import dialog opens on its own (its backdrop darkens the window) with the first
  // empty track chosen and the list in focus: one Enter imports.
  await waitFor('the Import dialog', () => brightness() < before - 0.05, 60000, 500);
  // (No window manager here: the window gets the keyboard as a click would give it.)
  xdotool(x, 'windowfocus', '--sync', id);
  await sleep(300);
  xdotool(x, 'key', 'Return');
  await waitFor('the import', () => takes().length, 60000);
  assert.deepEqual(takes(), ['001_1/Open With.wav']);
});

test('files dragged from a file manager onto an empty cell of the grid go onto the looper', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const files = ['Drop A.wav', 'Drop B.wav'].map((name) => makeAudio(join(scratch.folder, name), 1));
  const g = windowGeometry(x, id);
  // The middle of the window lies on the grid, far below the first track.
  await dragFiles(x, files, g.x + Math.round(g.width / 2), g.y + Math.round(g.height / 2) + 60);
  await waitFor('the dropped takes', () => takes().length === 3, 60000);
  const dropped = takes().filter((t) => t.includes('Drop'));
  assert.equal(dropped.length, 2, takes().join(', '));
  assert.match(dropped[0], /\/Drop A\.wav$/);
  assert.match(dropped[1], /\/Drop B\.wav$/);
  assert.ok(tarn.running(), 'the dropped files did not replace the page');
});

test('the toolbar at a narrow and at a full-width window', async (ctx) => {
  if (skip || !output) { ctx.skip(skip || 'no output folder'); return; }
  await tarn.stop();
  for (const width of [620, 1920]) {
    // The window opens where the user left it.
    const settings = home.settings() || {};
    settings.applications = { ...settings.applications, tarn: { x: 0, y: 0, width, height: 700, maximized: 0 } };
    mkdirSync(join(home.root, 'config', 'Corvane'), { recursive: true });
    writeFileSync(join(home.root, 'config', 'Corvane', 'settings.json'), JSON.stringify(settings));
    tarn = startTarn(x, home, { env: jack.env });
    [id] = await waitFor('the Tarn window', () => windowsNamed(x, 'Tarn').length && windowsNamed(x, 'Tarn'));
    assert.equal(windowGeometry(x, id).width, width);
    const shot = await waitFor('a painted window', () => {
      const s = screenshot(x, id, join(output, `window-toolbar-${width}.png`));
      return s.colours > 50 ? s : null;
    }, 30000, 1000);
    ctx.diagnostic(`screenshot ${shot.file}: ${shot.colours} colours`);
    await tarn.stop();
  }
});
