// The page speaks the server's language: its chrome comes from the same
// catalogue as the control's texts, and <html lang> says which.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { choose, expectRows, gridText, openBrowser, openPage, serverUrl } from './support.js';

let browser;
before(async () => { browser = await openBrowser(); });
after(async () => browser?.close());

// Each server runs over the sample laptop in its own locale (scripts/test-web.sh).
// `details`: the heading and three of the first module's details, worded as in the terminal.
const LANGUAGES = [
  { server: 'laptop', lang: 'en', title: 'Parts Information', category: 'Category', instance: 'Instance',
    choose: 'Choose a category', of: 'of 2', status: 'Memory: instance 1 of 2', item: 'Item', ok: 'OK',
    details: ['Details', ['Serial No', '<Empty>'], ['Speed', '2400 MT/s'], ['Slots Used', '2 of 2']] },
  { server: 'japanese', lang: 'ja', title: 'パーツ情報', category: '分類', instance: 'インスタンス',
    choose: '分類を選んでください', of: '/ 2', status: 'Memory: インスタンス 1/2', item: '項目', ok: 'OK',
    details: ['詳細', ['シリアル番号', '<なし>'], ['速度', '2400 MT/s'], ['使用中のスロット', '2 / 2']] },
  { server: 'german', lang: 'de', title: 'Komponenteninformationen', category: 'Kategorie', instance: 'Instanz',
    choose: 'Wählen Sie eine Kategorie', of: 'von 2', status: 'Memory: Instanz 1 von 2', item: 'Element', ok: 'OK',
    details: ['Details', ['Seriennummer', '<Leer>'], ['Geschwindigkeit', '2400 MT/s'], ['Belegte Steckplätze', '2 von 2']] },
];

test('the chrome, counts and status lines come from the server\'s catalogue', async () => {
  for (const l of LANGUAGES) {
    // An address that names nothing: the choice, whatever the server last showed. At
    // a phone's width, where the longer words must fit too.
    const { page, events } = await openPage(browser, `${serverUrl(l.server)}#/`, { width: 360, height: 640 });
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
    const [heading, ...rows] = l.details;
    assert.equal(await page.textContent('#details h3'), heading, l.server);
    expectRows(await page.$$eval('#details dt', (e) => e.map((x) => [x.textContent, x.nextSibling.textContent])),
      rows, l.server);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth) <= 360, l.server);
    // The display keeps no count; the grid numbers its one instance.
    await choose(page, 'Display');
    assert.equal(await page.textContent('#count'), l.of.replace('2', '1'), l.server);
    assert.deepEqual(events, { dialogs: [], errors: [] }, l.server);
    await page.close();
  }
});
