// Three runs on the sample, picked as two files, each against the Linux
// build's run on a copy (tools/test-web.sh: stdout-N, sif-N): 1 (Windows
// 2000), then 2 (Windows XP) on its results, then Enter at the menu.
import { pageCase, read, sample, same, check, sampleInput, newLines } from './harness.mjs';

const allDrivers = (state) => ['smpahci.sys', 'smpcombo.sys', 'smpraid.sys'].map((f) => `${f} ${state}`);
const rows = (p, kind) => p.page.$$eval(`#changes tr.${kind} td.new`, (cells) => cells.map((c) => c.textContent));

async function runOne(p, atMenu) {
  await p.pickFiles(...sampleInput());
  await p.runWith(['key-1', 'key-enter'], 1, atMenu);
}

pageCase('sample: run 1 (Windows 2000) as the Linux build', async (p) => {
  const { page } = p;
  const t = await p.texts();
  await runOne(p, async () => {
    same(await page.$$eval('.keys button.waiting', (keys) => keys.map((k) => k.textContent).join(' | ')),
         [t('key1'), t('key2'), t('keyQuit')].join(' | '), 'the answers say what they do');
    check(await p.inView('#key-1'), 'the answers in view while the tool waits');
  });
  same(await p.offered(), ['txtsetup.sif', 'txtsetup.sif.orig'], 'txtsetup.sif and txtsetup.sif.orig offered');
  const sif = await p.download('a[data-file="txtsetup.sif"]');
  same(sif.name, 'TxtSetup.Sif', 'txtsetup.sif offered under the name it was given');
  same(sif.bytes, read('sif-1'), 'downloaded txtsetup.sif byte for byte the Linux result');
  same((await p.download('a[data-file="txtsetup.sif.orig"]')).bytes, sample, 'downloaded txtsetup.sif.orig byte for byte the original');
  const inserted = await rows(p, 'inserted');
  const expected = newLines(sample, read('sif-1'));
  check(expected.length > 10 && expected.every((l) => inserted.includes(l)), `the diff view lists all ${expected.length} inserted lines`,
        `missing ${JSON.stringify(expected.filter((l) => !inserted.includes(l)))}`);
  const replaced = await rows(p, 'replaced');
  check(inserted.length === expected.length && replaced.length === 0, 'the diff view shows nothing else',
        `${inserted.length} inserted, replaced ${JSON.stringify(replaced)}`);
  same(await p.drivers(), allDrivers('unknown'), 'the driver files it wrote listed (presence unknown: files were picked)');
  same(await page.$$eval('#missing li', (items) => items.map((i) => i.dataset.unsure)), ['yes', 'yes', 'yes'],
       'and the note on them says the same: cannot tell');
  const overlaps = await page.$$eval('button, a.button, label.button', (all) => {
    const boxes = all.map((e) => e.getBoundingClientRect()).filter((r) => r.width > 0);
    return boxes.flatMap((a, i) => boxes.slice(i + 1).filter((b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)).length;
  });
  same(overlaps, 0, 'no two buttons overlap');
  await p.checkAccessibility('the results');
});

// Before anything was saved: the results still hold the original as the
// backup, and the change view compares with it.
pageCase('sample: run 2 (Windows XP) on the results of run 1', async (p) => {
  await runOne(p);
  await p.runWith(['key-2', 'key-enter'], 2);
  same(await p.offered(), ['txtsetup.sif', 'txtsetup.sif.orig'], '"Run again": the backup of the original still offered');
  same(await p.drivers(), allDrivers('unknown'), 'the driver files listed, though their entries did not change');
  same((await p.download('a[data-file="txtsetup.sif"]')).bytes, read('sif-2'), 'downloaded txtsetup.sif byte for byte the Linux result');
  same((await p.download('a[data-file="txtsetup.sif.orig"]')).bytes, sample, 'downloaded txtsetup.sif.orig byte for byte the original');
  same((await rows(p, 'inserted')).sort(), newLines(sample, read('sif-2')).sort(), 'the diff view against the original');
  same(await p.page.$$eval('#conflicts li', (items) => items.map((i) => i.dataset.kind).filter((k) => k.startsWith('setup'))), [],
       'the same driver again on its own results: no warning of what the earlier run wrote');
});

pageCase('sample: run 3 (Enter at the menu) changes nothing and keeps the results', async (p) => {
  await runOne(p);
  await p.runWith(['key-2', 'key-enter'], 2);
  await p.runWith(['key-enter'], 3);
  same(await p.offered(), ['txtsetup.sif', 'txtsetup.sif.orig'], 'leaving at the menu keeps the results');
  same((await p.download('a[data-file="txtsetup.sif"]')).bytes, read('sif-2'), 'and txtsetup.sif is still run 2\'s');
});
