// A rig for the command line's driver: a virtual clock (Date.now follows it while a
// run goes), a fake $host, and a fake $native over an in-memory disk with a looper
// volume, a looper's MIDI side answering the edit-mode messages, and audio/WAV modules
// that convert by writing real WAV headers and answering with the host's events.
const sysex = require('../../page/js/tarn/sysex.js');
const models = require('../../page/js/tarn/models.js');
const crypto = require('node:crypto');
const cli = require('../../page/js/cli/main.js');

class Clock {
  constructor() { this.now = 1000000; this.timers = []; this.seq = 0; }
  later(func, ms) { const id = ++this.seq; this.timers.push({ id, at: this.now + Math.max(0, ms || 0), func, seq: id }); return id; }
  cancel(id) { this.timers = this.timers.filter((t) => t.id !== id); }
  every(func, ms) {
    const id = ++this.seq;
    const tick = () => { func(); if (this.timers.every((t) => t.id !== id)) this.timers.push({ id, at: this.now + ms, func: tick, seq: ++this.seq }); };
    this.timers.push({ id, at: this.now + ms, func: tick, seq: id });
    return id;
  }
  // Runs timers in time order until stop() is true or limitMs of virtual time passed.
  run(stop, limitMs = 120000) {
    const end = this.now + limitMs;
    const realNow = Date.now;
    Date.now = () => this.now;
    try {
      while (!stop() && this.timers.length) {
        this.timers.sort((a, b) => a.at - b.at || a.seq - b.seq);
        const t = this.timers.shift();
        if (t.at > end) { this.timers.unshift(t); break; }
        this.now = Math.max(this.now, t.at);
        t.func();
      }
    } finally { Date.now = realNow; }
  }
}

function wavBytes(frames, { format = 1, bits = 16, channels = 2, rate = 44100 } = {}) {
  const block = channels * bits / 8;
  const data = frames * block;
  const b = Buffer.alloc(44 + data);
  b.write('RIFF', 0); b.writeUInt32LE(36 + data, 4); b.write('WAVE', 8);
  b.write('fmt ', 12); b.writeUInt32LE(16, 16); b.writeUInt16LE(format, 20); b.writeUInt16LE(channels, 22);
  b.writeUInt32LE(rate, 24); b.writeUInt32LE(rate * block, 28); b.writeUInt16LE(block, 32); b.writeUInt16LE(bits, 34);
  b.write('data', 36); b.writeUInt32LE(data, 40);
  return b;
}

class Disk {
  constructor() { this.nodes = new Map([['/', null]]); }
  dir(path) {
    const parts = path.split('/').filter(Boolean);
    let p = '';
    for (const part of parts) { p += '/' + part; if (!this.nodes.has(p)) this.nodes.set(p, null); }
    return this;
  }
  write(path, bytes) { this.dir(path.substring(0, path.lastIndexOf('/'))); this.nodes.set(path, Buffer.from(bytes)); return this; }
  has(path) { return this.nodes.has(path); }
  read(path) { return this.nodes.get(path); }
  list(path) {
    const base = path.replace(/\/+$/, '');
    if (!this.nodes.has(base || '/') || this.nodes.get(base || '/')) throw new Error('No such file or directory: ' + path);
    const out = [];
    for (const [p, v] of this.nodes) {
      if (p.startsWith(base + '/') && p.indexOf('/', base.length + 1) < 0 && p !== base + '/') {
        out.push({ name: p.substring(base.length + 1), size: v ? v.length : 0, directory: v === null,
          readable: true, writable: true, deletable: true });
      }
    }
    return out;
  }
  remove(path) {
    const base = path.replace(/\/+$/, '');
    for (const p of [...this.nodes.keys()]) if (p === base || p.startsWith(base + '/')) this.nodes.delete(p);
  }
  files(prefix) { return [...this.nodes.keys()].filter((p) => p.startsWith(prefix) && this.nodes.get(p)); }
}

// A looper volume of a model's layout at `mount`.
function looperVolume(disk, mount, row) {
  for (let m = 1; m <= row.numofMemParBank * row.numofBank; m++) {
    for (let t = 1; t <= row.numofTrackParMem; t++) disk.dir(mount + '/CORVANE/WAVE/' + String(m).padStart(3, '0') + '_' + t);
  }
}

// Audio sources of the fake: "AUDIO <frames>" text files (anything else is no audio).
function audioFrames(disk, path) {
  const bytes = disk.read(path);
  const m = bytes && /^AUDIO (\d+)$/.exec(bytes.toString());
  return m ? Number(m[1]) : -1;
}

function makeNative(rig) {
  const { disk, clock } = rig;
  const fail = (text) => { throw new Error(text); };
  const must = (path) => { if (!disk.has(path)) fail('No such file or directory: ' + path); return disk.read(path); };
  const event = (module, name, ...args) => clock.later(() => {
    const handler = N[module].event[name];
    if (handler) handler(...args);
  }, 5);
  const endpoint = (name) => ({ MIDIDeviceNameKey: name, MIDIEntityNameKey: name, MIDIEndpointUIDKey: 'uid-' + name, MIDIEndpointIndexKey: '0' });
  const N = {
    calls: [],
    app: { event: {}, startevent: () => true },
    fs: {
      event: {},
      separator: () => '/',
      path: () => '/tmp/tarn-tmp',
      volumes: () => JSON.stringify(rig.volumes.map((v) => ({ mount: v.mount, volume: v.label }))),
      contents: (p) => JSON.stringify(disk.list(p)),
      stat: (p) => { const v = must(p); return JSON.stringify({ name: p.split('/').pop(), size: v ? v.length : 0, directory: v === null }); },
      readData: (p, range) => {
        const v = must(p);
        if (v === null) fail('Is a directory');
        const { offset, length } = JSON.parse(range);
        return v.subarray(offset, offset + length).toString('hex');
      },
      unlink: (p) => { N.calls.push(['unlink', p]); if (!disk.has(p.replace(/\/+$/, ''))) fail('No such file or directory'); disk.remove(p); },
      move: (a, b) => { const v = must(a); disk.remove(a); disk.write(b, v); },
      copy: (a, b) => { if (rig.diskFull) fail('No space left on device'); if (disk.has(b)) fail('File exists'); disk.write(b, must(a)); },
      mkdir: (p) => { disk.dir(p); },
      readString: (p) => must(p).toString('utf8'),
      writeString: (p, text) => { disk.write(p, Buffer.from(text)); },
      watch: () => undefined,
    },
    midi: {
      event: {},
      inendpoints: () => JSON.stringify(rig.ports.map(endpoint)),
      outendpoints: () => JSON.stringify(rig.ports.map(endpoint)),
      inconnect: (e) => { N.calls.push(['inconnect', JSON.parse(e).MIDIDeviceNameKey]); },
      outconnect: (e) => { N.calls.push(['outconnect', JSON.parse(e).MIDIDeviceNameKey]); },
      indisconnect: () => { N.calls.push(['indisconnect']); },
      outdisconnect: () => { N.calls.push(['outdisconnect']); },
      send: (hex) => rig.device.receive(hex),
    },
    audio: {
      event: {},
      format: (p) => {
        const frames = disk.has(p) ? audioFrames(disk, p) : -1;
        return JSON.stringify(frames < 0 ? { format: 'error', duration: 0 } : { format: 'MP3', duration: frames / 44100, bitrate: 128000 });
      },
      convert: (source, options) => {
        const o = JSON.parse(options);
        rig.converting.push(source);
        const frames = audioFrames(disk, source);
        clock.later(() => {
          if (rig.convertHangs) return;
          if (frames < 0) { N.audio.event.convertfailed(source); return; }
          disk.write(o.file, wavBytes(frames, { format: 1, bits: 16 }));
          N.audio.event.progress(source, '50');
          N.audio.event.converted(source, JSON.stringify([o.file]));
        }, rig.convertMs);
      },
    },
    trnWav: {
      event: {},
      // The rig's files all have the plain 44-byte header wavBytes writes.
      formatWithAcidChunk: (p) => {
        const v = disk.has(p) ? disk.read(p) : null;
        if (!v || v.length < 44 || v.toString('latin1', 0, 4) !== 'RIFF' || v.toString('latin1', 36, 40) !== 'data') {
          return JSON.stringify({ result: 0 });
        }
        return JSON.stringify({ bits: v.readUInt16LE(34), channels: v.readUInt16LE(22), format: v.readUInt16LE(20),
          result: 1, sampleRate: v.readUInt32LE(24), samples: Math.floor(v.readUInt32LE(40) / v.readUInt16LE(32)) });
      },
      alignTo4byteData: (options) => {
        const o = JSON.parse(options);
        const frames = (disk.read(o.from).length - 44) / 4;
        disk.write(o.to, wavBytes(frames, { format: o.format, bits: o.bits }));
        event('trnWav', 'finishedAlignTo4byteData', o.from, JSON.stringify({ result: 1, path: o.to }));
      },
      convertDataFormat: (options) => {
        const o = JSON.parse(options);
        const v = must(o.from);
        const frames = (v.length - 44) / (v.readUInt16LE(32));
        disk.write(o.to, wavBytes(frames, { format: o.format, bits: o.bits }));
        event('trnWav', 'finishedConvertDataFormat', o.from, JSON.stringify({ result: 1, to: o.to }));
      },
    },
    security: { md5: (p) => (disk.has(p) ? crypto.createHash('md5').update(disk.read(p)).digest('hex').toUpperCase() : '') },
  };
  return N;
}

// The looper's MIDI side: answers reads of the edit mode, takes writes of it.
class Device {
  constructor(rig, row, editMode = 0) { this.rig = rig; this.row = row; this.editMode = editMode; this.writes = []; this.silent = false; }
  receive(hex) {
    const m = sysex.classify(this.row.midi.modelID, hex);
    const text = String(hex).toUpperCase();
    const readHeader = sysex.header(this.row.midi.modelID).toUpperCase() + '11';
    if (m.kind === 'dt1' && m.address === sysex.EDIT_MODE_ADDRESS) { this.writes.push(m.data[0]); this.editMode = m.data[0]; return; }
    if (text.indexOf(readHeader) === 0 && !this.silent) {
      this.rig.clock.later(() => {
        const handler = this.rig.native.midi.event.message;
        if (handler) handler(sysex.dt1(this.row.midi.modelID, sysex.EDIT_MODE_ADDRESS, [this.editMode]));
      }, 2);
    }
  }
}

const eddyDuo = models.compatibleInstruments[1];

// A rig with an Eddy Duo (volume /media/EDDY_DUO) unless told otherwise.
function makeRig({ row = eddyDuo, editMode = 0, tty = false, lines = [], plugged = true } = {}) {
  const rig = {
    clock: new Clock(), disk: new Disk(), volumes: [], ports: [], converting: [], convertMs: 50, convertHangs: false,
    stdout: '', stderr: '', exitCode: null, lines: lines.slice(),
  };
  rig.mount = '/media/' + row.volName;
  rig.wave = rig.mount + '/CORVANE/WAVE/';
  rig.device = new Device(rig, row, editMode);
  rig.plug = () => {
    looperVolume(rig.disk, rig.mount, row);
    rig.volumes.push({ mount: rig.mount, label: row.volName });
    if (row.midi) rig.ports.push(row.midi.portName);
  };
  if (plugged) rig.plug();
  rig.disk.dir('/tmp/tarn-tmp').dir('/home/me');
  rig.native = makeNative(rig);
  rig.host = {
    args: [], cwd: '/home/me',
    write: (fd, text) => { if (fd === 1) rig.stdout += text; else rig.stderr += text; },
    isatty: () => tty, columns: () => 80,
    readLine: () => (rig.lines.length ? rig.lines.shift() : null),
    env: () => '',
    exit: (code) => { if (rig.exitCode === null) rig.exitCode = code; },
    onInterrupt: null,
  };
  rig.track = (memory, track, name, frames = 4410, wave = { format: 3, bits: 32 }) => {
    rig.disk.write(rig.wave + String(memory).padStart(3, '0') + '_' + track + '/' + name, wavBytes(frames, wave));
  };
  rig.audio = (path, frames) => rig.disk.write(path, Buffer.from('AUDIO ' + frames));
  // Runs `tarn <args>` to its end (or limitMs of virtual time). With when/then: once
  // when() is true, then() is called (to interrupt, say) and the run goes on.
  rig.run = (args, { limitMs = 120000, backup, when, then } = {}) => {
    rig.host.args = args;
    rig.stdout = ''; rig.stderr = ''; rig.exitCode = null;
    const timers = {
      later: (f, ms) => rig.clock.later(f, ms), cancel: (id) => rig.clock.cancel(id),
      every: (f, ms) => rig.clock.every(f, ms), stopEvery: (id) => rig.clock.cancel(id), now: () => rig.clock.now,
    };
    const realNow = Date.now;
    Date.now = () => rig.clock.now;
    try {
      rig.cli = cli.run({ host: rig.host, native: rig.native, backup: backup || null, ...timers });
    } finally { Date.now = realNow; }
    rig.clock.run(() => rig.exitCode !== null || (when ? when() : false), limitMs);
    if (rig.exitCode === null && when) { then(); rig.clock.run(() => rig.exitCode !== null, limitMs); }
    return rig;
  };
  // run() for commands that wait on promises: the clock runs again after each turn.
  rig.runAsync = async (args, options = {}) => {
    rig.run(args, options);
    for (let turn = 0; turn < 50 && rig.exitCode === null; turn++) {
      await new Promise((resolve) => setImmediate(resolve));
      rig.clock.run(() => rig.exitCode !== null, options.limitMs || 120000);
    }
    return rig;
  };
  return rig;
}

module.exports = { makeRig, wavBytes, Clock, eddyDuo };
