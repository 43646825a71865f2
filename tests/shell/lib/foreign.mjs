// A site of another origin on 127.0.0.1: a frame the probe page embeds and a top-level
// page the probe navigates to. Both try to reach the application's bridge and ask for
// a permission, and report what happened to this server (POST /report).
import { createServer } from 'node:http';

const attempts = `
function tryBridge(label, send) {
  try {
    var r = send();
    return Promise.resolve(r).then(function (v) { return label + ':answered:' + v; },
                                   function (e) { return label + ':failed:' + e; });
  } catch (e) { return Promise.resolve(label + ':failed:' + e); }
}
function xhr(type) {
  var q = new XMLHttpRequest();
  q.open('POST', 'tarn://app/native', false);
  if (type) q.setRequestHeader('Content-Type', type);
  q.send(JSON.stringify(['$$app_storage2', 'stolen', 'by ' + location.origin]));
  return q.status + ' ' + q.responseText;
}
function attack() {
  return Promise.all([
    tryBridge('xhr-json', function () { return xhr('application/json'); }),
    tryBridge('xhr-plain', function () { return xhr('text/plain'); }),
    tryBridge('fetch-no-cors', function () {
      return fetch('tarn://app/native', { method: 'POST', mode: 'no-cors',
        body: JSON.stringify(['$$app_storage2', 'stolen', 'no-cors']) }).then(function (r) { return r.type + ' ' + r.status; });
    }),
    tryBridge('fetch-cors', function () {
      return fetch('tarn://app/native', { method: 'POST',
        body: JSON.stringify(['$$app_storage2', 'stolen', 'cors']) }).then(function (r) { return r.status; });
    }),
  ]);
}
function permission() {
  return new Promise(function (resolve) {
    navigator.geolocation.getCurrentPosition(function () { resolve('granted'); },
      function (e) { resolve(e.code === 1 ? 'denied' : 'granted'); }, { timeout: 3000 });
  });
}
function report(what) {
  return fetch('/report', { method: 'POST', body: JSON.stringify(what) });
}
`;

const pages = {
  '/frame.html': `<!DOCTYPE html><html><head><meta charset="utf-8"><title>frame</title></head><body>player
<script>${attempts}
attack().then(function (bridge) {
  var sent = 'none';
  if (window.chrome && window.chrome.webview) {
    window.chrome.webview.postMessage({ not: 'text' });
    window.chrome.webview.postMessage('hello from frame');
    sent = 'posted';
  }
  return permission().then(function (p) { return report({ page: 'frame', bridge: bridge, permission: p, message: sent }); });
});
</script></body></html>`,
  '/top.html': `<!DOCTYPE html><html><head><meta charset="utf-8"><title>Foreign top</title></head><body>top
<script>${attempts}
attack().then(function (bridge) {
  return permission().then(function (p) { return report({ page: 'top', bridge: bridge, permission: p }); });
});
</script></body></html>`,
};

export function startForeignSite() {
  const reports = [];
  const server = createServer((req, res) => {
    if (req.method === 'POST' && req.url === '/report') {
      let body = '';
      req.on('data', (d) => { body += d; });
      req.on('end', () => { reports.push(JSON.parse(body)); res.end('ok'); });
      return;
    }
    const page = pages[req.url];
    res.writeHead(page ? 200 : 404, { 'Content-Type': 'text/html; charset=utf-8' });
    res.end(page || 'not found');
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({
      port: server.address().port,
      reports,
      close: () => new Promise((r) => server.close(r)),
    }));
  });
}
