// The connection manager: finds the looper's MIDI ports, switches the device into edit
// mode and waits for its storage, one step per device check.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./sysex.js'));
  else (root.Tarn = root.Tarn || {}).ConnectManager = factory(root.Tarn.sysex);
})(typeof self !== 'undefined' ? self : this, function (sysex) {
  'use strict';

  var PHASE = {
    WAIT_MIDI_CONNECTION: 0, CHECK_EDIT_MODE: 1, WAIT_EDIT_MODE_OFF: 2, SET_EDIT_MODE_ON: 3,
    WAIT_EDIT_MODE_ON: 4, WAIT_MOUNTING: 5, CONNECTED: 6,
    // A take-over: the earlier session's edit mode is being switched off.
    SWITCH_EDIT_MODE_OFF: 7
  };
  var EDIT = sysex.EDIT_MODE_ADDRESS;

  var BUSY_RETRY_MS = 100;
  var OFF_ATTEMPTS = 3;
  var OFF_READS = 20;
  var NO_ANSWER_MS = 400;
  var ACTS_AT_ONCE = {};
  ACTS_AT_ONCE[PHASE.CHECK_EDIT_MODE] = true;
  ACTS_AT_ONCE[PHASE.SET_EDIT_MODE_ON] = true;
  ACTS_AT_ONCE[PHASE.WAIT_MOUNTING] = true;

  // options: midi (the bridge's midi module), communicator, table (model rows),
  // instrument() (the recognised model row or null); optional: advanced() (called when
  // an answer of the device moved the phase on, so the owner can step at once),
  // later(func, ms) (a timer; setTimeout by default).
  function ConnectManager(options) {
    this.midi = options.midi;
    this.communicator = options.communicator;
    this.table = options.table;
    this.instrument = options.instrument;
    this.advanced = options.advanced || function () {};
    this.later = options.later || function (func, ms) { return setTimeout(func, ms); };
    // Edit mode on was written and not yet taken back: leaving must write it off.
    this.editModeWritten = false;
    // Set while leaving waits for the device to confirm edit mode off.
    this.leaving = null;
    // Ends the switch-off under way, if any, without its then().
    this.stopSwitchingOff = null;
    // The device answered "edit mode on" before this run asked for it (an earlier run
    // ended without leaving it): the user is asked before it is taken over.
    this.foundInEditMode = false;
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
    // A switch-off still under way would write off over the next handshake's on.
    if (this.stopSwitchingOff) {
      this.stopSwitchingOff();
      this.leaving = null;
    }
    this.phase = PHASE.WAIT_MIDI_CONNECTION;
    this.mountedSelf = false;
    this.editMode = false;
    this.foundInEditMode = false;
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
    this.editModeWritten = value === sysex.EDIT_MODE.ON;
    this.communicator.write(EDIT, [value]);
  };

  // Steps until the phase stops moving: a device that answers at once is usable after
  // one check instead of one check per phase. True when anything changed.
  ConnectManager.prototype.run = function () {
    var changed = false;
    for (var i = 0; i < 7; i++) {
      var before = this.phase;
      if (this.step()) changed = true;
      // The waiting phases ask the device again on each step: only the acting ones go on.
      if (this.phase === before || !ACTS_AT_ONCE[this.phase]) break;
    }
    return changed;
  };

  // The user agreed to take over a looper left in edit mode: off, then on again.
  // The off is confirmed before on is written: a message lost on the way (MIDI drops
  // what a busy bus cannot carry) would otherwise leave the earlier session's edit mode
  // standing as if it were this run's.
  ConnectManager.prototype.takeOver = function () {
    if (this.phase !== PHASE.WAIT_EDIT_MODE_OFF || !this.foundInEditMode) return false;
    var self = this;
    this.foundInEditMode = false;
    this.communicator.dropTransactions();
    this.phase = PHASE.SWITCH_EDIT_MODE_OFF;
    this.switchOff(function () {
      if (self.phase !== PHASE.SWITCH_EDIT_MODE_OFF) return;
      self.phase = PHASE.SET_EDIT_MODE_ON;
      self.run();
      self.advanced();
    });
    return true;
  };

  // Writes edit mode off and reads it back until the device no longer answers "on":
  // written again when it still does, asked again while it is busy, at most
  // OFF_ATTEMPTS writes and OFF_READS reads. then() runs once, whatever the outcome.
  // A request or its answer may be lost on the way (MIDI drops what a busy bus or a
  // late device cannot take): a read left unanswered for NO_ANSWER_MS counts as lost,
  // and the off is written again (it may have gone the same way) or, once written
  // often enough, asked for again. A restart (or another switch-off) ends it.
  ConnectManager.prototype.switchOff = function (then) {
    var self = this;
    var communicator = this.communicator;
    var writes = 0;
    var reads = 0;
    var heard = 0;  // the number of reads made when the last answer came
    var finished = false;
    var stop = function () {
      if (finished) return false;
      finished = true;
      communicator.forget(answered);
      if (self.stopSwitchingOff === stop) self.stopSwitchingOff = null;
      return true;
    };
    var finish = function () { if (stop()) then(); };
    // Every read of this switch-off answers here: an answer that comes late to an
    // earlier read still counts, and the reads' transactions go when it ends.
    var answered = function (data) {
      if (finished) return false;
      heard = reads;
      if (data[0] === sysex.EDIT_MODE.OFF || reads >= OFF_READS) {
        finish();
      } else if (data[0] === sysex.EDIT_MODE.ON && writes < OFF_ATTEMPTS) {
        write();
      } else if (data[0] === sysex.EDIT_MODE.ON) {
        finish();
      } else {
        // Busy with the write: it was received; ask again shortly.
        var busyAt = reads;
        self.later(function () { if (!finished && reads === busyAt) ask(); }, BUSY_RETRY_MS);
      }
      return false;
    };
    var write = function () {
      writes++;
      self.writeEditMode(sysex.EDIT_MODE.OFF);
      ask();
    };
    var ask = function () {
      var mine = ++reads;
      self.readEditMode(answered);
      self.later(function () {
        if (finished || reads !== mine || heard >= mine) return;
        if (writes < OFF_ATTEMPTS) write();
        else if (reads < OFF_READS) ask();
      }, NO_ANSWER_MS);
    };
    if (this.stopSwitchingOff) this.stopSwitchingOff();
    this.stopSwitchingOff = stop;
    write();
    // A device that stops answering altogether does not keep the caller waiting.
    this.later(finish, BUSY_RETRY_MS * (OFF_READS + 1));
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
        if (!this.midiConnected()) {
          this.connectSide('in');
          this.connectSide('out');
        }
        if (this.midiConnected()) {
          this.communicator.setModelId(this.targetMidi && this.targetMidi.midi.modelID);
          this.phase = PHASE.CHECK_EDIT_MODE;
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
          self.foundInEditMode = false;
          self.advanced();
          return false;
        }
        if (data[0] === sysex.EDIT_MODE.ON && self.phase === PHASE.WAIT_EDIT_MODE_OFF && self.editModeWritten) {
          // This run switched it on and never off (the ports came back, say): it is ours.
          self.editMode = true;
          self.phase = PHASE.WAIT_MOUNTING;
          self.advanced();
          return false;
        }
        if (data[0] === sysex.EDIT_MODE.ON && self.phase === PHASE.WAIT_EDIT_MODE_OFF && !self.foundInEditMode) {
          self.foundInEditMode = true;
          self.advanced();
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
          self.advanced();
          return false;
        }
        if (data[0] === sysex.EDIT_MODE.OFF) self.writeEditMode(sysex.EDIT_MODE.ON);
        // Busy (or just written again): ask again shortly rather than at the next check.
        self.later(function () {
          if (self.phase === PHASE.WAIT_EDIT_MODE_ON) self.readEditMode();
        }, BUSY_RETRY_MS);
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
    this.leaving = null;
    this.restart();
  };

  // True when leaving must tell the device: edit mode is on, or on was written and the
  // answer has not come yet.
  ConnectManager.prototype.holdsEditMode = function () {
    return this.editMode || (this.editModeWritten && this.midiConnected());
  };

  // Leaves edit mode (or drops the MIDI ports when edit mode is off) after the page
  // released the storage, or failed to: a volume still mounted must not keep the
  // looper locked in edit mode.
  ConnectManager.prototype.leave = function () {
    var self = this;
    if (this.holdsEditMode()) {
      this.editMode = false;
      this.disconnected = true;
      this.communicator.dropTransactions();
      var leaving = this.leaving = {};
      this.switchOff(function () {
        if (self.leaving !== leaving) return;
        self.leaving = null;
        self.restart();
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
