// The kept track table: read once, outside changes of one track folder read again
// without reading the others; a dead run's leftovers in the temporary folder go.
const test = require('node:test');
const assert = require('node:assert/strict');
const models = require('../../page/js/tarn/models.js');
const TrackStore = require('../../page/js/tarn/trackStore.js');
const { FakeFiles, layoutVolume } = require('./fakeVolume.js');

const duo = models.compatibleInstruments[1];
const wave = '/media/looper/CORVANE/WAVE';

test('the table is read once and then follows changes of single track folders', () => {
  const files = layoutVolume('/media/looper', 2, 99);
  files.add(wave + '/005_1', 'notes.txt');
  files.add(wave + '/005_1', 'Song.wav');
  const store = new TrackStore(files);
  assert.equal(store.load('/media/looper', duo).success, true);
  assert.equal(store.ready('/media/looper', duo), true);
  assert.equal(store.ready('/media/looper', models.compatibleInstruments[0]), false, 'another model: read again');
  assert.deepEqual(store.table[4][0], { dirName: wave + '/005_1/', fileName: 'Song.wav' });
  assert.equal(store.table[6][1].fileName, '');

  files.calls.length = 0;
  files.add(wave + '/003_2', 'Added Outside.WAV');
  assert.equal(store.changed([wave + '/003_2/', '/elsewhere/001_1/']), true);
  assert.deepEqual(files.calls, [['contents', wave + '/003_2/']], 'only the changed folder is read');
  assert.equal(store.table[2][1].fileName, 'Added Outside.WAV');
  assert.equal(store.changed([wave + '/003_2/']), false, 'nothing new');

  const copy = store.snapshot();
  copy[2][1].fileName = '';
  assert.equal(store.table[2][1].fileName, 'Added Outside.WAV', 'a dialog\'s copy is its own');
  store.drop();
  assert.equal(store.ready('/media/looper', duo), false);
  assert.equal(store.changed([wave + '/003_2/']), false);
});

test('a missing wave folder fails the load; a vanished track folder empties its cell', () => {
  const files = new FakeFiles();
  const store = new TrackStore(files);
  assert.equal(store.load('/media/none', duo).success, false);
  const volume = layoutVolume('/media/looper', 2, 99);
  volume.add(wave + '/001_1', 'a.wav');
  const kept = new TrackStore(volume);
  kept.load('/media/looper', duo);
  volume.failing.add(wave + '/001_1');
  assert.equal(kept.changed([wave + '/001_1/']), true);
  assert.deepEqual(kept.table[0][0], { dirName: '', fileName: '' });
});

test('the temporary folder loses Tarn\'s own leftovers only', () => {
  const files = new FakeFiles();
  for (const name of ['tmp.wav', 'imported.wav', '___a1B2c3.wav', 'tarn-catalogue.json',
    'tarn-upload-Q7w8E9.flac', 'tmp2.wav', '___abc.wav', 'user.wav', 'other-app.tmp', 'tarn-upload-notes.txt.bak']) files.add('/tmp/t', name);
  files.add('/tmp/t', 'tmp.wav.d', true);
  const removed = TrackStore.cleanTemporaryFolder(files, '/tmp/t/');
  assert.deepEqual(removed.sort(), ['___a1B2c3.wav', 'imported.wav', 'tarn-catalogue.json', 'tarn-upload-Q7w8E9.flac', 'tmp.wav']);
  assert.deepEqual(files.tree.get('/tmp/t').map((e) => e.name),
    ['tmp2.wav', '___abc.wav', 'user.wav', 'other-app.tmp', 'tarn-upload-notes.txt.bak', 'tmp.wav.d']);
});

// subcontentsAsync over the fake, answering later; counts the calls. afterRead() runs
// once the answer is taken.
function asyncReads(files, afterRead = () => {}) {
  const seen = { calls: 0 };
  files.subcontentsAsync = (path) => {
    seen.calls++;
    return new Promise((resolve) => setImmediate(() => {
      resolve(files.subcontents(path));
      afterRead(path);
    }));
  };
  return seen;
}

test('the table is read without blocking, in one call, and equals the blocking read', async () => {
  const files = layoutVolume('/media/looper', 2, 99);
  files.add(wave + '/005_1', 'Song.wav');
  files.add(wave + '/099_2', 'Last.WAV');
  const seen = asyncReads(files);
  const store = new TrackStore(files);
  const loading = store.loadAsync('/media/looper', duo, null);
  assert.equal(store.table, null, 'no half-read table is shown');
  assert.equal(store.busy(), true);
  assert.equal(store.whenLoaded('/media/looper', duo), loading);
  assert.equal(store.whenLoaded('/media/looper', models.compatibleInstruments[0]), null, 'another model is not this read');
  assert.deepEqual(await loading, { success: true });
  assert.equal(seen.calls, 1, 'one call, not 198');
  assert.equal(store.busy(), false);
  const blocking = new TrackStore(files);
  blocking.load('/media/looper', duo);
  assert.deepEqual(store.table, blocking.table);
  assert.equal(store.table[4][0].fileName, 'Song.wav');
  assert.equal(store.ready('/media/looper', duo), true);
});

test('a change reported while the table is read is read again; a drop meanwhile wins', async () => {
  const files = layoutVolume('/media/looper', 2, 99);
  let store = null;
  let told = null;
  // A file that arrives just after its folder was read is seen only because the watch
  // tells about it.
  asyncReads(files, () => {
    if (told !== null) return;
    files.add(wave + '/001_1', 'Late.wav');
    told = store.changed([wave + '/001_1/']);
  });
  store = new TrackStore(files);
  const loading = store.loadAsync('/media/looper', duo, null);
  await loading;
  assert.equal(told, false, 'nothing to compare with yet');
  assert.equal(store.table[0][0].fileName, 'Late.wav');

  const second = store.loadAsync('/media/looper', duo, null);
  store.drop();
  assert.deepEqual(await second, { success: false, superseded: true });
  assert.equal(store.table, null, 'a looper that went away gets no table');

  const missing = new TrackStore(new FakeFiles());
  asyncReads(missing.files);
  assert.equal((await missing.loadAsync('/media/none', duo, null)).success, false);
  assert.equal(missing.busy(), false);
});
