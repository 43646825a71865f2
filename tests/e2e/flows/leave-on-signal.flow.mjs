// SIGTERM on the headless host leaves the looper's edit mode whatever the browser does:
// with no tab left (a page put the looper in edit mode and went), with the tab in the
// background and its timers stopped, with a second tab open.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openTarn, hasModule, waitFor, waitUsable } from '../lib/page.mjs';
import { startTarn, makeHome } from '../lib/tarn.mjs';
import { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim } from '../lib/looper.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072' };
// Edit mode on (address 7F700000, value 01) for this model, with its checksum.
const EDIT_MODE_ON = 'F07D1000000072127f7000000110F7';

let jack, sim;
let skip = '';
const env = () => ({ ...jack.env, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/system_bus_socket' });

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  if (!canRunMidi()) { skip = 'looper-sim or jackd is missing'; return; }
  jack = await startJack();
  sim = await startLooperSim(jack, MODEL.port, MODEL.id);
});

after(async () => {
  await sim?.stop();
  await jack?.stop();
});

async function endsLeavingEditMode(tarn) {
  tarn.child.kill('SIGTERM');
  const { code } = await tarn.exited;
  assert.equal(code, 0, tarn.stderr());
  await waitFor(() => sim.modes().at(-1) === 0, { timeout: 5000, what: 'edit mode off' });
}

// A page that put the looper (on a volume of its own) into edit mode; null without MIDI.
async function pageInEditMode() {
  const volume = mountVolume(MODEL.name);
  const t = await openTarn({ prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' }, env: env() });
  const close = async () => { await t.close(); volume.cleanup(); };
  try {
    if (!(await hasModule(t.page, '$$midi_inendpoints'))) { await close(); return null; }
    await waitUsable(t.page);
    assert.equal(sim.modes().at(-1), 1);
    return { ...t, volume, close };
  } catch (e) {
    await close();
    throw e;
  }
}

test('no tab: the host itself leaves the edit mode a page set and left behind', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const home = makeHome();
  const tarn = await startTarn({ home, env: env() });
  try {
    const call = async (...args) => {
      const response = await fetch(`${tarn.origin}/native`, {
        method: 'POST', body: JSON.stringify(args),
        headers: { 'Content-Type': 'application/json', 'X-Tarn-Token': tarn.token },
      });
      return (await response.text()).slice(1);
    };
    const find = (list) => JSON.parse(list).find((e) => e.MIDIDeviceNameKey === MODEL.port);
    const input = find(await call('$$midi_inendpoints'));
    if (!input) { ctx.skip('the midi module is not in this build'); return; }
    await call('$$midi_inconnect', JSON.stringify(input));
    await call('$$midi_outconnect', JSON.stringify(find(await call('$$midi_outendpoints'))));
    await call('$$app_startevent', 'true');
    // Sent again until it arrives: a message right after connecting may come too early.
    await waitFor(async () => sim.modes().at(-1) === 1 || (await call('$$midi_send', EDIT_MODE_ON), false),
      { interval: 300, what: 'edit mode on' });
    await endsLeavingEditMode(tarn);
  } finally {
    await tarn.stop();
  }
});

test('a tab in the background whose timers no longer run', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const t = await pageInEditMode();
  if (!t) { ctx.skip('the midi module is not in this build'); return; }
  try {
    // No script of the page runs any more (a throttled tab at its worst).
    const cdp = await t.page.context().newCDPSession(t.page);
    await cdp.send('Debugger.enable');
    await cdp.send('Debugger.pause');
    await endsLeavingEditMode(t.tarn);
    // The page did nothing: it would have released the volume.
    assert.equal(t.volume.mounted(), true);
  } finally {
    await t.close();
  }
});

test('two tabs of the same host', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const t = await pageInEditMode();
  if (!t) { ctx.skip('the midi module is not in this build'); return; }
  try {
    const [second] = await Promise.all([t.page.context().waitForEvent('page'),
      t.page.evaluate((a) => { window.open(a); }, t.tarn.address)]);
    await second.waitForSelector('#page-notice');
    await endsLeavingEditMode(t.tarn);
  } finally {
    await t.close();
  }
});
