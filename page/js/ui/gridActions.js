// What the main view's actions do: import into the selected (or following) empty cells,
// export several tracks into a folder, rename a track's file. A batch shows one bar with
// "n of N", and Cancel stops it between files, keeping what is done.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var G = T.grid;

  function device() { return A.device.instrument; }

  function showError(text, reason) { return ui.message(ui.withReason(text, reason), '', texts); }

  function cellLabel(at) {
    return T.tracks.memoryLabel(at.memory, device().inst, texts) + ', ' + T.tracks.trackLabel(at.track, texts);
  }

  // Runs steps one after another (each step(item, done(outcome)) reports {success,
  // reason}); Cancel ends the batch after the step under way. finished({done, failed,
  // cancelled}).
  function runBatch(title, items, step, finished) {
    var cancelled = false;
    var index = 0;
    var done = [];
    var progress = ui.progress(title, {
      withBar: true, texts: texts,
      onCancel: function () {
        cancelled = true;
        progress.setText(texts['Cancelling...']);
        A.jobs.cancel();
        return false;
      }
    });
    function show() {
      progress.setPercent(Math.floor(index * 100 / items.length));
      progress.setText(title + ' ' + (index + 1) + ' of ' + items.length);
    }
    function next() {
      if (cancelled || index >= items.length) {
        progress.close();
        finished({ done: done, cancelled: cancelled && index < items.length });
        return;
      }
      show();
      step(items[index], function (outcome) {
        if (outcome.cancelled) { cancelled = true; next(); return; }
        if (!outcome.success) {
          progress.close();
          finished({ done: done, failed: { item: items[index], reason: outcome.reason } });
          return;
        }
        done.push(items[index]);
        index++;
        next();
      });
    }
    next();
  }

  function checkSource(path, inst) {
    var there = A.files.stat(path);
    if (!there.success) return T.Files.plainReason(there.reason);
    var format = {};
    try { format = JSON.parse(N.audio.format(A.files.host(path))); } catch (e) { format = { format: 'error' }; }
    if (format.format === 'error') return texts['Unsupported format.'];
    return T.tracks.lengthProblem(format.duration, inst.wave, texts);
  }

  // Imports sources ({path, name}: a page path and the name the track takes, a file
  // sent by a browser having a temporary path) into the given cells, in order. Nothing
  // is written when a file is unfit: they are all looked at first. after(result) (also
  // when nothing ran, with result.refused).
  function importFiles(sources, targets, after) {
    var inst = device().inst;
    var table = A.trackStore.table;
    for (var i = 0; i < sources.length; i++) {
      var problem = checkSource(sources[i].path, inst);
      if (problem) {
        showError(texts['Import failed.'], sources[i].name + ': ' + problem);
        if (after) after({ done: [], refused: true });
        return;
      }
    }
    var items = sources.map(function (s, n) { return { source: s, at: targets[n], cell: table[targets[n].memory][targets[n].track] }; });
    runBatch(texts['Importing...'], items, function (item, done) {
      importOne(item.source, item.cell, item.at, function (outcome) {
        if (outcome.pending) outcome.pending.then(done);
        else done(outcome);
      });
    }, function (result) {
      if (result.failed) showError(texts['Import failed.'], result.failed.item.source.name + ': ' + (result.failed.reason || ''));
      if (after) after(result);
    });
  }

  // Into an empty cell; into a used one the new file is written beside the old under a
  // temporary name first, and the old one goes (to the trash, where there is one) only
  // then.
  function importOne(source, cell, at, done) {
    var inst = device().inst;
    var name = T.tracks.importName(source.name);
    var replacing = cell.fileName;
    var destination = replacing ? cell.dirName + '.tarn-copy-replace.' + suffix() : cell.dirName + name;
    A.jobs.importFile(A.files.host(source.path), A.files.host(destination), inst.wave, function (outcome) {
      if (outcome.success && replacing) outcome = putInPlace(cell, at, destination, name);
      var changed = function (result) {
        if (A.trackStore.changed([cell.dirName])) A.g.observer.notify('tracks_changed');
        return result;
      };
      if (outcome.pending) outcome.pending = outcome.pending.then(changed);
      done(changed(outcome));
    });
  }

  function suffix() {
    var letters = 'abcdefghijklmnopqrstuvwxyz0123456789';
    var out = '';
    for (var i = 0; i < 6; i++) out += letters.charAt(Math.floor(Math.random() * letters.length));
    return out;
  }

  function putInPlace(cell, at, written, name) {
    var old = cell.dirName + cell.fileName;
    var finish = function () {
      var removed = name.toLowerCase() === cell.fileName.toLowerCase() ? A.files.unlink(old) : { success: true };
      if (!removed.success) { A.files.unlink(written); return { success: false, reason: T.Files.plainReason(removed.reason) }; }
      var moved = A.files.move(written, cell.dirName + name);
      if (!moved.success) { A.files.unlink(written); return { success: false, reason: T.Files.plainReason(moved.reason) }; }
      if (name.toLowerCase() !== cell.fileName.toLowerCase()) A.files.unlink(old);
      return { success: true };
    };
    // The trash keeps the old track before it goes; without one nothing is kept.
    if (typeof root.TarnTrash === 'undefined') return finish();
    var cellOf = { model: device().inst.name, memory: at.memory, track: at.track, path: old };
    return {
      pending: Promise.resolve().then(function () { return root.TarnTrash.keep(N, cellOf); }).then(finish, function (e) {
        // No copy kept: the old track stays as it was, and the new file goes.
        A.files.unlink(written);
        return { success: false, reason: e && e.message };
      })
    };
  }

  // The open dialog with multi-selection: then(paths) with the page paths chosen, in
  // the order the dialog gives them ([] when cancelled).
  function chooseFiles(then) {
    var prior = N.fs.event.openfilenames;
    N.fs.event.openfilenames = function (text) {
      N.fs.event.openfilenames = prior;
      var paths = [];
      try { paths = JSON.parse(text || '[]'); } catch (e) { paths = []; }
      paths = (Array.isArray(paths) ? paths : []).filter(function (p) { return typeof p === 'string' && p; }).map(A.files.page.bind(A.files));
      if (paths.length) A.places.remember('import', paths[0]);
      then(paths);
    };
    var start = A.places.folder('import');
    try {
      N.fs.openfilenames(JSON.stringify(G.AUDIO_EXTENSIONS), start ? A.files.host(start) : '');
    } catch (e) {
      N.fs.event.openfilenames = prior;
      showError(texts['An error occurred.'], e.message);
    }
  }

  // The chosen files go into the selected empty tracks, then on into the empty tracks
  // after the last selected one, through the same batch as a drop of several files:
  // all checked before the first is written, one bar, cancel between files.
  function importInto(selected) {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    if (!A.trackStore || !A.trackStore.table) return;
    chooseFiles(function (paths) {
      if (!paths.length) return;
      var cells = selected.map(function (c) { return { memory: c.memory, track: c.track }; });
      var targets = G.importTargets(A.trackStore.table, cells, paths.length);
      if (!targets) {
        showError(texts['Import failed.'], paths.length === 1 ? texts.noEmptyTrack : T.texts.dropDoesNotFit
          .replace('{n}', String(paths.length)).replace('{cell}', cellLabel(cells[0] || { memory: 0, track: 0 })));
        return;
      }
      var sources = paths.map(function (path) { return { path: path, name: T.tracks.lastSegment(path) }; });
      importFiles(sources, targets, function (result) {
        if (!result.done.length) return;
        var last = targets[result.done.length - 1];
        showDone(result.done.length === 1 ? 'Imported ' + sources[0].name + ' into ' + cellLabel(targets[0]) + '.'
          : 'Imported ' + result.done.length + ' files into ' + cellLabel(targets[0]) + ' to ' + cellLabel(last) + '.');
      });
    });
  }

  function chooseFolder(then) {
    var prior = N.fs.event.choosefolder;
    N.fs.event.choosefolder = function (path) {
      N.fs.event.choosefolder = prior;
      var folder = path ? A.files.page(path).replace(/\/*$/, '/') : '';
      if (folder) A.places.remember('export', folder);
      then(folder);
    };
    var start = A.places.folder('export');
    try {
      N.fs.choosefolder(start ? A.files.host(start) : '');
    } catch (e) {
      N.fs.event.choosefolder = prior;
      showError(texts['An error occurred.'], e.message);
    }
  }

  // One track: the save dialog as ever. Several: a folder, each under its own name
  // (an existing file of that name is not overwritten: the export stops there).
  function exportTracks(chosen) {
    if (!chosen.length) return;
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    if (chosen.length === 1) { A.trackDialogs.startExport(); return; }
    var target = T.models.isSixteenBitPcm(device().inst) ? { bits: 16, format: 1 } : { bits: 24, format: 1 };
    chooseFolder(function (folder) {
      if (!folder) return;
      var clash = chosen.filter(function (c) { return A.files.stat(folder + c.cell.fileName).success; });
      if (clash.length) { showError(texts['Export failed.'], texts.exportWouldOverwrite + ' ' + clash.map(function (c) { return c.cell.fileName; }).join(', ')); return; }
      var names = {};
      var twice = chosen.filter(function (c) { var k = c.cell.fileName.toLowerCase(); var seen = names[k]; names[k] = true; return seen; });
      runBatch(texts['Exporting...'], chosen, function (c, done) {
        // Two tracks of one name: the later one gets its place in its name.
        var name = twice.indexOf(c) >= 0 ? T.tracks.folderName(c.memory, c.track) + ' ' + c.cell.fileName : c.cell.fileName;
        A.jobs.exportTrack(A.files.host(c.cell.dirName + c.cell.fileName), A.files.host(folder + name), target, function (outcome) {
          done(outcome.success ? outcome : { success: false, reason: outcome.reason || texts['Export failed.'] });
        });
      }, function (result) {
        if (result.failed) showError(texts['Export failed.'], result.failed.item.cell.fileName + ': ' + result.failed.reason);
        else if (result.done.length) showDone('Exported ' + result.done.length + ' tracks into ' + folder + '.');
      });
    });
  }

  // A new name for a track's file, kept to what the volume takes (as an import names).
  function rename(chosen) {
    var cell = chosen.cell;
    var input = ui.el('input', { type: 'text', id: 'rename-name', className: 'rename-name', 'aria-label': 'New name' });
    input.value = cell.fileName.replace(/\.wav$/i, '');
    var note = ui.el('p', { className: 'dialog-status', id: 'rename-note' });
    var dialog = ui.dialog({
      title: 'Rename', id: 'rename-dialog',
      body: ui.el('div', {}, [ui.el('p', { text: cellLabel(chosen) + ': ' + cell.fileName }), input, note]),
      buttons: [
        { label: 'Rename', primary: true, id: 'rename-confirm', action: function () {
          var name = T.tracks.importName(input.value.trim() + '.wav');
          if (name === cell.fileName) return true;
          var moved = A.files.move(cell.dirName + cell.fileName, cell.dirName + name);
          if (!moved.success) { note.textContent = T.Files.plainReason(moved.reason); return false; }
          if (A.trackStore.changed([cell.dirName])) A.g.observer.notify('tracks_changed');
          return true;
        } },
        { label: texts.Cancel, id: 'rename-cancel' }
      ]
    });
    input.addEventListener('keydown', function (e) { if (e.key === 'Enter') dialog.buttons.Rename.click(); });
    input.focus();
    input.select();
  }

  function showDone(text) {
    var note = ui.el('div', { className: 'done-note', id: 'done-note', role: 'status', text: text });
    root.document.body.appendChild(note);
    root.setTimeout(function () { if (note.parentNode) note.parentNode.removeChild(note); }, 4000);
  }

  A.gridActions = {
    importInto: importInto, importFiles: importFiles, exportTracks: exportTracks, rename: rename, runBatch: runBatch,
    showError: showError, cellLabel: cellLabel, suffix: suffix
  };
})(typeof self !== 'undefined' ? self : this);
