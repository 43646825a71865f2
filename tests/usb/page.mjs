// The page on a looper on the USB bus: `tarn --headless` in the rig's VM (MIDI over the
// kernel's USB-MIDI driver and ALSA, the volume mounted by udisks2), driven from this
// machine by headless Chromium through the one port the rig forwards to 127.0.0.1.
// One boot: plug-in to usable, import, export, delete, Disconnect (UDisks2 unmounts the
// volume and ejects its media: the looper keeps its MIDI ports), re-plug, Exit. The VM's side is tests/usb/vm/page.sh; the two talk
// through the rig's output folder, which keeps every log (and a screenshot on failure).
//
//   node tests/usb/page.mjs CACHE OUT        (TARN_BUILD: the build tree; needs root)
//
// With PLUG_ROUNDS=N it only plugs in and pulls out N times and prints how long each
// plug-in (the request to bind the gadget) took to reach a usable looper in the page
// (bench/usb_plug_bench.sh).
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';
import { existsSync, mkdirSync, readFileSync, rmSync, writeFileSync, renameSync, appendFileSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import assert from 'node:assert/strict';
import { launchBrowser, waitFor } from '../e2e/lib/tarn.mjs';
import { selectTrack } from '../e2e/lib/page.mjs';
import { makeAudio, readWav } from '../e2e/lib/looper.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const [cache, out] = process.argv.slice(2).map((p) => resolve(p));
const rounds = Number(process.env.PLUG_ROUNDS || 0);
// Generous bounds: the VM runs under software emulation on a shared machine.
const SLOW = 300000;

const log = (...a) => console.log(`[${new Date().toISOString().slice(11, 19)}]`, ...a);

function freePort() {
  return new Promise((ok, no) => {
    const server = createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => ok(port));
    }).on('error', no);
  });
}

// The VM: rig.sh with the forwarded port, in a process group of its own.
function boot(port) {
  const rig = spawn(join(here, 'rig.sh'), ['run', cache, out, '--forward', String(port), '--timeout', '1500', '--',
    join(here, 'vm/page.sh'), String(port)], { stdio: ['ignore', 'pipe', 'pipe'], detached: true });
  let text = '';
  rig.stdout.on('data', (d) => { text += d; });
  rig.stderr.on('data', (d) => { text += d; });
  const ended = new Promise((r) => rig.on('exit', (code) => r(code)));
  let running = true;
  ended.then(() => { running = false; });
  return { ended, output: () => text, running: () => running, kill: () => { try { process.kill(-rig.pid, 'SIGTERM'); } catch { /* gone */ } } };
}

let vm;
let requests = 0;
// Asks the VM's script for something (plug, unplug, replug, ejected) and waits for its answer.
async function ask(what) {
  const n = ++requests;
  writeFileSync(join(out, `req.${n}.part`), what);
  renameSync(join(out, `req.${n}.part`), join(out, `req.${n}`));
  const file = join(out, `ans.${n}`);
  await waitFor(() => existsSync(file) || !vm.running(), { timeout: SLOW, interval: 100, what: `the VM's answer to ${what}` });
  assert.ok(existsSync(file), `the VM ended before it answered ${what}`);
  const [status, ...lines] = readFileSync(file, 'utf8').split('\n');
  log(`vm ${what}: status ${status}`, lines.join(' | '));
  return { status: Number(status), text: lines.join('\n') };
}

const usable = (page, want) => waitFor(
  () => page.evaluate((w) => document.getElementById('device-status')?.dataset.usable === w, want ? '1' : '0'),
  { timeout: SLOW, interval: 100, what: want ? 'the looper to become usable' : 'the looper to go' });
const trackCells = (page) => page.locator('#track-grid [role="gridcell"]').count();
// Waits until done() or an error dialog; an error fails with its text.
async function finished(page, what, done) {
  await waitFor(async () => (await page.$('#message-dialog')) || (await done()), { timeout: SLOW, interval: 100, what });
  const dialog = await page.$('#message-dialog');
  if (dialog) throw new Error(`${what}: ${await dialog.textContent()}`);
}
const idle = async (page) => !(await page.$('#progress-dialog'));

// Plugs the looper in; resolves with how long (from the request to bind the gadget) the
// page took to call it usable and to show its tracks (99 memories of 2 in the grid).
async function plugIn(page) {
  const start = Date.now();
  const plugged = ask('plug');
  await usable(page, true);
  const usableAfter = Date.now() - start;
  await waitFor(async () => (await trackCells(page)) >= 99 * 2, { timeout: SLOW, interval: 100, what: 'the looper\'s tracks in the grid' });
  const gridAfter = Date.now() - start;
  assert.equal((await plugged).status, 0, 'the plug');
  return { usableAfter, gridAfter };
}

async function flow(page) {
  const took = await plugIn(page);
  log(`figure: plug-in (request to bind the gadget) to usable in the page: ${took.usableAfter} ms, its tracks in the grid: ${took.gridAfter} ms`);
  assert.match(await page.textContent('#device-status'), /Eddy Duo/);

  log('import into memory 3, track 1');
  const answers = join(out, 'answers.txt');
  const source = makeAudio(join(out, 'Groove.wav'), 2);
  appendFileSync(answers, '/rig-out/Groove.wav\n');
  await page.click('#import-button');
  await page.waitForSelector('#import-dialog', { timeout: SLOW });
  await selectTrack(page, 2, 1);
  await page.click('#import-dialog #main-button');
  const cell = page.locator('#track-grid [role="gridcell"][data-memory="2"][data-track="0"]');
  await finished(page, 'the import', async () => await idle(page) && /Groove/.test(await cell.getAttribute('aria-label')));

  log('export it');
  appendFileSync(answers, '/rig-out/exported.wav\n');
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog', { timeout: SLOW });
  await selectTrack(page, 2, 1);
  await page.click('#export-dialog #main-button');
  await finished(page, 'the export', async () => await idle(page) && existsSync(join(out, 'exported.wav')));
  const exported = readWav(join(out, 'exported.wav'));
  assert.equal(exported.dataOffset + exported.dataSize, exported.fileSize, 'the export is whole');
  assert.equal(exported.frames, readWav(source).frames, 'the export has every frame');

  log('delete it');
  await page.click('#export-button');
  await page.waitForSelector('#export-dialog', { timeout: SLOW });
  await selectTrack(page, 2, 1);
  await page.click('#delete-button');
  await page.waitForSelector('#confirm-dialog', { timeout: SLOW });
  assert.equal(await page.textContent('#confirm-dialog .delete-list'), 'Memory 3, Track 1: Groove.wav');
  await page.click('#confirm-dialog button.primary');
  await page.waitForSelector('#deleted-note #undo-button', { timeout: SLOW });
  await page.click('#export-dialog #cancel-button');
  await waitFor(async () => !/Groove/.test(await cell.getAttribute('aria-label')), { timeout: SLOW, what: 'the track to leave the grid' });

  log('Disconnect');
  await page.click('#disconnect-button');
  await page.click('#confirm-dialog button.primary');
  // Powered off, the looper leaves the bus with its MIDI ports: the page says it is safe
  // to unplug, then that none is connected.
  const status = () => page.textContent('#device-status');
  await finished(page, 'Disconnect', async () => /Safe to unplug|No looper connected/.test(await status()));
  log(`the page says "${await status()}"`);
  const ejected = await ask('ejected');
  assert.equal(ejected.status, 0, 'after Disconnect: ' + ejected.text);

  log('re-plug, then Exit');
  const again = await ask('replug');
  assert.equal(again.status, 0, 're-plug: ' + again.text);
  await usable(page, true);
  await page.evaluate(() => $native.app.event.command('exit', ''));
}

async function bench(page) {
  for (let i = 0; i < rounds; i++) {
    const took = await plugIn(page);
    console.log(`page ${took.usableAfter} ${took.gridAfter}`);
    assert.equal((await ask('unplug')).status, 0, 'the unplug');
    await usable(page, false);
  }
  await page.evaluate(() => $native.app.event.command('exit', ''));
}

async function main() {
  rmSync(out, { recursive: true, force: true });
  mkdirSync(out, { recursive: true });
  writeFileSync(join(out, 'answers.txt'), '');
  const port = await freePort();
  log(`booting the VM, the page on 127.0.0.1:${port}`);
  vm = boot(port);
  let browser;
  let failed = null;
  try {
    await waitFor(() => existsSync(join(out, 'address')) || !vm.running(), { timeout: 600000, interval: 200, what: 'the host\'s address' });
    assert.ok(existsSync(join(out, 'address')), 'the VM ended before the host served its page');
    const address = readFileSync(join(out, 'address'), 'utf8').trim();
    log('the host is up; the page opens');
    browser = await launchBrowser();
    const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
    page.setDefaultTimeout(SLOW);
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    try {
      await page.goto(address, { timeout: SLOW });
      await page.click('#agree-button');
      await (rounds ? bench(page) : flow(page));
      assert.deepEqual(errors, [], 'the page threw');
    } catch (e) {
      await page.screenshot({ path: join(out, 'failure.png') }).catch(() => {});
      throw e;
    }
  } catch (e) {
    failed = e;
    writeFileSync(join(out, 'abort'), '');
  }
  // The VM ends once Tarn has (or on abort), and checks that the looper left edit mode.
  // The tab stays open meanwhile: Exit is the page's to finish.
  let timer;
  const code = await Promise.race([vm.ended, new Promise((r) => { timer = setTimeout(() => r('timeout'), SLOW); })]);
  clearTimeout(timer);
  if (code === 'timeout') vm.kill();
  await browser?.close().catch(() => {});
  console.log(vm.output());
  if (failed) {
    console.log(`FAIL (the logs are in ${out}):`, failed.stack || failed);
    process.exit(1);
  }
  if (code !== 0) {
    console.log(`FAIL: the VM's checks (status ${code}; the logs are in ${out})`);
    process.exit(1);
  }
  console.log('=== the page flow passed');
}

main();
