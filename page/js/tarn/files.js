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

  Files.prototype.unlink = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.unlink(self.host(path)); });
  };

  Files.prototype.move = function (from, to) {
    var self = this;
    return this.attempt(function () { return self.fs.move(self.host(from), self.host(to)); });
  };

  Files.prototype.readString = function (path) {
    var self = this;
    return this.attempt(function () { return self.fs.readString(self.host(path)); });
  };

  // A folder of the host ("temporary", "documents", ...) in page form, ending in "/".
  Files.prototype.folder = function (where) {
    var self = this;
    var result = this.attempt(function () { return self.page(self.fs.path(where)); });
    if (result.success && !/\/$/.test(result.data)) result.data += '/';
    return result;
  };

  return Files;
});
