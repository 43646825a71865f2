// Imports, exports and catalogue downloads: the work the host does in the background,
// driven by its events. Only one job runs at a time: a second one asked for while
// another is under way is refused with a clear reason, and the running job keeps its
// own destination and callbacks.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./files.js'), require('./space.js'), require('./trackInfo.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.Jobs = factory(T.Files, T.space, T.trackInfo);
  }
})(typeof self !== 'undefined' ? self : this, function (Files, space, TrackInfo) {
  'use strict';

  var BUSY = 'Another import, export or download is still running. Please wait until it has finished.';
  var REASONS = {
    decode: 'The file holds no audio Tarn can read, or it is damaged.',
    align: 'The converted audio could not be prepared for the looper.',
    convert: 'The track could not be converted.'
  };

  function plain(message) { return Files.plainReason(message); }

  // options: native ({audio, trnWav, http}: the bridge modules), files (Files),
  // temporary (the temporary folder, ending in "/").
  function Jobs(options) {
    this.native = options.native;
    this.files = options.files;
    this.temporary = options.temporary;
    this.current = null;
  }

  Jobs.BUSY = BUSY;

  Jobs.prototype.busy = function () { return this.current !== null; };

  // Takes the single slot for a job of this kind; false (with callback(failure)) when taken.
  Jobs.prototype.claim = function (kind, done) {
    if (this.current) {
      done({ success: false, reason: BUSY, busy: true });
      return null;
    }
    this.current = { kind: kind, done: done };
    return this.current;
  };

  Jobs.prototype.finish = function (job, outcome) {
    if (this.current !== job) return;
    this.current = null;
    job.done(outcome);
  };

  Jobs.prototype.quietUnlink = function (path) { if (path) this.files.unlink(path); };

  // Reserves the slot now (before a delayed start), so nothing else can slip in.
  Jobs.prototype.reserve = function (kind, done) {
    var job = this.claim(kind, done);
    if (job) job.reserved = true;
    return job;
  };

  // --- import: convert to a stereo WAV of the model's rate and depth, align it for the
  // device, then move it into the track folder. Temporaries go either way.
  // onProgress(percent), optional: how far the import got, now and then.
  Jobs.prototype.importFile = function (source, destination, wave, done, job, onProgress) {
    if (job && (job.cancelled || this.current !== job)) return false;
    job = job || this.claim('import', done);
    if (!job) return false;
    if (onProgress) job.progress = onProgress;
    this.startImport(job, source, destination, wave, function (outcome) {
      this.finish(job, outcome);
    }.bind(this));
    return true;
  };

  // The bytes a track of the source's length takes in the model's format: an estimate
  // made before converting (the source's duration), so that a track that cannot fit is
  // refused before anything is written.
  function trackBytes(format, wave) {
    var seconds = Number(format && format.duration) || 0;
    var bits = wave.format === 3 ? 32 : Number(wave.bits) || 16;
    return space.wavBytes(Math.ceil(seconds * (Number(wave.sampleRate) || 44100)), 2, bits);
  }

  // Why the import of a track of this many bytes cannot go ahead, or ''.
  Jobs.prototype.importRoomProblem = function (destination, bytes) {
    var fs = this.native.fs;
    return space.outsideLooper(fs, destination) ||
      space.refusal(space.folder(fs, this.temporary, 'The temporary folder'), 2 * bytes, 2, 'the converted track needs') ||
      space.refusal(space.looper(fs, destination), bytes, 1, 'this track needs');
  };

  Jobs.prototype.startImport = function (job, source, destination, wave, finished) {
    var self = this;
    var converted = this.temporary + 'tmp.wav';
    this.quietUnlink(converted);
    var format = null;
    try { format = JSON.parse(this.native.audio.format(source)); } catch (e) { format = null; }
    var bitrate = Number(format && format.bitrate) || 0;
    job.step = {
      source: source, destination: destination, wave: wave, converted: converted, aligned: null,
      finished: function (result) {
        self.quietUnlink(job.step.converted);
        self.quietUnlink(job.step.aligned);
        job.step = null;
        var outcome = { success: result.result !== 0, data: { dst: result.dst } };
        if (!outcome.success && result.reason) outcome.reason = result.reason;
        if (!outcome.success && result.room) outcome.room = true;
        if (job.cancelled) outcome = { success: false, cancelled: true, data: { dst: result.dst } };
        finished(outcome);
      }
    };
    var room = this.importRoomProblem(destination, trackBytes(format, wave));
    if (room) { job.step.finished({ result: 0, dst: destination, reason: room, room: true }); return; }
    try {
      this.native.audio.convert(source, JSON.stringify({
        file: converted, format: 'wav', channels: 2, samplerate: wave.sampleRate,
        bitdepth: wave.format === 3 ? 0 : wave.bits, bitrate: bitrate
      }));
    } catch (e) {
      job.step.finished({ result: 0, dst: destination, reason: plain(e.message) });
    }
  };

  // The host's share of the conversion done, in percent: told to the job's progress
  // handler (importFile's onProgress, or a download's handlers.importing) as a share of
  // the whole import, the last steps (aligning and moving) being the rest.
  Jobs.prototype.onConvertProgress = function (file, percent) {
    var step = this.importStep();
    if (!step || file !== step.source || step.aligned || !this.current.progress) return;
    var value = Math.max(0, Math.min(100, Number(percent) || 0));
    var share = Math.floor(value * 0.95);
    if (share <= (step.told === undefined ? -1 : step.told)) return;
    step.told = share;
    this.current.progress(share);
  };

  Jobs.prototype.importStep = function () {
    return this.current && this.current.step ? this.current.step : null;
  };

  Jobs.prototype.onConverted = function (file, outputs) {
    var step = this.importStep();
    if (!step || file !== step.source || step.aligned) return;
    var first;
    try { first = JSON.parse(outputs)[0]; } catch (e) { first = null; }
    if (!first) { step.finished({ result: 0, dst: step.destination, reason: REASONS.decode }); return; }
    step.converted = first;
    if (this.current.cancelled) { step.finished({ result: 0, dst: step.destination }); return; }
    step.aligned = this.temporary + 'imported.wav';
    this.quietUnlink(step.aligned);
    try {
      this.native.trnWav.alignTo4byteData(JSON.stringify({
        from: first, to: step.aligned, format: step.wave.format, bits: step.wave.bits, sampleRate: step.wave.sampleRate
      }));
    } catch (e) {
      step.finished({ result: 0, dst: step.destination, reason: REASONS.align });
    }
  };

  Jobs.prototype.onConvertFailed = function (file) {
    var step = this.importStep();
    if (!step || file !== step.source || step.aligned) return;
    step.finished({ result: 0, dst: step.destination, reason: REASONS.decode });
  };

  Jobs.prototype.onAligned = function (file, args) {
    var step = this.importStep();
    if (!step || !step.aligned || file !== step.converted) return;
    var result = 0;
    var path = step.aligned;
    try {
      var parsed = JSON.parse(args);
      result = parsed.result === 1 ? 1 : 0;
      if (parsed.path) path = parsed.path;
    } catch (e) { result = 0; }
    var reason = result === 1 ? '' : REASONS.align;
    if (this.current.cancelled) result = 0;
    if (result === 1) {
      // The converted file's own size, now that it is known.
      var made = this.files.stat(path);
      var room = made.success ? space.refusal(space.looper(this.native.fs, step.destination), Number(made.data.size), 1, 'this track needs') : '';
      if (room) { step.aligned = path; step.finished({ result: 0, dst: step.destination, reason: room, room: true }); return; }
      var moved = this.files.move(path, step.destination);
      // A volume pulled out at the last moment can take the new name with it: the track
      // is only imported when it can be found where it was put.
      var landed = moved.success ? this.files.stat(step.destination) : moved;
      if (!landed.success) {
        result = 0;
        reason = Files.volumeProblem(this.files, this.files.page(step.destination)) || plain(landed.reason);
        if (moved.success) this.quietUnlink(step.destination);
      }
    }
    step.aligned = path;
    step.finished({ result: result, dst: step.destination, reason: reason });
  };

  // --- export: the device's track into a WAV of the chosen format.
  Jobs.prototype.exportTrack = function (source, destination, target, done, job) {
    job = job || this.claim('export', done);
    if (!job) return false;
    this.files.unlink(destination);
    job.exporting = { source: source, destination: destination };
    var info = TrackInfo.read(this.native.trnWav, source);
    if (info) {
      var room = space.refusal(space.folder(this.native.fs, Files.folderOf(destination)),
        space.wavBytes(info.frames, info.channels || 2, target.bits), 1, 'the exported track needs');
      if (room) { this.finish(job, { success: false, data: { path: destination }, reason: room, room: true }); return true; }
    }
    try {
      this.native.trnWav.convertDataFormat(JSON.stringify({
        bits: target.bits, format: target.format, sampleRate: 44100, from: source, to: destination
      }));
    } catch (e) {
      this.finish(job, { success: false, data: { path: destination }, reason: plain(e.message) });
    }
    return true;
  };

  Jobs.prototype.onFormatConverted = function (file, args) {
    var job = this.current;
    if (!job || !job.exporting || file !== job.exporting.source) return;
    var parsed = {};
    try { parsed = JSON.parse(args); } catch (e) { parsed = { result: 0 }; }
    var data = {};
    Object.keys(parsed).forEach(function (k) { if (k !== 'result') data[k] = parsed[k]; });
    var success = parsed.result !== 0 && parsed.result !== undefined;
    var outcome = { success: success, data: data };
    var problem = success ? '' : this.sourceProblem(job.exporting.source) || this.destinationProblem(job.exporting.destination);
    if (problem) outcome.reason = problem;
    this.finish(job, outcome);
  };

  // Why a track could not be read: its volume gone, or what reading it says; '' when
  // nothing is found.
  Jobs.prototype.sourceProblem = function (path) {
    var gone = Files.volumeProblem(this.files, this.files.page(path));
    if (gone) return gone;
    var read = this.files.readable(path);
    return read.success ? '' : plain(read.reason);
  };

  // Why a file could not be written at path, as far as its folder tells: missing, or what
  // writing there says (permission, disk full, read-only); '' when nothing is found.
  Jobs.prototype.destinationProblem = function (path) {
    var page = this.files.page(path);
    var folder = page.replace(/[^\/]*$/, '') || '/';
    var there = this.files.stat(folder);
    if (!there.success || !there.data || !there.data.directory) return 'The folder ' + folder + ' does not exist.';
    var probe = folder + '.tarn-write-check';
    var written = this.files.writeString(probe, 'x');
    this.quietUnlink(probe);
    return written.success ? '' : plain(written.reason);
  };

  // --- download: fetch to a temporary file, then import it like a file of the user's.
  // handlers: progress(percentInput {total, amount}), processing(), importing(percent)
  // (optional: how far the import of the downloaded file got), done(outcome).
  Jobs.prototype.download = function (address, temporary, destination, wave, handlers) {
    var job = this.claim('download', handlers.done);
    if (!job) return false;
    this.quietUnlink(destination);
    this.quietUnlink(temporary);
    job.task = { address: address, temporary: temporary, destination: destination, wave: wave, handlers: handlers };
    try {
      job.task.id = String(this.native.http.download(address, temporary));
    } catch (e) {
      this.finish(job, { success: false, reason: e.message });
      return true;
    }
    return true;
  };

  Jobs.prototype.downloadTask = function (id) {
    var job = this.current;
    if (!job || !job.task || job.task.id !== String(id) || job.task.importing) return null;
    return job;
  };

  Jobs.prototype.onProgress = function (id, total, amount) {
    var job = this.downloadTask(id);
    if (!job) return;
    // The server tells the size: a download that cannot fit in the temporary folder stops.
    if (!job.task.sized && Number(total) > 0) {
      job.task.sized = true;
      var room = space.refusal(space.folder(this.native.fs, this.temporary, 'The temporary folder'), Number(total), 1, 'the download needs');
      if (room) {
        var done = job.task.handlers.done;
        this.cancelDownload();
        done({ success: false, reason: room, room: true });
        return;
      }
    }
    if (job.task.handlers.progress) job.task.handlers.progress(Number(total), Number(amount));
  };

  Jobs.prototype.onCompleted = function (id) {
    var self = this;
    var job = this.downloadTask(id);
    if (!job) return;
    var task = job.task;
    task.importing = true;
    if (task.handlers.importing) job.progress = task.handlers.importing;
    if (task.handlers.processing) task.handlers.processing();
    this.startImport(job, task.temporary, task.destination, task.wave, function (outcome) {
      self.quietUnlink(task.temporary);
      self.finish(job, outcome);
    });
  };

  Jobs.prototype.onError = function (id) {
    var job = this.downloadTask(id);
    if (!job) return;
    this.quietUnlink(job.task.temporary);
    this.finish(job, { success: false, reason: 'download' });
  };

  // Cancels the running download (before its import started); true when there was one.
  Jobs.prototype.cancelDownload = function () {
    var job = this.current;
    if (!job || !job.task || job.task.importing) return false;
    try { this.native.http.cancel(job.task.id); } catch (e) { /* already over */ }
    this.quietUnlink(job.task.temporary);
    this.current = null;
    return true;
  };

  // Cancels whatever runs: a download stops at once; an import finishes as cancelled
  // as soon as the host's current step reports back, and nothing of it is kept (no
  // track file, no temporaries). True when something was running.
  Jobs.prototype.cancel = function () {
    var job = this.current;
    if (!job) return false;
    if (job.task && !job.task.importing) return this.cancelDownload();
    job.cancelled = true;
    // A job that stops by itself when told (a backup between two files) ends through
    // finish() as usual.
    if (job.onCancel) { job.onCancel(); return true; }
    if (!job.step && !job.exporting && !job.task) {
      this.current = null;
      job.done({ success: false, cancelled: true });
    }
    return true;
  };

  Jobs.prototype.cancelAll = function () { return this.cancel(); };

  // Gives up a reservation that never started (the user closed the dialog).
  Jobs.prototype.release = function (job) {
    if (this.current === job && job.reserved && !job.step && !job.exporting && !job.task) this.current = null;
  };

  return Jobs;
});
