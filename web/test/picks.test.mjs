// Which files a run takes from a pick, and which drivers are ticked.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf, resolve, pickProblems, dropRepeatedPick, labeller, surveyLayout, applyLayout } from '../page/picks.js';

// "2:a/x:0": a/x of the second pick, 0 bytes.
const pick = (...paths) => new Map(paths.map((p) => {
  const [, number = '1', path, size = '10'] = p.match(/^(?:(\d+):)?([^:]*)(?::(\d+))?$/);
  const entry = entryOf(Number(number), path, { name: path.split('/').pop(), size: Number(size), lastModified: 1 }, path.includes('/'));
  return [entry.key, entry];
}));
const ticked = (used) => used['txtsetup.oem'].drivers.filter((d) => d.ticked).map((d) => d.entry.path);

test('drivers ticked by default', () => {
  const cases = [
    [['I386/TXTSETUP.SIF', 'drv/txtsetup.oem'], ['drv/txtsetup.oem'], 'one driver alone is ticked'],
    [['I386/txtsetup.sif', 'I386/txtsetup.oem', 'a/txtsetup.oem', 'b/TXTSETUP.OEM'], ['I386/txtsetup.oem'],
     'of several, the one beside txtsetup.sif'],
    [['I386/txtsetup.sif', 'a/txtsetup.oem', 'b/txtsetup.oem'], [], 'of several elsewhere, none: the user chooses'],
    [['txtsetup.sif', 'txtsetup.oem', 'DRV/11.2/txtsetup.oem', 'DRV/8.9.8/txtsetup.oem'], ['txtsetup.oem'],
     'files given alone are in one folder'],
  ];
  for (const [paths, expected, what] of cases) assert.deepEqual(ticked(resolve(pick(...paths), new Map(), new Map())), expected, what);
});

test('drivers run in the order of their paths, numbers as numbers; the user\'s ticks stay', () => {
  const entries = pick('I386/txtsetup.sif', 'p/11.2/txtsetup.oem', 'p/8.9.8/txtsetup.oem', 'p/9/TXTSETUP.OEM');
  const used = resolve(entries, new Map(), new Map([['1:p/11.2/txtsetup.oem', true], ['1:p/9/TXTSETUP.OEM', true]]));
  assert.deepEqual(used['txtsetup.oem'].list.map((e) => e.path), ['p/8.9.8/txtsetup.oem', 'p/9/TXTSETUP.OEM', 'p/11.2/txtsetup.oem']);
  assert.deepEqual(ticked(used), ['p/9/TXTSETUP.OEM', 'p/11.2/txtsetup.oem']);
});

test('the backup counts only beside txtsetup.sif, and only when it holds something', () => {
  const backup = (...paths) => resolve(pick('I386/txtsetup.sif', 'd/txtsetup.oem', ...paths), new Map(), new Map())['txtsetup.sif.orig'].entry;
  assert.equal(backup('I386/TXTSETUP.SIF.ORIG').path, 'I386/TXTSETUP.SIF.ORIG');
  assert.equal(backup('other/txtsetup.sif.orig'), null);
  assert.equal(backup('I386/txtsetup.sif.orig:0'), null, 'an empty backup is a cut-short write: none');
});

test('what keeps a pick from running', () => {
  const problems = (paths, choices = new Map()) => pickProblems(resolve(pick(...paths), choices, new Map()));
  assert.deepEqual(problems(['a/txtsetup.oem']), { missing: ['txtsetup.sif'], unchosen: [], noDriverTicked: false });
  assert.deepEqual(problems(['a/txtsetup.sif', 'b/txtsetup.sif', 'a/txtsetup.oem']).unchosen, ['txtsetup.sif']);
  assert.deepEqual(problems(['a/txtsetup.sif', 'b/txtsetup.sif', 'a/txtsetup.oem'], new Map([['txtsetup.sif', '1:b/txtsetup.sif']])).unchosen, []);
  assert.equal(problems(['I386/txtsetup.sif', 'a/txtsetup.oem', 'b/txtsetup.oem']).noDriverTicked, true);
});

test('two folders of one name are two drivers; one folder given again is one', () => {
  const entries = pick('I386/txtsetup.sif', '2:Allx86/txtsetup.oem', '2:Allx86/a.sys', '3:Allx86/txtsetup.oem', '3:Allx86/b.sys');
  const label = labeller(entries);
  assert.deepEqual(resolve(entries, new Map(), new Map())['txtsetup.oem'].list.map(label), ['Allx86/txtsetup.oem #2', 'Allx86/txtsetup.oem #3']);
  const again = new Map([...entries, ...pick('4:Allx86/txtsetup.oem', '4:Allx86/b.sys')]);
  dropRepeatedPick(again, 4);
  assert.deepEqual([...again.keys()], ['1:I386/txtsetup.sif', '2:Allx86/txtsetup.oem', '2:Allx86/a.sys', '4:Allx86/txtsetup.oem', '4:Allx86/b.sys']);
});

// Nothing is read for the layout: the engine asks for the bytes it reads.
test('the survey\'s layout: the setup folder and everything below each driver folder', () => {
  const entries = new Map([...pick('I386 - Copy/TXTSETUP.SIF', 'I386 - Copy/dosnet.inf', 'I386 - Copy/VIOSTOR.SY_', 'I386 - Copy/sub/x.sys',
    'I386 - Copy/drivers.cab:90000000', '2:virtio/txtsetup.oem', '2:virtio/i386/Win2003/viostor.sys', '2:virtio/amd64/Win2003/VIOSTOR.SYS',
    '2:virtio/amd64/huge.sys:4194305', '2:virtio/readme.txt', '2:other/txtsetup.sif', '3:virtio/txtsetup.oem')]);
  const setup = entries.get('1:I386 - Copy/TXTSETUP.SIF');
  const drivers = [entries.get('2:virtio/txtsetup.oem')];
  const layout = surveyLayout(entries, setup, drivers);
  assert.deepEqual(layout.setup, { folder: '/pick/1/I386 - Copy', name: 'I386 - Copy' });
  assert.deepEqual(layout.drivers, ['/pick/2/virtio']);
  // Folders below the setup folder are not its files; the third pick's
  // driver of the same path is not the one surveyed.
  assert.deepEqual(layout.files.map((f) => f.path), [
    '1/I386 - Copy/TXTSETUP.SIF', '1/I386 - Copy/dosnet.inf', '1/I386 - Copy/VIOSTOR.SY_', '1/I386 - Copy/drivers.cab',
    '2/virtio/txtsetup.oem', '2/virtio/i386/Win2003/viostor.sys', '2/virtio/amd64/Win2003/VIOSTOR.SYS',
    '2/virtio/amd64/huge.sys', '2/virtio/readme.txt']);
  assert.ok(layout.files.every((f) => entries.get(f.entry.key) === f.entry && !f.bytes));
  // The apply's: an earlier apply's files over the setup folder's, by name
  // in any case, and those it adds; a folder to write into in the setup
  // folder's place, read only where the engine asks.
  const over = applyLayout(layout, [['txtsetup.sif', new Uint8Array([1])], ['viostor.sys', new Uint8Array([2])]]);
  assert.deepEqual(over.files.filter((f) => f.bytes).map((f) => [f.path, ...f.bytes]),
                   [['1/I386 - Copy/TXTSETUP.SIF', 1], ['1/I386 - Copy/viostor.sys', 2]]);
  const load = () => new Uint8Array([3]);
  const into = applyLayout(layout, [], [['TXTSETUP.SIF', { load }], ['new.sys', new Uint8Array([4])]]);
  assert.deepEqual(into.files.filter((f) => f.path.startsWith('1/')).map((f) => [f.path, f.load === load || [...f.bytes]]),
                   [['1/I386 - Copy/TXTSETUP.SIF', true], ['1/I386 - Copy/new.sys', [4]]]);
});

test('the survey\'s layout of files given one by one, and of no setup', () => {
  const entries = pick('TXTSETUP.SIF', 'txtsetup.oem', 'viostor.sys', 'drv/txtsetup.oem');
  const layout = surveyLayout(entries, entries.get('TXTSETUP.SIF'), [entries.get('txtsetup.oem')]);
  // One folder, whose name the browser does not tell.
  assert.deepEqual(layout.setup, { folder: '/pick/0', name: '' });
  assert.deepEqual(layout.drivers, ['/pick/0']);
  assert.deepEqual(layout.files.map((f) => f.path), ['0/TXTSETUP.SIF', '0/txtsetup.oem', '0/viostor.sys']);
  const none = surveyLayout(entries, null, [entries.get('1:drv/txtsetup.oem')]);
  assert.deepEqual(none.setup, { folder: '/pick/none', name: '' });
  assert.deepEqual(none.files.map((f) => f.path), ['1/drv/txtsetup.oem']);
});
