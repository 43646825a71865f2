// Device detection without a window: the volumes are scanned, the looper recognised
// (by label, by its "CORVANE" folder and MIDI model ID, or by trying the storage-only
// layouts), and the connection manager stepped on every check (every 3 s, every second
// while no looper is there, and at once when volumes or MIDI ports change). Used by the
// window and by the command line alike.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./models.js'), require('./sysex.js'), require('./tracks.js'),
      require('./connection.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.Detector = factory(T.models, T.sysex, T.tracks, T.ConnectManager);
  }
})(typeof self !== 'undefined' ? self : this, function (models, sysex, tracks, ConnectManager) {
  'use strict';

  var global = typeof globalThis !== 'undefined' ? globalThis : self;

  // options: native ({midi, fs}: the bridge modules), files (the page's Files layer);
  // optional: table (model rows), observer (told of device messages no read waits
  // for), onCheck() (after every check and every step an answer of the device moved
  // on), only (a mount path: the other volumes are not looked at), later(func, ms) /
  // cancel(id) / every(func, ms) / stopEvery(id) (timers; the global ones by default).
  function Detector(options) {
    var self = this;
    var table = options.table || models.compatibleInstruments;
    this.native = options.native;
    this.files = options.files;
    this.onCheck = options.onCheck || function () {};
    this.later = options.later || function (func, ms) { return global.setTimeout(func, ms); };
    this.cancel = options.cancel || function (id) { global.clearTimeout(id); };
    this.every = options.every || function (func, ms) { return global.setInterval(func, ms); };
    this.stopEvery = options.stopEvery || function (id) { global.clearInterval(id); };
    this.only = options.only || '';
    this.instrument = {
      compatibleInstruments: table,
      volume: '',
      volumeName: '',
      inst: null,
      checkInterval: 3000,
      // While no looper is there, volumes are looked at more often, so that one plugged
      // in is usable within a second or two (a scan without a looper is a few calls).
      searchInterval: 1000,
      storageOnly: models.storageOnly(table),
      rotation: 0,
      timer: null
    };
    var midi = this.native.midi;
    this.communicator = new sysex.Communicator({
      send: function (hex) { try { midi.send(hex); } catch (e) { /* the port went away */ } },
      observer: options.observer || null
    });
    var managerOptions = {
      midi: midi,
      communicator: this.communicator,
      table: table,
      instrument: function () { return self.instrument.inst; },
      advanced: function () { self.later(function () { self.stepNow(); }, 0); }
    };
    if (options.later) managerOptions.later = options.later;
    this.manager = new ConnectManager(managerOptions);
    // Unlabelled volumes with a "CORVANE" folder already tried against every storage-only
    // layout (by mount path), so that one that fits none is not listed again every check.
    this.unfitting = {};
    // The recognised storage failed its check and the device was given up.
    this.storageGaveUp = false;
    this.paused = false;
    this.started = false;
    this.ticker = null;
  }

  Detector.prototype.scanVolumes = function () {
    var files = this.files;
    var only = this.only;
    var listed = files.volumes();
    if (!listed.success || !Array.isArray(listed.data)) return [];
    return listed.data.filter(function (v) { return !only || files.page(v.mount) === only; }).map(function (v) {
      var mount = files.page(v.mount);
      var top = files.contents(mount);
      var corvane = top.success && top.data.some(function (e) { return e.name === 'CORVANE'; });
      return { mount: mount, volume: v.volume, corvane: corvane };
    });
  };

  // A looper known only by its folders: every storage-only layout is tried at once, so
  // that no wrong model name is shown while they are tried one check after another.
  Detector.prototype.recogniseByLayout = function (found, volumes) {
    var instrument = this.instrument;
    var unfitting = this.unfitting;
    var files = this.files;
    var mounts = volumes.map(function (v) { return v.mount; });
    Object.keys(unfitting).forEach(function (m) { if (mounts.indexOf(m) < 0) delete unfitting[m]; });
    if (!found || !found.guessed) return found;
    if (instrument.volume === found.volume && instrument.inst && !instrument.inst.midi) {
      return { volume: found.volume, volName: instrument.volumeName, inst: instrument.inst };
    }
    if (unfitting[found.volume]) return null;
    var row = models.fittingStorageModel(instrument.compatibleInstruments, function (candidate) {
      return tracks.storageCheck(files, found.volume, candidate);
    });
    if (!row) { unfitting[found.volume] = true; return null; }
    return { volume: found.volume, volName: row.volName, inst: row };
  };

  // Every volume that is a looper's, with the model it is taken for; nothing is changed
  // (a listing for the user, whatever the current check follows).
  Detector.prototype.survey = function () {
    var self = this;
    var table = this.instrument.compatibleInstruments;
    var found = [];
    this.scanVolumes().forEach(function (volume) {
      var row = models.byVolName(table, volume.volume);
      if (!row && volume.corvane) {
        row = models.fittingStorageModel(table, function (candidate) {
          return tracks.storageCheck(self.files, volume.mount, candidate);
        });
      }
      if (row) found.push({ volume: volume.mount, volName: volume.volume, inst: row });
    });
    return found;
  };

  Detector.prototype.check = function () {
    var instrument = this.instrument;
    var manager = this.manager;
    var volumes = this.scanVolumes();
    var found = this.recogniseByLayout(models.recognise(instrument.compatibleInstruments, volumes,
      this.communicator.modelId, instrument.rotation), volumes);
    var label = found ? found.volName : '';
    if (label !== instrument.volumeName) {
      instrument.volume = found ? found.volume : '';
      instrument.volumeName = label;
      instrument.inst = found ? found.inst : null;
      var ok = tracks.storageCheck(this.files, instrument.volume, instrument.inst);
      manager.mounted = ok;
      // A looper that went away is no storage failure: nothing to give up.
      if (!ok && found) {
        instrument.rotation = models.nextRotation(instrument.compatibleInstruments, instrument.rotation);
        this.storageFailed();
      }
    } else if (found && !manager.mounted && this.storageGaveUp) {
      // A volume found while it was still being mounted fails its first check: look
      // again, and take the looper up once its folders are all there.
      if (tracks.storageCheck(this.files, instrument.volume, instrument.inst)) {
        manager.mounted = true;
        this.storageGaveUp = false;
        manager.reconnect();
      }
    }
    if (!found) this.storageGaveUp = false;
    manager.run();
    this.onCheck();
  };

  // An answer of the device moved the handshake on: go on without waiting for the check.
  Detector.prototype.stepNow = function () {
    this.manager.run();
    this.onCheck();
  };

  // The recognised storage is not what the model needs: give the device up, but leave
  // the volume mounted (it may simply be another model's, tried next).
  Detector.prototype.storageFailed = function () {
    this.storageGaveUp = true;
    this.manager.disconnected = true;
    this.manager.leave();
  };

  Detector.prototype.startChecking = function () {
    var self = this;
    var instrument = this.instrument;
    this.stopChecking();
    var interval = instrument.inst ? instrument.checkInterval : instrument.searchInterval;
    instrument.timer = this.later(function () {
      instrument.timer = null;
      self.check();
      if (instrument.timer === null && !self.paused) self.startChecking();
    }, interval);
  };

  Detector.prototype.stopChecking = function () {
    var instrument = this.instrument;
    if (instrument.timer !== null) this.cancel(instrument.timer);
    instrument.timer = null;
  };

  // The host tells at once when a volume is mounted or released: no wait for the next check.
  Detector.prototype.volumesChanged = function () {
    if (this.started && !this.paused) this.check();
  };

  // A looper's ports came (or went): look at once rather than at the next check.
  Detector.prototype.midiChanged = function () {
    this.manager.midiChanged();
    if (!this.paused) this.check();
  };

  // Calls back once every queued message went out and the device confirmed leaving edit
  // mode (at most maxMs later).
  Detector.prototype.whenSent = function (maxMs, then) {
    var self = this;
    var end = Date.now() + maxMs;
    (function wait() {
      if ((self.communicator.queue.length === 0 && !self.manager.leaving) || Date.now() > end) then();
      else self.later(wait, 20);
    })();
  };

  // Paces the device messages and starts the checks, the first one at once.
  Detector.prototype.start = function () {
    var communicator = this.communicator;
    this.started = true;
    this.ticker = this.every(function () { communicator.tick(); }, sysex.SEND_INTERVAL_MS);
    this.check();
    this.startChecking();
  };

  // No more checks nor messages (what is still queued is not sent).
  Detector.prototype.stop = function () {
    this.paused = true;
    this.stopChecking();
    if (this.ticker !== null) this.stopEvery(this.ticker);
    this.ticker = null;
  };

  // The bridge's MIDI and volume events straight into the detector (where no observer
  // of the page's sits in between).
  Detector.prototype.listen = function () {
    var self = this;
    var midiEvents = this.native.midi.event;
    var fsEvents = this.native.fs.event;
    midiEvents.message = function (hex) { self.communicator.receive(hex); };
    midiEvents.changed = function () { if (self.started) self.midiChanged(); };
    midiEvents.connectfailed = function (endpoint) { self.manager.connectFailed(endpoint); };
    midiEvents.error = function () { self.manager.midiError(); };
    fsEvents.volumeschanged = function () { self.volumesChanged(); };
  };

  return Detector;
});
