// The window's Back up… and Restore…: a looper backed up into a folder with its manifest,
// wiped, and restored byte for byte; a damaged backup refused before anything is written;
// and the window's backup is the command line's: `tarn restore` takes it, and `tarn backup`
// writes the same manifest.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readFileSync, readdirSync, rmSync, cpSync, existsSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, waitFor, waitUsable } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, listTree, scratchFolder } from '../lib/looper.mjs';
import { cliHome, tarn, describe, canonicalJson, treeDigest, md5 } from '../lib/cli.mjs';

const TRACKS = [
  { memory: 1, track: 1, file: 'Intro.wav', seconds: 1 },
  { memory: 2, track: 2, file: 'Second Take.wav', seconds: 0.5 },
  { memory: 40, track: 1, file: 'LATE.WAV', seconds: 2 },
];

let volume, scratch, t, answers;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }
function wipe() { for (const path of listTree(volume.wave)) rmSync(path); }

// Runs a toolbar job that asks for a folder and returns the text it ends with.
async function runJob(page, button, folder) {
  answer(folder);
  await page.click(button);
  const end = await waitFor(async () => (await page.$('#message-dialog')) || (await page.$('#done-note')),
    { timeout: 30000, what: 'the job to end with a message' });
  const text = (await end.textContent()).trim();
  if (await page.$('#message-dialog button')) await page.click('#message-dialog button');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  return text;
}

function manifestOf(folder) {
  const text = readFileSync(join(folder, 'manifest.json'), 'utf8').replace(/\n$/, '');
  const manifest = JSON.parse(text);
  assert.equal(canonicalJson(manifest), text, 'sorted, compact JSON');
  return manifest;
}

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  answers = join(scratch.folder, 'answers.txt');
  writeFileSync(answers, '');
  volume = mountVolume('Pool Duo');
  for (const x of TRACKS) {
    writeFileSync(join(volume.track(x.memory, x.track), x.file), readFileSync(makeAudio(join(scratch.folder, x.file), x.seconds)));
  }
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { TARN_DIALOG_ANSWERS: answers, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/bus' },
  });
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

test('Back up… writes every track and the manifest; Restore… puts a wiped looper back byte for byte', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  await waitUsable(page);
  assert.equal(await page.isEnabled('#backup-button'), true);
  assert.equal(await page.isEnabled('#restore-button'), true);
  const folder = join(scratch.folder, 'window backup');
  const started = Date.now();
  await runJob(page, '#backup-button', folder);
  const manifest = manifestOf(folder);
  assert.deepEqual([manifest.format, manifest.model, manifest.volumeName, manifest.layout], [1, 'Pool Duo', 'POOL_DUO', { memories: 99, tracks: 2 }]);
  const created = Date.parse(manifest.created);
  assert.ok(created >= started - 2000 && created <= Date.now() + 2000, manifest.created);
  assert.deepEqual(manifest.tracks, TRACKS.map((x) => {
    const source = join(volume.track(x.memory, x.track), x.file);
    const path = `tracks/${String(x.memory).padStart(3, '0')}_${x.track}/${x.file}`;
    return { file: x.file, md5: md5(source), memory: x.memory, path, size: statSync(source).size, track: x.track };
  }));
  const original = treeDigest(volume.wave);
  assert.deepEqual(treeDigest(join(folder, 'tracks')), original);

  wipe();
  const said = await runJob(page, '#restore-button', folder);
  assert.match(said, /3/, 'it says how many tracks it restored: ' + said);
  assert.deepEqual(treeDigest(volume.wave), original);
});

test('Restore… of a backup with a damaged file names it and writes nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const damaged = join(scratch.folder, 'damaged');
  cpSync(join(scratch.folder, 'window backup'), damaged, { recursive: true });
  const victim = join(damaged, 'tracks', '040_1', 'LATE.WAV');
  const bytes = readFileSync(victim);
  bytes[bytes.length - 7] ^= 0x01;
  writeFileSync(victim, bytes);
  wipe();
  const said = await runJob(page, '#restore-button', damaged);
  assert.match(said, /LATE\.WAV/, said);
  assert.deepEqual(listTree(volume.wave), []);
  assert.deepEqual(t.errors, []);
});

test('the window\'s backup is the command line\'s: tarn restore takes it, tarn backup writes the same manifest', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  // One Tarn at a time: the window goes first.
  await t.close();
  t = null;
  const home = cliHome();
  try {
    const folder = join(scratch.folder, 'window backup');
    const restored = await tarn(home, ['restore', folder]);
    assert.equal(restored.code, 0, describe(restored));
    assert.deepEqual(treeDigest(volume.wave), treeDigest(join(folder, 'tracks')));
    const again = join(scratch.folder, 'command backup');
    const backedUp = await tarn(home, ['backup', again]);
    assert.equal(backedUp.code, 0, describe(backedUp));
    const strip = ({ created, ...rest }) => rest;
    assert.deepEqual(strip(manifestOf(again)), strip(manifestOf(folder)));
    assert.equal(existsSync(join(again, 'tracks')), true);
    assert.deepEqual(readdirSync(again).sort(), ['manifest.json', 'tracks']);
  } finally {
    home.cleanup();
  }
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
