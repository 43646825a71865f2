// Track folders, the track table, labels, import names and the length rule.
const test = require('node:test');
const assert = require('node:assert/strict');
const tracks = require('../../page/js/tarn/tracks.js');
const models = require('../../page/js/tarn/models.js');
const { FakeFiles, layoutVolume } = require('./fakeVolume.js');

const texts = { Memory: 'Memory', Track: 'Track', 'Data is too short.': 'Data is too short.', 'Data is too long.': 'Data is too long.' };
const eddyOne = models.compatibleInstruments[0];
const banks = models.compatibleInstruments.find((r) => r.numofBank === 8);

test('track folders: pattern and bounds', () => {
  assert.deepEqual(tracks.parseFolder('012_3', 99, 5), { memory: 11, track: 2 });
  assert.equal(tracks.parseFolder('100_1', 99, 5), null);
  assert.equal(tracks.parseFolder('001_0', 99, 5), null);
  assert.equal(tracks.parseFolder('000_1', 99, 5), null);
  assert.equal(tracks.parseFolder('012_3', 99, 2), null);
  assert.equal(tracks.parseFolder('065_1', 64, 2), null);
  assert.equal(tracks.parseFolder('01_1', 99, 5), null);
  assert.equal(tracks.parseFolder('012_3x', 99, 5), null);
  assert.equal(tracks.folderName(4, 0), '005_1');
});

test('labels: one bank counts on, eight banks of eight read B-M', () => {
  assert.equal(tracks.memoryLabel(11, eddyOne, texts), 'Memory 12');
  assert.equal(tracks.memoryLabel(9, banks, texts), 'Memory 2-2');
  assert.equal(tracks.memoryLabel(0, banks, texts), 'Memory 1-1');
  assert.equal(tracks.memoryLabel(63, banks, texts), 'Memory 8-8');
  assert.equal(tracks.trackLabel(1, texts), 'Track 2');
  assert.equal(tracks.deleteQuestion(9, 1, banks, texts), 'Delete Memory 2-2, Track 2.');
});

test('the import destination keeps the base name and ends in .wav', () => {
  const dir = tracks.waveFolder('/media/looper/') + tracks.folderName(4, 0) + '/';
  assert.equal(tracks.importDestination(dir, '/home/u/Music/Song.Final.mp3'), '/media/looper/CORVANE/WAVE/005_1/Song.Final.wav');
  assert.equal(tracks.importName('C:\\x\\take'), 'take.wav');
  assert.equal(tracks.importName('/x/.hidden'), '.hidden.wav');
  assert.deepEqual(tracks.exportProposal('Song.Final.WAV'), { name: 'Song.Final.WAV', ext: 'WAV' });
  assert.deepEqual(tracks.exportProposal('take'), { name: 'take.wav', ext: 'wav' });
  // The looper's FAT volume refuses some characters: they become "_", the rest stays.
  assert.equal(tracks.importName('/m/What? Live.mp3'), 'What_ Live.wav');
  assert.equal(tracks.importName('/m/a:b*c"d<e>f|g.m4a'), 'a_b_c_d_e_f_g.wav');
  assert.equal(tracks.importName('/m/Köln — Nacht.mp3'), 'Köln — Nacht.wav', 'letters outside ASCII stay');
  assert.equal(tracks.importName('/m/trailing. .mp3'), 'trailing.wav');
  assert.equal(tracks.importName('/m/???.mp3'), '___.wav');
});

test('the length check counts samples at 44.1 kHz', () => {
  assert.equal(tracks.lengthProblem(0.04, eddyOne.wave, texts), 'Data is too short.');
  assert.equal(tracks.lengthProblem(0.05, eddyOne.wave, texts), null);
  assert.equal(tracks.lengthProblem(2 ** 28 / 44100 + 1, eddyOne.wave, texts), 'Data is too long.');
  assert.equal(tracks.lengthProblem(0.001, banks.wave, texts), null, 'no minimum for storage-only models');
  assert.equal(tracks.lengthProblem(2 ** 28 / 44100 + 1, banks.wave, texts), 'Data is too long.');
});

test('reading the table takes the first WAV file of each folder inside the layout', () => {
  const files = new FakeFiles();
  const wave = '/m/CORVANE/WAVE';
  files.add('/m', 'CORVANE', true).add('/m/CORVANE', 'WAVE', true);
  files.add(wave, '001_1', true).add(wave + '/001_1', 'notes.txt').add(wave + '/001_1', 'sub.wav', true)
    .add(wave + '/001_1', 'Take.WAV').add(wave + '/001_1', 'other.wav');
  files.add(wave, '002_1', true);
  files.add(wave, '003_1', true);
  files.failing.add(wave + '/003_1');
  files.add(wave, '100_1', true).add(wave + '/100_1', 'x.wav');
  files.add(wave, '004_1'); // a file, not a folder
  const scans = [];
  const read = tracks.readTable(files, '/m', eddyOne, (on) => scans.push(on));
  assert.equal(read.success, true);
  assert.equal(read.data.length, 99);
  assert.deepEqual(read.data[0][0], { dirName: wave + '/001_1/', fileName: 'Take.WAV' });
  assert.deepEqual(read.data[1][0], { dirName: wave + '/002_1/', fileName: '' });
  assert.deepEqual(read.data[2][0], { dirName: '', fileName: '' }, 'an unreadable folder is skipped');
  assert.deepEqual(read.data[3][0], { dirName: '', fileName: '' });
  assert.deepEqual(scans, [true, false]);
  assert.equal(tracks.readTable(new FakeFiles(), '/m', eddyOne).success, false);
});

test('the storage check wants every folder of the layout', () => {
  const files = layoutVolume('/m', 2, 64);
  assert.equal(tracks.storageCheck(files, '/m', banks), true);
  files.tree.set('/m/CORVANE/WAVE', files.tree.get('/m/CORVANE/WAVE').filter((e) => e.name !== '064_2'));
  assert.equal(tracks.storageCheck(files, '/m', banks), false);
  assert.equal(tracks.storageCheck(files, '', banks), false);
});
