// Page globals and texts, shared by the application scripts through Tarn.app.
(function (root) {
  'use strict';
  var T = root.Tarn;

  var texts = T.texts;

  var g = {
    debug: false,
    lang: T.catalogue.language(root.navigator && root.navigator.language),
    downloadExpiresTime: 300,
    tracksetInfoTimeout: 5000,
    product: 'Tarn',
    version: '1.5.0',
    buildNo: '',
    copyright: '\u00A9 2026 Corvane',
    catalogue: {
      address: T.catalogue.ADDRESS,
      developerAddress: T.catalogue.DEVELOPER_ADDRESS,
      temporaryName: T.catalogue.TEMPORARY_NAME
    },
    observer: new T.Observer(),
    communicator: null,
    device: null,
    system: {},
    pref: {},
    scrollPos: 0
  };

  T.app = { texts: texts, g: g, procedures: {} };
})(typeof self !== 'undefined' ? self : this);
