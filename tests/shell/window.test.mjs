// The real `tarn` window under Xvfb: page, bridge, events, single instance, close
// button, placement, and what pages and frames of other origins can (not) do.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { join, resolve } from 'node:path';
import { readFileSync, writeFileSync } from 'node:fs';
import {
  startXvfb, makeHome, startTarn, tarnBinary, startSleepingSystem, waitFor, windowsNamed, windowGeometry, closeButton, screenshot, sleep,
  xdotool, dragFiles,
} from './lib/xsession.mjs';
import { startForeignSite } from './lib/foreign.mjs';

let x;
let site;
before(async () => {
  x = await startXvfb();
  site = await startForeignSite();
});
after(async () => {
  await site?.close();
  await x?.stop();
});

const probe = (home) => {
  const text = home.pref('probe');
  return text ? JSON.parse(text) : null;
};
const eventsOf = (home) => probe(home)?.events ?? [];

async function secondStart(home, args) {
  const second = startTarn(x, home, { args });
  const result = await Promise.race([second.exited, sleep(15000).then(() => ({ code: 'hung' }))]);
  if (result.code === 'hung') second.child.kill('SIGKILL');
  return result;
}

test('the window shows the bundled page, fitted to the screen, and it is not blank', async () => {
  const home = makeHome();
  const tarn = startTarn(x, home);
  try {
    const [id] = await waitFor('the Tarn window', () => windowsNamed(x, 'Tarn').length && windowsNamed(x, 'Tarn'));
    // The page has asked the host for its version through the bridge and shows it.
    const geometry = windowGeometry(x, id);
    assert.deepEqual([geometry.width, geometry.height], [1000, 768]);
    // The launcher groups the window with the installed entry: its WM class is the entry's
    // StartupWMClass (both the instance and the class part).
    const entry = readFileSync(resolve(tarnBinary, '../data/com.corvane.Tarn.desktop'), 'utf8');
    const wmClass = entry.match(/^StartupWMClass=(.+)$/m)[1];
    const exact = '^' + wmClass.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + '$';
    for (const option of ['--class', '--classname']) {
      const ids = xdotool(x, 'search', '--onlyvisible', option, exact).split('\n').filter(Boolean);
      assert.ok(ids.includes(String(id)), `the window's ${option} is ${wmClass}`);
    }
    await sleep(500);
    const shot = await waitFor('a painted page', () => {
      const s = screenshot(x, id, join(home.root, 'window.png'));
      return s.colours > 8 && s.deviation > 0.01 ? s : null;
    });
    assert.ok(shot.colours > 8, 'the screenshot has text on it');
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});

test('without a display tarn says so and serves its page headless', async () => {
  const home = makeHome();
  const env = { ...process.env, ...home.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const { spawn } = await import('node:child_process');
  const child = spawn(tarnBinary, [], { env });
  let out = '';
  let err = '';
  child.stdout.on('data', (d) => { out += d; });
  child.stderr.on('data', (d) => { err += d; });
  try {
    await waitFor('the headless address', () => out.includes('\n'));
    assert.match(out, /^http:\/\/127\.0\.0\.1:\d+\/index\.html\?token=[0-9A-Fa-f]{64}\n/);
    assert.match(err, /no display available; running headless/);
  } finally {
    child.kill('SIGTERM');
    await new Promise((r) => child.once('exit', r));
    home.cleanup();
  }
});

test('bridge, pushed events, hand-over, close button, exit and placement', async () => {
  const home = makeHome();
  const page = 'test/probe.html?foreign=' + site.port;
  const tarn = startTarn(x, home, { args: ['first.wav'], page });
  try {
    // The page reached the bridge from the window and started event delivery; the
    // process's own command line arrived as an event.
    await waitFor('the own command line', () => eventsOf(home).some((e) => e[1] === 'first.wav'));
    const report = probe(home);
    assert.match(report.ua, / corvane\.lattice\(Linux\)$/);
    assert.equal(report.origin, 'tarn://app');
    assert.equal(report.started, true);
    assert.equal(report.version, '1.5.0.0');
    const [id] = await waitFor('the window titled by the page', () => windowsNamed(x, 'Tarn probe').length && windowsNamed(x, 'Tarn probe'));

    // A second start hands its arguments over, in order, and ends.
    const second = await secondStart(home, ['a.wav', '-url', 'x:y']);
    assert.equal(second.code, 0);
    await waitFor('the handed-over events', () => eventsOf(home).length >= 3);
    assert.deepEqual(eventsOf(home), [['open', 'first.wav'], ['open', 'a.wav'], ['url', 'x:y']]);

    // Line breaks and the script line separators reach the page unchanged.
    const awkward = 'cr\rlf\nls\u2028ps\u2029quote\'"\\end';
    assert.equal((await secondStart(home, [awkward])).code, 0);
    await waitFor('the awkward event', () => eventsOf(home).length >= 4);
    assert.deepEqual(eventsOf(home)[3], ['open', awkward]);

    // A second start without arguments only activates the window.
    assert.equal((await secondStart(home, [])).code, 0);
    await sleep(300);
    assert.equal(eventsOf(home).length, 4);

    // The close button asks the page, and the window stays.
    closeButton(x, id);
    await waitFor('the exit command', () => eventsOf(home).some((e) => e[0] === 'exit'));
    assert.deepEqual(eventsOf(home)[4], ['exit', '']);
    await sleep(300);
    assert.ok(tarn.running(), 'the window stays after the close button');
    assert.equal(windowsNamed(x, 'Tarn probe').length, 1);

    // The user moves and resizes the window; $$app_exit closes it for real.
    const { execFileSync } = await import('node:child_process');
    execFileSync('xdotool', ['windowsize', id, '900', '700'], { env: { ...process.env, DISPLAY: x.display } });
    execFileSync('xdotool', ['windowmove', id, '50', '60'], { env: { ...process.env, DISPLAY: x.display } });
    await waitFor('the new geometry', () => {
      const g = windowGeometry(x, id);
      return g.x === 50 && g.y === 60 && g.width === 900 && g.height === 700;
    });
    await sleep(200);
    assert.equal((await secondStart(home, ['./please-exit'])).code, 0);
    const ended = await Promise.race([tarn.exited, sleep(15000).then(() => ({ code: 'hung' }))]);
    assert.equal(ended.code, 0, tarn.output());
    const placement = home.settings().applications.tarn;
    assert.deepEqual(placement, { x: 50, y: 60, width: 900, height: 700, maximized: 0 });

    // The next start restores it.
    const again = startTarn(x, home, { page });
    try {
      const [id2] = await waitFor('the restarted window', () => windowsNamed(x, 'Tarn probe').length && windowsNamed(x, 'Tarn probe'));
      await waitFor('the restored geometry', () => {
        const g = windowGeometry(x, id2);
        return g.x === 50 && g.y === 60 && g.width === 900 && g.height === 700;
      }, 5000);
    } finally {
      await again.stop();
    }
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});

test('resume from suspend reaches the page as the wakeup command', async () => {
  const home = makeHome();
  const system = await startSleepingSystem(home);
  const tarn = startTarn(x, home, { page: 'test/probe.html', env: system.env });
  try {
    await waitFor('the started page', () => probe(home)?.started);
    // The window subscribes once it is up: announce until the page has heard it.
    await waitFor('the wakeup command', () => {
      if (eventsOf(home).length) return true;
      system.sleepAndResume();
      return false;
    }, 30000, 500);
    for (const event of eventsOf(home)) assert.deepEqual(event, ['wakeup', 'PBT_APMRESUMESUSPEND']);
  } finally {
    await tarn.stop();
    await system.stop();
    home.cleanup();
  }
});

test('frames and pages of other origins reach neither the bridge nor permissions', async () => {
  const home = makeHome();
  site.reports.length = 0;
  const tarn = startTarn(x, home, { page: 'test/probe.html?foreign=' + site.port });
  try {
    const frame = await waitFor('the frame report', () => site.reports.find((r) => r.page === 'frame'));
    // (A no-cors request hides the answer from its sender: the stolen key tells.)
    for (const attempt of frame.bridge) assert.doesNotMatch(attempt, /answered:200/, attempt);
    assert.equal(home.pref('stolen'), null, 'the frame ran no bridge call');
    assert.equal(frame.message, 'posted');
    // The frame's text message arrives as an event; its non-text message does not.
    await waitFor('the frame message', () => probe(home)?.iframe.length);
    assert.deepEqual(probe(home).iframe, [['player', 'hello from frame']]);
    assert.notEqual(frame.permission, 'granted');
    // The application's own page is granted what it asks for.
    await waitFor('the page permission', () => probe(home)?.permission);
    assert.equal(probe(home).permission, 'granted');

    // The page itself navigated to another origin has no bridge and no permissions.
    assert.equal((await secondStart(home, ['./go-foreign'])).code, 0);
    const top = await waitFor('the foreign top page report', () => site.reports.find((r) => r.page === 'top'));
    for (const attempt of top.bridge) assert.doesNotMatch(attempt, /answered:200/, attempt);
    assert.equal(top.permission, 'denied');
    assert.equal(home.pref('stolen'), null, 'nothing of another origin ran a bridge call');
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});

test('files dragged from another program onto the page reach it through the host, once the page takes drops', async () => {
  const home = makeHome();
  const tarn = startTarn(x, home, { page: 'test/probe.html' });
  try {
    await waitFor('the started page', () => probe(home)?.started);
    const [id] = await waitFor('the window', () => windowsNamed(x, 'Tarn probe').length && windowsNamed(x, 'Tarn probe'));
    const g = windowGeometry(x, id);
    const files = [join(home.root, 'Verse one.wav'), join(home.root, 'Chorus #2.flac')];
    for (const file of files) writeFileSync(file, 'x');
    const target = [g.x + Math.round(g.width / 2), g.y + Math.round(g.height / 2)];

    // Before the page asks for drops the host collects nothing.
    await dragFiles(x, files, ...target);
    await waitFor('the first drop', () => probe(home)?.dropped);
    assert.deepEqual(probe(home).dropped, []);

    assert.equal((await secondStart(home, ['./dragdrop-on'])).code, 0);
    await waitFor('the hand-over', () => eventsOf(home).some((e) => e[1] === './dragdrop-on'));
    await dragFiles(x, files, ...target);
    await waitFor('the dropped paths', () => probe(home)?.dropped?.length);
    assert.deepEqual(probe(home).dropped, files);
    assert.ok(tarn.running(), 'a dropped local file never replaces the page');
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});

test('on a screen scaled to twice the pixels the page is drawn at that scale', async () => {
  const home = makeHome();
  const tarn = startTarn(x, home, { page: 'test/probe.html', env: { GDK_SCALE: '2' } });
  try {
    await waitFor('the started page', () => probe(home)?.started);
    assert.equal(probe(home).scale, 2);
    const [id] = await waitFor('the window', () => windowsNamed(x, 'Tarn probe').length && windowsNamed(x, 'Tarn probe'));
    await waitFor('a painted window', () => screenshot(x, id, join(home.root, 'scaled.png')).colours > 8);
  } finally {
    await tarn.stop();
    home.cleanup();
  }
});
