// Shared pieces of the browser tests: the servers scripts/test-web.sh started,
// and headless Chromium with a fresh profile.
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

// The address of the server started for each snapshot (see scripts/test-web.sh).
export function serverUrl(name) {
  const url = process.env[`BRV_URL_${name.toUpperCase()}`];
  if (!url) throw new Error(`BRV_URL_${name.toUpperCase()} is not set: run the tests with scripts/test-web.sh`);
  return url;
}

const ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// A browser with a profile of its own; close() also removes the profile.
export async function openBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'brvparts-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.BRV_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ARGS,
    viewport: { width: 1100, height: 560 },
    deviceScaleFactor: 1,
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Opens the page and waits until its start-up has finished. Every page dialog
// (alert, confirm, prompt) and page error is recorded: none is expected.
// A viewport, when given, replaces the browser's.
export async function openPage(browser, url, viewport) {
  const page = await browser.context.newPage();
  if (viewport) await page.setViewportSize(viewport);
  const events = { dialogs: [], errors: [] };
  page.on('dialog', async (dialog) => {
    events.dialogs.push(dialog.message());
    await dialog.dismiss();
  });
  page.on('pageerror', (error) => events.errors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error') events.errors.push(message.text());
  });
  await page.goto(url);
  await page.waitForSelector('body[data-state="idle"]');
  return { page, events };
}

// The grid as the page shows it: every cell's text, row by row.
export function gridText(page) {
  return page.$$eval('#site .cell', (cells) => {
    const rows = [];
    for (const cell of cells) {
      const r = Number(cell.dataset.row);
      (rows[r] ??= []).push(cell.textContent);
    }
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
  await page.waitForSelector('body[data-state="idle"]');
}
