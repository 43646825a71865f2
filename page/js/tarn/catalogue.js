// The online track catalogue: addresses, ordering, language and download naming.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).catalogue = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var ADDRESS = 'https://catalogue.corvane.example/tarn/v1/tracksets.json';
  var DEVELOPER_ADDRESS = 'https://catalogue.corvane.example/tarn/dev/tracksets.json';
  var TEMPORARY_NAME = 'tarn-catalogue.json';
  // storage2 keys a user (or a test) can set to use a mirror instead.
  var OVERRIDE_KEY = 'catalogueAddress';
  var DEVELOPER_OVERRIDE_KEY = 'catalogueAddressDev';

  function language(browserLanguage) {
    return String(browserLanguage || '').toLowerCase().indexOf('ja') === 0 ? 'ja' : 'en';
  }

  function time(item) {
    var t = Date.parse(item && item.date);
    return isNaN(t) ? -Infinity : t;
  }

  // Newest first; items without a readable date go last, keeping their order.
  function sortByDate(items) {
    return (items || []).map(function (item, index) { return { item: item, index: index }; })
      .sort(function (a, b) { return time(b.item) - time(a.item) || a.index - b.index; })
      .map(function (entry) { return entry.item; });
  }

  function parse(text) {
    var doc = JSON.parse(text);
    if (!doc || typeof doc !== 'object' || !Array.isArray(doc.items)) throw new Error('no items');
    doc.items = sortByDate(doc.items);
    return doc;
  }

  function localised(item, lang) {
    var l = item && item.lang ? item.lang : {};
    return l[lang] || l.en || {};
  }

  function fileName(key) {
    var text = String(key);
    return text.substring(text.lastIndexOf('/') + 1);
  }

  // contentDomain + the key's "/"-separated segments, each URI-encoded.
  function downloadAddress(contentDomain, key) {
    return String(contentDomain || '') + String(key).split('/').map(encodeURIComponent).join('/');
  }

  var DOCUMENT_NAME = 'tracksets.json';

  // What a user may type as a catalogue address: a web or file:// address as it is, or an
  // absolute folder path (its tracksets.json) or path of a .json file, as a file:// address.
  function documentAddress(text) {
    var value = String(text || '').trim();
    if (!value) return '';
    if (/^[A-Za-z][A-Za-z0-9+.-]*:/.test(value)) return value;
    if (value.charAt(0) !== '/') return '';
    if (!/\.json$/i.test(value)) value = value.replace(/\/*$/, '/') + DOCUMENT_NAME;
    return 'file://' + value.split('/').map(encodeURIComponent).join('/');
  }

  // A contentDomain (or image) relative to the document is taken from the document's own
  // address, so a catalogue folder can be moved or served from anywhere.
  function resolve(reference, base) {
    var text = String(reference === undefined || reference === null ? '' : reference);
    if (/^[A-Za-z][A-Za-z0-9+.-]*:/.test(text) || !base) return text;
    try { return new URL(text, base).href; } catch (e) { return text; }
  }

  function percent(total, amount) {
    total = Number(total);
    amount = Number(amount);
    if (!(total > 0)) return 0;
    return Math.max(0, Math.min(100, Math.floor(100 * amount / total)));
  }

  return {
    ADDRESS: ADDRESS,
    DEVELOPER_ADDRESS: DEVELOPER_ADDRESS,
    TEMPORARY_NAME: TEMPORARY_NAME,
    OVERRIDE_KEY: OVERRIDE_KEY,
    DEVELOPER_OVERRIDE_KEY: DEVELOPER_OVERRIDE_KEY,
    language: language,
    sortByDate: sortByDate,
    parse: parse,
    localised: localised,
    fileName: fileName,
    downloadAddress: downloadAddress,
    documentAddress: documentAddress,
    resolve: resolve,
    percent: percent
  };
});
