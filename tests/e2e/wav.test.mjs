import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { startTarn, launchBrowser, waitFor } from './lib/tarn.mjs';

// The page prepares a file for the device and exports it again through the real headless
// host: trnWav jobs report by event, and the metadata call answers synchronously.
let tarn;
let browser;
let page;

before(async () => {
  tarn = await startTarn();
  browser = await launchBrowser();
  page = await browser.newPage();
  await page.goto(tarn.address);
  await page.evaluate(() => {
    window.wavEvents = [];
    const log = (name) => function (file, args) { window.wavEvents.push([name, file, JSON.parse(args)]); };
    $native.trnWav.event.finishedAlignTo4byteData = log('aligned');
    $native.trnWav.event.finishedConvertDataFormat = log('converted');
    $event.start();
  });
});

after(async () => {
  await browser?.close();
  await tarn?.stop();
});

const nextEvent = (count) => waitFor(() => page.evaluate((n) => (window.wavEvents.length >= n ? window.wavEvents[n - 1] : null), count),
  { what: 'trnWav event' });

test('a mono 24-bit file is aligned for the device and exported to 24-bit again', async () => {
  const source = join(tarn.home.root, 'source.wav');
  const aligned = join(tarn.home.root, 'aligned.wav');
  const exported = join(tarn.home.root, 'exported.wav');
  execFileSync('sox', ['-n', '-r', '44100', '-c', '1', '-b', '24', source, 'synth', '0.25', 'sine', '440', 'gain', '-6']);

  await page.evaluate(([from, to]) => $native.trnWav.alignTo4byteData(JSON.stringify(
    { from, to, bits: 32, format: 3, sampleRate: 44100, name: 'ignored' })), [source, aligned]);
  assert.deepEqual(await nextEvent(1), ['aligned', source, { path: aligned, result: 1, samples: 11025 }]);
  const info = JSON.parse(await page.evaluate((path) => $native.trnWav.formatWithAcidChunk(path), aligned));
  assert.deepEqual(info, { bits: 32, channels: 2, format: 3, result: 1, sampleRate: 44100, samples: 11025 });

  await page.evaluate(([from, to]) => $native.trnWav.convertDataFormat(JSON.stringify(
    { from, to, bits: 24, format: 1, sampleRate: 44100 })), [aligned, exported]);
  assert.deepEqual(await nextEvent(2), ['converted', aligned, { path: exported, result: 1 }]);
  // Both channels of the export carry the source's own 24-bit samples.
  const src = readFileSync(source);
  const out = readFileSync(exported);
  const dataAt = src.indexOf('data') + 8;  // sox puts a pad byte after the odd-sized data
  const srcData = src.subarray(dataAt, dataAt + 11025 * 3);
  const outData = out.subarray(44);
  assert.equal(outData.length, 11025 * 6);
  for (let i = 0; i < 11025; i += 101) {
    assert.equal(outData.readIntLE(i * 6, 3), srcData.readIntLE(i * 3, 3));
    assert.equal(outData.readIntLE(i * 6 + 3, 3), srcData.readIntLE(i * 3, 3));
  }
});

test('a failed job reports result 0 and leaves nothing; bad arguments throw in the page', async () => {
  const target = join(tarn.home.root, 'never.wav');
  await page.evaluate(([from, to]) => $native.trnWav.convertDataFormat(JSON.stringify(
    { from, to, bits: 8, format: 1, sampleRate: 44100 })), [join(tarn.home.root, 'missing.wav'), target]);
  assert.deepEqual((await nextEvent(3))[2], { path: target, result: 0 });
  assert.equal(existsSync(target), false);
  await assert.rejects(page.evaluate(() => $native.trnWav.alignTo4byteData('{"from":"a"}')), /system exception/);
  assert.equal(await page.evaluate(() => $native.trnWav.formatWithAcidChunk('/')), '{"result":0}');
});
