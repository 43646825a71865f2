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

  // Imports files (page paths) into the given cells, in order; nothing is written when
  // a file is unfit (they are all looked at first).
  function importFiles(paths, targets, after) {
    var inst = device().inst;
    var table = A.trackStore.table;
    for (var i = 0; i < paths.length; i++) {
      var problem = checkSource(paths[i], inst);
      if (problem) { showError(texts['Import failed.'], T.tracks.lastSegment(paths[i]) + ': ' + problem); return; }
    }
    var items = paths.map(function (p, n) { return { source: p, at: targets[n], cell: table[targets[n].memory][targets[n].track] }; });
    runBatch(texts['Importing...'], items, function (item, done) {
      var destination = T.tracks.importDestination(item.cell.dirName, item.source);
      A.jobs.importFile(A.files.host(item.source), A.files.host(destination), inst.wave, function (outcome) {
        if (outcome.success && A.trackStore.changed([item.cell.dirName])) A.g.observer.notify('tracks_changed');
        done(outcome);
      });
    }, function (result) {
      if (result.failed) showError(texts['Import failed.'], T.tracks.lastSegment(result.failed.item.source) + ': ' + (result.failed.reason || ''));
      if (after) after(result);
    });
  }

  function chooseFile(then) {
    var prior = N.fs.event.openfilename;
    N.fs.event.openfilename = function (path) {
      N.fs.event.openfilename = prior;
      then(path ? A.files.page(path) : '');
    };
    try {
      N.fs.openfilename(JSON.stringify(G.AUDIO_EXTENSIONS));
    } catch (e) {
      N.fs.event.openfilename = prior;
      showError(texts['An error occurred.'], e.message);
    }
  }

  function importInto(selected) {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    if (!A.trackStore || !A.trackStore.table) return;
    chooseFile(function (path) {
      if (!path) return;
      var targets = G.importTargets(A.trackStore.table, selected.map(function (c) { return { memory: c.memory, track: c.track }; }), 1);
      if (!targets) { showError(texts['Import failed.'], texts.noEmptyTrack); return; }
      importFiles([path], targets, function (result) {
        if (result.done.length) showDone('Imported ' + T.tracks.lastSegment(path) + ' into ' + cellLabel(targets[0]) + '.');
      });
    });
  }

  function chooseFolder(then) {
    var prior = N.fs.event.choosefolder;
    N.fs.event.choosefolder = function (path) {
      N.fs.event.choosefolder = prior;
      then(path ? A.files.page(path).replace(/\/*$/, '/') : '');
    };
    try {
      N.fs.choosefolder('');
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

  A.gridActions = { importInto: importInto, importFiles: importFiles, exportTracks: exportTracks, rename: rename, runBatch: runBatch };
})(typeof self !== 'undefined' ? self : this);
