// A page served to a browser (the headless host) first makes sure it can work: opened
// without the run's token it cannot reach Tarn, and a second tab would take the looper
// and the events from the first. Either way the page says so instead of starting.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var doc = root.document;
  var CHANNEL = 'tarn-page';

  function notice(title, lines) {
    var ui = T.ui;
    var main = doc.querySelector('main');
    var box = ui.el('section', { className: 'page-notice selectable', id: 'page-notice', role: 'alert' },
      [ui.el('h1', { text: title })].concat(lines.map(function (line) { return ui.el('p', { text: line }); })));
    if (main) { main.textContent = ''; main.appendChild(box); } else doc.body.appendChild(box);
  }

  function bridgeRefused() {
    try { N.app.version(); return false; } catch (e) { return /bridge unavailable \(4\d\d\)/.test(String(e.message)); }
  }

  // done() runs when this page may start; otherwise it shows why not.
  A.checkAccess = function (done) {
    if (root.location.protocol !== 'http:' && root.location.protocol !== 'https:') { done(); return; }
    if (bridgeRefused()) {
      notice('Open Tarn with its full address', [
        'This address lacks the key that lets the page reach Tarn. Use the address Tarn printed when it started: it ends in "?token=" and 64 characters.',
        'For an address that stays the same from run to run (a bookmark), start Tarn with a fixed port and a token file: ' +
          'tarn --headless --port 8080 --token-file ~/.config/tarn.token'
      ]);
      return;
    }
    if (typeof root.BroadcastChannel !== 'function') { done(); return; }
    var channel = new root.BroadcastChannel(CHANNEL);
    var settled = false;
    channel.onmessage = function (e) {
      if (e.data === 'who') { if (settled) channel.postMessage('here'); return; }
      if (e.data === 'here' && !settled) {
        settled = true;
        channel.close();
        notice('Tarn is open in another tab', ['Use that tab, or close it and reload this one.']);
      }
    };
    channel.postMessage('who');
    // The page that answers first keeps Tarn; one that hears nothing starts and answers later asks.
    root.setTimeout(function () {
      if (settled) return;
      settled = true;
      done();
    }, 400);
  };
})(typeof self !== 'undefined' ? self : this);
