// A headless Tarn of the hardening tests' own: private HOME as the working folder, no
// display, a sound server address nobody serves (unless given), and raw bridge calls.
import { spawn } from 'node:child_process';
import http from 'node:http';
import { readFileSync, readdirSync, readlinkSync } from 'node:fs';
import { join } from 'node:path';
import { makeHome, tarnBinary } from '../../e2e/lib/tarn.mjs';

export { makeHome };

export function hostEnv(home, extra = {}) {
  const env = { ...process.env, ...home.env, PULSE_SERVER: `unix:${join(home.root, 'no-sound-server')}`, ...extra };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  delete env.DBUS_SESSION_BUS_ADDRESS;
  return env;
}

// Starts `tarn --headless` and resolves with its address once it printed it.
export function startHost({ home = makeHome(), env = {} } = {}) {
  return new Promise((resolveStart, rejectStart) => {
    const child = spawn(tarnBinary, ['--headless'], { cwd: home.root, env: hostEnv(home, env), stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    const exited = new Promise((r) => child.on('exit', (code, signal) => r({ code, signal })));
    const timer = setTimeout(() => rejectStart(new Error('tarn printed no address: ' + err)), 20000);
    // Keep the start and the latest of what the host says: a host that floods its error
    // output must fail the checks, not the harness's memory.
    child.stderr.on('data', (d) => {
      err += d;
      if (err.length > 262144) err = err.slice(0, 4096) + '\n[...]\n' + err.slice(-65536);
    });
    child.stdout.on('data', (d) => {
      out += d;
      if (!out.includes('\n')) return;
      clearTimeout(timer);
      const url = new URL(out.split('\n')[0].trim());
      resolveStart({
        child, home, exited, port: Number(url.port), token: url.searchParams.get('token'),
        stderr: () => err,
        alive: () => child.exitCode === null && child.signalCode === null,
        async stop() {
          if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
          const end = await exited;
          home.cleanup();
          return end;
        },
      });
    });
    child.on('error', (e) => { clearTimeout(timer); rejectStart(e); });
  });
}

// One HTTP request on a fresh connection; resolves with status and text, or with the
// error's code when the server closed the connection instead.
export function request(host, { path = '/native', method = 'POST', headers = {}, body, timeout = 5000, agent = false } = {}) {
  return new Promise((resolve) => {
    const started = Date.now();
    const req = http.request({ host: '127.0.0.1', port: host.port, path, method, headers: { Host: `127.0.0.1:${host.port}`, ...headers }, agent },
      (response) => {
        const parts = [];
        response.on('data', (d) => parts.push(d));
        response.on('end', () => resolve({ status: response.statusCode, text: Buffer.concat(parts).toString(), headers: response.headers, ms: Date.now() - started }));
        response.on('error', (e) => resolve({ error: e.code || String(e), ms: Date.now() - started }));
      });
    req.setTimeout(timeout, () => { req.destroy(new Error('timeout')); });
    req.on('error', (e) => resolve({ error: e.code || e.message, ms: Date.now() - started }));
    if (body !== undefined) req.end(body); else req.end();
  });
}

// A bridge call as the page makes it.
export function call(host, args, options = {}) {
  return request(host, {
    body: JSON.stringify(args),
    headers: { 'X-Tarn-Token': host.token, 'Content-Type': 'application/json' },
    ...options,
  });
}

export function openDescriptors(pid) { return readdirSync(`/proc/${pid}/fd`).length; }

export function residentKiB(pid) {
  const line = readFileSync(`/proc/${pid}/status`, 'utf8').split('\n').find((l) => l.startsWith('VmRSS:'));
  return Number(line.split(/\s+/)[1]);
}

// CPU time (user + system) of the process in seconds.
export function cpuSeconds(pid) {
  const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return (Number(fields[11]) + Number(fields[12])) / 100;  // utime, stime in clock ticks (USER_HZ 100)
}

export function socketCount(pid) {
  let n = 0;
  for (const fd of readdirSync(`/proc/${pid}/fd`)) {
    try { if (readlinkSync(`/proc/${pid}/fd/${fd}`).startsWith('socket:')) n += 1; } catch { /* closed meanwhile */ }
  }
  return n;
}
