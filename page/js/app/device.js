// Device detection (every 3 s, and at once when volumes or MIDI ports change), the
// connection manager's steps, Disconnect/Connect and Exit.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var texts = A.texts;
  var g = A.g;

  var instrument = {
    compatibleInstruments: T.models.compatibleInstruments,
    volume: '',
    volumeName: '',
    inst: null,
    checkInterval: 3000,
    // While no looper is there, volumes are looked at more often, so that one plugged
    // in is usable within a second or two (a scan without a looper is a few calls).
    searchInterval: 1000,
    storageOnly: T.models.storageOnly(T.models.compatibleInstruments),
    rotation: 0,
    timer: null
  };

  var communicator = new T.sysex.Communicator({
    send: function (hex) { try { N.midi.send(hex); } catch (e) { /* the port went away */ } },
    observer: g.observer
  });
  g.communicator = communicator;

  var manager = new T.ConnectManager({
    midi: N.midi,
    communicator: communicator,
    table: instrument.compatibleInstruments,
    instrument: function () { return instrument.inst; },
    advanced: function () { root.setTimeout(stepNow, 0); }
  });
  g.device = { instrument: instrument, manager: manager };

  var pendingUnmount = null;

  function scanVolumes() {
    var listed = A.files.volumes();
    if (!listed.success || !Array.isArray(listed.data)) return [];
    return listed.data.map(function (v) {
      var mount = A.files.page(v.mount);
      var top = A.files.contents(mount);
      var corvane = top.success && top.data.some(function (e) { return e.name === 'CORVANE'; });
      return { mount: mount, volume: v.volume, corvane: corvane };
    });
  }

  // Unlabelled volumes with a "CORVANE" folder already tried against every storage-only
  // layout (by mount path), so that one that fits none is not listed again every check.
  var unfitting = {};

  // A looper known only by its folders: every storage-only layout is tried at once, so
  // that no wrong model name is shown while they are tried one check after another.
  function recogniseByLayout(found, volumes) {
    var mounts = volumes.map(function (v) { return v.mount; });
    Object.keys(unfitting).forEach(function (m) { if (mounts.indexOf(m) < 0) delete unfitting[m]; });
    if (!found || !found.guessed) return found;
    if (instrument.volume === found.volume && instrument.inst && !instrument.inst.midi) {
      return { volume: found.volume, volName: instrument.volumeName, inst: instrument.inst };
    }
    if (unfitting[found.volume]) return null;
    var row = T.models.fittingStorageModel(instrument.compatibleInstruments, function (candidate) {
      return T.tracks.storageCheck(A.files, found.volume, candidate);
    });
    if (!row) { unfitting[found.volume] = true; return null; }
    return { volume: found.volume, volName: row.volName, inst: row };
  }

  function check() {
    var volumes = scanVolumes();
    var found = recogniseByLayout(T.models.recognise(instrument.compatibleInstruments, volumes, communicator.modelId,
      instrument.rotation), volumes);
    var label = found ? found.volName : '';
    if (label !== instrument.volumeName) {
      instrument.volume = found ? found.volume : '';
      instrument.volumeName = label;
      instrument.inst = found ? found.inst : null;
      var ok = T.tracks.storageCheck(A.files, instrument.volume, instrument.inst);
      manager.mounted = ok;
      // A looper that went away is no storage failure: nothing to give up.
      if (!ok && found) {
        instrument.rotation = T.models.nextRotation(instrument.compatibleInstruments, instrument.rotation);
        storageFailed();
      }
    } else if (found && !manager.mounted && storageGaveUp) {
      // A volume found while it was still being mounted fails its first check: look
      // again, and take the looper up once its folders are all there.
      if (T.tracks.storageCheck(A.files, instrument.volume, instrument.inst)) {
        manager.mounted = true;
        storageGaveUp = false;
        manager.reconnect();
      }
    }
    if (!found) storageGaveUp = false;
    manager.run();
    A.refreshButtons();
    offerTakeOver();
    keepTracks();
  }

  // An answer of the device moved the handshake on: go on without waiting for the check.
  function stepNow() {
    manager.run();
    A.refreshButtons();
    offerTakeOver();
    keepTracks();
  }

  // The track table is read when the looper becomes usable and then follows the host's
  // watch of its wave folder; it goes when the looper does. It is read without blocking
  // the page (the looper is usable meanwhile), with the watch already running, so that
  // a change made while it is read is not missed.
  var watching = '';
  var loadingFor = null;
  function keepTracks() {
    var store = A.trackStore;
    if (!store) return;
    if (manager.usable() && instrument.volume && instrument.inst) {
      if (store.ready(instrument.volume, instrument.inst)) return;
      if (loadingFor && loadingFor.volume === instrument.volume && loadingFor.inst === instrument.inst) return;
      var mine = loadingFor = { volume: instrument.volume, inst: instrument.inst };
      startWatching(A.files.host(T.tracks.waveFolder(mine.volume)));
      store.loadAsync(mine.volume, mine.inst, N.callAsync).then(function (outcome) {
        if (loadingFor !== mine) return;
        loadingFor = null;
        // Not read (the volume is going, say): the next check tries again.
        if (!outcome.success) { stopWatching(); return; }
        g.observer.notify('tracks_changed');
      });
    } else if (store.table || store.busy()) {
      loadingFor = null;
      store.drop();
      stopWatching();
      g.observer.notify('tracks_changed');
    }
  }

  // Starting the watch first clears a dead run's temporaries in the track folders, a
  // moment on a big layout: it runs without blocking the page, as the read after it.
  function startWatching(folder) {
    watching = folder;
    var failed = function () { if (watching === folder) watching = ''; };
    if (typeof N.callAsync !== 'function') {
      try { N.fs.watch(folder); } catch (e) { failed(); }
      return;
    }
    // A stop (or another start) while this one was under way may have reached the host
    // first: the watch the page wants now is asked for again.
    N.callAsync('$$fs_watch', folder).catch(failed).then(function () {
      if (watching === folder) return;
      try { N.fs.watch(watching); } catch (e) { watching = ''; }
    });
  }

  function stopWatching() {
    if (!watching) return;
    watching = '';
    try { N.fs.watch(''); } catch (e) { /* nothing watched */ }
  }

  N.fs.event.watch = function (list) {
    var folders = [];
    try { folders = JSON.parse(list); } catch (e) { return; }
    if (!Array.isArray(folders) || !A.trackStore) return;
    if (A.trackStore.changed(folders.map(function (f) { return A.files.page(f); }))) g.observer.notify('tracks_changed');
  };

  // A looper found in edit mode was left so by a run of Tarn that ended without leaving
  // it (or by another program): ask once before taking it over.
  var takeOverAsked = false;
  function offerTakeOver() {
    if (!manager.foundInEditMode) { takeOverAsked = false; return; }
    if (takeOverAsked) return;
    takeOverAsked = true;
    askTakeOver();
  }

  function askTakeOver() {
    var inst = instrument.inst;
    var name = inst ? inst.name : 'The looper';
    T.ui.dialog({
      title: texts['Looper in edit mode'],
      id: 'takeover-dialog',
      body: name + ' ' + texts.takeOverQuestion,
      buttons: [
        { label: texts['Take over'], primary: true, id: 'takeover-confirm', action: takeOver },
        { label: texts.Cancel, id: 'takeover-cancel' }
      ]
    });
  }

  function takeOver() {
    manager.takeOver();
    A.refreshButtons();
  }

  // The recognised storage is not what the model needs: give the device up, but leave
  // the volume mounted (it may simply be another model's, tried next).
  var storageGaveUp = false;
  function storageFailed() {
    storageGaveUp = true;
    manager.disconnected = true;
    manager.leave();
  }

  function startChecking() {
    stopChecking();
    var interval = instrument.inst ? instrument.checkInterval : instrument.searchInterval;
    instrument.timer = root.setTimeout(function () {
      instrument.timer = null;
      check();
      if (instrument.timer === null && !paused) startChecking();
    }, interval);
  }

  var paused = false;
  function stopChecking() {
    if (instrument.timer !== null) root.clearTimeout(instrument.timer);
    instrument.timer = null;
  }

  function unmount(volume, done) {
    var path = A.files.host(volume);
    pendingUnmount = { path: path, done: done };
    try {
      N.fs.unmount(path);
    } catch (e) {
      pendingUnmount = null;
      done(false, e.message);
    }
  }

  N.fs.event.unmounted = function (path) {
    var p = pendingUnmount;
    if (!p || p.path !== path) return;
    pendingUnmount = null;
    p.done(true);
  };

  N.fs.event.unmountfailed = function (path, reason) {
    var p = pendingUnmount;
    if (!p || p.path !== path) return;
    pendingUnmount = null;
    p.done(false, reason);
  };

  // The player keeps the last previewed file open until it opens another one; an open
  // file keeps the volume busy, so it is let go before the volume is released.
  function releasePlayer() {
    try {
      N.player.stop();
      if (N.player.file()) N.player.open('');
    } catch (e) { /* no player */ }
  }

  // Releases the volume when the page holds it, then leaves edit mode, whether or not
  // the volume could be released: a looper kept in edit mode is locked for its owner.
  function disconnectVolume(volume, done) {
    if ((manager.holdsEditMode() || manager.mountedSelf) && volume) {
      releasePlayer();
      stopWatching();
      unmount(volume, function (ok, reason) {
        manager.leave();
        if (!ok) {
          T.ui.message(T.ui.withReason(texts.releaseFailed, reason), '', texts);
          done(false, reason);
          return;
        }
        done(true);
      });
    } else {
      releasePlayer();
      manager.leave();
      done(true);
    }
  }

  function disconnect(done) {
    stopChecking();
    paused = true;
    check();
    var finish = function (ok) {
      paused = false;
      startChecking();
      A.refreshButtons();
      if (done) done(ok);
    };
    if (!instrument.volume) {
      // No volume (any more), but the device may still be in edit mode.
      if (manager.holdsEditMode()) manager.leave();
      finish(true);
      return;
    }
    disconnectVolume(instrument.volume, finish);
  }

  // Calls back once every queued message went out and the device confirmed leaving edit
  // mode (at most maxMs later).
  function whenSent(maxMs, then) {
    var end = Date.now() + maxMs;
    (function wait() {
      if ((communicator.queue.length === 0 && !manager.leaving) || Date.now() > end) then();
      else root.setTimeout(wait, 20);
    })();
  }

  function onDisconnectButton() {
    if (manager.offersReconnect()) {
      T.ui.confirm('', texts['Connect?'], texts, function () {
        manager.reconnect();
        stepNow();
      });
    } else {
      T.ui.confirm('', texts['Disconnect?'], texts, function () { disconnect(); });
    }
  }

  var exiting = false;
  A.procedures.exit = function () {
    if (exiting) return;
    exiting = true;
    if (A.jobs && A.jobs.cancelAll) A.jobs.cancelAll();
    disconnect(function () {
      root.setTimeout(function () { whenSent(2000, function () { N.app.exit(); }); }, 500);
    });
  };

  N.midi.event.message = function (hex) { communicator.receive(hex); };
  N.midi.event.changed = function () { g.observer.notify('mididev_changed'); };
  // The host tells at once when a volume is mounted or released: no wait for the next check.
  N.fs.event.volumeschanged = function () { if (started && !paused) check(); };
  N.midi.event.connectfailed = function (endpoint) { manager.connectFailed(endpoint); };
  N.midi.event.error = function () { manager.midiError(); };

  var started = false;
  function start() {
    started = true;
    g.observer.append('mididev_changed', 'connectManager', function () {
      manager.midiChanged();
      A.refreshButtons();
      // A looper's ports came (or went): look at once rather than at the next check.
      if (!paused) check();
    });
    root.setInterval(function () { communicator.tick(); }, T.sysex.SEND_INTERVAL_MS);
    check();
    startChecking();
  }

  A.device = {
    instrument: instrument,
    manager: manager,
    communicator: communicator,
    check: check,
    start: start,
    disconnect: disconnect,
    onDisconnectButton: onDisconnectButton,
    askTakeOver: askTakeOver,
    keepTracks: keepTracks
  };
})(typeof self !== 'undefined' ? self : this);
