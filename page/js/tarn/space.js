// Room on a volume before Tarn writes to it: the looper's volume for imports, downloads
// and restores, the computer's folders for the converted audio, exports and backups.
// A write is refused before its first byte when the bytes it will write do not fit,
// with a message naming both figures. Where a volume does not tell its free space the
// write goes ahead (and a failure is still cleaned up and reported by the host).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).space = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // FAT allocates whole clusters (up to 32 KiB on a looper's volume) and every file has
  // a directory entry: each file counts this much more than its bytes.
  var PER_FILE = 32 * 1024;
  var WAV_HEADER = 4096;

  // 1234567 -> "1.2 MB"; 42000000 -> "42 MB" (decimal units, as file managers show them).
  function size(bytes) {
    var value = Math.max(0, Number(bytes) || 0);
    var units = ['bytes', 'kB', 'MB', 'GB', 'TB'];
    var unit = 0;
    while (value >= 1000 && unit < units.length - 1) { value /= 1000; unit++; }
    if (unit === 0) return Math.round(value) + ' bytes';
    var text = value < 10 ? (Math.floor(value * 10) / 10).toFixed(1) : String(Math.floor(value));
    return text + ' ' + units[unit];
  }

  // {free, total} of the volume holding path, or null when it cannot be told.
  function freeOf(fs, path) {
    if (!fs || typeof fs.space !== 'function') return null;
    var facts;
    try { facts = JSON.parse(fs.space(path)); } catch (e) { return null; }
    if (!facts || !(Number(facts.total) > 0) || !(Number(facts.free) >= 0)) return null;
    return { free: Number(facts.free), total: Number(facts.total) };
  }

  // What `files` files of `bytes` in all take on a volume.
  function needed(bytes, files) {
    return Math.max(0, Number(bytes) || 0) + PER_FILE * Math.max(1, files || 1);
  }

  // The bytes of a WAV of so many frames: channels x bits, plus its header.
  function wavBytes(frames, channels, bits) {
    return Math.ceil(Math.max(0, Number(frames) || 0) * channels * bits / 8) + WAV_HEADER;
  }

  // where: {fs, path, label} with label the volume as the message names it ("The looper",
  // "The temporary folder (/tmp)"); what: what needs the room, with its verb ("this track
  // needs"). A refusal
  // text, or '' when it fits or the free space is not known.
  function refusal(where, bytes, files, what) {
    var facts = freeOf(where.fs, where.path);
    if (!facts) return '';
    var need = needed(bytes, files);
    if (facts.free >= need) return '';
    return where.label + ' has ' + size(facts.free) + ' free; ' + what + ' ' + size(Math.max(bytes, 1)) + '.';
  }

  // '' when path is on the looper's own volume (or that cannot be told); else why Tarn
  // does not write there: a track folder that is a link out of the volume.
  function outsideLooper(fs, path) {
    var text = String(path);
    var at = text.indexOf('/CORVANE/');
    if (at <= 0 || !fs || typeof fs.space !== 'function') return '';
    var facts = [text, text.substring(0, at)].map(function (p) {
      try { return JSON.parse(fs.space(p)); } catch (e) { return null; }
    });
    if (!facts[0] || !facts[1] || !facts[0].device || !facts[1].device) return '';
    return facts[0].device === facts[1].device ? '' :
      'The track folder leads out of the looper\'s volume (it is a link); Tarn writes nothing there.';
  }

  function looper(fs, volume) { return { fs: fs, path: volume, label: 'The looper' }; }

  function folder(fs, path, name) {
    var text = String(path).replace(/\/+$/, '') || '/';
    return { fs: fs, path: text, label: name ? name + ' (' + text + ')' : 'The folder ' + text };
  }

  return {
    PER_FILE: PER_FILE,
    size: size,
    freeOf: freeOf,
    needed: needed,
    wavBytes: wavBytes,
    refusal: refusal,
    looper: looper,
    outsideLooper: outsideLooper,
    folder: folder
  };
});
