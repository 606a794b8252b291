// Where an option's driver file is taken from, and which options a run
// wrote write over each other (the results; the ticks are the engine's).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { optionConflicts, optionSource } from '../page/options.js';

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

test('the folder a disk names, in any letter case, compressed too; beside txtsetup.oem only where it is not there', () => {
  const where = (o) => { const f = optionSource(entries, driver, o); return f.source ? `${f.source.path}${f.beside ? ' beside' : ''}` : null; };
  assert.equal(where(option(0, 'viostor.sys', 'i386/Win2003')), 'virtio/I386/win2003/viostor.sys');
  assert.equal(where(option(1, 'viostor.sys', 'amd64/Win2003')), 'virtio/amd64/Win2003/VIOSTOR.SY_');
  assert.equal(where(option(2, 'viostor.sys', 'ia64')), 'virtio/viostor.sys beside');
  assert.equal(where(option(3, 'empty.sys', 'x64')), null, 'an empty file is not there');
});

test('two options of one run that write one service from two folders', () => {
  const run = { driver, options: [option(0, 'viostor.sys', 'i386/Win2003'), option(1, 'viostor.sys', 'amd64/Win2003'),
                                   option(2, 'viostor.sys', 'i386/Win2003')] };
  const found = optionConflicts([run], (r, o) => optionSource(entries, r.driver, o));
  assert.deepEqual(found.map((c) => `${c.what} ${c.earlier.option.key}>${c.later.option.key}`), ['viostor k0>k1', 'viostor k1>k2']);
});
