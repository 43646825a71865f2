// Starts the real Tarn host headless and a headless Chromium for end-to-end tests.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
export const tarnBinary = process.env.TARN_BIN || resolve(here, '../../../build/tarn');

// A fresh HOME with XDG folders; removed by cleanup().
export function makeHome() {
  const root = mkdtempSync(join(tmpdir(), 'tarn-e2e-'));
  for (const sub of ['config', 'data', 'tmp']) mkdirSync(join(root, sub));
  return {
    root,
    env: { HOME: root, XDG_CONFIG_HOME: join(root, 'config'), XDG_DATA_HOME: join(root, 'data'), TMPDIR: join(root, 'tmp') },
    cleanup() { rmSync(root, { recursive: true, force: true }); },
  };
}

// Starts `tarn --headless` and resolves once it printed the page address.
export function startTarn({ args = [], env = {}, home = makeHome() } = {}) {
  return new Promise((resolveStart, rejectStart) => {
    const child = spawn(tarnBinary, ['--headless', ...args], {
      env: { ...process.env, ...home.env, ...env },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    let out = '';
    let err = '';
    const exited = new Promise((r) => child.on('exit', (code, signal) => r({ code, signal })));
    const timer = setTimeout(() => rejectStart(new Error('tarn printed no address: ' + err)), 20000);
    child.stderr.on('data', (d) => { err += d; });
    child.stdout.on('data', (d) => {
      out += d;
      const line = out.split('\n')[0];
      if (out.includes('\n')) {
        clearTimeout(timer);
        const url = new URL(line.trim());
        resolveStart({
          child, home, exited, address: url.href, origin: url.origin, port: Number(url.port),
          token: url.searchParams.get('token'),
          stderr: () => err,
          async stop() {
            if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
            await exited;
            home.cleanup();
          },
        });
      }
    });
    child.on('error', (e) => { clearTimeout(timer); rejectStart(e); });
  });
}

export async function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM_PATH || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
  });
}

// Polls fn until it returns a truthy value or the time runs out.
export async function waitFor(fn, { timeout = 10000, interval = 25, what = 'condition' } = {}) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = await fn();
    if (value) return value;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, interval));
  }
}
