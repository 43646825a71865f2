// The window used with the keyboard alone, light and dark, narrow and wide: dialogs take
// the focus and answer Escape, the toolbar keeps every action reachable, a whole import,
// export and delete runs from the keys, and axe finds nothing serious on any screen.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync, readdirSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { openTarn, waitUsable, waitFor } from '../lib/page.mjs';
import { volumesUnavailable, mountVolume, makeAudio, scratchFolder, screenshotNotBlank } from '../lib/looper.mjs';

const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
// A toolbar button by the keys: focused, then Enter.
async function toolbar(page, id) {
  await page.focus('#' + id);
  await page.keyboard.press('Enter');
}

const ACTIONS = ['import-button', 'export-button', 'backup-button', 'restore-button', 'deleted-button', 'disconnect-button', 'settings-button', 'about-button'];

let volume, scratch, t, music;
let skip = '';

before(async () => {
  skip = volumesUnavailable();
  if (skip) return;
  scratch = scratchFolder();
  const config = join(scratch.folder, 'config');
  music = join(scratch.folder, 'Music');
  for (const folder of [config, music, join(scratch.folder, 'Documents')]) mkdirSync(folder, { recursive: true });
  writeFileSync(join(config, 'user-dirs.dirs'), `XDG_MUSIC_DIR="${music}"\nXDG_DOCUMENTS_DIR="${join(scratch.folder, 'Documents')}"\n`);
  mkdirSync(join(music, 'Live'));
  makeAudio(join(music, 'Live', 'Loop.wav'), 1);
  volume = mountVolume('Pool Duo');
  // No display: the page's own chooser stands in for the file dialogs.
  t = await openTarn({
    agree: false,
    prefs: { catalogueAddress: 'http://127.0.0.1:9/none.json' },
    env: { XDG_CONFIG_HOME: config, DISPLAY: '', WAYLAND_DISPLAY: '', TARN_DIALOG_ANSWERS: '' },
  });
});

after(async () => {
  await t?.close();
  volume?.cleanup();
  scratch?.cleanup();
});

// axe-core over the page as it is now; only serious and critical findings count.
async function accessible(page, screen) {
  if (!(await page.evaluate(() => !!window.axe))) await page.addScriptTag({ content: axeSource });
  const found = await page.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
  });
  assert.deepEqual(found, [], `accessibility on ${screen}`);
}

const focused = (page) => page.evaluate(() => document.activeElement && (document.activeElement.id || document.activeElement.className));
const press = async (page, ...keys) => { for (const key of keys) await page.keyboard.press(key); };

async function bothSchemes(page, screen) {
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    await accessible(page, `${screen} (${colorScheme})`);
  }
  await page.emulateMedia({ colorScheme: 'light' });
}

test('keyboard alone: terms, toolbar, dialogs, import, export, delete and quit; light and dark', async (ctx) => {
  if (skip) { ctx.skip(skip); return; }
  const { page } = t;

  // The terms take the focus on Agree, keep Tab inside, and can be declined.
  await page.waitForSelector('#terms-dialog');
  assert.equal(await focused(page), 'agree-button');
  assert.match(await page.textContent('#terms-dialog .dialog-buttons'), /Decline.*Agree/);
  await press(page, 'Tab', 'Tab', 'Tab', 'Shift+Tab');
  assert.ok(await page.evaluate(() => document.getElementById('terms-dialog').contains(document.activeElement)));
  await bothSchemes(page, 'terms');
  await page.focus('#agree-button');
  await press(page, 'Enter');
  await waitUsable(page);
  await page.waitForSelector('[role=grid]');
  await bothSchemes(page, 'main view');

  // Dark follows the browser's scheme: a dark page under a dark preference.
  await page.emulateMedia({ colorScheme: 'dark' });
  const luminance = await page.evaluate(() => {
    const [r, g, b] = getComputedStyle(document.body).backgroundColor.match(/\d+/g).map(Number)
      .map((c) => c / 255).map((c) => (c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4));
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  });
  assert.ok(luminance < 0.2, `dark background luminance ${luminance}`);
  await screenshotNotBlank(page, 'keyboard-dark-1000.png', ctx);
  await page.emulateMedia({ colorScheme: 'light' });

  // Wide, every action is in the bar; at 620 px the rest are under More, which the keys open.
  await page.setViewportSize({ width: 1920, height: 800 });
  for (const id of ACTIONS) assert.ok(await page.isVisible('#' + id), id + ' in the wide bar');
  assert.equal(await page.isVisible('#more-button'), false);
  assert.equal(await page.evaluate(() => document.querySelector('.toolbar').offsetHeight < 70), true, 'one row');
  await page.setViewportSize({ width: 620, height: 700 });
  await screenshotNotBlank(page, 'keyboard-light-620.png', ctx);
  const inBar = [];
  for (const id of ACTIONS) if (await page.isVisible('#' + id)) inBar.push(id);
  await page.focus('#more-button');
  await press(page, 'Enter');
  await page.waitForSelector('#more-menu');
  assert.equal(await focused(page), 'more-backup-button');
  const inMenu = await page.$$eval('#more-menu [role="menuitem"]', (items) => items.map((i) => i.dataset.for));
  assert.deepEqual([...inBar, ...inMenu].sort(), [...ACTIONS].sort());
  assert.ok(await page.evaluate(() => document.querySelector('.toolbar').scrollWidth <= 620), 'nothing cut off');
  await accessible(page, 'More menu');
  await press(page, 'End', 'Enter');  // About, the last item
  await page.waitForSelector('#about-dialog');
  assert.match(await page.textContent('#shortcut-list'), /Ctrl\+O.*Import/);
  await bothSchemes(page, 'About');
  await press(page, 'Escape');
  await page.waitForSelector('#about-dialog', { state: 'detached' });
  assert.equal(await focused(page), 'more-button', 'focus goes back where it was');
  await page.setViewportSize({ width: 1000, height: 700 });

  // F1 is About too; a shortcut does nothing while a dialog is open.
  await press(page, 'F1');
  await page.waitForSelector('#about-dialog');
  await press(page, 'Control+o');
  assert.equal(await page.$('#chooser-dialog'), null);
  await press(page, 'Escape');

  // Import: the toolbar's Import by the keys (Ctrl+O acts on the grid's selection), the chooser's list by arrows and Enter (into Live/, then the file),
  // the first empty track by Enter.
  await toolbar(page, 'import-button');
  await page.waitForSelector('#chooser-dialog');
  await bothSchemes(page, 'chooser');
  await page.focus('#chooser-list');
  await press(page, 'Home', 'Enter');
  await waitFor(async () => (await page.textContent('#chooser-folder')) === join(music, 'Live') + '/', { what: 'Live/' });
  await press(page, 'Home', 'Enter');
  await page.waitForSelector('#import-dialog');
  await bothSchemes(page, 'import dialog');
  assert.equal(await focused(page), 'track-list');
  await press(page, 'Home', 'Enter');
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  await waitFor(() => readdirSync(volume.track(1, 1)).includes('Loop.wav'), { what: 'the imported track' });
  await page.waitForSelector('#done-note');
  assert.match(await page.textContent('#done-note'), /^Imported Loop\.wav into .+, .+1\.$/);

  // Export: the toolbar's Export by the keys, the imported track, Enter, a typed name in the chooser.
  await toolbar(page, 'export-button');
  await page.waitForSelector('#export-dialog');
  await press(page, 'Home', 'Enter');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await focused(page), 'chooser-name');
  await page.fill('#chooser-name', 'Take');
  await press(page, 'Enter');
  await waitFor(() => readdirSync(join(scratch.folder, 'Documents')).includes('Take.wav') || readdirSync(music).includes('Take.wav'),
    { timeout: 30000, what: 'the exported file' });
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });
  await waitFor(async () => /^Exported .+ to \/.+\/Take\.wav\.$/.test(await page.textContent('#done-note').catch(() => '')),
    { timeout: 20000, what: 'the export note with its destination' });

  // Delete: the question takes the focus on Cancel, so Enter keeps the track; Shift+Tab
  // reaches Delete.
  await toolbar(page, 'export-button');
  await page.waitForSelector('#export-dialog');
  await press(page, 'Home', 'Delete');
  await page.waitForSelector('#confirm-dialog');
  assert.equal(await focused(page), 'confirm-cancel');
  assert.equal(await page.textContent('#confirm-ok'), 'Delete');
  await bothSchemes(page, 'delete question');
  await press(page, 'Enter');
  await page.waitForSelector('#confirm-dialog', { state: 'detached' });
  assert.ok(readdirSync(volume.track(1, 1)).includes('Loop.wav'), 'Enter on Cancel deletes nothing');
  assert.equal(await focused(page), 'track-list');
  await press(page, 'Delete');
  await page.waitForSelector('#confirm-dialog');
  await press(page, 'Shift+Tab', 'Enter');
  await waitFor(() => !readdirSync(volume.track(1, 1)).includes('Loop.wav'), { what: 'the track to go' });
  await press(page, 'Escape');
  await page.waitForSelector('#export-dialog', { state: 'detached' });

  // The next import starts in the folder the last one came from.
  await toolbar(page, 'import-button');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-folder'), join(music, 'Live') + '/');
  await press(page, 'Escape');
  await page.waitForSelector('#chooser-dialog', { state: 'detached' });

  // A file handed to the program ("Open With", a later `tarn FILE`) opens the import.
  await page.evaluate((p) => $native.app.event.command('open', p), join(music, 'Live', 'Loop.wav'));
  await page.waitForSelector('#import-dialog');
  assert.equal(await page.textContent('#import-dialog .source-file'), 'Loop.wav');
  await press(page, 'Home', 'Enter');
  await waitFor(() => readdirSync(volume.track(1, 1)).includes('Loop.wav'), { timeout: 30000, what: 'the opened file imported' });
  await page.waitForSelector('#progress-dialog', { state: 'detached', timeout: 30000 });

  // Back up…, Settings and the Disconnect question through the keys; Escape closes each.
  await page.focus('#backup-button');
  await press(page, 'Enter');
  await page.waitForSelector('#chooser-dialog');
  assert.equal(await page.textContent('#chooser-dialog .dialog-title'), 'Select Folder');
  await bothSchemes(page, 'backup folder chooser');
  await press(page, 'Escape');
  await page.waitForSelector('#chooser-dialog', { state: 'detached' });
  await page.focus('#settings-button');
  await press(page, 'Enter');
  await page.waitForSelector('#settings-dialog');
  await bothSchemes(page, 'settings');
  await press(page, 'Escape');
  await page.waitForSelector('#settings-dialog', { state: 'detached' });
  await page.focus('#disconnect-button');
  await press(page, 'Enter');
  await page.waitForSelector('#confirm-dialog');
  assert.equal(await focused(page), 'confirm-cancel');
  assert.match(await page.textContent('#confirm-dialog'), /Leave edit mode and eject .+\? You can then unplug the looper\./);
  await press(page, 'Escape');
  await page.waitForSelector('#confirm-dialog', { state: 'detached' });
  assert.deepEqual(t.errors, []);

  // A second tab of this host says where Tarn is; an address without its token says how
  // to get the right one.
  const [second] = await Promise.all([page.context().waitForEvent('page'), page.evaluate((a) => { window.open(a); }, t.tarn.address)]);
  await second.waitForSelector('#page-notice');
  assert.match(await second.textContent('#page-notice'), /Tarn is open in another tab/);
  await second.close();
  const stranger = await t.browser.newPage();
  await stranger.goto(t.tarn.origin + '/index.html');
  await stranger.waitForSelector('#page-notice');
  assert.match(await stranger.textContent('#page-notice'), /full address.*\?token=/s);
  await accessible(stranger, 'tokenless page');
  await stranger.close();
  await page.bringToFront();

  // Ctrl+Q goes through the page's exit and ends the host.
  await press(page, 'Control+q');
  const { code } = await t.tarn.exited;
  assert.equal(code, 0);
});
