// The servers over other snapshots and locales: a failing snapshot shows the
// control's message box before the grid; text from the instrumentation is shown
// as text, never run; a machine without a display shows none; the page speaks
// the server's language; and serve --baseline marks what changed since.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { CASES, choose, expectRows, gridText, idle, openPage, serverUrl } from './support.js';

const openDialogs = (page) => page.$$eval('dialog[open]', (d) => d.length);

test('a class that cannot be created shows the error box, and the grid only after OK', async () => {
  const { page, done } = await openPage('failing');
  await choose(page, 'Memory');  // this class is there: no box
  assert.equal(await openDialogs(page), 0);
  await page.click('#categories button[data-category="CPU"]');
  await page.waitForSelector('dialog#box[open]');
  assert.deepEqual([await page.textContent('#box-title'), await page.textContent('#box-prompt')],
    ['Parts Information - Error', 'Failed to create object.']);
  // The dialog is modal and the grid still shows the memory table.
  assert.equal((await gridText(page))[2][0], 'SLOTs');
  assert.equal(await page.$eval('#box', (d) => d.matches(':modal')), true);
  assert.equal(await page.getAttribute('body', 'data-state'), 'busy');
  await page.click('#box-ok');
  await idle(page);
  assert.equal(await openDialogs(page), 0);
  assert.deepEqual((await gridText(page)).slice(1, 4), [['Index', '1'], ['Manufacturer', '<Empty>'], ['Name', '<Empty>']]);
  assert.deepEqual(await page.$$eval('#instance option', (o) => o.map((x) => x.value)), ['1']);
  await done();
});

test('markup in device names is shown literally and runs nothing', async () => {
  const { page, done } = await openPage('injection');
  for (const c of CASES.injection) {
    await choose(page, c.name);
    expectRows(await gridText(page), c.rows, c.name);
    // Only the page's own elements: a span of text in every cell.
    assert.deepEqual(await page.$$eval('#site .cell *', (all) => [...new Set(all.map((e) => e.tagName))]), ['SPAN'], c.name);
  }
  await choose(page, 'Memory');
  assert.equal(await page.textContent('#details dd'), '<img src=x onerror=alert(5)>');
  await page.waitForTimeout(300);  // time for an injected handler to fire, were there one
  assert.equal(await openDialogs(page), 0);
  assert.equal(await page.$$eval('img, script, iframe, svg', (e) => e.filter((x) => x.closest('#site, #details')).length), 0);
  await done();
});

// A machine without a display: "none", as the terminal (`Display: none`) and JSON (`[]`) say.
test('a machine without a display shows none and no details', async () => {
  const { page, done } = await openPage('nodisplay');
  await choose(page, 'Display');
  assert.deepEqual([await page.textContent('#count'), await page.textContent('#status')], ['none', 'Display: none']);
  assert.equal(await page.isHidden('#details'), true);
  await done();
});

// Each server runs over the sample laptop in its own locale (scripts/test-web.sh):
// the page's chrome comes from the same catalogue as the control's texts, and
// <html lang> says which; the details are worded as in the terminal.
test('the chrome, counts and status lines come from the server\'s catalogue', async () => {
  for (const l of CASES.languages) {
    // An address that names nothing: the choice, whatever the server last showed. At
    // a phone's width, where the longer words must fit too.
    const { page, done } = await openPage(`${serverUrl(l.server)}#/`, { width: 360, height: 640 });
    const chrome = await page.evaluate(() => ({
      lang: document.documentElement.lang, title: document.title, heading: document.querySelector('h1').textContent,
      category: document.querySelector('#categories-title').textContent,
      instance: document.querySelector('.picker').firstChild.textContent.trim(),
      caption: document.querySelector('#caption').textContent, ok: document.querySelector('#box-ok').textContent,
    }));
    assert.deepEqual(chrome, l.chrome, l.server);
    // The category names are the control's own in every language.
    assert.equal(await page.$$eval('#categories button', (b) => b.length), 11, l.server);
    await choose(page, 'Memory');
    const texts = [await page.textContent('#count'), await page.textContent('#status'), (await gridText(page))[0][0],
      await page.textContent('#details h3')];
    assert.deepEqual(texts, [l.of[0], l.status, l.item, l.details], l.server);
    expectRows(await page.$$eval('#details dt', (e) => e.map((x) => [x.textContent, x.nextSibling.textContent])),
      l.rows, l.server);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth) <= 360, l.server);
    // The display keeps no count; the grid numbers its one instance.
    await choose(page, 'Display');
    assert.equal(await page.textContent('#count'), l.of[1], l.server);
    await done(l.server);
  }
});

test('rows that differ from the baseline are marked, parts gone listed, with a legend', async () => {
  const { page, events } = await openPage(`${serverUrl('baseline')}#/HDD/1`);
  // Waits until the comparison asked for after the last selection has been shown.
  const settled = async () => {
    await idle(page);
    await page.waitForFunction(() => !document.getElementById('baseline').hidden);
    await page.waitForLoadState('networkidle');
  };
  await settled();
  // The disk now is another than the baseline's: every row is new, and the
  // baseline's disk is gone. The module in slot 1 grew: only its capacity is
  // marked. An address changes by itself: nothing is marked.
  for (const c of CASES.baseline) {
    await page.goto(serverUrl('baseline') + c.address);
    await settled();
    const marked = await page.$$eval('#site .cell[data-col="1"][data-mark]', (cells) => cells.map((cell) => [
      document.querySelector(`#site .cell[data-row="${cell.dataset.row}"][data-col="0"]`).textContent,
      cell.textContent, cell.dataset.mark]));
    assert.deepEqual(marked, c.marks, c.address);
    assert.deepEqual(await page.$$eval('#gone li', (items) => items.map((i) => i.textContent)), c.gone, c.address);
  }
  assert.deepEqual(await page.$$eval('#legend li', (items) => items.map((i) => [i.className, i.textContent])), CASES.legend);
  assert.equal(await page.textContent('#baseline-from'), CASES.baselineFrom);
  // A marked row looks marked: its stripe is drawn.
  await page.goto(`${serverUrl('baseline')}#/Memory/2`);
  await settled();
  assert.match(await page.$eval('#site .cell[data-mark="changed"]', (cell) => getComputedStyle(cell).boxShadow), /inset/);
  assert.deepEqual(events, { dialogs: [], errors: [] });
  // A server without a baseline shows none of it.
  await page.goto(`${serverUrl('laptop')}#/HDD/1`);
  await page.waitForLoadState('networkidle');
  assert.equal(await page.$eval('#baseline', (e) => e.hidden), true);
  assert.equal(await page.$$eval('#site .cell[data-mark]', (cells) => cells.length), 0);
  await page.close();
});
