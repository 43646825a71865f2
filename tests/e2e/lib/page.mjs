// Helpers for the end-to-end flows of the page: a Tarn with a prepared home, the page
// open in headless Chromium, and ways to ask which host modules exist.
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { startTarn, launchBrowser, makeHome, waitFor } from './tarn.mjs';

export { waitFor };

// prefs: page state stored before start (key -> text), as the page's storage2 keeps it;
// home: one a Tarn before this one used (a restart), else a fresh one.
export async function openTarn({ prefs = {}, env = {}, agree = true, home = makeHome() } = {}) {
  const prefFolder = join(home.env.XDG_DATA_HOME, 'Corvane', 'tarn', 'pref');
  mkdirSync(prefFolder, { recursive: true });
  for (const [key, value] of Object.entries(prefs)) writeFileSync(join(prefFolder, key), value);
  const tarn = await startTarn({ home, env });
  const browser = await launchBrowser();
  const page = await browser.newPage({ viewport: { width: 1000, height: 700 } });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(tarn.address);
  if (agree) {
    await page.waitForSelector('#agree-button', { timeout: 10000 });
    await page.click('#agree-button');
  }
  return {
    tarn, browser, page, errors, home, prefFolder,
    async close() {
      await browser.close().catch(() => {});
      await tarn.stop();
    },
  };
}

// True when the host answers calls of this module (an unknown module answers void).
export async function hasModule(page, probe) {
  return page.evaluate((call) => {
    try { return $native.call(call) !== undefined; } catch (e) { return true; }
  }, probe);
}

export async function dialogText(page, id) {
  return page.evaluate((sel) => {
    const node = document.querySelector(sel);
    return node ? node.textContent : null;
  }, '#' + id);
}

// Clicks a track in the open track dialog (memory as the list counts it, from 0; track from 1).
export async function selectTrack(page, memoryIndex, track) {
  const selector = `#track-list .track[data-memory="${memoryIndex}"][data-track="${track - 1}"]`;
  await page.waitForSelector(selector);
  await page.$eval(selector, (node) => node.scrollIntoView());
  await page.click(selector);
}

// The text of the error dialog, which is then closed (without the reason underneath).
export async function errorText(page) {
  return (await errorDetails(page)).text;
}

// The error dialog's text and the reason under it ('' when it has none); closes it.
export async function errorDetails(page) {
  await page.waitForSelector('#message-dialog', { timeout: 20000 });
  const details = await page.evaluate(() => {
    const body = document.querySelector('#message-dialog .dialog-body');
    const text = body.querySelector('.message-text');
    const reason = body.querySelector('.message-reason');
    return { text: text ? text.textContent : body.textContent, reason: reason ? reason.textContent : '' };
  });
  await page.click('#message-dialog button');
  return details;
}

export async function waitUsable(page, usable = true) {
  await waitFor(() => page.evaluate((want) => document.getElementById('device-status').dataset.usable === want, usable ? '1' : '0'),
    { timeout: 30000, what: usable ? 'the looper to become usable' : 'the looper to go' });
}
