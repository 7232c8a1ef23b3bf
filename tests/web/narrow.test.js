// Narrow windows and long values: from 320 px wide nothing runs off the page,
// the grid scrolls inside its frame, and a value cut short can be read whole.
import assert from 'node:assert/strict';
import { dirname, join } from 'node:path';
import { after, before, test } from 'node:test';
import { choose, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

// Where the page's boxes lie, in CSS pixels of the viewport, and how wide the
// document is.
function boxes(page) {
  return page.evaluate(() => {
    const box = (selector) => {
      const r = document.querySelector(selector).getBoundingClientRect();
      return { left: r.left, right: r.right };
    };
    const frame = document.getElementById('frame');
    return {
      viewport: window.innerWidth,
      documentWidth: document.documentElement.scrollWidth,
      frame: box('#frame'), categories: box('.categories'), viewer: box('.viewer'), toolbar: box('.toolbar'),
      frameScrolls: frame.scrollWidth > frame.clientWidth,
    };
  });
}

test('from 320 px wide the boxes stay inside the window and the grid scrolls inside its frame', async () => {
  const widths = [
    { width: 320, scrolls: true },
    { width: 360, scrolls: true },
    { width: 700, scrolls: false },
    { width: 1100, scrolls: false },
  ];
  for (const w of widths) {
    const { page, events } = await openPage(browser, serverUrl('laptop'), { width: w.width, height: 640 });
    await choose(page, 'Network Adapter');
    const b = await boxes(page);
    const where = `${w.width} px`;
    assert.equal(b.viewport, w.width, where);
    assert.ok(b.documentWidth <= w.width, `${where}: the document is ${b.documentWidth} px wide`);
    for (const name of ['frame', 'categories', 'viewer', 'toolbar']) {
      assert.ok(b[name].left >= 0 && b[name].right <= w.width, `${where}: ${name} at ${b[name].left}..${b[name].right}`);
    }
    assert.equal(b.frameScrolls, w.scrolls, where);
    if (w.scrolls) {
      // The grid's right-hand column can be scrolled into view, and back.
      const scrolled = await page.$eval('#frame', (f) => {
        f.scrollLeft = f.scrollWidth;
        const value = f.querySelector('.cell[data-row="1"][data-col="1"]').getBoundingClientRect();
        const end = f.scrollLeft;
        f.scrollLeft = 0;
        return { end, valueRight: value.right, frameRight: f.getBoundingClientRect().right };
      });
      assert.ok(scrolled.end > 0, where);
      assert.ok(scrolled.valueRight <= scrolled.frameRight + 1, `${where}: ${JSON.stringify(scrolled)}`);
    }
    if (w.width === 320) {
      await page.screenshot({ path: join(dirname(process.env.BRV_SCREENSHOT), 'web-page-320.png'), fullPage: true });
    }
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
