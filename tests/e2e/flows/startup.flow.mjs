// First start: the terms of use, the install date, About and developer mode, the
// page's key and menu blocking, the catalogue override and Exit.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { openTarn, waitFor } from '../lib/page.mjs';

let t;
after(async () => {
  await t?.close();
});

test('first start shows the terms; Agree stores the install date and the page goes on', async () => {
  // "No looper" holds while this flow runs: it has a mount namespace of its own.
  t = await openTarn({ agree: false, prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' } });
  const { page } = t;
  await page.waitForSelector('#terms-dialog');
  const terms = await page.textContent('#terms-text');
  assert.match(terms, /TERMS OF USE/);
  assert.ok(terms.includes('\n'), 'the terms keep their line breaks');
  assert.equal(await page.isHidden('#about-button'), true);
  await page.click('#agree-button');
  const version = JSON.parse(await page.evaluate(() => $native.app.version()));
  const stored = readFileSync(join(t.prefFolder, 'appInstalledDate'), 'utf8');
  assert.equal(stored, new Date(version.ctime).toISOString());
  await page.waitForSelector('#about-button', { state: 'visible' });

  // The next start finds the date and skips the terms.
  await page.reload();
  await page.waitForSelector('#about-button', { state: 'visible' });
  assert.equal(await page.$('#terms-dialog'), null);
});

test('without a catalogue the pane offers Reload, and no looper leaves the buttons off', async () => {
  const { page } = t;
  await page.click('#catalogue-tab');
  await page.waitForSelector('#catalogue-error');
  assert.equal(await page.isDisabled('#import-button'), true);
  assert.equal(await page.isDisabled('#export-button'), true);
  assert.equal(await page.isDisabled('#disconnect-button'), true);
  const height = await page.evaluate(() => document.getElementById('catalogue').style.height);
  assert.equal(height, '600px');
  await page.setViewportSize({ width: 900, height: 650 });
  await waitFor(() => page.evaluate(() => document.getElementById('catalogue').style.height === '550px'),
    { what: 'the pane to follow the window' });
});

test('About shows product and the program\'s version; Alt-click toggles developer mode', async () => {
  const { page } = t;
  // One version for the program, its package and its page: `tarn --version`'s.
  const version = execFileSync(process.env.TARN_BIN, ['--version'], { encoding: 'utf8' }).trim().split(' ').pop();
  assert.match(version, /^\d+\.\d+\.\d+\.\d+$/);
  await page.click('#about-button');
  const about = await page.textContent('#about-dialog');
  assert.match(about, /Tarn/);
  assert.ok(about.includes('Version ' + version), about);
  assert.match(about, /Terms of use/);
  await page.click('#about-version', { modifiers: ['Alt'] });
  assert.equal(await page.textContent('#about-version'), `Version ${version} (DEV)`);
  assert.equal(await page.evaluate(() => Tarn.app.g.debug), true);
  await page.click('#about-version', { modifiers: ['Alt'] });
  assert.equal(await page.textContent('#about-version'), `Version ${version}`);
  await page.click('#about-dialog button.primary');
  assert.equal(await page.$('#about-dialog'), null);
});

test('F5 and the context menu are swallowed', async () => {
  const { page } = t;
  await page.waitForSelector('#catalogue-error');
  await page.evaluate(() => { window.stillHere = true; });
  await page.keyboard.press('F5');
  await new Promise((r) => setTimeout(r, 300));
  assert.equal(await page.evaluate(() => window.stillHere), true);
  const blocked = await page.evaluate(() => !document.body.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true })));
  assert.equal(blocked, true);
  assert.deepEqual(t.errors, []);
});

test('the exit command ends the process', async () => {
  const { page, tarn } = t;
  await page.evaluate(() => $native.app.event.command('exit', ''));
  const { code } = await tarn.exited;
  assert.equal(code, 0);
});
