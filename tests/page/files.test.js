// The page's file layer: host separators and failures turned into results.
const test = require('node:test');
const assert = require('node:assert/strict');
const Files = require('../../page/js/tarn/files.js');

function fakeFs(separator) {
  const calls = [];
  return {
    calls,
    separator: () => separator,
    contents: (p) => { calls.push(['contents', p]); if (p.includes('missing')) throw new Error('No such file or directory'); return '[{"name":"a"}]'; },
    move: (a, b) => { calls.push(['move', a, b]); },
    path: (where) => (separator === '\\' ? 'C:\\Users\\u\\AppData\\Local\\Temp' : '/tmp/u'),
    volumes: () => 'not json',
  };
}

test('with a backslash host every "/" becomes "\\" on the way out and back', () => {
  const fs = fakeFs('\\');
  const files = new Files(fs);
  files.move('E:/CORVANE/WAVE/005_1/a.wav', 'E:/x.wav');
  assert.deepEqual(fs.calls[0], ['move', 'E:\\CORVANE\\WAVE\\005_1\\a.wav', 'E:\\x.wav']);
  assert.deepEqual(files.folder('temporary'), { success: true, data: 'C:/Users/u/AppData/Local/Temp/' });
});

test('a "/" host keeps paths; failures become {success: false, reason}', () => {
  const fs = fakeFs('/');
  const files = new Files(fs);
  assert.deepEqual(files.contents('/media/x/'), { success: true, data: [{ name: 'a' }] });
  assert.deepEqual(files.contents('/media/missing'), { success: false, reason: 'No such file or directory' });
  assert.equal(files.volumes().success, false);
  assert.equal(files.folder('temporary').data, '/tmp/u/');
  assert.equal(new Files({ separator: () => undefined }).separator, '/', 'a host without fs falls back to "/"');
});

test('contentsAsync answers like contents, through the promise form of the call', async () => {
  const files = new Files(fakeFs('/'));
  const calls = [];
  const callAsync = (name, path) => {
    calls.push([name, path]);
    if (path.includes('missing')) return Promise.reject(new Error('No such file or directory'));
    if (path.includes('garbled')) return Promise.resolve('[{"na');
    return Promise.resolve('[{"name":"a"}]');
  };
  assert.deepEqual(await files.contentsAsync('/v/W', callAsync), { success: true, data: [{ name: 'a' }] });
  assert.deepEqual(calls, [['$$fs_contents', '/v/W']]);
  const blocking = files.fs.calls.length;
  assert.equal(files.fs.calls.length, blocking, 'no blocking call when the promise answers');
  assert.deepEqual(await files.contentsAsync('/v/missing', callAsync), { success: false, reason: 'No such file or directory' });
  assert.deepEqual(await files.contentsAsync('/v/garbled', callAsync), { success: true, data: [{ name: 'a' }] },
    'a transport that fails: the blocking call answers');
  assert.deepEqual(await files.contentsAsync('/v/W'), { success: true, data: [{ name: 'a' }] }, 'without it: the blocking call');
});

test('plain reasons: a disk pulled out reads as gone, whether the kernel says EIO or ENODEV', () => {
  assert.equal(Files.plainReason('No such device'), 'The device is gone (unplugged or switched off).');
  assert.equal(Files.plainReason('No such device or address'), 'The device is gone (unplugged or switched off).');
  assert.equal(Files.plainReason('Input/output error'), 'The device could not be read or written (input/output error).');
  assert.equal(Files.plainReason('No such file or directory'), 'The file is not there (any more).');
});
