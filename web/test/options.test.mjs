// Where an option's driver file is taken from, what it is built for, which
// options are ticked and which write over each other.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { X86, X64, NOT_IMAGE, machineOfFolder, optionRows, keptOptions, optionConflicts, optionSource } from '../page/options.js';

const entries = new Map(['virtio/txtsetup.oem', 'virtio/I386/win2003/viostor.sys', 'virtio/amd64/Win2003/VIOSTOR.SY_',
  'virtio/viostor.sys', 'virtio/x64/empty.sys:0', 'virtio/odd.sys'].map((at) => {
  const [path, size = '10'] = at.split(':');
  const entry = entryOf(1, path, { name: path.split('/').pop(), size: Number(size) }, true);
  return [entry.key, entry];
}));
const driver = [...entries.values()][0];
const option = (index, file, directory) => ({ index, key: `k${index}`, driverFile: file, service: 'viostor', written: true,
                                             files: [{ kind: 'driver', name: file, directory }] });

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
  const rows = optionRows(entries, driver, options, machines, X86, null);
  assert.deepEqual(rows.map((r) => `${r.built.machine} ${r.built.how} ${r.built.problem} ${r.ticked}`),
                   [`${X86} read null true`, `${X64} read null false`, '0 unknown notDriver true', `${X64} guessed null false`]);
  assert.deepEqual(keptOptions(rows), [0, 2]);
  assert.deepEqual(keptOptions(optionRows(entries, driver, options, machines, 0, null)), null, 'the setup source unknown: all');
  assert.deepEqual(keptOptions(optionRows(entries, driver, options, machines, X86, new Map([[1, true]]))), [0, 1, 2]);
});

test('two options of one run that write one service from two folders', () => {
  const run = { driver, options: [option(0, 'viostor.sys', 'i386/Win2003'), option(1, 'viostor.sys', 'amd64/Win2003'),
                                   option(2, 'viostor.sys', 'i386/Win2003')] };
  const found = optionConflicts([run], (r, o) => optionSource(entries, r.driver, o));
  assert.deepEqual(found.map((c) => `${c.what} ${c.earlier.option.key}>${c.later.option.key}`), ['viostor k0>k1', 'viostor k1>k2']);
});
