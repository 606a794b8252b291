// Real driver packages as they ship, each into a setup folder of its own
// (tools/test-web.sh lays them out under layouts/, with a generated INF for
// each option ticked): the options ticked by default, the run as the Linux
// build's on the file with only those, the driver files and the INF and
// catalog files the zip takes from the folders [Disks] names, none reported
// missing, and the zip as oem2sif-integrate writes the folder.
import { spawnSync } from 'node:child_process';
import { cpSync, existsSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { unzipSync } from 'fflate';
import { pageCase, workDir, sample, same, sameFiles, check } from './harness.mjs';

const layoutCases = [  // name, setup folder, options ticked, files the zip carries from the driver's folder
  ['virtio-x86', 'I386', 'WNET32', ['i386/Win2003/viostor.sys', 'i386/Win2003/viostor.inf', 'i386/Win2003/viostor.cat']],
  ['virtio-x64', 'AMD64', 'WNET64', ['amd64/Win2003/viostor.sys', 'amd64/Win2003/viostor.inf', 'amd64/Win2003/viostor.cat']],
  ['firadisk', 'I386', 'firadiskx86', ['firadisk.sys', 'firadisk.inf', 'firadisk.cat']],
  ['uli', 'I386', 'm5281XP m5228XP', ['win_xp/M5281.SY_', 'win_xp/m5228.sys', 'win_xp/m5281.inf', 'win_xp/m5228.inf']],
  ['genahci', 'I386', 'storahci_x86', ['x86/storahci.sys', 'x86/storahci.inf', 'x86/storahci.cat']],
];
const integrate = resolve(fileURLToPath(new URL('../../build/default/oem2sif-integrate', import.meta.url)));
const zipOf = async (p) => new Map(Object.entries(unzipSync((await p.download('#save-zip')).bytes)));
const lines = (bytes) => Buffer.from(bytes).toString('latin1').split('\r\n');

async function runLayout(p, [name, setup, ticked, carried]) {
  const { page } = p;
  const dir = join(workDir, 'layouts', name);
  await p.giveFolders([join(dir, 'setup', setup), join(dir, 'driver')], 1);
  same(await page.$$eval('.options li[data-key]', (items) => items.filter((i) => i.querySelector('input').checked)
    .map((i) => i.dataset.key).join(' ')), ticked, 'the options ticked by default (the setup source\'s machine)');
  await p.runWith(['key-1', 'key-enter'], name, async () => {}, readFileSync(join(dir, 'stdout')));
  same(await page.$$eval('#missing li', (items) => items.length), 0, 'no driver file reported missing');
  same(await page.$$eval('#finding-list li.problem', (items) => items.map((i) => i.textContent).join(' | ')), '',
       'the check of the finished folder finds nothing');
  const zip = await zipOf(p);
  const dosnet = existsSync(join(dir, 'dosnet')) && readFileSync(join(dir, `setup/${setup}/DOSNET.INF`));
  const names = ['TXTSETUP.SIF', 'txtsetup.sif.orig', ...carried.map((path) => path.split('/').pop()), ...(dosnet ? ['DOSNET.INF', 'dosnet.inf.orig'] : [])];
  same([...zip.keys()].sort().join(' '), names.sort().join(' '), 'the zip\'s files');
  same(zip.get('txtsetup.sif.orig'), sample, 'the backup is the original');
  for (const path of carried) same(zip.get(path.split('/').pop()), readFileSync(join(dir, 'driver', path)), `${path} as in the driver's folder`);
  same((await p.download('a[data-file="txtsetup.sif"]')).bytes, Buffer.from(zip.get('TXTSETUP.SIF')),
       'txtsetup.sif downloaded alone is the zip\'s, its INF rows too');
  // The change view shows the zip's txtsetup.sif: its row for each INF.
  const zipSif = lines(zip.get('TXTSETUP.SIF'));
  const shown = await page.$$eval('#changes tr.inserted td.new', (cells) => cells.map((c) => c.textContent));
  for (const inf of carried.map((path) => path.split('/').pop()).filter((n) => /\.inf$/i.test(n))) {
    const row = zipSif.find((l) => l.toLowerCase().startsWith(`${inf.toLowerCase()} `) || l.toLowerCase().startsWith(`${inf.toLowerCase()}=`));
    check(row !== undefined && shown.includes(row), `the change view shows txtsetup.sif's row for ${inf}`, [row, shown.filter((l) => /\.inf/i.test(l))]);
  }
  sameFiles(integrated(dir, setup, ticked), new Map([...zip].map(([name, bytes]) => [name, Buffer.from(bytes)])),
            'oem2sif-integrate on a copy of the setup folder, against the zip');
  if (dosnet) {
    // A d1 line for the driver file in [FloppyFiles.2] and [Files], one in
    // [Files] for each file GUI-mode setup takes, every other line kept.
    const added = lines(zip.get('DOSNET.INF'));
    const kept = lines(dosnet);
    same(added.filter((l) => !kept.includes(l)).sort().join(' '), 'd1,viostor.cat d1,viostor.inf d1,viostor.sys d1,viostor.sys',
         'dosnet.inf gets the driver file twice, the INF and the catalog once');
    same(added.filter((l) => kept.includes(l)).join('\n'), kept.join('\n'), 'every other line of dosnet.inf kept');
  }
  return dir;
}

// What the native command writes into a copy of the setup folder, with the
// options the page ticked and the page's answer (1: the sample names no
// version): the files it created or changed, by name.
function integrated(dir, setup, ticked) {
  const copy = join(workDir, 'layouts-integrated', dir.split('/').pop(), setup);
  rmSync(copy, { recursive: true, force: true });
  cpSync(join(dir, 'setup', setup), copy, { recursive: true });
  const before = new Map(readdirSync(copy).map((name) => [name, readFileSync(join(copy, name))]));
  const options = ticked.split(' ').flatMap((key) => ['--option', `1:${key}`]);
  const run = spawnSync(integrate, [copy, join(dir, 'driver'), '--windows', '2000', ...options], { env: { ...process.env, LC_ALL: 'C.UTF-8' } });
  same(run.status, 0, `oem2sif-integrate's status (${run.stdout}${run.stderr})`);
  const after = readdirSync(copy).map((name) => [name, readFileSync(join(copy, name))]);
  return new Map(after.filter(([name, bytes]) => !before.has(name) || !before.get(name).equals(bytes)));
}

for (const layout of layoutCases) pageCase(`layout: ${layout[0]}`, (p) => runLayout(p, layout));

// The 64-bit option ticked on purpose, and run again: flagged, and so are
// the two options that write one service from two folders.
pageCase('layout: virtio-x86 with its 64-bit option ticked on purpose', async (p) => {
  const { page } = p;
  const dir = await runLayout(p, layoutCases[0]);
  await p.click('.options li[data-key="WNET64"] input');
  await p.runAnswering();
  same(await page.$$eval('#conflicts li', (items) => items.map((i) => i.dataset.kind).sort().join(' ')), 'conflictOption wrongMachine',
       'the 64-bit option ticked on purpose is flagged');
  same(await page.$$eval('#finding-list li.problem', (items) => items.map((i) => i.dataset.kind).join(' ')), '7',
       'and so does the check of the finished folder');
  const [option, text] = await page.$eval('#finding-list li.problem', (li) => [li.dataset.option, li.textContent]);
  check(option !== '' && text.includes(option), 'the finding names the option whose [SCSI.Load] line is wrong', [option, text]);
  same((await zipOf(p)).get('DOSNET.INF'), integrated(dir, 'I386', 'WNET32').get('DOSNET.INF'), 'a second run adds nothing to dosnet.inf');
});
