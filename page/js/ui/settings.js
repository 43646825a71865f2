// The Settings dialog: which track catalogue the page reads. An address may be a web
// address, a file:// address, or a folder on this computer (its tracksets.json).
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;

  var TEST_NAME = 'tarn-catalogue-test.json';
  var test = { id: null, file: '', address: '', report: null };

  function stored() {
    try { return N.app.storage2(T.catalogue.OVERRIDE_KEY) || ''; } catch (e) { return ''; }
  }

  function setReport(text, ok) {
    if (!test.report) return;
    test.report.textContent = text;
    test.report.setAttribute('data-ok', ok ? '1' : '0');
  }

  function testFinished(ok, path) {
    test.id = null;
    if (!ok) { setReport(texts.connectionError, false); return; }
    var read = A.files.readString(test.file);
    A.files.unlink(test.file);
    if (!read.success) { setReport(texts.connectionError, false); return; }
    var doc;
    try { doc = T.catalogue.parse(read.data); } catch (e) { setReport(e && e.plain ? e.plain : texts['Downloaded file is broken.'], false); return; }
    var count = doc.items.length;
    setReport(count === 1 ? '1 track set' : count + ' track sets', true);
  }

  function startTest(value) {
    var address = T.catalogue.documentAddress(value) || g.catalogue.address;
    if (test.id !== null) { try { N.http.cancel(test.id); } catch (e) { /* already over */ } }
    test.file = A.temporary + TEST_NAME;
    test.address = address;
    A.files.unlink(test.file);
    setReport(texts['Loading...'], false);
    var id;
    try { id = N.http.download(address, A.files.host(test.file)); } catch (e) { id = undefined; }
    if (id === undefined || id === null || isNaN(id)) { test.id = null; setReport(texts.connectionError, false); return; }
    test.id = String(id);
  }

  function show() {
    var input = ui.el('input', { type: 'text', id: 'catalogue-address', className: 'address', spellcheck: 'false' });
    input.value = stored();
    input.placeholder = g.catalogue.address;
    test.report = ui.el('p', { className: 'test-report', id: 'catalogue-test-report', text: '' });
    var body = ui.el('div', { className: 'settings' }, [
      ui.el('label', { text: 'Track catalogue' }),
      input,
      ui.el('p', { className: 'muted', text: 'A web address, a file:// address, or a folder on this computer holding tracksets.json. Empty: the built-in catalogue.' }),
      test.report
    ]);
    ui.dialog({
      title: 'Settings', id: 'settings-dialog', width: 560, body: body,
      onClose: function () {
        if (test.id !== null) { try { N.http.cancel(test.id); } catch (e) { /* already over */ } }
        test.id = null;
        test.report = null;
      },
      buttons: [
        { label: 'Use default', id: 'settings-default', action: function () { input.value = ''; setReport('', true); return false; } },
        { label: 'Test', id: 'settings-test', action: function () { startTest(input.value); return false; } },
        { label: 'Save', id: 'settings-save', primary: true, action: function () {
          var value = input.value.trim();
          if (value && !T.catalogue.documentAddress(value)) {
            setReport('Enter a web address, a file:// address or an absolute folder path.', false);
            return false;
          }
          N.app.storage2(T.catalogue.OVERRIDE_KEY, value);
          root.setTimeout(A.catalogueView.load, 0);
        } },
        { label: texts.Cancel, id: 'settings-cancel' }
      ]
    });
    input.focus();
  }

  // The test download's events; every other transfer goes on as before.
  var events = N.http.event;
  var onProgress = events.progress;
  var onCompleted = events.completed;
  var onError = events.error;
  events.progress = function (id) { if (id !== test.id) onProgress.apply(null, arguments); };
  events.completed = function (id, path) { if (id === test.id) testFinished(true, path); else onCompleted.apply(null, arguments); };
  events.error = function (id) { if (id === test.id) testFinished(false); else onError.apply(null, arguments); };

  var button = root.document.getElementById('settings-button');
  if (button) button.addEventListener('click', show);

  A.settings = { show: show, test: test };
})(typeof self !== 'undefined' ? self : this);
