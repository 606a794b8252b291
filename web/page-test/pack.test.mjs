// A pack of three drivers, each in its folder as it ships, beside a setup
// folder: run one after another, as the Linux build ran them.
import { unzipSync } from 'fflate';
import { pageCase, same, check, sameFiles } from './harness.mjs';
import { packDrivers, packResult, givePack } from './pack.js';

pageCase('pack: three drivers run one after another, and their zip', async (p) => {
  const { page } = p;
  await givePack(p);
  same(await page.$$eval('.drivers-pick .driver', (nodes) => nodes.map((n) => n.dataset.path)), packDrivers,
       'every txtsetup.oem is a driver, in the order of their paths');
  const options = await page.$$eval('.drivers-pick .driver:first-of-type li[title]', (items) => items.map((i) => `${i.title}=${i.querySelector('.description').textContent}`));
  same(`${options.length} ${options[0]}`, '23 iaAHCI_ESB2=Intel(R) ESB2 SATA AHCI Controller', 'a driver shows its options as the tool reads them');
  await p.runWith(['key-1', 'key-enter'], 'pack');
  const conflict = await page.$eval('#conflicts', (e) => e.hidden ? '' : e.textContent);
  check(packDrivers.slice(0, 2).every((d) => conflict.includes(d)) && conflict.includes('iastor'),
        'the warning names both drivers that write the service iastor', conflict);
  same(await page.$$eval('#missing:not([hidden]) li', (items) => items.map((i) => i.dataset.file)), ['m5281.sys'],
       'the driver file not in its folder is reported missing');
  same(await page.$eval('#write-folder', (b) => b.getClientRects().length === 0), !p.features.fileSystemAccess,
       '"Write into the setup folder" offered exactly where the browser can, the zip everywhere');
  same(await page.$$eval('#output-files tr[data-action]', (rows) => rows.map((r) => r.cells[1].textContent).filter((text) => /undefined|null/.test(text)).length), 0,
       'every file going into the setup folder says what it is');
  await p.checkAccessibility('the results of a pack');
  const zip = await p.download('#save-zip');
  sameFiles(new Map(Object.entries(unzipSync(zip.bytes))), packResult(), 'the zip');
});
