// The folder each kind of file dialog was last used in ("import", "export", "backup"),
// kept in the page's storage so that the next dialog of that kind starts there. A folder
// that is gone is forgotten: the dialog then starts where it would by itself.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;

  function key(kind) { return 'lastFolder.' + kind; }

  A.places = {
    // The page path of the folder last used for kind, or '' when none (or gone).
    folder: function (kind) {
      var folder = '';
      try { folder = N.app.storage2(key(kind)) || ''; } catch (e) { folder = ''; }
      if (!folder) return '';
      var there = A.files.stat(folder);
      return there.success && there.data && there.data.directory ? folder : '';
    },
    // Remembers the folder of a chosen path (a file, or a folder ending in '/').
    remember: function (kind, path) {
      var folder = String(path || '').replace(/[^\/]*$/, '');
      if (!folder) return;
      try { N.app.storage2(key(kind), folder); } catch (e) { /* not kept: no harm */ }
    }
  };
})(typeof self !== 'undefined' ? self : this);
