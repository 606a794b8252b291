// Where an option's driver file is taken from, what it is built for, which
// options are ticked and which write over each other.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { X86, X64, NOT_IMAGE, machineOfFolder, optionRows, keptOptions, optionConflicts, optionSource, machineOf, versionsNamed,
         setupVersion, NT4, W2000, XP, W2003 } from '../page/options.js';
import { plannedConflicts } from '../page/plan.js';
import { corpusOptions } from './corpus-options.mjs';

const entries = new Map(['virtio/txtsetup.oem', 'virtio/I386/win2003/viostor.sys', 'virtio/amd64/Win2003/VIOSTOR.SY_',
  'virtio/viostor.sys', 'virtio/x64/empty.sys:0', 'virtio/odd.sys'].map((at) => {
  const [path, size = '10'] = at.split(':');
  const entry = entryOf(1, path, { name: path.split('/').pop(), size: Number(size) }, true);
  return [entry.key, entry];
}));
const driver = [...entries.values()][0];
const option = (index, file, directory) => ({ index, key: `k${index}`, driverFile: file, service: 'viostor', written: true,
                                             ids: [{ id: 'PCI\\VEN_1AF4', match: 'pci\\ven_1af4', service: 'viostor' }],
                                             files: [{ kind: 'driver', name: file, directory }] });
// What the check reads of a setup source: an XP-like x86 one, whatever its
// folder is called (the machine from [SetupData] Architecture).
const identity = (machine, major, minor) => ({ machine, evidence: 1, major, minor });
const XP_X86 = identity(X86, 5, 1);

test('the folder a disk names, in any letter case, compressed too; beside txtsetup.oem only where it is not there', () => {
  const where = (o) => { const f = optionSource(entries, driver, o); return f.source ? `${f.source.path}${f.beside ? ' beside' : ''}` : null; };
  assert.equal(where(option(0, 'viostor.sys', 'i386/Win2003')), 'virtio/I386/win2003/viostor.sys');
  assert.equal(where(option(1, 'viostor.sys', 'amd64/Win2003')), 'virtio/amd64/Win2003/VIOSTOR.SY_');
  assert.equal(where(option(2, 'viostor.sys', 'ia64')), 'virtio/viostor.sys beside');
  assert.equal(where(option(3, 'empty.sys', 'x64')), null, 'an empty file is not there');
  assert.deepEqual(['I386', 'amd64/Win2003', 'WINXPA64', 'x64', 'win_xp', 'ia64'].map(machineOfFolder), [X86, X64, X64, X64, 0, 0x200]);
});

test('options for another machine than the setup source\'s are not ticked, unless the user ticks them', () => {
  const options = [option(0, 'viostor.sys', 'i386/Win2003'), option(1, 'viostor.sys', 'amd64/Win2003'), option(2, 'odd.sys', ''),
                   option(3, 'empty.sys', 'x64')];
  const machines = new Map([[[...entries.values()][1].key, X86], [[...entries.values()][2].key, X64], [[...entries.values()][5].key, NOT_IMAGE]]);
  const rows = optionRows(entries, driver, options, machines, identity(X86, 0, 0), null);
  assert.deepEqual(rows.map((r) => `${r.built.machine} ${r.built.how} ${r.built.problem} ${r.ticked}`),
                   [`${X86} read null true`, `${X64} read null false`, '0 unknown notDriver true', `${X64} absent null false`]);
  assert.deepEqual(keptOptions(rows), [0, 2]);
  assert.deepEqual(keptOptions(optionRows(entries, driver, options, machines, undefined, null)), null, 'the setup source unknown: all');
  assert.deepEqual(keptOptions(optionRows(entries, driver, options, machines, identity(X86, 0, 0), new Map([[1, true]]))), [0, 1, 2]);
});

test('a file beside txtsetup.oem is not ticked for an option whose folder names another machine than the setup source\'s', () => {
  // Picked one by one: virtio's txtsetup.oem and its x86 viostor.sys.
  const picked = new Map(['txtsetup.oem', 'viostor.sys'].map((name) => {
    const entry = entryOf(1, name, { name, size: 10 }, false);
    return [entry.key, entry];
  }));
  const machines = new Map([['viostor.sys', X86]]);
  const options = [option(0, 'viostor.sys', 'i386/Win2003'), option(1, 'viostor.sys', 'amd64/Win2003'), option(2, 'viostor.sys', 'Win2003')];
  const rows = optionRows(picked, picked.get('txtsetup.oem'), options, machines, XP_X86, null);
  assert.deepEqual(rows.map((r) => `${r.found.beside} ${r.built.how} ${r.fits} ${r.ticked}`),
                   ['true read true true', 'true read false false', 'true read true true']);
  const x64 = optionRows(picked, picked.get('txtsetup.oem'), options, new Map([['viostor.sys', X64]]), XP_X86, null);
  assert.deepEqual(x64.map((r) => r.ticked), [false, false, false], 'an x64 file beside: none');
});

test('two options of one run that write one service from two folders', () => {
  const run = { driver, options: [option(0, 'viostor.sys', 'i386/Win2003'), option(1, 'viostor.sys', 'amd64/Win2003'),
                                   option(2, 'viostor.sys', 'i386/Win2003')] };
  const found = optionConflicts([run], (r, o) => optionSource(entries, r.driver, o));
  assert.deepEqual(found.map((c) => `${c.what} ${c.earlier.option.key}>${c.later.option.key}`), ['viostor k0>k1', 'viostor k1>k2']);
});

test('what a driver file is built for: guessed from its folder only where the file was read and holds no machine', () => {
  const read = [...entries.values()][1];  // virtio/I386/win2003/viostor.sys
  const cases = [  // source, what the worker read, directory -> how, machine
    [read, X86, 'amd64', 'read', X86],
    [read, NOT_IMAGE, 'amd64', 'guessed', X64],
    [read, -4, 'amd64', 'guessed', X64],
    [read, NOT_IMAGE, 'drivers', 'unknown', 0],
    [read, undefined, 'amd64', 'reading', X64],
    [null, undefined, 'amd64', 'absent', X64],
    [null, undefined, 'disk1', 'absent', 0],
  ];
  for (const [source, machine, directory, how, guess] of cases) {
    const machines = new Map(machine === undefined ? [] : [[read.key, machine]]);
    const built = machineOf({ source, directory }, machines);
    assert.deepEqual([built.how, built.machine], [how, guess], `${source ? 'present' : 'absent'}, read ${machine}, ${directory}`);
  }
});

test('the Windows versions vendors write in their options\' folders and descriptions (the corpus)', () => {
  const named = (file) => Object.fromEntries(corpusOptions(file).map((o) => {
    const driverLine = o.files.find((f) => f.kind === 'driver');
    return [o.key, [...versionsNamed(o, driverLine ? driverLine.directory : null)].sort().join(' ')];
  }));
  assert.deepEqual(named('DP_MassStorage__ULi_Allx86_TXTSETUP.OEM'), {
    m5281XP: '51 52', m5228XP: '51 52', m52812K: '50', m52282K: '50', m5281NT: '40', m5228NT: '40', m5281XPA64: '51 52', m5228XPA64: '51 52' });
  assert.deepEqual(named('DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM'),
                   { hpt3xx2K: '50', hpt3xxXP: '51 52', hpt3xxNT: '40', hpt3xx4NT: '40', hpt3xx6NT: '40' });
  assert.deepEqual(named('DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem'), { Si3112r_XP: '51 52 60', Si3112r_2k: '50' });
  assert.deepEqual(named('kvm-guest-drivers-windows__viostor_txtsetup.oem'),
                   { WNET32: '52', WNET64: '52', WNET32_SCSI: '52', WNET64_SCSI: '52' });
  assert.deepEqual(named('DP_MassStorage__Adaptec_5x86_320R_TXTSETUP.OEM'), { ADAPTEC_U320RAID_W2K: '50 51 52' });
  assert.deepEqual(named('DP_MassStorage__LSI_FORCED_5x86_MegaSR_15.00.0811.2012_txtsetup.oem'), { MegaSR: '51 52' });
  // "Express", "ICH10", "32 bit", "amd64 platform", "x64": no version.
  for (const file of ['DP_MassStorage__Intel_FORCED_Allx86_11.2.0.1006_TWEAK_TXTSETUP.OEM', 'DP_MassStorage__Broadcom_NTx86_txtsetup.oem',
                      'DP_MassStorage__AEC_FORCED_671x_AllXP_TXTSETUP.OEM', 'DP_MassStorage__Marvell_Allx86_91_txtsetup.oem', 'GenAHCI__txtsetup.oem']) {
    assert.deepEqual(Object.values(named(file)).filter(Boolean), [], file);
  }
  const spelled = (text) => [...versionsNamed({ description: text }, null)].join(' ');
  assert.deepEqual(['w2k', 'Win2K3', 'srv03', 'WinXP64', 'NT4', 'Windows 7', 'Server 2008 R2', 'PCI Express', 'ICH10R', 'ver 2.0003',
                    '(c) 2012'].map(spelled), ['50', '52', '52', '51', '40', '60', '60', '', '', '', '']);
});

test('the setup source\'s version and the answer it takes in the tool\'s menu', () => {
  const cases = [[5, 0, W2000, '1'], [5, 1, XP, '2'], [5, 2, W2003, '2'], [0, 0, 0, null], [6, 0, 0, null], [5, 9, 0, null]];
  for (const [major, minor, version, answer] of cases) assert.deepEqual(setupVersion(identity(X86, major, minor)), { version, answer }, `${major}.${minor}`);
  assert.deepEqual(setupVersion(undefined), { version: 0, answer: null });
});

// A corpus driver laid out as it ships, its files where its disks say,
// none of them read yet: the folder names decide what they are built for.
function ticks(file, setup, userTicks = null) {
  const options = corpusOptions(file);
  const laidOut = new Map();
  for (const o of options) {
    for (const f of o.files.filter((line) => line.kind === 'driver')) {
      const entry = entryOf(1, `drv/${f.directory ? `${f.directory}/` : ''}${f.name}`, { name: f.name, size: 100 }, true);
      laidOut.set(entry.key, entry);
    }
  }
  const oem = entryOf(1, 'drv/txtsetup.oem', { name: 'txtsetup.oem', size: 100 }, true);
  laidOut.set(oem.key, oem);
  const rows = optionRows(laidOut, oem, options, new Map(), setup, userTicks);
  return { rows, on: rows.filter((r) => r.ticked).map((r) => r.option.key), fit: Object.fromEntries(rows.map((r) => [r.option.key, r.versionFit])) };
}

test('options ticked by default fit the setup source\'s machine and version', () => {
  const ULI = 'DP_MassStorage__ULi_Allx86_TXTSETUP.OEM';
  const DAWI = 'DP_MassStorage__Dawicontrol_FORCED_5x86_100_TXTSETUP.OEM';
  const VIRTIO = 'kvm-guest-drivers-windows__viostor_txtsetup_2010.oem';
  const SII = 'DP_MassStorage__SiliconImage_Allx86_3112_R1_TxtSetup.oem';
  const cases = [  // driver, setup source, ticked
    [ULI, XP_X86, ['m5281XP', 'm5228XP']],
    [ULI, identity(X86, 5, 0), ['m52812K', 'm52282K']],
    [ULI, identity(X86, 5, 2), ['m5281XP', 'm5228XP']],
    [ULI, identity(X64, 5, 2), ['m5281XP', 'm5228XP', 'm5281XPA64', 'm5228XPA64']],  // win_xp's files unread: no machine
    [ULI, identity(X86, 0, 0), ['m5281XP', 'm5228XP', 'm52812K', 'm52282K']],  // the version unknown: never NT 4.0
    [DAWI, XP_X86, ['hpt3xxXP']],
    [DAWI, identity(X86, 5, 0), ['hpt3xx2K']],
    [VIRTIO, XP_X86, ['WNET32']],  // no option for XP: Server 2003's is the nearest
    [VIRTIO, identity(X64, 5, 2), ['WNET64']],
    [SII, XP_X86, ['Si3112r_XP']],
    [SII, identity(X86, 5, 0), []],  // its 2000 option has no hardware ids: the tool skips it
  ];
  for (const [file, setup, ticked] of cases) assert.deepEqual(ticks(file, setup).on, ticked, `${file} in ${setup.major}.${setup.minor}`);
  const uli = ticks(ULI, XP_X86);
  assert.deepEqual(uli.fit, { m5281XP: 'same', m5228XP: 'same', m52812K: 'other', m52282K: 'other', m5281NT: 'nt4', m5228NT: 'nt4',
                              m5281XPA64: 'same', m5228XPA64: 'same' });
  assert.equal(ticks(VIRTIO, XP_X86).fit.WNET32, 'nearest');
  // NT 4.0's options (the tool skips them: no hardware ids) cannot be ticked;
  // the user's tick of a 2000 option holds.
  const user = ticks(ULI, XP_X86, new Map([[2, true], [4, true]]));
  assert.deepEqual(user.on, ['m5281XP', 'm5228XP', 'm52812K']);
  assert.deepEqual(user.rows.filter((r) => !r.tickable).map((r) => `${r.option.key} ${r.skipped}`), ['m5281NT noIds', 'm5228NT noIds']);
  assert.deepEqual(keptOptions(user.rows), [0, 1, 2]);
});

test('before the run: two ticked options that write one service from two folders, and which would stand', () => {
  const ULI = 'DP_MassStorage__ULi_Allx86_TXTSETUP.OEM';
  const { rows } = ticks(ULI, XP_X86, new Map([[2, true], [3, true]]));
  const oem = entryOf(1, 'drv/txtsetup.oem', { name: 'txtsetup.oem', size: 100 }, true);
  const found = (run, o) => rows.find((r) => r.option === o || r.option.key === o.key).found;
  const planned = plannedConflicts([{ driver: oem, rows }], found, (d) => d.path);
  assert.deepEqual(planned.options.map((c) => `${c.what}: ${c.earlier.option.key} < ${c.later.option.key}`),
                   ['m5281: m5281XP < m52812K', 'm5228: m5228XP < m52282K']);
  assert.deepEqual(plannedConflicts([{ driver: oem, rows: ticks(ULI, XP_X86).rows }], found, (d) => d.path).options, [],
                   'the default ticks write each service once');
  // Two drivers that write one service: the later driver's would stand.
  const other = entryOf(1, 'drv2/txtsetup.oem', { name: 'txtsetup.oem', size: 100 }, true);
  const across = plannedConflicts([{ driver: oem, rows: ticks(ULI, XP_X86).rows }, { driver: other, rows: ticks(ULI, XP_X86).rows }],
                                  found, (d) => d.path);
  assert.deepEqual(across.drivers.map((c) => `${c.kind} ${c.a} ${c.b} ${c.list}`), ['conflictService drv/txtsetup.oem drv2/txtsetup.oem m5281,m5228']);
});

test('an option naming the setup\'s own files, or a path, is refused: never ticked, never run', () => {
  const cases = [  // driver file's flag, another line's flag, tickable
    [null, null, true], ['setupOwn', null, false], [null, 'notPlain', false], [null, 'setupOwn', false]];
  for (const [driverFlag, lineFlag, tickable] of cases) {
    const o = { ...option(0, 'txtsetup.sif.orig', ''), driverFileRefused: driverFlag };
    o.files = [...o.files, { kind: 'inf', name: 'dosnet.inf.orig', directory: '', refused: lineFlag }];
    const rows = optionRows(entries, driver, [o, option(1, 'viostor.sys', 'i386/Win2003')], new Map(), XP_X86, new Map([[0, true]]));
    assert.equal(rows[0].tickable, tickable, `${driverFlag} ${lineFlag}`);
    assert.equal(rows[0].ticked, tickable);
    assert.deepEqual(keptOptions(rows), tickable ? null : [1]);
  }
});
