// Drag and drop on the main view's grid. Files dropped onto a cell are imported there
// (several fill that cell and the empty cells after it, or nothing when they do not all
// fit); onto a used cell they replace its track after asking. A used cell dragged onto
// another cell moves its track there, or swaps the two after asking.
// In Tarn's window the host collects the dropped files' paths; in a browser the files
// are sent to the headless host first.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var G = T.grid;
  var doc = root.document;

  var CELL_TYPE = 'application/x-tarn-cell';

  function actions() { return A.gridActions; }
  function table() { return A.trackStore && A.trackStore.table; }
  function width() { var t = table(); return t && t.length ? t[0].length : 1; }

  function cellOf(target) {
    var node = target && target.closest ? target.closest('#track-grid [role="gridcell"]') : null;
    return node ? { node: node, at: { memory: Number(node.getAttribute('data-memory')), track: Number(node.getAttribute('data-track')) } } : null;
  }

  function carriesFiles(e) {
    var types = e.dataTransfer ? Array.prototype.slice.call(e.dataTransfer.types || []) : [];
    return types.indexOf('Files') >= 0 || types.indexOf('text/uri-list') >= 0;
  }

  function carriesCell(e) {
    var types = e.dataTransfer ? Array.prototype.slice.call(e.dataTransfer.types || []) : [];
    return types.indexOf(CELL_TYPE) >= 0;
  }

  var marked = null;
  function mark(node) {
    if (marked === node) return;
    if (marked) marked.classList.remove('drop-target');
    marked = node;
    if (node) node.classList.add('drop-target');
  }

  function onDragStart(e) {
    var hit = cellOf(e.target);
    if (!hit || !table()) return;
    var cell = table()[hit.at.memory][hit.at.track];
    if (!cell.fileName) { e.preventDefault(); return; }
    e.dataTransfer.setData(CELL_TYPE, JSON.stringify(hit.at));
    e.dataTransfer.effectAllowed = 'move';
  }

  function onDragOver(e) {
    var hit = cellOf(e.target);
    if (!hit || !(carriesFiles(e) || carriesCell(e))) { mark(null); return; }
    e.preventDefault();
    e.dataTransfer.dropEffect = carriesCell(e) ? 'move' : 'copy';
    mark(hit.node);
  }

  function onDrop(e) {
    var hit = cellOf(e.target);
    mark(null);
    if (!hit || !table()) return;
    e.preventDefault();
    if (A.jobs.busy()) { actions().showError(T.Jobs.BUSY); return; }
    if (carriesCell(e)) {
      var from = null;
      try { from = JSON.parse(e.dataTransfer.getData(CELL_TYPE)); } catch (err) { from = null; }
      if (from) moveTrack(from, hit.at);
      return;
    }
    droppedFiles(e).then(function (sources) {
      if (sources.length) placeFiles(sources, hit.at);
    }, function (err) {
      actions().showError(texts['Import failed.'], err && err.message);
    });
  }

  // [{path, name, sent}]: in the window the paths the host collected for this drag; in
  // a browser each file sent to the host, in drop order.
  function droppedFiles(e) {
    if (N.insideTarn) {
      var paths = [];
      try { paths = JSON.parse(N.app.dropfiles()); } catch (err) { paths = []; }
      return Promise.resolve(paths.map(function (p) {
        var path = A.files.page(p);
        return { path: path, name: T.tracks.lastSegment(path) };
      }));
    }
    var files = Array.prototype.slice.call(e.dataTransfer.files || []);
    var unfit = files.filter(function (f) { return !G.isAudioName(f.name); });
    if (unfit.length) return Promise.reject(new Error(texts.notAudio + ' ' + unfit.map(function (f) { return f.name; }).join(', ')));
    var sent = [];
    var progress = files.length ? ui.progress(texts.receiving) : null;
    return files.reduce(function (chain, file) {
      return chain.then(function () {
        return N.upload(file).then(function (path) { sent.push({ path: A.files.page(path), name: file.name, sent: true }); });
      });
    }, Promise.resolve()).then(function () {
      if (progress) progress.close();
      return sent;
    }, function (err) {
      if (progress) progress.close();
      forget(sent);
      throw err;
    });
  }

  // The files a browser sent are the page's to remove once used.
  function forget(sources) {
    sources.forEach(function (s) { if (s.sent) A.files.unlink(s.path); });
  }

  function placeFiles(sources, at) {
    var unfit = sources.filter(function (s) { return !G.isAudioName(s.name); });
    if (unfit.length) {
      forget(sources);
      actions().showError(texts['Import failed.'], texts.notAudio + ' ' + unfit.map(function (s) { return s.name; }).join(', '));
      return;
    }
    var cell = table()[at.memory][at.track];
    var done = function () { forget(sources); };
    if (cell.fileName) {
      if (sources.length > 1) { done(); actions().showError(texts['Import failed.'], texts.severalOntoUsed); return; }
      ui.dialog({
        title: 'Replace', id: 'replace-dialog',
        body: actions().cellLabel(at) + ' holds ' + cell.fileName + '. Replace it with ' + sources[0].name + '?',
        buttons: [
          { label: 'Replace', primary: true, id: 'replace-confirm', action: function () { actions().importFiles(sources, [at], done); } },
          { label: texts.Cancel, id: 'replace-cancel', action: done }
        ]
      });
      return;
    }
    var targets = G.fillTargets(table(), at, sources.length);
    if (!targets) {
      done();
      actions().showError(texts['Import failed.'], T.texts.dropDoesNotFit.replace('{n}', String(sources.length)).replace('{cell}', actions().cellLabel(at)));
      return;
    }
    actions().importFiles(sources, targets, done);
  }

  // --- move and swap

  function moveTrack(from, to) {
    if (from.memory === to.memory && from.track === to.track) return;
    var t = table();
    var a = t[from.memory][from.track];
    var b = t[to.memory][to.track];
    if (!a.fileName || !b.dirName) return;
    if (!b.fileName) { finishMove(a, b, moveOne(a, b)); return; }
    ui.dialog({
      title: 'Swap', id: 'swap-dialog',
      body: 'Swap ' + a.fileName + ' (' + actions().cellLabel(from) + ') with ' + b.fileName + ' (' + actions().cellLabel(to) + ')?',
      buttons: [
        { label: 'Swap', primary: true, id: 'swap-confirm', action: function () { finishMove(a, b, swap(a, b)); } },
        { label: texts.Cancel, id: 'swap-cancel' }
      ]
    });
  }

  function moveOne(a, b) {
    var moved = A.files.move(a.dirName + a.fileName, b.dirName + a.fileName);
    return moved.success ? null : T.Files.plainReason(moved.reason);
  }

  // B is put aside under a temporary name in A's folder, A goes to B's folder, then B
  // takes its place; a failure on the way puts back what had moved.
  function swap(a, b) {
    var aside = a.dirName + '.tarn-copy-swap.' + actions().suffix();
    var first = A.files.move(b.dirName + b.fileName, aside);
    if (!first.success) return T.Files.plainReason(first.reason);
    var second = A.files.move(a.dirName + a.fileName, b.dirName + a.fileName);
    if (!second.success) {
      A.files.move(aside, b.dirName + b.fileName);
      return T.Files.plainReason(second.reason);
    }
    var third = A.files.move(aside, a.dirName + b.fileName);
    if (!third.success) {
      A.files.move(b.dirName + a.fileName, a.dirName + a.fileName);
      A.files.move(aside, b.dirName + b.fileName);
      return T.Files.plainReason(third.reason);
    }
    return null;
  }

  function finishMove(a, b, problem) {
    if (A.trackStore.changed([a.dirName, b.dirName])) A.g.observer.notify('tracks_changed');
    if (problem) actions().showError(texts.moveFailed, problem);
  }

  function start() {
    var view = doc.getElementById('looper-view');
    if (!view) return;
    // The host collects the paths of files dragged into the window only when asked to.
    if (N.insideTarn) { try { N.app.dragdrop(true); } catch (e) { /* no drop target */ } }
    view.addEventListener('dragstart', onDragStart);
    view.addEventListener('dragover', onDragOver);
    view.addEventListener('dragleave', function (e) { if (!view.contains(e.relatedTarget)) mark(null); });
    view.addEventListener('drop', onDrop);
    // Files let go anywhere else are not opened in place of the page.
    doc.addEventListener('dragover', function (e) { if (carriesFiles(e) && !cellOf(e.target)) { e.preventDefault(); e.dataTransfer.dropEffect = 'none'; } });
    doc.addEventListener('drop', function (e) { if (!cellOf(e.target)) e.preventDefault(); });
  }

  A.gridDrop = { start: start, placeFiles: placeFiles, moveTrack: moveTrack };
})(typeof self !== 'undefined' ? self : this);
