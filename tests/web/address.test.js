// The address carries the selection: a link opens it, the back and forward
// buttons walk the selections, a fresh page says what another client left on
// the grid, and an address that names nothing (or an instance past the count)
// shows the choice, running nothing. The keyboard alone walks the page too:
// Tab reaches the categories and the picker, the arrow keys move along them,
// Enter and Space choose, and the focus is visible at every step.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { CASES, choose, gridText, idle, openPage, serverUrl, shows } from './support.js';

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

test('a link opens its selection, and back and forward walk the selections', async () => {
  const { page, done } = await openPage(`${serverUrl('laptop')}#/Network%20Adapter/2`);
  assert.deepEqual(await showing(page), CASES.adapter2);
  await choose(page, 'CPU');
  await choose(page, 'Memory');
  await page.selectOption('#instance', '2');
  await page.waitForFunction(() => location.hash === '#/Memory/2');
  await idle(page);
  assert.deepEqual(await showing(page),
    { caption: 'Memory', pressed: ['Memory'], instance: '2', hash: '#/Memory/2', index: '2', name: undefined });
  // Back: Memory 1, CPU 1, then the link's selection; forward again.
  for (const s of CASES.history) {
    await (s.go === 'back' ? page.goBack() : page.goForward());
    await shows(page, s.caption, s.index);
    const now = await showing(page);
    assert.deepEqual([now.hash, now.caption, now.instance, now.index], [s.hash, s.caption, s.index, s.index], s.go);
  }
  // A reload keeps it.
  await page.reload();
  await idle(page);
  assert.equal((await showing(page)).caption, 'CPU');
  await done();
});

test('a fresh page shows the selection another client left, with its grid', async () => {
  const { page: other } = await openPage('laptop');
  await other.evaluate(() => window.control.SetSelectItem('Network Adapter', 2));
  // A call that fails leaves the last good selection in place.
  await other.evaluate(() => window.control.SetSelectItem('CPU', 0).catch(() => null));
  await other.evaluate(() => window.control.SetSelectItem('Network Adapter', 2));
  await other.close();
  const { page, done } = await openPage('laptop');
  assert.deepEqual(await showing(page), CASES.adapter2);
  assert.match(await page.textContent('#status'), /Network Adapter: instance 2 of 2/);
  await done();
});

test('an address that names no selection shows the choice and runs nothing', async () => {
  const url = serverUrl('laptop');
  await (await openPage(`${url}#/Memory/2`)).page.close();
  // An instance past the count is the control error, and the choice.
  const past = await openPage(`${url}#/Memory/300`);
  assert.equal(await past.page.textContent('#caption'), 'Choose a category');
  assert.match(await past.page.textContent('#status'), /^SetSelectItem\("Memory", 300\) failed: .*\(error 9\)$/);
  await past.done();
  for (const hash of [...CASES.hostile, `#/${'A'.repeat(5000)}/1`]) {
    const { page, done } = await openPage(url + hash);
    const now = await showing(page);
    assert.deepEqual([now.caption, now.pressed, await page.isDisabled('#instance')], ['Choose a category', [], true], hash);
    // The grid as the control started: header and blank rows.
    const rows = (await gridText(page)).slice(0, 2).map((r) => r.map((t) => t.trim()));
    assert.deepEqual(rows, [['Item', 'Value'], ['', '']], hash);
    assert.equal(await page.getAttribute('#status', 'class'), 'status failed', hash);
    assert.ok((await page.textContent('#status')).length < 200, hash);
    await page.waitForTimeout(50);
    assert.equal(await page.$$eval('img:not(.logo), main script, #status *', (e) => e.length), 0, hash);
    await done(hash);
  }
  // The last good selection is still the server's.
  const { page } = await openPage('laptop');
  assert.equal((await showing(page)).hash, '#/Memory/2');
  await page.close();
});

test('a full walk by keyboard: categories, instances, back to the list', async () => {
  const { page, done } = await openPage(`${serverUrl('laptop')}#/CPU/1`);
  // Each step: the keys pressed, then where the focus is (and that its ring
  // shows: an outline wider than nothing) and what the page shows.
  for (const s of CASES.keyboard) {
    for (const key of s.keys) await page.keyboard.press(key);
    await shows(page, ...s.shows);
    const focused = await page.evaluate(() => {
      const e = document.activeElement;
      const style = getComputedStyle(e);
      return { what: e.dataset.category ?? e.id ?? e.tagName,
        ring: e.matches(':focus-visible') && style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2 };
    });
    assert.deepEqual(focused, { what: s.focus, ring: true }, s.keys.join(' '));
  }
  assert.equal(await page.evaluate(() => location.hash), '#/CPU/1');
  assert.equal((await gridText(page)).find((r) => r[0] === 'Manufacturer')?.[1], 'GenuineIntel');
  // The walk is in the history too.
  await page.goBack();
  await shows(page, 'Network Adapter', '2');
  await done();
});
