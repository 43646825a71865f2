// "Back up…" and "Restore…": the whole looper into a folder of the user's, and back.
// The work is Tarn.backup's; here are the folder dialog, the progress with Cancel (the
// job slot is taken like an import's) and the message at the end.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;

  var folderHandler = null;
  var lastFolder = '';

  N.fs.event.choosefolder = function (path) {
    var h = folderHandler;
    folderHandler = null;
    if (h) h(path ? A.files.page(path) : '');
  };

  function device() { return A.device.instrument; }

  function showError(text, reason) {
    return ui.message(ui.withReason(text, reason), '', texts);
  }

  function showMessage(title, text) { return ui.message(text, title, texts); }

  function withoutSlash(path) { return String(path).replace(/\/+$/, '') || '/'; }

  function chooseFolder(then) {
    var start = lastFolder || A.places.folder('backup');
    if (!start) {
      var documents = A.files.folder('documents');
      start = documents.success ? documents.data : '';
    }
    folderHandler = function (path) {
      if (!path) return;
      lastFolder = path;
      A.places.remember('backup', path);
      then(withoutSlash(path));
    };
    try {
      N.fs.choosefolder(start ? A.files.host(start) : '');
    } catch (e) {
      folderHandler = null;
      showError(texts['An error occurred.'], e.message);
    }
  }

  // The looper's own label, as the file manager shows it.
  function volumeLabel(volume) {
    var listed = A.files.volumes();
    if (!listed.success) return '';
    for (var i = 0; i < listed.data.length; i++) {
      if (withoutSlash(listed.data[i].mount) === withoutSlash(volume)) return listed.data[i].volume || '';
    }
    return '';
  }

  function table() {
    var inst = device().inst;
    if (A.trackStore && A.trackStore.ready(device().volume, inst)) return A.trackStore.snapshot();
    var read = T.tracks.readTable(A.files, device().volume, inst);
    return read.success ? read.data : null;
  }

  function count(n, one) { return n + ' ' + one + (n === 1 ? '' : 's'); }

  // Runs a backup or restore in the job slot, with a progress bar and Cancel.
  function runJob(kind, title, options, finished) {
    var handle = null;
    var cancelling = false;
    var progress = ui.progress(title, {
      withBar: true, texts: texts,
      onCancel: function () {
        cancelling = true;
        progress.setText(texts['Cancelling...']);
        A.jobs.cancel();
        return false;
      }
    });
    var job = A.jobs.claim(kind, function (result) {
      progress.close();
      if (result.busy) { showError(result.reason); return; }
      if (result.cancelled) return;
      finished(result);
    });
    if (!job) return;
    job.onCancel = function () { if (handle) handle.cancel(); };
    options.files = A.files;
    options.security = N.security;
    options.volume = device().volume;
    options.row = device().inst;
    options.onProgress = function (done, total, label) {
      if (cancelling) return;
      var percent = total ? Math.floor(done * 100 / total) : 100;
      progress.setPercent(percent);
      progress.setText(label + '... ' + percent + '%');
    };
    handle = T.backup[kind](options, function (result) { A.jobs.finish(job, result); });
  }

  function startBackup() {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    var inst = device().inst;
    if (!inst || !device().volume) return;
    chooseFolder(function (chosen) {
      if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
      var target = T.backup.folderFor(A.files, chosen, inst.volName, new Date());
      if (target.reason) { showError('Backup failed.', target.reason); return; }
      var read = table();
      if (!read) { showError('Backup failed.', 'The looper\'s tracks could not be read.'); return; }
      runJob('backup', 'Backing up...', {
        dir: target.dir, table: read, now: new Date(), version: g.version, volumeName: volumeLabel(device().volume) || inst.volName
      }, function (result) {
        if (!result.success) { showError('Backup failed.', result.reason); return; }
        showMessage('Back up', 'Backed up ' + count(result.tracks.length, 'track') + ' into ' + result.dir + '.');
      });
    });
  }

  function restoreDone(result) {
    if (!result.success) { showError('Restore failed.', result.reason); return; }
    var folders = result.tracks.map(function (t) {
      return T.tracks.waveFolder(device().volume) + T.tracks.folderName(t.memory - 1, t.track - 1) + '/';
    });
    if (A.trackStore && A.trackStore.table && A.trackStore.changed(folders)) g.observer.notify('tracks_changed');
    A.refreshButtons();
    var text = 'Restored ' + count(result.tracks.length, 'track') + '.';
    if (result.skipped.length) {
      text += ' ' + count(result.skipped.length, 'track') + ' skipped: ' + (result.skipped.length === 1 ? 'its' : 'their') +
        ' place on the looper is taken (' + result.skipped.map(function (s) { return s.memory + '/' + s.track; }).join(', ') + ').';
    }
    showMessage('Restore', text);
  }

  function startRestore() {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    var inst = device().inst;
    if (!inst || !device().volume) return;
    chooseFolder(function (dir) {
      if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
      // The manifest is looked at first, so that taken tracks can be asked about.
      var text = A.files.readString(dir + '/' + T.backup.MANIFEST);
      if (!text.success) { showError('Restore failed.', 'There is no backup in ' + dir + ' (' + T.backup.MANIFEST + ' is missing).'); return; }
      var checked = T.backup.checkManifest(text.data, inst);
      if (checked.reason) { showError('Restore failed.', checked.reason); return; }
      var read = table() || [];
      var taken = checked.manifest.tracks.filter(function (t) {
        var cell = read[t.memory - 1] && read[t.memory - 1][t.track - 1];
        return cell && cell.fileName;
      });
      var go = function (replace) { runJob('restore', 'Restoring...', { dir: dir, replace: replace }, restoreDone); };
      if (!taken.length) { go(false); return; }
      ui.dialog({
        title: 'Restore', id: 'restore-replace-dialog',
        body: count(taken.length, 'track') + ' of the backup ' + (taken.length === 1 ? 'has its place' : 'have their places') +
          ' on the looper taken (' + taken.map(function (t) { return t.memory + '/' + t.track; }).join(', ') + '). Replace ' +
          (taken.length === 1 ? 'it' : 'them') + '?',
        buttons: [
          { label: 'Replace', id: 'restore-replace', action: function () { go(true); } },
          { label: 'Skip', primary: true, id: 'restore-skip', action: function () { go(false); } },
          { label: texts.Cancel, id: 'restore-cancel' }
        ]
      });
    });
  }

  A.backupDialogs = { startBackup: startBackup, startRestore: startRestore };
})(typeof self !== 'undefined' ? self : this);
