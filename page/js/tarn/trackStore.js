// The connected looper's track table, read once when it connects and then kept current
// from the host's folder watch, so that a track dialog opens at once. (Starting that
// watch makes the host clear the hidden copy temporaries a dead run left there.)
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./tracks.js'));
  else (root.Tarn = root.Tarn || {}).TrackStore = factory(root.Tarn.tracks);
})(typeof self !== 'undefined' ? self : this, function (tracks) {
  'use strict';

  // What Tarn leaves in the temporary folder when it dies: the page's import files and
  // catalogue, files sent by a browser, and the host's conversion temporaries
  // ("___XXXXXX.wav" and the like).
  var STALE_IN_TEMPORARY =
    /^(tmp\.wav|imported\.wav|tarn-catalogue\.json|tarn-download-.+|tarn-upload-[A-Za-z0-9]{6}(\.[A-Za-z0-9]{1,8})?|___[A-Za-z0-9]{6}\.(wav|mp3|m4a))$/;

  // files: the page's file layer (contents, unlink).
  function TrackStore(files) {
    this.files = files;
    this.volume = '';
    this.row = null;
    this.table = null;
    this.loading = null;
  }

  TrackStore.cleanTemporaryFolder = function (files, folder) {
    var listed = files.contents(folder);
    var removed = [];
    if (!listed.success) return removed;
    listed.data.forEach(function (entry) {
      if (entry.directory || !STALE_IN_TEMPORARY.test(entry.name)) return;
      if (files.unlink(folder + entry.name).success) removed.push(entry.name);
    });
    return removed;
  };

  TrackStore.prototype.ready = function (volume, row) {
    return this.table !== null && this.volume === volume && this.row === row;
  };

  // Reads every track folder of the layout; {success, reason}.
  TrackStore.prototype.load = function (volume, row) {
    this.drop();
    var read = tracks.readTable(this.files, volume, row);
    if (!read.success) return { success: false, reason: read.reason };
    this.volume = volume;
    this.row = row;
    this.table = read.data;
    return { success: true };
  };

  // load() without blocking the page: the track folders come in one call through
  // callAsync (the bridge's promise form). Folders reported changed meanwhile are read
  // again once the table is there. A drop() or another load started meanwhile wins: this
  // one then resolves {success: false, superseded: true}.
  TrackStore.prototype.loadAsync = function (volume, row, callAsync) {
    this.drop();
    var self = this;
    var loading = { volume: volume, row: row, changed: [] };
    this.loading = loading;
    var wave = tracks.waveFolder(volume);
    var table = tracks.emptyTable(row.numofMemParBank * row.numofBank, row.numofTrackParMem);
    loading.promise = this.files.subcontentsAsync(wave, callAsync).then(function (listed) {
      if (self.loading !== loading) return { success: false, superseded: true };
      self.loading = null;
      if (!listed.success) return { success: false, reason: listed.reason };
      tracks.fillTable(table, wave, listed.data, row);
      self.volume = volume;
      self.row = row;
      self.table = table;
      self.changed(loading.changed);
      return { success: true };
    });
    return loading.promise;
  };

  TrackStore.prototype.busy = function () { return !!this.loading; };

  // The running loadAsync's promise, or null; for the volume and model asked about only.
  TrackStore.prototype.whenLoaded = function (volume, row) {
    var loading = this.loading;
    return loading && loading.volume === volume && loading.row === row ? loading.promise : null;
  };

  TrackStore.prototype.readCell = function (at, folder) {
    tracks.fillCell(this.table[at.memory][at.track], folder, this.files.contents(folder));
  };

  // Folders (page paths ending in "/") changed: read the track folders among them
  // again. True when the table changed.
  TrackStore.prototype.changed = function (folders) {
    if (this.loading) Array.prototype.push.apply(this.loading.changed, folders);
    if (!this.table) return false;
    var wave = tracks.waveFolder(this.volume);
    var memories = this.row.numofMemParBank * this.row.numofBank;
    var before = JSON.stringify(this.table);
    var self = this;
    folders.forEach(function (folder) {
      var path = String(folder).replace(/\/*$/, '/');
      if (path.indexOf(wave) !== 0) return;
      var name = path.substring(wave.length).replace(/\/$/, '');
      var at = tracks.parseFolder(name, memories, self.row.numofTrackParMem);
      if (at) self.readCell(at, wave + name + '/');
    });
    return JSON.stringify(this.table) !== before;
  };

  // A copy for a dialog, which may change its own.
  TrackStore.prototype.snapshot = function () {
    return this.table ? JSON.parse(JSON.stringify(this.table)) : null;
  };

  TrackStore.prototype.drop = function () {
    this.loading = null;
    this.volume = '';
    this.row = null;
    this.table = null;
  };

  return TrackStore;
});
