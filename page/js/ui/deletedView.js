// Deleting tracks in the window: one confirmation that names them, a note that offers
// Undo, and the "Recently deleted" dialog that puts a kept track back. The work is
// Tarn.trash's; this is the asking and the telling.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;
  var doc = root.document;

  var lastBatch = [];   // the records of the last delete, for Undo
  var note = null;

  function looper() { return A.device && A.device.instrument; }

  function cellLabel(memory, track) {
    return T.tracks.memoryLabel(memory, looper().inst, texts) + ', ' + T.tracks.trackLabel(track, texts);
  }

  // The cells to act on: the main view's selection, else the open track dialog's.
  function selection() {
    var cells = root.TarnSelection ? root.TarnSelection.cells() : A.trackDialogs.selection();
    return (cells || []).map(function (c) { return { memory: c.memory, track: c.track }; });
  }

  // Cells of the current table that hold a file: [{memory, track, path, fileName}].
  function withFiles(cells) {
    // The kept table, or (while it is still being read) the volume read now.
    var table = (A.trackStore && A.trackStore.snapshot()) || A.trackDialogs.readTracks();
    if (!table) return [];
    return cells.filter(function (c) {
      var row = table[c.memory];
      return row && row[c.track] && row[c.track].fileName;
    }).map(function (c) {
      var cell = table[c.memory][c.track];
      return { memory: c.memory, track: c.track, fileName: cell.fileName, folder: cell.dirName, path: cell.dirName + cell.fileName };
    });
  }

  function changed(folders) {
    if (A.trackStore && A.trackStore.changed(folders)) g.observer.notify('tracks_changed');
    doc.dispatchEvent(new root.CustomEvent('tarn:tracks-changed', { detail: { folders: folders } }));
  }

  function closeNote() {
    if (note && note.parentNode) note.parentNode.removeChild(note);
    note = null;
  }

  // A note at the bottom that goes by itself, with an optional button.
  function showNote(text, button) {
    closeNote();
    var children = [ui.el('span', { text: text })];
    if (button) {
      children.push(ui.el('button', { type: 'button', id: 'undo-button', text: button.label, onclick: function () {
        closeNote();
        button.action();
      } }));
    }
    var mine = note = ui.el('div', { className: 'done-note deleted-note', id: 'deleted-note', role: 'status' }, children);
    doc.body.appendChild(mine);
    root.setTimeout(function () { if (note === mine) closeNote(); }, 10000);
  }

  function failed(text) { ui.message(text, texts['An error occurred.'], texts); }

  // Deletes the cells' tracks after one confirmation; `before` runs once it is confirmed
  // (the dialogs stop their preview).
  function deleteCells(cells, before) {
    if (!looper() || !looper().inst) return;
    var items = withFiles(cells);
    if (!items.length) return;
    var list = ui.el('ul', { className: 'delete-list' }, items.map(function (it) {
      return ui.el('li', { text: cellLabel(it.memory, it.track) + ': ' + it.fileName });
    }));
    var body = ui.el('div', {}, [
      ui.el('p', { text: items.length === 1 ? texts.deleteOne : texts.deleteMany.replace('%d', items.length) }), list,
      ui.el('p', { className: 'delete-kept', text: texts.deleteKept })]);
    ui.dialog({
      title: items.length === 1 ? texts.deleteTitleOne : texts.deleteTitleMany, body: body, id: 'confirm-dialog',
      buttons: [{ label: texts.Delete, primary: true, danger: true, id: 'confirm-ok', action: function () {
        if (before) before();
        run(items, []);
      } }, { label: texts.Cancel, cancel: true, focus: true, id: 'confirm-cancel' }]
    });
  }

  // One track after the other; a track whose copy cannot be kept is asked about.
  function run(items, done) {
    if (!items.length) { finished(done); return; }
    var it = items[0];
    var cell = { model: looper().inst.name, memory: it.memory, track: it.track, path: it.path };
    var next = function (record) { done.push({ item: it, record: record }); run(items.slice(1), done); };
    T.trash.deleteTrack(N, cell).then(next, function (e) {
      if (e.code !== 'keep') { finished(done); failed(e.message); return; }
      ui.dialog({
        title: texts.noCopyTitle, id: 'no-copy-dialog',
        body: ui.withReason(texts.noCopy.replace('%s', it.fileName), e.message),
        buttons: [{ label: texts.deleteForGood, id: 'delete-for-good', action: function () {
          T.trash.deleteTrack(N, cell, { permanently: true }).then(next, function (e2) { finished(done); failed(e2.message); });
        } }, { label: texts.Cancel, primary: true, action: function () { run(items.slice(1), done); } }]
      });
    });
  }

  function finished(done) {
    if (!done.length) return;
    changed(done.map(function (d) { return d.item.folder; }));
    lastBatch = done.map(function (d) { return d.record; }).filter(function (r) { return r; });
    var text = done.length === 1 ? texts.deletedOne.replace('%s', done[0].item.fileName) : texts.deletedMany.replace('%d', done.length);
    showNote(text, lastBatch.length ? { label: texts.Undo, action: undo } : null);
  }

  // Puts records back one by one, into their own cells; resolves to the problems.
  function putBack(records) {
    var problems = [];
    var folders = [];
    var step = records.reduce(function (chain, record) {
      return chain.then(function () {
        return T.trash.putBack(N, record.id, { volume: looper().volume }).then(function (back) {
          folders.push(back.path.replace(/[^\/]*$/, ''));
        }, function (e) { problems.push(record.name + ': ' + e.message); });
      });
    }, Promise.resolve());
    return step.then(function () {
      if (folders.length) changed(folders);
      return problems;
    });
  }

  function undo() {
    var batch = lastBatch;
    lastBatch = [];
    if (!batch.length || !looper() || !looper().inst) return Promise.resolve();
    closeNote();
    return putBack(batch).then(function (problems) {
      if (problems.length) failed(problems.join('\n'));
      else showNote(batch.length === 1 ? texts.putBackOne.replace('%s', batch[0].name) : texts.putBackMany.replace('%d', batch.length));
    });
  }

  function when(iso) {
    var d = new Date(iso);
    return d.toLocaleDateString(undefined, { month: 'short', day: 'numeric' }) + ' ' +
      d.toLocaleTimeString(undefined, { hour: '2-digit', minute: '2-digit' });
  }

  // The "Recently deleted" dialog of the connected model.
  function showDeleted() {
    var inst = looper() && looper().inst;
    if (!inst) return;
    try { T.trash.prune(N); } catch (e) { /* the list below says what is there */ }
    var records = [];
    try { records = T.trash.list(N, inst.name); } catch (e) { records = []; }
    var chosen = 0;
    var rows = records.map(function (r, i) {
      var row = ui.el('li', { className: 'deleted-row', role: 'option', tabindex: '-1', 'data-id': r.id }, [
        ui.el('span', { className: 'deleted-cell', text: cellLabel(r.memory, r.track) }),
        ui.el('span', { className: 'deleted-name', text: r.name }),
        ui.el('span', { className: 'deleted-when', text: when(r.time) })]);
      row.addEventListener('click', function () { select(i); });
      row.addEventListener('dblclick', function () { select(i); dialog.buttons[texts['Put back']].click(); });
      return row;
    });
    var list = ui.el('ul', { className: 'deleted-list', role: 'listbox', tabindex: '0', id: 'deleted-list' }, rows);
    list.addEventListener('keydown', function (e) {
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        select(Math.max(0, Math.min(rows.length - 1, chosen + (e.key === 'ArrowDown' ? 1 : -1))));
      } else if (e.key === 'Enter' && rows.length) { e.preventDefault(); dialog.buttons[texts['Put back']].click(); }
    });
    function select(i) {
      chosen = i;
      rows.forEach(function (row, j) {
        row.classList.toggle('selected', j === i);
        row.setAttribute('aria-selected', j === i ? 'true' : 'false');
      });
    }
    var body = rows.length ? ui.el('div', {}, [list, ui.el('p', { className: 'dialog-status', text: texts.deletedKeep })])
      : ui.el('p', { id: 'deleted-empty', text: texts.noneDeleted });
    var dialog = ui.dialog({
      title: texts['Recently deleted'], id: 'deleted-dialog', className: 'deleted', body: body,
      buttons: [{ label: texts['Put back'], primary: true, id: 'put-back-button', action: function () {
        var record = records[chosen];
        if (!record) return false;
        putBack([record]).then(function (problems) {
          if (problems.length) { failed(problems.join('\n')); return; }
          dialog.close();
          showNote(texts.putBackOne.replace('%s', record.name));
        });
        return false;
      } }, { label: texts.Close, id: 'deleted-close' }]
    });
    if (!rows.length) dialog.buttons[texts['Put back']].disabled = true;
    else { select(0); list.focus(); }
  }

  // The toolbar button goes with the looper, like Import and Export.
  var button = doc.getElementById('deleted-button');
  if (button) {
    button.addEventListener('click', showDeleted);
    var follow = function () {
      var importButton = doc.getElementById('import-button');
      button.disabled = !importButton || importButton.disabled;
    };
    follow();
    var importButton = doc.getElementById('import-button');
    if (importButton && root.MutationObserver) new root.MutationObserver(follow).observe(importButton, { attributes: true });
  }

  // The Delete key and Ctrl+Z (bound elsewhere) arrive as actions.
  doc.addEventListener('tarn:action', function (e) {
    var action = e.detail && e.detail.action;
    if (action === 'delete') deleteCells(selection());
    else if (action === 'undo') undo();
  });

  A.deleted = { deleteCells: deleteCells, undo: undo, show: showDeleted };
})(typeof self !== 'undefined' ? self : this);
