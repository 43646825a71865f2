// A small publish/subscribe hub: listeners register under a property and an id.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).Observer = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function Observer() { this.listeners = {}; }

  Observer.prototype.append = function (prop, id, func) {
    this.remove(prop, id);
    (this.listeners[prop] = this.listeners[prop] || []).push({ id: id, func: func });
  };

  Observer.prototype.remove = function (prop, id) {
    var list = this.listeners[prop];
    if (!list) return;
    this.listeners[prop] = list.filter(function (entry) { return entry.id !== id; });
  };

  Observer.prototype.notify = function (prop) {
    var args = Array.prototype.slice.call(arguments, 1);
    (this.listeners[prop] || []).slice().forEach(function (entry) { entry.func.apply(null, args); });
  };

  return Observer;
});
