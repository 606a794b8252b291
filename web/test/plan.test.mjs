// What the runs' results decide: the drivers that stay, the warnings, what
// goes into the setup folder and what writing it does there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { runOutcome, combinedDrivers, conflicts, driverFile, planWrites, toWrite, sameListing } from '../page/plan.js';
import { folderNameOf } from '../page/picks.js';

const bytes = (text) => new TextEncoder().encode(text);
const text = (data) => new TextDecoder().decode(data);
// Picked files: path -> content; "2:" before a path: of the second pick.
const entries = (files) => new Map(Object.entries(files).map(([at, content]) => {
  const [, pick = '1', path] = at.match(/^(?:(\d+):)?(.*)$/);
  const entry = entryOf(Number(pick), path, { name: path.split('/').pop(), size: content.length, arrayBuffer: async () => bytes(content).buffer }, true);
  return [entry.key, entry];
}));
const option = (key, service, driverFile, ids, written = true) =>
  ({ key, description: `${key} controller`, driverFile, service, written, files: [],
     ids: ids.map((id) => ({ id, match: id.toLowerCase(), service })) });
const driver = (path) => ({ path, folder: `1:${path.slice(0, path.lastIndexOf('/') + 1)}` });

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
  assert.deepEqual(conflicts(runs, (d) => d.path).map(({ a, b, kind, list }) => `${kind} ${a} ${b} ${list}`), [
    'conflictService intel/8.9.8/txtsetup.oem intel/11.2/txtsetup.oem iastor',
    'conflictId intel/8.9.8/txtsetup.oem uli/txtsetup.oem pci\\ven_8086&dev_1 (iastor → m5281)',
    'conflictId intel/11.2/txtsetup.oem uli/txtsetup.oem pci\\ven_8086&dev_1 (iastor → m5281)',
  ]);
  assert.deepEqual(combinedDrivers(runs).map((d) => `${d.service} ${d.driver.path}`),
                   ['iastor intel/11.2/txtsetup.oem', 'm5281 uli/txtsetup.oem', 'other other/txtsetup.oem']);
});

// A pack of two versions of one driver and a third, beside I386.
const files = entries({
  'I386/TXTSETUP.SIF': 'old', 'I386/IASTOR.SYS': 'older', 'I386/m5228.sy_': 'present',
  'p/8/iastor.sys': 'v8', 'p/11/IASTOR.SYS': 'v11', 'p/uli/M5228.SY_': 'packed', 'p/uli/m5281.sys': 'v1',
});
const runs = [['p/8/txtsetup.oem', 'iastor.sys'], ['p/11/txtsetup.oem', 'iastor.sys'], ['p/uli/txtsetup.oem', 'm5281.sys'],
              ['p/uli/txtsetup.oem', 'm5228.sys'], ['p/uli/txtsetup.oem', 'gone.sys']]
  .map(([path, file], i) => runOutcome(driver(path), { options: [option(`o${i}`, file.split('.')[0], file, [])] }));
const result = {
  runs, drivers: combinedDrivers(runs), original: bytes('old'), starts: [bytes('old')], pickedBackup: null,
  setup: [...files.values()].find((e) => e.name === 'TXTSETUP.SIF'),
  folder: new Map([['txtsetup.sif', bytes('new')], ['txtsetup.sif.orig', bytes('old')]]),
};
const found = result.drivers.map((d) => driverFile(files, result.setup, d));

test('each driver file: where the setup folder has it, where it is taken from', () => {
  assert.deepEqual(found.map((f) => `${f.file} ${f.state} ${f.source ? f.source.path : '-'}${f.missing ? ' missing' : ''}`), [
    'iastor.sys present p/11/IASTOR.SYS', 'm5281.sys absent p/uli/m5281.sys', 'm5228.sys compressed p/uli/M5228.SY_',
    'gone.sys absent - missing']);
});

// What the engine's apply wrote for the picked folder, as output-control.js
// hands it to planWrites: txtsetup.sif and its backup, and the brought
// files (the later run's iastor.sys).
const outputOf = (sif, brought) => [
  { name: 'TXTSETUP.SIF', lower: 'txtsetup.sif', kind: 'sif', read: async () => sif },
  { name: 'txtsetup.sif.orig', lower: 'txtsetup.sif.orig', kind: 'backup' },
  ...brought.map(([name, content]) => ({ name, lower: name.toLowerCase(), kind: 'driver', file: name, read: async () => bytes(content) })),
];
const output = outputOf(bytes('new'), [['IASTOR.SYS', 'v11'], ['m5281.sys', 'v1'], ['M5228.SY_', 'packed']]);

// A folder: name -> content.
async function plan(folder, of = result, out = output) {
  const names = new Map(Object.keys(folder).map((name) => [name.toLowerCase(), name]));
  const planned = await planWrites(of, out, names, async (name) => bytes(folder[name]));
  return planned.refused || planned.items.map((i) => `${i.name} ${i.action}${i.bytes ? `=${text(i.bytes)}` : ''}`).join(', ');
}

test('what writing does to a folder', async () => {
  assert.equal(await plan({ 'TXTSETUP.SIF': 'old', 'iastor.sys': 'v11', 'm5228.sy_': 'other' }),
               'TXTSETUP.SIF planReplace=new, txtsetup.sif.orig planCreate=old, iastor.sys planSame=v11, m5281.sys planCreate=v1, ' +
               'm5228.sy_ planConflict=packed');
  assert.equal(await plan({ 'TXTSETUP.SIF': 'new', 'TXTSETUP.SIF.ORIG': 'older', 'IASTOR.SYS': 'v8' }),
               'TXTSETUP.SIF planSame=new, TXTSETUP.SIF.ORIG planKeepBackup, IASTOR.SYS planConflict=v11, m5281.sys planCreate=v1, ' +
               'M5228.SY_ planCreate=packed');
  assert.equal(await plan({ 'txtsetup.sif': 'another' }), 'otherOrChanged', 'files picked one by one: the page cannot tell');
  assert.equal(await plan({ 'txtsetup.sif': 'another', 'txtsetup.sif.orig': 'old' }), 'changedSince');
});

test('no way out leaves a changed txtsetup.sif without the original beside it', async () => {
  const backupOf = async (folder, of) => (await plan(folder, of)).split(', ')[1];
  // An empty backup is what a tab closed while it was written leaves.
  assert.equal(await backupOf({ 'txtsetup.sif': 'old', 'txtsetup.sif.orig': '' }), 'txtsetup.sif.orig planCreate=old');
  // The result already there, with no backup: the original goes beside it.
  assert.equal(await backupOf({ 'txtsetup.sif': 'new' }), 'txtsetup.sif.orig planCreate=old');
  // "Run again" before saving: the later runs start from the earlier
  // result, and an untouched folder still gets its original as the backup.
  const again = { ...result, starts: [bytes('old'), bytes('mid')] };
  assert.equal(await backupOf({ 'txtsetup.sif': 'old' }, again), 'txtsetup.sif.orig planCreate=old');
  assert.equal(await backupOf({ 'txtsetup.sif': 'mid', 'txtsetup.sif.orig': 'old' }, again), 'txtsetup.sif.orig planKeepBackup');
  // The picked folder had a backup; a copy of it without one gets one made
  // of its own txtsetup.sif, as the tool would make it.
  const picked = { ...result, pickedBackup: {}, folder: new Map([['txtsetup.sif', bytes('new')], ['txtsetup.sif.orig', bytes('first')]]) };
  assert.equal(await backupOf({ 'txtsetup.sif': 'old' }, picked), 'txtsetup.sif.orig planCreate=old');
});

test('a driver file cut short is not there: it is replaced; one with other bytes waits for a tick', async () => {
  assert.equal((await plan({ 'txtsetup.sif': 'old', 'iastor.sys': '', 'm5281.sys': 'v', 'm5228.sy_': 'pack' })).split(', ').slice(2).join(', '),
               'iastor.sys planRepair=v11, m5281.sys planRepair=v1, m5228.sy_ planRepair=packed');
  const empty = entries({ '1:I386/TXTSETUP.SIF': 'new', '1:I386/iastor.sys': '', '1:p/11/iastor.sys': 'v11' });
  const d = { service: 'iastor', file: 'iastor.sys', driver: driver('p/11/txtsetup.oem'), option: option('o', 'iastor', 'iastor.sys', []) };
  assert.equal(driverFile(empty, [...empty.values()][0], d).state, 'empty');
  const items = [{ action: 'planConflict', replace: false }, { action: 'planConflict', replace: true }, { action: 'planKeepBackup' }];
  assert.deepEqual(items.map(toWrite), [false, true, false], 'the zip and the write leave out what is not ticked');
});

test('dosnet.inf: changed where the folder has the picked one, its backup as txtsetup.sif\'s; another one left alone', async () => {
  const withDosnet = { ...result, dosnet: { name: 'DOSNET.INF', original: bytes('dos'), bytes: bytes('dos+d1'), pickedBackup: null } };
  const dosnetOutput = [...output, { name: 'DOSNET.INF', lower: 'dosnet.inf', kind: 'dosnet', read: async () => bytes('dos+d1') },
                        { name: 'dosnet.inf.orig', lower: 'dosnet.inf.orig', kind: 'dosnetBackup' }];
  const dosnetItems = async (folder) => (await plan({ 'txtsetup.sif': 'old', ...folder }, withDosnet, dosnetOutput)).split(', ')
    .filter((i) => /^dosnet/i.test(i)).join(', ');
  assert.equal(await dosnetItems({ 'DOSNET.INF': 'dos' }), 'DOSNET.INF planReplace=dos+d1, dosnet.inf.orig planCreate=dos');
  assert.equal(await dosnetItems({ 'dosnet.inf': 'dos+d1' }), 'dosnet.inf planSame=dos+d1, dosnet.inf.orig planCreate=dos');
  assert.equal(await dosnetItems({ 'dosnet.inf': 'dos', 'dosnet.inf.orig': 'older' }), 'dosnet.inf planReplace=dos+d1, dosnet.inf.orig planKeepBackup');
  assert.equal(await dosnetItems({ 'dosnet.inf': 'another' }), 'dosnet.inf planOtherDosnet=dos+d1');
  assert.equal(await dosnetItems({}), '', 'no dosnet.inf there: none made');
});

test('a setup folder whose txtsetup.sif was edited since it was picked is the same folder, changed', async () => {
  // The picked I386 held these files; the folder written into holds...
  const picked = ['txtsetup.sif', 'dosnet.inf', 'ntldr', 'ntdetect.com', 'atapi.sy_', ...Array.from({ length: 300 }, (_, i) => `f${i}.dl_`)];
  const listing = new Set(picked);
  const cases = [  // the folder's names, same folder
    [picked, true],
    [[...picked, 'txtsetup.sif.orig', 'iastor.sys', 'm5281.sys'], true],  // a backup and driver files written since
    [[...picked, 'txtsetup.sif~'], true],  // an editor's backup
    [picked.filter((n) => n !== 'f7.dl_'), true],
    [['txtsetup.sif', 'dosnet.inf', 'ntldr', ...Array.from({ length: 300 }, (_, i) => `g${i}.dl_`)], false],
    [['txtsetup.sif'], false],
  ];
  for (const [names, same] of cases) {
    assert.equal(sameListing(listing, new Map(names.map((n) => [n, n])), output), same, names.slice(-3).join(' '));
  }
  assert.equal(sameListing(null, new Map(), output), null, 'files picked one by one');
  const edited = async (names, of) => plan(Object.fromEntries(names.map((n) => [n, n === 'txtsetup.sif' ? 'edited' : 'x'])), of);
  assert.equal(await edited(picked, { ...result, listing }), 'changedSince');
  assert.equal(await edited(['txtsetup.sif', 'ntldr'], { ...result, listing }), 'otherFolder');
  assert.equal(await edited(picked, result), 'otherOrChanged');
});

test('the folder name the check is given: the picked folder\'s, none for files picked one by one', () => {
  const cases = [['xp/TXTSETUP.SIF', true, 'xp'], ['CD/I386 - Copy/txtsetup.sif', true, 'I386 - Copy'], ['TXTSETUP.SIF', false, ''],
                 ['txtsetup.sif', true, '']];
  for (const [path, inFolder, name] of cases) {
    assert.equal(folderNameOf(entryOf(1, path, { name: path.split('/').pop(), size: 1 }, inFolder)), name, path);
  }
});

test('a driver file replacing one of the setup\'s own files in its other form says so', async () => {
  const of = { ...result, dosnet: { name: 'dosnet.inf', original: bytes('dos'), bytes: bytes('dos+d1'), pickedBackup: null } };
  const written = [...outputOf(bytes('new'), [['atapi.sys', 'vendor']]), { name: 'dosnet.inf', lower: 'dosnet.inf', kind: 'dosnet', read: async () => bytes('dos+d1') },
                   { name: 'dosnet.inf.orig', lower: 'dosnet.inf.orig', kind: 'dosnetBackup' }];
  const folder = { 'txtsetup.sif': 'old', 'dosnet.inf': 'dos', 'ATAPI.SY_': 'setup\'s own' };
  const names = new Map(Object.keys(folder).map((name) => [name.toLowerCase(), name]));
  const planned = await planWrites(of, written, names, async (name) => bytes(folder[name]));
  assert.deepEqual(planned.items.map((i) => `${i.name} ${i.action}${i.bytes ? `=${text(i.bytes)}` : ''}${i.setupHas ? ` over ${i.setupHas}` : ''}`), [
    'txtsetup.sif planReplace=new', 'txtsetup.sif.orig planCreate=old', 'atapi.sys planCreate=vendor over ATAPI.SY_',
    'dosnet.inf planReplace=dos+d1', 'dosnet.inf.orig planCreate=dos']);
});
