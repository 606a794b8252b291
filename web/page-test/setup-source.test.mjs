// What the page makes of a setup source as setup reads it, on an XP-like
// txtsetup.sif (tools/test-web.sh lays them out under xp/): its machine and
// version and what told them, whatever its folder is called and however it
// is picked; the options ticked by them; options naming the setup's own
// files refused; a driver file the setup source already has, and the
// machine a driver file is taken for.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { unzipSync } from 'fflate';
import { pageCase, workDir, sjis, same, check, sameFiles } from './harness.mjs';

const xp = join(workDir, 'xp');
const linux = (name) => readFileSync(join(xp, 'linux', name));
const zipOf = async (p) => new Map(Object.entries(unzipSync((await p.download('#save-zip')).bytes)));

// The options ticked, by key.
const ticked = (p) => p.page.$$eval('.options li[data-key]', (items) => items.filter((i) => i.querySelector('input').checked)
  .map((i) => i.dataset.key).join(' '));

// The setup source as the page shows it, once the pick is read and the
// option list drawn.
async function setupShown(p) {
  await p.waitFor('tr[data-name="txtsetup.sif"] .machine', "the setup source's machine");
  await p.waitFor('.options li[data-key]', 'the options');
  await p.waitFor('#files[aria-busy="false"]', 'the pick read');
  return p.page.$eval('tr[data-name="txtsetup.sif"]', (row) => {
    const [machine, version] = [row.querySelector('.machine'), row.querySelector('.version')];
    return `machine ${machine.dataset.machine} evidence ${machine.dataset.evidence} version ${version.dataset.version} answer ${version.dataset.answer}`;
  });
}

// oem2sif-check's findings on the Linux result in a folder named xp: a
// finding starts a line at the margin, the last such line is the count.
const nativeFindings = () => {
  const lines = sjis.decode(readFileSync(join(xp, 'check-stdout'))).split(/\r?\n/).filter((l) => l && !/^\s/.test(l));
  return { all: lines.length - 1, problems: lines.filter((l) => l.startsWith('ERROR!')).length };
};

// Virtio into the XP-like source: x86 from [SetupData], answer 2, WNET32
// alone (its folder names Server 2003, the nearest version it has); the run
// as the Linux build's with that option.
async function virtioIntoXp(p, pick) {
  const { page } = p;
  await pick();
  same(await setupShown(p), 'machine x86 evidence 1 version 51 answer 2', 'x86 from the Architecture line, Windows XP (5.1), answer 2');
  same(await ticked(p), 'WNET32', 'the 32-bit option alone ticked');
  same(await page.$eval('.options li[data-key="WNET32"]', (i) => i.dataset.versionFit), 'nearest',
       'its Server 2003 folder the nearest version the driver has');
  await p.runWith(['key-2', 'key-enter'], 'xp', async () => {
    check(await page.$eval('#key-2', (k) => k.classList.contains('target')), 'the answer XP takes marked while the menu waits');
  }, linux('stdout'));
}

pageCase('XP-like setup source picked one by one: x86 from its Architecture line, WNET32 alone, as the Linux build', async (p) => {
  await virtioIntoXp(p, () => p.pickFiles(...['TXTSETUP.SIF', 'txtsetup.oem', 'viostor.sys'].map((name) => join(xp, 'files', name))));
  same((await p.download('a[data-file="txtsetup.sif"]')).bytes, linux('txtsetup.sif'), 'txtsetup.sif byte for byte the Linux result');
  same((await p.download('a[data-file="txtsetup.sif.orig"]')).bytes, linux('txtsetup.sif.orig'), 'txtsetup.sif.orig byte for byte the Linux one');
});

// As folders users name, with the check of the result against
// oem2sif-check's on the Linux result.
for (const folder of ['xp', 'I386 - Copy']) {
  pageCase(`XP-like setup source in a folder named "${folder}": x86 from its Architecture line, the check as oem2sif-check`, async (p) => {
    const { page } = p;
    await virtioIntoXp(p, () => p.giveFolders([join(xp, folder), join(xp, 'driver')], 1));
    const findings = await page.$$eval('#finding-list li', (items) => items.map((i) => `${i.dataset.kind}${i.classList.contains('problem') ? '!' : ''}`));
    check(!findings.includes('7!'), 'no driver taken for another machine than the setup source\'s', findings);
    const native = nativeFindings();
    same(`${findings.length} findings, ${findings.filter((f) => f.endsWith('!')).length} problems`,
         `${native.all} findings, ${native.problems} problems`, 'the findings as oem2sif-check\'s on the Linux result in a folder named xp');
    const zip = await zipOf(p);
    sameFiles(zip, new Map([['TXTSETUP.SIF', linux('txtsetup.sif')], ['txtsetup.sif.orig', linux('txtsetup.sif.orig')],
                            ['viostor.sys', readFileSync(join(xp, 'driver/i386/Win2003/viostor.sys'))]]), 'the zip');
  });
}

pageCase('XP-like setup source without its Architecture line, in a folder named AMD64: x64 from the folder\'s name', async (p) => {
  await p.giveFolders([join(xp, 'AMD64'), join(xp, 'driver')], 1);
  same(await setupShown(p), 'machine x64 evidence 2 version 51 answer 2', 'x64 from the folder\'s name');
  same(await ticked(p), 'WNET64', 'the 64-bit option alone ticked');
});

// ULi ships options for NT 4.0, 2000, XP and XP x64, each in a folder.
const uliDriver = join(workDir, 'layouts/uli/driver');

pageCase('ULi into an XP setup source: the XP options ticked, the 2000 ones not, NT 4.0 skipped, two options of one service shown before the run', async (p) => {
  const { page } = p;
  await p.giveFolders([join(xp, 'xp'), uliDriver], 1);
  same(await setupShown(p), 'machine x86 evidence 1 version 51 answer 2', 'an XP setup source');
  same(await ticked(p), 'm5281XP m5228XP', 'the XP options alone ticked');
  same(await page.$$eval('.options li[data-key]', (items) => items.map((i) => `${i.dataset.key}=${i.dataset.versionFit}`).join(' ')),
       'm5281XP=same m5228XP=same m52812K=other m52282K=other m5281NT=nt4 m5228NT=nt4 m5281XPA64=same m5228XPA64=same',
       'how each option\'s version fits');
  same(await page.$$eval('.options li[data-key$="NT"]', (items) => items.map((i) => `${i.dataset.skipped} ${i.querySelector('input').disabled}`)),
       ['noIds true', 'noIds true'], 'the NT 4.0 options: skipped by the tool (no hardware ids), not to be ticked');
  check(!(await page.$('.planned-conflicts')), 'no conflict shown while the defaults stand');
  await p.click('#language');
  await p.until(() => page.evaluate(() => document.documentElement.lang === 'en'), 'the English view');
  const infos = await page.$$eval('.options li[data-key] .option-info', (all) => all.map((i) => i.textContent));
  check(infos.length === 8 && infos.every((text) => !text.includes('ERROR!')), 'no line of the tool\'s Japanese in the English view', infos);
  await p.click('.options li[data-key="m52812K"] input');
  await p.waitFor('.planned-conflicts li[data-kind="plannedOption"][data-what="m5281"]', 'the two options of the service m5281, shown before the run');
  check(await page.$eval('#run', (b) => !b.disabled), 'and Run still offered');
});

pageCase('ULi into a 2000 setup source: the 2000 options ticked, answer 1 marked while the menu waits', async (p) => {
  const { page } = p;
  await p.giveFolders([join(xp, '2000/I386'), uliDriver], 1);
  same(await setupShown(p), 'machine x86 evidence 1 version 50 answer 1', 'a 2000 setup source');
  same(await ticked(p), 'm52812K m52282K', 'the 2000 options alone ticked');
  await p.runAnswering(['key-1', 'key-enter'], async () => {
    same(await page.$$eval('.keys button.target', (keys) => keys.map((k) => k.id)), ['key-1'], 'the answer 2000 takes marked');
  });
  same(await page.$$eval('#conflicts li', (items) => items.map((i) => i.dataset.kind)), [], 'no warning after the run');
});

// A driver whose option "evil" names the setup's own backups, junk of those
// names beside it, and a good option (tools/test-web.sh: own/).
pageCase('an option naming the setup\'s own files: refused before the run, the backups the originals', async (p) => {
  const { page } = p;
  const own = join(workDir, 'own');
  await p.giveFolders([join(own, 'xp'), join(own, 'driver')], 1);
  await setupShown(p);
  same(await page.$eval('.options li[data-key="evil"]', (i) => `${i.dataset.refused} ${i.querySelector('input').disabled} ${i.querySelector('input').checked}`),
       'setupOwn true false', 'the option refused, its tick disabled');
  same(await ticked(p), 'good', 'the good option ticked');
  await p.runAnswering(['key-2', 'key-enter']);
  same(await page.$$eval('#conflicts li[data-kind="refusedOption"]', (items) => items.length), 1, 'the results name the refused option');
  const zip = await zipOf(p);
  same([...zip.keys()].sort().join(' '), 'DOSNET.INF TXTSETUP.SIF dosnet.inf.orig good.sys txtsetup.sif.orig', 'the zip\'s files');
  same(zip.get('txtsetup.sif.orig'), readFileSync(join(own, 'xp/TXTSETUP.SIF')), 'txtsetup.sif.orig the original, byte for byte');
  same(zip.get('dosnet.inf.orig'), readFileSync(join(own, 'xp/DOSNET.INF')), 'dosnet.inf.orig the original, byte for byte');
});

pageCase('a driver file the setup source has compressed: shown in the plan', async (p) => {
  const atapi = join(workDir, 'atapi');
  await p.giveFolders([join(atapi, 'xp'), join(atapi, 'driver')], 1);
  await p.runAnswering(['key-2', 'key-enter']);
  same(await p.page.$$eval('#output-files tr[data-file="atapi.sys"] .setup-has', (marks) => marks.map((m) => m.dataset.setupHas)), ['atapi.sy_'],
       'atapi.sys going in beside the setup\'s own ATAPI.SY_');
});

// Virtio with its x86 file not there and its x64 one an MZ stub
// (tools/test-web.sh: stub/).
pageCase('a driver file\'s machine: absent where it is not there, guessed from its folder where it holds no PE image', async (p) => {
  const { page } = p;
  const t = await p.texts();
  await p.giveFolders([join(xp, 'xp'), join(workDir, 'stub/driver')], 1);
  await setupShown(p);
  await p.until(async () => !(await page.$('.options li[data-built="reading"]')), 'the driver files read');
  same(await page.$$eval('.options li[data-key]', (items) => items.map((i) => `${i.dataset.key}=${i.dataset.built}`).join(' ')),
       'WNET32=absent WNET64=guessed', 'absent, and guessed from "amd64"');
  const absent = await page.$eval('.options li[data-key="WNET32"] .option-info', (i) => i.textContent);
  check(!absent.includes(t('machineGuessed', 'x86')), 'the absent file is not said to be guessed', absent);
});
