// The page's own file chooser: which entries a dialog lists, the way up, and the path a
// typed name stands for.
const test = require('node:test');
const assert = require('node:assert/strict');
const chooser = require('../../page/js/ui/chooser.js');

const entries = [
  { name: 'notes.txt', directory: false }, { name: 'Take.MP3', directory: false }, { name: 'b', directory: true },
  { name: '.hidden', directory: true }, { name: 'A', directory: true }, { name: 'loop.wav', directory: false },
  { name: '.tmp.wav', directory: false }, { name: 'wav', directory: false },
];
const names = (list) => list.map((e) => e.name);

test('an open dialog lists folders, then the files of its extensions in any case; hidden ones never', () => {
  assert.deepEqual(names(chooser.visible(entries, 'openfilename', ['wav', 'mp3'])), ['A', 'b', 'loop.wav', 'Take.MP3']);
  assert.deepEqual(names(chooser.visible(entries, 'openfilename', [])), ['A', 'b', 'loop.wav', 'notes.txt', 'Take.MP3', 'wav']);
  assert.deepEqual(names(chooser.visible(entries, 'openfilenames', ['wav'])), ['A', 'b', 'loop.wav']);
  assert.deepEqual(names(chooser.visible(entries, 'savefilename', ['wav'])), ['A', 'b', 'loop.wav', 'notes.txt', 'Take.MP3', 'wav']);
  assert.deepEqual(names(chooser.visible(entries, 'choosefolder')), ['A', 'b']);
  assert.deepEqual(chooser.visible(null, 'openfilename'), []);
});

test('up goes one folder higher and stops at the root', () => {
  assert.equal(chooser.parent('/home/u/Music/'), '/home/u/');
  assert.equal(chooser.parent('/home/u/Music'), '/home/u/');
  assert.equal(chooser.parent('/home/'), '/');
  assert.equal(chooser.parent('/'), '/');
});

test('a typed name gets the extension only when it has none; names that cannot be files are refused', () => {
  assert.equal(chooser.saveTarget('/d', 'Mixdown', 'wav'), '/d/Mixdown.wav');
  assert.equal(chooser.saveTarget('/d/', ' Song.Final.wav ', 'wav'), '/d/Song.Final.wav');
  assert.equal(chooser.saveTarget('/d/', 'Song.Final', 'wav'), '/d/Song.Final', 'a dot means the user gave one');
  assert.equal(chooser.saveTarget('/d/', 'Plain', ''), '/d/Plain');
  for (const bad of ['', '   ', '.', '..', 'a/b', '../x']) assert.equal(chooser.saveTarget('/d/', bad, 'wav'), null, bad);
});
