// Start-up: terms of use, About, buttons, device detection and the catalogue.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;
  var doc = root.document;

  // The page is an application, not a document: no browser menu and no selection,
  // except in fields and in texts worth copying (errors, notes, versions, terms).
  var SELECTABLE = 'input, textarea, .selectable, .dialog-body p, .dialog-body pre, .done-note, .catalogue-error';
  function inSelectable(t) {
    var node = t && t.nodeType === 3 ? t.parentNode : t;
    return !!(node && node.closest && node.closest(SELECTABLE));
  }
  doc.addEventListener('contextmenu', function (e) {
    if (!inSelectable(e.target) || !String(root.getSelection ? root.getSelection() : '')) e.preventDefault();
  });
  doc.addEventListener('selectstart', function (e) {
    if (!inSelectable(e.target)) e.preventDefault();
  });

  A.files = new T.Files(N.fs);
  var temporary = A.files.folder('temporary');
  A.temporary = temporary.success ? temporary.data : '/tmp/';
  A.jobs = new T.Jobs({ native: N, files: A.files, temporary: A.temporary });
  A.trackStore = new T.TrackStore(A.files);

  N.audio.event.converted = function (file, outputs) { A.jobs.onConverted(file, outputs); };
  N.audio.event.progress = function (file, percent) { A.jobs.onConvertProgress(file, percent); };
  N.audio.event.convertfailed = function (file) { A.jobs.onConvertFailed(file); };
  N.trnWav.event.finishedAlignTo4byteData = function (file, args) { A.jobs.onAligned(file, args); };
  N.trnWav.event.finishedConvertDataFormat = function (file, args) { A.jobs.onFormatConverted(file, args); };

  N.app.event.command = function (verb, argument) {
    var procedure = A.procedures[verb];
    if (typeof procedure === 'function') procedure(argument);
  };

  function button(id) { return doc.getElementById(id); }

  A.refreshButtons = function () {
    var manager = A.device.manager;
    var usable = manager.usable();
    var reconnect = manager.offersReconnect();
    button('import-button').disabled = !usable;
    button('export-button').disabled = !usable;
    button('backup-button').disabled = !usable;
    button('restore-button').disabled = !usable;
    var disconnect = button('disconnect-button');
    disconnect.textContent = reconnect ? 'Connect' : 'Disconnect';
    disconnect.disabled = !(usable || reconnect);
    var inst = A.device.instrument.inst;
    var status = button('device-status');
    var stuck = manager.foundInEditMode;
    // After Disconnect the looper is out of edit mode and its volume released.
    var released = manager.disconnected && !usable && A.device.safeToUnplug();
    var midiOnly = inst ? null : A.device.midiOnly();
    status.textContent = inst ? inst.name + (stuck ? ' ' + texts.inEditMode : usable ? '' : released ? ': Safe to unplug' : ' \u2026') :
      midiOnly ? midiOnly.name + ': ' + texts.waitingStorage : texts.noDevice;
    status.setAttribute('data-edit-mode-left', stuck ? '1' : '0');
    button('takeover-button').hidden = !stuck;
    status.setAttribute('data-usable', usable ? '1' : '0');
    status.setAttribute('data-phase', String(manager.phase));
    if (A.gridView) A.gridView.deviceChecked();
  };

  function installDate(version) {
    var date = new Date(version && version.ctime);
    return isNaN(date.getTime()) ? 'version ' + (version && version.name) : date.toISOString();
  }

  function loadTerms(done) {
    var request = new XMLHttpRequest();
    request.open('GET', 'terms_of_use/app_terms_of_use.txt');
    request.onload = function () { done(request.status === 200 || request.status === 0 ? request.responseText : ''); };
    request.onerror = function () { done(''); };
    request.send();
  }

  function termsView(text) {
    // Focusable, so that the keys scroll it.
    return ui.el('pre', { className: 'terms', id: 'terms-text', tabindex: '0', 'aria-label': 'Terms of use', text: text });
  }

  function showAbout() {
    if (ui.anyOpen()) return;
    var versionLine = ui.el('p', { className: 'version', id: 'about-version', text: 'Version ' + g.version + (g.debug ? ' (DEV)' : '') });
    versionLine.addEventListener('click', function (e) {
      if (!e.altKey) return;
      var on = A.catalogueView.toggleDeveloperMode();
      versionLine.textContent = 'Version ' + g.version + (on ? ' (DEV)' : '');
    });
    ui.dialog({
      title: 'About ' + g.product,
      id: 'about-dialog',
      body: ui.el('div', { className: 'about' }, [
        ui.el('p', { className: 'about-product', text: g.product }), versionLine, ui.el('p', { text: g.copyright }),
        A.shortcutList ? A.shortcutList() : null
      ]),
      buttons: [
        { label: 'Terms of use', id: 'about-terms', action: function () {
          ui.dialog({ title: 'Terms of use', width: 500, body: termsView(A.termsText), buttons: [{ label: texts.OK, primary: true, focus: true }] });
          return false;
        } },
        { label: texts.OK, primary: true, cancel: true, focus: true }
      ]
    });
  }

  function proceed() {
    button('about-button').hidden = false;
    button('settings-button').hidden = false;
    A.catalogueView.fitHeight();
    A.gridView.start();
    A.device.start();
    A.catalogueView.load();
  }

  function start() {
    A.checkAccess(begin);
  }

  function begin() {
    // What a run that died left in the temporary folder (only by the page that has Tarn: a
    // second tab must not take away what the first is working with).
    T.TrackStore.cleanTemporaryFolder(A.files, A.temporary);
    button('import-button').addEventListener('click', A.trackDialogs.startImport);
    button('export-button').addEventListener('click', A.trackDialogs.startExport);
    button('backup-button').addEventListener('click', A.backupDialogs.startBackup);
    button('restore-button').addEventListener('click', A.backupDialogs.startRestore);
    button('disconnect-button').addEventListener('click', A.device.onDisconnectButton);
    button('about-button').addEventListener('click', showAbout);
    A.showAbout = showAbout;
    button('takeover-button').addEventListener('click', function () { A.device.askTakeOver(); });
    A.refreshButtons();
    root.$event.start();

    var version = {};
    try { version = JSON.parse(N.app.version()); } catch (e) { version = {}; }
    // The program's version is the page's too: one version for program, package and About box.
    if (version && typeof version.name === 'string' && version.name) g.version = version.name;
    var date = installDate(version);
    loadTerms(function (text) {
      A.termsText = text;
      var stored = '';
      try { stored = N.app.storage2('appInstalledDate'); } catch (e) { stored = ''; }
      if (stored === date) { proceed(); return; }
      ui.dialog({
        title: 'Terms of use', width: 500, id: 'terms-dialog', body: termsView(text),
        buttons: [
          // Declining ends the program: it is not used without the terms.
          { label: 'Decline', id: 'decline-button', cancel: true, action: function () { N.app.exit(); } },
          { label: 'Agree', primary: true, focus: true, id: 'agree-button', action: function () {
            N.app.storage2('appInstalledDate', date);
            proceed();
          } }
        ]
      });
    });
  }

  start();
})(typeof self !== 'undefined' ? self : this);
