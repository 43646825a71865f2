// The track table over random folder listings of a looper volume, as a hostile or broken
// volume may hold them: folder names in and out of the layout and in every near-miss
// form, files where folders belong, WAV and other names in any case, folders that cannot
// be read. The command line's reading and the window's kept table must agree with an
// independent reading, and neither may throw.
const test = require('node:test');
const assert = require('node:assert/strict');
const models = require('../../page/js/tarn/models.js');
const tracks = require('../../page/js/tarn/tracks.js');
const TrackStore = require('../../page/js/tarn/trackStore.js');
const { FakeFiles } = require('./fakeVolume.js');

const VOLUME = '/media/looper';
const WAVE = VOLUME + '/CORVANE/WAVE';

// A small deterministic generator, so that a failing case can be run again.
function random(seed) {
  let s = seed >>> 0;
  const next = () => { s = (s * 1664525 + 1013904223) >>> 0; return s / 4294967296; };
  return { next, pick: (list) => list[Math.floor(next() * list.length)], int: (n) => Math.floor(next() * n) };
}

const FOLDER_FORMS = [
  (m, t) => `${String(m).padStart(3, '0')}_${t}`,
  (m, t) => `${m}_${t}`,
  (m, t) => `${String(m).padStart(3, '0')}-${t}`,
  (m, t) => `${String(m).padStart(3, '0')}_${t} `,
  (m, t) => `${String(m).padStart(4, '0')}_${t}`,
  () => '..',
  () => '',
];
const FILE_NAMES = ['take.wav', 'TAKE.WAV', 'a.Wav', 'notes.txt', 'x.wav.tmp', '.hidden.wav', 'wav', '.wav', 'b.mp3', 'ü.wav'];

function randomVolume(r, row) {
  const files = new FakeFiles();
  files.add(VOLUME, 'CORVANE', true).add(VOLUME + '/CORVANE', 'WAVE', true);
  const memories = models.memories(row);
  const count = r.int(40);
  for (let i = 0; i < count; i++) {
    const name = r.pick(FOLDER_FORMS)(r.int(memories + 3), r.int(row.numofTrackParMem + 2));
    if (!name || files.lookup(WAVE + '/' + name)) continue;
    const folder = r.next() < 0.15 ? false : true;
    files.add(WAVE, name, folder);
    if (!folder) continue;
    if (r.next() < 0.1) files.failing.add(WAVE + '/' + name);
    const entries = r.int(5);
    for (let j = 0; j < entries; j++) {
      const file = r.pick(FILE_NAMES);
      if (!files.lookup(WAVE + '/' + name + '/' + file)) files.add(WAVE + '/' + name, file, r.next() < 0.2);
    }
  }
  return files;
}

// What the table must be, read straight from the fake volume's own tree.
function expected(files, row) {
  const memories = models.memories(row);
  const table = tracks.emptyTable(memories, row.numofTrackParMem);
  for (const entry of files.tree.get(WAVE)) {
    const match = /^(\d{3})_(\d)$/.exec(entry.name);
    if (!entry.directory || !match) continue;
    const m = Number(match[1]) - 1;
    const t = Number(match[2]) - 1;
    if (m < 0 || m >= memories || t < 0 || t >= row.numofTrackParMem) continue;
    if (files.failing.has(WAVE + '/' + entry.name)) continue;
    const cell = table[m][t];
    cell.dirName = WAVE + '/' + entry.name + '/';
    const wav = files.tree.get(WAVE + '/' + entry.name).find((e) => !e.directory && /\.wav$/i.test(e.name));
    cell.fileName = wav ? wav.name : '';
  }
  return table;
}

test('the command line and the window read any folder listing to the same table', () => {
  const rows = [models.compatibleInstruments.find((r) => r.name === 'Pool Duo'), models.compatibleInstruments.find((r) => r.name === 'Eddy Six')];
  for (let seed = 1; seed <= 400; seed++) {
    const r = random(seed);
    const row = rows[seed % rows.length];
    const files = randomVolume(r, row);
    const want = expected(files, row);
    const read = tracks.readTable(files, VOLUME, row);
    assert.equal(read.success, true, `seed ${seed}`);
    assert.deepEqual(read.data, want, `seed ${seed}: the command line's table`);
    const store = new TrackStore(files);
    assert.equal(store.load(VOLUME, row).success, true, `seed ${seed}`);
    assert.deepEqual(store.table, want, `seed ${seed}: the window's table`);
  }
});
