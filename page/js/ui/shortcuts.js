// Keyboard shortcuts of the window. Track actions go out as a 'tarn:action' event on the
// document ({detail: {action}}), which the view that owns the action takes by calling
// preventDefault(); Import and Export fall back to their toolbar buttons when no view
// took them. While a dialog is open only the dialog hears the keyboard.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var doc = root.document;

  // key: what KeyboardEvent.key says (letters in lower case); ctrl: with Ctrl (or ⌘).
  var SHORTCUTS = [
    { key: 'o', ctrl: true, action: 'import', label: 'Ctrl+O', what: 'Import a file into a track' },
    { key: 'e', ctrl: true, action: 'export', label: 'Ctrl+E', what: 'Export a track' },
    { key: 'Delete', action: 'delete', label: 'Delete', what: 'Delete the selected track' },
    { key: 'z', ctrl: true, action: 'undo', label: 'Ctrl+Z', what: 'Undo the last delete' },
    { key: 'F5', action: 'reload', label: 'F5', what: 'Read the looper again' },
    { key: 'F1', run: function () { if (A.showAbout) A.showAbout(); }, label: 'F1', what: 'About and shortcuts' },
    { key: 'q', ctrl: true, run: quit, label: 'Ctrl+Q', what: 'Quit (leaves edit mode first)' },
    { key: 'w', ctrl: true, run: quit, label: 'Ctrl+W', what: 'Close the window' }
  ];

  var FALLBACK_BUTTON = { 'import': 'import-button', 'export': 'export-button' };

  // The page's own exit flow: edit mode is left and the volume released before the end.
  function quit() {
    if (A.procedures.exit) A.procedures.exit();
  }

  // Sends an action to the views; true when one of them (or the fallback) took it.
  function dispatch(action) {
    var event = new root.CustomEvent('tarn:action', { detail: { action: action }, cancelable: true });
    doc.dispatchEvent(event);
    if (event.defaultPrevented) return true;
    var button = FALLBACK_BUTTON[action] && doc.getElementById(FALLBACK_BUTTON[action]);
    if (button && !button.disabled && !button.hidden) { button.click(); return true; }
    return false;
  }

  function matches(shortcut, e) {
    var ctrl = e.ctrlKey || e.metaKey;
    if (!!shortcut.ctrl !== ctrl || e.altKey) return false;
    var key = e.key && e.key.length === 1 ? e.key.toLowerCase() : e.key;
    return key === shortcut.key && (shortcut.ctrl || !e.shiftKey);
  }

  function inField(target) {
    return !!(target && target.closest && target.closest('input, textarea, select, [contenteditable="true"]'));
  }

  doc.addEventListener('keydown', function (e) {
    // F5 never reloads the page: the page's state would go with it.
    if (e.key === 'F5') e.preventDefault();
    if (e.defaultPrevented && e.key !== 'F5') return;
    if (T.ui.anyOpen() || A.menuOpen) return;
    for (var i = 0; i < SHORTCUTS.length; i++) {
      var s = SHORTCUTS[i];
      if (!matches(s, e)) continue;
      // Delete and Ctrl+Z in a text field edit the text.
      if (inField(e.target) && (s.action === 'delete' || s.action === 'undo')) return;
      e.preventDefault();
      if (s.run) s.run();
      else dispatch(s.action);
      return;
    }
  });

  // The list shown in About.
  A.shortcutList = function () {
    var ui = T.ui;
    return ui.el('dl', { className: 'shortcut-list', id: 'shortcut-list', 'aria-label': 'Keyboard shortcuts' },
      SHORTCUTS.reduce(function (nodes, s) {
        nodes.push(ui.el('dt', {}, [ui.el('kbd', { text: s.label })]), ui.el('dd', { text: s.what }));
        return nodes;
      }, []));
  };
  A.dispatchAction = dispatch;
})(typeof self !== 'undefined' ? self : this);
