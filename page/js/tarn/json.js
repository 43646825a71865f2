// The project's JSON text: keys sorted, compact, integral numbers without a fraction;
// members that are undefined are left out, non-finite numbers and undefined array
// elements written as null (as JSON.stringify does).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).json = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function text(value) {
    if (value === null || typeof value !== 'object') {
      return typeof value === 'number' && !isFinite(value) ? 'null' : JSON.stringify(value);
    }
    if (Array.isArray(value)) {
      return '[' + value.map(function (v) { return v === undefined ? 'null' : text(v); }).join(',') + ']';
    }
    return '{' + Object.keys(value).filter(function (k) { return value[k] !== undefined; }).sort()
      .map(function (k) { return JSON.stringify(k) + ':' + text(value[k]); }).join(',') + '}';
  }

  return { text: text };
});
