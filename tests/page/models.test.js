// Recognising the connected looper from volumes, labels, the MIDI model ID and the
// storage check, including the rotation through the storage-only models.
const test = require('node:test');
const assert = require('node:assert/strict');
const models = require('../../page/js/tarn/models.js');
const tracks = require('../../page/js/tarn/tracks.js');
const { layoutVolume } = require('./fakeVolume.js');

const table = models.compatibleInstruments;

test('the table holds four MIDI models then five storage-only ones', () => {
  assert.equal(table.length, 9);
  assert.deepEqual(table.map((r) => !!r.midi), [true, true, true, true, false, false, false, false, false]);
  assert.deepEqual(table.slice(0, 4).map((r) => r.numofTrackParMem), [1, 2, 6, 5]);
  for (const row of table.slice(0, 4)) {
    assert.deepEqual([row.wave.format, row.wave.bits, row.numofMemParBank, row.numofBank], [3, 32, 99, 1]);
    assert.deepEqual([row.wave.minSamples, row.wave.maxSamples, row.wave.sampleRate], [2205, 2 ** 28, 44100]);
    assert.match(row.midi.modelID, /^([0-9A-F]{8}|[0-9A-F]{10})$/);
  }
  assert.deepEqual(models.storageOnly(table).map((r) => [r.numofTrackParMem, r.numofMemParBank, r.numofBank]),
    [[5, 99, 1], [3, 99, 1], [2, 99, 1], [1, 99, 1], [2, 8, 8]]);
  for (const row of models.storageOnly(table)) assert.deepEqual([row.wave.format, row.wave.bits], [1, 16]);
  assert.equal(new Set(table.map((r) => r.volName)).size, 9);
});

test('a volume is recognised by its label first', () => {
  const volumes = [
    { mount: '/', volume: '', corvane: false },
    { mount: '/media/a', volume: 'EDDY_DUO', corvane: false },
  ];
  const found = models.recognise(table, volumes, '00000000', 0);
  assert.equal(found.volume, '/media/a');
  assert.equal(found.inst.name, 'Eddy Duo');
});

test('two CORVANE volumes without a matching label give no device', () => {
  const volumes = [
    { mount: '/media/a', volume: 'X', corvane: true },
    { mount: '/media/b', volume: 'Y', corvane: true },
  ];
  assert.equal(models.recognise(table, volumes, '00000000', 0), null);
  assert.equal(models.recognise(table, volumes, '00000071', 0), null);
});

test('one CORVANE volume takes the model of the connected MIDI ports', () => {
  const volumes = [{ mount: '/media/a', volume: 'NO NAME', corvane: true }];
  assert.equal(models.recognise(table, volumes, '0000000073', 0).inst.name, 'Eddy Six');
  assert.equal(models.recognise(table, volumes, '12345678', 0), null);
  assert.equal(models.recognise(table, [{ mount: '/m', volume: 'NO NAME', corvane: false }], '00000071', 0), null);
});

test('storage-only models are tried in turn until the storage check passes, wrapping', () => {
  const layouts = models.storageOnly(table);
  for (const target of layouts) {
    const files = layoutVolume('/media/x', target.numofTrackParMem, target.numofMemParBank * target.numofBank);
    let rotation = 0;
    let recognised = null;
    for (let attempt = 0; attempt < layouts.length && !recognised; attempt++) {
      const found = models.recognise(table, [{ mount: '/media/x', volume: 'UNTITLED', corvane: true }], '00000000', rotation);
      if (tracks.storageCheck(files, found.volume, found.inst)) recognised = found.inst;
      else rotation = models.nextRotation(table, rotation);
    }
    assert.equal(recognised && recognised.name, target.name);
  }
  assert.equal(models.nextRotation(table, 4), 0);
});

test('a looper known only by its folders gets the first storage layout it holds, in one pass', () => {
  const table = models.compatibleInstruments;
  const tried = [];
  const row = models.fittingStorageModel(table, (r) => { tried.push(r.name); return r.numofTrackParMem <= 2 && r.numofBank === 1; });
  assert.equal(row.name, 'Pool Duo');
  assert.deepEqual(tried, ['Pool Five', 'Pool Three', 'Pool Duo']);
  assert.equal(models.fittingStorageModel(table, () => false), null);
  const found = models.recognise(table, [{ mount: '/m/', volume: '', corvane: true }], models.NO_MODEL, 0);
  assert.equal(found.guessed, true);
  const byMidi = models.recognise(table, [{ mount: '/m/', volume: '', corvane: true }], '00000072', 0);
  assert.equal(byMidi.inst.name, 'Eddy Duo');
  assert.equal(byMidi.guessed, false);
});
