// What a run of Tarn that was killed (or lost its looper) may have left on a looper's
// volume, and taking it away when the looper is found again: the hidden copy
// temporaries in the track folders, and a restore that was replacing tracks, whose
// journal says which old files to put back (or, when it had finished, which to let go).
// Shared by the window, the headless host and the command line.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./tracks.js'), require('./json.js'));
  else (root.Tarn = root.Tarn || {}).cleanup = factory(root.Tarn.tracks, root.Tarn.json);
})(typeof self !== 'undefined' ? self : this, function (tracks, json) {
  'use strict';

  var ASIDE_PREFIX = '.tarn-old-';
  var ASIDE = /^\.tarn-old-(.+)\.[a-z0-9]{6}$/;
  var JOURNAL = '.tarn-restore.json';
  var INCOMPLETE_BACKUP = '.tarn-incomplete';

  function corvaneFolder(volume) { return String(volume).replace(/\/+$/, '') + '/CORVANE/'; }

  // A restore's record of the tracks it set aside, kept on the looper while it runs.
  // Every change is written under another name first and then put in place, so a kill
  // at any moment leaves one whole journal.
  function Journal(files, volume) {
    this.files = files;
    this.path = corvaneFolder(volume) + JOURNAL;
    this.moves = [];
    this.written = false;
  }

  Journal.prototype.save = function (state) {
    var files = this.files;
    var next = this.path + '.new';
    files.unlink(next);
    var saved = files.writeString(next, json.text({ moves: this.moves, state: state }));
    if (!saved.success) { files.unlink(next); return saved; }
    files.unlink(this.path);
    this.written = true;
    return files.move(next, this.path);
  };

  // move: {aside, original, written}, noted before the original is set aside.
  Journal.prototype.note = function (move) {
    this.moves.push(move);
    return this.save('replacing');
  };

  // The run is over: when it succeeded the old files are about to go (a kill now keeps
  // the new tracks); when it failed everything was put back already.
  Journal.prototype.close = function (succeeded) {
    if (!this.written) return;
    if (succeeded && this.moves.length) this.save('committing');
    else this.remove();
  };

  Journal.prototype.remove = function () {
    if (!this.written) return;
    this.files.unlink(this.path);
    this.files.unlink(this.path + '.new');
    this.written = false;
  };

  function readJournal(files, path) {
    var text = files.readString(path);
    if (!text.success) return null;
    try {
      var doc = JSON.parse(text.data);
      return doc && Array.isArray(doc.moves) ? doc : null;
    } catch (e) {
      return null;
    }
  }

  function exists(files, path) { return files.stat(path).success; }

  // A journal's moves are only followed inside the looper's own track folders.
  function inWave(path, wave) {
    var text = String(path);
    return text.indexOf(wave) === 0 && text.indexOf('/../') < 0 && text.indexOf('/./') < 0;
  }

  // Finishes or takes back the restore a journal describes; what was done goes to report.
  function followJournal(files, volume, report) {
    var base = corvaneFolder(volume) + JOURNAL;
    var found = [base, base + '.new'].filter(function (path) { return exists(files, path); });
    if (!found.length) return;
    var doc = readJournal(files, base) || readJournal(files, base + '.new');
    var wave = tracks.waveFolder(volume);
    if (doc) {
      var moves = doc.moves.filter(function (m) {
        return m && inWave(m.aside, wave) && inWave(m.original, wave) && inWave(m.written, wave);
      });
      if (doc.state === 'committing') {
        moves.forEach(function (m) { if (files.unlink(m.aside).success) report.removed.push(m.aside); });
      } else {
        moves.slice().reverse().forEach(function (m) {
          if (!exists(files, m.aside)) return;
          // The original is aside, so the name holds the new file (or nothing).
          if (files.unlink(m.written).success) report.removed.push(m.written);
          if (files.move(m.aside, m.original).success) report.restored.push(m.original);
        });
      }
    }
    found.forEach(function (path) { files.unlink(path); });
  }

  // An old take set aside with no journal left to explain it comes back when its track
  // is empty (else it stays, hidden: it is never deleted on a guess).
  function putBack(files, path, report) {
    var slash = path.lastIndexOf('/');
    var folder = path.substring(0, slash + 1);
    var aside = ASIDE.exec(path.substring(slash + 1));
    if (!aside || !tracks.isWav({ name: aside[1], directory: false })) return;
    var listed = files.contents(folder);
    if (!listed.success || listed.data.some(tracks.isWav)) return;
    if (files.move(path, folder + aside[1]).success) report.restored.push(folder + aside[1]);
  }

  // Cleans a looper's volume as it is found: the host clears the copy temporaries of a
  // dead run (never those of a copy still running) and lists Tarn's other hidden files.
  // options.busy: a job of this run is writing to the looper, so a restore journal there
  // is its own and stays. {removed, restored}: paths.
  function looper(files, volume, options) {
    var report = { removed: [], restored: [] };
    if (!volume) return report;
    if (!(options && options.busy)) followJournal(files, volume, report);
    var wave = tracks.waveFolder(volume);
    var left = typeof files.leftovers === 'function' ? files.leftovers(wave) : { success: false };
    if (!left.success || (options && options.busy)) return report;
    left.data.forEach(function (path) { if (inWave(path, wave)) putBack(files, path, report); });
    return report;
  }

  return {
    ASIDE_PREFIX: ASIDE_PREFIX,
    JOURNAL: JOURNAL,
    INCOMPLETE_BACKUP: INCOMPLETE_BACKUP,
    Journal: Journal,
    looper: looper
  };
});
