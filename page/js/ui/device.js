// The window's side of device detection (the checks themselves are Tarn.Detector's):
// the track table kept while a looper is usable, take-over, Disconnect/Connect and Exit.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var texts = A.texts;
  var g = A.g;

  var detector = new T.Detector({
    native: N,
    // The page's file layer is made at start-up, after this script: set in start().
    files: null,
    observer: g.observer,
    onCheck: function () {
      A.refreshButtons();
      offerTakeOver();
      keepTracks();
    }
  });
  var instrument = detector.instrument;
  var communicator = detector.communicator;
  g.communicator = communicator;
  var manager = detector.manager;
  g.device = { instrument: instrument, manager: manager };

  var pendingUnmount = null;
  var pendingMount = null;
  // True once Disconnect has left edit mode and released the volume: the looper may go.
  var released = false;
  // The host path of the volume Disconnect released, for Connect to mount again.
  var releasedPath = '';

  function check() { detector.check(); }

  function stepNow() { detector.stepNow(); }

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
      // What a killed run left on this looper (a restore's set-aside tracks among it).
      T.cleanup.looper(A.files, mine.volume, { busy: A.jobs && A.jobs.busy() });
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

  // Connect after a Disconnect that released the volume: the host mounts it again when
  // its drive is still there; otherwise the looper has to be plugged in again.
  function remount(done) {
    var path = releasedPath;
    pendingMount = { path: path, done: done };
    try {
      N.fs.mount(path);
    } catch (e) {
      pendingMount = null;
      done(false, e.message);
    }
  }

  N.fs.event.mounted = function (path) {
    var p = pendingMount;
    if (!p || p.path !== path) return;
    pendingMount = null;
    p.done(true);
  };

  N.fs.event.mountfailed = function (path, reason) {
    var p = pendingMount;
    if (!p || p.path !== path) return;
    pendingMount = null;
    p.done(false, reason);
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
        released = ok;
        releasedPath = ok ? A.files.host(volume) : '';
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
    released = false;
    detector.stopChecking();
    detector.paused = true;
    check();
    var finish = function (ok) {
      detector.paused = false;
      detector.startChecking();
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

  // The question says what Disconnect does: edit mode ends and the volume goes, after
  // which the looper can be unplugged.
  function disconnectQuestion() {
    var volume = instrument.volume ? T.tracks.lastSegment(String(instrument.volume).replace(/\/+$/, '')) : '';
    if (volume) return 'Leave edit mode and eject ' + volume + '? You can then unplug the looper.';
    return 'Leave edit mode on ' + (instrument.inst ? instrument.inst.name : 'the looper') + '? You can then unplug it.';
  }

  function onDisconnectButton() {
    if (manager.offersReconnect()) {
      var reconnect = function () {
        released = false;
        releasedPath = '';
        manager.reconnect();
        stepNow();
      };
      T.ui.confirm('Connect', 'Put the looper into edit mode again?', texts, function () {
        if (!released || !releasedPath) { reconnect(); return; }
        // Without its volume the looper would sit in edit mode while the page shows none:
        // edit mode comes back only with the volume.
        remount(function (ok, reason) {
          if (ok) { reconnect(); return; }
          T.ui.message(T.ui.withReason('The looper could not be connected again.', reason), '', texts);
          A.refreshButtons();
        });
      }, { ok: 'Connect' });
    } else {
      T.ui.confirm('Disconnect', disconnectQuestion(), texts, function () { disconnect(); },
        { ok: 'Disconnect', destructive: true });
    }
  }

  var exiting = false;
  A.procedures.exit = function () {
    if (exiting) return;
    exiting = true;
    if (A.jobs && A.jobs.cancelAll) A.jobs.cancelAll();
    var volume = instrument.volume ? T.tracks.lastSegment(String(instrument.volume).replace(/\/+$/, '')) : '';
    disconnect(function () {
      // The last word (a browser tab keeps it after the host has gone).
      if (released && A.showNote) {
        A.showNote('Left edit mode' + (volume ? ' and ejected ' + volume : '') + '. You can unplug the looper.', 0);
      }
      root.setTimeout(function () { detector.whenSent(2000, function () { N.app.exit(); }); }, 500);
    });
  };

  N.midi.event.message = function (hex) { communicator.receive(hex); };
  N.midi.event.changed = function () { g.observer.notify('mididev_changed'); };
  // The host tells at once when a volume is mounted or released: no wait for the next check.
  N.fs.event.volumeschanged = function () { detector.volumesChanged(); };
  N.midi.event.connectfailed = function (endpoint) { manager.connectFailed(endpoint); };
  N.midi.event.error = function () { manager.midiError(); };

  function start() {
    detector.files = A.files;
    g.observer.append('mididev_changed', 'connectManager', function () {
      manager.midiChanged();
      A.refreshButtons();
      // A looper's ports came (or went): look at once rather than at the next check.
      if (!detector.paused) check();
    });
    detector.start();
  }

  A.device = {
    instrument: instrument,
    manager: manager,
    communicator: communicator,
    check: check,
    start: start,
    disconnect: disconnect,
    onDisconnectButton: onDisconnectButton,
    safeToUnplug: function () { return released; },
    // The model of a looper whose MIDI ports are taken up while no volume of it is there
    // (its storage did not come, or was ejected); null otherwise.
    midiOnly: function () {
      return !instrument.inst && !manager.disconnected && manager.phase > 0 && manager.targetMidi ? manager.targetMidi : null;
    },
    askTakeOver: askTakeOver,
    keepTracks: keepTracks
  };
})(typeof self !== 'undefined' ? self : this);
