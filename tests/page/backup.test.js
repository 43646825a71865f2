// Whole-looper backup and restore against an in-memory volume: the manifest, the checks
// before anything is written, and that a failure or a cancel leaves nothing of the run.
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const backupModule = require('../../page/js/tarn/backup.js');
const models = require('../../page/js/tarn/models.js');
const { layoutVolume } = require('./fakeVolume.js');

const row = (name) => models.compatibleInstruments.find((r) => r.name === name);
const DUO = row('Eddy Duo');
const WAVE = '/media/duo/CORVANE/WAVE';
const NOW = new Date(Date.UTC(2026, 11, 8, 12, 0, 0, 250));

const md5 = (bytes) => crypto.createHash('md5').update(bytes).digest('hex').toUpperCase();

// A Duo volume with two tracks, a security module over it, and a `later` the test drives.
function setup({ model = DUO, mount = '/media/duo' } = {}) {
  const files = layoutVolume(mount, model.numofTrackParMem, models.memories(model));
  files.put(mount + '/CORVANE/WAVE/001_1/Intro.WAV', 'RIFF intro bytes');
  files.put(mount + '/CORVANE/WAVE/003_2/Loop.wav', 'RIFF a longer loop of bytes');
  files.folder('/backups');
  const security = { md5: (path) => { const b = files.bytes(path); return b ? md5(b) : ''; } };
  const queue = [];
  const later = (fn) => { queue.push(fn); };
  const pump = (steps = Infinity) => { while (steps-- > 0 && queue.length) queue.shift()(); };
  return { files, security, later, pump, queue, mount, row: model };
}

function run(kind, s, extra = {}) {
  let outcome = null;
  const progress = [];
  const handle = backupModule[kind]({
    files: s.files, security: s.security, volume: s.mount, row: s.row, dir: '/backups/gig', now: NOW,
    version: '1.5.0', later: s.later, onProgress: (done, total, label) => progress.push([done, total, label]), ...extra,
  }, (result) => { assert.equal(outcome, null, 'done once'); outcome = result; });
  return { handle, progress, outcome: () => outcome };
}

function finished(kind, s, extra) {
  const r = run(kind, s, extra);
  s.pump();
  assert.ok(r.outcome(), 'the run ended');
  return { ...r, result: r.outcome() };
}

const leftovers = (files, folder) => Object.keys(files.snapshot(folder)).filter((p) => /(^|\/)\.tarn-|\.manifest/.test(p));

test('a backup copies every track and writes the manifest in the project\'s JSON, keys sorted', () => {
  const s = setup();
  const { result, progress } = finished('backup', s, { volumeName: 'GIG' });
  assert.equal(result.success, true, result.reason);
  const text = s.files.readString('/backups/gig/manifest.json').data;
  assert.equal(text, '{"created":"2026-12-08T12:00:00Z","format":1,"generator":"tarn 1.5.0",' +
    '"layout":{"memories":99,"tracks":2},"model":"Eddy Duo","tracks":[' +
    `{"file":"Intro.WAV","md5":"${md5('RIFF intro bytes')}","memory":1,"path":"tracks/001_1/Intro.WAV","size":16,"track":1},` +
    `{"file":"Loop.wav","md5":"${md5('RIFF a longer loop of bytes')}","memory":3,"path":"tracks/003_2/Loop.wav","size":27,"track":2}` +
    '],"volumeName":"GIG"}');
  assert.deepEqual(s.files.snapshot('/backups/gig'), {
    'tracks/001_1/Intro.WAV': 'RIFF intro bytes', 'tracks/003_2/Loop.wav': 'RIFF a longer loop of bytes', 'manifest.json': text,
  });
  assert.deepEqual(result.tracks.map((t) => [t.memory, t.track, t.file]), [[1, 1, 'Intro.WAV'], [3, 2, 'Loop.wav']]);
  assert.deepEqual(progress, [[0, 2, 'Backing up'], [1, 2, 'Backing up'], [2, 2, 'Backing up']]);
  // Without a label given, the model's own.
  const again = setup();
  finished('backup', again);
  assert.match(again.files.readString('/backups/gig/manifest.json').data, /"volumeName":"EDDY_DUO"}$/);
});

test('a backup goes only into an empty or new folder outside the looper', () => {
  const s = setup();
  s.files.put('/backups/gig/old.txt', 'keep me');
  const { result } = finished('backup', s);
  assert.equal(result.success, false);
  assert.match(result.reason, /not empty/);
  assert.deepEqual(s.files.snapshot('/backups/gig'), { 'old.txt': 'keep me' });

  const empty = setup();
  empty.files.mkdir('/backups/gig');
  assert.equal(finished('backup', empty).result.success, true);

  const onLooper = setup();
  const { result: refused } = finished('backup', onLooper, { dir: '/media/duo/backup' });
  assert.match(refused.reason, /outside the looper/);
  assert.equal(onLooper.files.lookup('/media/duo/backup'), null);
});

test('a copy whose checksum differs fails the backup and leaves nothing of it', () => {
  for (const existing of [false, true]) {
    const s = setup();
    if (existing) s.files.mkdir('/backups/gig');
    const copy = s.files.copy.bind(s.files);
    s.files.copy = (from, to) => {
      const done = copy(from, to);
      if (to.endsWith('Loop.wav')) s.files.put(to, 'RIFF a longer loop of bytez');
      return done;
    };
    const { result } = finished('backup', s);
    assert.equal(result.success, false);
    assert.equal(result.cancelled, false);
    assert.match(result.reason, /Loop\.wav \(track 3\/2\) does not match/);
    if (existing) assert.deepEqual(s.files.contents('/backups/gig').data, [], 'the chosen folder is left empty');
    else assert.equal(s.files.lookup('/backups/gig'), null, 'the folder the backup made is gone');
  }
});

test('a cancel midway takes back what the backup wrote', () => {
  const s = setup();
  const r = run('backup', s);
  s.pump(2); // the folders and the first track
  assert.ok(s.files.lookup('/backups/gig/tracks/001_1/Intro.WAV'));
  assert.equal(r.handle.cancel(), true);
  s.pump();
  assert.deepEqual(r.outcome(), { success: false, reason: 'Cancelled.', cancelled: true });
  assert.equal(s.files.lookup('/backups/gig'), null);
  assert.equal(r.handle.cancel(), false, 'nothing left to cancel');
});

test('a looper pulled out between two tracks fails the backup with the reason, and takes back its copies', () => {
  const s = setup();
  const r = run('backup', s);
  s.pump(2); // the folders and the first track
  s.files.refuse = (operation, path) => (path.startsWith(s.mount) ? 'No such device' : null);
  s.pump();
  assert.equal(r.outcome().reason, 'Loop.wav (track 3/2) could not be read on the looper. The device is gone (unplugged or switched off).');
  assert.equal(s.files.lookup('/backups/gig'), null);

  // A dead mount: names and sizes still answer from what the kernel holds, reading fails,
  // and only the volume's space call knows the disk has gone.
  const dead = setup();
  const cut = run('backup', dead);
  dead.pump(2);
  dead.security.md5 = () => '';
  dead.files.refuse = (operation) => (operation === 'space' ? 'No such device' : null);
  dead.pump();
  assert.equal(cut.outcome().reason, 'Loop.wav (track 3/2) could not be read on the looper. The device is gone (unplugged or switched off).');
});

// A backup of s's looper in /backups/gig, then the tracks deleted from the volume.
function backedUp(s) {
  assert.equal(finished('backup', s).result.success, true);
  const tracks = s.files.snapshot(s.mount + '/CORVANE/WAVE');
  s.files.unlink(WAVE + '/001_1/Intro.WAV');
  s.files.unlink(WAVE + '/003_2/Loop.wav');
  return tracks;
}

test('restore puts every track back as it was, making the folders a wiped volume lacks', () => {
  const s = setup();
  const before = backedUp(s);
  s.files.unlink('/media/duo/CORVANE');
  const { result, progress } = finished('restore', s);
  assert.equal(result.success, true, result.reason);
  assert.deepEqual(s.files.snapshot(s.mount + '/CORVANE/WAVE'), before);
  assert.deepEqual(result.tracks.map((t) => [t.memory, t.track, t.file]), [[1, 1, 'Intro.WAV'], [3, 2, 'Loop.wav']]);
  assert.deepEqual(result.skipped, []);
  assert.deepEqual(progress.map((p) => p.slice(0, 2)), [[0, 4], [1, 4], [2, 4], [3, 4], [4, 4]]);
  assert.deepEqual(progress.map((p) => p[2]).filter((v, i, a) => a.indexOf(v) === i), ['Checking the backup', 'Restoring']);
});

test('restore refuses a backup of another model, and a manifest it cannot trust', () => {
  const s = setup();
  backedUp(s);
  const six = row('Eddy Six');
  const { result } = finished('restore', { ...s, row: six });
  assert.equal(result.reason, 'This backup is of a Eddy Duo; the connected looper is a Eddy Six.');
  const manifest = JSON.parse(s.files.readString('/backups/gig/manifest.json').data);
  const refusals = [
    [{ format: 2 }, /format Tarn does not know/],
    [{ model: 'Eddy Nine' }, /looper Tarn does not know \(Eddy Nine\)/],
    [{ layout: { memories: 98, tracks: 2 } }, /layout/],
    [{ tracks: [{ ...manifest.tracks[0], path: 'tracks/001_1/../../../etc/Intro.WAV' }] }, /not allowed/],
    [{ tracks: [{ ...manifest.tracks[0], file: '../Intro.WAV', path: 'tracks/001_1/../Intro.WAV' }] }, /not allowed/],
    [{ tracks: [{ ...manifest.tracks[0], memory: 100 }] }, /no track of this looper/],
    [{ tracks: [manifest.tracks[0], manifest.tracks[0]] }, /listed twice/],
    [{ tracks: [{ ...manifest.tracks[0], md5: 'abc' }] }, /checksum/],
  ];
  for (const [change, reason] of refusals) {
    assert.match(backupModule.checkManifest(JSON.stringify({ ...manifest, ...change }), DUO).reason, reason);
  }
  assert.match(backupModule.checkManifest('{"format":1', DUO).reason, /not JSON/);
  s.files.unlink('/backups/gig/manifest.json');
  assert.match(finished('restore', s).result.reason, /no backup in \/backups\/gig/);
  assert.deepEqual(s.files.contents(WAVE + '/001_1').data, []);
});

test('a damaged backup file (size or checksum) is named, and nothing is written', () => {
  for (const damaged of ['RIFF a longer loop', 'RIFF a longer loop of bytez']) {
    const s = setup();
    backedUp(s);
    s.files.put('/backups/gig/tracks/003_2/Loop.wav', damaged);
    const { result } = finished('restore', s);
    assert.equal(result.success, false);
    assert.match(result.reason, /^tracks\/003_2\/Loop\.wav in the backup is damaged/);
    assert.match(result.reason, damaged.length === 27 ? /checksum/ : /size/);
    assert.deepEqual(s.files.snapshot(s.mount), {}, 'the first track, undamaged, is not written either');
    assert.ok(!s.files.calls.some(([op, path]) => (op === 'copy' || op === 'move') && path.startsWith(s.mount)));
  }
});

test('occupied tracks are skipped, or replaced with replace (FAT names match in any case)', () => {
  const s = setup();
  const before = backedUp(s);
  s.files.caseless = true;
  s.files.put(WAVE + '/001_1/intro.wav', 'recorded since');
  const skipping = finished('restore', s).result;
  assert.equal(skipping.success, true);
  assert.deepEqual(skipping.skipped, [{ file: 'Intro.WAV', memory: 1, occupiedBy: 'intro.wav', track: 1 }]);
  assert.deepEqual(skipping.tracks.map((t) => t.file), ['Loop.wav']);
  assert.equal(s.files.readString(WAVE + '/001_1/intro.wav').data, 'recorded since');

  s.files.unlink(WAVE + '/003_2/Loop.wav');
  const replacing = finished('restore', s, { replace: true }).result;
  assert.equal(replacing.success, true, replacing.reason);
  assert.deepEqual(replacing.skipped, []);
  assert.deepEqual(replacing.tracks.map((t) => [t.file, t.replaced]), [['Intro.WAV', ['intro.wav']], ['Loop.wav', []]]);
  assert.deepEqual(s.files.snapshot(s.mount + '/CORVANE/WAVE'), before);
});

test('a restore that fails or is cancelled midway leaves the tracks as they were', () => {
  // Cancelled after the first track was written over an occupied one.
  const s = setup();
  backedUp(s);
  s.files.put(WAVE + '/001_1/Other.wav', 'recorded since');
  const r = run('restore', s, { replace: true });
  s.pump(4); // manifest, two checks, the first track
  assert.ok(s.files.lookup(WAVE + '/001_1/Intro.WAV'));
  r.handle.cancel();
  s.pump();
  assert.equal(r.outcome().cancelled, true);
  assert.deepEqual(s.files.snapshot(s.mount), { 'CORVANE/WAVE/001_1/Other.wav': 'recorded since' });

  // The second track cannot be given its name: the first goes again.
  const f = setup();
  backedUp(f);
  f.files.refuse = (op, path) => (op === 'move' && path.endsWith('003_2/Loop.wav') ? 'No space left on device' : '');
  const { result } = finished('restore', f);
  assert.equal(result.success, false);
  assert.match(result.reason, /Loop\.wav \(track 3\/2\) could not be given its name\. There is not enough free space/);
  assert.deepEqual(f.files.snapshot(f.mount), {});
  assert.deepEqual(leftovers(f.files, f.mount), []);
});

test('in the job slot a backup is cancelled through Jobs and keeps the slot until it has taken back its files', () => {
  const Jobs = require('../../page/js/tarn/jobs.js');
  const s = setup();
  const jobs = new Jobs({ native: {}, files: s.files, temporary: '/tmp/' });
  let ended = null;
  const job = jobs.claim('backup', (result) => { ended = result; });
  const handle = backupModule.backup({ files: s.files, security: s.security, volume: s.mount, row: DUO, dir: '/backups/gig', later: s.later },
    (result) => jobs.finish(job, result));
  job.onCancel = () => handle.cancel();
  s.pump(2);
  assert.equal(jobs.cancel(), true);
  assert.equal(jobs.busy(), true, 'another job waits until the backup has stopped');
  assert.deepEqual(jobs.claim('import', () => {}), null);
  s.pump();
  assert.equal(ended.cancelled, true);
  assert.equal(jobs.busy(), false);
  assert.equal(s.files.lookup('/backups/gig'), null);
});
