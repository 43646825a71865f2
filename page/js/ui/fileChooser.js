// The page's own file chooser: where the host can show no dialog window (no display),
// it asks the page to choose ("choose" with the dialog's kind, start folder, extensions
// or proposed name), and the choice is answered with the dialog's own event, as a window
// would have answered it ("" when cancelled). An open dialog of several files
// ("openfilenames") takes Ctrl/Shift clicks, Shift+arrows, Space and Ctrl+A, and answers a
// JSON array of paths ("[]" when cancelled).
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var C = T.chooser;

  var TITLES = { openfilename: 'Open', openfilenames: 'Open', savefilename: 'Save As', choosefolder: 'Select Folder' };
  var ACCEPT = { openfilename: 'Open', openfilenames: 'Open', savefilename: 'Save', choosefolder: 'Select' };

  function answer(kind, path) {
    root.setTimeout(function () {
      var handler = N.fs.event[kind];
      if (typeof handler === 'function') handler.call(N, path);
    }, 0);
  }

  function show(request) {
    var kind = request.kind;
    if (!TITLES[kind]) return;
    var folder = C.withSlash(request.folder || '/');
    var many = kind === 'openfilenames';
    var selected = null;
    var anchor = null;
    var answered = false;
    var where = ui.el('p', { className: 'chooser-folder', id: 'chooser-folder' });
    var list = ui.el('div', { className: 'chooser-list', id: 'chooser-list', tabindex: '0', role: 'listbox', 'aria-label': 'Files',
      'aria-multiselectable': many ? 'true' : 'false' });
    var note = ui.el('p', { className: 'chooser-note', id: 'chooser-note' });
    var name = kind === 'savefilename' ? ui.el('input', { type: 'text', id: 'chooser-name', className: 'chooser-name' }) : null;
    if (name) name.value = request.name || '';
    var up = ui.el('button', { type: 'button', id: 'chooser-up', text: 'Up', onclick: function () { open(C.parent(folder)); } });

    function finish(path) {
      answered = true;
      handle.close();
      answer(kind, path);
    }

    function open(target) {
      var listed = A.files.contents(target);
      if (!listed.success) {
        note.textContent = T.Files.plainReason(listed.reason);
        return;
      }
      folder = C.withSlash(target);
      selected = null;
      anchor = null;
      list.removeAttribute('aria-activedescendant');
      note.textContent = '';
      where.textContent = folder;
      list.textContent = '';
      C.visible(listed.data, kind, request.extensions).forEach(function (entry) {
        var item = ui.el('div', {
          className: 'chooser-entry' + (entry.directory ? ' folder' : ''), 'data-name': entry.name,
          role: 'option', id: 'chooser-entry-' + list.childNodes.length,
          text: entry.directory ? entry.name + '/' : entry.name
        });
        item.entry = entry;
        item.addEventListener('click', function (e) { pick(item, e.shiftKey ? 'range' : e.ctrlKey || e.metaKey ? 'toggle' : 'one'); });
        item.addEventListener('dblclick', function () {
          if (entry.directory) open(folder + entry.name);
          else accept();
        });
        list.appendChild(item);
      });
    }

    function items() { return Array.prototype.slice.call(list.querySelectorAll('.chooser-entry')); }

    function mark(item, on) {
      item.classList.toggle('selected', on);
      item.setAttribute('aria-selected', on ? 'true' : 'false');
    }

    // how: 'one' (the item alone), 'toggle' (in or out of the files chosen), 'range' (from
    // the anchor to the item); the last two only where several files may be chosen, and
    // for files only: a folder is always chosen alone.
    function pick(item, how) {
      var all = items();
      if (!many || item.entry.directory || !how || how === 'one' || !anchor || anchor.entry.directory) how = 'one';
      if (how === 'one') all.forEach(function (other) { mark(other, other === item); });
      else if (how === 'toggle') mark(item, !item.classList.contains('selected'));
      else {
        var from = all.indexOf(anchor);
        var to = all.indexOf(item);
        all.forEach(function (other, n) {
          mark(other, !other.entry.directory && n >= Math.min(from, to) && n <= Math.max(from, to));
        });
      }
      if (how !== 'range') anchor = item;
      list.setAttribute('aria-activedescendant', item.id);
      selected = item.entry;
      if (name && !selected.directory) name.value = selected.name;
      if (item.scrollIntoView) item.scrollIntoView({ block: 'nearest' });
    }

    // Keyboard: arrows (Home, End) move, Enter goes into a folder or takes the file,
    // Backspace goes up.
    list.addEventListener('keydown', function (e) {
      var all = items();
      var active = document.getElementById(list.getAttribute('aria-activedescendant') || '');
      var at = all.indexOf(active && active.parentNode === list ? active : list.querySelector('.chooser-entry.selected'));
      var next = -1;
      if (e.key === 'ArrowDown') next = Math.min(items.length - 1, at + 1);
      else if (e.key === 'ArrowUp') next = Math.max(0, at - 1);
      else if (e.key === 'Home') next = 0;
      else if (e.key === 'End') next = all.length - 1;
      else if (e.key === 'Enter') { e.preventDefault(); accept(); return; }
      else if (many && e.key === ' ' && all[at]) { e.preventDefault(); pick(all[at], 'toggle'); return; }
      else if (many && (e.ctrlKey || e.metaKey) && (e.key === 'a' || e.key === 'A')) {
        e.preventDefault();
        all.forEach(function (other) { mark(other, !other.entry.directory); });
        return;
      }
      else if (e.key === 'Backspace') { e.preventDefault(); open(C.parent(folder)); return; }
      else return;
      e.preventDefault();
      if (all[next]) pick(all[next], e.shiftKey ? 'range' : 'one');
    });

    function accept() {
      if (kind === 'choosefolder') {
        finish(selected && selected.directory ? C.withSlash(folder + selected.name) : folder);
        return false;
      }
      if (selected && selected.directory) { open(folder + selected.name); return false; }
      if (many) {
        var paths = items().filter(function (item) { return item.classList.contains('selected') && !item.entry.directory; })
          .map(function (item) { return folder + item.entry.name; });
        if (paths.length) finish(JSON.stringify(paths));
        return false;
      }
      if (kind === 'openfilename') {
        if (selected) finish(folder + selected.name);
        return false;
      }
      var target = C.saveTarget(folder, name.value, request.extension);
      if (!target) { note.textContent = 'Type a name for the file.'; return false; }
      var there = A.files.stat(target);
      if (there.success && there.data && there.data.directory) { open(target); return false; }
      if (there.success) {
        ui.confirm('', T.tracks.lastSegment(target) + ' already exists. Replace it?', texts, function () { finish(target); },
          { ok: 'Replace', destructive: true });
        return false;
      }
      finish(target);
      return false;
    }

    var body = ui.el('div', { className: 'chooser' }, [ui.el('div', { className: 'chooser-where' }, [up, where]), list,
      name ? ui.el('label', { className: 'chooser-name-row' }, ['Name ', name]) : null, note]);
    var handle = ui.dialog({
      title: TITLES[kind], id: 'chooser-dialog', className: 'chooser-dialog', body: body,
      buttons: [
        { label: ACCEPT[kind], primary: true, id: 'chooser-accept', action: accept },
        { label: texts.Cancel, id: 'chooser-cancel' }
      ],
      onClose: function () { if (!answered) { answered = true; answer(kind, many ? '[]' : ''); } }
    });
    open(folder);
    if (name) name.focus(); else list.focus();
  }

  N.fs.event.choose = function (text) {
    var request = null;
    try { request = JSON.parse(text); } catch (e) { request = null; }
    if (request && typeof request === 'object') show(request);
  };

  A.fileChooser = { show: show };
})(typeof self !== 'undefined' ? self : this);
