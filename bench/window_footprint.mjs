// The window's start and footprint under Xvfb with the real page: time from process start
// until the page shows on screen (the screen has more than a few colours), and after ten
// seconds idle the proportional set size (PSS) of every process of the window (tarn and
// the engine's web and network processes), from /proc/PID/smaps_rollup.
//   node bench/window_footprint.mjs [starts]
// Needs build/tarn (TARN_BIN=... picks another), Xvfb and ImageMagick's import.
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { startXvfb, makeHome, startTarn, sleep } from '../tests/shell/lib/xsession.mjs';

const starts = Number(process.argv[2] || 3);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

function coloursOnScreen(display) {
  try {
    return Number(execFileSync('import', ['-window', 'root', '-format', '%k', 'info:'],
      { env: { ...process.env, DISPLAY: display }, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  } catch {
    return 0;
  }
}

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

const x = await startXvfb();
const painted = [];
const totals = [];
const ownMB = [];
let lastBreakdown = '';
try {
  const blank = coloursOnScreen(x.display);
  for (let i = 0; i < starts; i++) {
    const home = makeHome();
    const t0 = Date.now();
    const tarn = startTarn(x, home);
    let shown = 0;
    while (Date.now() - t0 < 60000) {
      if (coloursOnScreen(x.display) > blank + 8) { shown = Date.now() - t0; break; }
      await sleep(20);
    }
    painted.push(shown || NaN);
    await sleep(10000);
    const tree = processTree(tarn.child.pid).map((p) => ({ ...p, pss: pssMB(p.pid) })).filter((p) => p.pss > 0);
    totals.push(tree.reduce((sum, p) => sum + p.pss, 0));
    ownMB.push(tree[0]?.pss || 0);
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
console.log(`after 10 s idle: PSS total: ${median(totals).toFixed(1)} MB, PSS tarn: ${median(ownMB).toFixed(1)} MB (medians)`);
console.log(`  last start, MB by process: ${lastBreakdown}`);
