// The looper's system-exclusive texts and the communicator's pacing and read matching.
const test = require('node:test');
const assert = require('node:assert/strict');
const sysex = require('../../page/js/tarn/sysex.js');
const Observer = require('../../page/js/tarn/observer.js');

test('checksum of the edit-mode address and data 01 is 10', () => {
  assert.equal(sysex.checksum('7f70000001'), '10');
  // Sums above 0x7F wrap; a sum that is a multiple of 128 gives 00.
  assert.equal(sysex.checksum('7f01'), '00');
  assert.equal(sysex.checksum('7f70000000000001'), '10');
});

test('DT1 and RQ1 texts: upper-case header, lower-case body', () => {
  assert.equal(sysex.dt1('00000071', 0x7F700000, [1]), 'F07D1000000071127f7000000110F7');
  assert.equal(sysex.rq1('00000071', 0x7F700000, 1), 'F07D1000000071117f7000000000000110F7');
  assert.equal(sysex.dt1('0000000073', 0x7F700000, [0]), 'F07D10000000007312' + '7f70000000' + '11' + 'F7');
});

function harness() {
  let clock = 0;
  const sent = [];
  const observer = new Observer();
  const heard = [];
  ['midi_dt1', 'midi_sysex', 'midi_msg'].forEach((p) => observer.append(p, 't', (...a) => heard.push([p, ...a])));
  const c = new sysex.Communicator({ send: (m) => sent.push(m), now: () => clock, observer });
  return { c, sent, heard, advance: (ms) => { clock += ms; } };
}

test('the send queue sends one message per tick after the previous one\'s wait', () => {
  const h = harness();
  h.advance(1000);
  assert.equal(h.c.tick(), null, 'an empty queue sends nothing');
  h.c.queue.push('F0' + '0'.repeat(26) + 'F7'); // 30 characters: wait 7 ms
  h.c.queue.push('F0F7');
  assert.equal(h.c.tick().length, 30);
  h.advance(6);
  assert.equal(h.c.tick(), null);
  h.advance(1);
  assert.equal(h.c.tick(), 'F0F7');
  assert.equal(h.sent.length, 2);
});

test('a device write goes to the first transaction with its address', () => {
  const h = harness();
  h.c.setModelId('00000071');
  const replies = [];
  h.c.read(0x7F700000, 1, (data) => { replies.push(['first', data[0]]); return data[0] !== 1; });
  h.c.read(0x7F700000, 1, (data) => { replies.push(['second', data[0]]); return false; });
  const fromDevice = (v) => sysex.dt1('00000071', 0x7F700000, [v]);
  h.c.queue.splice(0); // both requests went out
  h.c.receive(fromDevice(2));          // first keeps waiting (returns true)
  h.c.receive(fromDevice(1).toLowerCase()); // either case; first ends
  h.c.receive(fromDevice(0));          // now the second
  h.c.receive(fromDevice(0));          // no transaction left
  assert.deepEqual(replies, [['first', 2], ['first', 1], ['second', 0]]);
  assert.deepEqual(h.heard, [['midi_dt1', 0x7F700000, '00']]);
});

test('an answer that comes before a read\'s own request went out is not given to it', () => {
  const h = harness();
  h.c.setModelId('00000071');
  const fromDevice = (v) => sysex.dt1('00000071', 0x7F700000, [v]);
  h.c.read(0x7F700000, 1);              // an earlier read, nobody waiting for it
  h.c.write(0x7F700000, [0]);
  const replies = [];
  h.c.read(0x7F700000, 1, (data) => { replies.push(data[0]); return false; });
  h.c.queue.shift();                    // the earlier read went out ...
  h.c.receive(fromDevice(1));           // ... and its answer predates the write
  assert.deepEqual(replies, []);
  h.c.queue.splice(0);                  // the write and this read's request went out
  h.c.receive(fromDevice(0));
  assert.deepEqual(replies, [0]);
  assert.deepEqual(h.heard, [['midi_dt1', 0x7F700000, '01']]);
});

test('incoming messages are sorted into dt1, sysex and plain MIDI notifications', () => {
  const h = harness();
  h.c.setModelId('00000071');
  h.c.receive(sysex.dt1('00000071', 0x10, [5, 6]));
  h.c.receive('F07D100000007111000000100000000170F7'); // our header, a read: sysex
  h.c.receive('903C40');
  h.c.receive('F07D1000000072127f7000000110F7'); // another model's write: ignored
  assert.deepEqual(h.heard, [
    ['midi_dt1', 0x10, '0506'],
    ['midi_sysex', 'F07D100000007111000000100000000170F7'],
    ['midi_msg', '903C40'],
  ]);
});

test('dropping transactions forgets pending reads', () => {
  const h = harness();
  h.c.setModelId('00000071');
  let called = false;
  h.c.read(0x7F700000, 1, () => { called = true; return false; });
  h.c.dropTransactions();
  h.c.receive(sysex.dt1('00000071', 0x7F700000, [1]));
  assert.equal(called, false);
  assert.equal(h.heard.length, 1);
});
