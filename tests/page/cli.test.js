// The command line's driver against a fake host, a fake looper (volume and MIDI side)
// and a fake audio pipeline, on a virtual clock.
const test = require('node:test');
const assert = require('node:assert/strict');
const cliArgs = require('../../page/js/cli/args.js');
const output = require('../../page/js/cli/output.js');
const commands = require('../../page/js/cli/commands.js');
const models = require('../../page/js/tarn/models.js');
const sysex = require('../../page/js/tarn/sysex.js');
const { makeRig, wavBytes, eddyDuo } = require('./cliRig.js');

const poolFive = models.compatibleInstruments.find((r) => r.name === 'Pool Five');
const wave = (memory, track) => `/media/EDDY_DUO/CORVANE/WAVE/${String(memory).padStart(3, '0')}_${track}/`;
const usageError = (fn, pattern) => assert.throws(fn, (e) => e instanceof cliArgs.UsageError && pattern.test(e.message));

test('arguments: options, values, operands and the mistakes that are usage errors', () => {
  const p = cliArgs.parse(['export', '--format=float', '3/2', 'out.wav', '--device', '2', '--force']);
  assert.deepEqual(p.options, { format: 'float', device: 2, force: true });
  assert.deepEqual(p.operands, [{ memory: 3, track: 2 }, 'out.wav']);
  assert.deepEqual(cliArgs.parse(['export', '1/1', '--', '--odd name.wav']).operands[1], '--odd name.wav');
  assert.equal(cliArgs.parse(['import', '--json', '--help']).help, true);
  assert.equal(cliArgs.parse(['ls']).options.device, 1, 'device 1 by default');
  usageError(() => cliArgs.parse(['frobnicate']), /unknown command 'frobnicate'/);
  usageError(() => cliArgs.parse([]), /no command/);
  usageError(() => cliArgs.parse(['ls', '--bogus']), /unknown option '--bogus'/);
  usageError(() => cliArgs.parse(['ls', '-x']), /unknown option '-x'/);
  usageError(() => cliArgs.parse(['ls', '--device']), /needs a value/);
  usageError(() => cliArgs.parse(['ls', '--device', '0']), /--device/);
  usageError(() => cliArgs.parse(['ls', '--json=1']), /takes no value/);
  usageError(() => cliArgs.parse(['ls', 'extra']), /too many/);
  usageError(() => cliArgs.parse(['export', '1/1', 'x.wav', '--format', '32']), /16, 24 or float/);
  usageError(() => cliArgs.parse(['export', '1/1']), /MEMORY\/TRACK and FILE/);
  usageError(() => cliArgs.parse(['import', 'a.mp3']), /FILE and MEMORY\/TRACK/);
  usageError(() => cliArgs.parse(['import', 'a.mp3', '--next-empty', '--from-folder', 'd']), /do not go together/);
  usageError(() => cliArgs.parse(['import', 'a.mp3', '--from-folder', 'd']), /no other files/);
  usageError(() => cliArgs.parse(['backup']), /DIR/);
  for (const bad of ['3', '3/', '/2', '0/1', '1/0', 'a/b', '3/2/1', '-1/2']) {
    usageError(() => cliArgs.parseAddress(bad), /no track address/);
  }
  assert.deepEqual(cliArgs.parseAddress('012/6'), { memory: 12, track: 6 });
  usageError(() => cliArgs.checkAddress({ memory: 1, track: 3 }, eddyDuo), /not a track of the Eddy Duo \(memories 1 to 99, tracks 1 to 2\)/);
  assert.equal(cliArgs.absolute('../x/./y.wav', '/home/me/sub'), '/home/me/x/y.wav');
  assert.equal(cliArgs.absolute('/abs', '/home'), '/abs');
});

test('usage errors and --help: status 2 or 0 before any looper is touched', () => {
  const rig = makeRig();
  rig.run(['ls', '--device', 'x']);
  assert.equal(rig.exitCode, 2);
  assert.equal(rig.stderr, "tarn ls: --device takes a looper's number, 1 or more (not 'x')\nTry 'tarn ls --help'.\n");
  rig.run(['nope']);
  assert.equal(rig.exitCode, 2);
  assert.match(rig.stderr, /^tarn: unknown command 'nope'\nTry 'tarn --help'\.\n$/);
  for (const name of Object.keys(cliArgs.COMMANDS)) {
    rig.run([name, '--help']);
    assert.equal(rig.exitCode, 0);
    assert.match(rig.stdout, new RegExp('^Usage: tarn ' + name + '[\\s\\S]*--help'));
    assert.equal(rig.stderr, '');
  }
  // A track outside the layout is the user's mistake too, found once the model is known.
  rig.run(['rm', '100/1', '--yes']);
  assert.equal(rig.exitCode, 2);
  assert.match(rig.stderr, /^tarn rm: 100\/1 is not a track of the Eddy Duo/);
  assert.equal(rig.device.editMode, 0, 'edit mode left after it');
  assert.deepEqual(rig.native.calls.filter((c) => c[0] === 'inconnect').length, 1);
});

test('ls: the text table and every cell as JSON, lengths and formats from the WAV headers', () => {
  const rig = makeRig();
  rig.track(1, 2, 'LOOP.WAV', 88200);
  rig.track(3, 1, 'OLD.WAV', 44100, { format: 1, bits: 16 });
  rig.run(['ls']);
  assert.equal(rig.exitCode, 0);
  assert.equal(rig.stdout, '1/2     0:02.000   32-bit float  LOOP.WAV\n3/1     0:01.000   16-bit        OLD.WAV\n2 of 198 tracks used\n');
  assert.deepEqual(rig.device.writes, [1, 0], 'edit mode on, then off');
  rig.run(['ls', '--json']);
  const cells = JSON.parse(rig.stdout);
  assert.equal(cells.length, 198);
  assert.deepEqual(cells[0], { file: '', format: '', frames: 0, length: 0, memory: 1, track: 1 });
  assert.deepEqual(cells[1], { file: 'LOOP.WAV', format: 'float', frames: 88200, length: 2, memory: 1, track: 2 });
  assert.deepEqual(cells[4], { file: 'OLD.WAV', format: '16', frames: 44100, length: 1, memory: 3, track: 1 });
  assert.equal(rig.stdout, output.jsonText(cells) + '\n', 'sorted keys, compact');
});

test('devices: every looper with its ports and edit mode, read without changing it', () => {
  const rig = makeRig({ editMode: 1 });
  rig.run(['devices', '--json']);
  assert.equal(rig.exitCode, 0);
  assert.equal(rig.stdout, '[{"editMode":1,"index":1,"midiIn":"EDDY DUO","midiOut":"EDDY DUO","model":"Eddy Duo",' +
    '"volume":"/media/EDDY_DUO","volumeName":"EDDY_DUO"}]\n');
  assert.deepEqual(rig.device.writes, [], 'nothing written to the device');
  const pool = makeRig({ row: poolFive });
  pool.run(['devices', '--json']);
  assert.deepEqual(JSON.parse(pool.stdout)[0], { editMode: -1, index: 1, midiIn: '', midiOut: '', model: 'Pool Five',
    volume: '/media/POOL_FIVE', volumeName: 'POOL_FIVE' });
  pool.run(['devices']);
  assert.equal(pool.stdout, '1  Pool Five  /media/POOL_FIVE  POOL_FIVE  no MIDI\n');
  const none = makeRig({ plugged: false });
  none.run(['devices', '--json']);
  assert.equal(none.stdout, '[]\n');
  assert.equal(none.exitCode, 0);
});

test('no looper within 15 s: status 1 with the text; one plugged in meanwhile is used', () => {
  const rig = makeRig({ plugged: false });
  const start = rig.clock.now;
  rig.run(['ls']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: No looper connected.\n');
  assert.ok(rig.clock.now - start >= 15000);
  const patient = makeRig({ plugged: false });
  patient.host.env = (name) => (name === 'TARN_LOOPER_WAIT' ? '40' : '');
  patient.clock.later(() => patient.plug(), 30000);
  patient.run(['ls']);
  assert.equal(patient.exitCode, 0, 'TARN_LOOPER_WAIT=40 waits past 15 s');
  const later = makeRig({ plugged: false });
  later.clock.later(() => later.plug(), 4000);
  later.run(['ls']);
  assert.equal(later.exitCode, 0);
  assert.match(later.stdout, /0 of 198 tracks used/);
  const second = makeRig();
  second.run(['ls', '--device', '2']);
  assert.equal(second.exitCode, 1);
  assert.equal(second.stderr, 'tarn: There is no looper 2: 1 connected.\n');
});

test('a looper left in edit mode is taken over only with --take-over', () => {
  const rig = makeRig({ editMode: 1 });
  rig.run(['ls']);
  assert.equal(rig.exitCode, 1);
  assert.match(rig.stderr, /^tarn: Eddy Duo is in edit mode from an earlier session\. Run the command again with --take-over/);
  assert.deepEqual(rig.device.writes, [], 'someone else\'s edit mode is not touched');
  rig.run(['ls', '--take-over']);
  assert.equal(rig.exitCode, 0);
  assert.deepEqual(rig.device.writes, [0, 1, 0], 'off, on again, and off at the end');
});

test('a looper that never answers the edit-mode read is said not to answer, not to refuse edit mode', () => {
  const rig = makeRig();
  rig.device.silent = true;
  rig.run(['ls']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: The Eddy Duo did not answer on its MIDI ports (EDDY DUO).\n');
});

test('import: into a given track (3/2 is folder 003_2), into the next empty one, never over a file', () => {
  const rig = makeRig();
  rig.audio('/home/me/song.mp3', 8820);
  rig.run(['import', 'song.mp3', '3/2', '--json']);
  assert.equal(rig.exitCode, 0, rig.stderr);
  assert.equal(rig.stdout, '[{"file":"/home/me/song.mp3","frames":8820,"memory":3,"track":2}]\n');
  const written = JSON.parse(rig.native.trnWav.formatWithAcidChunk(wave(3, 2) + 'song.wav'));
  assert.deepEqual(written, { bits: 32, channels: 2, format: 3, result: 1, sampleRate: 44100, samples: 8820 },
    "the model's format");
  assert.equal(rig.device.editMode, 0);
  rig.run(['import', 'song.mp3', '3/2']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: 3/2 is not empty: it holds song.wav.\n');
  rig.track(1, 1, 'A.WAV');
  rig.run(['import', '/home/me/song.mp3', '--next-empty']);
  assert.equal(rig.stdout, 'Imported song.mp3 into 1/2 (song.wav, 0:00.200).\n');
  assert.ok(rig.disk.has(wave(1, 2) + 'song.wav'));
  assert.deepEqual(rig.disk.files('/tmp/tarn-tmp/'), [], 'no temporaries left');
});

test('import refuses bad sources before writing anything, and leaves edit mode when the conversion fails', () => {
  const rig = makeRig();
  rig.disk.write('/home/me/notes.txt', Buffer.from('hello'));
  rig.run(['import', 'missing.mp3', '1/1']);
  assert.equal(rig.stderr, 'tarn: /home/me/missing.mp3: Import failed. The file is not there (any more).\n');
  rig.run(['import', 'notes.txt', '1/1']);
  assert.equal(rig.stderr, 'tarn: /home/me/notes.txt: Unsupported format.\n');
  rig.audio('/home/me/short.mp3', 100);
  rig.run(['import', 'short.mp3', '1/1']);
  assert.equal(rig.stderr, 'tarn: /home/me/short.mp3: Data is too short.\n');
  assert.equal(rig.converting.length, 0);
  // Readable by format inspection, broken for the decoder.
  rig.audio('/home/me/broken.mp3', 5000);
  rig.native.audio.convert = (source) => rig.clock.later(() => rig.native.audio.event.convertfailed(source), 10);
  rig.run(['import', 'broken.mp3', '1/1']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: /home/me/broken.mp3: Import failed. The file holds no audio Tarn can read, or it is damaged.\n');
  assert.equal(rig.device.editMode, 0);
  assert.deepEqual(rig.disk.files('/media/'), []);
});

test('--from-folder: the planning, and nothing written when the files outnumber the empty tracks', () => {
  const entries = ['b.MP3', 'a.wav', 'notes.txt', '.hidden.wav', 'c.m4a'].map((name) => ({ name, directory: false }))
    .concat([{ name: 'sub.wav', directory: true }]);
  const cells = [
    { memory: 1, track: 1, dirName: '/w/001_1/', fileName: 'X.WAV' },
    { memory: 1, track: 2, dirName: '/w/001_2/', fileName: '' },
    { memory: 2, track: 1, dirName: '', fileName: '' },
    { memory: 2, track: 2, dirName: '/w/002_2/', fileName: '' },
    { memory: 3, track: 1, dirName: '/w/003_1/', fileName: '' },
  ];
  const planned = commands.planFromFolder('/in/', entries, cells);
  assert.equal(planned.fits, true);
  assert.deepEqual(planned.plan.map((p) => [p.source, p.memory + '/' + p.track]),
    [['/in/a.wav', '1/2'], ['/in/b.MP3', '2/2'], ['/in/c.m4a', '3/1']]);
  assert.equal(commands.planFromFolder('/in', entries, cells.slice(0, 4)).fits, false);
  assert.equal(commands.planFromFolder('/in', [], cells).fits, false);

  const rig = makeRig({ row: models.compatibleInstruments[0] }); // Eddy One: 99 tracks
  rig.disk.dir('/home/me/set');
  for (let m = 1; m <= 97; m++) rig.track(m, 1, 'T.WAV');
  for (const name of ['1.mp3', '2.mp3', '3.mp3']) rig.audio('/home/me/set/' + name, 5000);
  rig.run(['import', '--from-folder', 'set']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: 3 audio files in /home/me/set, but only 2 empty tracks on the Eddy One: nothing was imported.\n');
  assert.equal(rig.converting.length, 0);
  assert.equal(rig.device.editMode, 0);
  rig.disk.remove('/home/me/set/3.mp3');
  rig.run(['import', '--from-folder', 'set']);
  assert.equal(rig.exitCode, 0, rig.stderr);
  assert.equal(rig.stdout, 'Imported 1.mp3 into 98/1 (1.wav, 0:00.113).\nImported 2.mp3 into 99/1 (2.wav, 0:00.113).\n');
});

test('Ctrl+C during an import: cancelled, nothing left on the volume, edit mode off, status 130', () => {
  const rig = makeRig({ tty: true });
  rig.audio('/home/me/long.mp3', 5000);
  rig.convertMs = 3000;
  rig.run(['import', 'long.mp3', '1/1'], { when: () => rig.converting.length > 0, then: () => rig.host.onInterrupt('SIGINT') });
  assert.equal(rig.exitCode, 130);
  assert.match(rig.stderr, /Cancelled\.\n$/);
  assert.deepEqual(rig.disk.files('/media/'), []);
  assert.deepEqual(rig.disk.files('/tmp/tarn-tmp/'), []);
  assert.equal(rig.device.editMode, 0);
  assert.equal(rig.stdout, '');
  // A conversion that never reports back does not keep the run (nor edit mode) forever.
  const stuck = makeRig();
  stuck.audio('/home/me/long.mp3', 5000);
  stuck.convertHangs = true;
  stuck.run(['import', 'long.mp3', '1/1'], { when: () => stuck.converting.length > 0, then: () => stuck.host.onInterrupt('SIGTERM') });
  assert.equal(stuck.exitCode, 143);
  assert.equal(stuck.device.editMode, 0);
  // While the looper is still awaited.
  const waiting = makeRig({ plugged: false });
  waiting.run(['ls'], { when: () => waiting.clock.now > 1002000, then: () => waiting.host.onInterrupt('SIGINT') });
  assert.equal(waiting.exitCode, 130);
  assert.equal(waiting.stderr, 'Cancelled.\n');
});

test('a device that never confirms leaving edit mode turns success into failure', () => {
  const rig = makeRig();
  const receive = rig.device.receive.bind(rig.device);
  let offs = 0;
  rig.device.receive = (hex) => {
    const m = sysex.classify(eddyDuo.midi.modelID, hex);
    if (m.kind === 'dt1' && m.data[0] === 0) { offs++; return; }
    receive(hex);
  };
  const start = rig.clock.now;
  rig.run(['ls']);
  assert.equal(rig.exitCode, 1);
  assert.match(rig.stderr, /^1 of 198|tarn: the looper did not confirm that it left edit mode\.\n$/);
  assert.ok(offs > 1, 'off is written again while the device says on');
  assert.ok(rig.clock.now - start < 10000, 'and given up after a few seconds');
});

test('export: the track\'s own format by default, --format, and an existing file only with --force', () => {
  const rig = makeRig();
  rig.track(2, 1, 'LOOP.WAV', 4410);
  rig.run(['export', '2/1', 'out.wav', '--json']);
  assert.equal(rig.exitCode, 0, rig.stderr);
  assert.equal(rig.stdout, '{"file":"/home/me/out.wav","format":"float","frames":4410,"memory":2,"track":1}\n');
  rig.run(['export', '2/1', 'out.wav', '--format', '24']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'tarn: /home/me/out.wav is already there (give --force to replace it).\n');
  rig.run(['export', '2/1', 'out.wav', '--format', '24', '--force']);
  assert.equal(rig.exitCode, 0);
  assert.equal(rig.disk.read('/home/me/out.wav').readUInt16LE(34), 24);
  rig.run(['export', '1/1', 'x.wav']);
  assert.equal(rig.stderr, 'tarn: 1/1 is empty.\n');
  assert.equal(rig.device.editMode, 0);
});

test('rm: asks on a terminal, keeps a copy that undelete puts back; refuses without a copy unless --permanently', async () => {
  const rig = makeRig({ tty: true, lines: ['n', 'Y'] });
  rig.track(3, 2, 'X.WAV');
  const original = rig.disk.read(wave(3, 2) + 'X.WAV');
  await rig.runAsync(['rm', '3/2']);
  assert.equal(rig.exitCode, 1);
  assert.equal(rig.stderr, 'Delete 3/2 (X.WAV)? [y/N] tarn: Nothing was deleted.\n');
  assert.ok(rig.disk.has(wave(3, 2) + 'X.WAV'));
  await rig.runAsync(['rm', '3/2', '--json']);
  assert.equal(rig.exitCode, 0);
  const { id } = JSON.parse(rig.stdout);
  assert.equal(rig.stdout, `{"file":"X.WAV","id":"${id}","memory":3,"track":2}\n`);
  assert.ok(!rig.disk.has(wave(3, 2) + 'X.WAV'));
  assert.equal(rig.device.editMode, 0);

  rig.native.calls.length = 0;
  await rig.runAsync(['deleted', '--json']);
  const listed = JSON.parse(rig.stdout);
  assert.deepEqual(listed.map((r) => [r.id, r.model, r.memory, r.track, r.file]), [[id, 'Eddy Duo', 3, 2, 'X.WAV']]);
  assert.deepEqual(rig.native.calls.filter((c) => c[0] !== 'unlink'), [], 'the list needs no looper');

  rig.track(1, 1, 'Busy.WAV');
  await rig.runAsync(['undelete', id, '1/1']);
  assert.equal(rig.exitCode, 1);
  assert.match(rig.stderr, /^tarn: Track 001_1 already holds Busy\.WAV/);
  await rig.runAsync(['undelete', id]);
  assert.equal(rig.stdout, 'Put X.WAV back into 3/2.\n');
  assert.deepEqual(rig.disk.read(wave(3, 2) + 'X.WAV'), original);
  await rig.runAsync(['deleted']);
  assert.equal(rig.stdout, 'No recently deleted tracks.\n');

  const quiet = makeRig();
  quiet.track(1, 1, 'A.WAV');
  quiet.run(['rm', '1/1']);
  assert.equal(quiet.exitCode, 2);
  assert.deepEqual(quiet.native.calls, [], 'nothing asked of the looper');
  quiet.diskFull = true;
  await quiet.runAsync(['rm', '1/1', '--yes']);
  assert.equal(quiet.exitCode, 1);
  assert.match(quiet.stderr, /not enough free space.*Nothing was deleted \(give --permanently/);
  assert.ok(quiet.disk.has(wave(1, 1) + 'A.WAV'));
  await quiet.runAsync(['rm', '1/1', '--yes', '--permanently']);
  assert.equal(quiet.stdout, 'Deleted 1/1 (A.WAV) for good.\n');
});

test('progress: one self-overwriting line on a terminal\'s stderr, cleared; none otherwise', () => {
  const rig = makeRig({ tty: true });
  rig.audio('/home/me/song.mp3', 8820);
  rig.run(['import', 'song.mp3', '1/1']);
  // It reaches 100 % once the track is on the looper, before it is cleared.
  assert.match(rig.stderr, /^\rImporting song\.mp3 \[\.{20}\]   0%\rImporting song\.mp3 \[#{9}\.{11}\]  47%\rImporting song\.mp3 \[#{20}\] 100%\r +\r$/);
  assert.equal(rig.stdout, 'Imported song.mp3 into 1/1 (song.wav, 0:00.200).\n');
  const plain = makeRig();
  plain.audio('/home/me/song.mp3', 8820);
  plain.run(['import', 'song.mp3', '1/1']);
  assert.equal(plain.stderr, '');
});

test('backup and restore go through Tarn.backup, with its progress, results and cancel', () => {
  const calls = [];
  const backup = {
    backup(options, done) {
      calls.push(['backup', options.dir, options.volume, options.row.name]);
      options.onProgress(1, 2, '001_1');
      const t = options.later(() => done({ success: true, tracks: [{ memory: 1, track: 1, file: 'A.WAV' }], skipped: [] }), 100);
      return { cancel: () => { calls.push(['cancel']); clearTimeout(t); done({ success: false, cancelled: true, reason: 'x' }); } };
    },
    restore(options, done) {
      calls.push(['restore', options.replace]);
      options.later(() => done({ success: false, reason: 'This backup is of a Pool One; the connected looper is a Eddy Duo.' }), 10);
      return { cancel() {} };
    },
  };
  const rig = makeRig({ tty: true });
  rig.run(['backup', 'saved'], { backup });
  assert.equal(rig.exitCode, 0);
  assert.equal(rig.stdout, 'Backed up 1 track into /home/me/saved.\n');
  assert.match(rig.stderr, /Backing up 001_1 \[#{10}/);
  rig.run(['backup', 'saved', '--json'], { backup });
  assert.equal(rig.stdout, '{"dir":"/home/me/saved","tracks":[{"file":"A.WAV","memory":1,"track":1}]}\n');
  rig.run(['restore', 'saved', '--replace'], { backup });
  assert.equal(rig.exitCode, 1);
  assert.match(rig.stderr, /\rtarn: This backup is of a Pool One; the connected looper is a Eddy Duo\.\n$/);
  rig.run(['backup', 'saved'], { backup, when: () => calls.length > 3, then: () => rig.host.onInterrupt('SIGINT') });
  assert.equal(rig.exitCode, 130);
  assert.deepEqual(calls.at(-1), ['cancel']);
  assert.equal(rig.device.editMode, 0);
});

test('storage-only loopers need no MIDI', () => {
  const rig = makeRig({ row: poolFive });
  rig.track(1, 5, 'P.WAV', 44100, { format: 1, bits: 16 });
  rig.run(['ls']);
  assert.equal(rig.exitCode, 0, rig.stderr);
  assert.equal(rig.stdout, '1/5     0:01.000   16-bit        P.WAV\n1 of 495 tracks used\n');
  assert.deepEqual(rig.native.calls.filter((c) => c[0] !== 'indisconnect' && c[0] !== 'outdisconnect'), []);
});

test('ls names only the formats a looper plays and lists a track the host cannot read as empty', () => {
  const rig = makeRig({ row: poolFive });
  rig.track(1, 1, 'A.WAV', 44100, { format: 1, bits: 24 });
  rig.track(1, 2, 'B.WAV', 22050, { format: 3, bits: 32 });
  rig.track(1, 3, 'C.WAV', 44100, { format: 1, bits: 8 });
  rig.track(1, 4, 'D.WAV');
  rig.disk.write(rig.wave + '001_4/D.WAV', Buffer.from('AUDIO 5'));
  rig.run(['ls', '--json']);
  assert.equal(rig.exitCode, 0, rig.stderr);
  const rows = JSON.parse(rig.stdout).filter((r) => r.file);
  assert.deepEqual(rows.map((r) => [r.file, r.format, r.frames]),
    [['A.WAV', '24', 44100], ['B.WAV', 'float', 22050], ['C.WAV', '', 44100], ['D.WAV', '', 0]]);
});

test('JSON in the project\'s rule: sorted keys, compact, integers without a fraction', () => {
  assert.equal(output.jsonText({ b: 1.0, a: [{ z: 'x', y: null }], c: 2.5, u: undefined }), '{"a":[{"y":null,"z":"x"}],"b":1,"c":2.5}');
  assert.equal(output.duration(245.12), '4:05.120');
  assert.equal(output.duration(0), '0:00.000');
});
