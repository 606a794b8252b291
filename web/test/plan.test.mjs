// What the runs' results decide: the drivers that stay, the warnings, what
// goes into the setup folder and what writing it does there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { runOutcome, combinedDrivers, conflicts, driverFile, outputFiles, planWrites } from '../page/plan.js';

const bytes = (text) => new TextEncoder().encode(text);
const entries = (files) => new Map(Object.entries(files).map(([path, text]) => {
  const entry = entryOf(path, { name: path.split('/').pop(), size: text.length }, true);
  entry.bytes = bytes(text);
  return [path, entry];
}));
const option = (key, service, driverFile, ids, written = true) =>
  ({ key, description: `${key} controller`, driverFile, service, written, files: [],
     ids: ids.map((id) => ({ id, match: id.toLowerCase(), service })) });
const driver = (path) => ({ path, folder: path.slice(0, path.lastIndexOf('/') + 1) });

test('a run stands for the options it wrote; a service written twice keeps the later', () => {
  const run = runOutcome(driver('a/txtsetup.oem'), { status: 0, options: [
    option('x86', 'viostor', 'viostor.sys', ['PCI\\VEN_1AF4']),
    option('nt4', 'old', 'old.sys', ['PCI\\VEN_0'], false),
    option('x64', 'viostor', 'viostor64.sys', ['PCI\\VEN_1AF4', 'PCI\\VEN_1AF5']),
  ] });
  assert.deepEqual(run.drivers.map((d) => `${d.service} ${d.file} ${d.option.key}`), ['viostor viostor64.sys x64']);
  assert.deepEqual(run.ids.map((i) => `${i.id} ${i.service}`), ['PCI\\VEN_1AF4 viostor', 'PCI\\VEN_1AF5 viostor']);
});

test('which drivers warn', () => {
  const runs = [
    runOutcome(driver('intel/8.9.8/txtsetup.oem'), { options: [option('a', 'iastor', 'iastor.sys', ['PCI\\VEN_8086&DEV_1'])] }),
    runOutcome(driver('intel/11.2/txtsetup.oem'), { options: [option('b', 'iastor', 'iaStor.sys', ['PCI\\VEN_8086&DEV_1'])] }),
    runOutcome(driver('uli/txtsetup.oem'), { options: [option('c', 'm5281', 'm5281.sys', ['pci\\ven_8086&dev_1'])] }),
    runOutcome(driver('other/txtsetup.oem'), { options: [option('d', 'other', 'other.sys', ['PCI\\VEN_9'])] }),
  ];
  assert.deepEqual(conflicts(runs).map(({ a, b, kind, list }) => `${kind} ${a} ${b} ${list}`), [
    'conflictService intel/8.9.8/txtsetup.oem intel/11.2/txtsetup.oem iastor',
    'conflictId intel/8.9.8/txtsetup.oem uli/txtsetup.oem pci\\ven_8086&dev_1 (iastor → m5281)',
    'conflictId intel/11.2/txtsetup.oem uli/txtsetup.oem pci\\ven_8086&dev_1 (iastor → m5281)',
  ]);
  assert.deepEqual(combinedDrivers(runs).map((d) => `${d.service} ${d.driver.path}`),
                   ['iastor intel/11.2/txtsetup.oem', 'm5281 uli/txtsetup.oem', 'other other/txtsetup.oem']);
});

// A pack of two versions of one driver and a third, beside I386.
const files = entries({
  'I386/TXTSETUP.SIF': 'new', 'I386/IASTOR.SYS': 'older', 'I386/m5228.sy_': 'present',
  'p/8/iastor.sys': 'v8', 'p/11/IASTOR.SYS': 'v11', 'p/uli/M5228.SY_': 'packed', 'p/uli/m5281.sys': 'v1',
});
const runs = [['p/8/txtsetup.oem', 'iastor.sys'], ['p/11/txtsetup.oem', 'iastor.sys'], ['p/uli/txtsetup.oem', 'm5281.sys'],
              ['p/uli/txtsetup.oem', 'm5228.sys'], ['p/uli/txtsetup.oem', 'gone.sys']]
  .map(([path, file], i) => runOutcome(driver(path), { options: [option(`o${i}`, file.split('.')[0], file, [])] }));
const result = {
  runs, drivers: combinedDrivers(runs), initialSetup: bytes('old'),
  setup: { folder: 'I386/', inFolder: true },
  files: [{ name: 'TXTSETUP.SIF', lower: 'txtsetup.sif', state: 'changed', bytes: bytes('new') },
          { name: 'txtsetup.sif.orig', lower: 'txtsetup.sif.orig', state: 'created', bytes: bytes('old') }],
};
const found = result.drivers.map((d) => driverFile(files, result.setup, d));

test('each driver file: where the setup folder has it, where it is taken from', () => {
  assert.deepEqual(found.map((f) => `${f.file} ${f.state} ${f.source ? f.source.path : '-'}${f.missing ? ' missing' : ''}`), [
    'iastor.sys present p/11/IASTOR.SYS', 'm5281.sys absent p/uli/m5281.sys', 'm5228.sys compressed p/uli/M5228.SY_',
    'gone.sys absent - missing']);
});

test('what the zip and the write carry: the setup files, and the later run\'s driver files under the folder\'s names', async () => {
  const output = outputFiles(files, result, found);
  const carried = await Promise.all(output.map(async (f) => `${f.name}=${new TextDecoder().decode(await f.read())}`));
  assert.deepEqual(carried, ['TXTSETUP.SIF=new', 'txtsetup.sif.orig=old', 'IASTOR.SYS=v11', 'm5281.sys=v1', 'm5228.sy_=packed']);
});

test('what writing does to a folder', async () => {
  const output = outputFiles(files, result, found);
  const plan = async (folder) => {
    const names = new Map(Object.keys(folder).map((name) => [name.toLowerCase(), name]));
    const items = await planWrites(result, output, names, async (name) => bytes(folder[name]));
    return items && items.map((i) => `${i.name} ${i.action}`).join(', ');
  };
  assert.equal(await plan({ 'TXTSETUP.SIF': 'old', 'iastor.sys': 'v11' }),
               'TXTSETUP.SIF planReplace, txtsetup.sif.orig planCreate, iastor.sys planSame, m5281.sys planCreate, m5228.sy_ planCreate');
  assert.equal(await plan({ 'TXTSETUP.SIF': 'new', 'TXTSETUP.SIF.ORIG': 'older', 'IASTOR.SYS': 'v8' }),
               'TXTSETUP.SIF planSame, TXTSETUP.SIF.ORIG planKeepBackup, IASTOR.SYS planConflict, m5281.sys planCreate, m5228.sy_ planCreate');
  assert.equal(await plan({ 'txtsetup.sif': 'old', 'txtsetup.sif.orig': '' }).then((p) => p.split(', ')[1]), 'txtsetup.sif.orig planCreate',
               'an empty backup is none');
  assert.equal(await plan({ 'txtsetup.sif': 'another' }), null, 'a txtsetup.sif the runs did not start from');
});
