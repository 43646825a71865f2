// A track's sample format and length, as the host's WAV reader (trnWav formatWithAcidChunk)
// reads them: the window's grid, the command line and the export's room check share it.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory();
  } else {
    var T = root.Tarn = root.Tarn || {};
    T.trackInfo = factory();
  }
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // "16", "24", "float", or "" for any other sample format.
  function formatName(formatTag, bits) {
    if (formatTag === 3 && bits === 32) return 'float';
    if (formatTag === 1 && (bits === 16 || bits === 24)) return String(bits);
    return '';
  }

  // {format, frames, sampleRate, channels} from the reader's answer; null for a file it
  // could not read as WAV.
  function fromAnswer(text) {
    var info = null;
    try { info = JSON.parse(text); } catch (e) { return null; }
    if (!info || info.result !== 1) return null;
    return { format: formatName(info.format, info.bits), frames: info.samples, sampleRate: info.sampleRate,
      channels: info.channels };
  }

  // The same, asked of the host at once (hostPath as the host names it).
  function read(trnWav, hostPath) {
    try { return fromAnswer(trnWav.formatWithAcidChunk(hostPath)); } catch (e) { return null; }
  }

  return { formatName: formatName, fromAnswer: fromAnswer, read: read };
});
