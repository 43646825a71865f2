// An in-memory volume for the page's file layer: folders and files by path.
const Files = require('../../page/js/tarn/files.js');
function entry(name, directory) {
  return { name, directory, size: 0, readable: true, writable: true, deletable: true };
}

class FakeFiles {
  constructor() { this.tree = new Map(); this.failing = new Set(); this.calls = []; this.data = new Map(); this.caseless = false; this.refuse = null; }
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
  // The sub-folders' contents, as the page's file layer reads them without that call.
  subcontents(path) { return Files.prototype.subcontentsByFolder.call(this, path); }
  subcontentsAsync(path) { return Promise.resolve(this.subcontents(path)); }
  unlink(path) {
    this.calls.push(['unlink', path]);
    const cut = path.lastIndexOf('/');
    const list = this.tree.get(path.substring(0, cut).replace(/\/+$/, ''));
    const at = list ? list.findIndex((e) => this.same(e.name, path.substring(cut + 1))) : -1;
    if (at >= 0) {
      const gone = path.substring(0, cut + 1) + list[at].name;
      list.splice(at, 1);
      for (const key of [...this.tree.keys()]) if (key === gone || key.startsWith(gone + '/')) this.tree.delete(key);
      for (const key of [...this.data.keys()]) if (key === gone || key.startsWith(gone + '/')) this.data.delete(key);
    }
    return { success: true };
  }

  // --- files with contents, for copies and checksums. `caseless` makes names match as on
  // FAT; `refuse(operation, path)` returning a text makes that call fail with it.
  host(path) { return path; }
  same(a, b) { return this.caseless ? a.toLowerCase() === b.toLowerCase() : a === b; }
  split(path) {
    const cut = path.replace(/\/+$/, '').lastIndexOf('/');
    return { folder: path.substring(0, cut), name: path.replace(/\/+$/, '').substring(cut + 1) };
  }
  lookup(path) {
    const { folder, name } = this.split(path);
    const list = this.tree.get(folder);
    return list ? list.find((e) => this.same(e.name, name)) || null : null;
  }
  real(path) {
    const found = this.lookup(path);
    return found ? this.split(path).folder + '/' + found.name : path.replace(/\/+$/, '');
  }
  refused(operation, path) {
    this.calls.push([operation, path]);
    const text = this.refuse && this.refuse(operation, path);
    return text ? { success: false, reason: text } : null;
  }
  put(path, content) {
    const { folder, name } = this.split(path);
    const bytes = Buffer.from(content);
    let found = this.lookup(path);
    if (!found) { this.folder(folder); found = entry(name, false); this.tree.get(folder).push(found); }
    found.size = bytes.length;
    this.data.set(this.real(path), bytes);
    return this;
  }
  bytes(path) { return this.data.get(this.real(path)); }
  space(path) { return this.refused('space', path) || { success: true, data: { device: 1, free: 1e12, total: 1e12 } }; }
  stat(path) {
    const no = this.refused('stat', path);
    if (no) return no;
    const found = this.lookup(path);
    if (!found) return { success: false, reason: 'No such file or directory' };
    return { success: true, data: { ...found } };
  }
  readString(path) {
    const no = this.refused('readString', path);
    if (no) return no;
    const bytes = this.bytes(path);
    return bytes ? { success: true, data: bytes.toString('utf8') } : { success: false, reason: 'No such file or directory' };
  }
  writeString(path, text) {
    const no = this.refused('writeString', path);
    if (no) return no;
    if (!this.tree.has(this.split(path).folder)) return { success: false, reason: 'No such file or directory' };
    this.put(path, text);
    return { success: true };
  }
  mkdir(path) {
    const no = this.refused('mkdir', path);
    if (no) return no;
    const parts = path.replace(/\/+$/, '').split('/');
    for (let i = 2; i <= parts.length; i++) {
      const at = parts.slice(0, i).join('/');
      const found = this.lookup(at);
      if (found && !found.directory) return { success: false, reason: 'Not a directory' };
      if (!found) this.add(parts.slice(0, i - 1).join('/'), parts[i - 1], true);
    }
    return { success: true };
  }
  copy(from, to) {
    const no = this.refused('copy', to);
    if (no) return no;
    const bytes = this.bytes(from);
    if (!bytes || this.lookup(from).directory) return { success: false, reason: 'No such file or directory' };
    if (this.lookup(to)) return { success: false, reason: 'File exists' };
    if (!this.tree.has(this.split(to).folder)) return { success: false, reason: 'No such file or directory' };
    this.put(to, bytes);
    return { success: true };
  }
  move(from, to) {
    const no = this.refused('move', to);
    if (no) return no;
    const found = this.lookup(from);
    if (!found || found.directory) return { success: false, reason: 'No such file or directory' };
    if (this.lookup(to)) return { success: false, reason: 'File exists' };
    if (!this.tree.has(this.split(to).folder)) return { success: false, reason: 'No such file or directory' };
    const bytes = this.bytes(from);
    this.unlink(from);
    this.put(to, bytes);
    return { success: true };
  }
  // As the host's: removes copy temporaries, lists Tarn's other hidden files.
  leftovers(folder) {
    const base = folder.replace(/\/+$/, '');
    const found = [...this.data.keys()].filter((p) => p.startsWith(base + '/') && /\/\.tarn-[^/]*$/.test(p));
    const copies = found.filter((p) => /\/\.tarn-copy-[^/]+\.[A-Za-z0-9]{6}$/.test(p));
    copies.forEach((p) => this.unlink(p));
    return { success: true, data: found.filter((p) => !copies.includes(p)) };
  }
  // Every file under a folder: relative path -> contents as text.
  snapshot(folder) {
    const out = {};
    for (const [path, bytes] of this.data) if (path.startsWith(folder + '/')) out[path.substring(folder.length + 1)] = bytes.toString('latin1');
    return out;
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
