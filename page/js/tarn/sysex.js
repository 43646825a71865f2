// System-exclusive messages of the looper's edit protocol and the communicator that
// queues them, paces them and matches the device's answers to pending reads.
//
// Messages travel as hex text. The fixed header digits are upper case; address, size,
// data and checksum digits are lower case (the host accepts either case).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else (root.Tarn = root.Tarn || {}).sysex = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var MANUFACTURER_ID = '7D';
  var DEVICE_ID = '10';
  var NO_MODEL = '00000000';
  var WRITE = '12';
  var READ = '11';
  var EDIT_MODE_ADDRESS = 0x7F700000;
  var EDIT_MODE = { OFF: 0, ON: 1, BUSY: 2 };
  var SEND_INTERVAL_MS = 10;

  function hex2(value) {
    var text = (value & 0xFF).toString(16);
    return text.length < 2 ? '0' + text : text;
  }

  function hex8(value) {
    var text = (value >>> 0).toString(16);
    while (text.length < 8) text = '0' + text;
    return text;
  }

  function bytesOf(hex) {
    var bytes = [];
    for (var i = 0; i + 1 < hex.length; i += 2) bytes.push(parseInt(hex.substr(i, 2), 16) || 0);
    return bytes;
  }

  // (128 - (sum of the bytes AND 0x7F)) AND 0x7F, as two lower-case hex digits.
  function checksum(hex) {
    var sum = bytesOf(hex).reduce(function (a, b) { return a + b; }, 0);
    return hex2((128 - (sum & 0x7F)) & 0x7F);
  }

  function header(modelId) {
    return 'F0' + MANUFACTURER_ID + DEVICE_ID + modelId;
  }

  function dt1(modelId, address, data) {
    var body = hex8(address) + data.map(hex2).join('');
    return header(modelId) + WRITE + body + checksum(body) + 'F7';
  }

  function rq1(modelId, address, size) {
    var body = hex8(address) + hex8(size);
    return header(modelId) + READ + body + checksum(body) + 'F7';
  }

  // Sorts an incoming message: a write from the device (with its address and data),
  // another message of ours ("sysex"), or anything else ("msg").
  function classify(modelId, message) {
    var text = String(message).toUpperCase();
    var writeHeader = header(modelId).toUpperCase() + WRITE;
    if (text.indexOf('F0') === 0 && text.indexOf(writeHeader) === 0 && text.length >= writeHeader.length + 12) {
      var body = text.substring(writeHeader.length, text.length - 4);
      var dataHex = body.substring(8);
      return { kind: 'dt1', address: parseInt(body.substring(0, 8), 16), dataHex: dataHex, data: bytesOf(dataHex) };
    }
    if (text.indexOf(header(modelId).toUpperCase()) === 0) return { kind: 'sysex' };
    if (text.indexOf('F0') !== 0) return { kind: 'msg' };
    return { kind: 'other' };
  }

  // Queues messages and sends the oldest one on each tick once the previous message's
  // wait (its hex length / 4 ms) has passed. Reads with a callback become transactions:
  // the device's answer for that address goes to the first one; a callback returning
  // false ends its transaction.
  function Communicator(options) {
    this.send = options.send;
    this.now = options.now || function () { return Date.now(); };
    this.observer = options.observer || null;
    this.modelId = NO_MODEL;
    this.queue = [];
    this.transactions = [];
    // Requests queued so far, by message: with the copies still queued, it tells which
    // transactions' requests went out.
    this.requested = {};
    this.lastSend = 0;
    this.wait = 0;
  }

  Communicator.prototype.setModelId = function (id) { this.modelId = id || NO_MODEL; };

  Communicator.prototype.write = function (address, data) {
    this.queue.push(dt1(this.modelId, address, data));
  };

  Communicator.prototype.read = function (address, size, func) {
    var message = rq1(this.modelId, address, size);
    var count = this.requested[message] = (this.requested[message] || 0) + 1;
    if (typeof func === 'function') this.transactions.push({ addr: address, func: func, message: message, seq: count });
    this.queue.push(message);
  };

  // True once the transaction's own request has left the queue. An answer that comes
  // before then answers an earlier request, possibly sent before something written
  // since (edit mode switched off and on again), so it says nothing this read asked.
  Communicator.prototype.sent = function (transaction) {
    var waiting = 0;
    for (var i = 0; i < this.queue.length; i++) if (this.queue[i] === transaction.message) waiting++;
    return transaction.seq <= this.requested[transaction.message] - waiting;
  };

  Communicator.prototype.dropTransactions = function () { this.transactions = []; };

  // Ends the transactions whose answers go to func.
  Communicator.prototype.forget = function (func) {
    this.transactions = this.transactions.filter(function (t) { return t.func !== func; });
  };

  // One pacing step; returns the message sent, or null.
  Communicator.prototype.tick = function () {
    if (this.queue.length === 0) return null;
    var now = this.now();
    if (now - this.lastSend < this.wait) return null;
    var message = this.queue.shift();
    this.lastSend = now;
    this.wait = Math.floor(message.length / 4);
    this.send(message);
    return message;
  };

  Communicator.prototype.notify = function () {
    if (this.observer) this.observer.notify.apply(this.observer, arguments);
  };

  Communicator.prototype.receive = function (message) {
    var incoming = classify(this.modelId, message);
    if (incoming.kind === 'dt1') {
      for (var i = 0; i < this.transactions.length; i++) {
        var transaction = this.transactions[i];
        if (transaction.addr !== incoming.address || !this.sent(transaction)) continue;
        if (transaction.func(incoming.data, incoming.dataHex) === false) {
          var at = this.transactions.indexOf(transaction);
          if (at >= 0) this.transactions.splice(at, 1);
        }
        return incoming;
      }
      this.notify('midi_dt1', incoming.address, incoming.dataHex);
    } else if (incoming.kind === 'sysex') {
      this.notify('midi_sysex', message);
    } else if (incoming.kind === 'msg') {
      this.notify('midi_msg', message);
    }
    return incoming;
  };

  return {
    NO_MODEL: NO_MODEL,
    EDIT_MODE_ADDRESS: EDIT_MODE_ADDRESS,
    EDIT_MODE: EDIT_MODE,
    SEND_INTERVAL_MS: SEND_INTERVAL_MS,
    checksum: checksum,
    header: header,
    dt1: dt1,
    rq1: rq1,
    classify: classify,
    bytesOf: bytesOf,
    Communicator: Communicator
  };
});
