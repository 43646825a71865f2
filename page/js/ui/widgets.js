// Widgets of the page: modal dialogs, a progress dialog, a selectable track list.
(function (root) {
  'use strict';

  var layer = null;
  var stack = [];

  function el(tag, attrs, children) {
    var node = document.createElement(tag);
    Object.keys(attrs || {}).forEach(function (key) {
      if (key === 'text') node.textContent = attrs[key];
      else if (key === 'className') node.className = attrs[key];
      else if (key.indexOf('on') === 0) node.addEventListener(key.substring(2), attrs[key]);
      else node.setAttribute(key, attrs[key]);
    });
    (children || []).forEach(function (child) {
      if (child === null || child === undefined) return;
      node.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
    });
    return node;
  }

  function overlay() {
    if (!layer) {
      layer = el('div', { id: 'modal-layer', className: 'modal-layer' });
      document.body.appendChild(layer);
    }
    return layer;
  }

  // options: title, body (node or text), buttons [{label, action(dialog), primary, id}],
  // width, id, className. An action that returns false keeps the dialog open.
  function dialog(options) {
    var box = el('div', { className: 'dialog ' + (options.className || ''), role: 'dialog', 'aria-modal': 'true' });
    if (options.id) box.id = options.id;
    if (options.width) box.style.width = options.width + 'px';
    // Focus goes back where it was when this dialog closes (a confirmation over a list).
    var focusedBefore = document.activeElement;
    var handle = {
      node: box,
      buttons: {},
      closed: false,
      close: function () {
        if (handle.closed) return;
        handle.closed = true;
        var at = stack.indexOf(handle);
        if (at >= 0) stack.splice(at, 1);
        box.parentNode && box.parentNode.removeChild(box);
        if (stack.length === 0) overlay().classList.remove('shown');
        if (focusedBefore && focusedBefore !== document.body && document.contains(focusedBefore) && focusedBefore.focus) {
          focusedBefore.focus();
        }
        if (options.onClose) options.onClose();
      }
    };
    if (options.title) box.appendChild(el('h2', { className: 'dialog-title', text: options.title }));
    var body = el('div', { className: 'dialog-body' });
    if (typeof options.body === 'string') body.appendChild(el('p', { text: options.body }));
    else if (options.body) body.appendChild(options.body);
    box.appendChild(body);
    if (options.buttons && options.buttons.length) {
      var row = el('div', { className: 'dialog-buttons' });
      options.buttons.forEach(function (b) {
        var button = el('button', { type: 'button', className: b.primary ? 'primary' : '', text: b.label });
        if (b.id) button.id = b.id;
        button.addEventListener('click', function () {
          if (button.disabled) return;
          var keep = b.action ? b.action(handle) : undefined;
          if (keep !== false) handle.close();
        });
        handle.buttons[b.label] = button;
        row.appendChild(button);
      });
      box.appendChild(row);
    }
    overlay().appendChild(box);
    overlay().classList.add('shown');
    stack.push(handle);
    return handle;
  }

  function message(text, title, texts) {
    return dialog({ title: title, body: text, buttons: [{ label: texts.OK, primary: true }], id: 'message-dialog' });
  }

  // The system's own words with the reason underneath, when there is one.
  function withReason(text, reason) {
    if (!reason || reason === text) return text;
    return el('div', { className: 'with-reason' }, [
      el('p', { className: 'message-text', text: text }),
      el('p', { className: 'message-reason', text: reason })
    ]);
  }

  function confirm(title, text, texts, onOK) {
    return dialog({
      title: title, body: text, id: 'confirm-dialog',
      buttons: [{ label: texts.OK, primary: true, action: onOK }, { label: texts.Cancel }]
    });
  }

  // A progress dialog; with onCancel it has a Cancel button, with withBar a bar.
  function progress(text, options) {
    options = options || {};
    var label = el('p', { className: 'progress-text', text: text });
    // busy: a bar that runs without a percentage, for work whose share done is unknown.
    var bar = el('div', { className: 'progress-bar' + (options.busy ? ' busy' : '') }, [el('div', { className: 'progress-fill' })]);
    var body = el('div', { className: 'progress' }, [label, options.withBar ? bar : null]);
    var buttons = options.onCancel ? [{ label: options.texts.Cancel, action: options.onCancel, id: 'progress-cancel' }] : [];
    var handle = dialog({ body: body, buttons: buttons, id: 'progress-dialog', className: 'progress-dialog' });
    handle.setText = function (t) { label.textContent = t; };
    handle.setPercent = function (p) {
      bar.classList.remove('busy');
      bar.firstChild.style.width = p + '%';
      label.textContent = p + '%';
    };
    return handle;
  }

  // A list of memories with their tracks. options: table, labels (memoryLabel(i),
  // trackLabel(t)), onSelect(memory, track, cell), selected {memory, track}, scrollTop.
  function trackList(options) {
    var list = el('div', { className: 'track-list', id: 'track-list', tabindex: '0' });
    var selectedNode = null;
    options.table.forEach(function (tracks, m) {
      var group = el('div', { className: 'memory' }, [el('div', { className: 'memory-label', text: options.labels.memory(m) })]);
      tracks.forEach(function (cell, t) {
        var item = el('div', {
          className: 'track' + (cell.fileName ? ' has-file' : ''),
          'data-memory': String(m), 'data-track': String(t)
        }, [
          el('span', { className: 'track-label', text: options.labels.track(t) }),
          el('span', { className: 'track-file', text: cell.fileName || '' })
        ]);
        item.addEventListener('click', function () { select(item, m, t, cell); });
        group.appendChild(item);
        if (options.selected && options.selected.memory === m && options.selected.track === t) {
          selectedNode = item;
        }
      });
      list.appendChild(group);
    });
    function select(item, m, t, cell) {
      if (selectedNode) selectedNode.classList.remove('selected');
      selectedNode = item;
      item.classList.add('selected');
      options.onSelect(m, t, cell);
    }
    // Keyboard: the arrow keys (and Home/End) move the selection through every track,
    // Enter runs the dialog's main action, Delete asks to delete.
    list.addEventListener('keydown', function (e) {
      var items = Array.prototype.slice.call(list.querySelectorAll('.track'));
      var at = selectedNode ? items.indexOf(selectedNode) : -1;
      var next = -1;
      if (e.key === 'ArrowDown') next = Math.min(items.length - 1, at + 1);
      else if (e.key === 'ArrowUp') next = at < 0 ? 0 : Math.max(0, at - 1);
      else if (e.key === 'Home') next = 0;
      else if (e.key === 'End') next = items.length - 1;
      else if (e.key === 'Enter' && options.onEnter) { e.preventDefault(); options.onEnter(); return; }
      else if ((e.key === 'Delete' || e.key === 'Backspace') && options.onDelete) { e.preventDefault(); options.onDelete(); return; }
      else return;
      e.preventDefault();
      if (next < 0 || next === at) return;
      var item = items[next];
      var m = Number(item.getAttribute('data-memory'));
      var t = Number(item.getAttribute('data-track'));
      select(item, m, t, options.table[m][t]);
      if (item.scrollIntoView) item.scrollIntoView({ block: 'nearest' });
    });
    if (selectedNode) {
      var m = Number(selectedNode.getAttribute('data-memory'));
      var t = Number(selectedNode.getAttribute('data-track'));
      setTimeout(function () {
        list.scrollTop = options.scrollTop || 0;
        select(selectedNode, m, t, options.table[m][t]);
      }, 0);
    }
    return list;
  }

  function anyOpen() { return stack.length > 0; }

  (root.Tarn = root.Tarn || {}).ui = {
    el: el, dialog: dialog, message: message, withReason: withReason, confirm: confirm, progress: progress, trackList: trackList,
    anyOpen: anyOpen
  };
})(typeof self !== 'undefined' ? self : this);
