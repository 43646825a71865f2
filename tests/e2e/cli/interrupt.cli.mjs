// The command line never leaves a looper half-done: one found in edit mode is taken over
// only when asked, a second Tarn (a headless host or another command) is refused while
// one holds the looper, and Ctrl+C during an import removes the partial track and leaves
// edit mode.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync } from 'node:fs';
import { join } from 'node:path';
import { makeAudio, listTree } from '../lib/looper.mjs';
import { tarn, startCommand, describe, jsonOutput, editModeWrites, startCliRig } from '../lib/cli.mjs';
import { startTarn, waitFor } from '../lib/tarn.mjs';

const MODEL = { name: 'Eddy Duo', port: 'EDDY DUO', id: '00000072' };
const LOCKED = 'tarn: Tarn is already running (a window or another tarn command); close it first.';

let rig, jack, sim, volume, scratch, home, ok, fails, longSource;
let skip = '';

before(async () => {
  // Left in edit mode by a run that died.
  rig = await startCliRig(MODEL, ['--edit-mode', '1']);
  ({ skip, jack, sim, volume, scratch, home, ok, fails } = rig);
  if (skip) return;
  // Long enough that the conversion still runs when the signal comes, however fast the machine.
  longSource = makeAudio(join(scratch.folder, 'Long Set.mp3'), 600, { codec: ['-b:a', '96k'] });
});

after(async () => {
  await rig?.stop();
});

test('a looper found in edit mode is refused without --take-over and taken over with it', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const devices = jsonOutput(await tarn(home, ['devices', '--json']));
  assert.equal(devices[0]?.editMode, 1, 'devices shows the edit mode it found');
  const refused = await tarn(home, ['ls']);
  assert.equal(refused.code, 1, describe(refused));
  assert.match(refused.stderr, /^tarn: .*edit mode/m);
  assert.deepEqual(editModeWrites(sim), [], 'nothing written to a looper another program may be driving');
  assert.equal(sim.modes().at(-1) ?? 1, 1);
  const taken = await tarn(home, ['ls', '--json', '--take-over']);
  assert.equal(taken.code, 0, describe(taken));
  assert.equal(jsonOutput(taken).length, 198);
  assert.equal(editModeWrites(sim).at(-1), 0, 'edit mode left at the end');
  assert.equal(sim.modes().at(-1), 0);
});

test('while a headless Tarn runs, every command is refused with a clear message', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const host = await startTarn({ home: { ...home, cleanup() {} }, env: home.env });
  try {
    for (const args of [['devices'], ['ls', '--json'], ['import', longSource, '1/1']]) {
      const result = await tarn(home, args);
      assert.equal(result.code, 1, `tarn ${args.join(' ')}: ${describe(result)}`);
      assert.equal(result.stderr.trim(), LOCKED);
      assert.equal(result.stdout, '');
    }
  } finally {
    await host.stop();
  }
  assert.deepEqual(listTree(volume.wave), []);
  // Free again once it is gone.
  await ok(['devices']);
});

test('Ctrl+C during an import cancels it: nothing on the volume, edit mode 0, ended by SIGINT; a second command meanwhile is refused', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const writes = editModeWrites(sim).length;
  const run = startCommand(home, ['import', longSource, '4/2']);
  await waitFor(() => sim.modes().at(-1) === 1 || run.child.exitCode !== null, { timeout: 20000, what: 'edit mode on' });
  assert.equal(run.child.exitCode, null, 'the import is still running: ' + run.stderr());
  // The lock is held while a command runs.
  const second = await tarn(home, ['ls']);
  assert.equal(second.code, 1, describe(second));
  assert.equal(second.stderr.trim(), LOCKED);
  assert.equal(run.child.exitCode, null, 'the import is still running');
  run.child.kill('SIGINT');
  const result = await run.done;
  assert.equal(result.signal, 'SIGINT', 'ended by the signal, as a cleaned-up Unix program does: ' + describe(result));
  assert.match(result.stderr, /^Cancelled\.$/m);
  assert.equal(result.stdout, '');
  assert.deepEqual(readdirSync(volume.track(4, 2)), [], 'no partial track');
  assert.deepEqual(listTree(volume.wave), [], 'nothing anywhere on the volume');
  assert.deepEqual(readdirSync(home.env.TMPDIR).filter((n) => /\.wav$/i.test(n)), [], 'no temporaries left');
  assert.deepEqual(editModeWrites(sim).slice(writes), [1, 0], 'edit mode on, then off');
  await waitFor(() => sim.modes().at(-1) === 0, { timeout: 5000, what: 'edit mode 0' });
  // And the next command runs.
  await fails(['export', '4/2', join(scratch.folder, 'none.wav')], 1);
});

test('the volume is left with a clean filesystem', (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  assert.equal(volume.cleanup(), '');
});
