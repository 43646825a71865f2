// The connection manager: finds the looper's MIDI ports, switches the device into edit
// mode and waits for its storage, one step per device check.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./sysex.js'));
  else (root.Tarn = root.Tarn || {}).ConnectManager = factory(root.Tarn.sysex);
})(typeof self !== 'undefined' ? self : this, function (sysex) {
  'use strict';

  var PHASE = {
    WAIT_MIDI_CONNECTION: 0, CHECK_EDIT_MODE: 1, WAIT_EDIT_MODE_OFF: 2, SET_EDIT_MODE_ON: 3,
    WAIT_EDIT_MODE_ON: 4, WAIT_MOUNTING: 5, CONNECTED: 6
  };
  var EDIT = sysex.EDIT_MODE_ADDRESS;

  // options: midi (the bridge's midi module), communicator, table (model rows),
  // instrument() (the recognised model row or null).
  function ConnectManager(options) {
    this.midi = options.midi;
    this.communicator = options.communicator;
    this.table = options.table;
    this.instrument = options.instrument;
    this.phase = PHASE.WAIT_MIDI_CONNECTION;
    this.prevPhase = -1;
    this.targetMidi = null;
    this.disconnected = false;
    this.editMode = false;
    this.mounted = false;
    this.mountedSelf = false;
    this.prevMounted = false;
    this.inputs = [];
    this.outputs = [];
  }

  ConnectManager.PHASE = PHASE;

  ConnectManager.prototype.midiConnected = function () {
    return this.inputs.length > 0 && this.outputs.length > 0;
  };

  ConnectManager.prototype.restart = function () {
    this.phase = PHASE.WAIT_MIDI_CONNECTION;
    this.mountedSelf = false;
    this.editMode = false;
    this.communicator.dropTransactions();
  };

  ConnectManager.prototype.list = function (which) {
    try {
      var list = JSON.parse(which === 'in' ? this.midi.inendpoints() : this.midi.outendpoints());
      return Array.isArray(list) ? list : [];
    } catch (e) {
      return [];
    }
  };

  ConnectManager.prototype.midiRowForPort = function (name) {
    for (var i = 0; i < this.table.length; i++) {
      if (this.table[i].midi && this.table[i].midi.portName === name) return this.table[i];
    }
    return null;
  };

  ConnectManager.prototype.connectSide = function (which) {
    var connected = which === 'in' ? this.inputs : this.outputs;
    if (connected.length > 0) return;
    var endpoints = this.list(which);
    for (var i = 0; i < endpoints.length; i++) {
      var row = this.midiRowForPort(endpoints[i].MIDIDeviceNameKey);
      if (!row) continue;
      var text = JSON.stringify(endpoints[i]);
      try {
        if (which === 'in') this.midi.inconnect(text); else this.midi.outconnect(text);
      } catch (e) {
        return;
      }
      connected.push(endpoints[i]);
      this.targetMidi = row;
      return;
    }
  };

  ConnectManager.prototype.readEditMode = function (func) {
    this.communicator.read(EDIT, 1, func);
  };

  ConnectManager.prototype.writeEditMode = function (value) {
    this.communicator.write(EDIT, [value]);
  };

  // One step; true when the phase or the mounted flag changed since the last step.
  ConnectManager.prototype.step = function () {
    var self = this;
    var inst = this.instrument();
    switch (this.phase) {
    case PHASE.WAIT_MIDI_CONNECTION:
      if (inst && !inst.midi) {
        this.phase = PHASE.WAIT_MOUNTING;
        this.mountedSelf = true;
      } else if (!this.disconnected) {
        if (this.midiConnected()) {
          this.communicator.setModelId(this.targetMidi && this.targetMidi.midi.modelID);
          this.phase = PHASE.CHECK_EDIT_MODE;
        } else {
          this.connectSide('in');
          this.connectSide('out');
        }
      } else {
        this.communicator.setModelId(sysex.NO_MODEL);
      }
      break;
    case PHASE.CHECK_EDIT_MODE:
      this.phase = PHASE.WAIT_EDIT_MODE_OFF;
      this.readEditMode(function (data) {
        if (data[0] !== sysex.EDIT_MODE.ON && self.phase === PHASE.WAIT_EDIT_MODE_OFF) {
          self.phase = PHASE.SET_EDIT_MODE_ON;
          return false;
        }
        return true;
      });
      break;
    case PHASE.WAIT_EDIT_MODE_OFF:
      this.readEditMode();
      break;
    case PHASE.SET_EDIT_MODE_ON:
      this.phase = PHASE.WAIT_EDIT_MODE_ON;
      this.writeEditMode(sysex.EDIT_MODE.ON);
      this.readEditMode(function (data) {
        if (self.phase !== PHASE.WAIT_EDIT_MODE_ON) return true;
        if (data[0] === sysex.EDIT_MODE.ON) {
          self.editMode = true;
          self.phase = PHASE.WAIT_MOUNTING;
          return false;
        }
        if (data[0] === sysex.EDIT_MODE.OFF) self.writeEditMode(sysex.EDIT_MODE.ON);
        return true;
      });
      break;
    case PHASE.WAIT_EDIT_MODE_ON:
      this.readEditMode();
      break;
    case PHASE.WAIT_MOUNTING:
      if (this.mounted) this.phase = PHASE.CONNECTED;
      break;
    }
    var changed = this.phase !== this.prevPhase || this.mounted !== this.prevMounted;
    this.prevPhase = this.phase;
    this.prevMounted = this.mounted;
    return changed;
  };

  ConnectManager.prototype.usable = function () {
    var inst = this.instrument();
    if (!inst || !this.mounted) return false;
    return !inst.midi || this.editMode;
  };

  // The button reads "Connect" (and is usable) once the user disconnected while the
  // MIDI ports stay connected.
  ConnectManager.prototype.offersReconnect = function () {
    return this.disconnected && this.midiConnected();
  };

  ConnectManager.prototype.reconnect = function () {
    this.disconnected = false;
    this.restart();
  };

  // Leaves edit mode (or drops the MIDI ports when edit mode is off) after the page
  // released the storage.
  ConnectManager.prototype.leave = function () {
    var self = this;
    if (this.editMode) {
      this.editMode = false;
      this.disconnected = true;
      this.communicator.dropTransactions();
      this.writeEditMode(sysex.EDIT_MODE.OFF);
      this.readEditMode(function (data) {
        if (data[0] === sysex.EDIT_MODE.OFF) return true;
        self.restart();
        return false;
      });
    } else {
      this.disconnectMidi();
      this.restart();
    }
  };

  ConnectManager.prototype.disconnectMidi = function () {
    try { this.midi.indisconnect(); } catch (e) { /* nothing connected */ }
    try { this.midi.outdisconnect(); } catch (e) { /* nothing connected */ }
    this.inputs = [];
    this.outputs = [];
  };

  // MIDI endpoints came or went.
  ConnectManager.prototype.midiChanged = function () {
    var self = this;
    ['in', 'out'].forEach(function (which) {
      var endpoints = self.list(which);
      var names = endpoints.map(function (e) { return e.MIDIDeviceNameKey; });
      var connected = which === 'in' ? self.inputs : self.outputs;
      var kept = connected.filter(function (e) { return names.indexOf(e.MIDIDeviceNameKey) >= 0; });
      connected.filter(function (e) { return kept.indexOf(e) < 0; }).forEach(function (gone) {
        try {
          if (which === 'in') self.midi.indisconnect(JSON.stringify(gone));
          else self.midi.outdisconnect(JSON.stringify(gone));
        } catch (e) { /* already gone */ }
      });
      if (which === 'in') self.inputs = kept; else self.outputs = kept;
      if (kept.length === 0 && self.targetMidi) {
        var port = self.targetMidi.midi.portName;
        for (var i = 0; i < endpoints.length; i++) {
          if (endpoints[i].MIDIDeviceNameKey !== port) continue;
          try {
            if (which === 'in') self.midi.inconnect(JSON.stringify(endpoints[i]));
            else self.midi.outconnect(JSON.stringify(endpoints[i]));
            (which === 'in' ? self.inputs : self.outputs).push(endpoints[i]);
          } catch (e) { /* try again on the next change */ }
          break;
        }
      }
    });
    if (!this.midiConnected()) {
      this.disconnected = false;
      this.restart();
    }
  };

  ConnectManager.prototype.connectFailed = function (endpointText) {
    var key;
    try { key = JSON.parse(endpointText).MIDIEndpointUIDKey; } catch (e) { return; }
    var differs = function (e) { return e.MIDIEndpointUIDKey !== key; };
    this.inputs = this.inputs.filter(differs);
    this.outputs = this.outputs.filter(differs);
  };

  ConnectManager.prototype.midiError = function () {
    this.inputs = [];
    this.outputs = [];
  };

  return ConnectManager;
});
