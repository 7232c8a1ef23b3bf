// The page over the sample laptop snapshot: every category, the instance picker,
// the grid's geometry and colours, the script object, boxes and scrolling, a
// screenshot, and narrow windows and long values: at phone widths the grid's two
// columns share the width and values wrap, so nothing runs off the page; at
// desktop widths the grid keeps the control's geometry, and a value cut short
// can be read whole.
import assert from 'node:assert/strict';
import { mkdirSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { CASES, answerWith, choose, gridText, idle, openPage, shows } from './support.js';

const SCREENSHOT = process.env.BRV_SCREENSHOT
  || join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'docs', 'web-page.png');

// What each category of samples/laptop.json shows, every instance whole, as the
// program's --json has it (null is the empty text). The walk ends on the second
// network adapter, which the screenshot for review shows.
const EXPECTED = JSON.parse(readFileSync(new URL('../data/expected/laptop.json', import.meta.url))).categories;
const WALK = [...Object.keys(EXPECTED).filter((n) => n !== 'Network Adapter'), 'Network Adapter'];

test('every category shows its captions and values, and the picker offers and shows its instances', async () => {
  const { page, done } = await openPage('laptop');
  for (const name of WALK) {
    const count = EXPECTED[name].length;
    await choose(page, name);
    assert.equal(await page.textContent('#caption'), name);
    assert.equal(await page.getAttribute(`#categories button[data-category="${name}"]`, 'aria-pressed'), 'true');
    const options = await page.$$eval('#instance option', (o) => o.map((x) => x.value));
    assert.deepEqual(options, Array.from({ length: count }, (_, i) => String(i + 1)), name);
    assert.equal(await page.isDisabled('#instance'), count === 0, name);
    assert.equal(await page.$$eval('dialog[open]', (d) => d.length), 0, name);
    for (const [i, facts] of EXPECTED[name].entries()) {
      if (i > 0) {
        await page.selectOption('#instance', String(i + 1));
        await shows(page, name, i + 1);
        assert.equal(await page.inputValue('#instance'), String(i + 1));
        assert.match(await page.textContent('#status'), new RegExp(`instance ${i + 1} of ${count}`));
      }
      const rows = (await gridText(page)).filter((r) => r.join('').trim() !== '');
      const want = Object.entries(facts).filter(([k]) => k !== 'details').map(([k, v]) => [k, v ?? '<Empty>']);
      assert.deepEqual(rows, [['Item', 'Value'], ...want], `${name} ${i + 1}`);
    }
  }
  await page.mouse.move(0, 0);
  mkdirSync(dirname(SCREENSHOT), { recursive: true });
  await page.screenshot({ path: SCREENSHOT });
  await done();
});

test('the grid keeps the control geometry, colours, header look and current cell', async () => {
  const { page, done } = await openPage('laptop');
  await choose(page, 'CPU');
  const look = await page.evaluate(() => {
    const site = document.getElementById('site');
    return { width: site.clientWidth, height: site.clientHeight, overflowY: getComputedStyle(site).overflowY,
      cells: [...site.querySelectorAll('.cell')].map((cell) => {
        const style = getComputedStyle(cell);
        const box = cell.getBoundingClientRect();
        return { row: Number(cell.dataset.row), col: Number(cell.dataset.col), fill: style.backgroundColor,
          align: [style.textAlign, style.justifyContent, style.alignItems], width: box.width, height: box.height,
          current: cell.classList.contains('current') };
      }) };
  });
  assert.deepEqual([look.width, look.height, look.overflowY, look.cells.length], [630, 300, 'hidden', 22]);
  for (const cell of look.cells) {
    const where = `cell ${cell.row},${cell.col}`;
    assert.ok(Math.abs(cell.width - 315) < 0.5 && Math.abs(cell.height - 400 / 15) < 0.5, `${where} ${cell.width}x${cell.height}`);
    if (cell.row === 0) {
      // Format code 4: centred both ways.
      assert.deepEqual(cell.align, ['center', 'center', 'center'], where);
    } else {
      // 0xFEF5F2 on odd rows, 0xE6D4CD on even rows; format code 0: left, top.
      assert.equal(cell.fill, cell.row % 2 ? 'rgb(242, 245, 254)' : 'rgb(205, 212, 230)', where);
      assert.deepEqual([cell.align[0], cell.align[2]], ['left', 'flex-start'], where);
    }
    assert.equal(cell.current, cell.row === 1 && cell.col === 0, where);
  }
  await done();
});

test('control.SetSelectItem returns the count or throws the control error', async () => {
  const { page, events } = await openPage('laptop');
  for (const c of CASES.controlCalls) {
    const outcome = await page.evaluate(async (args) => window.control.SetSelectItem(...args).then(
      (result) => ({ result }), (e) => ({ error: e.message })), c.args);
    if (c.error) assert.match(outcome.error ?? '', new RegExp(c.error), JSON.stringify(c.args));
    else assert.deepEqual(outcome, { result: c.result }, JSON.stringify(c.args));
  }
  // The page follows the last call that succeeded.
  assert.equal(await page.textContent('#caption'), 'Display');
  assert.equal(await page.$$eval('#instance option', (o) => o.length), 1);
  await page.evaluate(() => window.control.SetSelectItem('Memory', 2));
  assert.deepEqual([await page.textContent('#caption'), await page.inputValue('#instance')], ['Memory', '2']);
  // A failed call from the page's own list is reported in the status line.
  await page.route('**/api/call', (route) => route.fulfill({ status: 413, contentType: 'application/json',
    body: JSON.stringify({ status: 413, error: 'Payload Too Large', message: 'Too big.' }) }));
  await choose(page, 'CPU');
  assert.equal(await page.textContent('#status'), 'SetSelectItem("CPU", 1) failed: Too big.');
  assert.deepEqual(events.dialogs, []);
  await page.close();
});

test('several boxes in one answer come one after another, then the grid; mode 3 scrolls', async () => {
  const { page } = await openPage('laptop');
  await choose(page, 'Memory');
  // An answer the control could give: two boxes and a grid too tall for its site.
  const boxes = [{ prompt: 'First box.', title: 'Title one' }, { prompt: 'Second box.', title: 'Title two' }];
  await answerWith(page, [['Item', 'Value'], ...Array.from({ length: 13 }, (_, i) => [`Caption ${i + 1}`, `Value ${i + 1}`])],
    3, boxes);
  await page.click('#categories button[data-category="CPU"]');
  for (const { title, prompt } of boxes) {
    await page.waitForSelector('dialog#box[open]');
    assert.deepEqual([await page.textContent('#box-title'), await page.textContent('#box-prompt')], [title, prompt]);
    assert.equal((await gridText(page))[2][0], 'SLOTs', 'the grid waits for the boxes');
    await page.click('#box-ok');
  }
  await idle(page);
  assert.equal((await gridText(page))[13][1], 'Value 13');
  // Headless Chromium hides scroll bars from view: the site asks for one, and
  // its content is taller than the site.
  const scroll = await page.$eval('#site', (s) => [getComputedStyle(s).overflowY, s.scrollHeight > s.clientHeight]);
  assert.deepEqual(scroll, ['scroll', true]);
  await page.close();
});

// How wide the page is, where its boxes and each value's box end, and the columns' widths.
function measure(page) {
  return page.evaluate(() => {
    const right = (e) => e.getBoundingClientRect().right;
    const frame = document.getElementById('frame');
    const column = (c) => [...document.querySelectorAll(`#site .cell[data-col="${c}"]`)];
    return {
      documentWidth: document.documentElement.scrollWidth,
      ends: ['#frame', '.categories', '.viewer', '.toolbar', '#details'].map((s) => right(document.querySelector(s)))
        .concat(Math.max(...column(1).map((cell) => right(cell.firstChild)))),
      details: !document.getElementById('details').hidden,
      cut: column(1).filter((cell) => cell.firstChild.scrollWidth > cell.firstChild.clientWidth + 1).length,
      frameScrolls: frame.scrollWidth > frame.clientWidth,
      widths: [document.getElementById('site'), column(0)[0], column(1)[0]].map((e) => e.getBoundingClientRect().width),
    };
  });
}

test('at 320 and 360 px the columns share the width; at 768 and 1280 px the grid is as the control draws it', async () => {
  for (const width of [320, 360, 768, 1280]) {
    const where = `${width} px`;
    const { page, done } = await openPage('laptop', { width, height: 640 });
    await choose(page, 'CPU');  // the processor's name is the longest value
    const m = await measure(page);
    assert.ok(m.documentWidth <= width && m.ends.every((end) => end <= width), `${where}: ${JSON.stringify(m)}`);
    assert.deepEqual([m.frameScrolls, m.details], [false, true], where);
    if (width < 700) {
      assert.equal(m.cut, 0, `${where}: every value shows whole, wrapped`);
      assert.ok(Math.abs(m.widths[1] - m.widths[2]) <= 1, `${where}: equal shares ${m.widths}`);
    } else {
      assert.deepEqual(m.widths, [630, 315, 315], where);
    }
    await page.screenshot({ path: join(dirname(process.env.BRV_SCREENSHOT), `web-page-${width}.png`), fullPage: true });
    // The README's pictures are the page at this width.
    const png = readFileSync(new URL(`../../docs/web-page-${width}.png`, import.meta.url));
    assert.equal(png.readUInt32BE(16), width, `docs/web-page-${width}.png`);
    await done(where);
  }
});

test('a value cut short shows whole on hover and on focus, and can be selected', async () => {
  const { page, done } = await openPage('laptop');
  const long = `Intel(R) Ethernet Connection (4) I219-LM ${'with a description far too long for its column '.repeat(2)}end`;
  await answerWith(page, [['Item', 'Value'], ['Index', '1'], ['Description', long]], 1);
  await page.route('**/api/details?*', (route) => route.fulfill({ contentType: 'application/json', body: '{"details":[]}' }));
  await choose(page, 'Network Adapter');
  const cells = await page.$$eval('#site .cell', (all) => all.map((c) => [c.textContent, c.title, c.classList.contains('cut'), c.tabIndex]));
  // Every cell with text has it as its title; only the long one is cut and takes the focus.
  for (const [text, ...rest] of cells) assert.deepEqual(rest, [text, text === long, text === long ? 0 : -1], text);
  const cell = page.locator('#site .cell.cut');
  const unfolded = () => cell.evaluate(({ firstChild: span }) => [span.scrollWidth <= span.clientWidth + 1, getComputedStyle(span).whiteSpace]);
  assert.deepEqual(await unfolded(), [false, 'nowrap']);
  await cell.focus();
  assert.deepEqual(await unfolded(), [true, 'normal']);
  // Its text can be selected whole, as for copying.
  const selected = await page.evaluate(() => {
    const span = document.querySelector('#site .cell.cut span');
    getSelection().selectAllChildren(span);
    return [getSelection().toString(), getComputedStyle(span).userSelect];
  });
  assert.equal(selected[0], long);
  assert.notEqual(selected[1], 'none');
  await done();
});
