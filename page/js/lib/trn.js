// The page's library for Tarn's own modules (trnUtil, trnIr, trnWav), built on the
// bridge's $native.call. Events reach $native.<module>.event.<name> like any module's.
(function () {
  'use strict';

  var MODULES = {
    trnUtil: ['trnLttcVer'],
    trnIr: ['convert', 'cancel'],
    trnWav: ['alignTo4byteData', 'convertDataFormat', 'formatWithAcidChunk', 'peaks']
  };

  var native = window.$native;
  Object.keys(MODULES).forEach(function (module) {
    var object = native[module] = native[module] || {};
    object.event = object.event || {};
    MODULES[module].forEach(function (fn) {
      object[fn] = function (a1, a2) { return native.call('$$' + module + '_' + fn, a1, a2); };
    });
  });
})();
