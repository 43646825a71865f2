// Waveform peaks of audio files, computed by the host on a worker (trnWav peaks) and
// answered by event; one request per file and width at a time, however many ask.
// TarnPeaks.get(path, columns) -> Promise of {path, columns, min, max, frames, sampleRate};
// it rejects with the host's reason when the file cannot be read.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TarnPeaks = (root.Tarn = root.Tarn || {}).peaks = factory().attach(root.$native);
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function Peaks(native) {
    this.native = native;
    this.pending = {};   // "columns path" -> promise
    this.jobs = {};      // job number -> {resolve, reject}
    this.early = {};     // answers that arrived before their job number was known
    var self = this;
    var module = native.trnWav = native.trnWav || {};
    module.event = module.event || {};
    var previous = module.event.peaks;
    module.event.peaks = function (job, text) {
      self.answer(String(job), text);
      if (typeof previous === 'function') previous(job, text);
    };
  }

  Peaks.prototype.answer = function (job, text) {
    var waiting = this.jobs[job];
    if (!waiting) { this.early[job] = text; return; }
    delete this.jobs[job];
    var body = null;
    try { body = JSON.parse(text); } catch (e) { body = { error: 'The peaks could not be read.' }; }
    if (body.error) waiting.reject(new Error(body.error));
    else waiting.resolve(body);
  };

  Peaks.prototype.get = function (path, columns) {
    columns = Math.max(1, Math.min(16384, Math.round(Number(columns) || 1)));
    var key = columns + ' ' + path;
    if (this.pending[key]) return this.pending[key];
    var self = this;
    var promise = new Promise(function (resolve, reject) {
      var job = String(self.native.call('$$trnWav_peaks', path, String(columns)));
      self.jobs[job] = { resolve: resolve, reject: reject };
      if (self.early[job] !== undefined) {
        var text = self.early[job];
        delete self.early[job];
        self.answer(job, text);
      }
    });
    this.pending[key] = promise;
    var forget = function () { if (self.pending[key] === promise) delete self.pending[key]; };
    promise.then(forget, forget);
    return promise;
  };

  return {
    Peaks: Peaks,
    attach: function (native) {
      var peaks = native ? new Peaks(native) : null;
      return { get: function (path, columns) {
        return peaks ? peaks.get(path, columns) : Promise.reject(new Error('No host to compute peaks.'));
      }, Peaks: Peaks };
    }
  };
});
