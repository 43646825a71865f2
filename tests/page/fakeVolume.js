// An in-memory volume for the page's file layer: folders and files by path.
function entry(name, directory) {
  return { name, directory, size: 0, readable: true, writable: true, deletable: true };
}

class FakeFiles {
  constructor() { this.tree = new Map(); this.failing = new Set(); this.calls = []; }
  folder(path) { if (!this.tree.has(path)) this.tree.set(path, []); return this; }
  add(folder, name, directory = false) {
    this.folder(folder);
    this.tree.get(folder).push(entry(name, directory));
    if (directory) this.folder(folder + '/' + name);
    return this;
  }
  contents(path) {
    this.calls.push(['contents', path]);
    const key = path.replace(/\/+$/, '');
    if (this.failing.has(key) || !this.tree.has(key)) return { success: false, reason: 'No such file or directory' };
    return { success: true, data: this.tree.get(key).slice() };
  }
  unlink(path) {
    this.calls.push(['unlink', path]);
    const cut = path.lastIndexOf('/');
    const list = this.tree.get(path.substring(0, cut).replace(/\/+$/, ''));
    const at = list ? list.findIndex((e) => e.name === path.substring(cut + 1)) : -1;
    if (at >= 0) list.splice(at, 1);
    return { success: true };
  }
}

// A volume at `mount` with the track folders of a model layout.
function layoutVolume(mount, tracks, memories, files = new FakeFiles()) {
  const wave = mount + '/CORVANE/WAVE';
  files.add(mount, 'CORVANE', true).add(mount + '/CORVANE', 'WAVE', true);
  for (let m = 1; m <= memories; m++) {
    for (let t = 1; t <= tracks; t++) files.add(wave, String(m).padStart(3, '0') + '_' + t, true);
  }
  return files;
}

module.exports = { FakeFiles, layoutVolume };
