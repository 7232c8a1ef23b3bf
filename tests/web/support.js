// Shared pieces of the browser tests: the servers scripts/test-web.sh started,
// one headless Chromium per test file (a fresh profile, removed after), the
// page opened and checked for dialogs and errors, and answers made up for it.
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after } from 'node:test';
import { chromium } from 'playwright-core';

// The cases the tests walk, kept with the snapshots they read (tests/data/web).
export const CASES = JSON.parse(readFileSync(new URL('../data/web/cases.json', import.meta.url)));

// The address of the server started for each snapshot (see scripts/test-web.sh).
export function serverUrl(name) {
  const url = process.env[`BRV_URL_${name.toUpperCase()}`];
  if (!url) throw new Error(`BRV_URL_${name.toUpperCase()} is not set: run the tests with scripts/test-web.sh`);
  return url;
}

let browser;
let profile;
after(async () => {
  await (await browser)?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});
function launch() {
  profile = mkdtempSync(join(tmpdir(), 'brvparts-chromium-'));
  return chromium.launchPersistentContext(profile, {
    executablePath: process.env.BRV_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1100, height: 560 },
    deviceScaleFactor: 1,
  });
}

// Opens the page (at the address of a server by name, or a whole address, with
// a viewport of its own when given) and waits until its start-up has finished.
// Every page dialog (alert, confirm, prompt) and page error is recorded; done()
// asserts there was none and closes the page.
export async function openPage(address, viewport) {
  const page = await (await (browser ??= launch())).newPage();
  if (viewport) await page.setViewportSize(viewport);
  const events = { dialogs: [], errors: [] };
  page.on('dialog', async (dialog) => {
    events.dialogs.push(dialog.message());
    await dialog.dismiss();
  });
  page.on('pageerror', (error) => events.errors.push(String(error)));
  page.on('console', (message) => message.type() === 'error' && events.errors.push(message.text()));
  await page.goto(/^https?:/.test(address) ? address : serverUrl(address));
  await idle(page);
  const done = async (what) => {
    assert.deepEqual(events, { dialogs: [], errors: [] }, what);
    await page.close();
  };
  return { page, events, done };
}

export const idle = (page) => page.waitForSelector('body[data-state="idle"]');

// Waits until the page is idle showing a category's instance (the grid's index).
export const shows = (page, caption, index) => page.waitForFunction(([c, i]) => document.body.dataset.state === 'idle'
  && document.getElementById('caption').textContent === c
  && document.querySelector('#site .cell[data-row="1"][data-col="1"]')?.textContent === i, [caption, String(index)]);

// The grid as the page shows it: every cell's text, row by row.
export function gridText(page) {
  return page.$$eval('#site .cell', (cells) => {
    const rows = [];
    for (const cell of cells) (rows[Number(cell.dataset.row)] ??= []).push(cell.textContent);
    return rows;
  });
}

// Asserts that the grid's rows include every [caption, value] pair wanted.
export function expectRows(rows, wanted, what) {
  for (const row of wanted) assert.ok(rows.some((r) => r[0] === row[0] && r[1] === row[1]), `${what}: ${row}`);
}

// Chooses a category and waits until the call has finished.
export async function choose(page, category) {
  await page.click(`#categories button[data-category="${category}"]`);
  await idle(page);
}

// Makes every call answer with a grid of these rows (a header, then striped
// rows of the control's colours and geometry), the scroll bars given, and boxes.
export function answerWith(page, text, scrollBars, messages = []) {
  const rows = text.length;
  const grid = {
    rows, cols: 2, text, rowHeight: Array(rows).fill(400), colWidth: [4725, 4725],
    fill: text.map((_, r) => (r ? Array(2).fill(r % 2 ? 16709106 : 15127757) : [null, null])),
    cellFormat: text.map((_, r) => (r ? [null, null] : [4, 4])),
    colFormat: [0, 0], scrollBars, row: 1, col: 0, width: 9450, height: 4500,
  };
  return page.route('**/api/call', (route) => route.fulfill({
    contentType: 'application/json', body: JSON.stringify({ result: 1, error: null, grid, messages }),
  }));
}
