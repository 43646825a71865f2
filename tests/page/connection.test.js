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
  const manager = new ConnectManager({
    midi, communicator, table: models.compatibleInstruments, instrument: () => state.inst,
  });
  const flush = () => { const out = []; while (communicator.queue.length) out.push(communicator.queue.shift()); return out; };
  const reply = (value) => communicator.receive(sysex.dt1(communicator.modelId, sysex.EDIT_MODE_ADDRESS, [value]));
  return { midi, manager, communicator, state, flush, reply };
}

test('ports are found by name, edit mode is switched on and the storage awaited', () => {
  const r = rig();
  const id = eddyDuo.midi.modelID;
  assert.equal(r.manager.step(), true);
  assert.deepEqual(r.midi.calls, [['inconnect', 'EDDY DUO'], ['outconnect', 'EDDY DUO']]);
  r.manager.step();
  assert.equal(r.manager.phase, PHASE.CHECK_EDIT_MODE);
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
  r.reply(0);
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
  r.manager.step();
  assert.equal(r.manager.midiConnected(), true);
  r.manager.midiError();
  assert.equal(r.manager.midiConnected(), false);
});
