// Whole-looper backup and restore. A backup folder holds manifest.json (model, layout,
// each track's file, size and MD5) and tracks/MMM_T/<the file's name on the looper>.
// Both run one file per step (through `later`), so that the page stays responsive and a
// cancel is seen between files; a failure or a cancel takes back everything the run
// wrote, and a restore that replaced tracks puts the old files back.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./tracks.js'), require('./models.js'), require('./files.js'), require('./json.js'),
      require('./space.js'), require('./cleanup.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.backup = factory(T.tracks, T.models, T.Files, T.json, T.space, T.cleanup);
  }
})(typeof self !== 'undefined' ? self : this, function (tracks, models, Files, json, space, cleanup) {
  'use strict';

  var FORMAT = 1;
  var MANIFEST = 'manifest.json';
  var CANCELLED = 'Cancelled.';
  var MD5 = /^[0-9A-F]{32}$/;
  // Names a restore writes before a file gets its own: the host's copy temporaries, which
  // the folder watch clears when a run died, and the replaced files kept until the end.
  var TEMPORARY_PREFIX = '.tarn-copy-';
  var ASIDE_PREFIX = cleanup.ASIDE_PREFIX;
  // In a backup folder from its first file until its manifest is in place: a backup whose
  // run was killed keeps it, and restore refuses such a folder.
  var INCOMPLETE = cleanup.INCOMPLETE_BACKUP;
  var INCOMPLETE_TEXT = 'holds an incomplete backup (Tarn was stopped while making it). Make the backup again into an empty folder.';

  var jsonText = json.text;

  function withoutSlash(path) { return String(path).replace(/\/+$/, '') || '/'; }

  function timestamp(now) {
    return (now instanceof Date ? now : new Date()).toISOString().replace(/\.\d{3}Z$/, 'Z');
  }

  function suffix() {
    var letters = 'abcdefghijklmnopqrstuvwxyz0123456789';
    var text = '';
    for (var i = 0; i < 6; i++) text += letters.charAt(Math.floor(Math.random() * letters.length));
    return text;
  }

  function address(memory, track) { return memory + '/' + track; }

  // A file name a manifest may give a track: one plain WAV name, nothing that leads out
  // of its folder.
  function plainWavName(name) {
    return typeof name === 'string' && name.length > 0 && name.length <= 255 && name.charAt(0) !== '.' &&
      !/[\u0000-\u001f\\/:*?"<>|]/.test(name) && tracks.isWav({ name: name, directory: false });
  }

  function isCount(value, low, high) {
    return typeof value === 'number' && Math.floor(value) === value && value >= low && value <= high;
  }

  // {manifest} or {reason}: what a restore onto this model may rely on.
  function checkManifest(text, row) {
    var manifest;
    try { manifest = JSON.parse(text); } catch (e) { return { reason: 'The backup\'s manifest is damaged (it is not JSON).' }; }
    if (!manifest || typeof manifest !== 'object' || Array.isArray(manifest)) return { reason: 'The backup\'s manifest is damaged.' };
    if (manifest.format !== FORMAT) return { reason: 'This backup is of a format Tarn does not know (format ' + String(manifest.format) + ').' };
    var known = typeof manifest.model === 'string' && models.compatibleInstruments.some(function (r) { return r.name === manifest.model; });
    if (!known) return { reason: 'This backup is of a looper Tarn does not know (' + String(manifest.model) + ').' };
    if (manifest.model !== row.name) return { reason: 'This backup is of a ' + manifest.model + '; the connected looper is a ' + row.name + '.' };
    var memories = models.memories(row);
    var layout = manifest.layout || {};
    if (layout.memories !== memories || layout.tracks !== row.numofTrackParMem) {
      return { reason: 'The backup\'s layout (' + layout.memories + ' memories of ' + layout.tracks + ' tracks) is not the looper\'s.' };
    }
    if (!Array.isArray(manifest.tracks)) return { reason: 'The backup\'s manifest is damaged (no track list).' };
    var seen = {};
    for (var i = 0; i < manifest.tracks.length; i++) {
      var entry = manifest.tracks[i] || {};
      var where = 'entry ' + (i + 1);
      if (!isCount(entry.memory, 1, memories) || !isCount(entry.track, 1, row.numofTrackParMem)) {
        return { reason: 'The backup\'s manifest is damaged (' + where + ': no track of this looper).' };
      }
      var key = address(entry.memory, entry.track);
      if (seen[key]) return { reason: 'The backup\'s manifest is damaged (track ' + key + ' is listed twice).' };
      seen[key] = true;
      var folder = tracks.folderName(entry.memory - 1, entry.track - 1);
      if (!plainWavName(entry.file) || entry.path !== 'tracks/' + folder + '/' + entry.file) {
        return { reason: 'The backup\'s manifest is damaged (' + where + ': the file name or path is not allowed).' };
      }
      if (typeof entry.md5 !== 'string' || !MD5.test(entry.md5) || !isCount(entry.size, 0, Number.MAX_SAFE_INTEGER)) {
        return { reason: 'The backup\'s manifest is damaged (' + where + ': no size or checksum).' };
      }
    }
    return { manifest: manifest };
  }

  // One run: its steps one after another through `later`, its undo list (taken back in
  // reverse order on failure or cancel) and what it keeps until it is over.
  function Run(options, done) {
    this.files = options.files;
    this.security = options.security;
    this.later = options.later || function (fn, ms) { return setTimeout(fn, ms); };
    this.onProgress = options.onProgress || function () {};
    this.done = done || function () {};
    this.steps = [];
    this.undo = [];
    this.commit = [];
    this.cancelled = false;
    this.over = false;
    this.total = 0;
    this.count = 0;
  }

  Run.prototype.handle = function () {
    var self = this;
    return {
      cancel: function () {
        if (self.over) return false;
        self.cancelled = true;
        return true;
      }
    };
  };

  Run.prototype.add = function (step) { this.steps.push(step); };

  Run.prototype.start = function () {
    var self = this;
    this.later(function () { self.next(); }, 0);
    return this.handle();
  };

  Run.prototype.next = function () {
    if (this.over) return;
    if (this.cancelled) { this.fail(CANCELLED, true); return; }
    var step = this.steps.shift();
    if (!step) { this.succeed(); return; }
    try {
      step.call(this);
    } catch (e) {
      this.fail(Files.plainReason(e && e.message ? e.message : e));
      return;
    }
    if (this.over) return;
    var self = this;
    this.later(function () { self.next(); }, 0);
  };

  Run.prototype.progress = function (label) {
    this.onProgress(this.count, this.total, label);
  };

  Run.prototype.md5 = function (path) {
    var digest = '';
    try { digest = String(this.security.md5(this.files.host(path)) || ''); } catch (e) { digest = ''; }
    return digest.toUpperCase();
  };

  Run.prototype.size = function (path) {
    var stat = this.files.stat(path);
    return stat.success && stat.data && !stat.data.directory ? Number(stat.data.size) : -1;
  };

  // Does it or ends the run with the reason: {success, data}.
  Run.prototype.must = function (result, text) {
    if (!result.success) this.fail(text ? text + ' ' + Files.plainReason(result.reason) : Files.plainReason(result.reason));
    return result.success;
  };

  Run.prototype.takeBack = function () {
    while (this.undo.length) {
      var action = this.undo.pop();
      if (action.unlink) this.files.unlink(action.unlink);
      else if (action.moveBack) this.files.move(action.moveBack, action.to);
    }
  };

  Run.prototype.fail = function (reason, cancelled) {
    if (this.over) return;
    this.over = true;
    this.takeBack();
    if (this.onOver) this.onOver(false);
    this.done({ success: false, reason: reason, cancelled: !!cancelled });
  };

  Run.prototype.succeed = function () {
    this.over = true;
    var self = this;
    if (this.onOver) this.onOver(true);
    this.commit.forEach(function (path) { self.files.unlink(path); });
    if (this.journal) this.journal.remove();
    this.done(this.result || { success: true, tracks: [], skipped: [] });
  };

  function required(options) {
    var missing = ['files', 'security', 'volume', 'row', 'dir'].filter(function (k) { return !options || !options[k]; });
    return missing.length ? 'Backup and restore need ' + missing.join(', ') + '.' : '';
  }

  function failLater(options, done, reason) {
    var run = new Run(options || {}, done);
    run.add(function () { this.fail(reason); });
    return run.start();
  }

  function inside(path, folder) {
    var base = withoutSlash(folder);
    var text = withoutSlash(path);
    return text === base || text.indexOf(base === '/' ? '/' : base + '/') === 0;
  }

  function two(n) { return (n < 10 ? '0' : '') + n; }

  // Where a backup into the chosen folder goes, in the window and on the command line
  // alike: the folder itself when it is empty or not there yet; else a new dated
  // folder inside it ("EDDY_SIX backup 2026-12-09 04.10.05"), so that nothing already
  // there is mixed with the backup. A folder holding a backup already is refused.
  // {dir} or {reason}.
  function folderFor(files, chosen, volName, date) {
    var base = withoutSlash(chosen);
    var listed = files.contents(base);
    if (!listed.success || listed.data.length === 0) return { dir: base };
    if (listed.data.some(function (e) { return e.name.toLowerCase() === MANIFEST; })) {
      return { reason: 'This folder holds a backup already. Choose an empty folder, or one for the backup to go into.' };
    }
    var d = date || new Date();
    var name = volName + ' backup ' + d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate()) + ' ' +
      two(d.getHours()) + '.' + two(d.getMinutes()) + '.' + two(d.getSeconds());
    return { dir: (base === '/' ? '' : base) + '/' + name };
  }

  // --- backup

  function backup(options, done) {
    var problem = required(options);
    if (problem) return failLater(options, done, problem);
    var run = new Run(options, done);
    var files = run.files;
    var dir = withoutSlash(options.dir);
    var row = options.row;
    var entries = [];
    var cells = [];

    run.add(function () {
      if (inside(dir, options.volume)) { this.fail('Choose a folder for the backup outside the looper.'); return; }
      var listed = files.contents(dir);
      if (listed.success) {
        var marked = listed.data.some(function (e) { return e.name === INCOMPLETE; });
        if (marked) { this.fail('The folder ' + dir + ' ' + INCOMPLETE_TEXT); return; }
        if (listed.data.length) { this.fail('The folder for the backup is not empty: ' + dir); return; }
      } else {
        if (files.stat(dir).success) { this.fail('The folder for the backup cannot be used: ' + dir + ' ' + Files.plainReason(listed.reason)); return; }
        if (!this.must(files.mkdir(dir), 'The folder for the backup could not be made.')) return;
        this.undo.push({ unlink: dir });
      }
      var table = options.table || null;
      if (!table) {
        var read = tracks.readTable(files, options.volume, row);
        if (!this.must(read, 'The looper\'s tracks could not be read.')) return;
        table = read.data;
      }
      table.forEach(function (memory, m) {
        memory.forEach(function (cell, t) {
          if (cell.fileName) cells.push({ memory: m + 1, track: t + 1, source: cell.dirName + cell.fileName, file: cell.fileName });
        });
      });
      var run = this;
      var bytes = cells.reduce(function (sum, cell) { return sum + Math.max(0, run.size(cell.source)); }, 0);
      var room = space.refusal(space.folder(files.fs, dir), bytes, cells.length + 2, 'the backup needs');
      if (room) { this.fail(room); return; }
      var marker = files.writeString(dir + '/' + INCOMPLETE, 'Tarn has not finished this backup.\n');
      if (marker.success) this.undo.push({ unlink: dir + '/' + INCOMPLETE });
      if (!this.must(marker, 'The folder for the backup could not be written.')) return;
      if (!this.must(files.mkdir(dir + '/tracks'), 'The folder for the backup could not be made.')) return;
      this.undo.push({ unlink: dir + '/tracks' });
      this.total = cells.length;
      this.progress('Backing up');
      cells.forEach(function (cell) { run.add(function () { copyTrack.call(this, cell); }); });
      run.add(writeManifest);
    });

    function copyTrack(cell) {
      var folder = tracks.folderName(cell.memory - 1, cell.track - 1);
      var path = 'tracks/' + folder + '/' + cell.file;
      var target = dir + '/' + path;
      var size = this.size(cell.source);
      var digest = this.md5(cell.source);
      if (size < 0 || !digest) {
        // A looper pulled out says so; a file that went away or cannot be read says why.
        var there = files.stat(cell.source);
        var why = Files.volumeProblem(files, cell.source) || (there.success ? '' : Files.plainReason(there.reason));
        this.fail(cell.file + ' (track ' + address(cell.memory, cell.track) + ') could not be read on the looper.' + (why ? ' ' + why : ''));
        return;
      }
      if (!this.must(files.mkdir(dir + '/tracks/' + folder), 'The folder for the backup could not be made.')) return;
      var copied = files.copy(cell.source, target);
      if (copied.success) this.undo.push({ unlink: target });
      if (!this.must(copied, cell.file + ' (track ' + address(cell.memory, cell.track) + ') could not be copied.')) return;
      if (this.md5(target) !== digest || this.size(target) !== size) {
        this.fail('The copy of ' + cell.file + ' (track ' + address(cell.memory, cell.track) + ') does not match the file on the looper.');
        return;
      }
      entries.push({ file: cell.file, md5: digest, memory: cell.memory, path: path, size: size, track: cell.track });
      this.count++;
      this.progress('Backing up');
    }

    function writeManifest() {
      var manifest = {
        created: timestamp(options.now),
        format: FORMAT,
        generator: 'tarn' + (options.version ? ' ' + options.version : ''),
        layout: { memories: models.memories(row), tracks: row.numofTrackParMem },
        model: row.name,
        tracks: entries,
        volumeName: options.volumeName || row.volName
      };
      var temporary = dir + '/.' + MANIFEST + '.' + suffix();
      var written = files.writeString(temporary, jsonText(manifest));
      this.undo.push({ unlink: temporary });
      if (!this.must(written, 'The manifest could not be written.')) return;
      var moved = files.move(temporary, dir + '/' + MANIFEST);
      if (moved.success) this.undo.push({ unlink: dir + '/' + MANIFEST });
      if (!this.must(moved, 'The manifest could not be written.')) return;
      files.unlink(dir + '/' + INCOMPLETE);
      this.result = { success: true, tracks: entries, skipped: [], dir: dir, manifest: manifest };
    }

    return run.start();
  }

  // --- restore

  function restore(options, done) {
    var problem = required(options);
    if (problem) return failLater(options, done, problem);
    var run = new Run(options, done);
    var files = run.files;
    var dir = withoutSlash(options.dir);
    var row = options.row;
    var wave = tracks.waveFolder(options.volume);
    var restored = [];
    var skipped = [];
    run.journal = new cleanup.Journal(files, options.volume);
    run.onOver = function (succeeded) { run.journal.close(succeeded); };

    run.add(function () {
      var path = dir + '/' + MANIFEST;
      if (files.stat(dir + '/' + INCOMPLETE).success) { this.fail('The folder ' + dir + ' ' + INCOMPLETE_TEXT); return; }
      if (!files.stat(path).success) { this.fail('There is no backup in ' + dir + ' (' + MANIFEST + ' is missing).'); return; }
      var text = files.readString(path);
      if (!this.must(text, 'The backup\'s manifest could not be read.')) return;
      var checked = checkManifest(text.data, row);
      if (checked.reason) { this.fail(checked.reason); return; }
      var list = checked.manifest.tracks;
      // Replaced files stay aside until the end: every file written needs its room.
      var bytes = 0, count = 0;
      list.forEach(function (entry) {
        var listed = files.contents(wave + tracks.folderName(entry.memory - 1, entry.track - 1));
        var occupied = listed.success && listed.data.some(tracks.isWav);
        if (occupied && !options.replace) return;
        bytes += entry.size;
        count++;
      });
      var room = count ? space.refusal(space.looper(files.fs, options.volume), bytes, count, 'the tracks to restore need') : '';
      if (room) { this.fail(room + ' Nothing was restored.'); return; }
      this.total = list.length * 2;
      this.progress('Checking the backup');
      list.forEach(function (entry) { run.add(function () { checkFile.call(this, entry); }); });
      list.forEach(function (entry) { run.add(function () { writeTrack.call(this, entry); }); });
      run.add(function () { this.result = { success: true, tracks: restored, skipped: skipped }; });
    });

    function checkFile(entry) {
      var path = dir + '/' + entry.path;
      var size = this.size(path);
      if (size < 0) { this.fail(entry.path + ' is missing from the backup; nothing was restored.'); return; }
      if (size !== entry.size) { this.fail(entry.path + ' in the backup is damaged (its size is not the one recorded); nothing was restored.'); return; }
      if (this.md5(path) !== entry.md5) { this.fail(entry.path + ' in the backup is damaged (its checksum does not match); nothing was restored.'); return; }
      this.count++;
      this.progress('Checking the backup');
    }

    // The track's folder, made (with the folders above it) when the volume lacks it;
    // what is there in it.
    function trackFolder(name) {
      var folder = wave + name;
      var listed = files.contents(folder);
      if (listed.success) return listed.data;
      var parts = [withoutSlash(options.volume) + '/CORVANE', wave.replace(/\/$/, ''), folder];
      for (var i = 0; i < parts.length; i++) {
        if (files.contents(parts[i]).success) continue;
        if (!this.must(files.mkdir(parts[i]), 'The track folder ' + name + ' could not be made.')) return null;
        this.undo.push({ unlink: parts[i] });
      }
      return [];
    }

    function writeTrack(entry) {
      var name = tracks.folderName(entry.memory - 1, entry.track - 1);
      var here = trackFolder.call(this, name);
      if (!here) return;
      var present = here.filter(tracks.isWav).map(function (e) { return e.name; });
      var track = address(entry.memory, entry.track);
      this.count++;
      if (present.length && !options.replace) {
        skipped.push({ file: entry.file, memory: entry.memory, occupiedBy: present[0], track: entry.track });
        this.progress('Restoring');
        return;
      }
      var folder = wave + name + '/';
      var away = space.outsideLooper(files.fs, folder);
      if (away) { this.fail(entry.file + ' (track ' + track + '): ' + away); return; }
      var temporary = folder + TEMPORARY_PREFIX + entry.file + '.' + suffix();
      var copied = files.copy(dir + '/' + entry.path, temporary);
      if (copied.success) this.undo.push({ unlink: temporary });
      if (!this.must(copied, entry.file + ' (track ' + track + ') could not be written to the looper.')) return;
      if (this.md5(temporary) !== entry.md5) {
        this.fail('The copy of ' + entry.file + ' on the looper (track ' + track + ') does not match the backup.');
        return;
      }
      // Replaced files step aside (case-insensitive FAT names: "a.wav" would be taken by
      // "A.WAV") and go only when the whole restore has succeeded.
      for (var i = 0; i < present.length; i++) {
        var aside = folder + ASIDE_PREFIX + present[i] + '.' + suffix();
        // Noted before the move: a run killed from here on is undone at the next start.
        var noted = this.journal.note({ aside: aside, original: folder + present[i], written: folder + entry.file });
        if (!this.must(noted, 'The restore could not keep its journal on the looper.')) return;
        if (!this.must(files.move(folder + present[i], aside), present[i] + ' (track ' + track + ') could not be replaced.')) return;
        this.undo.push({ moveBack: aside, to: folder + present[i] });
        this.commit.push(aside);
      }
      var moved = files.move(temporary, folder + entry.file);
      if (!this.must(moved, entry.file + ' (track ' + track + ') could not be given its name.')) return;
      this.undo.push({ unlink: folder + entry.file });
      restored.push({ file: entry.file, memory: entry.memory, replaced: present, track: entry.track });
      this.progress('Restoring');
    }

    return run.start();
  }

  return {
    FORMAT: FORMAT,
    MANIFEST: MANIFEST,
    folderFor: folderFor,
    backup: backup,
    restore: restore,
    checkManifest: checkManifest,
    jsonText: jsonText
  };
});
