// The page speaks the server's language: its chrome comes from the same
// catalogue as the control's texts, and <html lang> says which.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { choose, gridText, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

// Each server runs over the sample laptop in its own locale (scripts/test-web.sh).
const LANGUAGES = [
  { server: 'laptop', lang: 'en', title: 'Parts Information', category: 'Category', instance: 'Instance',
    choose: 'Choose a category', of: 'of 2', none: 'none', status: 'Memory: instance 1 of 2', item: 'Item', ok: 'OK' },
  { server: 'japanese', lang: 'ja', title: 'パーツ情報', category: '分類', instance: 'インスタンス',
    choose: '分類を選んでください', of: '/ 2', none: 'なし', status: 'Memory: インスタンス 1/2', item: '項目', ok: 'OK' },
  { server: 'german', lang: 'de', title: 'Komponenteninformationen', category: 'Kategorie', instance: 'Instanz',
    choose: 'Wählen Sie eine Kategorie', of: 'von 2', none: 'keine', status: 'Memory: Instanz 1 von 2', item: 'Element', ok: 'OK' },
];

test('the chrome, counts and status lines come from the server\'s catalogue', async () => {
  for (const l of LANGUAGES) {
    // An address that names nothing: the choice, whatever the server last showed.
    const { page, events } = await openPage(browser, `${serverUrl(l.server)}#/`);
    const chrome = await page.evaluate(() => ({
      lang: document.documentElement.lang,
      title: document.title,
      heading: document.querySelector('h1').textContent,
      category: document.querySelector('#categories-title').textContent,
      instance: document.querySelector('.picker').firstChild.textContent.trim(),
      caption: document.querySelector('#caption').textContent,
      ok: document.querySelector('#box-ok').textContent,
    }));
    assert.deepEqual(chrome, { lang: l.lang, title: l.title, heading: l.title, category: l.category,
      instance: l.instance, caption: l.choose, ok: l.ok }, l.server);
    // The category names are the control's own in every language.
    assert.equal(await page.$$eval('#categories button', (b) => b.length), 11, l.server);
    await choose(page, 'Memory');
    assert.equal(await page.textContent('#count'), l.of, l.server);
    assert.equal(await page.textContent('#status'), l.status, l.server);
    assert.equal((await gridText(page))[0][0], l.item, l.server);
    await choose(page, 'Display');
    assert.equal(await page.textContent('#count'), l.none, l.server);
    assert.deepEqual(events, { dialogs: [], errors: [] }, l.server);
    await page.close();
  }
});
