// The address carries the selection: a link opens it, the back and forward
// buttons walk the selections, a fresh page says what another client left on
// the grid, and an address that names nothing (or an instance past the count)
// shows the choice, running nothing.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { choose, gridText, openBrowser, openPage, serverUrl } from './support.js';

let browser;
let url;
before(async () => {
  url = serverUrl('laptop');
  browser = await openBrowser();
});
after(async () => browser?.close());

// What the page says it shows, and the grid's index and a caption/value row.
async function showing(page) {
  const rows = await gridText(page);
  return {
    caption: await page.textContent('#caption'),
    pressed: await page.$$eval('#categories button[aria-pressed="true"]', (b) => b.map((x) => x.dataset.category)),
    instance: await page.inputValue('#instance').catch(() => ''),
    hash: await page.evaluate(() => location.hash),
    index: rows[1]?.[1],
    name: rows.find((r) => r[0] === 'Name')?.[1],
  };
}

const idle = (page) => page.waitForSelector('body[data-state="idle"]');

test('a link opens its selection, and back and forward walk the selections', async () => {
  const { page, events } = await openPage(browser, `${url}#/Network%20Adapter/2`);
  const adapter2 = { caption: 'Network Adapter', pressed: ['Network Adapter'], instance: '2',
    hash: '#/Network%20Adapter/2', index: '2', name: 'wlp61s0' };
  assert.deepEqual(await showing(page), adapter2);

  await choose(page, 'CPU');
  await choose(page, 'Memory');
  await page.selectOption('#instance', '2');
  await page.waitForFunction(() => location.hash === '#/Memory/2');
  await idle(page);
  const memory2 = { caption: 'Memory', pressed: ['Memory'], instance: '2', hash: '#/Memory/2', index: '2', name: undefined };
  assert.deepEqual(await showing(page), memory2);

  // Back: Memory 1, CPU 1, then the link's selection; forward again.
  const steps = [
    { go: 'back', hash: '#/Memory/1', caption: 'Memory', index: '1' },
    { go: 'back', hash: '#/CPU/1', caption: 'CPU', index: '1' },
    { go: 'back', hash: '#/Network%20Adapter/2', caption: 'Network Adapter', index: '2' },
    { go: 'forward', hash: '#/CPU/1', caption: 'CPU', index: '1' },
  ];
  for (const s of steps) {
    await (s.go === 'back' ? page.goBack() : page.goForward());
    await page.waitForFunction((want) => document.body.dataset.state === 'idle'
      && document.getElementById('caption').textContent === want.caption
      && document.querySelector('#site .cell[data-row="1"][data-col="1"]')?.textContent === want.index, s);
    const now = await showing(page);
    assert.deepEqual([now.hash, now.caption, now.instance, now.index], [s.hash, s.caption, s.index, s.index], s.go);
  }
  // A reload keeps it.
  await page.reload();
  await idle(page);
  assert.equal((await showing(page)).caption, 'CPU');
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});

test('a fresh page shows the selection another client left, with its grid', async () => {
  const { page: other } = await openPage(browser, url);
  await other.evaluate(() => window.control.SetSelectItem('Network Adapter', 2));
  // A call that fails leaves the last good selection in place.
  await other.evaluate(() => window.control.SetSelectItem('CPU', 0).catch(() => null));
  await other.evaluate(() => window.control.SetSelectItem('Network Adapter', 2));
  await other.close();
  const { page, events } = await openPage(browser, url);
  assert.deepEqual(await showing(page), { caption: 'Network Adapter', pressed: ['Network Adapter'], instance: '2',
    hash: '#/Network%20Adapter/2', index: '2', name: 'wlp61s0' });
  assert.match(await page.textContent('#status'), /Network Adapter: instance 2 of 2/);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});

test('an address that names no selection shows the choice and runs nothing', async () => {
  const hostile = [
    '#/Nothing/1',
    '#/CPU/abc',
    '#/CPU/0',
    '#/CPU/1.5',
    '#/CPU/99999',
    '#/cpu/1',
    '#/CPU',
    '#/CPU/1/2',
    '#/%E0%A4%A/1',
    '#/%3Cimg%20src%3Dx%20onerror%3Dalert(1)%3E/1',
    '#/<script>alert(2)</script>/1',
    `#/${'A'.repeat(5000)}/1`,
    '#/constructor/1',
    '#/__proto__/1',
  ];
  const { page: before } = await openPage(browser, `${url}#/Memory/2`);
  await before.close();
  // An instance past the count is the control error, and the choice.
  const { page: past, events: pastEvents } = await openPage(browser, `${url}#/Memory/300`);
  assert.equal(await past.textContent('#caption'), 'Choose a category');
  assert.match(await past.textContent('#status'), /^SetSelectItem\("Memory", 300\) failed: .*\(error 9\)$/);
  assert.deepEqual(pastEvents, { dialogs: [], errors: [] });
  await past.close();
  for (const hash of hostile) {
    const { page, events } = await openPage(browser, url + hash);
    const now = await showing(page);
    assert.equal(now.caption, 'Choose a category', hash);
    assert.deepEqual(now.pressed, [], hash);
    assert.equal(await page.isDisabled('#instance'), true, hash);
    // The grid as the control started: header and blank rows.
    const rows = (await gridText(page)).slice(0, 2).map((r) => r.map((t) => t.trim()));
    assert.deepEqual(rows, [['Item', 'Value'], ['', '']], hash);
    assert.equal(await page.getAttribute('#status', 'class'), 'status failed', hash);
    assert.ok((await page.textContent('#status')).length < 200, hash);
    await page.waitForTimeout(50);
    assert.equal(await page.$$eval('img:not(.logo), main script, #status *', (e) => e.length), 0, hash);
    assert.deepEqual(events, { dialogs: [], errors: [] }, hash);
    await page.close();
  }
  // The last good selection is still the server's.
  const { page } = await openPage(browser, url);
  assert.equal((await showing(page)).hash, '#/Memory/2');
  await page.close();
});
