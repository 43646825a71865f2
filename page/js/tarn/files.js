// The page's file layer over the host's fs module: paths are written with "/" and
// turned into the host's separator; every failing call becomes {success: false, reason}.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).Files = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function Files(fs) {
    this.fs = fs;
    var separator = '/';
    try { separator = fs.separator() || '/'; } catch (e) { separator = '/'; }
    this.separator = separator;
  }

  Files.prototype.host = function (path) {
    return this.separator === '\\' ? String(path).replace(/\//g, '\\') : String(path);
  };

  // Host paths come back with the host's separator; the page works with "/".
  Files.prototype.page = function (path) {
    return this.separator === '\\' ? String(path).replace(/\\/g, '/') : String(path);
  };

  Files.prototype.attempt = function (work) {
    try {
      return { success: true, data: work() };
    } catch (e) {
      return { success: false, reason: e && e.message ? e.message : String(e) };
    }
  };

  Files.prototype.volumes = function () {
    var self = this;
    return this.attempt(function () { return JSON.parse(self.fs.volumes()); });
  };

  Files.prototype.contents = function (path) {
    var self = this;
    return this.attempt(function () { return JSON.parse(self.fs.contents(self.host(path))); });
  };

  // contents() without blocking the page, through callAsync(name, path) (the bridge's
  // promise form); resolves to {success, data | reason}. Without it, or when it fails
  // (a transport that takes no such request, a folder that cannot be read), the blocking
  // call answers: a folder is never reported missing because of the way it was asked for.
  Files.prototype.contentsAsync = function (path, callAsync) {
    var self = this;
    if (typeof callAsync !== 'function') return Promise.resolve(this.contents(path));
    return Promise.resolve()
      .then(function () { return callAsync('$$fs_contents', self.host(path)); })
      .then(function (text) { return { success: true, data: JSON.parse(text) }; })
      .catch(function () { return self.contents(path); });
  };

  // Every sub-folder of a folder with its contents, in one call where the host has it:
  // {success, data: {name: {success, data | reason}}}. Otherwise folder by folder.
  Files.prototype.subcontents = function (path) {
    var self = this;
    var whole = this.attempt(function () { return JSON.parse(self.fs.subcontents(self.host(path))); });
    return whole.success ? byName(whole.data) : this.subcontentsByFolder(path);
  };

  // subcontents() without blocking the page (see contentsAsync).
  Files.prototype.subcontentsAsync = function (path, callAsync) {
    var self = this;
    if (typeof callAsync !== 'function') return Promise.resolve(this.subcontents(path));
    return Promise.resolve()
      .then(function () { return callAsync('$$fs_subcontents', self.host(path)); })
      .then(function (text) { return byName(JSON.parse(text)); })
      .catch(function () { return self.subcontents(path); });
  };

  Files.prototype.subcontentsByFolder = function (path) {
    var listed = this.contents(path);
    if (!listed.success) return listed;
    var folder = /\/$/.test(path) ? path : path + '/';
    var data = {};
    for (var i = 0; i < listed.data.length; i++) {
      if (listed.data[i].directory) data[listed.data[i].name] = this.contents(folder + listed.data[i].name);
    }
    return { success: true, data: data };
  };

  function byName(folders) {
    var data = {};
    Object.keys(folders).forEach(function (name) {
      data[name] = folders[name] ? { success: true, data: folders[name] } : { success: false, reason: 'unreadable' };
    });
    return { success: true, data: data };
  }

  Files.prototype.unlink = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.unlink(self.host(path)); });
  };

  Files.prototype.move = function (from, to) {
    var self = this;
    return this.attempt(function () { return self.fs.move(self.host(from), self.host(to)); });
  };

  Files.prototype.stat = function (path) {
    var self = this;
    return this.attempt(function () { return JSON.parse(self.fs.stat(self.host(path))); });
  };

  // Whether the file can be read (its first byte).
  Files.prototype.readable = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.readData(self.host(path), JSON.stringify({ offset: 0, length: 1 })); });
  };

  // The free and total bytes of the volume holding path ({success, data: {device, free, total}}).
  Files.prototype.space = function (path) {
    var self = this;
    return this.attempt(function () { return JSON.parse(self.fs.space(self.host(path))); });
  };

  Files.prototype.readString = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.readString(self.host(path)); });
  };

  // Clears the copy temporaries a dead run left under folder and lists the paths of the
  // other hidden files of Tarn's there ({success, data: [path]}).
  Files.prototype.leftovers = function (folder) {
    var self = this;
    return this.attempt(function () {
      return JSON.parse(self.fs.leftovers(self.host(folder))).map(function (p) { return self.page(p); });
    });
  };

  // Copies a file to a destination that must not exist yet (the host writes it under a
  // temporary name and only then gives it its name).
  Files.prototype.copy = function (from, to) {
    var self = this;
    return this.attempt(function () { return self.fs.copy(self.host(from), self.host(to)); });
  };

  // Creates the folder and its missing parents; an existing folder is fine.
  Files.prototype.mkdir = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.mkdir(self.host(path)); });
  };

  Files.prototype.writeString = function (path, text) {
    var self = this;
    return this.attempt(function () { return self.fs.writeString(self.host(path), text); });
  };

  // A folder of the host ("temporary", "documents", ...) in page form, ending in "/".
  Files.prototype.folder = function (where) {
    var self = this;
    var result = this.attempt(function () { return self.page(self.fs.path(where)); });
    if (result.success && !/\/$/.test(result.data)) result.data += '/';
    return result;
  };

  // A system message in words a looper owner understands; unknown messages stay as
  // they are (they are still better than nothing).
  var PLAIN = [
    [/no such file|not found|ENOENT/i, 'The file is not there (any more).'],
    [/no space left|ENOSPC|disk quota/i, 'There is not enough free space on the volume.'],
    [/invalid argument|EINVAL|name too long|illegal byte|invalid or incomplete/i, 'The name is not allowed on the volume.'],
    [/permission denied|EACCES|operation not permitted|EPERM/i, 'Tarn may not read or write this file (permission denied).'],
    [/read-only file system|EROFS/i, 'The volume is read-only.'],
    [/file exists|EEXIST/i, 'A file of that name is already there.'],
    [/input\/output error|EIO/i, 'The device could not be read or written (input/output error).'],
    // What a volume pulled out mid-copy gives once the kernel has dropped the disk.
    [/no such device|ENODEV|ENXIO/i, 'The device is gone (unplugged or switched off).'],
    [/is a directory|EISDIR/i, 'This is a folder, not a file.']
  ];

  // The folder part of a path, without its last "/": "/a/b.wav" -> "/a".
  Files.folderOf = function (path) {
    var text = String(path);
    var slash = text.lastIndexOf('/');
    return slash > 0 ? text.substring(0, slash) : '/';
  };

  Files.plainReason = function (message) {
    var text = String(message === undefined || message === null ? '' : message);
    for (var i = 0; i < PLAIN.length; i++) if (PLAIN[i][0].test(text)) return PLAIN[i][1];
    return text;
  };

  // Why the looper's volume holding path (page form) cannot be used any more: its folders
  // no longer answer (the kernel's error: a pulled-out disk is "gone") or they went with
  // the mount (a desktop unmounts a volume whose disk left); '' when it answers or path is
  // not on a looper's volume. files: a Files (stat).
  Files.volumeProblem = function (files, path) {
    var text = String(path);
    var at = text.indexOf('/CORVANE/');
    if (at <= 0) return '';
    var folder = files.stat(text.substring(0, at + '/CORVANE/'.length));
    if (folder.success) {
      // A dead mount still lists what the kernel holds; the volume's space call knows better.
      if (typeof files.space !== 'function') return '';
      var room = files.space(text.substring(0, at + 1));
      var gone = Files.plainReason('ENODEV');
      return !room.success && Files.plainReason(room.reason) === gone ? gone : '';
    }
    var reason = Files.plainReason(folder.reason);
    return reason === Files.plainReason('ENOENT') ? Files.plainReason('ENODEV') : reason;
  };

  return Files;
});
