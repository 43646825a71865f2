// The grid's own rules: what a cell says, where files go, and the selection of several cells.
const test = require('node:test');
const assert = require('node:assert/strict');
const grid = require('../../page/js/tarn/grid.js');
const tracks = require('../../page/js/tarn/tracks.js');
const models = require('../../page/js/tarn/models.js');

const eddySix = models.compatibleInstruments.find((r) => r.name === 'Eddy Six');
const banks = models.compatibleInstruments.find((r) => r.numofBank === 8);

function layout(memories, width, used) {
  const table = tracks.emptyTable(memories, width);
  table.forEach((row, m) => row.forEach((cell, t) => { cell.dirName = `/v/CORVANE/WAVE/${tracks.folderName(m, t)}/`; }));
  for (const [m, t] of used) table[m][t].fileName = `take ${m}-${t}.wav`;
  return table;
}

test('a cell names itself with its place, file and length', () => {
  const cell = { dirName: '/v/CORVANE/WAVE/003_2/', fileName: 'Loop.wav' };
  assert.equal(grid.cellName(2, 1, cell, eddySix, { frames: 220500, sampleRate: 44100 }), 'Memory 3, track 2: Loop.wav, 0:05.000');
  assert.equal(grid.cellName(2, 1, cell, eddySix, undefined), 'Memory 3, track 2: Loop.wav', 'length not read yet');
  assert.equal(grid.cellName(9, 0, { dirName: '/x/', fileName: '' }, banks, null), 'Memory 2-2, track 1: empty');
});

test('lengths read m:ss.mmm, never rounded up; formats as a musician reads them', () => {
  assert.equal(grid.lengthText(44099, 44100), '0:00.999');
  assert.equal(grid.lengthText(44100 * 61.5, 44100), '1:01.500');
  assert.equal(grid.lengthText(44100 * 600, 44100), '10:00.000');
  assert.equal(grid.lengthText(10, 0), '');
  assert.equal(grid.formatText({ sampleRate: 44100, format: 'float' }), '44.1 kHz 32-bit float');
  assert.equal(grid.formatText({ sampleRate: 48000, format: '16' }), '48 kHz 16-bit');
  assert.equal(grid.sizeText(3900000000), '3.9 GB');
  assert.equal(grid.sizeText(512), '512 bytes');
});

test('files fill the cell and the empty cells after it, memory-major, or nothing at all', () => {
  const table = layout(3, 2, [[0, 1], [1, 0]]);
  assert.deepEqual(grid.fillTargets(table, { memory: 0, track: 0 }, 3),
    [{ memory: 0, track: 0 }, { memory: 1, track: 1 }, { memory: 2, track: 0 }]);
  assert.equal(grid.fillTargets(table, { memory: 1, track: 1 }, 4), null, 'only three empty cells from there');
  assert.equal(grid.fillTargets(table, { memory: 0, track: 0 }, 0), null);
  table[2][1].dirName = ''; // a missing track folder takes nothing
  assert.equal(grid.fillTargets(table, { memory: 2, track: 0 }, 2), null);
});

test('an import fills the selected empty cells first, then goes on after the last one', () => {
  const table = layout(3, 2, [[0, 1]]);
  const picked = [{ memory: 2, track: 0 }, { memory: 0, track: 1 }, { memory: 0, track: 0 }];
  assert.deepEqual(grid.importTargets(table, picked, 2), [{ memory: 0, track: 0 }, { memory: 2, track: 0 }]);
  assert.deepEqual(grid.importTargets(table, picked, 3),
    [{ memory: 0, track: 0 }, { memory: 2, track: 0 }, { memory: 2, track: 1 }]);
  assert.equal(grid.importTargets(table, picked, 4), null);
  assert.deepEqual(grid.importTargets(table, [{ memory: 0, track: 1 }], 1), [{ memory: 1, track: 0 }], 'a used cell points on');
});

test('selection: click, Shift range from the anchor, Ctrl toggle, all', () => {
  const sel = new grid.Selection(12);
  sel.pick(3);
  sel.pick(6, { extend: true });
  assert.deepEqual(sel.list(), [3, 4, 5, 6]);
  sel.pick(1, { extend: true });
  assert.deepEqual(sel.list(), [1, 2, 3], 'the range turns about the anchor');
  sel.pick(9, { toggle: true });
  sel.pick(2, { toggle: true });
  assert.deepEqual(sel.list(), [1, 3, 9]);
  sel.pick(40);
  assert.deepEqual(sel.list(), [11], 'kept inside the grid');
  sel.all();
  assert.equal(sel.list().length, 12);
});

test('the window and the command line take the same audio files', () => {
  for (const name of ['a.wav', 'b.FLAC', 'c.aiff', 'd.aif', 'e.mp3', 'f.m4a', 'g.ogg', 'h.opus', 'i.aac']) {
    assert.ok(grid.isAudioName(name), name);
  }
  for (const name of ['notes.txt', '.hidden.wav', 'wav', 'cover.jpg']) assert.ok(!grid.isAudioName(name), name);
});
