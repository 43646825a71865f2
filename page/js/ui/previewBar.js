// The preview bar: play and stop a track, see where it is on its waveform, click the
// waveform to play from there. One player plays at a time, so one bar is live at a time.
// TarnPreviewBar.create({button}) -> {node, load(path, name), play(), stop(), unload()};
// button false leaves out the bar's own Play/Stop (a dialog that has its own).
(function (root) {
  'use strict';
  var T = root.Tarn;
  var N = root.$native;
  var texts = T.texts;

  var live = null;   // the bar the player is playing for

  function el(tag, attrs, children) { return T.ui.el(tag, attrs, children); }

  function clock(seconds) {
    var s = Math.max(0, Math.floor(Number(seconds) || 0));
    return Math.floor(s / 60) + ':' + String(100 + s % 60).substring(1);
  }

  function number(call) {
    try { return Number(call()) || 0; } catch (e) { return 0; }
  }

  function create(options) {
    options = options || {};
    var playButton = el('button', { type: 'button', className: 'preview-play', id: 'preview-play', 'aria-label': texts.Play, text: texts.Play });
    if (options.button === false) playButton.hidden = true;
    var name = el('span', { className: 'preview-name', id: 'preview-name' });
    var position = el('span', { className: 'preview-time', id: 'preview-time', text: '' });
    var canvas = el('canvas', { className: 'preview-wave', id: 'preview-wave', role: 'slider', tabindex: '0',
      'aria-label': texts.previewPosition, 'aria-valuemin': '0', 'aria-valuemax': '0', 'aria-valuenow': '0' });
    var message = el('p', { className: 'preview-message', id: 'preview-message', role: 'status' });
    var node = el('div', { className: 'preview-bar', id: 'preview-bar', 'data-state': 'empty' }, [
      el('div', { className: 'preview-row' }, [playButton, name, position]), canvas, message]);

    var path = '';
    var peaks = null;
    var length = 0;
    var timer = null;

    function playing() { return live === bar && number(N.player.status) === 1; }

    function setState(state) {
      node.setAttribute('data-state', state);
      playButton.textContent = state === 'playing' ? texts.Stop : texts.Play;
      playButton.setAttribute('aria-label', playButton.textContent);
    }

    function paint() {
      var at = live === bar ? number(N.player.time) : 0;
      position.textContent = path ? clock(at) + ' / ' + clock(length) : '';
      canvas.setAttribute('aria-valuemax', String(Math.round(length)));
      canvas.setAttribute('aria-valuenow', String(Math.round(at)));
      var shown = length > 0 && live === bar && node.getAttribute('data-state') === 'playing';
      root.TarnWaveform.draw(canvas, peaks, { playhead: shown ? at / length : -1 });
    }

    function follow() {
      if (timer) return;
      timer = root.setInterval(function () {
        paint();
        if (!playing()) { stopFollowing(); setState(path ? 'ready' : 'empty'); paint(); }
      }, 100);
    }

    function stopFollowing() {
      if (timer) root.clearInterval(timer);
      timer = null;
    }

    // Opens the file in the player and starts it, from `seconds` when given. A player
    // that does not start has no sound output to play to: the bar says so.
    function play(seconds) {
      if (!path) return false;
      message.textContent = '';
      var opened = false;
      try { opened = N.player.open(path); } catch (e) { opened = false; }
      if (!opened) { message.textContent = texts['Unsupported format.']; setState('ready'); return false; }
      live = bar;
      if (typeof seconds === 'number') { try { N.player.locate(String(seconds)); } catch (e) { /* plays from where it is */ } }
      try { N.player.play(); } catch (e) { /* status tells */ }
      if (number(N.player.status) !== 1) {
        message.textContent = texts.noSoundOutput;
        setState('ready');
        return false;
      }
      setState('playing');
      follow();
      paint();
      return true;
    }

    function stop() {
      if (live === bar) { try { N.player.stop(); } catch (e) { /* no player */ } }
      stopFollowing();
      setState(path ? 'ready' : 'empty');
      paint();
    }

    function load(file, label) {
      if (live === bar) stop();
      path = file;
      peaks = null;
      name.textContent = label || T.tracks.lastSegment(file);
      message.textContent = '';
      // The length comes with the peaks: the file is opened for playing only when played,
      // so that a selected track never keeps its volume busy.
      length = 0;
      setState('ready');
      paint();
      var asked = file;
      var width = Math.max(64, Math.round((canvas.clientWidth || 480) * (root.devicePixelRatio || 1)));
      root.TarnPeaks.get(file, width).then(function (p) {
        if (path !== asked) return;
        peaks = p;
        if (p.sampleRate) length = p.frames / p.sampleRate;
        paint();
      }, function (e) {
        if (path === asked) message.textContent = texts.noWaveform + ' ' + e.message;
      });
    }

    function unload() {
      stop();
      if (live === bar) live = null;
      path = '';
      peaks = null;
      name.textContent = '';
      setState('empty');
      paint();
    }

    function seekTo(fraction) {
      if (!path || !(length > 0)) return;
      play(Math.max(0, Math.min(1, fraction)) * length);
    }

    playButton.addEventListener('click', function () { if (playing()) stop(); else play(); });
    canvas.addEventListener('click', function (e) {
      var box = canvas.getBoundingClientRect();
      if (box.width > 0) seekTo((e.clientX - box.left) / box.width);
    });
    canvas.addEventListener('keydown', function (e) {
      if (!length) return;
      var at = live === bar ? number(N.player.time) : 0;
      var step = { ArrowRight: 5, ArrowLeft: -5, Home: -at, End: length - at - 1 }[e.key];
      if (step === undefined) return;
      e.preventDefault();
      seekTo((at + step) / length);
    });

    var bar = { node: node, load: load, play: play, stop: stop, unload: unload };
    return bar;
  }

  // The player's end, stop and error events reach every bar through this.
  function ended() { if (live && live.node.getAttribute('data-state') === 'playing') live.stop(); }
  ['eof', 'error'].forEach(function (name) {
    var previous = N.player.event[name];
    N.player.event[name] = function (file) {
      if (typeof previous === 'function') previous(file);
      ended();
    };
  });

  root.TarnPreviewBar = T.previewBar = { create: create };
})(typeof self !== 'undefined' ? self : this);
