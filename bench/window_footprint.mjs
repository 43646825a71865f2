// The window's start and footprint under Xvfb with the real page: time from process start
// until the page shows on screen (bench/paint_probe watches the screen for more than a few
// colours), and after ten seconds idle the proportional set size (PSS) of every process of
// the window (tarn and the engine's web and network processes), from /proc/PID/smaps_rollup.
//   node bench/window_footprint.mjs [starts]
// Needs build/tarn (TARN_BIN=... picks another), build/tests/paint_probe (PAINT_PROBE=...;
// cmake --build build --target paint_probe) and Xvfb.
import { spawn } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { startXvfb, makeHome, startTarn, sleep } from '../tests/shell/lib/xsession.mjs';

const probeBinary = process.env.PAINT_PROBE ||
  resolve(dirname(fileURLToPath(import.meta.url)), '../build/tests/paint_probe');
const starts = Number(process.argv[2] || 3);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Starts the probe on the display; resolves once it knows the blank screen. painted()
// resolves with the monotonic time (ms) of the first painted page, or NaN.
function startProbe(display) {
  const child = spawn(probeBinary, ['60'], { env: { ...process.env, DISPLAY: display }, stdio: ['ignore', 'pipe', 'inherit'] });
  let text = '';
  let onReady;
  const ready = new Promise((r) => { onReady = r; });
  const painted = new Promise((r) => {
    child.stdout.on('data', (d) => {
      text += d;
      if (text.includes('ready')) onReady();
      const match = /painted ([0-9.]+)/.exec(text);
      if (match) r(Number(match[1]));
    });
    child.on('exit', () => { onReady(); r(NaN); });
  });
  return { ready, painted };
}

// CLOCK_MONOTONIC in ms, the probe's clock.
const monotonicMs = () => Number(process.hrtime.bigint()) / 1e6;

// The process and every descendant, with their names.
function processTree(root) {
  const parents = new Map();
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      parents.set(Number(entry), { parent: Number(fields[1]), name: stat.slice(stat.indexOf('(') + 1, stat.lastIndexOf(')')) });
    } catch { /* gone meanwhile */ }
  }
  const tree = [{ pid: root, name: parents.get(root)?.name || 'tarn' }];
  for (let i = 0; i < tree.length; i++)
    for (const [pid, p] of parents) if (p.parent === tree[i].pid) tree.push({ pid, name: p.name });
  return tree;
}

function pssMB(pid) {
  try {
    const match = /^Pss:\s+(\d+) kB/m.exec(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'));
    return match ? Number(match[1]) / 1024 : 0;
  } catch {
    return 0;
  }
}

const kinds = [['tarn', (name, i) => i === 0], ['WebKitWebProcess', (name) => name.startsWith('WebKitWebProces')],
  ['WebKitNetworkProcess', (name) => name.startsWith('WebKitNetworkPr')]];
const x = await startXvfb();
const painted = [];
const totals = [];
const byKind = Object.fromEntries(kinds.map(([kind]) => [kind, []]));
let lastBreakdown = '';
try {
  for (let i = 0; i < starts; i++) {
    const home = makeHome();
    const probe = startProbe(x.display);
    await probe.ready;
    const t0 = monotonicMs();
    const tarn = startTarn(x, home);
    painted.push(Math.round((await probe.painted) - t0));
    await sleep(10000);
    const tree = processTree(tarn.child.pid).map((p) => ({ ...p, pss: pssMB(p.pid) })).filter((p) => p.pss > 0);
    totals.push(tree.reduce((sum, p) => sum + p.pss, 0));
    for (const [kind, matches] of kinds)
      byKind[kind].push(tree.filter((p, index) => matches(p.name, index)).reduce((sum, p) => sum + p.pss, 0));
    lastBreakdown = tree.map((p) => `${p.name} ${p.pss.toFixed(1)}`).join(', ');
    await tarn.stop();
    await tarn.exited;
    home.cleanup();
  }
} finally {
  await x.stop();
}
console.log(`window start to page painted (Xvfb, ${starts} starts, each in a fresh home): painted: median ${median(painted)} ms ` +
            `(all: ${painted.join(', ')})`);
console.log(`after 10 s idle: PSS total: ${median(totals).toFixed(1)} MB, PSS tarn: ${median(byKind.tarn).toFixed(1)} MB, ` +
            `PSS web process: ${median(byKind.WebKitWebProcess).toFixed(1)} MB, ` +
            `PSS network process: ${median(byKind.WebKitNetworkProcess).toFixed(1)} MB (medians)`);
console.log(`  last start, MB by process: ${lastBreakdown}`);
