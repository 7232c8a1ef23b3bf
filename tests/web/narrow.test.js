// Narrow windows and long values: at phone widths the grid's two columns share
// the width and values wrap, so nothing (the details under the grid neither)
// runs off the page or needs a sideways scroll; at desktop widths the grid keeps
// the control's geometry, and a value cut short can be read whole.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { after, before, test } from 'node:test';
import { choose, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

const DOCS = new URL('../../docs/', import.meta.url);

// How wide the page is, where its boxes and each value's box end, and the columns' widths.
function measure(page) {
  return page.evaluate(() => {
    const right = (e) => e.getBoundingClientRect().right;
    const frame = document.getElementById('frame');
    const column = (c) => [...document.querySelectorAll(`#site .cell[data-col="${c}"]`)];
    return {
      documentWidth: document.documentElement.scrollWidth,
      panels: ['#frame', '.categories', '.viewer', '.toolbar', '#details'].map((s) => right(document.querySelector(s))),
      details: !document.getElementById('details').hidden,
      valuesEnd: Math.max(...column(1).map((cell) => right(cell.firstChild))),
      cut: column(1).filter((cell) => cell.firstChild.scrollWidth > cell.firstChild.clientWidth + 1).length,
      frameScrolls: frame.scrollWidth > frame.clientWidth,
      columns: [0, 1].map((c) => column(c)[0].getBoundingClientRect().width),
      site: document.getElementById('site').getBoundingClientRect().width,
    };
  });
}

test('at 320 and 360 px the columns share the width; at 768 and 1280 px the grid is as the control draws it', async () => {
  for (const width of [320, 360, 768, 1280]) {
    const where = `${width} px`;
    const phone = width < 700;
    const { page, events } = await openPage(browser, serverUrl('laptop'), { width, height: 640 });
    await choose(page, 'CPU');  // the processor's name is the longest value
    const m = await measure(page);
    assert.ok(m.documentWidth <= width, `${where}: the document is ${m.documentWidth} px wide`);
    for (const end of [...m.panels, m.valuesEnd]) assert.ok(end <= width, `${where}: ${JSON.stringify(m)}`);
    assert.equal(m.frameScrolls, false, where);
    assert.ok(m.details, `${where}: the processor's details show`);
    if (phone) {
      assert.equal(m.cut, 0, `${where}: every value shows whole, wrapped`);
      assert.ok(Math.abs(m.columns[0] - m.columns[1]) <= 1, `${where}: equal shares ${m.columns}`);
    } else {
      assert.deepEqual([m.site, ...m.columns], [630, 315, 315], where);
    }
    await page.screenshot({ path: join(dirname(process.env.BRV_SCREENSHOT), `web-page-${width}.png`), fullPage: true });
    // The README's pictures are the page at this width.
    const png = readFileSync(new URL(`web-page-${width}.png`, DOCS));
    assert.equal(png.readUInt32BE(16), width, `docs/web-page-${width}.png`);
    assert.deepEqual(events, { dialogs: [], errors: [] }, where);
    await page.close();
  }
});

test('a value cut short shows whole on hover and on focus, and can be selected', async () => {
  const { page, events } = await openPage(browser, serverUrl('laptop'));
  const long = `Intel(R) Ethernet Connection (4) I219-LM ${'with a description far too long for its column '.repeat(2)}end`;
  const grid = {
    rows: 3, cols: 2,
    text: [['Item', 'Value'], ['Index', '1'], ['Description', long]],
    rowHeight: [400, 400, 400], colWidth: [4725, 4725],
    fill: [[null, null], [16709106, 16709106], [15127757, 15127757]],
    cellFormat: [[4, 4], [null, null], [null, null]], colFormat: [0, 0],
    scrollBars: 1, row: 1, col: 0, width: 9450, height: 4500,
  };
  await page.route('**/api/call', (route) => route.fulfill({
    contentType: 'application/json', body: JSON.stringify({ result: 1, error: null, grid, messages: [] }),
  }));
  await page.route('**/api/details?*', (route) => route.fulfill({ contentType: 'application/json', body: '{"details":[]}' }));
  await choose(page, 'Network Adapter');
  const cells = await page.$$eval('#site .cell', (all) => all.map((c) => ({
    text: c.textContent, title: c.title, cut: c.classList.contains('cut'), tabIndex: c.tabIndex,
  })));
  // Every cell with text has it as its title; only the long one is cut and takes the focus.
  for (const c of cells) {
    assert.equal(c.title, c.text, c.text);
    assert.equal(c.cut, c.text === long, c.text);
    assert.equal(c.tabIndex, c.text === long ? 0 : -1, c.text);
  }
  const cell = page.locator('#site .cell.cut');
  const unfolded = () => cell.evaluate((c) => {
    const span = c.firstChild;
    return { whole: span.scrollWidth <= span.clientWidth + 1, whiteSpace: getComputedStyle(span).whiteSpace };
  });
  assert.deepEqual(await unfolded(), { whole: false, whiteSpace: 'nowrap' });
  await cell.focus();
  assert.deepEqual(await unfolded(), { whole: true, whiteSpace: 'normal' });
  // Its text can be selected whole, as for copying.
  const selected = await page.evaluate(() => {
    const span = document.querySelector('#site .cell.cut span');
    const range = document.createRange();
    range.selectNodeContents(span);
    getSelection().removeAllRanges();
    getSelection().addRange(range);
    return { text: getSelection().toString(), userSelect: getComputedStyle(span).userSelect };
  });
  assert.equal(selected.text, long);
  assert.notEqual(selected.userSelect, 'none');
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});
