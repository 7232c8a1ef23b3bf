// The page over the sample laptop snapshot: every category, the instance picker,
// the grid's geometry and colours, the script object, and a screenshot.
import assert from 'node:assert/strict';
import { mkdirSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { choose, gridText, openBrowser, openPage, serverUrl } from './support.js';

const SCREENSHOT = process.env.BRV_SCREENSHOT
  || join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'docs', 'web-page.png');

let browser;
let url;
before(async () => {
  url = serverUrl('laptop');
  browser = await openBrowser();
});
after(async () => browser?.close());

// What each category of samples/laptop.json shows, every instance whole, as the
// program's --json has it (null is the empty text). The walk ends on the second
// network adapter, which the screenshot for review shows.
const EXPECTED = JSON.parse(readFileSync(new URL('../data/expected/laptop.json', import.meta.url))).categories;
const WALK = [...Object.keys(EXPECTED).filter((n) => n !== 'Network Adapter'), 'Network Adapter'];

test('every category shows its captions and values, and the picker offers and shows its instances', async () => {
  const { page, events } = await openPage(browser, url);
  for (const name of WALK) {
    const instances = EXPECTED[name];
    const count = instances.length;
    await choose(page, name);
    assert.equal(await page.textContent('#caption'), name);
    assert.equal(await page.getAttribute(`#categories button[data-category="${name}"]`, 'aria-pressed'), 'true');
    const options = await page.$$eval('#instance option', (o) => o.map((x) => x.value));
    assert.deepEqual(options, Array.from({ length: count }, (_, i) => String(i + 1)), name);
    assert.equal(await page.isDisabled('#instance'), count === 0, name);
    assert.equal(await page.$$eval('dialog[open]', (d) => d.length), 0, name);
    for (const [i, facts] of instances.entries()) {
      if (i > 0) {
        await page.selectOption('#instance', String(i + 1));
        await page.waitForFunction((n) => document.body.dataset.state === 'idle'
          && document.querySelector('#site .cell[data-row="1"][data-col="1"]')?.textContent === n, String(i + 1));
        assert.equal(await page.inputValue('#instance'), String(i + 1));
        assert.match(await page.textContent('#status'), new RegExp(`instance ${i + 1} of ${count}`));
      }
      const rows = (await gridText(page)).filter((r) => r.join('').trim() !== '');
      assert.deepEqual(rows, [['Item', 'Value'], ...Object.entries(facts).filter(([k]) => k !== 'details').map(([k, v]) => [k, v ?? '<Empty>'])],
        `${name} ${i + 1}`);
    }
  }
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.mouse.move(0, 0);
  mkdirSync(dirname(SCREENSHOT), { recursive: true });
  await page.screenshot({ path: SCREENSHOT });
  await page.close();
});

test('the grid keeps the control geometry, colours, header look and current cell', async () => {
  const { page } = await openPage(browser, url);
  await choose(page, 'CPU');
  const look = await page.evaluate(() => {
    const site = document.getElementById('site');
    const cells = [...site.querySelectorAll('.cell')].map((cell) => {
      const style = getComputedStyle(cell);
      const box = cell.getBoundingClientRect();
      return {
        row: Number(cell.dataset.row), col: Number(cell.dataset.col),
        fill: style.backgroundColor, textAlign: style.textAlign,
        justify: style.justifyContent, alignItems: style.alignItems,
        width: box.width, height: box.height, current: cell.classList.contains('current'),
      };
    });
    return { width: site.clientWidth, height: site.clientHeight, overflowY: getComputedStyle(site).overflowY, cells };
  });
  assert.equal(look.width, 630);
  assert.equal(look.height, 300);
  assert.equal(look.overflowY, 'hidden');
  assert.equal(look.cells.length, 22);
  for (const cell of look.cells) {
    const where = `cell ${cell.row},${cell.col}`;
    assert.ok(Math.abs(cell.width - 315) < 0.5, `${where} width ${cell.width}`);
    assert.ok(Math.abs(cell.height - 400 / 15) < 0.5, `${where} height ${cell.height}`);
    if (cell.row === 0) {
      // Format code 4: centred both ways.
      assert.deepEqual([cell.textAlign, cell.justify, cell.alignItems], ['center', 'center', 'center'], where);
    } else {
      // 0xFEF5F2 on odd rows, 0xE6D4CD on even rows; format code 0: left, top.
      assert.equal(cell.fill, cell.row % 2 ? 'rgb(242, 245, 254)' : 'rgb(205, 212, 230)', where);
      assert.deepEqual([cell.textAlign, cell.alignItems], ['left', 'flex-start'], where);
    }
    assert.equal(cell.current, cell.row === 1 && cell.col === 0, where);
  }
  await page.close();
});

test('control.SetSelectItem returns the count or throws the control error', async () => {
  const { page, events } = await openPage(browser, url);
  const cases = [
    { args: ['Memory', 2], result: 2 },
    { args: ['Display', 1], result: 0 },
    { args: ['CPU', 0], error: /Subscript out of range \(error 9\)/ },
    { args: ['CPU', 'x'], error: /Type mismatch \(error 13\)/ },
  ];
  for (const c of cases) {
    const outcome = await page.evaluate(async (args) => {
      try {
        return { result: await window.control.SetSelectItem(...args) };
      } catch (e) {
        return { error: e.message, number: e.number };
      }
    }, c.args);
    if (c.error) assert.match(outcome.error ?? '', c.error, JSON.stringify(c.args));
    else assert.deepEqual(outcome, { result: c.result }, JSON.stringify(c.args));
  }
  // The page follows the last call that succeeded.
  assert.equal(await page.textContent('#caption'), 'Display');
  assert.equal(await page.$$eval('#instance option', (o) => o.length), 1);
  await page.evaluate(() => window.control.SetSelectItem('Memory', 2));
  assert.equal(await page.textContent('#caption'), 'Memory');
  assert.equal(await page.inputValue('#instance'), '2');
  // A failed call from the page's own list is reported in the status line.
  await page.route('**/api/call', (route) => route.fulfill({ status: 413, contentType: 'application/json',
    body: JSON.stringify({ status: 413, error: 'Payload Too Large', message: 'Too big.' }) }));
  await choose(page, 'CPU');
  assert.equal(await page.textContent('#status'), 'SetSelectItem("CPU", 1) failed: Too big.');
  assert.deepEqual(events.dialogs, []);
  await page.close();
});

test('several boxes in one answer come one after another, then the grid; mode 3 scrolls', async () => {
  const { page } = await openPage(browser, url);
  await choose(page, 'Memory');
  // An answer the control could give: two boxes and a grid too tall for its site.
  const rows = 14;
  const grid = {
    rows, cols: 2,
    text: [['Item', 'Value'], ...Array.from({ length: rows - 1 }, (_, i) => [`Caption ${i + 1}`, `Value ${i + 1}`])],
    rowHeight: Array(rows).fill(400), colWidth: [4725, 4725],
    fill: [[null, null], ...Array.from({ length: rows - 1 }, (_, i) => Array(2).fill(i % 2 ? 15127757 : 16709106))],
    cellFormat: [[4, 4], ...Array.from({ length: rows - 1 }, () => [null, null])],
    colFormat: [0, 0], scrollBars: 3, row: 1, col: 0, width: 9450, height: 4500,
  };
  await page.route('**/api/call', (route) => route.fulfill({
    contentType: 'application/json',
    body: JSON.stringify({ result: 1, error: null, grid, messages: [
      { prompt: 'First box.', title: 'Title one' }, { prompt: 'Second box.', title: 'Title two' }] }),
  }));
  await page.click('#categories button[data-category="CPU"]');
  for (const [title, prompt] of [['Title one', 'First box.'], ['Title two', 'Second box.']]) {
    await page.waitForSelector('dialog#box[open]');
    assert.equal(await page.textContent('#box-title'), title);
    assert.equal(await page.textContent('#box-prompt'), prompt);
    assert.equal((await gridText(page))[2][0], 'SLOTs', 'the grid waits for the boxes');
    await page.click('#box-ok');
  }
  await page.waitForSelector('body[data-state="idle"]');
  assert.equal((await gridText(page))[13][1], 'Value 13');
  // Headless Chromium hides scroll bars from view: the site asks for one, and
  // its content is taller than the site.
  const scroll = await page.$eval('#site', (s) => ({
    overflowY: getComputedStyle(s).overflowY, scrolls: s.scrollHeight > s.clientHeight,
  }));
  assert.deepEqual(scroll, { overflowY: 'scroll', scrolls: true });
  await page.close();
});

// A machine without a display: "none", as the terminal (`Display: none`) and JSON (`[]`) say.
test('a machine without a display shows none and no details', async () => {
  const { page, events } = await openPage(browser, serverUrl('nodisplay'));
  await choose(page, 'Display');
  assert.deepEqual([await page.textContent('#count'), await page.textContent('#status')], ['none', 'Display: none']);
  assert.equal(await page.isHidden('#details'), true);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});
