// Filling a looper from a folder: `tarn import --from-folder` of 20 four-minute mp3s onto
// a MIDI looper's FAT32 volume (looper-sim on a private JACK server), against, in the same
// run, the same conversions done by the ffmpeg command line (to the looper's format:
// 44.1 kHz stereo 32-bit float) one after another plus a plain cp of the results onto a
// fresh volume of the same kind. Both wall times include a final sync of the volume.
// Needs root; runs in a private mount namespace:
//   tests/e2e/support/private-mounts.sh node bench/cli_import_bench.mjs
// (TARN_BIN=... and LOOPER_SIM=... pick the binaries; BENCH_FILES and BENCH_SECONDS
// change the set, 20 and 240 by default.)
import { execFile, execFileSync, spawnSync } from 'node:child_process';
import { promisify } from 'node:util';
import { mkdirSync, readdirSync, statSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { volumesUnavailable, canRunMidi, mountVolume, startJack, startLooperSim, scratchFolder, readWav } = await import(join(e2e, 'looper.mjs'));
const { cliHome, tarn, describe } = await import(join(e2e, 'cli.mjs'));

const why = volumesUnavailable() || (canRunMidi() ? '' : 'looper-sim or jackd is missing');
if (why) { console.log('skipped: ' + why); process.exit(0); }

const FILES = Number(process.env.BENCH_FILES || 20);
const SECONDS = Number(process.env.BENCH_SECONDS || 240);
const FRAME = 8;
const execFileAsync = promisify(execFile);
// Room for the converted set and the FAT's own.
const SIZE_MIB = Math.ceil((FILES * SECONDS * 44100 * FRAME) / 1048576 * 1.15) + 300;

const scratch = scratchFolder();
const source = join(scratch.folder, 'set');
mkdirSync(source);
const names = Array.from({ length: FILES }, (_, i) => `${String(i + 1).padStart(2, '0')} Take.mp3`);
let made = Date.now();
// Two tones and some noise, so the encoder has something to do; two at a time.
const pending = [...names];
await Promise.all([0, 1].map(async () => {
  for (let name; (name = pending.shift());) {
    const i = names.indexOf(name);
    await execFileAsync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i',
        `aevalsrc=0.4*sin(2*PI*${220 + 20 * i}*t)+0.2*sin(2*PI*${331 + 7 * i}*t)+0.05*(random(0)-0.5)|0.4*sin(2*PI*${221 + 20 * i}*t)+0.05*(random(1)-0.5):s=44100:d=${SECONDS}`,
        '-c:a', 'libmp3lame', '-b:a', '192k', join(source, name)]);
  }
}));
made = Date.now() - made;
const sourceBytes = names.reduce((n, name) => n + statSync(join(source, name)).size, 0);

function syncVolume(volume) { execFileSync('sync', ['-f', volume.mount]); }

const jack = await startJack();
const sim = await startLooperSim(jack, 'EDDY DUO', '00000072');
const home = cliHome(jack.env);
let tarnMs, ffmpegMs, convertMs, copyMs, tarnBytes = 0, plainBytes = 0;
try {
  // Tarn.
  let volume = mountVolume('Eddy Duo', { size: SIZE_MIB });
  try {
    const start = Date.now();
    const result = await tarn(home, ['import', '--from-folder', source], { timeout: 3600 * 1000 });
    syncVolume(volume);
    tarnMs = Date.now() - start;
    if (result.code !== 0) throw new Error('tarn import failed: ' + describe(result));
    for (let i = 0; i < FILES; i++) {
      const folder = volume.track(Math.floor(i / 2) + 1, (i % 2) + 1);
      const [file] = readdirSync(folder);
      const wav = readWav(join(folder, file));
      if (wav.format !== 3 || wav.frames !== SECONDS * 44100) throw new Error(`${folder}/${file}: format ${wav.format}, ${wav.frames} frames`);
      tarnBytes += wav.fileSize;
    }
  } finally {
    const problem = volume.cleanup();
    if (problem) console.log('the volume check after tarn found: ' + problem);
  }

  // ffmpeg, then cp onto a fresh volume of the same kind.
  volume = mountVolume('Eddy Duo', { size: SIZE_MIB });
  try {
    const converted = join(scratch.folder, 'converted');
    mkdirSync(converted);
    const start = Date.now();
    for (const name of names) {
      execFileSync('ffmpeg', ['-v', 'error', '-y', '-i', join(source, name), '-ar', '44100', '-ac', '2', '-c:a', 'pcm_f32le',
        join(converted, name.replace(/\.mp3$/, '.wav'))]);
    }
    convertMs = Date.now() - start;
    names.forEach((name, i) => {
      const copied = spawnSync('cp', [join(converted, name.replace(/\.mp3$/, '.wav')), volume.track(Math.floor(i / 2) + 1, (i % 2) + 1) + '/']);
      if (copied.status !== 0) throw new Error('cp failed: ' + copied.stderr);
    });
    syncVolume(volume);
    ffmpegMs = Date.now() - start;
    copyMs = ffmpegMs - convertMs;
    for (const name of readdirSync(converted)) plainBytes += statSync(join(converted, name)).size;
  } finally {
    const problem = volume.cleanup();
    if (problem) console.log('the volume check after cp found: ' + problem);
  }
} finally {
  await sim.stop();
  await jack.stop();
  home.cleanup();
  scratch.cleanup();
}

const mib = (b) => (b / 1048576).toFixed(0);
console.log(`tarn import --from-folder, ${FILES} x ${SECONDS} s mp3 (${mib(sourceBytes)} MiB) onto a FAT32 looper volume ` +
  `(${mib(tarnBytes)} MiB of 32-bit float WAV): ${(tarnMs / 1000).toFixed(1)} s wall`);
console.log(`ffmpeg command line, one file after another, then cp onto a fresh volume (${mib(plainBytes)} MiB): ` +
  `${(ffmpegMs / 1000).toFixed(1)} s wall (convert ${(convertMs / 1000).toFixed(1)} s, cp + sync ${(copyMs / 1000).toFixed(1)} s)`);
console.log(`tarn / (ffmpeg + cp): ${(tarnMs / ffmpegMs).toFixed(2)}`);
console.log(`  (making the test mp3s took ${(made / 1000).toFixed(1)} s; the volume is ${process.env.LOOPER_VOLUME_FS || 'fat32'}, ` +
  `${SIZE_MIB} MiB)`);
