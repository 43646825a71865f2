// Peaks requests: the same file and width asked twice is one host job; answers reach the
// right request whichever order they come in, and a failure rejects with the host's words.
const test = require('node:test');
const assert = require('node:assert/strict');
const { Peaks } = require('../../page/js/tarn/peaks.js');

function host() {
  const calls = [];
  const native = { trnWav: { event: {} }, call: (name, path, columns) => { calls.push([name, path, columns]); return calls.length; } };
  return { native, calls, send: (job, body) => native.trnWav.event.peaks(String(job), JSON.stringify(body)) };
}

test('one job per file and width; answers in any order; errors reject', async () => {
  const h = host();
  const peaks = new Peaks(h.native);
  const a = peaks.get('/v/a.wav', 300);
  assert.equal(peaks.get('/v/a.wav', 300), a, 'a second request waits for the same job');
  const b = peaks.get('/v/b.wav', 300);
  const wide = peaks.get('/v/a.wav', 900.4);
  assert.deepEqual(h.calls, [['$$trnWav_peaks', '/v/a.wav', '300'], ['$$trnWav_peaks', '/v/b.wav', '300'],
    ['$$trnWav_peaks', '/v/a.wav', '900']]);
  h.send(2, { path: '/v/b.wav', error: 'The file ends before its sound does (it is cut short).' });
  h.send(1, { path: '/v/a.wav', columns: 300, min: [-0.5], max: [0.5], frames: 10, sampleRate: 44100 });
  h.send(3, { path: '/v/a.wav', columns: 900, min: [], max: [], frames: 10, sampleRate: 44100 });
  assert.equal((await a).columns, 300);
  assert.equal((await wide).columns, 900);
  await assert.rejects(b, /cut short/);
  // Done requests are asked again (the host's cache makes that cheap).
  peaks.get('/v/a.wav', 300);
  assert.equal(h.calls.length, 4);
});

test('an answer that comes before the call returns is kept for its job', async () => {
  const h = host();
  h.native.call = () => { h.send(7, { path: '/v/x.wav', columns: 2, min: [0, 0], max: [0, 0], frames: 2, sampleRate: 8000 }); return 7; };
  const peaks = new Peaks(h.native);
  assert.equal((await peaks.get('/v/x.wav', 2)).sampleRate, 8000);
});
