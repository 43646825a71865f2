// Leaving edit mode on the host's way out, when no page answers any more: every looper
// whose MIDI ports the bridge still holds is switched off by the connection manager's own
// leave step (switchOff: off written, then read back until the device says so).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./models.js'), require('./sysex.js'), require('./connection.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.leaveEditMode = factory(T.models, T.sysex, T.ConnectManager);
  }
})(typeof self !== 'undefined' ? self : this, function (models, sysex, ConnectManager) {
  'use strict';

  var global = typeof globalThis !== 'undefined' ? globalThis : self;

  // native: the bridge ($native); held: {inputs, outputs}, the endpoints the bridge holds
  // connected; done(names): the models told to leave, once each answered or gave up.
  // options: table (model rows), every/stopEvery (timers).
  function leaveEditMode(native, held, done, options) {
    options = options || {};
    var table = options.table || models.compatibleInstruments;
    var every = options.every || function (f, ms) { return global.setInterval(f, ms); };
    var stopEvery = options.stopEvery || function (id) { global.clearInterval(id); };
    var midi = native.midi;
    var on = function (list, row) {
      return (list || []).filter(function (e) { return e.MIDIDeviceNameKey === row.midi.portName; });
    };
    // One manager per model: messages carry the model's id, so loopers of one model
    // (which answer to the same messages) leave together.
    var rows = table.filter(function (row, i) {
      if (!row.midi || !on(held.inputs, row).length || !on(held.outputs, row).length) return false;
      return !table.slice(0, i).some(function (r) { return r.midi && r.midi.modelID === row.midi.modelID; });
    });
    var told = [];
    (function next(i) {
      if (i >= rows.length) { done(told); return; }
      var row = rows[i];
      var communicator = new sysex.Communicator({ send: function (hex) { try { midi.send(hex); } catch (e) { /* gone */ } } });
      communicator.setModelId(row.midi.modelID);
      midi.event.message = function (hex) { communicator.receive(hex); };
      var manager = new ConnectManager({
        midi: midi, communicator: communicator, table: [row], instrument: function () { return row; }
      });
      manager.inputs = on(held.inputs, row);
      manager.outputs = on(held.outputs, row);
      var ticker = every(function () { communicator.tick(); }, sysex.SEND_INTERVAL_MS);
      manager.switchOff(function () {
        stopEvery(ticker);
        told.push(row.name);
        next(i + 1);
      });
    })(0);
  }

  return leaveEditMode;
});
