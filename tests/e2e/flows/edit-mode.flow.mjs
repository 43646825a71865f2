// The looper is never left in edit mode: one found in edit mode at start is taken over
// only after the user agrees; Disconnect without the disk service still leaves edit mode
// and says in plain words why the volume stays; Ctrl+C (SIGINT) leaves edit mode too.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openSync, closeSync } from 'node:fs';
import { openTarn, hasModule, waitFor, waitUsable, errorDetails } from '../lib/page.mjs';
import { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim } from '../lib/looper.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072' };

let jack, sim, volume, t;
let skip = '';

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  if (!canRunMidi()) { skip = 'looper-sim or jackd is missing'; return; }
  jack = await startJack();
  // Left in edit mode by an earlier run that died.
  sim = await startLooperSim(jack, MODEL.port, MODEL.id, ['--edit-mode', '1', '--busy-ms', '200']);
  volume = mountVolume(MODEL.name);
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    // No disk service: the system bus address leads nowhere.
    env: { ...jack.env, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/system_bus_socket' },
  });
  if (!(await hasModule(t.page, '$$midi_inendpoints'))) skip = 'the midi module is not in this build';
});

after(async () => {
  await t?.close();
  await sim?.stop();
  await jack?.stop();
  volume?.cleanup();
});

test('a looper found in edit mode is reported in plain words and taken over after confirming', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await page.waitForSelector('#takeover-dialog', { timeout: 20000 });
  assert.match(await page.textContent('#takeover-dialog .dialog-body'), /Eddy Duo is already in edit mode/);
  assert.match(await page.textContent('#device-status'), /in edit mode from an earlier session/);
  assert.equal(await page.isVisible('#takeover-button'), true);
  assert.equal(sim.lines.filter((l) => l.startsWith('recv F07D100000007212')).length, 0, 'nothing written before the user agreed');
  await page.click('#takeover-confirm');
  await waitUsable(page);
  const writes = sim.lines.filter((l) => l.startsWith('recv F07D10000000721')).filter((l) => l.includes('127F700000'));
  // A write lost on a busy bus is written again: repeats of one value are one step.
  const values = writes.map((l) => l.slice(-6, -4)).filter((v, i, all) => i === 0 || all[i - 1] !== v);
  assert.deepEqual(values, ['00', '01'], 'off, then on');
  assert.equal(await page.isVisible('#takeover-button'), false);
});

test('Disconnect without the disk service leaves edit mode and says why the volume stays', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  // Another program keeps the volume busy, so not even a plain unmount can release it.
  const busy = openSync(volume.wave, 'r');
  try {
    await page.click('#disconnect-button');
    await page.click('#confirm-dialog button.primary');
    const shown = await errorDetails(page);
    assert.match(shown.text, /left edit mode.*could not be released/);
    assert.match(shown.reason, /in use by another program/);
    assert.match(shown.reason, /UDisks2/);
    assert.doesNotMatch(shown.text + shown.reason, /Could not connect/);
    await waitFor(() => sim.modes().at(-1) === 0, { timeout: 10000, what: 'edit mode off' });
    assert.equal(volume.mounted(), true);
  } finally {
    closeSync(busy);
  }
  await waitUsable(page, false);
  assert.equal(await page.textContent('#disconnect-button'), 'Connect');
  await page.click('#disconnect-button');
  await page.click('#confirm-dialog button.primary');
  await waitUsable(page);
  assert.equal(sim.modes().at(-1), 1);
});

test('SIGINT leaves edit mode and releases the volume before Tarn ends', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  t.tarn.child.kill('SIGINT');
  const { code } = await t.tarn.exited;
  assert.equal(code, 0);
  await waitFor(() => sim.modes().at(-1) === 0, { timeout: 5000, what: 'edit mode off' });
  // Tarn runs as root here, so the plain unmount it falls back on works.
  assert.equal(volume.mounted(), false);
  // The page's last word says so.
  assert.match(await t.page.textContent('#done-note'), /^Left edit mode and ejected .+\. You can unplug the looper\.$/);
  assert.deepEqual(t.errors, []);
});

test('started again with the volume ejected, Tarn says it waits for the storage and never leaves edit mode on', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const again = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: jack.env });
  try {
    await waitFor(() => sim.modes().at(-1) === 1, { timeout: 30000, what: 'edit mode' });
    await again.page.waitForFunction(() => /^Eddy Duo: waiting for its storage/.test(document.getElementById('device-status').textContent));
    assert.match(await again.page.textContent('#looper-none'), /unplug the looper and plug it in again/);
  } finally {
    await again.close();
  }
  await waitFor(() => sim.modes().at(-1) === 0, { timeout: 5000, what: 'edit mode off at the end' });
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
