// The catalogue's order, language and download addresses.
const test = require('node:test');
const assert = require('node:assert/strict');
const catalogue = require('../../page/js/tarn/catalogue.js');

test('track sets are sorted newest first, undated ones last', () => {
  const doc = catalogue.parse(JSON.stringify({
    totalResults: 4,
    items: [{ date: '2024-01-05', id: 'a' }, { id: 'x' }, { date: '2025-03-01T10:00:00Z', id: 'b' }, { date: '2024-11-30', id: 'c' }],
  }));
  assert.deepEqual(doc.items.map((i) => i.id), ['b', 'c', 'a', 'x']);
  assert.throws(() => catalogue.parse('{"items": 3}'));
  assert.throws(() => catalogue.parse('<html>'));
});

test('download addresses encode each key segment but keep the slashes', () => {
  assert.equal(catalogue.downloadAddress('http://127.0.0.1:8080/files/', 'sets/Jazz & Blues/Take #1?.wav'),
    'http://127.0.0.1:8080/files/sets/Jazz%20%26%20Blues/Take%20%231%3F.wav');
  assert.equal(catalogue.downloadAddress('https://c.example/', 'ja/ドラム.wav'),
    'https://c.example/ja/%E3%83%89%E3%83%A9%E3%83%A0.wav');
  assert.equal(catalogue.fileName('sets/Jazz & Blues/Take #1.wav'), 'Take #1.wav');
  assert.equal(catalogue.fileName('plain.wav'), 'plain.wav');
});

test('language and progress', () => {
  assert.equal(catalogue.language('ja-JP'), 'ja');
  assert.equal(catalogue.language('en-GB'), 'en');
  assert.equal(catalogue.language(undefined), 'en');
  assert.equal(catalogue.percent(3, 2), 66);
  assert.equal(catalogue.percent(0, 500), 0, 'an unknown total shows 0 rather than NaN');
  assert.equal(catalogue.localised({ lang: { en: { title: 'E' } } }, 'ja').title, 'E');
});

test('a typed catalogue address: web and file addresses stay, folders and .json paths become file:// addresses', () => {
  assert.equal(catalogue.documentAddress(' https://example.org/c.json '), 'https://example.org/c.json');
  assert.equal(catalogue.documentAddress('file:///srv/c/tracksets.json'), 'file:///srv/c/tracksets.json');
  assert.equal(catalogue.documentAddress('/media/usb/Band Loops'), 'file:///media/usb/Band%20Loops/tracksets.json');
  assert.equal(catalogue.documentAddress('/media/usb/Band Loops//'), 'file:///media/usb/Band%20Loops/tracksets.json');
  assert.equal(catalogue.documentAddress('/srv/#1/mine.JSON'), 'file:///srv/%231/mine.JSON');
  // Nothing, or a relative path, is no address: the built-in catalogue is used.
  assert.equal(catalogue.documentAddress(''), '');
  assert.equal(catalogue.documentAddress('loops/here'), '');
});

test('a relative contentDomain is the document folder\'s; keys then resolve to the files', () => {
  const base = 'file:///media/usb/Band%20Loops/tracksets.json';
  const domain = catalogue.resolve('./', base);
  assert.equal(domain, 'file:///media/usb/Band%20Loops/');
  assert.equal(catalogue.downloadAddress(domain, 'Spring 24/01 Intro #1.wav'), 'file:///media/usb/Band%20Loops/Spring%2024/01%20Intro%20%231.wav');
  assert.equal(catalogue.resolve('content/', 'http://127.0.0.1:8080/cat/tracksets.json'), 'http://127.0.0.1:8080/cat/content/');
  assert.equal(catalogue.resolve('../files/', 'http://h/a/b/doc.json'), 'http://h/a/files/');
  // Absolute domains, and documents without an address, stay as they are.
  assert.equal(catalogue.resolve('https://cdn.example/x/', base), 'https://cdn.example/x/');
  assert.equal(catalogue.resolve('', ''), '');
});

test('what a hostile catalogue sends: bounded documents, plain file names, web-only players and images', () => {
  // Keys that lead out of the track folder, hide, or hold what FAT refuses give no name.
  for (const key of ['..', 'x/..', 'a/', '', '.tarn-copy-a.wav.abc123', 'a\\b.wav', 'a:b.wav', 'x'.repeat(256) + '.wav', 'end. ']) {
    assert.equal(catalogue.fileName(key), '', JSON.stringify(key));
  }
  assert.equal(catalogue.fileName('sets/ドラム.wav'), 'ドラム.wav');
  assert.equal(catalogue.fileName('a/' + 'é'.repeat(128) + '.wav'), '', 'over 255 bytes in UTF-8');
  // Too big or too many: refused with a plain message; not JSON stays the "broken" case.
  assert.throws(() => catalogue.parse(' '.repeat(catalogue.MAX_DOCUMENT_BYTES + 1)), (e) => e.plain === catalogue.TOO_LARGE);
  assert.throws(() => catalogue.parse(JSON.stringify({ items: new Array(5001).fill({}) })), (e) => /too many/.test(e.plain));
  const caption = new Array(1001).fill({ no: 1 });
  assert.throws(() => catalogue.parse(JSON.stringify({ items: [{ lang: { en: { caption } } }] })), (e) => /too many/.test(e.plain));
  assert.throws(() => catalogue.parse('<html>'), (e) => !e.plain);
  // Images and players: web addresses; file: images only in a catalogue read from files.
  assert.equal(catalogue.imageAddress('file:///etc/passwd', 'https://c.example/tracksets.json'), '');
  assert.equal(catalogue.imageAddress('file:///m/cover.png', 'file:///m/tracksets.json'), 'file:///m/cover.png');
  assert.equal(catalogue.imageAddress('javascript:alert(1)', 'file:///m/tracksets.json'), '');
  assert.equal(catalogue.webAddress('javascript:alert(1)//https://x'), '');
  assert.equal(catalogue.webAddress('https://player.example/embed/1'), 'https://player.example/embed/1');
});
