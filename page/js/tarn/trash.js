// "Recently deleted": a deleted track is first copied into Tarn's data folder, under
// deleted/<model>/<id>/, with a record (cell, name, time, checksum), and only then removed
// from the looper; it can be put back into its cell (or another empty one) for 30 days,
// as long as the folder stays under 2 GiB (the oldest go first past that).
// Memory and track numbers are 0-based here, as in the page's track table.
// Every call takes the bridge object ($native in the page and the command line).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./files.js'), require('./tracks.js'), require('./json.js'), require('./space.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    root.TarnTrash = T.trash = factory(T.Files, T.tracks, T.json, T.space);
  }
})(typeof self !== 'undefined' ? self : this, function (Files, tracks, json, space) {
  'use strict';

  var DAY_MS = 24 * 3600 * 1000;
  var LIMITS = { ageMs: 30 * DAY_MS, bytes: 2 * 1024 * 1024 * 1024 };
  var RECORD = 'record.json';

  // A failure: message in plain words; `code` says what went wrong for callers that
  // react differently ("keep": no copy could be made, "used", "changed", "missing",
  // "remove", "copy").
  function failure(code, message) {
    var error = new Error(message);
    error.code = code;
    return error;
  }

  function files(native) { return new Files(native.fs); }

  function must(result, code, prefix) {
    if (!result.success) throw failure(code, (prefix ? prefix + ' ' : '') + Files.plainReason(result.reason));
    return result.data;
  }

  // deleted/ in Tarn's data folder, in page form ending in "/".
  function base(native) {
    return must(files(native).folder('bundle'), 'keep', 'The folder for deleted tracks cannot be found.') + 'deleted/';
  }

  // A model name as one folder name.
  function modelFolder(model) { return String(model).replace(/[\/\\\u0000-\u001f]/g, '_') || '_'; }

  function pad(n, width) { var s = String(n); while (s.length < width) s = '0' + s; return s; }

  // 20261209-032200-003_2: when and from where, readable in `tarn deleted`.
  function makeId(time, cell) {
    return time.getUTCFullYear() + pad(time.getUTCMonth() + 1, 2) + pad(time.getUTCDate(), 2) + '-' +
      pad(time.getUTCHours(), 2) + pad(time.getUTCMinutes(), 2) + pad(time.getUTCSeconds(), 2) + '-' + cell;
  }

  function md5(native, path) {
    var digest = '';
    try { digest = String(native.security.md5(files(native).host(path)) || ''); } catch (e) { digest = ''; }
    return digest.toUpperCase();
  }

  function size(fl, path) {
    var stat = fl.stat(path);
    return stat.success && stat.data && !stat.data.directory ? Number(stat.data.size) : -1;
  }

  // Copies without blocking the page where the bridge has a promise form.
  function copy(native, fl, from, to) {
    if (typeof native.callAsync !== 'function') return Promise.resolve(fl.copy(from, to));
    return native.callAsync('$$fs_copy', fl.host(from), fl.host(to))
      .then(function () { return { success: true }; }, function (e) {
        return { success: false, reason: e && e.message ? e.message : String(e) };
      });
  }

  // Every readable record, newest first; entries without one (a keep that died half-way)
  // are listed under `broken` so that the quota can clear them.
  function scan(native, model) {
    var fl = files(native);
    var root = base(native);
    var models = [];
    if (model !== undefined && model !== null) models = [modelFolder(model)];
    else {
      var all = fl.contents(root);
      if (all.success) models = all.data.filter(function (e) { return e.directory; }).map(function (e) { return e.name; });
    }
    var records = [];
    var broken = [];
    models.forEach(function (folder) {
      var listed = fl.contents(root + folder + '/');
      if (!listed.success) return;
      listed.data.forEach(function (entry) {
        if (!entry.directory) return;
        var dir = root + folder + '/' + entry.name + '/';
        var text = fl.readString(dir + RECORD);
        var record = null;
        try { record = text.success ? JSON.parse(text.data) : null; } catch (e) { record = null; }
        if (!record || record.id !== entry.name || typeof record.name !== 'string') { broken.push(dir); return; }
        record.dir = dir;
        records.push(record);
      });
    });
    records.sort(function (a, b) { return a.time < b.time ? 1 : a.time > b.time ? -1 : a.id < b.id ? 1 : -1; });
    return { records: records, broken: broken };
  }

  function publicRecord(record) {
    var copy = {};
    Object.keys(record).forEach(function (k) { if (k !== 'dir') copy[k] = record[k]; });
    return copy;
  }

  function list(native, model) { return scan(native, model).records.map(publicRecord); }

  function find(native, id) {
    var records = scan(native).records;
    for (var i = 0; i < records.length; i++) if (records[i].id === id) return records[i];
    return null;
  }

  // Drops what is past the limits: half-written entries, entries older than 30 days, then
  // the oldest until the whole folder (every model) is within 2 GiB. `keepId` (the entry
  // just made) always stays. Returns the ids removed.
  function prune(native, options) {
    options = options || {};
    var now = (options.now || new Date()).getTime();
    var limits = { ageMs: options.ageMs || LIMITS.ageMs, bytes: options.bytes || LIMITS.bytes };
    var fl = files(native);
    var found = scan(native);
    found.broken.forEach(function (dir) { fl.unlink(dir); });
    var removed = [];
    var total = 0;
    var kept = [];
    found.records.forEach(function (r) {
      var old = now - Date.parse(r.time) > limits.ageMs;
      if (old && r.id !== options.keepId) { fl.unlink(r.dir); removed.push(r.id); } else { kept.push(r); total += Number(r.size) || 0; }
    });
    for (var i = kept.length - 1; i >= 0 && total > limits.bytes; i--) {
      if (kept[i].id === options.keepId) continue;
      fl.unlink(kept[i].dir);
      removed.push(kept[i].id);
      total -= Number(kept[i].size) || 0;
    }
    return removed;
  }

  // cell: {model, memory, track, path}. Copies the track and writes its record; resolves
  // to the record. Nothing is left behind when it fails.
  function keep(native, cell, options) {
    options = options || {};
    return Promise.resolve().then(function () {
      var fl = files(native);
      var name = tracks.lastSegment(cell.path);
      var digest = md5(native, cell.path);
      var bytes = size(fl, cell.path);
      if (!digest || bytes < 0) throw failure('keep', 'The track cannot be read, so no copy of it was kept.');
      var time = options.now || new Date();
      var folder = base(native) + modelFolder(cell.model) + '/';
      var id = makeId(time, tracks.folderName(cell.memory, cell.track));
      for (var n = 2; fl.stat(folder + id).success; n++) id = makeId(time, tracks.folderName(cell.memory, cell.track)) + '-' + n;
      var dir = folder + id + '/';
      // The copy and its record, checked against the room on the computer's disk before
      // anything is written there, as every other write of Tarn is.
      var room = space.refusal(space.folder(fl.fs, folder, 'The folder for deleted tracks'), bytes, 2, 'this track needs');
      if (room) throw failure('keep', 'No copy of the track could be kept. ' + room);
      must(fl.mkdir(dir), 'keep', 'No copy of the track could be kept:');
      var record = { cell: tracks.folderName(cell.memory, cell.track), id: id, md5: digest, memory: cell.memory,
        model: String(cell.model), name: name, path: String(cell.path), size: bytes,
        time: time.toISOString(), track: cell.track };
      return copy(native, fl, cell.path, dir + name).then(function (copied) {
        var wrote = copied.success ? fl.writeString(dir + '.' + RECORD, json.text(record)) : copied;
        if (wrote.success) wrote = fl.move(dir + '.' + RECORD, dir + RECORD);
        if (wrote.success && md5(native, dir + name) !== digest) wrote = { success: false, reason: 'the copy differs from the track' };
        if (!wrote.success) {
          fl.unlink(dir);
          throw failure('keep', 'No copy of the track could be kept: ' + Files.plainReason(wrote.reason));
        }
        prune(native, { now: time, keepId: id });
        return record;
      });
    });
  }

  // Keeps, then removes the track from the looper. With {permanently: true} no copy is
  // made: the track is deleted for good. When the removal fails the copy goes again.
  function deleteTrack(native, cell, options) {
    options = options || {};
    var fl = files(native);
    var removeTrack = function (record) {
      var removed = fl.unlink(cell.path);
      if (!removed.success || fl.stat(cell.path).success) {
        if (record) fl.unlink(base(native) + modelFolder(cell.model) + '/' + record.id + '/');
        throw failure('remove', 'The track could not be deleted: ' + Files.plainReason(removed.reason || 'it is still there'));
      }
      return record;
    };
    if (options.permanently) return Promise.resolve().then(function () { return removeTrack(null); });
    return keep(native, cell, options).then(removeTrack);
  }

  // Puts an entry back: into its own cell, or into {memory, track}; `volume` is the
  // looper's mount path (by default the volume it was deleted from). Refuses a cell that
  // holds a track and a copy whose checksum changed; resolves to {record, path}.
  function putBack(native, id, where) {
    where = where || {};
    return Promise.resolve().then(function () {
      var fl = files(native);
      var record = find(native, id);
      if (!record) throw failure('missing', 'There is no deleted track ' + id + '.');
      var memory = where.memory !== undefined ? where.memory : record.memory;
      var track = where.track !== undefined ? where.track : record.track;
      var cellName = tracks.folderName(memory, track);
      var folder = where.volume ? tracks.waveFolder(where.volume) + cellName + '/'
        : String(record.path).replace(/[^\/]*\/[^\/]*$/, '') + cellName + '/';
      var inside = fl.contents(folder);
      if (!inside.success) throw failure('missing', 'Track ' + cellName + ' is not on the looper: ' + Files.plainReason(inside.reason));
      var used = inside.data.filter(tracks.isWav)[0];
      if (used) throw failure('used', 'Track ' + cellName + ' already holds ' + used.name + '; put it back into an empty track.');
      var kept = record.dir + record.name;
      if (md5(native, kept) !== record.md5) throw failure('changed', 'The kept copy of ' + record.name + ' is damaged (its checksum changed); it was not put back.');
      var target = folder + record.name;
      return copy(native, fl, kept, target).then(function (copied) {
        must(copied, 'copy', 'The track could not be put back:');
        if (md5(native, target) !== record.md5) {
          fl.unlink(target);
          throw failure('copy', 'The track could not be put back: the copy on the looper differs.');
        }
        fl.unlink(record.dir);
        return { record: publicRecord(record), path: target };
      });
    });
  }

  return {
    LIMITS: LIMITS,
    keep: keep,
    deleteTrack: deleteTrack,
    list: list,
    putBack: putBack,
    prune: prune,
    modelFolder: modelFolder
  };
});
