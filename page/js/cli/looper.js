// The command line's hold on a looper: waits for one, puts it into edit mode through
// the connection manager (the window's own handshake, by way of Tarn.Detector), and
// leaves edit mode again, waiting until the device says it is off. Also reads a
// looper's edit mode for the device list without changing it.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('../tarn/models.js'), require('../tarn/sysex.js'), require('../tarn/detector.js'),
      require('../tarn/connection.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.CliLooper = factory(T.models, T.sysex, T.Detector, T.ConnectManager);
  }
})(typeof self !== 'undefined' ? self : this, function (models, sysex, Detector, ConnectManager) {
  'use strict';

  var global = typeof globalThis !== 'undefined' ? globalThis : self;
  var PHASE = ConnectManager.PHASE;
  var EDIT = sysex.EDIT_MODE_ADDRESS;
  var POLL_MS = 250;
  var READ_MS = 1500;
  var LEAVE_MS = 3000;
  var CONFIRM_MS = 2000;

  // options: native ($native), files (Files), texts (Tarn.texts); optional: table,
  // later/cancel/every/stopEvery (timers), now() (ms).
  function CliLooper(options) {
    this.native = options.native;
    this.files = options.files;
    this.texts = options.texts;
    this.table = options.table || models.compatibleInstruments;
    this.later = options.later || function (f, ms) { return global.setTimeout(f, ms); };
    this.cancel = options.cancel || function (id) { global.clearTimeout(id); };
    this.every = options.every || function (f, ms) { return global.setInterval(f, ms); };
    this.stopEvery = options.stopEvery || function (id) { global.clearInterval(id); };
    this.now = options.now || function () { return Date.now(); };
    this.detector = null;
    this.waiting = null;
  }

  CliLooper.prototype.timers = function () {
    return { later: this.later, cancel: this.cancel, every: this.every, stopEvery: this.stopEvery };
  };

  // The connected loopers in the order `tarn devices` lists them: [{volume, volName, inst}].
  CliLooper.prototype.survey = function () {
    var d = new Detector({ native: this.native, files: this.files, table: this.table });
    return d.survey();
  };

  // Calls done(null, looper) once looper number `index` (1-based) is there, or
  // done(text) after ms.
  CliLooper.prototype.wait = function (index, ms, done) {
    var self = this;
    var end = this.now() + ms;
    var over = false;
    var timer = null;
    var look = function () {
      if (over) return;
      timer = null;
      var found = self.survey();
      if (found.length >= index) { over = true; self.waiting = null; done(null, found[index - 1]); return; }
      if (self.now() >= end) {
        over = true;
        self.waiting = null;
        done(found.length === 0 ? self.texts.noLooper
          : 'There is no looper ' + index + ': ' + found.length + ' connected.');
        return;
      }
      timer = self.later(look, POLL_MS);
    };
    // A volume mounted meanwhile is looked at at once.
    this.waiting = function () { if (timer !== null) { self.cancel(timer); look(); } };
    this.native.fs.event.volumeschanged = function () { if (self.waiting) self.waiting(); };
    look();
  };

  // Connects to the looper found by wait() and puts it into edit mode (MIDI models);
  // done(null) once it is usable, done(text, {editModeLeft}) when it is not within ms.
  CliLooper.prototype.connect = function (looper, takeOver, ms, done) {
    var self = this;
    var texts = this.texts;
    var end = this.now() + ms;
    var over = false;
    var tookOver = false;
    var timer = null;
    var finish = function (text, extra) {
      if (over) return;
      over = true;
      if (timer !== null) self.cancel(timer);
      timer = null;
      done(text, extra || {});
    };
    var options = this.timers();
    options.native = this.native;
    options.files = this.files;
    options.table = [looper.inst];
    options.only = looper.volume;
    options.onCheck = function () {
      if (over) return;
      var manager = detector.manager;
      if (manager.usable()) { finish(null); return; }
      if (manager.foundInEditMode && !tookOver) {
        if (!takeOver) {
          finish(looper.inst.name + ' ' + texts.inEditMode + '. Run the command again with --take-over to ' +
            'take it over (Tarn switches edit mode off and on again).', { editModeLeft: true });
          return;
        }
        tookOver = manager.takeOver();
      }
    };
    var detector = this.detector = new Detector(options);
    detector.listen();
    var deadline = function () {
      timer = null;
      if (over) return;
      if (self.now() < end) { timer = self.later(deadline, POLL_MS); return; }
      finish(self.failureText(detector, looper));
    };
    timer = this.later(deadline, POLL_MS);
    detector.start();
  };

  // Why a looper did not become usable in time, by how far the handshake got.
  CliLooper.prototype.failureText = function (detector, looper) {
    var manager = detector.manager;
    var name = looper.inst.name;
    if (!detector.instrument.inst) return this.texts.noLooper;
    if (!manager.mounted) return 'The volume of the ' + name + ' does not hold every track folder of its layout.';
    if (manager.phase === PHASE.WAIT_MIDI_CONNECTION) {
      return 'The ' + name + ' was found, but not its MIDI ports (' + looper.inst.midi.portName + ').';
    }
    // Not a single answer to the edit-mode read: a looper that does not answer is no
    // looper that refused edit mode (one still in it from before would have said so).
    if (manager.phase === PHASE.CHECK_EDIT_MODE ||
      (manager.phase === PHASE.WAIT_EDIT_MODE_OFF && !manager.foundInEditMode)) {
      return 'The ' + name + ' did not answer on its MIDI ports (' + looper.inst.midi.portName + ').';
    }
    return 'The ' + name + ' did not switch to edit mode.';
  };

  CliLooper.prototype.holdsEditMode = function () {
    return !!(this.detector && this.detector.manager.holdsEditMode());
  };

  // Leaves edit mode when this run holds it (or may: "on" was written) through the
  // manager, asks the device until it answers "off" (at most a few seconds), then lets
  // the MIDI ports go.
  // done(left): false when the device never confirmed.
  CliLooper.prototype.leave = function (done) {
    var self = this;
    var detector = this.detector;
    if (!detector) { done(true); return; }
    this.detector = null;
    detector.stopChecking();
    detector.paused = true;
    var manager = detector.manager;
    var communicator = detector.communicator;
    if (!manager.holdsEditMode()) {
      detector.stop();
      manager.disconnectMidi();
      done(true);
      return;
    }
    var end = 0;
    var over = false;
    var end_ = function (left) {
      if (over) return;
      over = true;
      detector.stop();
      manager.disconnectMidi();
      done(left);
    };
    manager.leave();
    var asked = 0;
    var ask = function () {
      if (over) return;
      if (self.now() >= end) { end_(false); return; }
      var mine = ++asked;
      communicator.dropTransactions();
      communicator.read(EDIT, 1, function (data) {
        if (mine !== asked) return false;
        if (data[0] === sysex.EDIT_MODE.OFF) { end_(true); return false; }
        if (data[0] === sysex.EDIT_MODE.ON) communicator.write(EDIT, [sysex.EDIT_MODE.OFF]);
        asked++;
        self.later(ask, 100);
        return false;
      });
      // No answer: ask again.
      self.later(function () { if (mine === asked) ask(); }, 500);
    };
    // The manager writes off until the device confirms it (or gives up); then it is
    // asked once more here, so that the run can tell whether it really is off.
    detector.whenSent(LEAVE_MS, function () {
      end = self.now() + CONFIRM_MS;
      ask();
    });
  };

  // The edit mode of a MIDI looper (0 off, 1 on), read without changing it; -1 when it
  // has no MIDI, its ports are not there or it does not answer. done(value, ports).
  CliLooper.prototype.readEditMode = function (row, done) {
    var self = this;
    var midi = this.native.midi;
    var ports = { midiIn: '', midiOut: '' };
    if (!row.midi) { done(-1, ports); return; }
    var find = function (text) {
      var list = [];
      try { list = JSON.parse(text()); } catch (e) { list = []; }
      if (!Array.isArray(list)) return null;
      for (var i = 0; i < list.length; i++) if (list[i].MIDIDeviceNameKey === row.midi.portName) return list[i];
      return null;
    };
    var input = find(function () { return midi.inendpoints(); });
    var output = find(function () { return midi.outendpoints(); });
    if (input) ports.midiIn = input.MIDIDeviceNameKey;
    if (output) ports.midiOut = output.MIDIDeviceNameKey;
    if (!input || !output) { done(-1, ports); return; }
    try {
      midi.inconnect(JSON.stringify(input));
      midi.outconnect(JSON.stringify(output));
    } catch (e) {
      try { midi.indisconnect(); midi.outdisconnect(); } catch (e2) { /* nothing connected */ }
      done(-1, ports);
      return;
    }
    var communicator = new sysex.Communicator({ send: function (hex) { try { midi.send(hex); } catch (e) { /* gone */ } } });
    communicator.setModelId(row.midi.modelID);
    this.native.midi.event.message = function (hex) { communicator.receive(hex); };
    var ticker = this.every(function () { communicator.tick(); }, sysex.SEND_INTERVAL_MS);
    var over = false;
    var end = this.now() + READ_MS;
    var finish = function (value) {
      if (over) return;
      over = true;
      self.stopEvery(ticker);
      try { midi.indisconnect(); } catch (e) { /* nothing connected */ }
      try { midi.outdisconnect(); } catch (e) { /* nothing connected */ }
      done(value, ports);
    };
    var asked = 0;
    var ask = function () {
      if (over) return;
      if (self.now() >= end) { finish(-1); return; }
      var mine = ++asked;
      communicator.dropTransactions();
      communicator.read(EDIT, 1, function (data) {
        if (mine !== asked) return false;
        asked++;
        // Busy: it is switching; ask again.
        if (data[0] === sysex.EDIT_MODE.BUSY) { self.later(ask, 100); return false; }
        finish(data[0] === sysex.EDIT_MODE.ON ? 1 : 0);
        return false;
      });
      self.later(function () { if (mine === asked) ask(); }, 400);
    };
    ask();
  };

  return CliLooper;
});
