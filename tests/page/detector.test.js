// Device detection shared by the window and the command line, against fake volumes.
const test = require('node:test');
const assert = require('node:assert/strict');
const Detector = require('../../page/js/tarn/detector.js');
const Files = require('../../page/js/tarn/files.js');
const models = require('../../page/js/tarn/models.js');

const poolDuo = models.compatibleInstruments.find((r) => r.name === 'Pool Duo');
const eddyDuo = models.compatibleInstruments[1];

// fs over a set of folders; volumes as the host lists them.
function fakeFs(volumes, folders) {
  return {
    separator: () => '/',
    volumes: () => JSON.stringify(volumes),
    contents: (path) => {
      const base = path.replace(/\/+$/, '');
      if (!folders.has(base)) throw new Error('No such file or directory');
      const names = [...folders].filter((f) => f.startsWith(base + '/') && f.indexOf('/', base.length + 1) < 0);
      return JSON.stringify(names.map((f) => ({ name: f.substring(base.length + 1), directory: true })));
    },
  };
}

function layout(folders, mount, row) {
  for (const f of [mount, mount + '/CORVANE', mount + '/CORVANE/WAVE']) folders.add(f);
  for (let m = 1; m <= row.numofMemParBank * row.numofBank; m++) {
    for (let t = 1; t <= row.numofTrackParMem; t++) folders.add(`${mount}/CORVANE/WAVE/${String(m).padStart(3, '0')}_${t}`);
  }
}

function detector(volumes, folders, options = {}) {
  const timers = [];
  const midi = { inendpoints: () => '[]', outendpoints: () => '[]', send() {}, event: {} };
  return new Detector({
    native: { midi, fs: { event: {} } }, files: new Files(fakeFs(volumes, folders)),
    later: (f, ms) => { timers.push({ f, ms }); return timers.length; }, cancel() {}, every: () => 0, stopEvery() {},
    ...options,
  });
}

test('survey: loopers by label and by layout, in the order the host lists the volumes', () => {
  const folders = new Set(['/media/stick']);
  layout(folders, '/media/EDDY', eddyDuo);
  layout(folders, '/media/unnamed', poolDuo);
  const volumes = [{ mount: '/media/stick', volume: 'STICK' }, { mount: '/media/unnamed', volume: '' },
    { mount: '/media/EDDY', volume: 'EDDY_DUO' }];
  const found = detector(volumes, folders).survey();
  assert.deepEqual(found.map((f) => [f.volume, f.volName, f.inst.name]),
    [['/media/unnamed', '', 'Pool Duo'], ['/media/EDDY', 'EDDY_DUO', 'Eddy Duo']]);
});

test('check: the recognised looper, its storage checked; with `only`, the other volumes are not looked at', () => {
  const folders = new Set();
  layout(folders, '/media/EDDY', eddyDuo);
  layout(folders, '/media/POOL', poolDuo);
  const volumes = [{ mount: '/media/EDDY', volume: 'EDDY_DUO' }, { mount: '/media/POOL', volume: 'POOL_DUO' }];
  let checks = 0;
  const first = detector(volumes, folders, { onCheck: () => { checks++; } });
  first.check();
  assert.equal(first.instrument.inst, eddyDuo);
  assert.equal(first.manager.mounted, true);
  assert.equal(checks, 1);
  const chosen = detector(volumes, folders, { only: '/media/POOL', table: [poolDuo] });
  chosen.check();
  assert.equal(chosen.instrument.volume, '/media/POOL');
  assert.equal(chosen.manager.usable(), true, 'a storage-only looper is usable at once');
});

test('a looper whose folders are incomplete is given up, and taken up once they are all there', () => {
  const folders = new Set();
  layout(folders, '/media/POOL', poolDuo);
  folders.delete('/media/POOL/CORVANE/WAVE/099_2');
  const d = detector([{ mount: '/media/POOL', volume: 'POOL_DUO' }], folders);
  d.check();
  assert.equal(d.manager.mounted, false);
  assert.equal(d.storageGaveUp, true);
  folders.add('/media/POOL/CORVANE/WAVE/099_2');
  d.check();
  assert.equal(d.manager.usable(), true);
});
