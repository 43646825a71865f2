// Runs killed at any point and the cleanup at the next start, and the room checks made
// before anything is written: against an in-memory volume whose writes stop dead after
// the n-th one, as when the process is killed there.
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const backupModule = require('../../page/js/tarn/backup.js');
const cleanup = require('../../page/js/tarn/cleanup.js');
const Jobs = require('../../page/js/tarn/jobs.js');
const models = require('../../page/js/tarn/models.js');
const { layoutVolume } = require('./fakeVolume.js');

const DUO = models.compatibleInstruments.find((r) => r.name === 'Eddy Duo');
const MOUNT = '/media/duo';
const WAVE = MOUNT + '/CORVANE/WAVE';
const md5 = (bytes) => crypto.createHash('md5').update(bytes).digest('hex').toUpperCase();
const WRITES = ['unlink', 'move', 'writeString', 'copy', 'mkdir'];

function volume() {
  const files = layoutVolume(MOUNT, DUO.numofTrackParMem, models.memories(DUO));
  files.folder('/backups');
  const security = { md5: (path) => { const b = files.bytes(path); return b ? md5(b) : ''; } };
  return { files, security };
}

// From the n-th write on nothing reaches the volume: the process is gone.
function killAfter(files, n) {
  let count = 0;
  let depth = 0;
  const real = {};
  for (const name of WRITES) {
    real[name] = files[name].bind(files);
    files[name] = (...args) => {
      // A move is one write, though the fake volume makes it of two.
      if (depth > 0) return real[name](...args);
      if (count++ >= n) return { success: false, reason: 'killed' };
      depth++;
      try { return real[name](...args); } finally { depth--; }
    };
  }
  return { writes: () => count, revive: () => { Object.assign(files, real); } };
}

function runToEnd(kind, v, options) {
  const queue = [];
  let outcome = null;
  backupModule[kind]({ files: v.files, security: v.security, volume: MOUNT, row: DUO, dir: '/backups/gig',
    later: (fn) => queue.push(fn), ...options }, (r) => { outcome = r; });
  while (queue.length) queue.shift()();
  return outcome;
}

const hidden = (snapshot) => Object.keys(snapshot).filter((p) => /(^|\/)\.tarn-/.test(p));

test('a replacing restore killed after any write is undone or finished by the next start, never half', () => {
  const OLD = { '001_1/take.wav': 'RIFF recorded on stage', '003_2/Loop.wav': 'RIFF old loop' };
  const NEW = { '001_1/Intro.WAV': 'RIFF intro from backup', '003_2/Loop.wav': 'RIFF loop from backup', '005_1/Pad.wav': 'RIFF pad' };
  const prepare = () => {
    const v = volume();
    for (const [path, text] of Object.entries(NEW)) v.files.put(WAVE + '/' + path, text);
    assert.equal(runToEnd('backup', v).success, true);
    for (const path of Object.keys(NEW)) v.files.unlink(WAVE + '/' + path);
    for (const [path, text] of Object.entries(OLD)) v.files.put(WAVE + '/' + path, text);
    return v;
  };
  const whole = prepare();
  const counter = killAfter(whole.files, Infinity);
  assert.equal(runToEnd('restore', whole, { replace: true }).success, true);
  const total = counter.writes();
  const restored = { ...NEW };

  for (let n = 0; n <= total; n++) {
    const v = prepare();
    const kill = killAfter(v.files, n);
    runToEnd('restore', v, { replace: true });
    kill.revive();
    cleanup.looper(v.files, MOUNT);
    const after = v.files.snapshot(MOUNT + '/CORVANE');
    const tracks = v.files.snapshot(WAVE);
    assert.deepEqual(hidden(after), [], `killed after write ${n}: nothing of the run is left`);
    // The replaced tracks all hold the old takes, or (a finished run) all the backup's.
    const old = tracks['001_1/take.wav'] === OLD['001_1/take.wav'] && tracks['003_2/Loop.wav'] === OLD['003_2/Loop.wav'];
    const done = tracks['001_1/Intro.WAV'] === restored['001_1/Intro.WAV'] && tracks['003_2/Loop.wav'] === restored['003_2/Loop.wav'];
    assert.ok(old !== done, `killed after write ${n}: ${JSON.stringify(tracks)}`);
    // A track that was empty holds the whole file or nothing.
    assert.ok([undefined, NEW['005_1/Pad.wav']].includes(tracks['005_1/Pad.wav']), `killed after write ${n}`);
    assert.equal(Object.keys(tracks).length, done ? 3 : 2 + (tracks['005_1/Pad.wav'] ? 1 : 0));
  }
});

test('a backup killed midway is marked incomplete: restore refuses it, a new backup there is refused', () => {
  const v = volume();
  v.files.put(WAVE + '/001_1/a.wav', 'RIFF a');
  v.files.put(WAVE + '/002_1/b.wav', 'RIFF b');
  const kill = killAfter(v.files, 4);
  runToEnd('backup', v);
  kill.revive();
  assert.ok(v.files.lookup('/backups/gig/.tarn-incomplete'));
  const refused = runToEnd('restore', v);
  assert.equal(refused.success, false);
  assert.match(refused.reason, /incomplete backup/);
  assert.match(runToEnd('backup', v).reason, /incomplete backup/);
  // Finished backups carry no mark.
  const w = volume();
  w.files.put(WAVE + '/001_1/a.wav', 'RIFF a');
  assert.equal(runToEnd('backup', w).success, true);
  assert.deepEqual(hidden(w.files.snapshot('/backups/gig')), []);
});

test('leftovers without a journal: copies go, an old take set aside comes back only into an empty track', () => {
  const v = volume();
  v.files.put(WAVE + '/001_1/.tarn-copy-x.wav.a1B2c3', 'partial');
  v.files.put(WAVE + '/001_2/.tarn-old-take.wav.abc123', 'RIFF take');
  v.files.put(WAVE + '/002_1/.tarn-old-take.wav.abc123', 'RIFF older');
  v.files.put(WAVE + '/002_1/new.wav', 'RIFF newer');
  v.files.put(WAVE + '/002_2/.tarn-copy-notes', 'not ours: no suffix');
  const report = cleanup.looper(v.files, MOUNT);
  assert.deepEqual(v.files.snapshot(WAVE), {
    '001_2/take.wav': 'RIFF take', '002_1/.tarn-old-take.wav.abc123': 'RIFF older', '002_1/new.wav': 'RIFF newer',
    '002_2/.tarn-copy-notes': 'not ours: no suffix',
  });
  assert.deepEqual(report.restored, [WAVE + '/001_2/take.wav']);
  // A restore of this run's still under way keeps its journal and its set-aside takes.
  v.files.put(MOUNT + '/CORVANE/.tarn-restore.json', '{"moves":[],"state":"replacing"}');
  v.files.put(WAVE + '/002_2/.tarn-old-mine.wav.abc123', 'RIFF mine');
  cleanup.looper(v.files, MOUNT, { busy: true });
  assert.ok(v.files.lookup(MOUNT + '/CORVANE/.tarn-restore.json'));
  assert.ok(v.files.lookup(WAVE + '/002_2/.tarn-old-mine.wav.abc123'));
});

// --- room before writing

function space(free) { return { space: () => JSON.stringify({ free, total: 300e6 }) }; }

test('a restore or backup that cannot fit is refused before its first write, naming both sizes', () => {
  const v = volume();
  v.files.put(WAVE + '/001_1/a.wav', 'x'.repeat(3e6));
  assert.equal(runToEnd('backup', v).success, true);
  v.files.unlink(WAVE + '/001_1/a.wav');
  v.files.fs = space(1.2e6);
  const writes = killAfter(v.files, Infinity);
  const refused = runToEnd('restore', v);
  assert.equal(refused.reason, 'The looper has 1.2 MB free; the tracks to restore need 3.0 MB. Nothing was restored.');
  assert.equal(writes.writes(), 0);
  writes.revive();

  const b = volume();
  b.files.put(WAVE + '/001_1/a.wav', 'x'.repeat(42e6));
  b.files.fs = space(5e6);
  const full = runToEnd('backup', b);
  assert.equal(full.reason, 'The folder /backups/gig has 5.0 MB free; the backup needs 42 MB.');
  assert.equal(b.files.lookup('/backups/gig'), null);
});

test('an import that cannot fit the looper or the temporary folder is refused before converting', () => {
  const calls = [];
  let free = { '/tmp/t': 1e9, '/media/duo/CORVANE/WAVE/001_1/take.wav': 1.2e6 };
  const native = {
    fs: { space: (p) => JSON.stringify({ free: free[p.replace(/\/$/, '')], total: 1e10 }) },
    audio: { format: () => JSON.stringify({ duration: 60 }), convert: () => calls.push('convert') },
    trnWav: {},
  };
  const files = { unlink: () => ({ success: true }), move: () => { calls.push('move'); return { success: true }; } };
  const jobs = new Jobs({ native, files, temporary: '/tmp/t/' });
  let outcome = null;
  jobs.importFile('/home/me/take.mp3', WAVE + '/001_1/take.wav', DUO.wave, (o) => { outcome = o; });
  assert.deepEqual(calls, []);
  // A minute of 32-bit stereo at 44.1 kHz.
  assert.equal(outcome.reason, 'The looper has 1.2 MB free; this track needs 21 MB.');
  free = { '/tmp/t': 2e6, '/media/duo/CORVANE/WAVE/001_1/take.wav': 1e9 };
  jobs.importFile('/home/me/take.mp3', WAVE + '/001_1/take.wav', DUO.wave, (o) => { outcome = o; });
  assert.match(outcome.reason, /^The temporary folder \(\/tmp\/t\) has 2\.0 MB free; the converted track needs 42 MB\.$/);
  assert.deepEqual(calls, []);
});
