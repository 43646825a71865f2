// One backup format for the window and the command line: a backup made by `tarn backup` is
// restored by the window's Restore… onto a wiped looper byte for byte (and a damaged copy
// of it refused before anything is written); the window's Back up… writes the manifest
// `tarn backup` writes, and `tarn restore` takes it. One Tarn at a time: the command line
// runs only while the window is closed.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { appendFileSync, writeFileSync, readFileSync, readdirSync, rmSync, cpSync } from 'node:fs';
import { join } from 'node:path';
import { openTarn, waitFor, waitUsable } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, listTree, scratchFolder } from '../lib/looper.mjs';
import { cliHome, tarn, describe, canonicalJson, treeDigest } from '../lib/cli.mjs';

const TRACKS = [
  { memory: 1, track: 1, file: 'Intro.wav', seconds: 1 },
  { memory: 2, track: 2, file: 'Second Take.wav', seconds: 0.5 },
  { memory: 40, track: 1, file: 'LATE.WAV', seconds: 2 },
];

let volume, scratch, t, answers, home, original;
let skip = '';

function answer(line) { appendFileSync(answers, line + '\n'); }
function wipe() { for (const path of listTree(volume.wave)) rmSync(path); }

async function windowSeesNoTracks(page) {
  await waitFor(() => page.evaluate(() => Tarn.app.trackStore.table !== null &&
    Tarn.app.trackStore.snapshot().every((m) => m.every((c) => !c.fileName))), { what: 'the window to see the tracks gone' });
}

// Runs a toolbar job that asks for a folder; returns the message it ends with.
async function runJob(page, button, folder) {
  answer(folder);
  await page.click(button);
  await page.waitForSelector('#message-dialog', { timeout: 30000 });
  const text = await page.textContent('#message-dialog .dialog-body');
  await page.click('#message-dialog button');
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
  original = treeDigest(volume.wave);
  home = cliHome();
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  home?.cleanup();
  scratch?.cleanup();
});

test('a backup made by tarn backup is restored by the window; a damaged copy is refused and writes nothing', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const folder = join(scratch.folder, 'command backup');
  const made = await tarn(home, ['backup', folder]);
  assert.equal(made.code, 0, describe(made));
  t = await openTarn({
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { TARN_DIALOG_ANSWERS: answers, DBUS_SYSTEM_BUS_ADDRESS: 'unix:path=/nonexistent/tarn-flow/bus' },
  });
  const { page } = t;
  await waitUsable(page);
  wipe();
  await windowSeesNoTracks(page);
  assert.equal(await runJob(page, '#restore-button', folder), 'Restored 3 tracks.');
  assert.deepEqual(treeDigest(volume.wave), original, 'byte for byte');

  const damaged = join(scratch.folder, 'damaged');
  cpSync(folder, damaged, { recursive: true });
  const victim = join(damaged, 'tracks', '040_1', 'LATE.WAV');
  const bytes = readFileSync(victim);
  bytes[bytes.length - 7] ^= 0x01;
  writeFileSync(victim, bytes);
  wipe();
  await windowSeesNoTracks(page);
  const said = await runJob(page, '#restore-button', damaged);
  assert.match(said, /LATE\.WAV/, said);
  assert.deepEqual(listTree(volume.wave), [], 'nothing written');
  assert.deepEqual(t.errors, []);
});

test('the window\'s Back up… writes what tarn backup writes, and tarn restore takes it', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;
  const restored = await runJob(page, '#restore-button', join(scratch.folder, 'command backup'));
  assert.equal(restored, 'Restored 3 tracks.');
  const folder = join(scratch.folder, 'window backup');
  assert.equal(await runJob(page, '#backup-button', folder), `Backed up 3 tracks into ${folder}.`);
  await t.close();
  t = null;
  const strip = ({ created, ...rest }) => rest;
  assert.deepEqual(strip(manifestOf(folder)), strip(manifestOf(join(scratch.folder, 'command backup'))));
  assert.deepEqual(readdirSync(folder).sort(), ['manifest.json', 'tracks']);
  wipe();
  const back = await tarn(home, ['restore', folder]);
  assert.equal(back.code, 0, describe(back));
  assert.deepEqual(treeDigest(volume.wave), original, 'byte for byte');
});

test('the looper volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
