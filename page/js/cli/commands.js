// The command line's subcommands, on a connected looper (all but `devices`). Each gets
// the run's context (see cli.js: out, progress, fail, done, the page's Files and Jobs,
// the looper) and ends it with ctx.done(code) or ctx.fail(text).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('../tarn/tracks.js'), require('../tarn/files.js'), require('../tarn/models.js'),
      require('./output.js'), require('./args.js'), require('../tarn/trash.js'), require('../tarn/grid.js'),
      require('../tarn/trackInfo.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.cliCommands = factory(T.tracks, T.Files, T.models, T.cliOutput, T.cliArgs, T.trash, T.grid, T.trackInfo);
  }
})(typeof self !== 'undefined' ? self : this, function (tracks, Files, models, output, cliArgs, trash, grid, TrackInfo) {
  'use strict';

  var EXPORT_FORMATS = { '16': { bits: 16, format: 1 }, '24': { bits: 24, format: 1 }, 'float': { bits: 32, format: 3 } };

  function address(cell) { return cell.memory + '/' + cell.track; }

  // The table's cells in memory/track order, 1-based: [{memory, track, dirName, fileName}].
  function cellsOf(table) {
    var cells = [];
    table.forEach(function (row, m) {
      row.forEach(function (cell, t) {
        cells.push({ memory: m + 1, track: t + 1, dirName: cell.dirName, fileName: cell.fileName });
      });
    });
    return cells;
  }

  function isEmpty(cell) { return !cell.fileName && !!cell.dirName; }

  // The audio files directly in a folder (entries as fs contents lists them), sorted by
  // name, paired with the empty tracks in order. {sources, targets, fits}: nothing is to
  // be written unless it fits (as many empty tracks as files, at least one file).
  function planFromFolder(dir, entries, cells) {
    var names = entries.filter(function (e) { return !e.directory && grid.isAudioName(e.name); })
      .map(function (e) { return e.name; })
      .sort(function (a, b) { return a < b ? -1 : a > b ? 1 : 0; });
    var empty = cells.filter(isEmpty);
    var base = String(dir).replace(/\/+$/, '') + '/';
    var plan = names.slice(0, empty.length).map(function (name, i) {
      return { source: base + name, memory: empty[i].memory, track: empty[i].track, dirName: empty[i].dirName };
    });
    return { files: names.length, empty: empty.length, plan: plan, fits: names.length > 0 && names.length <= empty.length };
  }

  function readTable(ctx) {
    var read = tracks.readTable(ctx.files, ctx.looper.volume, ctx.looper.inst);
    if (!read.success) { ctx.fail(Files.plainReason(read.reason)); return null; }
    return cellsOf(read.data);
  }

  function cellAt(ctx, cells, at) {
    cliArgs.checkAddress(at, ctx.looper.inst);
    for (var i = 0; i < cells.length; i++) {
      if (cells[i].memory === at.memory && cells[i].track === at.track) return cells[i];
    }
    return null;
  }

  // A track's format and length from its WAV header, read by the host.
  function trackInfo(ctx, path) {
    return TrackInfo.read(ctx.native.trnWav, ctx.files.host(path)) || { format: '', frames: 0, sampleRate: 0 };
  }

  function seconds(info) {
    return info.sampleRate ? Math.round(info.frames / info.sampleRate * 1000) / 1000 : 0;
  }

  // --- ls
  function ls(ctx) {
    var cells = readTable(ctx);
    if (!cells) return;
    var rows = cells.map(function (cell) {
      if (!cell.fileName) return { file: '', format: '', frames: 0, length: 0, memory: cell.memory, track: cell.track };
      var info = trackInfo(ctx, cell.dirName + cell.fileName);
      return { file: cell.fileName, format: info.format, frames: info.frames, length: seconds(info),
        memory: cell.memory, track: cell.track };
    });
    if (ctx.json) {
      ctx.out(output.jsonText(rows) + '\n');
    } else {
      var used = rows.filter(function (r) { return r.file; });
      used.forEach(function (r) {
        ctx.out(output.pad(r.memory + '/' + r.track, 7) + ' ' + output.pad(output.duration(r.length), 10) + ' ' +
          output.pad(output.formatLabel(r.format), 13) + ' ' + r.file + '\n');
      });
      ctx.out(used.length + ' of ' + rows.length + ' tracks used\n');
    }
    ctx.done(0);
  }

  // --- import
  // Checks a source as the window does before it offers the track list; the failure
  // text, or null.
  function sourceProblem(ctx, path) {
    var texts = ctx.texts;
    var there = ctx.files.stat(path);
    if (!there.success) return texts['Import failed.'] + ' ' + Files.plainReason(there.reason);
    if (there.data && there.data.directory) return texts['Import failed.'] + ' ' + Files.plainReason('EISDIR');
    var readable = ctx.files.readable(path);
    if (!readable.success) return texts['Import failed.'] + ' ' + Files.plainReason(readable.reason);
    var format = {};
    try { format = JSON.parse(ctx.native.audio.format(ctx.files.host(path))); } catch (e) { format = { format: 'error' }; }
    if (!format || format.format === 'error') return texts['Unsupported format.'];
    return tracks.lengthProblem(format.duration, ctx.looper.inst.wave, texts);
  }

  function importPlan(ctx, cells) {
    var options = ctx.options;
    if (options['from-folder'] !== undefined) {
      var dir = ctx.path(options['from-folder']);
      var listed = ctx.files.contents(dir);
      if (!listed.success) { ctx.fail(dir + ': ' + Files.plainReason(listed.reason)); return null; }
      var planned = planFromFolder(dir, listed.data, cells);
      if (planned.files === 0) { ctx.fail('No audio files (WAV, MP3, M4A) in ' + dir + '.'); return null; }
      if (!planned.fits) {
        ctx.fail(planned.files + ' audio files in ' + dir + ', but only ' + planned.empty +
          ' empty tracks on the ' + ctx.looper.inst.name + ': nothing was imported.');
        return null;
      }
      return planned.plan;
    }
    var source = ctx.path(ctx.operands[0]);
    var cell;
    if (options['next-empty']) {
      cell = cells.filter(isEmpty)[0];
      if (!cell) { ctx.fail('The ' + ctx.looper.inst.name + ' has no empty track.'); return null; }
    } else {
      cell = cellAt(ctx, cells, ctx.operands[1]);
      if (cell.fileName) { ctx.fail(address(cell) + ' is not empty: it holds ' + cell.fileName + '.'); return null; }
      if (!cell.dirName) { ctx.fail(address(cell) + ' has no track folder on the volume.'); return null; }
    }
    return [{ source: source, memory: cell.memory, track: cell.track, dirName: cell.dirName }];
  }

  function importTracks(ctx) {
    var cells = readTable(ctx);
    if (!cells) return;
    var plan = importPlan(ctx, cells);
    if (!plan) return;
    // Every file is checked before anything is written.
    for (var i = 0; i < plan.length; i++) {
      var problem = sourceProblem(ctx, plan[i].source);
      if (problem) { ctx.fail(plan[i].source + ': ' + problem + (plan.length > 1 ? ' Nothing was imported.' : '')); return; }
    }
    var imported = [];
    var next = function (index) {
      if (index >= plan.length) {
        ctx.progress.clear();
        if (ctx.json) ctx.out(output.jsonText(imported) + '\n');
        ctx.done(0);
        return;
      }
      var item = plan[index];
      var destination = tracks.importDestination(item.dirName, item.source);
      // "file 2 of 3", not "(2/3)": that reads like a track address.
      var label = 'Importing ' + tracks.lastSegment(item.source) + (plan.length > 1 ? ' (file ' + (index + 1) + ' of ' + plan.length + ')' : '');
      ctx.progress.show(label, 0);
      ctx.runJob(function (done) {
        return ctx.jobs.importFile(ctx.files.host(item.source), ctx.files.host(destination), ctx.looper.inst.wave, done,
          null, function (percent) { ctx.progress.show(label, percent); });
      }, function (outcome) {
        if (!outcome.success) {
          var before = imported.length ? ' (' + imported.length + ' of ' + plan.length + ' files were imported before it)' : '';
          ctx.fail(item.source + ': ' + ctx.texts['Import failed.'] + (outcome.reason ? ' ' + outcome.reason : '') + before);
          return;
        }
        // The conversion's own percentage ends before the copy onto the looper does.
        ctx.progress.show(label, 100);
        var info = trackInfo(ctx, destination);
        imported.push({ file: item.source, frames: info.frames, memory: item.memory, track: item.track });
        if (!ctx.json) {
          ctx.progress.clear();
          ctx.out('Imported ' + tracks.lastSegment(item.source) + ' into ' + item.memory + '/' + item.track + ' (' +
            tracks.lastSegment(destination) + ', ' + output.duration(seconds(info)) + ').\n');
        }
        next(index + 1);
      });
    };
    next(0);
  }

  // --- export
  function exportTrack(ctx) {
    var cells = readTable(ctx);
    if (!cells) return;
    var cell = cellAt(ctx, cells, ctx.operands[0]);
    if (!cell.fileName) { ctx.fail(address(cell) + ' is empty.'); return; }
    var destination = ctx.path(ctx.operands[1]);
    var there = ctx.files.stat(destination);
    if (there.success) {
      if (there.data && there.data.directory) { ctx.fail(destination + ': ' + Files.plainReason('EISDIR')); return; }
      if (!ctx.options.force) { ctx.fail(destination + ' is already there (give --force to replace it).'); return; }
    }
    var source = cell.dirName + cell.fileName;
    var format = ctx.options.format;
    if (!format) {
      format = trackInfo(ctx, source).format;
      if (!format) format = models.isSixteenBitPcm(ctx.looper.inst) ? '16' : '24';
    }
    var label = 'Exporting ' + address(cell);
    ctx.progress.show(label, 0);
    ctx.runJob(function (done) {
      return ctx.jobs.exportTrack(ctx.files.host(source), ctx.files.host(destination), EXPORT_FORMATS[format], done);
    }, function (outcome) {
      ctx.progress.clear();
      if (!outcome.success) {
        ctx.files.unlink(destination);
        ctx.fail(ctx.texts['Export failed.'] + (outcome.reason ? ' ' + outcome.reason : ''));
        return;
      }
      var info = trackInfo(ctx, destination);
      if (ctx.json) {
        ctx.out(output.jsonText({ file: destination, format: format, frames: info.frames, memory: cell.memory,
          track: cell.track }) + '\n');
      } else {
        ctx.out('Exported ' + address(cell) + ' (' + cell.fileName + ') to ' + destination + ' (' +
          output.formatLabel(format) + ').\n');
      }
      ctx.done(0);
    });
  }

  // --- rm, deleted, undelete (a delete keeps a copy first: Tarn.trash)
  function rm(ctx) {
    var cells = readTable(ctx);
    if (!cells) return;
    var cell = cellAt(ctx, cells, ctx.operands[0]);
    if (!cell.fileName) { ctx.fail(address(cell) + ' is empty.'); return; }
    var permanently = !!ctx.options.permanently;
    if (!ctx.options.yes) {
      ctx.err('Delete ' + address(cell) + ' (' + cell.fileName + ')' + (permanently ? ' for good' : '') + '? [y/N] ');
      var answer = ctx.host.readLine();
      if (answer === null) ctx.err('\n');
      if (!/^\s*y(es)?\s*$/i.test(answer || '')) { ctx.fail('Nothing was deleted.'); return; }
    }
    var what = { model: ctx.looper.inst.name, memory: cell.memory - 1, track: cell.track - 1, path: cell.dirName + cell.fileName };
    trash.deleteTrack(ctx.native, what, { permanently: permanently }).then(function (record) {
      if (ctx.json) {
        ctx.out(output.jsonText({ file: cell.fileName, id: record ? record.id : null, memory: cell.memory, track: cell.track }) + '\n');
      } else {
        ctx.out('Deleted ' + address(cell) + ' (' + cell.fileName + ')' +
          (record ? "; 'tarn undelete " + record.id + "' puts it back.\n" : ' for good.\n'));
      }
      ctx.done(0);
    }, function (e) {
      ctx.fail(e.message + (e.code === 'keep' ? ' Nothing was deleted (give --permanently to delete it without a copy).' : ''));
    });
  }

  function localTime(iso) {
    var d = new Date(iso);
    var two = function (n) { return (n < 10 ? '0' : '') + n; };
    return d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate()) + ' ' + two(d.getHours()) + ':' + two(d.getMinutes());
  }

  function deletedRow(record) {
    return { file: record.name, id: record.id, md5: record.md5, memory: record.memory + 1, model: record.model,
      size: record.size, time: record.time, track: record.track + 1 };
  }

  function deleted(ctx) {
    trash.prune(ctx.native);
    var rows = trash.list(ctx.native).map(deletedRow);
    if (ctx.json) {
      ctx.out(output.jsonText(rows) + '\n');
    } else if (!rows.length) {
      ctx.out('No recently deleted tracks.\n');
    } else {
      var width = 0;
      rows.forEach(function (r) { width = Math.max(width, r.model.length); });
      rows.forEach(function (r) {
        ctx.out(output.pad(r.id, 26) + ' ' + output.pad(r.model, width) + ' ' + output.pad(r.memory + '/' + r.track, 7) + ' ' +
          localTime(r.time) + '  ' + r.file + '\n');
      });
    }
    ctx.done(0);
  }

  function undelete(ctx) {
    var id = ctx.operands[0];
    var record = trash.list(ctx.native).filter(function (r) { return r.id === id; })[0];
    if (!record) { ctx.fail("There is no deleted track '" + id + "' (see 'tarn deleted')."); return; }
    var model = ctx.looper.inst.name;
    if (record.model !== model) {
      ctx.fail(id + ' was deleted from a ' + record.model + '; the connected looper is a ' + model + '.');
      return;
    }
    var where = { volume: ctx.looper.volume };
    if (ctx.operands[1]) {
      var to = cliArgs.checkAddress(ctx.operands[1], ctx.looper.inst);
      where.memory = to.memory - 1;
      where.track = to.track - 1;
    }
    trash.putBack(ctx.native, id, where).then(function (back) {
      var cell = { memory: (where.memory !== undefined ? where.memory : record.memory) + 1,
        track: (where.track !== undefined ? where.track : record.track) + 1 };
      if (ctx.json) ctx.out(output.jsonText({ file: record.name, id: id, memory: cell.memory, track: cell.track }) + '\n');
      else ctx.out('Put ' + record.name + ' back into ' + address(cell) + '.\n');
      ctx.done(0);
    }, function (e) { ctx.fail(e.message); });
  }

  // --- backup, restore (Tarn.backup does the work, one file per step)
  function named(item) {
    if (item && typeof item === 'object' && item.memory !== undefined) {
      return item.memory + '/' + item.track + (item.file ? ' (' + item.file + ')' : '');
    }
    return String(item);
  }

  function backupOrRestore(ctx, restoring) {
    var module = ctx.backup;
    if (!module || typeof module[restoring ? 'restore' : 'backup'] !== 'function') {
      ctx.fail('Backup and restore are not available in this build.');
      return;
    }
    var dir = ctx.path(ctx.operands[0]);
    if (!restoring && typeof module.folderFor === 'function') {
      var target = module.folderFor(ctx.files, dir, ctx.looper.volName, new Date());
      if (target.reason) { ctx.fail(target.reason); return; }
      dir = target.dir;
    }
    var verb = restoring ? 'Restoring' : 'Backing up';
    var options = {
      files: ctx.files, security: ctx.native.security, volume: ctx.looper.volume, row: ctx.looper.inst, dir: dir,
      now: new Date(), replace: !!ctx.options.replace, later: ctx.later, volumeName: ctx.looper.volName,
      version: ctx.version(),
      onProgress: function (done, total, label) {
        ctx.progress.show(verb + (label ? ' ' + label : ''), total ? done * 100 / total : 0);
      }
    };
    ctx.progress.show(verb, 0);
    ctx.runJob(function (done) {
      var handle = module[restoring ? 'restore' : 'backup'](options, done);
      return handle || true;
    }, function (result) {
      ctx.progress.clear();
      if (!result || !result.success) {
        ctx.fail((result && result.reason) || ctx.texts['An error occurred.']);
        return;
      }
      var done = result.tracks || [];
      var skipped = result.skipped || [];
      if (ctx.json) {
        var doc = { dir: dir, tracks: done };
        if (restoring) doc.skipped = skipped;
        ctx.out(output.jsonText(doc) + '\n');
      } else if (restoring) {
        ctx.out('Restored ' + done.length + ' track' + (done.length === 1 ? '' : 's') + ' from ' + dir + '.\n');
        if (skipped.length) {
          ctx.out('Skipped ' + skipped.length + ' track' + (skipped.length === 1 ? '' : 's') +
            ' that hold a file (give --replace to replace them): ' + skipped.map(named).join(', ') + '\n');
        }
      } else {
        ctx.out('Backed up ' + done.length + ' track' + (done.length === 1 ? '' : 's') + ' into ' + dir + '.\n');
      }
      ctx.done(0);
    });
  }

  return {
    cellsOf: cellsOf,
    planFromFolder: planFromFolder,
    ls: ls,
    import: importTracks,
    export: exportTrack,
    rm: rm,
    deleted: deleted,
    undelete: undelete,
    backup: function (ctx) { backupOrRestore(ctx, false); },
    restore: function (ctx) { backupOrRestore(ctx, true); }
  };
});
