// Import, export and download jobs against a fake host that records calls; the host's
// events are delivered by the tests.
const test = require('node:test');
const assert = require('node:assert/strict');
const Jobs = require('../../page/js/tarn/jobs.js');
const models = require('../../page/js/tarn/models.js');

const floatWave = models.compatibleInstruments[0].wave;
const pcmWave = models.storageOnly(models.compatibleInstruments)[0].wave;

// unplugged(path): the error text the host gives for path once the looper is pulled out
// (from the first move on), or null where it still answers.
function host({ moveFails = false, downloadId = 77, unplugged = null } = {}) {
  const calls = [];
  let pulled = false;
  const dead = (p) => (pulled && unplugged ? unplugged(p) : null);
  const files = {
    unlink: (p) => { calls.push(['unlink', p]); return { success: true }; },
    move: (a, b) => {
      calls.push(['move', a, b]);
      pulled = true;
      return moveFails ? { success: false, reason: 'File exists' } : { success: true };
    },
    page: (p) => p,
    host: (p) => p,
    // Every path is there except under /gone/ (a folder when it ends in a slash, else a file of
    // 1000 bytes); nothing can be written under /full/.
    stat: (p) => (dead(p) ? { success: false, reason: dead(p) } : p.startsWith('/gone/') ? { success: false, reason: 'No such file or directory' }
      : { success: true, data: { size: 1000, directory: p.endsWith('/') } }),
    readable: (p) => (dead(p) ? { success: false, reason: dead(p) } : { success: true }),
    writeString: (p) => (p.startsWith('/full/') ? { success: false, reason: 'No space left on device' } : { success: true }),
  };
  const native = {
    audio: {
      format: (p) => { calls.push(['format', p]); return JSON.stringify({ format: 'MP3', bitrate: 192000, duration: 3 }); },
      convert: (src, opts) => { calls.push(['convert', src, JSON.parse(opts)]); },
    },
    trnWav: {
      alignTo4byteData: (a) => { calls.push(['align', JSON.parse(a)]); },
      convertDataFormat: (a) => { calls.push(['convertDataFormat', JSON.parse(a)]); },
    },
    http: {
      download: (url, to) => { calls.push(['download', url, to]); return downloadId; },
      cancel: (id) => { calls.push(['cancel', id]); },
    },
  };
  const jobs = new Jobs({ native, files, temporary: '/tmp/t/' });
  return { jobs, calls, of: (name) => calls.filter((c) => c[0] === name) };
}

test('an import converts, aligns, moves into the track and removes its temporaries', () => {
  const h = host();
  const outcomes = [];
  assert.equal(h.jobs.importFile('/in/Song.mp3', '/v/CORVANE/WAVE/005_1/Song.wav', floatWave, (o) => outcomes.push(o)), true);
  assert.deepEqual(h.of('convert')[0], ['convert', '/in/Song.mp3',
    { file: '/tmp/t/tmp.wav', format: 'wav', channels: 2, samplerate: 44100, bitdepth: 0, bitrate: 192000 }]);
  h.jobs.onConverted('/in/other.mp3', '["/tmp/t/x.wav"]'); // not ours
  assert.equal(h.of('align').length, 0);
  h.jobs.onConverted('/in/Song.mp3', '["/tmp/t/tmp.wav"]');
  assert.deepEqual(h.of('align')[0][1], { from: '/tmp/t/tmp.wav', to: '/tmp/t/imported.wav', format: 3, bits: 32, sampleRate: 44100 });
  h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1,"samples":132300}');
  assert.deepEqual(h.of('move'), [['move', '/tmp/t/imported.wav', '/v/CORVANE/WAVE/005_1/Song.wav']]);
  assert.deepEqual(outcomes, [{ success: true, data: { dst: '/v/CORVANE/WAVE/005_1/Song.wav' } }]);
  const unlinked = h.of('unlink').map((c) => c[1]);
  assert.ok(unlinked.includes('/tmp/t/tmp.wav') && unlinked.includes('/tmp/t/imported.wav'));
  assert.equal(h.jobs.busy(), false);
});

test('a 16-bit model asks for 16-bit data', () => {
  const h = host();
  h.jobs.importFile('/in/a.wav', '/v/d/a.wav', pcmWave, () => {});
  assert.equal(h.of('convert')[0][2].bitdepth, 16);
  h.jobs.onConverted('/in/a.wav', '["/tmp/t/tmp.wav"]');
  assert.deepEqual(h.of('align')[0][1], { from: '/tmp/t/tmp.wav', to: '/tmp/t/imported.wav', format: 1, bits: 16, sampleRate: 44100 });
});

test('failed conversions, alignments and moves fail the import and clean up', () => {
  for (const failure of ['convert', 'align', 'move']) {
    const h = host({ moveFails: failure === 'move' });
    const outcomes = [];
    h.jobs.importFile('/in/a.mp3', '/v/d/a.wav', floatWave, (o) => outcomes.push(o));
    if (failure === 'convert') h.jobs.onConvertFailed('/in/a.mp3');
    else {
      h.jobs.onConverted('/in/a.mp3', '["/tmp/t/tmp.wav"]');
      h.jobs.onAligned('/tmp/t/tmp.wav', JSON.stringify({ path: '/tmp/t/imported.wav', result: failure === 'align' ? 0 : 1 }));
    }
    assert.equal(outcomes.length, 1, failure);
    assert.equal(outcomes[0].success, false, failure);
    const unlinked = h.of('unlink').map((c) => c[1]);
    assert.ok(unlinked.includes('/tmp/t/tmp.wav'), failure);
    if (failure !== 'convert') assert.ok(unlinked.includes('/tmp/t/imported.wav'), failure);
    assert.ok(!unlinked.includes('/v/d/a.wav'), 'the destination is never removed on failure');
    assert.equal(h.jobs.busy(), false);
  }
});

test('a second job while one runs is refused and the first completes into its own track', () => {
  const h = host();
  const first = [];
  const second = [];
  h.jobs.importFile('/in/one.mp3', '/v/001_1/one.wav', floatWave, (o) => first.push(o));
  assert.equal(h.jobs.importFile('/in/two.mp3', '/v/002_1/two.wav', floatWave, (o) => second.push(o)), false);
  assert.equal(h.jobs.exportTrack('/v/001_1/x.wav', '/home/x.wav', { bits: 16, format: 1 }, (o) => second.push(o)), false);
  assert.equal(h.jobs.download('http://h/k.wav', '/tmp/t/k.wav', '/v/003_1/k.wav', floatWave, { done: (o) => second.push(o) }), false);
  assert.equal(second.length, 3);
  assert.ok(second.every((o) => !o.success && o.busy && o.reason === Jobs.BUSY));
  assert.equal(h.of('convert').length, 1, 'nothing of the refused jobs reached the host');
  assert.equal(h.of('download').length, 0);
  h.jobs.onConverted('/in/one.mp3', '["/tmp/t/tmp.wav"]');
  h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1}');
  assert.deepEqual(h.of('move'), [['move', '/tmp/t/imported.wav', '/v/001_1/one.wav']]);
  assert.deepEqual(first, [{ success: true, data: { dst: '/v/001_1/one.wav' } }]);
});

test('a reserved slot refuses other jobs during the start delay and can be given back', () => {
  const h = host();
  const refused = [];
  const job = h.jobs.reserve('export', () => {});
  assert.equal(h.jobs.importFile('/in/a.mp3', '/v/a.wav', floatWave, (o) => refused.push(o)), false);
  assert.equal(refused[0].busy, true);
  h.jobs.release(job);
  assert.equal(h.jobs.busy(), false);
  const done = [];
  const again = h.jobs.reserve('export', (o) => done.push(o));
  h.jobs.exportTrack('/v/005_1/a.wav', '/home/u/a.wav', { bits: 24, format: 1 }, null, again);
  assert.deepEqual(h.of('convertDataFormat')[0][1], { bits: 24, format: 1, sampleRate: 44100, from: '/v/005_1/a.wav', to: '/home/u/a.wav' });
  assert.deepEqual(h.of('unlink').map((c) => c[1]), ['/home/u/a.wav']);
  h.jobs.onFormatConverted('/v/005_1/a.wav', '{"path":"/home/u/a.wav","result":0}');
  assert.deepEqual(done, [{ success: false, data: { path: '/home/u/a.wav' } }]);
});

test('a download reports progress, then imports the file and removes it', () => {
  const h = host();
  const seen = [];
  h.jobs.download('http://h/k/a%20b.wav', '/tmp/t/a b.wav', '/v/002_1/a b.wav', floatWave, {
    progress: (t, a) => seen.push(['progress', t, a]),
    processing: () => seen.push(['processing']),
    done: (o) => seen.push(['done', o.success]),
  });
  assert.deepEqual(h.of('unlink').map((c) => c[1]), ['/v/002_1/a b.wav', '/tmp/t/a b.wav']);
  h.jobs.onProgress('12', 100, 50); // another task
  h.jobs.onProgress('77', 100, 50);
  h.jobs.onCompleted('77', '/tmp/t/a b.wav');
  assert.equal(h.of('convert')[0][1], '/tmp/t/a b.wav');
  h.jobs.onCompleted('77', '/tmp/t/a b.wav'); // repeated: ignored
  assert.equal(h.of('convert').length, 1);
  h.jobs.onConverted('/tmp/t/a b.wav', '["/tmp/t/tmp.wav"]');
  h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1}');
  assert.deepEqual(seen, [['progress', 100, 50], ['processing'], ['done', true]]);
  assert.equal(h.of('unlink').at(-1)[1], '/tmp/t/a b.wav');
});

test('download errors and cancels free the slot; late events of a cancelled task are ignored', () => {
  const h = host();
  const outcomes = [];
  h.jobs.download('http://h/missing.wav', '/tmp/t/m.wav', '/v/m.wav', floatWave, { done: (o) => outcomes.push(o) });
  h.jobs.onError('77', 'http://h/missing.wav');
  assert.deepEqual(outcomes, [{ success: false, reason: 'download' }]);
  assert.equal(h.jobs.busy(), false);

  h.jobs.download('http://h/big.wav', '/tmp/t/b.wav', '/v/b.wav', floatWave, { done: (o) => outcomes.push(o) });
  assert.equal(h.jobs.cancelDownload(), true);
  assert.deepEqual(h.of('cancel'), [['cancel', '77']]);
  assert.equal(h.jobs.busy(), false);
  h.jobs.onCompleted('77', '/tmp/t/b.wav');
  assert.equal(h.of('convert').length, 0);
  assert.equal(outcomes.length, 1);
});

test('a cancelled import moves nothing, removes its temporaries and frees the slot', () => {
  const h = host();
  const outcomes = [];
  h.jobs.importFile('/in/Long.mp3', '/v/d/Long.wav', floatWave, (o) => outcomes.push(o));
  assert.equal(h.jobs.cancel(), true);
  assert.equal(h.jobs.busy(), true, 'the host\'s conversion still has to report back');
  h.jobs.onConverted('/in/Long.mp3', '["/tmp/t/tmp.wav"]');
  assert.equal(h.of('align').length, 0, 'nothing more is started');
  assert.deepEqual(h.of('move'), []);
  assert.ok(h.of('unlink').some((c) => c[1] === '/tmp/t/tmp.wav'));
  assert.deepEqual(outcomes, [{ success: false, cancelled: true, data: { dst: '/v/d/Long.wav' } }]);
  assert.equal(h.jobs.busy(), false);

  // Cancelled while aligning: the aligned file is deleted, never moved.
  const later = [];
  h.jobs.importFile('/in/B.mp3', '/v/d/B.wav', floatWave, (o) => later.push(o));
  h.jobs.onConverted('/in/B.mp3', '["/tmp/t/tmp.wav"]');
  h.jobs.cancel();
  h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1}');
  assert.deepEqual(h.of('move'), []);
  assert.ok(h.of('unlink').some((c) => c[1] === '/tmp/t/imported.wav'));
  assert.equal(later[0].cancelled, true);

  // Cancelled before its delayed start: the reservation goes and the start does nothing.
  const reserved = [];
  const job = h.jobs.reserve('import', (o) => reserved.push(o));
  h.jobs.cancel();
  assert.deepEqual(reserved, [{ success: false, cancelled: true }]);
  assert.equal(h.jobs.importFile('/in/C.mp3', '/v/d/C.wav', floatWave, () => {}, job), false);
  assert.equal(h.of('convert').length, 2);
  assert.equal(h.jobs.cancel(), false, 'nothing left to cancel');
});

test('failures carry the reason in plain words', () => {
  const h = host({ moveFails: true });
  const outcomes = [];
  h.jobs.importFile('/in/a.mp3', '/v/d/a.wav', floatWave, (o) => outcomes.push(o));
  h.jobs.onConverted('/in/a.mp3', '["/tmp/t/tmp.wav"]');
  h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1}');
  assert.equal(outcomes[0].success, false);
  assert.equal(outcomes[0].reason, 'A file of that name is already there.');
  h.jobs.importFile('/in/b.mp3', '/v/d/b.wav', floatWave, (o) => outcomes.push(o));
  h.jobs.onConvertFailed('/in/b.mp3');
  assert.match(outcomes[1].reason, /no audio Tarn can read/);
  // An export that could not be written says why: the folder is gone, or the disk is full.
  for (const [to, reason] of [['/gone/x.wav', 'The folder /gone/ does not exist.'], ['/full/x.wav', 'There is not enough free space on the volume.']]) {
    h.jobs.exportTrack('/v/001_1/a.wav', to, { bits: 16, format: 1 }, (o) => outcomes.push(o));
    h.jobs.onFormatConverted('/v/001_1/a.wav', '{"result":0}');
    assert.equal(outcomes.pop().reason, reason);
  }
  assert.ok(h.of('unlink').some((c) => c[1] === '/full/.tarn-write-check'), 'the check leaves nothing behind');
});

test('a looper pulled out as its track is written or read: the failure says the device is gone and keeps no track', () => {
  const track = '/media/u/EDDY/CORVANE/WAVE/002_1/long.wav';
  // The kernel's error while the dead mount stays; "not there" once the desktop unmounted
  // it; a bad read on a volume that still answers is told as such.
  for (const [error, reason] of [['No such device', 'The device is gone (unplugged or switched off).'],
    ['No such file or directory', 'The device is gone (unplugged or switched off).'],
    ['Input/output error', 'The device could not be read or written (input/output error).']]) {
    const onVolume = error === 'Input/output error' ? (p) => (p === track ? error : null) : (p) => (p.startsWith('/media/u/') ? error : null);
    const h = host({ unplugged: onVolume });
    const outcomes = [];
    // The host's move reported success: the name never reached the volume.
    h.jobs.importFile('/in/long.wav', track, floatWave, (o) => outcomes.push(o));
    h.jobs.onConverted('/in/long.wav', '["/tmp/t/tmp.wav"]');
    h.jobs.onAligned('/tmp/t/tmp.wav', '{"path":"/tmp/t/imported.wav","result":1}');
    assert.deepEqual([outcomes[0].success, outcomes[0].reason], [false, reason], error);
    assert.ok(h.of('unlink').some((c) => c[1] === track), 'no track name is left on the volume');
    h.jobs.exportTrack(track, '/home/u/long.wav', { bits: 16, format: 1 }, (o) => outcomes.push(o));
    h.jobs.onFormatConverted(track, '{"result":0}');
    assert.deepEqual([outcomes[1].success, outcomes[1].reason], [false, reason], error);
  }
});

test('conversion progress reaches the import\'s handler as a growing share, for its own source only', () => {
  const h = host();
  const shown = [];
  h.jobs.importFile('/in/Long.mp3', '/v/d/Long.wav', floatWave, () => {}, null, (p) => shown.push(p));
  h.jobs.onConvertProgress('/in/other.mp3', '50');
  h.jobs.onConvertProgress('/in/Long.mp3', '0');
  h.jobs.onConvertProgress('/in/Long.mp3', '40');
  h.jobs.onConvertProgress('/in/Long.mp3', '40.5');
  h.jobs.onConvertProgress('/in/Long.mp3', '30'); // late, out of order
  h.jobs.onConvertProgress('/in/Long.mp3', '100');
  h.jobs.onConvertProgress('/in/Long.mp3', 'garbage');
  assert.deepEqual(shown, [0, 38, 95], 'the last steps after the conversion are the rest of the bar');
  h.jobs.onConverted('/in/Long.mp3', '["/tmp/t/tmp.wav"]');
  h.jobs.onConvertProgress('/in/Long.mp3', '100');
  assert.deepEqual(shown, [0, 38, 95], 'nothing once the conversion is over');
});

test('a downloaded file\'s import tells its progress and can be cancelled, keeping nothing', () => {
  const h = host();
  const shown = [];
  const outcomes = [];
  h.jobs.download('http://x/a.wav', '/tmp/t/a.wav', '/v/d/a.wav', floatWave, {
    importing: (p) => shown.push(p), done: (o) => outcomes.push(o),
  });
  h.jobs.onCompleted('77');
  h.jobs.onConvertProgress('/tmp/t/a.wav', '20');
  assert.deepEqual(shown, [19]);
  assert.equal(h.jobs.cancel(), true);
  h.jobs.onConverted('/tmp/t/a.wav', '["/tmp/t/tmp.wav"]');
  assert.equal(outcomes.length, 1);
  assert.equal(outcomes[0].cancelled, true);
  assert.deepEqual(h.of('move'), [], 'nothing is moved onto the looper');
  assert.ok(h.of('unlink').some((c) => c[1] === '/tmp/t/a.wav'), 'the download goes');
  assert.equal(h.jobs.busy(), false);
});
