// The track dialogs: import, export and catalogue download, each with the device's track
// list, preview and delete.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;

  // The last selection of each track dialog (import, export, download).
  var selections = {};
  var openHandler = null;
  var saveHandler = null;
  // The open track dialog's selected cell, as a list (empty when none is open).
  var openSelection = function () { return []; };

  N.fs.event.openfilename = function (path) {
    var h = openHandler;
    openHandler = null;
    if (h) h(path ? A.files.page(path) : '');
  };
  N.fs.event.savefilename = function (path) {
    var h = saveHandler;
    saveHandler = null;
    if (h) h(path ? A.files.page(path) : '');
  };

  function showError(text, reason) {
    return ui.message(ui.withReason(text || texts['An error occurred.'], reason), '', texts);
  }

  // A short note that goes by itself: the import or export is done.
  // lasting: how long it stays in ms (4 s by default, 0 for good).
  function showDone(text, lasting) {
    var note = ui.el('div', { className: 'done-note', id: 'done-note', role: 'status', text: text });
    root.document.body.appendChild(note);
    if (lasting === 0) return;
    root.setTimeout(function () { if (note.parentNode) note.parentNode.removeChild(note); }, lasting || 4000);
  }
  A.showNote = showDone;

  function device() { return A.device.instrument; }

  // Reads the recognised device's tracks; null (after telling the user) on failure.
  function readTracks() {
    var inst = device().inst;
    if (!device().volume || !inst) return null;
    var scanning = null;
    var read = T.tracks.readTable(A.files, device().volume, inst, function (on) {
      if (on) scanning = ui.progress(texts['Scanning...']);
      else if (scanning) scanning.close();
    });
    if (!read.success) {
      showError(read.reason);
      return null;
    }
    return read.data;
  }

  function stopPlayer() { try { N.player.stop(); } catch (e) { /* no player */ } }

  // Reads the tracks behind a "Scanning..." dialog that gets painted first: a looper
  // with hundreds of track folders takes a moment to read.
  function withTracks(then) {
    if (!device().volume || !device().inst) return;
    // Kept since the looper connected: no scan at all.
    if (A.trackStore && A.trackStore.ready(device().volume, device().inst)) { then(A.trackStore.snapshot()); return; }
    var scanning = ui.progress(texts['Scanning...']);
    // Still being read since the looper connected: that read is waited for, not repeated.
    var loading = A.trackStore && A.trackStore.whenLoaded(device().volume, device().inst);
    if (loading) {
      loading.then(function () {
        scanning.close();
        if (A.trackStore.ready(device().volume, device().inst)) then(A.trackStore.snapshot());
        else withTracks(then);
      });
      return;
    }
    root.requestAnimationFrame(function () {
      root.setTimeout(function () {
        var read = T.tracks.readTable(A.files, device().volume, device().inst);
        scanning.close();
        if (!read.success) { showError(read.reason); return; }
        then(read.data);
      }, 0);
    });
  }

  // The track list with Play/Stop/Delete and the dialog's own main action.
  // options: title, intro (node), mainLabel, mainWhen(cell) -> bool, main(memory, track, cell, dialog),
  // extra (node), id.
  function trackDialog(options) {
    withTracks(function (table) { showTrackDialog(options, table); });
  }

  function showTrackDialog(options, table) {
    var inst = device().inst;
    var status = ui.el('p', { className: 'dialog-status', id: 'track-status' });
    var holder = ui.el('div', { className: 'track-holder' });
    var current = null;
    var dialog = null;
    var rendered = false;

    function enable() {
      var cell = current ? table[current.memory][current.track] : null;
      var hasFile = !!(cell && cell.fileName);
      dialog.buttons.Play.disabled = !hasFile;
      dialog.buttons.Stop.disabled = !hasFile;
      dialog.buttons.Delete.disabled = !hasFile;
      dialog.buttons[options.mainLabel].disabled = !(cell && options.mainWhen(cell));
    }

    function render() {
      var hadFocus = holder.contains(root.document.activeElement);
      holder.textContent = '';
      var list = ui.trackList({
        table: table,
        labels: {
          memory: function (m) { return T.tracks.memoryLabel(m, inst, texts); },
          track: function (t) { return T.tracks.trackLabel(t, texts); }
        },
        selected: current || (options.initial && options.initial(table)) || selections[options.id],
        scrollTop: g.scrollPos,
        onEnter: function () { dialog.buttons[options.mainLabel].click(); },
        onDelete: function () { dialog.buttons.Delete.click(); },
        onSelect: function (m, t) {
          if (!current || current.memory !== m || current.track !== t) stopPlayer();
          current = { memory: m, track: t };
          selections[options.id] = { memory: m, track: t };
          var picked = table[m][t];
          if (picked && picked.fileName) preview.load(A.files.host(picked.dirName + picked.fileName), picked.fileName);
          else preview.unload();
          g.scrollPos = list.scrollTop;
          status.textContent = '';
          enable();
        }
      });
      list.addEventListener('scroll', function () { if (current) g.scrollPos = list.scrollTop; });
      holder.appendChild(list);
      if (hadFocus || !rendered) list.focus();
      rendered = true;
    }

    function selectedCell() { return current ? table[current.memory][current.track] : null; }
    openSelection = function () { return dialog && !dialog.closed && current ? [current] : []; };

    // The table follows changes made outside (another program, the looper itself).
    var listenerId = 'trackDialog-' + options.id;
    g.observer.append('tracks_changed', listenerId, function () {
      var fresh = A.trackStore && A.trackStore.snapshot();
      if (!fresh || dialog.closed) return;
      table = fresh;
      render();
      enable();
    });

    var preview = T.previewBar.create({ button: false });
    var body = ui.el('div', { className: 'track-dialog' }, [options.intro || null, options.extra || null, holder, preview.node, status]);
    dialog = ui.dialog({
      title: options.title,
      body: body,
      id: options.id,
      className: 'tracks',
      onClose: function () {
        g.observer.remove('tracks_changed', listenerId);
        preview.unload();
        stopPlayer();
      },
      buttons: [
        { label: 'Play', id: 'play-button', action: function () {
          var cell = selectedCell();
          if (!cell || !cell.fileName) return false;
          stopPlayer();
          if (!preview.play()) g.observer.notify('audio', 'openerror', cell.dirName + cell.fileName);
          return false;
        } },
        { label: 'Stop', id: 'stop-button', action: function () {
          preview.stop();
          stopPlayer();
          return false;
        } },
        { label: 'Delete', id: 'delete-button', action: function () {
          var cell = selectedCell();
          if (!cell || !cell.fileName) return false;
          A.deleted.deleteCells([current], stopPlayer);
          return false;
        } },
        { label: options.mainLabel, primary: true, id: 'main-button', action: function () {
          var cell = selectedCell();
          if (!cell || !options.mainWhen(cell)) return false;
          return options.main(current.memory, current.track, cell, dialog);
        } },
        { label: texts.Cancel, id: 'cancel-button' }
      ]
    });
    render();
    enable();
  }

  // The player reports the end of playback; the status line follows it.
  function playbackEnded() {
    var status = root.document.getElementById('track-status');
    if (status) { status.textContent = ''; status.removeAttribute('data-playing'); }
  }
  N.player.event.eof = playbackEnded;
  N.player.event.stop = playbackEnded;
  N.player.event.error = playbackEnded;

  function jobFinished(progress, failureText, doneText) {
    return function (outcome) {
      progress.close();
      if (outcome.cancelled) return;
      if (outcome.success) {
        A.refreshButtons();
        var dst = outcome.data && outcome.data.dst;
        if (dst && A.trackStore && A.trackStore.changed([A.files.page(dst).replace(/[^\/]*$/, '')])) {
          g.observer.notify('tracks_changed');
        }
        if (doneText) showDone(doneText(outcome));
        return;
      }
      if (outcome.busy) showError(outcome.reason);
      else showError(failureText, outcome.reason);
    };
  }

  // The import source's waveform, once the dialog (and so the canvas) is laid out.
  function drawSource(canvas, path) {
    if (!root.document.contains(canvas)) { root.setTimeout(function () { drawSource(canvas, path); }, 50); return; }
    T.waveform.draw(canvas, null);
    var width = Math.round(canvas.clientWidth * (root.devicePixelRatio || 1));
    T.peaks.get(A.files.host(path), width).then(function (peaks) { T.waveform.draw(canvas, peaks); },
      function () { canvas.hidden = true; });
  }

  // Import: choose a file, check its length, choose an empty track, convert and move.
  function startImport() {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    openHandler = function (path) {
      if (path) A.places.remember('import', path);
      importPath(path);
    };
    var start = A.places.folder('import');
    try {
      N.fs.openfilename(JSON.stringify(T.grid.AUDIO_EXTENSIONS), start ? A.files.host(start) : '');
    } catch (e) {
      openHandler = null;
      showError(e.message);
    }
  }

  // A file given to the program ("Open With", or a later start with files): imported as
  // soon as a looper is usable and nothing else is open, one at a time.
  var pendingOpens = [];
  var openTimer = 0;
  function takePendingOpen() {
    if (!pendingOpens.length) { root.clearInterval(openTimer); openTimer = 0; return; }
    if (!A.device.manager.usable() || !device().inst || ui.anyOpen() || A.jobs.busy()) return;
    importPath(A.files.page(pendingOpens.shift()));
  }
  A.procedures.open = function (path) {
    if (!path) return;
    pendingOpens.push(path);
    takePendingOpen();
    if (pendingOpens.length && !openTimer) {
      openTimer = root.setInterval(takePendingOpen, 500);
      if (!A.device.manager.usable()) showDone('Connect a looper to import ' + T.tracks.lastSegment(path) + '.');
    }
  };

  function importPath(path) {
    if (!path) return;
    var inst = device().inst;
    if (!inst) return;
    var there = A.files.stat(path);
    if (!there.success) { showError(texts['Import failed.'], T.Files.plainReason(there.reason)); return; }
    var readable = A.files.readable(path);
    if (!readable.success) { showError(texts['Import failed.'], T.Files.plainReason(readable.reason)); return; }
    var format = {};
    try { format = JSON.parse(N.audio.format(A.files.host(path))); } catch (e) { format = { format: 'error' }; }
    if (format.format === 'error') { showError(texts['Unsupported format.']); return; }
    var problem = T.tracks.lengthProblem(format.duration, inst.wave, texts);
    if (problem) { showError(problem); return; }
    var sourceWave = ui.el('canvas', { className: 'source-wave', id: 'source-wave', 'aria-hidden': 'true' });
    root.requestAnimationFrame(function () { drawSource(sourceWave, path); });
    trackDialog({
      title: 'Import',
      id: 'import-dialog',
      intro: ui.el('div', {}, [ui.el('p', { className: 'source-file', text: T.tracks.lastSegment(path) }), sourceWave]),
      mainLabel: 'Import',
      // The empty cell chosen in the main view, else the first empty track: a file opened
      // with Tarn can go onto the looper with one key.
      initial: function (table) {
        var chosen = A.gridView ? A.gridView.selectedEmpty() : null;
        var first = chosen ? null : T.grid.fillTargets(table, { memory: 0, track: 0 }, 1);
        return chosen || (first && first[0]);
      },
      mainWhen: function (cell) { return !cell.fileName && !!cell.dirName; },
      main: function (m, t, cell) {
        var destination = T.tracks.importDestination(cell.dirName, path);
        var progress = ui.progress(texts['Importing...'], {
          withBar: true, busy: true, texts: texts,
          onCancel: function () {
            progress.setText(texts['Cancelling...']);
            A.jobs.cancel();
            return false;
          }
        });
        var done = jobFinished(progress, texts['Import failed.'], function () {
          var from = T.tracks.lastSegment(path);
          var to = T.tracks.lastSegment(destination);
          return 'Imported ' + from + (to === from ? '' : ' as ' + to) + ' into ' +
            T.tracks.memoryLabel(m, inst, texts) + ', ' + T.tracks.trackLabel(t, texts) + '.';
        });
        var job = A.jobs.reserve('import', done);
        if (!job) return;
        root.setTimeout(function () {
          A.jobs.importFile(A.files.host(path), A.files.host(destination), inst.wave, done, job, function (percent) {
            if (!job.cancelled) progress.setPercent(percent);
          });
        }, 1000);
      }
    });
  }

  var EXPORT_FORMATS = {
    '16-bit': { bits: 16, format: 1 },
    '24-bit': { bits: 24, format: 1 },
    '32-bit float': { bits: 32, format: 3 }
  };

  function startExport() {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    var inst = device().inst;
    if (!inst) return;
    var forced = T.models.isSixteenBitPcm(inst);
    var select = ui.el('select', { id: 'export-format' }, Object.keys(EXPORT_FORMATS).map(function (name) {
      var option = ui.el('option', { value: name, text: name });
      if (name === (forced ? '16-bit' : '24-bit')) option.selected = true;
      return option;
    }));
    var chooser = ui.el('label', { className: 'format-choice' + (forced ? ' hidden' : '') }, ['Format ', select]);
    trackDialog({
      title: 'Export',
      id: 'export-dialog',
      extra: chooser,
      mainLabel: 'Export',
      mainWhen: function (cell) { return !!cell.fileName; },
      main: function (m, t, cell, dialog) {
        var target = EXPORT_FORMATS[forced ? '16-bit' : select.value];
        var source = cell.dirName + cell.fileName;
        var proposal = T.tracks.exportProposal(cell.fileName);
        saveHandler = function (path) {
          if (!path) return;
          A.places.remember('export', path);
          dialog.close();
          var progress = ui.progress(texts['Exporting...']);
          var done = jobFinished(progress, texts['Export failed.'], function () {
            return 'Exported ' + T.tracks.memoryLabel(m, inst, texts) + ', ' + T.tracks.trackLabel(t, texts) + ' to ' + path + '.';
          });
          var job = A.jobs.reserve('export', done);
          if (!job) return;
          root.setTimeout(function () {
            A.jobs.exportTrack(A.files.host(source), A.files.host(path), target, done, job);
          }, 1000);
        };
        try {
          // A name with its folder starts the dialog in that folder.
          var last = A.places.folder('export');
          N.fs.savefilename(last ? A.files.host(last + proposal.name) : proposal.name, proposal.ext);
        } catch (e) {
          saveHandler = null;
          showError(e.message);
        }
        return false;
      }
    });
  }

  // Download of one catalogue item into an empty track.
  function startDownload(contentDomain, setTitle, item) {
    if (A.jobs.busy()) { showError(T.Jobs.BUSY); return; }
    if (!A.device.manager.usable()) {
      ui.dialog({ title: 'Download', body: texts.connectDevice, id: 'connect-notice', buttons: [{ label: texts.OK, primary: true }] });
      return;
    }
    var inst = device().inst;
    trackDialog({
      title: 'Download',
      id: 'download-dialog',
      intro: ui.el('div', { className: 'download-names' }, [
        ui.el('p', { className: 'set-name', text: setTitle }),
        ui.el('p', { className: 'item-name', text: item.title || '' })
      ]),
      mainLabel: 'Download',
      // The empty cell chosen in the main view is where a download goes.
      initial: function () { return A.gridView ? A.gridView.selectedEmpty() : null; },
      mainWhen: function (cell) { return !cell.fileName && !!cell.dirName; },
      main: function (m, t, cell) {
        var name = T.catalogue.fileName(item.key);
        if (!name) { showError(texts['Download failed.'] + ' ' + T.catalogue.BAD_NAME); return; }
        var destination = cell.dirName + name;
        var temporary = A.temporary + T.catalogue.DOWNLOAD_PREFIX + name;
        var address = T.catalogue.downloadAddress(contentDomain, item.key);
        var cancelling = false;
        var progress = ui.progress(texts['Downloading...'], {
          withBar: true, texts: texts,
          onCancel: function () { A.jobs.cancelDownload(); }
        });
        A.jobs.download(address, A.files.host(temporary), A.files.host(destination), inst.wave, {
          progress: function (total, amount) { progress.setPercent(T.catalogue.percent(total, amount)); },
          // The downloaded file is imported with a bar of its own, and may still be cancelled.
          processing: function () {
            progress.close();
            progress = ui.progress(texts['Processing...'], {
              withBar: true, busy: true, texts: texts,
              onCancel: function () {
                cancelling = true;
                progress.setText(texts['Cancelling...']);
                A.jobs.cancel();
                return false;
              }
            });
          },
          importing: function (percent) { if (!cancelling) progress.setPercent(percent); },
          done: function (outcome) {
            progress.close();
            if (outcome.cancelled) return;
            if (outcome.success) {
              showDone('Downloaded ' + (item.title || name) + ' as ' + name + ' into ' +
                T.tracks.memoryLabel(m, inst, texts) + ', ' + T.tracks.trackLabel(t, texts) + '.');
              return;
            }
            if (outcome.busy) showError(outcome.reason);
            else if (outcome.room) showError(texts['Download failed.'] + ' ' + outcome.reason);
            else showError(outcome.reason === 'download' ? texts['Download failed.'] : texts['Downloaded file is broken.']);
          }
        });
      }
    });
  }

  A.trackDialogs = { startImport: startImport, startExport: startExport, startDownload: startDownload, readTracks: readTracks,
    selection: function () { return openSelection(); } };
})(typeof self !== 'undefined' ? self : this);
