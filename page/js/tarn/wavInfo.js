// A track's format and length from its WAV header, read through the host's fs module
// (readData answers hex): the "fmt " chunk gives the sample format, the "data" chunk's
// size the number of frames.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).wavInfo = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var HEAD = 4096;
  var MAX_CHUNKS = 64;
  var PCM = 1;
  var FLOAT = 3;
  var EXTENSIBLE = 0xFFFE;

  function bytes(hex) {
    var out = [];
    for (var i = 0; i + 1 < hex.length; i += 2) out.push(parseInt(hex.substr(i, 2), 16));
    return out;
  }

  function u16(b, at) { return b[at] | (b[at + 1] << 8); }
  function u32(b, at) { return (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) + b[at + 3] * 16777216; }
  function tag(b, at) { return String.fromCharCode(b[at], b[at + 1], b[at + 2], b[at + 3]); }

  // "16", "24", "float", or "" for any other sample format.
  function formatName(formatTag, bits) {
    if (formatTag === FLOAT && bits === 32) return 'float';
    if (formatTag === PCM && (bits === 16 || bits === 24)) return String(bits);
    return '';
  }

  // readData(path, offset, length) -> hex text (throws when the file cannot be read).
  // Returns {format, frames, sampleRate, channels}; null for no readable WAV.
  function read(readData, path) {
    var head;
    try { head = bytes(readData(path, 0, HEAD)); } catch (e) { return null; }
    if (head.length < 12 || tag(head, 0) !== 'RIFF' || tag(head, 8) !== 'WAVE') return null;
    var at = 12;
    var fmt = null;
    for (var n = 0; n < MAX_CHUNKS; n++) {
      var header = at + 8 <= head.length ? head.slice(at, at + 8) : null;
      if (!header) {
        try { header = bytes(readData(path, at, 8)); } catch (e) { return null; }
        if (header.length < 8) return null;
      }
      var id = tag(header, 0);
      var size = u32(header, 4);
      if (id === 'fmt ') {
        var body = at + 8 + 40 <= head.length ? head.slice(at + 8, at + 8 + 40) : null;
        if (!body) {
          try { body = bytes(readData(path, at + 8, Math.min(size, 40))); } catch (e) { return null; }
        }
        if (body.length < 16) return null;
        var formatTag = u16(body, 0);
        if (formatTag === EXTENSIBLE && size >= 40 && body.length >= 26) formatTag = u16(body, 24);
        fmt = {
          formatTag: formatTag, channels: u16(body, 2), sampleRate: u32(body, 4),
          blockAlign: u16(body, 12), bits: u16(body, 14)
        };
      } else if (id === 'data') {
        if (!fmt || !fmt.blockAlign) return null;
        return {
          format: formatName(fmt.formatTag, fmt.bits),
          frames: Math.floor(size / fmt.blockAlign),
          sampleRate: fmt.sampleRate,
          channels: fmt.channels
        };
      }
      at += 8 + size + (size % 2);
    }
    return null;
  }

  // The same through the bridge's fs module.
  function readFile(fs, path) {
    return read(function (p, offset, length) {
      return fs.readData(p, JSON.stringify({ offset: offset, length: length }));
    }, path);
  }

  return { read: read, readFile: readFile, formatName: formatName };
});
