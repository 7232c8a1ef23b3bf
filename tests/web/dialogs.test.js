// A failing snapshot shows the control's message box before the grid, and text
// from the instrumentation is shown as text, never run.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { choose, expectRows, gridText, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

test('a class that cannot be created shows the error box, and the grid only after OK', async () => {
  const { page, events } = await openPage(browser, serverUrl('failing'));
  await choose(page, 'Memory');  // this class is there: no box
  assert.equal(await page.$$eval('dialog[open]', (d) => d.length), 0);

  await page.click('#categories button[data-category="CPU"]');
  await page.waitForSelector('dialog#box[open]');
  assert.equal(await page.textContent('#box-title'), 'Parts Information - Error');
  assert.equal(await page.textContent('#box-prompt'), 'Failed to create object.');
  // The dialog is modal and the grid still shows the memory table.
  assert.equal((await gridText(page))[2][0], 'SLOTs');
  assert.equal(await page.$eval('#box', (d) => d.matches(':modal')), true);
  assert.equal(await page.getAttribute('body', 'data-state'), 'busy');

  await page.click('#box-ok');
  await page.waitForSelector('body[data-state="idle"]');
  assert.equal(await page.$$eval('dialog[open]', (d) => d.length), 0);
  const rows = await gridText(page);
  assert.deepEqual(rows.slice(1, 4), [['Index', '1'], ['Manufacturer', '<Empty>'], ['Name', '<Empty>']]);
  assert.deepEqual(await page.$$eval('#instance option', (o) => o.map((x) => x.value)), ['1']);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});

test('markup in device names is shown literally and runs nothing', async () => {
  const { page, events } = await openPage(browser, serverUrl('injection'));
  const cases = [
    { name: 'CPU', rows: [
      ['Manufacturer', '<script>alert("manufacturer")</script>'],
      ['Name', '<img src=x onerror=alert(1)>'],
      ['Version', '&lt;b&gt;not bold&lt;/b&gt; & <b>bold?</b>'],
      ['Socket Designation', '"><svg onload=alert(3)>'],
    ] },
    { name: 'HDD', rows: [['Model', '<iframe src="javascript:alert(4)"></iframe>']] },
  ];
  for (const c of cases) {
    await choose(page, c.name);
    expectRows(await gridText(page), c.rows, c.name);
    // Only the page's own elements: a span of text in every cell.
    const tags = await page.$$eval('#site .cell *', (all) => [...new Set(all.map((e) => e.tagName))]);
    assert.deepEqual(tags, ['SPAN'], c.name);
  }
  await choose(page, 'Memory');
  assert.equal(await page.textContent('#details dd'), '<img src=x onerror=alert(5)>');
  await page.waitForTimeout(300);  // time for an injected handler to fire, were there one
  assert.equal(await page.$$eval('dialog[open]', (d) => d.length), 0);
  assert.equal(await page.$$eval('img, script, iframe, svg', (e) => e.filter((x) => x.closest('#site, #details')).length), 0);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});
