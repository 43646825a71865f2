// The catalogue pane: loads the catalogue document, lists its track sets and offers
// their tracks for download into the device.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var N = root.$native;
  var ui = T.ui;
  var texts = A.texts;
  var g = A.g;

  var state = { taskId: null, file: '', splash: null, doc: null, selected: 0 };

  function pane() { return root.document.getElementById('catalogue'); }

  function override(key) {
    try { return N.app.storage2(key) || ''; } catch (e) { return ''; }
  }

  function address() {
    if (g.debug) return override(T.catalogue.DEVELOPER_OVERRIDE_KEY) || g.catalogue.developerAddress;
    return T.catalogue.documentAddress(override(T.catalogue.OVERRIDE_KEY)) || g.catalogue.address;
  }

  // Relative addresses in the document are the document's own folder's.
  function resolveDocument(doc, base) {
    doc.contentDomain = T.catalogue.resolve(doc.contentDomain || '', base);
    doc.items.forEach(function (item) {
      var langs = item && item.lang ? item.lang : {};
      Object.keys(langs).forEach(function (key) {
        if (langs[key] && langs[key].image) {
          langs[key].image = T.catalogue.imageAddress(T.catalogue.resolve(langs[key].image, doc.contentDomain), base);
        }
      });
    });
    return doc;
  }

  function closeSplash() {
    if (state.splash) state.splash.close();
    state.splash = null;
  }

  function showFailure(text) {
    closeSplash();
    state.taskId = null;
    var box = pane();
    box.textContent = '';
    // Nothing chosen and the built-in catalogue out of reach: say so, and offer Settings.
    var unset = !g.debug && !override(T.catalogue.OVERRIDE_KEY) && text === texts.connectionError && A.settings;
    box.appendChild(ui.el('div', { className: 'catalogue-error', id: 'catalogue-error' }, [
      ui.el('p', { text: unset ? texts.noCatalogue : text }),
      unset ? ui.el('button', { type: 'button', id: 'catalogue-settings-button', text: 'Settings', onclick: function () { A.settings.show(); } }) : null,
      ui.el('button', { type: 'button', id: 'reload-button', text: texts.Reload, onclick: load })
    ]));
  }

  function load() {
    state.file = A.temporary + g.catalogue.temporaryName;
    A.files.unlink(state.file);
    closeSplash();
    state.splash = ui.dialog({
      id: 'splash',
      className: 'splash',
      body: ui.el('div', {}, [
        ui.el('h2', { text: g.product }),
        ui.el('p', { text: 'Version ' + g.version + (g.debug ? ' (DEV)' : '') }),
        ui.el('p', { className: 'muted', text: texts['Loading...'] })
      ])
    });
    var id;
    state.address = address();
    try { id = N.http.download(state.address, A.files.host(state.file)); } catch (e) { id = undefined; }
    if (id === undefined || id === null || isNaN(id)) { showFailure(texts.connectionError); return; }
    state.taskId = String(id);
  }

  function completed() {
    closeSplash();
    state.taskId = null;
    var read = A.files.readString(state.file);
    A.files.unlink(state.file);
    if (!read.success) { showFailure(texts.connectionError); return; }
    try {
      state.doc = resolveDocument(T.catalogue.parse(read.data), state.address);
    } catch (e) {
      showFailure(e && e.plain ? e.plain : texts['Downloaded file is broken.']);
      return;
    }
    state.selected = 0;
    render();
  }

  function text(value) { return value === undefined || value === null ? '' : String(value); }

  function render() {
    var box = pane();
    box.textContent = '';
    var items = state.doc.items;
    var list = ui.el('ul', { className: 'set-list', id: 'set-list' });
    items.forEach(function (item, index) {
      var l = T.catalogue.localised(item, g.lang);
      var entry = ui.el('li', { className: 'set' + (index === state.selected ? ' selected' : '') }, [
        l.image ? ui.el('img', { src: l.image, alt: '' }) : null,
        ui.el('span', { text: text(l.title) })
      ]);
      entry.addEventListener('click', function () { state.selected = index; render(); });
      list.appendChild(entry);
    });
    var side = ui.el('div', { className: 'sets' }, [
      ui.el('div', { className: 'sets-head' }, [
        ui.el('h2', { text: texts['Track Sets'] }),
        ui.el('button', { type: 'button', id: 'reload-button', text: texts.Reload, onclick: load })
      ]),
      list
    ]);
    box.appendChild(side);
    box.appendChild(detail(items[state.selected]));
  }

  function detail(item) {
    var view = ui.el('div', { className: 'set-detail', id: 'set-detail' });
    if (!item) return view;
    var l = T.catalogue.localised(item, g.lang);
    view.appendChild(ui.el('div', { className: 'caption' }, [
      l.image ? ui.el('img', { src: l.image, alt: '' }) : null,
      ui.el('h2', { text: text(l.title) }),
      ui.el('p', { className: 'description', text: text(l.description) }),
      ui.el('p', { className: 'text', text: text(l.text) })
    ]));
    // Players are embedded from web addresses only: a javascript: or file: address from
    // a catalogue would run or read in the page's own origin.
    var video = l.youtubeurl ? T.catalogue.webAddress(text(state.doc.ytplayerUrl) + l.youtubeurl) : '';
    if (video) {
      view.appendChild(ui.el('iframe', { className: 'video', src: video, allowfullscreen: 'true', title: 'video' }));
    }
    var audio = l.soundcloudurl ? T.catalogue.webAddress(l.soundcloudurl) : '';
    if (audio) {
      view.appendChild(ui.el('iframe', { className: 'audio', src: audio, title: 'audio' }));
    }
    var tracks = ui.el('ul', { className: 'set-tracks' });
    (l.caption || []).forEach(function (track) {
      var row = ui.el('li', { className: 'set-track' }, [
        ui.el('span', { className: 'no', text: text(track.no) }),
        ui.el('span', { className: 'name', text: text(track.title) }),
        ui.el('span', { className: 'description', text: text(track.description) }),
        ui.el('span', { className: 'key', hidden: 'hidden', text: text(track.key) })
      ]);
      if (track.no !== undefined && track.no !== null && track.no !== '') {
        row.appendChild(ui.el('button', {
          type: 'button', className: 'download', text: 'Download',
          onclick: function () { A.trackDialogs.startDownload(state.doc.contentDomain, text(l.title), track); }
        }));
      }
      tracks.appendChild(row);
    });
    view.appendChild(tracks);
    return view;
  }

  function fitHeight() {
    var box = pane();
    if (box) box.style.height = Math.max(200, root.innerHeight - 100) + 'px';
  }

  var resizeTimer = null;
  root.addEventListener('resize', function () {
    if (resizeTimer !== null) root.clearTimeout(resizeTimer);
    resizeTimer = root.setTimeout(fitHeight, 200);
  });

  // The http module's events are shared with the track downloads of Tarn.app.jobs.
  N.http.event.progress = function (id, total, amount) {
    if (id !== state.taskId) { A.jobs.onProgress(id, total, amount); return; }
    // A document past the limit is not waited for (nor kept).
    if (Math.max(Number(total) || 0, Number(amount) || 0) > T.catalogue.MAX_DOCUMENT_BYTES) {
      try { N.http.cancel(id); } catch (e) { /* already over */ }
      A.files.unlink(state.file);
      showFailure(T.catalogue.TOO_LARGE);
    }
  };
  N.http.event.completed = function (id, path) {
    if (id === state.taskId) completed(); else A.jobs.onCompleted(id, path);
  };
  N.http.event.error = function (id, url) {
    if (id === state.taskId) showFailure(texts.connectionError); else A.jobs.onError(id, url);
  };

  function toggleDeveloperMode() {
    g.debug = !g.debug;
    load();
    return g.debug;
  }

  A.catalogueView = {
    load: load, fitHeight: fitHeight, toggleDeveloperMode: toggleDeveloperMode, state: state, resolveDocument: resolveDocument
  };
})(typeof self !== 'undefined' ? self : this);
