// The page itself: its language. Every case also ends with the page's
// general checks (harness.mjs: no request leaves it, no error, no
// Content-Security-Policy violation, the tool only in its worker).
import { translator } from '../page/texts.js';
import { pageCase, same } from './harness.mjs';

pageCase('page: English one switch away', async (p) => {
  const { page } = p;
  same(await page.evaluate(() => document.documentElement.lang), 'ja', 'the page opens in Japanese');
  await p.click('#language');
  const en = translator('en');
  same(await page.evaluate(() => document.documentElement.lang), 'en', 'the switch makes it English');
  same(await page.$eval('#offline', (e) => e.textContent), en('offline'), 'and its texts are the English ones');
});
