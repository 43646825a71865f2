// Recently deleted tracks against a real folder: what a delete keeps, what the quota
// clears, and when putting back is refused.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const crypto = require('node:crypto');
const trash = require('../../page/js/tarn/trash.js');

// The bridge's fs and security calls over a temporary folder, failing as the host does.
function bridge(dir) {
  const host = {
    separator: () => '/',
    path: (where) => { if (where !== 'bundle') throw new Error('unexpected folder ' + where); return dir + '/data/'; },
    contents: (p) => JSON.stringify(fs.readdirSync(p, { withFileTypes: true })
      .map((e) => ({ name: e.name, directory: e.isDirectory(), size: e.isFile() ? fs.statSync(path.join(p, e.name)).size : 0 }))),
    stat: (p) => { const s = fs.statSync(p); return JSON.stringify({ name: path.basename(p), size: s.size, directory: s.isDirectory() }); },
    mkdir: (p) => { fs.mkdirSync(p, { recursive: true }); },
    unlink: (p) => { fs.rmSync(p, { recursive: true, force: true }); },
    copy: (a, b) => { if (host.full) throw new Error('No space left on device'); fs.copyFileSync(a, b, fs.constants.COPYFILE_EXCL); },
    move: (a, b) => { if (fs.existsSync(b)) throw new Error('File exists'); fs.renameSync(a, b); },
    readString: (p) => fs.readFileSync(p, 'utf8'),
    writeString: (p, t) => { fs.writeFileSync(p, t); },
    // The free space of the disk (the host answers a path not made yet for its parent).
    space: () => JSON.stringify({ free: host.free ?? 1e12, total: 1e12 }),
  };
  const md5 = (p) => crypto.createHash('md5').update(fs.readFileSync(p)).digest('hex').toUpperCase();
  return { fs: host, security: { md5: (p) => { try { return md5(p); } catch (e) { return ''; } } } };
}

function setup() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarn-trash-'));
  const wave = dir + '/looper/CORVANE/WAVE/';
  for (const cell of ['001_1', '001_2', '003_2']) fs.mkdirSync(wave + cell, { recursive: true });
  fs.writeFileSync(wave + '003_2/Loop.wav', 'RIFF loop bytes');
  fs.writeFileSync(wave + '001_1/Intro.WAV', 'RIFF intro');
  return { dir, wave, native: bridge(dir), volume: dir + '/looper' };
}

const LOOP = (s) => ({ model: 'Eddy Duo', memory: 2, track: 1, path: s.wave + '003_2/Loop.wav' });
const at = (iso) => ({ now: new Date(iso) });

test('a delete keeps a checked copy with its record, removes the track, and putting back restores it', async () => {
  const s = setup();
  const record = await trash.deleteTrack(s.native, LOOP(s), at('2026-12-09T03:22:00Z'));
  assert.equal(record.id, '20261209-032200-003_2');
  assert.equal(record.cell, '003_2');
  assert.equal(record.name, 'Loop.wav');
  assert.equal(record.size, 15);
  assert.equal(record.md5, crypto.createHash('md5').update('RIFF loop bytes').digest('hex').toUpperCase());
  assert.equal(fs.existsSync(s.wave + '003_2/Loop.wav'), false);
  assert.deepEqual(trash.list(s.native, 'Eddy Duo').map((r) => r.id), [record.id]);
  assert.deepEqual(trash.list(s.native, 'Other'), []);

  // A second delete of the same cell in the same second gets its own entry.
  fs.writeFileSync(s.wave + '003_2/Loop.wav', 'RIFF loop bytes, again');
  const second = await trash.deleteTrack(s.native, LOOP(s), at('2026-12-09T03:22:00Z'));
  assert.equal(second.id, '20261209-032200-003_2-2');

  await assert.rejects(trash.putBack(s.native, record.id, { memory: 0, track: 0 }), { code: 'used' });
  const back = await trash.putBack(s.native, record.id);
  assert.equal(fs.readFileSync(s.wave + '003_2/Loop.wav', 'utf8'), 'RIFF loop bytes');
  assert.equal(back.path, s.wave + '003_2/Loop.wav');
  // The entry is gone; the other cannot go into the now used cell, but into an empty one.
  assert.deepEqual(trash.list(s.native).map((r) => r.id), [second.id]);
  await assert.rejects(trash.putBack(s.native, second.id), { code: 'used' });
  await trash.putBack(s.native, second.id, { memory: 0, track: 1, volume: s.volume });
  assert.equal(fs.readFileSync(s.wave + '001_2/Loop.wav', 'utf8'), 'RIFF loop bytes, again');
  await assert.rejects(trash.putBack(s.native, second.id), { code: 'missing' });
});

test('a copy that cannot be made deletes nothing and leaves nothing; permanently skips the copy', async () => {
  const s = setup();
  // Too little room on the computer's disk: refused before anything is written there.
  s.native.fs.free = 20000;
  await assert.rejects(trash.deleteTrack(s.native, LOOP(s)), (e) => e.code === 'keep' &&
    e.message === 'No copy of the track could be kept. The folder for deleted tracks (' + s.dir +
      '/data/deleted/Eddy Duo) has 20 kB free; this track needs 15 bytes.');
  assert.equal(fs.existsSync(s.dir + '/data/deleted'), false);
  assert.equal(fs.existsSync(s.wave + '003_2/Loop.wav'), true);
  // Room enough by the figures, yet the write fails: what was written goes again.
  s.native.fs.free = undefined;
  s.native.fs.full = true;
  await assert.rejects(trash.deleteTrack(s.native, LOOP(s)), (e) => e.code === 'keep' && /not enough free space/.test(e.message));
  assert.equal(fs.existsSync(s.wave + '003_2/Loop.wav'), true);
  assert.deepEqual(fs.readdirSync(s.dir + '/data/deleted/Eddy Duo'), []);
  assert.equal(await trash.deleteTrack(s.native, LOOP(s), { permanently: true }), null);
  assert.equal(fs.existsSync(s.wave + '003_2/Loop.wav'), false);
  await assert.rejects(trash.keep(s.native, LOOP(s)), { code: 'keep' });
});

test('a kept copy whose checksum changed is not put back', async () => {
  const s = setup();
  const record = await trash.deleteTrack(s.native, LOOP(s));
  fs.writeFileSync(s.dir + '/data/deleted/Eddy Duo/' + record.id + '/Loop.wav', 'RIFF loop bytez');
  await assert.rejects(trash.putBack(s.native, record.id), { code: 'changed' });
  assert.deepEqual(fs.readdirSync(s.wave + '003_2'), []);
  assert.equal(trash.list(s.native).length, 1);
});

test('the quota drops entries past 30 days, then the oldest past the size limit, never the newest', async () => {
  const s = setup();
  const make = async (cell, day, bytes) => {
    fs.mkdirSync(s.wave + cell, { recursive: true });
    fs.writeFileSync(s.wave + cell + '/T.wav', Buffer.alloc(bytes, 1));
    const [m, t] = cell.split('_').map(Number);
    return (await trash.keep(s.native, { model: 'Eddy Duo', memory: m - 1, track: t - 1, path: s.wave + cell + '/T.wav' },
      at(`2026-11-${day}T12:00:00Z`))).id;
  };
  const old = await make('001_1', '01', 10);
  const a = await make('002_1', '20', 10);
  const b = await make('002_2', '21', 10);
  fs.mkdirSync(s.dir + '/data/deleted/Eddy Duo/half-written');
  assert.deepEqual(trash.list(s.native).map((r) => r.id), [b, a, old]);
  // A keep on 12-09 leaves 11-01 past 30 days; 15 bytes allowed: the oldest left goes too.
  const removed = trash.prune(s.native, { now: new Date('2026-12-09T00:00:00Z'), bytes: 15 });
  assert.deepEqual(removed, [old, a]);
  assert.deepEqual(fs.readdirSync(s.dir + '/data/deleted/Eddy Duo'), [b]);
  // An entry larger than the limit on its own stays when it is the one just kept.
  assert.deepEqual(trash.prune(s.native, { now: new Date('2026-11-21T13:00:00Z'), bytes: 5, keepId: b }), []);
});
