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

  // Bounds on what a server may send: a catalogue is a few hundred kilobytes of a few
  // hundred track sets; past these it is refused before it costs memory or time.
  var MAX_DOCUMENT_BYTES = 8 * 1024 * 1024;
  var MAX_ITEMS = 5000;
  var MAX_TRACKS = 1000;
  var TOO_LARGE = 'The track catalogue is too large (over 8 MB); Tarn did not read it.';
  var TOO_MANY = 'The track catalogue lists too many track sets or tracks; Tarn did not read it.';
  var BAD_NAME = 'The catalogue gives this track a file name the looper cannot take.';
  // Downloads wait in the temporary folder under this prefix (so a killed run's are found).
  var DOWNLOAD_PREFIX = 'tarn-download-';

  // An error whose message is for the user as it stands (err.plain).
  function refused(message) {
    var error = new Error(message);
    error.plain = message;
    return error;
  }

  function parse(text) {
    if (String(text).length > MAX_DOCUMENT_BYTES) throw refused(TOO_LARGE);
    var doc = JSON.parse(text);
    if (!doc || typeof doc !== 'object' || !Array.isArray(doc.items)) throw new Error('no items');
    if (doc.items.length > MAX_ITEMS) throw refused(TOO_MANY);
    var tooManyTracks = doc.items.some(function (item) {
      var langs = item && typeof item === 'object' && item.lang && typeof item.lang === 'object' ? item.lang : {};
      return Object.keys(langs).some(function (key) {
        var caption = langs[key] && langs[key].caption;
        return Array.isArray(caption) && caption.length > MAX_TRACKS;
      });
    });
    if (tooManyTracks) throw refused(TOO_MANY);
    doc.items = sortByDate(doc.items);
    return doc;
  }

  function localised(item, lang) {
    var l = item && item.lang ? item.lang : {};
    return l[lang] || l.en || {};
  }

  function utf8Length(text) {
    try { return unescape(encodeURIComponent(text)).length; } catch (e) { return Infinity; }
  }

  // The file name a track's key gives it on the looper: its last segment, or '' when
  // that is no plain file name (empty, "." or "..", hidden, over 255 bytes, holding a
  // character FAT refuses, or ending in a dot or space, which FAT drops).
  function fileName(key) {
    var text = String(key === undefined || key === null ? '' : key);
    var name = text.substring(text.lastIndexOf('/') + 1);
    if (!name || name.charAt(0) === '.' || /[ .]$/.test(name)) return '';
    if (/[\u0000-\u001f\u007f\\:*?"<>|]/.test(name) || utf8Length(name) > 255) return '';
    return name;
  }

  // A web address (or an empty page), '' for anything that could run or read in the
  // page's own origin (javascript:, data:, file:...).
  function webAddress(text) {
    var value = String(text === undefined || text === null ? '' : text);
    return /^(https?:\/\/[^\s]|about:blank(#|$))/i.test(value) ? value : '';
  }

  // An image the page may show: a web address, or a file:// one only in a catalogue that
  // is itself read from files (a folder of the user's); '' for anything else.
  function imageAddress(image, documentAddress) {
    var text = String(image === undefined || image === null ? '' : image);
    if (webAddress(text)) return text;
    if (/^file:\/\//i.test(text) && /^file:\/\//i.test(String(documentAddress || ''))) return text;
    return '';
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
    MAX_DOCUMENT_BYTES: MAX_DOCUMENT_BYTES,
    TOO_LARGE: TOO_LARGE,
    BAD_NAME: BAD_NAME,
    DOWNLOAD_PREFIX: DOWNLOAD_PREFIX,
    fileName: fileName,
    imageAddress: imageAddress,
    webAddress: webAddress,
    downloadAddress: downloadAddress,
    documentAddress: documentAddress,
    resolve: resolve,
    percent: percent
  };
});
