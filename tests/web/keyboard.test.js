// The keyboard alone: Tab reaches the categories and the instance picker, the
// arrow keys move along them, Enter and Space choose, and the focus is visible
// at every step.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { gridText, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

// The element with the focus: its id or category, and whether its focus ring
// shows (an outline wider than nothing).
function focused(page) {
  return page.evaluate(() => {
    const e = document.activeElement;
    const style = getComputedStyle(e);
    return {
      what: e.dataset.category ?? e.id ?? e.tagName,
      ring: e.matches(':focus-visible') && style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2,
    };
  });
}

test('a full walk by keyboard: categories, instances, back to the list', async () => {
  const { page, events } = await openPage(browser, `${serverUrl('laptop')}#/CPU/1`);
  const settled = (caption, index) => page.waitForFunction(([c, i]) => document.body.dataset.state === 'idle'
    && document.getElementById('caption').textContent === c
    && document.querySelector('#site .cell[data-row="1"][data-col="1"]')?.textContent === i, [caption, index]);
  // Each step: the keys pressed, then where the focus is and what the page shows.
  const steps = [
    { keys: ['Tab'], focus: 'CPU', shows: ['CPU', '1'] },
    { keys: ['ArrowDown'], focus: 'Memory', shows: ['CPU', '1'] },
    { keys: ['Enter'], focus: 'Memory', shows: ['Memory', '1'] },
    { keys: ['Tab'], focus: 'instance', shows: ['Memory', '1'] },
    { keys: ['ArrowDown'], focus: 'instance', shows: ['Memory', '2'] },
    { keys: ['Shift+Tab'], focus: 'Memory', shows: ['Memory', '2'] },
    { keys: ['End'], focus: 'External Monitor', shows: ['Memory', '2'] },
    { keys: ['ArrowUp', ' '], focus: 'Network Adapter', shows: ['Network Adapter', '1'] },
    { keys: ['Tab', 'ArrowDown'], focus: 'instance', shows: ['Network Adapter', '2'] },
    { keys: ['Shift+Tab', 'Home', 'Enter'], focus: 'CPU', shows: ['CPU', '1'] },
  ];
  for (const s of steps) {
    for (const key of s.keys) await page.keyboard.press(key);
    await settled(...s.shows);
    assert.deepEqual(await focused(page), { what: s.focus, ring: true }, s.keys.join(' '));
  }
  assert.equal(await page.evaluate(() => location.hash), '#/CPU/1');
  assert.equal((await gridText(page)).find((r) => r[0] === 'Manufacturer')?.[1], 'GenuineIntel');
  // The walk is in the history too.
  await page.goBack();
  await settled('Network Adapter', '2');
  assert.deepEqual(events, { dialogs: [], errors: [] });
  await page.close();
});
