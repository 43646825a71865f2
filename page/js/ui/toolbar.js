// The toolbar's More menu: in a narrow window the less used actions (the toolbar's
// .overflowable buttons) are offered here, each item standing for its toolbar button
// as that button is now (shown, enabled, labelled). Arrow keys move, Enter or Space
// chooses, Escape or Tab closes.
(function (root) {
  'use strict';
  var T = root.Tarn;
  var A = T.app;
  var ui = T.ui;
  var doc = root.document;
  var more = doc.getElementById('more-button');
  var popup = null;

  function close(refocus) {
    if (!popup) return;
    popup.parentNode.removeChild(popup);
    popup = null;
    A.menuOpen = false;
    more.setAttribute('aria-expanded', 'false');
    if (refocus) more.focus();
  }

  function open() {
    var sources = Array.prototype.filter.call(doc.querySelectorAll('.toolbar .overflowable'), function (b) { return !b.hidden; });
    var items = sources.map(function (source) {
      var item = ui.el('button', { type: 'button', role: 'menuitem', tabindex: '-1', text: source.textContent,
        'data-for': source.id, id: 'more-' + source.id });
      if (source.disabled) item.setAttribute('aria-disabled', 'true');
      item.addEventListener('click', function () {
        if (source.disabled) return;
        close(true);
        source.click();
      });
      return item;
    });
    popup = ui.el('div', { className: 'menu-popup', id: 'more-menu', role: 'menu', 'aria-label': 'More actions' }, items);
    var box = more.getBoundingClientRect();
    popup.style.top = Math.round(box.bottom + 4) + 'px';
    popup.style.right = Math.max(4, Math.round(doc.documentElement.clientWidth - box.right)) + 'px';
    popup.addEventListener('keydown', onKey);
    doc.body.appendChild(popup);
    A.menuOpen = true;
    more.setAttribute('aria-expanded', 'true');
    var first = items.filter(function (i) { return !i.hasAttribute('aria-disabled'); })[0] || items[0];
    if (first) first.focus();
  }

  function onKey(e) {
    var items = Array.prototype.slice.call(popup.querySelectorAll('[role="menuitem"]'));
    var at = items.indexOf(doc.activeElement);
    var next = -1;
    if (e.key === 'ArrowDown') next = (at + 1) % items.length;
    else if (e.key === 'ArrowUp') next = (at + items.length - 1) % items.length;
    else if (e.key === 'Home') next = 0;
    else if (e.key === 'End') next = items.length - 1;
    else if (e.key === 'Escape') { e.preventDefault(); close(true); return; }
    else if (e.key === 'Tab') { close(false); return; }
    else return;
    e.preventDefault();
    if (items[next]) items[next].focus();
  }

  more.addEventListener('click', function () {
    if (popup) close(true);
    else open();
  });
  more.addEventListener('keydown', function (e) {
    if (e.key === 'ArrowDown' && !popup) { e.preventDefault(); open(); }
  });
  doc.addEventListener('mousedown', function (e) {
    if (popup && !popup.contains(e.target) && e.target !== more) close(false);
  });
  // A window made wide enough shows the buttons themselves again.
  root.addEventListener('resize', function () {
    if (popup && root.getComputedStyle(more).display === 'none') close(false);
  });
})(typeof self !== 'undefined' ? self : this);
