// Backing up a full looper: `tarn backup` of an Eddy Duo whose 198 tracks all hold a take,
// against, in the same run, `cp -r` of the same track folders plus `md5sum` of the same
// files (what a careful person would do by hand). Both end with a sync of the copy; they
// take turns, best of BENCH_RUNS each. Needs root; runs in a private mount namespace:
//   tests/e2e/support/private-mounts.sh node bench/backup_bench.mjs
// (TARN_BIN=... and LOOPER_SIM=... pick the binaries; BENCH_SECONDS is each take's length,
// 2 s by default; BENCH_RUNS 2.)
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, scratchFolder } = await import(join(e2e, 'looper.mjs'));
const { cliHome, tarn, describe } = await import(join(e2e, 'cli.mjs'));

const why = volumesUnavailable() || (canRunMidi() ? '' : 'looper-sim or jackd is missing');
if (why) { console.log('skipped: ' + why); process.exit(0); }

const SECONDS = Number(process.env.BENCH_SECONDS || 2);
const RUNS = Number(process.env.BENCH_RUNS || 2);
const MEMORIES = 99;
const TRACKS = 2;
const takeBytes = SECONDS * 44100 * 8;
const SIZE_MIB = Math.ceil((MEMORIES * TRACKS * takeBytes) / 1048576 * 1.2) + 64;

const scratch = scratchFolder();
const take = join(scratch.folder, 'take.wav');
execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `sine=frequency=330:sample_rate=44100:duration=${SECONDS}`,
  '-ac', '2', '-c:a', 'pcm_f32le', take]);

const jack = await startJack();
const sim = await startLooperSim(jack, 'EDDY DUO', '00000072');
const home = cliHome(jack.env);
const volume = mountVolume('Eddy Duo', { size: SIZE_MIB });
let bytes = 0;
const tarnTimes = [];
const plainTimes = [];
try {
  const takeData = readFileSync(take);
  for (let memory = 1; memory <= MEMORIES; memory++) {
    for (let track = 1; track <= TRACKS; track++) {
      writeFileSync(join(volume.track(memory, track), `Take ${memory}-${track}.wav`), takeData);
      bytes += takeData.length;
    }
  }
  execFileSync('sync', ['-f', volume.mount]);
  const timed = (fn) => { const start = process.hrtime.bigint(); fn(); return Number(process.hrtime.bigint() - start) / 1e6; };
  for (let run = 0; run < RUNS; run++) {
    const backup = join(scratch.folder, `backup-${run}`);
    const start = process.hrtime.bigint();
    const result = await tarn(home, ['backup', backup], { timeout: 3600 * 1000 });
    execFileSync('sync', ['-f', scratch.folder]);
    tarnTimes.push(Number(process.hrtime.bigint() - start) / 1e6);
    if (result.code !== 0) throw new Error('tarn backup failed: ' + describe(result));
    rmSync(backup, { recursive: true, force: true });

    const copy = join(scratch.folder, `copy-${run}`);
    plainTimes.push(timed(() => {
      execFileSync('cp', ['-r', volume.wave, copy]);
      execFileSync('sh', ['-c', 'find "$1" -type f -exec md5sum {} + >/dev/null', 'sh', volume.wave]);
      execFileSync('sync', ['-f', scratch.folder]);
    }));
    if (readdirSync(copy).length !== MEMORIES * TRACKS) throw new Error('cp copied ' + readdirSync(copy).length + ' folders');
    rmSync(copy, { recursive: true, force: true });
  }
} finally {
  const problem = volume.cleanup();
  if (problem) console.log('the volume check found: ' + problem);
  await sim.stop();
  await jack.stop();
  home.cleanup();
  scratch.cleanup();
}

const best = (times) => Math.min(...times);
const mib = bytes / 1048576;
console.log(`tarn backup of a full Eddy Duo (${MEMORIES * TRACKS} takes of ${SECONDS} s, ${mib.toFixed(0)} MiB): ` +
  `${(best(tarnTimes) / 1000).toFixed(2)} s, ${(mib / (best(tarnTimes) / 1000)).toFixed(1)} MiB/s`);
console.log(`cp -r and md5sum of the same files: ${(best(plainTimes) / 1000).toFixed(2)} s, ` +
  `${(mib / (best(plainTimes) / 1000)).toFixed(1)} MiB/s`);
console.log(`tarn speed / (cp + md5sum) speed: ${(best(plainTimes) / best(tarnTimes)).toFixed(2)}`);
console.log(`  (all runs: tarn ${tarnTimes.map((t) => (t / 1000).toFixed(2)).join(' ')} s; ` +
  `cp + md5sum ${plainTimes.map((t) => (t / 1000).toFixed(2)).join(' ')} s; the volume is ${process.env.LOOPER_VOLUME_FS || 'fat32'})`);
