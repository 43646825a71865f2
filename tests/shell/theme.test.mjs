// The window follows the desktop's light or dark preference (here GTK_THEME=Adwaita:dark)
// and keeps its toolbar whole from a narrow window to a wide one.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { resolve } from 'node:path';
import { startXvfb, makeHome, startTarn, waitFor, windowsNamed, screenshot, sleep, xdotool } from './lib/xsession.mjs';

let x;
before(async () => { x = await startXvfb(); });
after(async () => { await x?.stop(); });

const fakePortal = process.env.TARN_FAKE_PORTAL || resolve(import.meta.dirname, '../../build/tests/fake_portal');

// A private session bus with a settings portal on it that prefers the given scheme.
async function startPortal(home, scheme) {
  const address = 'unix:path=' + join(home.root, 'run', 'session_bus');
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--nopidfile', '--address=' + address], { stdio: 'ignore' });
  await waitFor('the private bus', () => existsSync(join(home.root, 'run', 'session_bus')), 10000);
  const portal = spawn(fakePortal, [String(scheme)], { env: { ...process.env, DBUS_SESSION_BUS_ADDRESS: address }, stdio: ['pipe', 'pipe', 'inherit'] });
  let out = '';
  portal.stdout.on('data', (d) => { out += d; });
  await waitFor('the portal', () => out.includes('ready'), 10000);
  return {
    env: { DBUS_SESSION_BUS_ADDRESS: address },
    announce(next) { portal.stdin.write(next + '\n'); },
    async stop() {
      portal.stdin.end();
      portal.kill('SIGTERM');
      daemon.kill('SIGTERM');
      await new Promise((r) => (daemon.exitCode !== null ? r() : daemon.once('exit', r)));
    },
  };
}

// The mean luminance (0..1) of a region of the window's image.
function luminance(file, crop) {
  return Number(execFileSync('convert', [file, '-crop', crop, '-colorspace', 'Gray', '-format', '%[fx:mean]', 'info:'],
    { encoding: 'utf8' }).trim());
}

test('a dark desktop gets a dark page', async () => {
  const home = makeHome();
  const tarn = startTarn(x, home, { env: { GTK_THEME: 'Adwaita:dark' } });
  try {
    const [id] = await waitFor('the Tarn window', () => windowsNamed(x, 'Tarn').length && windowsNamed(x, 'Tarn'));
    await sleep(500);
    // The toolbar row (above the terms' dimmed layer) once the page has painted.
    const shot = await waitFor('a painted page', () => {
      const s = screenshot(x, id, join(process.env.TARN_SHELL_OUTPUT || home.root, 'window-dark.png'));
      return s.colours > 8 ? s : null;
    });
    assert.ok(luminance(shot.file, '100%x40+0+0') < 0.2, 'the page is dark');
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});

test('the desktop\'s colour scheme from the settings portal, followed while running', async () => {
  const home = makeHome();
  const portal = await startPortal(home, 1);
  const env = { ...portal.env };
  const tarn = startTarn(x, home, { env: { ...env, GTK_THEME: '' } });
  const toolbar = (name) => {
    const [id] = windowsNamed(x, 'Tarn');
    const s = screenshot(x, id, join(process.env.TARN_SHELL_OUTPUT || home.root, name));
    return s.colours > 8 ? luminance(s.file, '100%x40+0+0') : null;
  };
  try {
    await waitFor('the Tarn window', () => windowsNamed(x, 'Tarn').length);
    await waitFor('a dark page', () => { const l = toolbar('portal-dark.png'); return l !== null && l < 0.2; });
    portal.announce(2);
    await waitFor('a light page', () => { const l = toolbar('portal-light.png'); return l !== null && l > 0.6; });
  } finally {
    await tarn.stop();
    await portal.stop();
    home.cleanup();
  }
});
