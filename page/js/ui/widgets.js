// Widgets of the page: modal dialogs, a progress dialog, a selectable track list.
(function (root) {
  'use strict';

  var layer = null;
  var stack = [];
  var titles = 0;

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

  var FOCUSABLE = 'button, input, select, textarea, a[href], [tabindex]:not([tabindex="-1"])';

  function focusables(box) {
    return Array.prototype.filter.call(box.querySelectorAll(FOCUSABLE), function (node) {
      return !node.disabled && !node.hidden && node.getClientRects().length > 0;
    });
  }

  // options: title, body (node or text), buttons [{label, action(dialog), primary, id,
  // cancel, focus}], width, id, className, onClose. An action that returns false keeps
  // the dialog open. Escape runs the button marked cancel (or the only button); the
  // button marked focus (else the first field of the body, else the primary button)
  // takes the focus when the dialog opens.
  function dialog(options) {
    var box = el('div', { className: 'dialog ' + (options.className || ''), role: 'dialog', 'aria-modal': 'true', tabindex: '-1' });
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
        // What had the focus may have been drawn anew meanwhile (a list after a delete).
        var back = focusedBefore && !document.contains(focusedBefore) && focusedBefore.id
          ? document.getElementById(focusedBefore.id) : focusedBefore;
        if (back && back !== document.body && document.contains(back) && back.focus) back.focus();
        if (options.onClose) options.onClose();
      }
    };
    if (options.title) {
      var titleId = 'dialog-title-' + (++titles);
      box.appendChild(el('h2', { className: 'dialog-title', id: titleId, text: options.title }));
      box.setAttribute('aria-labelledby', titleId);
    } else {
      box.setAttribute('aria-label', options.label || (options.buttons && options.buttons.length ? 'Question' : 'Progress'));
    }
    var body = el('div', { className: 'dialog-body' });
    if (typeof options.body === 'string') body.appendChild(el('p', { text: options.body }));
    else if (options.body) body.appendChild(options.body);
    box.appendChild(body);
    var first = null;
    if (options.buttons && options.buttons.length) {
      var row = el('div', { className: 'dialog-buttons' });
      options.buttons.forEach(function (b) {
        var button = el('button', { type: 'button', className: (b.primary ? 'primary' : '') + (b.danger ? ' danger' : ''), text: b.label });
        if (b.id) button.id = b.id;
        if (b.cancel || b.label === 'Cancel' || /cancel$/i.test(b.id || '') || options.buttons.length === 1) {
          if (!handle.cancelButton || b.cancel) handle.cancelButton = button;
        }
        if (b.focus) first = button;
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
    var field = body.querySelector('input, select, textarea, [tabindex="0"]');
    var primary = box.querySelector('.dialog-buttons button.primary');
    var target = first || field || primary || box.querySelector('.dialog-buttons button') || box;
    target.focus();
    return handle;
  }

  // While a dialog is open the keyboard stays in the top one: Tab cycles through its
  // controls and Escape answers it as its Cancel button would (a dialog without one,
  // such as a running job's progress, stays).
  document.addEventListener('keydown', function (e) {
    var top = stack[stack.length - 1];
    if (!top) return;
    if (e.key === 'Escape') {
      e.preventDefault();
      e.stopPropagation();
      var cancel = top.cancelButton;
      if (cancel && !cancel.disabled) cancel.click();
      return;
    }
    // Enter in a one-line field answers the dialog with its main button.
    if (e.key === 'Enter' && e.target.matches && e.target.matches('input[type="text"], input:not([type])')) {
      var main = top.node.querySelector('.dialog-buttons button.primary');
      if (main && !main.disabled && top.node.contains(e.target)) { e.preventDefault(); main.click(); }
      return;
    }
    if (e.key !== 'Tab') return;
    var all = focusables(top.node);
    if (!all.length) { e.preventDefault(); top.node.focus(); return; }
    var at = all.indexOf(document.activeElement);
    var next = at < 0 ? (e.shiftKey ? all.length - 1 : 0)
      : e.shiftKey ? (at + all.length - 1) % all.length : (at + 1) % all.length;
    if (at < 0 || (e.shiftKey ? at === 0 : at === all.length - 1)) {
      e.preventDefault();
      all[next].focus();
    }
  }, true);

  // Focus that lands behind the open dialogs (a click on the dimmed page) comes back.
  document.addEventListener('focusin', function (e) {
    var top = stack[stack.length - 1];
    if (top && !top.node.contains(e.target) && !(e.target.closest && e.target.closest('.menu-popup'))) top.node.focus();
  });

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

  // A question with its answer and Cancel. options: ok (the answer's label, naming the
  // action), destructive (Cancel takes the focus, so Enter does no harm).
  function confirm(title, text, texts, onOK, options) {
    options = options || {};
    return dialog({
      title: title, body: text, id: 'confirm-dialog',
      buttons: [
        { label: options.ok || texts.OK, primary: true, danger: !!options.destructive, action: onOK, id: 'confirm-ok' },
        { label: texts.Cancel, cancel: true, focus: !!options.destructive, id: 'confirm-cancel' }
      ]
    });
  }

  // A progress dialog; with onCancel it has a Cancel button, with withBar a bar.
  function progress(text, options) {
    options = options || {};
    var label = el('p', { className: 'progress-text', text: text });
    // busy: a bar that runs without a percentage, for work whose share done is unknown.
    var bar = el('div', { className: 'progress-bar' + (options.busy ? ' busy' : '') }, [el('div', { className: 'progress-fill' })]);
    var body = el('div', { className: 'progress' }, [label, options.withBar ? bar : null]);
    var buttons = options.onCancel ? [{ label: options.texts.Cancel, action: options.onCancel, id: 'progress-cancel', cancel: true }] : [];
    var handle = dialog({ body: body, buttons: buttons, id: 'progress-dialog', className: 'progress-dialog', label: text });
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
