// `tarn <command>`: the command line's driver, run by the host without a window
// ($host: arguments, output, exit, interrupts; $native: the same bridge as the page's).
// Every command but `devices` waits for the looper, puts it into edit mode, works, and
// leaves edit mode before it ends: on success, failure and Ctrl+C alike.
// Exit status: 0 done, 1 failed (stderr "tarn: <text>"), 2 a mistake in the command
// line, 130 cancelled by Ctrl+C (143 by SIGTERM).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(root, require('../tarn/texts.js'), require('../tarn/files.js'), require('../tarn/jobs.js'),
      require('../tarn/trackStore.js'), require('./args.js'), require('./output.js'), require('./looper.js'),
      require('./commands.js'), require('../tarn/cleanup.js'));
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.cli = factory(root, T.texts, T.Files, T.Jobs, T.TrackStore, T.cliArgs, T.cliOutput, T.CliLooper, T.cliCommands,
      T.cleanup);
  }
})(typeof self !== 'undefined' ? self : this, function (root, texts, Files, Jobs, TrackStore, cliArgs, output,
  CliLooper, commands, cleanup) {
  'use strict';

  var global = typeof globalThis !== 'undefined' ? globalThis : root;
  var WAIT_MS = 15000;
  // A cancelled job reports back when the host's current step ends; past this, the
  // run ends without waiting for it (edit mode is still left).
  var CANCEL_WAIT_MS = 7000;

  function hint(command) { return "Try 'tarn " + (command ? command + ' ' : '') + "--help'."; }

  // env: {host, native, later, cancel, every, stopEvery, now, backup, temporary} (tests
  // pass their own; by default the globals the host defines).
  function Run(env) {
    var self = this;
    this.host = env.host;
    this.native = env.native;
    this.texts = texts;
    this.later = env.later || function (f, ms) { return global.setTimeout(f, ms); };
    this.cancelTimer = env.cancel || function (id) { global.clearTimeout(id); };
    this.backup = env.backup !== undefined ? env.backup : (root.Tarn && root.Tarn.backup);
    this.files = new Files(this.native.fs);
    this.looper = new CliLooper({
      native: this.native, files: this.files, texts: texts, later: this.later, cancel: this.cancelTimer,
      every: env.every, stopEvery: env.stopEvery, now: env.now
    });
    this.progress = new output.Progress(this.host);
    this.ended = false;
    this.job = null;
    this.interrupted = false;
    this.env = env;
    this.out = function (text) { self.host.write(1, text); };
    this.err = function (text) { self.host.write(2, text); };
    this.path = function (p) { return cliArgs.absolute(p, self.host.cwd); };
    this.fail = function (text) { self.finish(1, 'tarn: ' + text); };
    this.done = function (code) { self.finish(code, ''); };
  }

  // How long a command waits for a looper, and then for its handshake: 15 s, or
  // TARN_LOOPER_WAIT seconds where that is too short (a heavily loaded or emulated
  // machine, where starting up alone takes that long).
  Run.prototype.waitMs = function () {
    var forced = typeof this.host.env === 'function' ? Number(this.host.env('TARN_LOOPER_WAIT')) : 0;
    return forced > 0 ? forced * 1000 : WAIT_MS;
  };

  // Ends the run once: the progress line goes, the message is printed, edit mode is left.
  Run.prototype.finish = function (code, message) {
    var self = this;
    if (this.ended) return;
    this.ended = true;
    this.progress.clear();
    // Said at once: leaving edit mode takes seconds when the looper does not answer (one
    // pulled out never does).
    if (message) this.err(message + '\n');
    this.looper.leave(function (left) {
      if (!left) self.err('tarn: the looper did not confirm that it left edit mode.\n');
      self.host.exit(left || code !== 0 ? code : 1);
    });
  };

  Run.prototype.usage = function (command, text) {
    this.finish(2, 'tarn' + (command ? ' ' + command : '') + ': ' + text + '\n' + hint(command));
  };

  // Starts a job (start(done) returns its handle, or true) and hands its outcome to
  // finished, unless it was cancelled by an interrupt.
  Run.prototype.runJob = function (start, finished) {
    var self = this;
    var job = { handle: null, finished: finished };
    this.job = job;
    var done = function (outcome) {
      if (self.job === job) self.job = null;
      if (self.ended) return;
      if ((outcome && outcome.cancelled) || self.interrupted) { self.finish(self.interruptCode, 'Cancelled.'); return; }
      try { finished(outcome); } catch (e) { self.internal(e); }
    };
    var handle = start(done);
    if (this.job === job) job.handle = handle;
  };

  Run.prototype.interrupt = function (signal) {
    var self = this;
    if (this.interrupted || this.ended) return;
    this.interrupted = true;
    this.interruptCode = signal === 'SIGTERM' || signal === 15 ? 143 : 130;
    var job = this.job;
    if (!job) { this.finish(this.interruptCode, 'Cancelled.'); return; }
    this.progress.clear();
    if (this.jobs) this.jobs.cancel();
    if (job.handle && typeof job.handle.cancel === 'function') job.handle.cancel();
    this.later(function () { self.finish(self.interruptCode, 'Cancelled.'); }, CANCEL_WAIT_MS);
  };

  // A fault of the driver itself: reported like the host reports one, edit mode still left.
  Run.prototype.internal = function (e) {
    var at = e && e.sourceURL ? ' (' + String(e.sourceURL).replace(/^.*\/js\//, 'js/') + ':' + e.line + ')' : '';
    this.fail('internal error: ' + (e && e.message ? e.message : String(e)) + at);
  };

  // The page's import/export pipeline, driven by the host's events as in the window.
  Run.prototype.startJobs = function () {
    var N = this.native;
    var folder = this.files.folder('temporary');
    var temporary = this.env.temporary || (folder.success ? folder.data : '/tmp/');
    TrackStore.cleanTemporaryFolder(this.files, temporary);
    var jobs = this.jobs = new Jobs({ native: N, files: this.files, temporary: temporary });
    N.audio.event.converted = function (file, outputs) { jobs.onConverted(file, outputs); };
    N.audio.event.progress = function (file, percent) { jobs.onConvertProgress(file, percent); };
    N.audio.event.convertfailed = function (file) { jobs.onConvertFailed(file); };
    if (N.trnWav) {
      N.trnWav.event.finishedAlignTo4byteData = function (file, args) { jobs.onAligned(file, args); };
      N.trnWav.event.finishedConvertDataFormat = function (file, args) { jobs.onFormatConverted(file, args); };
    }
  };

  // The program's version, as the window shows it.
  Run.prototype.version = function () {
    try {
      var version = JSON.parse(this.native.app.version());
      return version && typeof version.name === 'string' ? version.name : '';
    } catch (e) {
      return '';
    }
  };

  Run.prototype.startEvents = function () {
    var dispatcher = global.$event;
    try {
      if (dispatcher && typeof dispatcher.start === 'function') dispatcher.start();
      else this.native.app.startevent(true);
    } catch (e) { /* no events: the checks still poll */ }
  };

  Run.prototype.devices = function () {
    var self = this;
    var found = this.looper.survey();
    var list = [];
    var next = function (i) {
      if (self.ended) return;
      if (i >= found.length) { self.printDevices(list); return; }
      var looper = found[i];
      self.looper.readEditMode(looper.inst, function (editMode, ports) {
        list.push({ editMode: editMode, index: i + 1, midiIn: ports.midiIn, midiOut: ports.midiOut,
          model: looper.inst.name, volume: looper.volume.replace(/(.)\/+$/, '$1'), volumeName: looper.volName });
        next(i + 1);
      });
    };
    next(0);
  };

  Run.prototype.printDevices = function (list) {
    var self = this;
    if (this.json) {
      this.out(output.jsonText(list) + '\n');
    } else if (!list.length) {
      this.err(texts.noLooper + '\n');
    } else {
      list.forEach(function (d) {
        var mode = d.editMode === 1 ? 'edit mode on' : d.editMode === 0 ? 'edit mode off' :
          d.midiIn || d.midiOut || /^EDDY/.test(d.volumeName) ? 'edit mode unknown' : 'no MIDI';
        var midi = d.midiIn || d.midiOut ? 'MIDI ' + (d.midiIn || '-') + (d.midiOut !== d.midiIn ? ' / ' + (d.midiOut || '-') : '') : '';
        self.out([String(d.index), d.model, d.volume, d.volumeName, midi, mode].filter(function (x) { return x; })
          .join('  ') + '\n');
      });
    }
    this.done(0);
  };

  Run.prototype.start = function () {
    var self = this;
    var host = this.host;
    host.onInterrupt = function (signal) { self.interrupt(signal); };
    var parsed;
    try {
      parsed = cliArgs.parse((host.args || []).map(String));
    } catch (e) {
      if (e instanceof cliArgs.UsageError) { this.usage(e.command, e.message); return; }
      throw e;
    }
    var name = parsed.command;
    if (parsed.help) { this.out(cliArgs.usageText(name)); this.done(0); return; }
    this.command = name;
    this.options = parsed.options;
    this.operands = parsed.operands;
    this.json = !!parsed.options.json;
    // Nobody to ask: refused before the looper is touched.
    if (name === 'rm' && !this.options.yes && !(host.isatty(0) && host.isatty(2))) {
      this.usage(name, 'not on a terminal: give --yes to delete without asking');
      return;
    }
    this.startEvents();
    if (name === 'devices') { this.devices(); return; }
    if (name === 'deleted') { commands.deleted(this); return; }
    this.startJobs();
    var waitMs = this.waitMs();
    this.looper.wait(this.options.device, waitMs, function (failure, looper) {
      if (self.ended) return;
      if (failure) { self.fail(failure); return; }
      self.looper.connect(looper, !!self.options['take-over'], waitMs, function (problem) {
        if (self.ended) return;
        if (problem) { self.fail(problem); return; }
        self.work(looper);
      });
    });
  };

  Run.prototype.work = function (looper) {
    this.looper.volume = looper.volume;
    this.looper.volName = looper.volName;
    this.looper.inst = looper.inst;
    try {
      // What a killed run left on this looper goes before the command looks at it.
      cleanup.looper(this.files, looper.volume);
      commands[this.command](this);
    } catch (e) {
      if (e instanceof cliArgs.UsageError) { this.usage(this.command, e.message); return; }
      this.internal(e);
    }
  };

  // The host's entry: Tarn.cli.run(). env is for tests.
  function run(env) {
    env = env || {};
    var run = new Run({
      host: env.host || global.$host, native: env.native || global.$native, later: env.later, cancel: env.cancel,
      every: env.every, stopEvery: env.stopEvery, now: env.now, backup: env.backup, temporary: env.temporary
    });
    try {
      run.start();
    } catch (e) {
      if (run.ended) throw e;
      run.internal(e);
    }
    return run;
  }

  return { run: run, Run: Run };
});
