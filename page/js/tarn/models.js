// The Corvane loopers Tarn works with, and how a connected one is recognised from the
// mounted volumes (by label, by a "CORVANE" folder plus the MIDI model ID, or by trying
// the storage-only models in turn).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).models = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var NO_MODEL = '00000000';
  var MAX_SAMPLES = 268435456; // 2^28

  function midiModel(name, volName, tracks, portName, modelID) {
    return {
      name: name, volName: volName, numofTrackParMem: tracks, numofMemParBank: 99, numofBank: 1,
      wave: { format: 3, bits: 32, minSamples: 2205, maxSamples: MAX_SAMPLES, sampleRate: 44100 },
      midi: { portName: portName, modelID: modelID }
    };
  }

  function storageModel(name, volName, tracks, memories, banks) {
    return {
      name: name, volName: volName, numofTrackParMem: tracks, numofMemParBank: memories, numofBank: banks,
      wave: { format: 1, bits: 16, sampleRate: 44100 }
    };
  }

  // Four MIDI models, then the storage-only ones, the most demanding layout first: a
  // volume that holds every folder of a bigger layout is tried against that one before
  // a smaller layout it also satisfies.
  var compatibleInstruments = [
    midiModel('Eddy One', 'EDDY_ONE', 1, 'EDDY ONE', '00000071'),
    midiModel('Eddy Duo', 'EDDY_DUO', 2, 'EDDY DUO', '00000072'),
    midiModel('Eddy Six', 'EDDY_SIX', 6, 'EDDY SIX', '0000000073'),
    midiModel('Eddy Five', 'EDDY_FIVE', 5, 'EDDY FIVE', '00000074'),
    storageModel('Pool Five', 'POOL_FIVE', 5, 99, 1),
    storageModel('Pool Three', 'POOL_THREE', 3, 99, 1),
    storageModel('Pool Duo', 'POOL_DUO', 2, 99, 1),
    storageModel('Pool One', 'POOL_ONE', 1, 99, 1),
    storageModel('Pool Banks', 'POOL_BANKS', 2, 8, 8)
  ];

  function storageOnly(table) {
    return table.filter(function (row) { return !row.midi; });
  }

  function byVolName(table, name) {
    for (var i = 0; i < table.length; i++) if (table[i].volName === name) return table[i];
    return null;
  }

  // The MIDI model with this ID; the search ends at the first row without MIDI.
  function byModelId(table, modelId) {
    for (var i = 0; i < table.length; i++) {
      if (!table[i].midi) return null;
      if (table[i].midi.modelID === modelId) return table[i];
    }
    return null;
  }

  // volumes: [{mount, volume (label), corvane (true when its top level has "CORVANE")}]
  // Returns {volume, volName, inst} or null.
  function recognise(table, volumes, modelId, rotation) {
    var flagged = -1;
    volumes.forEach(function (v, index) {
      if (v.corvane) flagged = flagged === -1 ? index : -2;
    });
    for (var i = 0; i < volumes.length; i++) {
      var row = byVolName(table, volumes[i].volume);
      if (row) return { volume: volumes[i].mount, volName: row.volName, inst: row };
    }
    if (flagged < 0) return null;
    var byMidi = modelId && modelId !== NO_MODEL;
    var guess = byMidi ? byModelId(table, modelId) : storageOnly(table)[rotation] || null;
    if (guess && byVolName(table, guess.volName)) {
      return { volume: volumes[flagged].mount, volName: guess.volName, inst: guess, guessed: !byMidi };
    }
    return null;
  }

  // The first storage-only model whose layout the volume holds (fits(row) tells), tried
  // in table order in one pass; null when none does.
  function fittingStorageModel(table, fits) {
    var rows = storageOnly(table);
    for (var i = 0; i < rows.length; i++) if (fits(rows[i])) return rows[i];
    return null;
  }

  function nextRotation(table, rotation) {
    var count = storageOnly(table).length;
    return count === 0 ? 0 : (rotation + 1) % count;
  }

  function memories(row) { return row.numofMemParBank * row.numofBank; }

  function isSixteenBitPcm(row) { return row.wave.format === 1 && row.wave.bits === 16; }

  return {
    NO_MODEL: NO_MODEL,
    MAX_SAMPLES: MAX_SAMPLES,
    compatibleInstruments: compatibleInstruments,
    storageOnly: storageOnly,
    byVolName: byVolName,
    byModelId: byModelId,
    recognise: recognise,
    fittingStorageModel: fittingStorageModel,
    nextRotation: nextRotation,
    memories: memories,
    isSixteenBitPcm: isSixteenBitPcm
  };
});
