// The looper's tracks as a grid of memories (rows) and tracks (columns): what a cell
// says of itself, the header's figures, the order in which files fill empty cells and
// the selection of several cells. No page here: the window and the command line share it.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./tracks.js'));
  else (root.Tarn = root.Tarn || {}).grid = factory(root.Tarn.tracks);
})(typeof self !== 'undefined' ? self : this, function (tracks) {
  'use strict';

  // What the looper's conversion takes in (everything the host's decoder reads of these).
  var AUDIO_EXTENSIONS = ['wav', 'aif', 'aiff', 'flac', 'mp3', 'm4a', 'aac', 'ogg', 'oga', 'opus'];
  var AUDIO = new RegExp('\\.(' + AUDIO_EXTENSIONS.join('|') + ')$', 'i');

  function isAudioName(name) { return AUDIO.test(String(name)) && String(name).charAt(0) !== '.'; }

  // 220500 frames at 44100 Hz -> "0:05.000". Whole milliseconds, rounded down, so that a
  // track one frame short of a second never reads as a full second.
  function lengthText(frames, sampleRate) {
    if (!(sampleRate > 0) || !(frames >= 0)) return '';
    var ms = Math.floor(frames * 1000 / sampleRate);
    var minutes = Math.floor(ms / 60000);
    var seconds = Math.floor(ms / 1000) % 60;
    var rest = ms % 1000;
    return minutes + ':' + (seconds < 10 ? '0' : '') + seconds + '.' + ('00' + rest).slice(-3);
  }

  // {sampleRate: 44100, format: "float"} -> "44.1 kHz 32-bit float".
  function formatText(info) {
    if (!info || !(info.sampleRate > 0)) return '';
    var khz = String(Math.round(info.sampleRate / 100) / 10) + ' kHz';
    if (info.format === 'float') return khz + ' 32-bit float';
    if (info.format === '16' || info.format === '24') return khz + ' ' + info.format + '-bit';
    return khz;
  }

  // 1536 -> "1.5 KB"; decimal units, as a file manager shows a volume's size.
  function sizeText(bytes) {
    var n = Number(bytes);
    if (!(n >= 0)) return '';
    var units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
    var u = 0;
    while (n >= 1000 && u < units.length - 1) { n /= 1000; u++; }
    return u === 0 ? n + ' bytes' : (n >= 100 ? Math.round(n) : Math.round(n * 10) / 10) + ' ' + units[u];
  }

  // The accessible name of a cell: "Memory 3, track 2: Loop.wav, 0:05.000" or
  // "Memory 3, track 2: empty". info (from the file's header) may not be read yet.
  function cellName(memory, track, cell, row, info) {
    var head = 'Memory ' + tracks.memoryNumber(memory, row) + ', track ' + (track + 1) + ': ';
    if (!cell.fileName) return head + 'empty';
    var length = info ? lengthText(info.frames, info.sampleRate) : '';
    return head + cell.fileName + (length ? ', ' + length : '');
  }

  function usage(table) {
    var used = 0;
    var total = 0;
    table.forEach(function (row) {
      row.forEach(function (cell) { total++; if (cell.fileName) used++; });
    });
    return { used: used, total: total };
  }

  function isEmpty(cell) { return !cell.fileName && !!cell.dirName; }

  // Cells by their index in memory-major order, and back.
  function indexOf(at, tracksPerMemory) { return at.memory * tracksPerMemory + at.track; }
  function at(index, tracksPerMemory) {
    return { memory: Math.floor(index / tracksPerMemory), track: index % tracksPerMemory };
  }

  // Where `count` files go from `start` on: that cell and the empty cells after it, in
  // memory-major order. null unless all of them fit (nothing is written then).
  function fillTargets(table, start, count) {
    var width = table.length ? table[0].length : 0;
    var targets = [];
    for (var i = indexOf(start, width); i < table.length * width && targets.length < count; i++) {
      var place = at(i, width);
      if (isEmpty(table[place.memory][place.track])) targets.push(place);
    }
    return count > 0 && targets.length === count ? targets : null;
  }

  // Where files chosen for a selection go: into the selected empty cells in order, and
  // when there are more files than those, on into the empty cells after the last one.
  function importTargets(table, selected, count) {
    var width = table.length ? table[0].length : 0;
    var sorted = selected.slice().sort(function (a, b) { return indexOf(a, width) - indexOf(b, width); });
    var targets = sorted.filter(function (p) { return isEmpty(table[p.memory][p.track]); }).slice(0, count);
    if (targets.length === count) return count > 0 ? targets : null;
    var from = sorted.length ? at(indexOf(sorted[sorted.length - 1], width) + 1, width) : { memory: 0, track: 0 };
    if (from.memory >= table.length) return null;
    var rest = fillTargets(table, from, count - targets.length);
    return rest ? targets.concat(rest) : null;
  }

  // The selection of a grid of `count` cells (memory-major indexes): a focused cell, an
  // anchor for ranges and the chosen set, moved as Shift/Ctrl clicks and keys move it.
  function Selection(count) {
    this.count = count;
    this.focus = 0;
    this.anchor = 0;
    this.chosen = {};
  }

  Selection.prototype.has = function (index) { return this.chosen[index] === true; };

  Selection.prototype.list = function () {
    return Object.keys(this.chosen).map(Number).sort(function (a, b) { return a - b; });
  };

  // A plain click or move: that cell alone. extend (Shift): the range from the anchor.
  // toggle (Ctrl): that cell in or out, the others kept.
  Selection.prototype.pick = function (index, how) {
    how = how || {};
    index = Math.max(0, Math.min(this.count - 1, index));
    this.focus = index;
    if (how.extend) {
      this.chosen = {};
      var lo = Math.min(this.anchor, index);
      var hi = Math.max(this.anchor, index);
      for (var i = lo; i <= hi; i++) this.chosen[i] = true;
      return;
    }
    this.anchor = index;
    if (how.toggle) {
      if (this.chosen[index]) delete this.chosen[index];
      else this.chosen[index] = true;
      return;
    }
    this.chosen = {};
    this.chosen[index] = true;
  };

  Selection.prototype.all = function () {
    this.chosen = {};
    for (var i = 0; i < this.count; i++) this.chosen[i] = true;
  };

  return {
    AUDIO_EXTENSIONS: AUDIO_EXTENSIONS,
    isAudioName: isAudioName,
    lengthText: lengthText,
    formatText: formatText,
    sizeText: sizeText,
    cellName: cellName,
    usage: usage,
    isEmpty: isEmpty,
    indexOf: indexOf,
    at: at,
    fillTargets: fillTargets,
    importTargets: importTargets,
    Selection: Selection
  };
});
