// A folder pick like a CD's: two txtsetup.oem (the user must choose), 6,000
// other files, and two of the sample's three driver files, one compressed.
import { copyFileSync, mkdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pageCase, workDir, sampleDir, corpusDir, same, check } from './harness.mjs';

function layOut() {
  const pick = join(workDir, 'pick');
  rmSync(pick, { recursive: true, force: true });
  for (const dir of ['I386', 'DRIVER', '$OEM$/TEXTMODE']) mkdirSync(join(pick, dir), { recursive: true });
  copyFileSync(join(sampleDir, 'txtsetup.sif'), join(pick, 'I386/TxtSetup.Sif'));
  copyFileSync(join(sampleDir, 'txtsetup.oem'), join(pick, 'DRIVER/TXTSETUP.OEM'));
  copyFileSync(join(corpusDir, 'GenAHCI__txtsetup.oem'), join(pick, '$OEM$/TEXTMODE/TXTSETUP.OEM'));
  for (const name of ['SMPAHCI.SYS', 'smpcombo.sy_']) writeFileSync(join(pick, 'I386', name), 'driver');
  for (let i = 0; i < 6000; i++) writeFileSync(join(pick, 'I386', `file${i}.dl_`), '');
  return pick;
}

pageCase('folder pick: two txtsetup.oem among 6,000 files', async (p) => {
  const { page } = p;
  const t = await p.texts();
  const pick = layOut();
  await page.evaluate(() => {
    const status = document.getElementById('pick-status');
    window.statusSeen = [];
    new MutationObserver(() => window.statusSeen.push(status.textContent)).observe(status, { childList: true, subtree: true });
  });
  await (await page.$('#pick-folder')).uploadFile(pick).catch((error) =>
    p.skip(`its driver cannot give a folder: ${error.message.split('\n')[0].replace(/ Failed to add file .*/, '')}`));
  const read = t('read', t.number(6005));
  await p.until(async () => (await page.$eval('#pick-status', (e) => e.textContent)) === read, `the status "${read}"`);
  await p.waitFor('tr[data-name="txtsetup.oem"] fieldset', 'the choice between the two txtsetup.oem');
  await p.waitFor('#files[aria-busy="false"]', 'the pick read');
  // "Reading… N files" with any N: the text around the number.
  const [before, after] = t('reading', '\u0000').split('\u0000');
  const seen = await page.evaluate(() => window.statusSeen);
  check(seen.some((s) => s.startsWith(before) && s.endsWith(after)) && seen.at(-1) === read,
        'a 6,000-file pick shows that it is being read, then how much it read', seen);
  const size = (path) => t('bytes', t.number(statSync(path).size));
  same((await page.$$eval('tr[data-name="txtsetup.oem"] .driver > label', (labels) => labels.map((l) => l.textContent))).sort(),
       [`pick/$OEM$/TEXTMODE/TXTSETUP.OEM (${size(join(pick, '$OEM$/TEXTMODE/TXTSETUP.OEM'))})`,
        `pick/DRIVER/TXTSETUP.OEM (${size(join(pick, 'DRIVER/TXTSETUP.OEM'))})`].sort(),
       'two txtsetup.oem: both offered with paths and sizes');
  check(await page.$eval('#run', (b) => b.disabled), 'and Run waits for the choice');
  await p.click('.driver[data-path="pick/DRIVER/TXTSETUP.OEM"] input');
  await p.runWith(['key-1', 'key-enter'], 1);
  same(await p.drivers(), ['smpahci.sys present', 'smpcombo.sys compressed', 'smpraid.sys absent'],
       'the driver list says which driver files the setup folder holds');
  await p.checkAccessibility('a folder pick with a choice');
});
