// The main view: the connected looper's memories (rows) and tracks (columns) as a grid,
// kept current from the track table, with a header of the looper's figures, a selection
// of one or several cells and the actions on it. Without a usable looper it says how to
// connect one.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;
  var G = T.grid;
  var doc = root.document;

  var THUMB_COLUMNS = 96;

  var state = {
    volume: '', inst: null, table: null,
    selection: null,
    cells: [],          // cell nodes by memory-major index
    infos: {},          // path -> {frames, sampleRate, format} once read (null: unreadable)
    reading: {},        // path -> true while its header is being read
    queue: [],
    active: 0,
    observer: null
  };

  function panel() { return doc.getElementById('looper-view'); }
  function device() { return A.device.instrument; }
  function width() { return state.inst ? state.inst.numofTrackParMem : 1; }
  function pathOf(cell) { return cell.fileName ? cell.dirName + cell.fileName : ''; }

  // --- what the view shows

  function render() {
    var box = panel();
    if (!box) return;
    var inst = device().inst;
    var usable = A.device.manager.usable() && !!inst && !!device().volume;
    var table = usable && A.trackStore && A.trackStore.ready(device().volume, inst) ? A.trackStore.table : null;
    if (!table) {
      showWaiting(box, usable ? inst : null, inst);
      return;
    }
    var sameLooper = state.volume === device().volume && state.inst === inst && state.selection;
    var hadFocus = box.contains(doc.activeElement) && doc.activeElement.getAttribute('role') === 'gridcell';
    state.volume = device().volume;
    state.inst = inst;
    state.table = table;
    if (!sameLooper) state.selection = new G.Selection(table.length * width());
    box.textContent = '';
    box.removeAttribute('data-state');
    box.appendChild(header(table, inst));
    box.appendChild(actionBar());
    box.appendChild(gridNode(table, inst));
    refreshSelection();
    box.setAttribute('data-state', 'grid');
    if (hadFocus) focusCell(state.selection.focus);
  }

  // No looper (or one still being put into edit mode, or its tracks still being read).
  function showWaiting(box, reading, inst) {
    state.table = null;
    state.cells = [];
    state.queue = [];
    if (state.observer) state.observer.disconnect();
    // A looper that answers over MIDI (in edit mode, maybe) but whose volume is not there.
    var midiOnly = !inst ? A.device.midiOnly() : null;
    var title = reading ? texts.readingTracks : inst ? inst.name + ' ' + texts.gettingReady :
      midiOnly ? midiOnly.name + ': ' + texts.waitingStorage : texts.noDevice;
    var body = reading || inst ? '' : midiOnly ? texts.storageHint : texts.howToConnect;
    box.textContent = '';
    box.setAttribute('data-state', reading || inst || midiOnly ? 'waiting' : 'none');
    box.appendChild(ui.el('div', { className: 'looper-none', id: 'looper-none' }, [
      ui.el('h2', { text: title }),
      body ? ui.el('p', { text: body }) : null
    ]));
  }

  function volumeFacts(volume) {
    try {
      var list = JSON.parse(N.fs.volumes());
      for (var i = 0; i < list.length; i++) {
        if (String(list[i].mount).replace(/\/+$/, '') === String(volume).replace(/\/+$/, '')) return list[i];
      }
    } catch (e) { /* no facts: the header leaves them out */ }
    return null;
  }

  function header(table, inst) {
    var use = G.usage(table);
    var facts = volumeFacts(device().volume);
    var space = facts && facts.free !== undefined ? G.sizeText(facts.free) + ' free of ' + G.sizeText(facts.size) : '';
    return ui.el('div', { className: 'grid-head', id: 'grid-head' }, [
      ui.el('h2', { className: 'grid-model', text: inst.name }),
      ui.el('span', { className: 'grid-volume', id: 'grid-volume', text: (facts && facts.volume ? facts.volume + ' at ' : '') +
        String(device().volume).replace(/\/+$/, '') }),
      ui.el('span', { className: 'grid-usage', id: 'grid-usage', text: use.used + ' of ' + use.total + ' tracks used' }),
      space ? ui.el('span', { className: 'grid-space', id: 'grid-space', text: space }) : null
    ]);
  }

  function actionBar() {
    return ui.el('div', { className: 'grid-actions', id: 'grid-actions' }, [
      ui.el('button', { type: 'button', id: 'grid-import', text: 'Import…', onclick: importSelected }),
      ui.el('button', { type: 'button', id: 'grid-export', text: 'Export…', onclick: exportSelected }),
      ui.el('button', { type: 'button', id: 'grid-rename', text: 'Rename…', onclick: renameSelected }),
      ui.el('span', { className: 'grid-selected', id: 'grid-selected', role: 'status' })
    ]);
  }

  function gridNode(table, inst) {
    var tracksPerMemory = width();
    var grid = ui.el('div', {
      role: 'grid', 'aria-label': 'Tracks', id: 'track-grid', className: 'track-grid',
      'aria-multiselectable': 'true', 'aria-rowcount': String(table.length + 1), 'aria-colcount': String(tracksPerMemory + 1)
    });
    grid.style.setProperty('--tracks', String(tracksPerMemory));
    var head = ui.el('div', { role: 'row', className: 'grid-row grid-columns' }, [ui.el('span', { role: 'columnheader', className: 'grid-corner', text: texts.Memory })]);
    for (var t = 0; t < tracksPerMemory; t++) head.appendChild(ui.el('span', { role: 'columnheader', text: T.tracks.trackLabel(t, texts) }));
    grid.appendChild(head);
    state.cells = [];
    if (state.observer) state.observer.disconnect();
    state.observer = typeof root.IntersectionObserver === 'function' ? new root.IntersectionObserver(onVisible, { root: null, rootMargin: '200px' }) : null;
    var rows = doc.createDocumentFragment();
    table.forEach(function (memory, m) {
      var row = ui.el('div', { role: 'row', className: 'grid-row', 'aria-rowindex': String(m + 2) }, [
        ui.el('span', { role: 'rowheader', className: 'grid-memory', text: T.tracks.memoryLabel(m, inst, texts) })
      ]);
      memory.forEach(function (cell, t) {
        var node = cellNode(cell, m, t, inst);
        state.cells.push(node);
        row.appendChild(node);
        if (cell.fileName && state.observer) state.observer.observe(node);
      });
      rows.appendChild(row);
    });
    grid.appendChild(rows);
    grid.addEventListener('keydown', onKey);
    grid.addEventListener('click', onClick);
    grid.addEventListener('dblclick', function (e) { if (cellIndex(e.target) >= 0) runDefault(); });
    if (!state.observer) state.cells.forEach(function (node, i) { if (node.classList.contains('used')) want(i); });
    return grid;
  }

  function cellNode(cell, m, t, inst) {
    var index = m * width() + t;
    var info = state.infos[pathOf(cell)];
    var node = ui.el('div', {
      role: 'gridcell', className: 'grid-cell' + (cell.fileName ? ' used' : ' empty'), tabindex: '-1',
      'data-index': String(index), 'data-memory': String(m), 'data-track': String(t),
      'aria-label': G.cellName(m, t, cell, inst, info), 'aria-selected': 'false'
    });
    if (cell.fileName) node.draggable = true;
    if (!cell.fileName) {
      node.appendChild(ui.el('span', { className: 'cell-empty', text: cell.dirName ? 'Empty' : 'No track folder' }));
      return node;
    }
    node.appendChild(ui.el('span', { className: 'cell-name', text: cell.fileName }));
    node.appendChild(doc.createTextNode(' '));
    var meta = ui.el('span', { className: 'cell-meta' });
    fillMeta(meta, info);
    node.appendChild(meta);
    return node;
  }

  // The length is part of the cell's name ("Memory M, track T: NAME, LENGTH"); the format beside
  // it is drawn by the style sheet from data-format, so that the text a cell holds stays within
  // what it is called (for speech input, which names a control by its visible words).
  function fillMeta(meta, info) {
    meta.textContent = '';
    if (info === undefined) { meta.textContent = '…'; return; }
    if (info === null) { meta.textContent = 'Not a readable WAV file'; return; }
    meta.appendChild(ui.el('span', { text: G.lengthText(info.frames, info.sampleRate) }));
    var format = ui.el('span', { className: 'cell-format' });
    format.setAttribute('data-format', G.formatText(info));
    meta.appendChild(format);
  }

  // --- the file facts of visible used cells, read in the background a few at a time

  function onVisible(entries) {
    entries.forEach(function (entry) {
      if (!entry.isIntersecting) return;
      var index = Number(entry.target.getAttribute('data-index'));
      if (state.observer) state.observer.unobserve(entry.target);
      want(index);
    });
  }

  function want(index) {
    state.queue.push(index);
    pump();
  }

  function cellAt(index) {
    var at = G.at(index, width());
    return state.table && state.table[at.memory] ? state.table[at.memory][at.track] : null;
  }

  function pump() {
    while (state.active < 4 && state.queue.length) {
      var index = state.queue.shift();
      var cell = cellAt(index);
      var path = cell ? pathOf(cell) : '';
      if (!path || state.reading[path]) continue;
      if (state.infos[path] !== undefined) { showInfo(index); continue; }
      state.reading[path] = true;
      state.active++;
      readInfo(path).then(function (p, i, info) {
        delete state.reading[p];
        state.infos[p] = info;
        state.active--;
        showInfo(i);
        pump();
      }.bind(null, path, index));
    }
  }

  // The format is read by the host without blocking the page.
  function readInfo(path) {
    var host = A.files.host(path);
    var answer = typeof N.callAsync === 'function'
      ? N.callAsync('$$trnWav_formatWithAcidChunk', host)
      : Promise.resolve().then(function () { return N.trnWav.formatWithAcidChunk(host); });
    return answer.then(T.trackInfo.fromAnswer).catch(function () { return null; });
  }

  function showInfo(index) {
    var node = state.cells[index];
    var cell = cellAt(index);
    if (!node || !cell || !cell.fileName) return;
    var info = state.infos[pathOf(cell)];
    var at = G.at(index, width());
    node.setAttribute('aria-label', G.cellName(at.memory, at.track, cell, state.inst, info));
    var meta = node.querySelector('.cell-meta');
    if (meta) fillMeta(meta, info);
    if (info) thumbnail(node, pathOf(cell));
  }

  // The waveform, where the page has a peak reader and a painter.
  function thumbnail(node, path) {
    if (typeof root.TarnPeaks === 'undefined' || typeof root.TarnWaveform === 'undefined') return;
    if (node.querySelector('canvas')) return;
    var canvas = ui.el('canvas', { className: 'cell-wave', width: String(THUMB_COLUMNS), height: '24', 'aria-hidden': 'true' });
    node.appendChild(canvas);
    Promise.resolve(root.TarnPeaks.get(A.files.host(path), THUMB_COLUMNS)).then(function (peaks) {
      if (peaks && canvas.isConnected) root.TarnWaveform.draw(canvas, peaks, {});
    }).catch(function () { if (canvas.parentNode) canvas.parentNode.removeChild(canvas); });
  }

  // --- selection

  function cellIndex(target) {
    var node = target && target.closest ? target.closest('[role="gridcell"]') : null;
    return node ? Number(node.getAttribute('data-index')) : -1;
  }

  function refreshSelection() {
    var sel = state.selection;
    state.cells.forEach(function (node, i) {
      var on = sel.has(i);
      if ((node.getAttribute('aria-selected') === 'true') !== on) node.setAttribute('aria-selected', on ? 'true' : 'false');
      node.tabIndex = i === sel.focus ? 0 : -1;
    });
    var chosen = selectedCells();
    var used = chosen.filter(function (c) { return c.cell.fileName; });
    var empty = chosen.filter(function (c) { return G.isEmpty(c.cell); });
    var status = doc.getElementById('grid-selected');
    if (status) {
      status.textContent = chosen.length === 1
        ? T.tracks.memoryLabel(chosen[0].memory, state.inst, texts) + ', ' + T.tracks.trackLabel(chosen[0].track, texts) + ' selected'
        : chosen.length + ' tracks selected';
    }
    setDisabled('grid-import', empty.length === 0 && !anyEmptyAfter());
    setDisabled('grid-export', used.length === 0);
    setDisabled('grid-rename', !(chosen.length === 1 && used.length === 1));
  }

  function setDisabled(id, off) {
    var b = doc.getElementById(id);
    if (b) b.disabled = off;
  }

  function anyEmptyAfter() {
    var list = state.selection.list();
    var from = list.length ? list[list.length - 1] : 0;
    return !!G.fillTargets(state.table, G.at(Math.min(from, state.cells.length - 1), width()), 1);
  }

  function selectedCells() {
    if (!state.table) return [];
    return state.selection.list().map(function (i) {
      var at = G.at(i, width());
      return { memory: at.memory, track: at.track, index: i, cell: state.table[at.memory][at.track] };
    });
  }

  function focusCell(index) {
    var node = state.cells[index];
    if (!node) return;
    node.focus({ preventScroll: true });
    if (node.scrollIntoView) node.scrollIntoView({ block: 'nearest', inline: 'nearest' });
  }

  function onClick(e) {
    var index = cellIndex(e.target);
    if (index < 0) return;
    state.selection.pick(index, { extend: e.shiftKey, toggle: e.ctrlKey || e.metaKey });
    refreshSelection();
    focusCell(index);
  }

  function onKey(e) {
    var sel = state.selection;
    var w = width();
    var at = G.at(sel.focus, w);
    var rows = state.table.length;
    var next = null;
    var ctrl = e.ctrlKey || e.metaKey;
    if (e.key === 'ArrowRight') next = at.track < w - 1 ? sel.focus + 1 : sel.focus;
    else if (e.key === 'ArrowLeft') next = at.track > 0 ? sel.focus - 1 : sel.focus;
    else if (e.key === 'ArrowDown') next = at.memory < rows - 1 ? sel.focus + w : sel.focus;
    else if (e.key === 'ArrowUp') next = at.memory > 0 ? sel.focus - w : sel.focus;
    else if (e.key === 'PageDown') next = Math.min(rows - 1, at.memory + 10) * w + at.track;
    else if (e.key === 'PageUp') next = Math.max(0, at.memory - 10) * w + at.track;
    else if (e.key === 'Home') next = ctrl ? 0 : at.memory * w;
    else if (e.key === 'End') next = ctrl ? state.cells.length - 1 : at.memory * w + w - 1;
    else if ((e.key === 'a' || e.key === 'A') && ctrl) { e.preventDefault(); sel.all(); refreshSelection(); return; }
    else if (e.key === ' ') { e.preventDefault(); sel.pick(sel.focus, { toggle: ctrl }); refreshSelection(); return; }
    else if (e.key === 'Enter') { e.preventDefault(); runDefault(); return; }
    else if (e.key === 'F2') { e.preventDefault(); renameSelected(); return; }
    else return;
    e.preventDefault();
    if (ctrl && !e.shiftKey) sel.focus = next; // Ctrl moves the focus alone; Space then picks
    else sel.pick(next, { extend: e.shiftKey });
    refreshSelection();
    focusCell(next);
  }

  // Enter or a double click: import into an empty cell, export a used one.
  function runDefault() {
    var cell = cellAt(state.selection.focus);
    if (!cell) return;
    if (cell.fileName) exportSelected();
    else if (cell.dirName) importSelected();
  }

  // --- actions (the batch work itself is gridActions.js's)

  function importSelected() { if (A.gridActions) A.gridActions.importInto(selectedCells()); }
  function exportSelected() { if (A.gridActions) A.gridActions.exportTracks(selectedCells().filter(function (c) { return c.cell.fileName; })); }
  function renameSelected() {
    var chosen = selectedCells();
    if (A.gridActions && chosen.length === 1 && chosen[0].cell.fileName) A.gridActions.rename(chosen[0]);
  }

  // The selected empty cell, for a catalogue download; null when there is none.
  function selectedEmpty() {
    var chosen = selectedCells().filter(function (c) { return G.isEmpty(c.cell); });
    return chosen.length ? { memory: chosen[0].memory, track: chosen[0].track } : null;
  }

  function select(memory, track) {
    if (!state.selection) return;
    state.selection.pick(memory * width() + track);
    refreshSelection();
  }

  // --- tabs: the looper and the catalogue

  function showTab(name) {
    ['looper', 'catalogue'].forEach(function (tab) {
      var button = doc.getElementById(tab + '-tab');
      var pane = doc.getElementById(tab === 'looper' ? 'looper-view' : 'catalogue');
      var on = tab === name;
      if (button) { button.setAttribute('aria-selected', on ? 'true' : 'false'); button.tabIndex = on ? 0 : -1; }
      if (pane) pane.hidden = !on;
    });
  }

  function start() {
    ['looper', 'catalogue'].forEach(function (tab) {
      var button = doc.getElementById(tab + '-tab');
      if (button) button.addEventListener('click', function () { showTab(tab); });
    });
    showTab('looper');
    if (A.gridDrop) A.gridDrop.start();
    render();
    g.observer.append('tracks_changed', 'gridView', function () {
      forgetChanged();
      render();
    });
    doc.addEventListener('tarn:tracks-changed', function () {
      if (A.trackStore && A.trackStore.table) A.trackStore.changed(allFolders());
      forgetChanged();
      render();
    });
    doc.addEventListener('tarn:action', function (e) {
      var action = e.detail && e.detail.action;
      if (!state.table) return;
      if (action === 'import') importSelected();
      else if (action === 'export') exportSelected();
      else if (action === 'reload') reload();
    });
  }

  function allFolders() {
    var folders = [];
    (state.table || []).forEach(function (row) { row.forEach(function (cell) { if (cell.dirName) folders.push(cell.dirName); }); });
    return folders;
  }

  // The facts of files no longer in the table are read again when they come back.
  function forgetChanged() {
    var table = A.trackStore && A.trackStore.table;
    var live = {};
    (table || []).forEach(function (row) { row.forEach(function (cell) { if (cell.fileName) live[pathOf(cell)] = true; }); });
    Object.keys(state.infos).forEach(function (p) { if (!live[p]) delete state.infos[p]; });
  }

  // F5: the looper read afresh, facts and all.
  function reload() {
    state.infos = {};
    if (A.trackStore) A.trackStore.drop();
    render();
    A.device.keepTracks();
  }

  // The device check calls this on every look: only a change of state redraws.
  var lastKey = '';
  function deviceChecked() {
    var inst = device().inst;
    var key = [A.device.manager.usable(), device().volume, inst ? inst.volName : '',
      !!(A.trackStore && A.trackStore.ready(device().volume, inst)), !!A.device.midiOnly()].join('|');
    if (key === lastKey) return;
    lastKey = key;
    render();
  }

  A.gridView = {
    start: start, render: render, deviceChecked: deviceChecked, selectedEmpty: selectedEmpty, select: select,
    showTab: showTab, selectedCells: selectedCells
  };
})(typeof self !== 'undefined' ? self : this);
