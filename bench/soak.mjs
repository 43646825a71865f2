// Soak: Tarn's processes stay flat over many jobs. Two phases on a Pool Duo FAT32 volume:
//  1. cycles of `tarn import`, `tarn export` and `tarn rm` on one track; each run's peak
//     resident memory, descriptors and threads are sampled while it runs, and after the
//     last cycle the volume holds nothing of Tarn's and passes fsck;
//  2. a headless host with its page open in Chromium and the looper plugged in, while the
//     volume is changed from outside every few seconds: the host's resident memory,
//     descriptors and threads after warm-up and at the end.
// Prints the start and end figures of both and fails when they grow. Needs root; runs in
// a private mount namespace:
//   tests/e2e/support/private-mounts.sh node bench/soak.mjs
// SOAK_CYCLES (default 10) and SOAK_SECONDS (default 60) make the long form:
// SOAK_CYCLES=3000 SOAK_SECONDS=7200 for a release check.
import { existsSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const e2e = resolve(here, '../tests/e2e/lib');
const { volumesUnavailable, mountVolume, makeAudio, scratchFolder } = await import(join(e2e, 'looper.mjs'));
const { cliHome, startCommand, describe } = await import(join(e2e, 'cli.mjs'));
const { openTarn } = await import(join(e2e, 'page.mjs'));

const why = volumesUnavailable();
if (why) { console.log('skipped: ' + why); process.exit(0); }

const CYCLES = Number(process.env.SOAK_CYCLES || 10);
const SECONDS = Number(process.env.SOAK_SECONDS || 60);
const WARM_UP = 3;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// {rss (kB), fds, threads} of a process now, or null once it is gone.
function figures(pid) {
  try {
    const status = readFileSync(`/proc/${pid}/status`, 'utf8');
    const field = (name) => Number((status.match(new RegExp(`^${name}:\\s+(\\d+)`, 'm')) || [])[1] || 0);
    return { rss: field('VmRSS'), threads: field('Threads'), fds: readdirSync(`/proc/${pid}/fd`).length };
  } catch (e) {
    return null;
  }
}

function peak(a, b) {
  if (!a) return b;
  if (!b) return a;
  return { rss: Math.max(a.rss, b.rss), threads: Math.max(a.threads, b.threads), fds: Math.max(a.fds, b.fds) };
}

const show = (f) => `${(f.rss / 1024).toFixed(1)} MB resident, ${f.fds} descriptors, ${f.threads} threads`;
const failures = [];
function flat(what, start, end) {
  console.log(`${what}: start ${show(start)}; end ${show(end)}`);
  if (end.fds > start.fds + 2) failures.push(`${what}: descriptors grew from ${start.fds} to ${end.fds}`);
  if (end.threads > start.threads + 2) failures.push(`${what}: threads grew from ${start.threads} to ${end.threads}`);
  if (end.rss > start.rss * 1.25 + 8192) failures.push(`${what}: resident memory grew from ${start.rss} kB to ${end.rss} kB`);
}

// One command run to its end, sampled while it runs; its peak figures.
async function sampled(home, args) {
  const run = startCommand(home, args, { input: '' });
  let top = null;
  let over = false;
  run.done.then(() => { over = true; });
  while (!over) {
    top = peak(top, figures(run.child.pid));
    await sleep(20);
  }
  const result = await run.done;
  if (result.code !== 0) throw new Error(`tarn ${args.join(' ')}: ${describe(result)}`);
  return top;
}

const scratch = scratchFolder();
const volume = mountVolume('Pool Duo');
try {
  const source = makeAudio(join(scratch.folder, 'loop.wav'), 20);
  const home = cliHome();
  const exported = join(scratch.folder, 'out.wav');
  let first = null;
  let last = null;
  const began = Date.now();
  for (let cycle = 1; cycle <= CYCLES; cycle++) {
    let top = await sampled(home, ['import', source, '1/1']);
    rmSync(exported, { force: true });
    top = peak(top, await sampled(home, ['export', '1/1', exported]));
    top = peak(top, await sampled(home, ['rm', '1/1', '--yes']));
    if (cycle === Math.min(WARM_UP, CYCLES)) first = top;
    last = top;
  }
  console.log(`command line: ${CYCLES} cycles of import, export and rm in ${((Date.now() - began) / 1000).toFixed(0)} s`);
  flat('command line (peak of a cycle)', first, last);
  const left = readdirSync(volume.track(1, 1));
  if (left.length) failures.push('the track folder still holds ' + left.join(', '));
  home.cleanup();

  // The host with a looper plugged in, its volume changed from outside now and then.
  const app = await openTarn();
  try {
    await sleep(5000);
    const pid = app.tarn.child.pid;
    const start = figures(pid);
    const end = Date.now() + SECONDS * 1000;
    const touched = join(volume.track(2, 2), 'touched.wav');
    for (let i = 0; Date.now() < end; i++) {
      if (i % 2 === 0) writeFileSync(touched, readFileSync(source)); else rmSync(touched, { force: true });
      await sleep(3000);
    }
    rmSync(touched, { force: true });
    await sleep(3000);
    flat(`headless host (${SECONDS} s)`, start, figures(pid));
    if (app.errors.length) failures.push('page errors: ' + app.errors.join('; '));
  } finally {
    await app.close();
  }
} finally {
  const report = volume.cleanup();
  if (report) failures.push('fsck: ' + report);
  scratch.cleanup();
}
if (failures.length) {
  console.log('FAILED:\n' + failures.join('\n'));
  process.exit(1);
}
console.log('flat');
