// serve --baseline: the rows that differ from the baseline are marked, the
// parts gone are listed under the grid, with a legend; a server without a
// baseline shows none of it.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { choose, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

// The marked rows of the grid: [caption, value, mark] for each marked row.
function marked(page) {
  return page.$$eval('#site .cell[data-col="1"][data-mark]', (cells) => cells.map((cell) => [
    document.querySelector(`#site .cell[data-row="${cell.dataset.row}"][data-col="0"]`).textContent,
    cell.textContent, cell.dataset.mark]));
}

// Waits until the comparison asked for after the last selection has been shown.
async function settled(page) {
  await page.waitForSelector('body[data-state="idle"]');
  await page.waitForFunction(() => !document.getElementById('baseline').hidden);
  await page.waitForLoadState('networkidle');
}

test('rows that differ are marked, parts gone listed, with a legend', async () => {
  const { page, events } = await openPage(browser, `${serverUrl('baseline')}#/HDD/1`);
  await settled(page);
  const cases = [
    // The disk now is another than the baseline's: every row is new, and the
    // baseline's disk is gone.
    { category: 'HDD', index: 1, marks: [['Index', '1', 'added'], ['Model', 'SAMSUNG MZVLB512HAJQ-000L7', 'added'],
      ['Size', '512110190592', 'added'], ['Serial No', 'S3TNNX0K812345', 'added'],
      ['Firmware Revision', '4L7QCXB7', 'added']], gone: ['HDD 1 (Serial No: S4EWNX0R123456)'] },
    // The module in slot 1 grew: only its capacity is marked.
    { category: 'Memory', index: 2, marks: [['Capacity', '17179869184', 'changed']], gone: [] },
    { category: 'Memory', index: 1, marks: [], gone: [] },
    // An address changes by itself: nothing is marked.
    { category: 'Network Adapter', index: 2, marks: [], gone: [] },
    { category: 'External Monitor', index: 1, marks: [],
      gone: ['External Monitor 2 (Manufacturer: Hewlett Packard, Model: HP 27er, Serial No: 3CM7260M2L)'] },
  ];
  for (const c of cases) {
    await page.goto(`${serverUrl('baseline')}#/${encodeURIComponent(c.category)}/${c.index}`);
    await settled(page);
    assert.deepEqual(await marked(page), c.marks, `${c.category} ${c.index}`);
    const gone = await page.$$eval('#gone li', (items) => items.map((i) => i.textContent));
    assert.deepEqual(gone, c.gone.map((g) => `gone since then: ${g}`), `${c.category} ${c.index}`);
  }
  assert.deepEqual(await page.$$eval('#legend li', (items) => items.map((i) => [i.className, i.textContent])),
    [['added', 'added since then'], ['changed', 'changed since then'], ['gone', 'gone since then']]);
  assert.equal(await page.textContent('#baseline-from'),
    'Compared with baseline.json (host desk-7, taken 2026-11-30T08:00:00Z)');
  // A marked row looks marked: its stripe is drawn.
  await page.goto(`${serverUrl('baseline')}#/Memory/2`);
  await settled(page);
  const shadow = await page.$eval('#site .cell[data-mark="changed"]', (cell) => getComputedStyle(cell).boxShadow);
  assert.match(shadow, /inset/);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  // A server without a baseline shows none of it.
  await page.goto(`${serverUrl('laptop')}#/HDD/1`);
  await page.waitForLoadState('networkidle');
  assert.equal(await page.$eval('#baseline', (e) => e.hidden), true);
  assert.equal(await page.$$eval('#site .cell[data-mark]', (cells) => cells.length), 0);
});
