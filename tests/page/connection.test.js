// The connection manager against a fake MIDI module and a scripted device.
const test = require('node:test');
const assert = require('node:assert/strict');
const sysex = require('../../page/js/tarn/sysex.js');
const models = require('../../page/js/tarn/models.js');
const ConnectManager = require('../../page/js/tarn/connection.js');

const { PHASE } = ConnectManager;
const eddyDuo = models.compatibleInstruments[1];
const pool = models.storageOnly(models.compatibleInstruments)[0];

function endpoint(name, uid) {
  return { MIDIDeviceNameKey: name, MIDIEntityNameKey: name, MIDIEndpointUIDKey: uid, MIDIEndpointIndexKey: '0' };
}

function rig({ ports = [endpoint('Desk Synth', 's'), endpoint('EDDY DUO', 'd')], inst = eddyDuo } = {}) {
  const midi = {
    ports, connected: { in: [], out: [] }, calls: [],
    inendpoints: () => JSON.stringify(midi.ports), outendpoints: () => JSON.stringify(midi.ports),
    inconnect: (e) => { midi.calls.push(['inconnect', JSON.parse(e).MIDIDeviceNameKey]); },
    outconnect: (e) => { midi.calls.push(['outconnect', JSON.parse(e).MIDIDeviceNameKey]); },
    indisconnect: (e) => { midi.calls.push(['indisconnect', e === undefined ? '*' : JSON.parse(e).MIDIDeviceNameKey]); },
    outdisconnect: (e) => { midi.calls.push(['outdisconnect', e === undefined ? '*' : JSON.parse(e).MIDIDeviceNameKey]); },
  };
  const sent = [];
  const communicator = new sysex.Communicator({ send: (m) => sent.push(m), now: () => 0 });
  const state = { inst };
  const timers = [];
  const advances = [];
  const manager = new ConnectManager({
    midi, communicator, table: models.compatibleInstruments, instrument: () => state.inst,
    advanced: () => advances.push(manager.phase), later: (func, ms) => timers.push({ func, ms }),
  });
  const flush = () => { const out = []; while (communicator.queue.length) out.push(communicator.queue.shift()); return out; };
  const reply = (value) => communicator.receive(sysex.dt1(communicator.modelId, sysex.EDIT_MODE_ADDRESS, [value]));
  return { midi, manager, communicator, state, flush, reply, timers, advances };
}

test('ports are found by name, edit mode is switched on and the storage awaited', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  assert.equal(r.manager.step(), true);
  assert.deepEqual(r.midi.calls, [['inconnect', 'EDDY DUO'], ['outconnect', 'EDDY DUO']]);
  assert.equal(r.manager.phase, PHASE.CHECK_EDIT_MODE, 'connected ports go on at once');
  assert.equal(r.communicator.modelId, id);
  r.manager.step();
  assert.deepEqual(r.flush(), [sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1)]);
  r.reply(2); // anything but "on" lets the manager switch it on
  assert.equal(r.manager.phase, PHASE.SET_EDIT_MODE_ON);
  r.manager.step();
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [1]), sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1)]);
  r.reply(0); // the device did not take it yet: write again
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [1])]);
  r.reply(2); // busy: keep waiting
  assert.equal(r.manager.phase, PHASE.WAIT_EDIT_MODE_ON);
  assert.deepEqual(r.flush(), []);
  r.reply(1);
  assert.equal(r.manager.editMode, true);
  assert.equal(r.manager.phase, PHASE.WAIT_MOUNTING);
  assert.equal(r.manager.usable(), false);
  r.manager.mounted = true;
  assert.equal(r.manager.step(), true);
  assert.equal(r.manager.phase, PHASE.CONNECTED);
  assert.equal(r.manager.usable(), true);
  assert.equal(r.manager.step(), false, 'nothing changed');
});

test('a device already in edit mode keeps the manager waiting for it to leave', () => {
  const r = rig();
  r.manager.step(); r.manager.step(); r.manager.step();
  r.flush();
  r.reply(1);
  assert.equal(r.manager.phase, PHASE.WAIT_EDIT_MODE_OFF);
  r.manager.step();
  assert.equal(r.flush().length, 1, 'asks again');
  r.reply(0);
  assert.equal(r.manager.phase, PHASE.SET_EDIT_MODE_ON);
});

test('a storage-only model goes straight to waiting for its storage', () => {
  const r = rig({ ports: [], inst: pool });
  r.manager.step();
  assert.equal(r.manager.phase, PHASE.WAIT_MOUNTING);
  assert.equal(r.manager.mountedSelf, true);
  r.manager.mounted = true;
  r.manager.step();
  assert.equal(r.manager.usable(), true);
  assert.deepEqual(r.midi.calls, []);
});

test('leaving edit mode writes it off; Connect restarts; lost ports reset the user flag', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  r.manager.step(); r.manager.step(); r.manager.step(); r.flush(); r.reply(0);
  r.manager.step(); r.flush(); r.reply(1);
  r.manager.mounted = true;
  r.manager.step();
  r.manager.leave();
  assert.equal(r.manager.editMode, false);
  assert.equal(r.manager.disconnected, true);
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [0]), sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1)]);
  assert.ok(r.manager.leaving, 'waits for the device to confirm');
  r.reply(1); // still on: the off was lost on the way, so it is written again
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [0]), sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1)]);
  r.reply(0);
  assert.equal(r.manager.leaving, null);
  assert.equal(r.manager.usable(), false);
  assert.equal(r.manager.offersReconnect(), true);
  r.manager.reconnect();
  assert.equal(r.manager.phase, PHASE.WAIT_MIDI_CONNECTION);
  assert.equal(r.manager.disconnected, false);
  r.manager.disconnected = true;
  r.midi.ports = [endpoint('Desk Synth', 's')];
  r.midi.calls.length = 0;
  r.manager.midiChanged();
  assert.deepEqual(r.midi.calls, [['indisconnect', 'EDDY DUO'], ['outdisconnect', 'EDDY DUO']]);
  assert.equal(r.manager.midiConnected(), false);
  assert.equal(r.manager.disconnected, false);
  r.midi.ports = [endpoint('EDDY DUO', 'd2')];
  r.midi.calls.length = 0;
  r.manager.midiChanged();
  assert.deepEqual(r.midi.calls, [['inconnect', 'EDDY DUO'], ['outconnect', 'EDDY DUO']]);
});

test('connect failures and MIDI errors forget the connected ports', () => {
  const r = rig();
  r.manager.step();
  r.manager.connectFailed(JSON.stringify(endpoint('EDDY DUO', 'd')));
  assert.equal(r.manager.midiConnected(), false);
  r.manager.restart();
  r.manager.step();
  assert.equal(r.manager.midiConnected(), true);
  r.manager.midiError();
  assert.equal(r.manager.midiConnected(), false);
});

test('run() follows the device\'s answers without waiting for the next check', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  const read = sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1);
  r.manager.run();
  assert.equal(r.manager.phase, PHASE.WAIT_EDIT_MODE_OFF, 'ports, model ID and the first read in one go');
  assert.deepEqual(r.flush(), [read]);
  r.reply(0);
  assert.deepEqual(r.advances, [PHASE.SET_EDIT_MODE_ON], 'the answer asks for a step at once');
  r.manager.run();
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [1]), read]);
  r.reply(2);
  assert.equal(r.timers.length, 1, 'busy: asked again shortly');
  assert.ok(r.timers[0].ms <= 200);
  r.timers[0].func();
  assert.deepEqual(r.flush(), [read], 'the same read message again');
  r.manager.mounted = true;
  r.reply(1);
  assert.equal(r.advances.at(-1), PHASE.WAIT_MOUNTING);
  assert.equal(r.manager.run(), true);
  assert.equal(r.manager.phase, PHASE.CONNECTED);
  assert.equal(r.manager.usable(), true);
});

test('a looper left in edit mode is reported once and taken over only when asked: off, then on', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  r.manager.run();
  r.flush();
  r.reply(1);
  assert.equal(r.manager.foundInEditMode, true);
  assert.equal(r.manager.phase, PHASE.WAIT_EDIT_MODE_OFF, 'nothing is written without the user');
  assert.deepEqual(r.flush(), []);
  r.manager.step();
  assert.equal(r.flush().length, 1, 'asked again on the next check');
  r.reply(1);
  assert.equal(r.advances.length, 1, 'reported once');
  assert.equal(r.manager.takeOver(), true);
  assert.equal(r.manager.foundInEditMode, false);
  const off = sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [0]);
  const on = sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [1]);
  const ask = sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1);
  assert.deepEqual(r.flush(), [off, ask], 'off first, and read back');
  r.reply(1); // the off never arrived: written again
  assert.deepEqual(r.flush(), [off, ask]);
  r.reply(2); // busy with it: asked again shortly
  assert.equal(r.manager.usable(), false);
  r.timers.splice(0).filter((t) => t.ms === 100).forEach((t) => t.func());
  assert.deepEqual(r.flush(), [ask]);
  r.reply(0);
  assert.deepEqual(r.flush(), [on, ask], 'on only once off was confirmed');
  r.reply(1);
  assert.equal(r.manager.editMode, true);
  assert.equal(r.manager.takeOver(), false, 'nothing to take over any more');
});

test('leaving in the middle of the handshake still writes edit mode off', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  r.manager.run();
  r.flush();
  r.reply(0);
  r.manager.run();
  r.flush();
  assert.equal(r.manager.editMode, false);
  assert.equal(r.manager.holdsEditMode(), true, 'on was written, its answer is still out');
  r.manager.leave();
  assert.deepEqual(r.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [0]), sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1)]);
  assert.equal(r.manager.holdsEditMode(), false);
  const quiet = rig();
  quiet.manager.run();
  quiet.flush();
  quiet.manager.leave();
  assert.deepEqual(quiet.flush(), [], 'never switched on: nothing to write');
});

test('edit mode this run switched on is its own after a restart: no take-over question', () => {
  const r = rig();
  r.manager.run(); r.flush(); r.reply(0);
  r.manager.run(); r.flush(); r.reply(1);
  assert.equal(r.manager.editMode, true);
  r.manager.restart();
  r.manager.run();
  assert.equal(r.manager.editMode, false);
  r.flush();
  r.reply(1);
  assert.equal(r.manager.foundInEditMode, false);
  assert.equal(r.manager.editMode, true);
  assert.equal(r.manager.phase, PHASE.WAIT_MOUNTING);
});

test('leaving edit mode survives lost messages: an unanswered read writes off again, a late answer still counts', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  const off = sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [0]);
  const ask = sysex.rq1(id, sysex.EDIT_MODE_ADDRESS, 1);
  r.manager.run(); r.flush(); r.reply(0);
  r.manager.run(); r.flush(); r.reply(1);
  r.manager.mounted = true;
  r.manager.step();
  r.timers.length = 0;
  let left = 0;
  r.manager.switchOff(() => { left++; });
  assert.deepEqual(r.flush(), [off, ask]);
  const unanswered = () => r.timers.splice(0).filter((t) => t.ms === 400).forEach((t) => t.func());
  // Both went missing on the way: nothing comes back, and the off goes out again.
  unanswered();
  assert.deepEqual(r.flush(), [off, ask]);
  unanswered();
  assert.deepEqual(r.flush(), [off, ask]);
  // Written often enough: from now on it is only asked for.
  unanswered();
  assert.deepEqual(r.flush(), [ask]);
  // The answer to an earlier read arrives late, and it says off: done, once.
  r.reply(0);
  assert.equal(left, 1);
  r.reply(0);
  unanswered();
  assert.equal(left, 1);
  assert.deepEqual(r.flush(), [], 'nothing more once it is off');
  assert.deepEqual(r.communicator.transactions, [], 'its reads end with it');
  // An answer that came while the next read was due is not taken for a loss.
  const busy = rig();
  busy.manager.run(); busy.flush(); busy.reply(0);
  busy.manager.run(); busy.flush(); busy.reply(1);
  busy.timers.length = 0;
  busy.manager.switchOff(() => {});
  busy.flush();
  busy.reply(2);
  busy.timers.splice(0).filter((t) => t.ms === 400).forEach((t) => t.func());
  assert.deepEqual(busy.flush(), [], 'busy is an answer');
  // Connect while the off is still being confirmed: the switch-off ends, and nothing it
  // had pending writes off over the new handshake, nor takes its answers.
  const again = rig();
  again.manager.run(); again.flush(); again.reply(0);
  again.manager.run(); again.flush(); again.reply(1);
  again.manager.mounted = true;
  again.manager.step();
  again.manager.leave();
  again.flush();
  again.reply(2);
  again.manager.reconnect();
  assert.equal(again.manager.leaving, null);
  again.timers.splice(0).sort((a, b) => a.ms - b.ms).forEach((t) => t.func());
  assert.deepEqual(again.flush(), [], 'its timers do nothing');
  again.manager.run();
  again.flush();
  again.reply(0);
  again.manager.run();
  assert.deepEqual(again.flush(), [sysex.dt1(id, sysex.EDIT_MODE_ADDRESS, [1]), ask]);
  again.reply(1);
  assert.equal(again.manager.editMode, true);
});
