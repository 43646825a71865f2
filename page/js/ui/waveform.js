// Draws waveform peaks (TarnPeaks) on a canvas, sharp on HiDPI screens, in the page's
// colours: the played part in --accent, the rest in --muted, the playhead in --ink.
// TarnWaveform.draw(canvas, peaks, {playhead: 0..1}); peaks null draws the empty line.
(function (root) {
  'use strict';

  function colour(style, name, fallback) {
    var value = style.getPropertyValue(name).trim();
    return value || fallback;
  }

  function draw(canvas, peaks, options) {
    options = options || {};
    var ratio = root.devicePixelRatio || 1;
    var cssWidth = canvas.clientWidth || canvas.width;
    var cssHeight = canvas.clientHeight || canvas.height;
    var width = Math.max(1, Math.round(cssWidth * ratio));
    var height = Math.max(1, Math.round(cssHeight * ratio));
    if (canvas.width !== width) canvas.width = width;
    if (canvas.height !== height) canvas.height = height;
    var ctx = canvas.getContext('2d');
    var style = root.getComputedStyle(canvas);
    var played = colour(style, '--accent', '#1f6f8b');
    var rest = colour(style, '--muted', '#5f6c76');
    var ink = colour(style, '--ink', '#1f2a33');
    ctx.clearRect(0, 0, width, height);
    var middle = height / 2;
    var playhead = typeof options.playhead === 'number' && isFinite(options.playhead)
      ? Math.max(0, Math.min(1, options.playhead)) : -1;
    var split = playhead < 0 ? 0 : Math.round(playhead * width);
    var columns = peaks && peaks.max ? peaks.max.length : 0;
    // One device pixel per bar; each takes the extremes of the columns under it.
    for (var x = 0; x < width; x++) {
      var lo = 0, hi = 0;
      if (columns) {
        var from = Math.floor(x * columns / width);
        var to = Math.max(from + 1, Math.floor((x + 1) * columns / width));
        for (var c = from; c < to && c < columns; c++) {
          if (peaks.min[c] < lo) lo = peaks.min[c];
          if (peaks.max[c] > hi) hi = peaks.max[c];
        }
      }
      var top = Math.floor(middle - Math.min(1, hi) * middle);
      var bottom = Math.ceil(middle - Math.max(-1, lo) * middle);
      if (bottom - top < 1) { top = Math.floor(middle); bottom = top + 1; }
      ctx.fillStyle = x < split ? played : rest;
      ctx.fillRect(x, top, 1, bottom - top);
    }
    if (playhead >= 0) {
      ctx.fillStyle = ink;
      ctx.fillRect(Math.min(width - Math.max(1, Math.round(ratio)), split), 0, Math.max(1, Math.round(ratio)), height);
    }
  }

  root.TarnWaveform = (root.Tarn = root.Tarn || {}).waveform = { draw: draw };
})(typeof self !== 'undefined' ? self : this);
