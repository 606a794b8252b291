// What the runs' results decide: the drivers that stay, and what goes into
// the setup folder.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { surveyedDrivers, toWrite } from '../page/plan.js';
import { engineItems } from '../page/output-control.js';
import { appliedFiles, overOf } from '../page/run-control.js';
import { folderNameOf } from '../page/picks.js';

const bytes = (text) => new TextEncoder().encode(text);
const text = (data) => new TextDecoder().decode(data);
// Picked files: path -> content; "2:" before a path: of the second pick.
const entries = (files) => new Map(Object.entries(files).map(([at, content]) => {
  const [, pick = '1', path] = at.match(/^(?:(\d+):)?(.*)$/);
  const entry = entryOf(Number(pick), path, { name: path.split('/').pop(), size: content.length, arrayBuffer: async () => bytes(content).buffer }, true);
  return [entry.key, entry];
}));
// A pack of two versions of one driver and a third, beside I386.
const files = entries({
  'I386/TXTSETUP.SIF': 'old', 'I386/IASTOR.SYS': 'older', 'I386/m5228.sy_': 'present',
  'p/8/iastor.sys': 'v8', 'p/11/IASTOR.SYS': 'v11', 'p/uli/M5228.SY_': 'packed', 'p/uli/m5281.sys': 'v1',
});
const driver = (path) => ({ path, folder: `1:${path.slice(0, path.lastIndexOf('/') + 1)}` });

// The engine's survey of a set of runs ({drivers: the page's entries,
// json}) naming `planned` ([driver index, service, file, state]) with one
// row per driver.
const surveyOf = (drivers, planned) => ({
  drivers,
  json: { drivers: drivers.map(() => ({ rows: [{ option: { index: 0, description: 'd' }, built: {} }] })),
          driverFiles: planned.map(([d, service, file, state]) => ({ service, file, driver: d, option: 0, state })) },
});

test('the driver files of a chain of sets: each set\'s survey, a later set\'s file of a service standing', () => {
  const [a, b] = [driver('intel/8.9.8/txtsetup.oem'), driver('uli/txtsetup.oem')];
  const first = surveyedDrivers([], surveyOf([a, b], [[0, 'iastor', 'iastor.sys', 'absent'], [1, 'm5281', 'm5281.sys', 'present']]));
  assert.deepEqual(first.map((d) => `${d.service} ${d.entry.path} ${d.state} ${d.row.option.description}`),
                   ['iastor intel/8.9.8/txtsetup.oem absent d', 'm5281 uli/txtsetup.oem present d']);
  const later = driver('intel/11.2/txtsetup.oem');
  const both = surveyedDrivers(first, surveyOf([later], [[0, 'iastor', 'IASTOR.SYS', 'compressed']]));
  assert.deepEqual(both.map((d) => `${d.service} ${d.file} ${d.entry.path} ${d.state}`),
                   ['iastor IASTOR.SYS intel/11.2/txtsetup.oem compressed', 'm5281 m5281.sys uli/txtsetup.oem present']);
  assert.deepEqual(surveyedDrivers(both, null), both, 'a set left at the menu names nothing more');
});

test('only what the engine wrote, or a file of other bytes ticked, is written', () => {
  const items = [{ action: 'planConflict', replace: false, bytes: bytes('v') }, { action: 'planConflict', replace: true, bytes: bytes('v') },
                 { action: 'planConflict', replace: true, bytes: null }, { action: 'planKeepBackup' }, { action: 'planRepair', bytes: bytes('v') }];
  assert.deepEqual(items.map(toWrite), [false, true, false, false, true], 'the zip and the write leave out what is not ticked, or has no bytes');
});

// Two applies of a chain ("Run again"): the later's files where it wrote
// them, the first's action where it did not; as items, in the order the
// engine writes, with the setup's own file in its other form named.
test('the files of a chain of applies, and their items', () => {
  const sources = new Map([['atapi.sys', { path: 'drv/atapi.sys', support: false }], ['atapi.inf', { path: 'drv/atapi.inf', support: true }]]);
  const first = appliedFiles(new Map(), { outcome: { files: [{ name: 'atapi.sys', action: 'create' }, { name: 'ATAPI.INF', action: 'create' },
                                                                { name: 'txtsetup.sif.orig', action: 'create' },
                                                                { name: 'TXTSETUP.SIF', action: 'replace' }] },
                                          files: [['atapi.sys', bytes('a')], ['ATAPI.INF', bytes('i')], ['txtsetup.sif.orig', bytes('old')],
                                                  ['TXTSETUP.SIF', bytes('mid')]] }, sources);
  const both = appliedFiles(first, { outcome: { files: [{ name: 'atapi.sys', action: 'same' }, { name: 'txtsetup.sif.orig', action: 'keepBackup' },
                                                         { name: 'TXTSETUP.SIF', action: 'replace' }] },
                                     files: [['TXTSETUP.SIF', bytes('new')]] }, sources);
  const survey = { json: { driverFiles: [{ service: 'atapi', file: 'atapi.sys', state: 'compressed', setupName: 'atapi.sy_', brought: true,
                                           source: { name: 'atapi.sys' } }] } };
  assert.deepEqual(engineItems(both, survey).map((i) => `${i.name} ${i.kind} ${i.action} ${text(i.bytes)}${i.setupHas ? ` over ${i.setupHas}` : ''}`), [
    'atapi.sys driver planCreate a over atapi.sy_', 'ATAPI.INF support planCreate i', 'txtsetup.sif.orig backup planCreate old',
    'TXTSETUP.SIF sif planReplace new']);
  assert.equal(engineItems(both, survey)[0].path, 'drv/atapi.sys');
  // The next apply goes on from the setup's own files alone: a file the
  // first brought is brought again, the later's standing.
  assert.deepEqual(overOf(both).map(([name, data]) => `${name}=${text(data)}`), ['txtsetup.sif.orig=old', 'TXTSETUP.SIF=new']);
});

test('the folder name the check is given: the picked folder\'s, none for files picked one by one', () => {
  const cases = [['xp/TXTSETUP.SIF', true, 'xp'], ['CD/I386 - Copy/txtsetup.sif', true, 'I386 - Copy'], ['TXTSETUP.SIF', false, ''],
                 ['txtsetup.sif', true, '']];
  for (const [path, inFolder, name] of cases) {
    assert.equal(folderNameOf(entryOf(1, path, { name: path.split('/').pop(), size: 1 }, inFolder)), name, path);
  }
});
