// The page's bridge to the Tarn host.
//
// Calls are synchronous: $native.call('$$module_function', a1, a2) posts the call to
// /native on the page's own origin and decodes the tagged answer
// (v: undefined, b: boolean, d: integer, f: real, s: text, e: thrown Error).
// Events arrive through window.$event.dispatch(text): form-feed separated fields,
// module, event name, then the arguments, handled by $native.<module>.event.<name>.
// Inside Tarn's own window (and in the command line's script host, through $host) the host pushes events; in a plain browser (headless host)
// the library pulls them with $$app_getevent once start() has been called.
(function () {
  'use strict';

  var MODULES = {
    app: ['startevent', 'getevent', 'device', 'version', 'locale', 'storage', 'storage2', 'clipboard',
      'importfile', 'exportfile', 'webauth', 'control', 'locate', 'dragdrop', 'dropfiles', 'exit'],
    midi: ['inendpoints', 'inconnect', 'indisconnect', 'outendpoints', 'outconnect', 'outdisconnect', 'send', 'panel'],
    midix: ['client', 'inendpoints', 'inconnect', 'indisconnect', 'outendpoints', 'outconnect', 'outdisconnect',
      'send', 'thru', 'panel'],
    tgif: ['buffer', 'device', 'param', 'send', 'thru'],
    seq: ['load', 'play', 'pause', 'stop', 'locate', 'range', 'tempo', 'mute', 'transpose', 'metro', 'metroset',
      'position', 'totalbeats', 'output'],
    audio: ['inputs', 'outputs', 'format', 'convert', 'split', 'reverse'],
    player: ['device', 'open', 'play', 'pause', 'stop', 'locate', 'volume', 'speed', 'pitch', 'file', 'status',
      'channels', 'peakpower', 'time', 'totaltime', 'output'],
    recorder: ['device', 'create', 'record', 'pause', 'stop', 'volume', 'file', 'status', 'channels', 'peakpower',
      'time', 'input'],
    sampler: ['create', 'device', 'open', 'close', 'start', 'play', 'pause', 'stop', 'locate', 'begin', 'end',
      'volume', 'repeat', 'speed', 'pitch', 'fadein', 'fadeout', 'control', 'file', 'totaltime', 'status'],
    ulink: ['discovery', 'connect', 'disconnect', 'device', 'send', 'inputmode', 'timeout', 'keepalive'],
    http: ['download', 'upload', 'cancel'],
    tcpip: ['connect', 'close', 'write'],
    netservice: ['search', 'stop'],
    fs: ['separator', 'path', 'volumes', 'contents', 'stat', 'exec', 'mkdir', 'unlink', 'copy', 'move', 'unzip',
      'readString', 'readData', 'writeString', 'writeData', 'appendString', 'appendData', 'openfilename',
      'savefilename', 'choosefolder', 'unmount', 'watch', 'space', 'leftovers', 'subcontents', 'mount', 'openfilenames'],
    security: ['kiv', 'uuidgen', 'md5', 'encipher', 'decipher', 'aesencrypt', 'aesdecrypt', 'desencrypt', 'desdecrypt'],
    ble: ['scanstart', 'scanstop', 'connect', 'disconnect', 'discover', 'properties', 'notify', 'read', 'write',
      'writewithoutresponse'],
    store: ['query', 'launchflow', 'accept'],
    sh: ['exec', 'kill'],
    util: ['bytes', 'text']
  };

  var TOKEN_KEY = 'tarn.bridge.token';
  // The command line's script host: calls go straight to the host, which pushes events.
  var commandHost = typeof $host === 'object' && $host !== null && typeof $host.call === 'function';
  var insideTarn = commandHost ||
    (typeof navigator !== 'undefined' && navigator.userAgent.indexOf(' corvane.lattice(') >= 0);

  function readToken() {
    var token = null;
    try { token = new URLSearchParams(window.location.search).get('token'); } catch (e) { token = null; }
    try {
      if (token) window.sessionStorage.setItem(TOKEN_KEY, token);
      else token = window.sessionStorage.getItem(TOKEN_KEY);
    } catch (e) { /* storage may be unavailable */ }
    return token || '';
  }
  var token = insideTarn ? '' : readToken();

  function send(args) {
    if (commandHost) return $host.call(JSON.stringify(args));
    var request = new XMLHttpRequest();
    request.open('POST', '/native', false);
    request.setRequestHeader('Content-Type', 'application/json');
    if (token) request.setRequestHeader('X-Tarn-Token', token);
    request.send(JSON.stringify(args));
    if (request.status !== 200) throw new Error('bridge unavailable (' + request.status + ')');
    return request.responseText;
  }

  function decode(answer) {
    var value = answer.substring(1);
    switch (answer.charAt(0)) {
      case 'v': return undefined;
      case 'b': return value.length > 0;
      case 'd': return parseInt(value, 10);
      case 'f': return parseFloat(value);
      case 's': return value;
      case 'e': throw new Error(value);
      default: throw new Error('bad bridge answer: ' + answer);
    }
  }

  function call(n, a1, a2) {
    if (a2 !== undefined) return decode(send([n, '' + a1, '' + a2]));
    if (a1 !== undefined) return decode(send([n, '' + a1]));
    return decode(send([n]));
  }

  // The same call without blocking the page: a promise of the decoded answer. Reads that
  // need many calls (a looper's track folders) run several at once this way.
  function callAsync(n, a1, a2) {
    var args = [n];
    if (a1 !== undefined) args.push('' + a1);
    if (a2 !== undefined) args.push('' + a2);
    if (commandHost) return new Promise(function (resolve) { resolve(decode(send(args))); });
    var headers = { 'Content-Type': 'application/json' };
    if (token) headers['X-Tarn-Token'] = token;
    return fetch('/native', { method: 'POST', headers: headers, body: JSON.stringify(args), cache: 'no-store' })
      .then(function (response) {
        if (response.status !== 200) throw new Error('bridge unavailable (' + response.status + ')');
        return response.text();
      })
      .then(decode);
  }

  var native = window.$native = window.$native || {};
  native.call = call;
  native.callAsync = callAsync;
  // Where the page runs: Tarn's own window (dropped files come as paths through
  // $$app_dropfiles) or a browser on the headless host (dropped files are sent).
  native.insideTarn = insideTarn;

  // Sends a File to the headless host, which keeps it as a temporary file; resolves to
  // that file's path, rejects with the host's reason.
  native.upload = function (file) {
    var headers = { 'Content-Type': 'application/octet-stream' };
    if (token) headers['X-Tarn-Token'] = token;
    return fetch('/upload?name=' + encodeURIComponent(file.name || ''), { method: 'POST', headers: headers, body: file, cache: 'no-store' })
      .then(function (response) {
        return response.text().then(function (text) {
          if (response.status !== 200) throw new Error(text || ('upload refused (' + response.status + ')'));
          return JSON.parse(text).path;
        });
      });
  };
  Object.keys(MODULES).forEach(function (module) {
    var object = native[module] = native[module] || {};
    object.event = object.event || {};
    MODULES[module].forEach(function (fn) {
      object[fn] = function (a1, a2) { return call('$$' + module + '_' + fn, a1, a2); };
    });
  });

  var polling = null;
  function dispatch(ev) {
    var fields = String(ev).split('\f');
    var module = native[fields[0]];
    if (!module || !module.event) return;
    var handler = module.event[fields[1]];
    if (typeof handler !== 'function') return;
    handler.apply(native, fields.slice(2));
  }

  function pull() {
    try {
      for (;;) {
        var ev = call('$$app_getevent');
        if (!ev) break;
        try { dispatch(ev); } catch (e) { if (window.console) console.error(e); }
      }
    } catch (e) {
      if (window.console) console.error(e);
    }
  }

  window.$event = {
    dispatch: dispatch,
    start: function () {
      var result = call('$$app_startevent', true);
      if (!insideTarn && polling === null) {
        pull();
        polling = window.setInterval(pull, 50);
      }
      return result;
    }
  };
  native.start = window.$event.start;
})();
