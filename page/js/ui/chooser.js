// What the page's own file chooser shows and answers, where the host can show no dialog
// window: the entries of a folder for the kind of dialog, the way up, and the path a
// choice stands for (a typed name gets the dialog's extension when it has none).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).chooser = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function withSlash(folder) {
    var text = String(folder || '/');
    return /\/$/.test(text) ? text : text + '/';
  }

  function extensionOf(name) {
    var at = name.lastIndexOf('.');
    return at > 0 ? name.substring(at + 1).toLowerCase() : '';
  }

  function byName(a, b) {
    var x = a.name.toLowerCase();
    var y = b.name.toLowerCase();
    return x < y ? -1 : x > y ? 1 : 0;
  }

  // An open dialog, of one file or of several.
  function isOpen(kind) { return kind === 'openfilename' || kind === 'openfilenames'; }

  // The entries to list, folders first, each group by name; hidden ones ("." names) left
  // out. An open dialog lists the files of its extensions (all files without any), a
  // save dialog every file (to see what is there), a folder dialog no files.
  function visible(entries, kind, extensions) {
    var wanted = (extensions || []).map(function (e) { return String(e).toLowerCase(); });
    var shown = (entries || []).filter(function (e) { return e && e.name && e.name.charAt(0) !== '.'; });
    var folders = shown.filter(function (e) { return e.directory; }).sort(byName);
    var files = kind === 'choosefolder' ? [] : shown.filter(function (e) {
      if (e.directory) return false;
      return !isOpen(kind) || wanted.length === 0 || wanted.indexOf(extensionOf(e.name)) >= 0;
    }).sort(byName);
    return folders.concat(files);
  }

  // The folder above ("/" stays "/").
  function parent(folder) {
    var text = withSlash(folder).replace(/\/+$/, '');
    var at = text.lastIndexOf('/');
    return at <= 0 ? '/' : text.substring(0, at + 1);
  }

  // The path a typed name in a folder stands for, or null when the name cannot be a
  // file's ("", ".", "..", or with a "/").
  function saveTarget(folder, typed, extension) {
    var name = String(typed || '').trim();
    if (!name || name === '.' || name === '..' || name.indexOf('/') >= 0 || name.indexOf('\0') >= 0) return null;
    if (extension && name.indexOf('.') < 0) name += '.' + extension;
    return withSlash(folder) + name;
  }

  return { visible: visible, parent: parent, saveTarget: saveTarget, withSlash: withSlash, isOpen: isOpen };
});
