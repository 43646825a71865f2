// What the command line prints: JSON in the project's rule (sorted keys, compact,
// integral numbers without a fraction), the self-overwriting progress line on a
// terminal's stderr, and track lengths as people read them.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('../tarn/json.js'));
  else (root.Tarn = root.Tarn || {}).cliOutput = factory(root.Tarn.json);
})(typeof self !== 'undefined' ? self : this, function (json) {
  'use strict';

  var jsonText = json.text;

  var BAR = 20;

  // host: {write(fd, text), isatty(fd), columns()}. Draws nothing unless stderr is a terminal.
  function Progress(host) {
    this.host = host;
    this.on = !!host.isatty(2);
    this.shown = '';
  }

  Progress.prototype.show = function (label, percent) {
    if (!this.on) return;
    var value = Math.max(0, Math.min(100, Math.floor(Number(percent) || 0)));
    var filled = Math.round(value * BAR / 100);
    var bar = '[' + new Array(filled + 1).join('#') + new Array(BAR - filled + 1).join('.') + ']';
    var number = String(value);
    while (number.length < 3) number = ' ' + number;
    var tail = ' ' + bar + ' ' + number + '%';
    var columns = Number(this.host.columns ? this.host.columns() : 80) || 80;
    var room = Math.max(0, columns - 1 - tail.length);
    var text = String(label);
    if (text.length > room) text = room > 1 ? text.substring(0, room - 1) + '\u2026' : '';
    var line = text + tail;
    if (line === this.shown) return;
    var pad = '';
    while (line.length + pad.length < this.shown.length) pad += ' ';
    this.host.write(2, '\r' + line + pad);
    this.shown = line;
  };

  Progress.prototype.clear = function () {
    if (!this.on || !this.shown) return;
    this.host.write(2, '\r' + new Array(this.shown.length + 1).join(' ') + '\r');
    this.shown = '';
  };

  // 245.12 -> "4:05.120"
  function duration(seconds) {
    var ms = Math.round(Math.max(0, Number(seconds) || 0) * 1000);
    var minutes = Math.floor(ms / 60000);
    var rest = String(ms % 60000 + 100000).substring(1);
    return minutes + ':' + rest.substring(0, 2) + '.' + rest.substring(2);
  }

  // "16" -> "16-bit", "float" -> "32-bit float"
  function formatLabel(format) {
    if (format === 'float') return '32-bit float';
    return format ? format + '-bit' : '?';
  }

  function pad(text, width) {
    var out = String(text);
    while (out.length < width) out += ' ';
    return out;
  }

  return { jsonText: jsonText, Progress: Progress, duration: duration, formatLabel: formatLabel, pad: pad };
});
