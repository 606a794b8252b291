// The view model: what the views draw of a state, gathered once from the
// deciding modules: whether a pick can run and what a run takes, the
// options' ticks and notes, the check's findings in its own words, the
// change view's sections.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entryOf } from '../page/picks.js';
import { X86, X64 } from '../page/options.js';
import { viewModel } from '../page/view-model.js';
import { surveyedDrivers } from '../page/plan.js';
import { translator } from '../page/texts.js';
import { say } from '../views/dom.js';

// A state as main.js keeps it: an XP x86 setup folder picked as a folder
// (a txtsetup.sif with its modules' names), virtio's driver beside it with
// its x86 and x64 files, and the engine's survey of it (engine/survey_json.h):
// `ticked` the x86 and x64 options' ticks as the engine decided them.
function pickedState({ ticked = [true, false], surveyed = true } = {}) {
  const paths = ['I386/TXTSETUP.SIF', 'I386/NTOSKRNL.EX_', 'virtio/txtsetup.oem', 'virtio/i386/Win2003/viostor.sys',
                 'virtio/amd64/Win2003/viostor.sys'];
  const entries = new Map(paths.map((path) => {
    const entry = entryOf(1, path, { name: path.split('/').pop(), size: 100, lastModified: 0 }, true);
    return [entry.key, entry];
  }));
  const key = (path) => `1:${path}`;
  const option = (index, description, directory) => ({
    index, key: `k${index}`, description, driverFile: 'viostor.sys', driverFileRefused: null, service: 'viostor',
    ids: [{ id: 'PCI\\VEN_1AF4&DEV_1001', match: 'pci\\ven_1af4&dev_1001', service: 'viostor' }],
    files: [{ kind: 'driver', disk: 'd1', name: 'viostor.sys', directory, refused: null }],
  });
  const oem = entries.get(key('virtio/txtsetup.oem'));
  const options = [option(0, 'Red Hat VirtIO Win2003/32-bit', 'i386/Win2003'), option(1, 'Red Hat VirtIO Win2003/64-bit', 'amd64/Win2003')];
  const row = (o, machine, fits, reason, isTicked) => ({
    option: o, found: { source: { folder: o.files[0].directory, name: 'viostor.sys', path: `${o.files[0].directory}/viostor.sys`, size: 100 },
                        directory: o.files[0].directory, beside: false, directoryRefused: false },
    built: { machine, how: 'read', problem: null, fits }, fits, versions: [52], versionFit: 'nearest', skipped: null, refused: null,
    tickable: true, ticked: isTicked, reason });
  const rows = [row(options[0], X86, true, ticked[0] ? 'nearest' : 'userUnticked', ticked[0]),
                row(options[1], X64, false, ticked[1] ? 'userTicked' : 'otherMachine', ticked[1])];
  const kept = ticked[0] && ticked[1] ? null : [0, 1].filter((i) => ticked[i]);
  const setup = entries.get(key('I386/TXTSETUP.SIF'));
  const json = {
    setup: { folder: '/pick/1/I386', file: 'TXTSETUP.SIF', problem: null, identity: { machine: X86, evidence: 1, major: 5, minor: 1 },
             version: 51, answer: '2', answerGiven: false },
    drivers: [{ folder: '/pick/1/virtio', oemFile: 'txtsetup.oem', problem: null, rows }],
    conflicts: { options: ticked[0] && ticked[1] ? [{ driver: 0, what: 'viostor', earlier: 0, later: 1 }] : [], drivers: [], setup: [] },
    driverFiles: ticked[0] ? [{ service: 'viostor', file: 'viostor.sys', driver: 0, option: 0, state: 'absent', setupName: null,
                                source: rows[0].found.source, directory: 'i386/Win2003', beside: false, brought: true, missing: false,
                                unsure: false }] : [],
    runs: kept && kept.length === 0 ? [] : [{ driver: 0, folder: '/pick/1/virtio', oemFile: 'txtsetup.oem', keptOptions: kept, files: [] }],
  };
  return {
    entries, picks: 1, pickVersion: 1, choices: new Map(), ticks: new Map(),
    drivers: new Map([[oem.key, { entry: oem, options: options.map((o) => ({ ...o, messages: '' })) }]]),
    optionTicks: new Map(), survey: surveyed ? { setup, drivers: [oem], json } : null,
    surveying: 0, pickState: { read: paths.length }, reading: false, run: null, result: null, plan: null,
  };
}
const label = (entry) => entry.path;
const en = translator('en');
const oemFile = (vm) => vm.pick.files.find((f) => f.lower === 'txtsetup.oem');

test('the pick: the option for the setup source\'s machine ticked and run alone, the answer its version takes', () => {
  const vm = viewModel(pickedState(), { label });
  const [x86, x64] = oemFile(vm).drivers[0].options;
  assert.deepEqual([x86.ticked, x86.fits, x64.ticked, x64.fits, x64.tickable], [true, true, false, false, true]);
  assert.match(x64.info.map((part) => say(en, part)).join(' · '), /x64 · not for this x86 setup source/);
  assert.deepEqual(vm.pick.run.drivers.map((d) => [d.entry.path, d.keep]), [['virtio/txtsetup.oem', [0]]]);
  assert.deepEqual([vm.pick.canRun, vm.pick.run.target, say(en, vm.pick.runLabel)], [true, '2', 'Run']);
  const setup = vm.pick.files.find((f) => f.lower === 'txtsetup.sif').setup;
  assert.deepEqual([setup.machine, setup.version, setup.answer], ['x86', '51', '2']);
  assert.deepEqual(vm.pick.problems, []);
});

test('the pick cannot run with no option ticked, nor while the survey is made', () => {
  const unticked = viewModel(pickedState({ ticked: [false, false] }), { label });
  assert.deepEqual([unticked.pick.canRun, unticked.pick.run.drivers.length], [false, 0]);
  assert.deepEqual(unticked.pick.problems.map((p) => p.key), ['noOptionTicked']);
  const surveying = viewModel(pickedState({ surveyed: false }), { label });
  assert.deepEqual([surveying.pick.canRun, surveying.pick.busy, oemFile(surveying).drivers[0].options], [false, true, null]);
  // A survey of another pick (another setup file) is not shown.
  const stale = pickedState();
  stale.survey.setup = null;
  assert.equal(oemFile(viewModel(stale, { label })).drivers[0].options, null);
  // The x64 option alone, ticked on purpose: the run takes it alone. Both
  // ticked: two options write one service from two folders, the later
  // stands; the run takes the file as it is.
  const x64Alone = viewModel(pickedState({ ticked: [false, true] }), { label });
  const twice = viewModel(pickedState({ ticked: [true, true] }), { label });
  assert.deepEqual(oemFile(twice).warnings.map((w) => [w.kind, w.what]), [['plannedOption', 'viostor']]);
  assert.match(say(en, oemFile(twice).warnings[0].text), /Win2003\/32-bit \(virtio\/i386\/Win2003\/\).*Win2003\/64-bit \(virtio\/amd64\/Win2003\/\)/);
  assert.deepEqual(twice.pick.run.drivers.map((d) => d.keep), [null]);
  assert.deepEqual(x64Alone.pick.run.drivers.map((d) => d.keep), [[1]]);
  // Unticking the driver drops its conflicts.
  const dropped = pickedState({ ticked: [true, true] });
  dropped.ticks.set('1:virtio/txtsetup.oem', false);
  assert.deepEqual(oemFile(viewModel(dropped, { label })).warnings, []);
});

// A result as run-control.js leaves it, txtsetup.sif changed.
function withResult(state, { changes = [] } = {}) {
  const setup = state.entries.get('1:I386/TXTSETUP.SIF');
  const oem = state.entries.get('1:virtio/txtsetup.oem');
  state.result = {
    setup, original: new Uint8Array([1]), pickedBackup: null, starts: [new Uint8Array([1])],
    folder: new Map([['txtsetup.sif', new Uint8Array([2])], ['txtsetup.sif.orig', new Uint8Array([1])]]),
    surveys: [{ ...state.survey, conflicts: state.survey.json.conflicts }], lastDrivers: [oem], statuses: [0], drivers: surveyedDrivers([], state.survey),
    changes, changesFailed: null, urls: new Map(), rowsShown: new Map(), replace: new Set(), picked: null, dosnet: null,
    // The engine's apply: what it wrote, in the order it wrote it.
    engine: { outcome: null, files: new Map([
      ['viostor.sys', { name: 'viostor.sys', bytes: null, action: 'conflict', path: 'virtio/i386/Win2003/viostor.sys' }],
      ['txtsetup.sif.orig', { name: 'txtsetup.sif.orig', bytes: new Uint8Array([1]), action: 'create', path: null }],
      ['txtsetup.sif', { name: 'TXTSETUP.SIF', bytes: new Uint8Array([2]), action: 'replace', path: null }]]) },
  };
  return state;
}

test('the results: the check\'s findings, problems first, in the check\'s words; what to do follows the check', () => {
  const state = withResult(pickedState());
  const waiting = viewModel(state, { label, picked: null });
  assert.deepEqual([waiting.results.findings.busy, waiting.results.output.items, say(en, waiting.results.output.help)],
                   [true, null, en('checkingFolder')]);
  const finding = (kind, problem) => ({ kind, problem, file: 'VIOSTOR.SYS', option: kind === 7 ? 'Win2003/64-bit' : '',
                                        texts: { ja: `注意 ${kind}`, en: `Note ${kind}` } });
  // A conflict the user may tick where there are bytes to write over it;
  // the engine's (the picked folder's, nothing written) is only said.
  const items = [{ name: 'viostor.sys', lower: 'viostor.sys', kind: 'driver', path: 'virtio/i386/Win2003/viostor.sys', action: 'planConflict',
                   replace: false, setupHas: 'VIOSTOR.SY_', bytes: new Uint8Array([1]) },
                 { name: 'viostor.inf', lower: 'viostor.inf', kind: 'driver', path: 'virtio/viostor.inf', action: 'planConflict', replace: false,
                   bytes: null }];
  const vm = viewModel(state, { label, picked: { items, check: { findings: [finding(101, false), finding(7, true)] } } });
  const { findings, output } = vm.results;
  assert.deepEqual(findings.items.map((f) => [f.kind, f.file, f.option, f.texts.en]),
                   [[7, 'viostor.sys', 'Win2003/64-bit', 'Note 7'], [101, 'viostor.sys', '', 'Note 101']]);
  assert.deepEqual([findings.problem, say(en, findings.summary)], [true, en('checkProblems', 1)]);
  assert.match(say(en, output.help), /then mend what the check found/);
  assert.deepEqual(output.items.map((i) => [i.tickable, i.setupHas]), [[true, 'viostor.sy_'], [false, null]]);
  // Each file the engine wrote, txtsetup.sif first; not one it left alone.
  assert.deepEqual(vm.results.downloads.map((d) => [d.name, d.lower, d.state]),
                   [['TXTSETUP.SIF', 'txtsetup.sif', 'changed'], ['txtsetup.sif.orig', 'txtsetup.sif.orig', 'created']]);
  assert.deepEqual(vm.results.drivers.map((d) => [d.service, d.state, d.taken]), [['viostor', 'absent', true]]);
  const clean = viewModel(state, { label, picked: { items: [], check: { findings: [finding(101, false)] } } });
  assert.equal(say(en, clean.results.output.help), en('outputHelp', en('folderLabel', 'I386')));
  assert.equal(say(en, clean.pick.runLabel), en('runAgain'));
  state.result.engineFailed = 'driverFileMissing virtio/i386/Win2003/viostor.sys';
  assert.equal(say(en, viewModel(state, { label, picked: null }).results.output.help), en('applyFailed', state.result.engineFailed));
});

// The driver table and the missing files draw the survey's driverFiles as
// they are: where the setup folder has each file and by what name, where
// the driver's folder has it, missing, unsure.
// The results warn of what each set's apply found written over: two
// options of one run, two runs one service or one id, and what an earlier
// set of the chain wrote that a later one writes otherwise; the outcome is
// the exit statuses of the last set's apply.
test('the results: the warnings of each set\'s apply, and the last set\'s exit statuses', () => {
  const state = withResult(pickedState({ ticked: [true, true] }));
  const other = { ...state.survey, drivers: [state.survey.drivers[0], { path: 'intel/txtsetup.oem' }],
                  conflicts: { options: [], drivers: [{ earlier: 0, later: 1, services: ['viostor'],
                    ids: [{ id: 'PCI\\VEN_1AF4&DEV_1001', from: 'viostor', to: 'iastor' }] }],
                  setup: [{ driver: 1, services: ['viostor'], ids: [{ id: 'PCI\\VEN_1AF4&DEV_1004', from: 'vioscsi', to: 'iastor' }] }] } };
  state.result.surveys = [state.result.surveys[0], other];
  state.result.statuses = [0, 0];
  const { results } = viewModel(state, { label });
  assert.deepEqual(results.warnings.map((w) => w.kind), ['conflictOption', 'conflictService', 'conflictId', 'setupService', 'setupId']);
  const [option, service, id, earlierService, earlierId] = results.warnings.map((w) => say(en, w.text));
  assert.match(earlierService, /^intel\/txtsetup\.oem writes the service viostor, which an earlier run wrote/);
  assert.match(earlierId, /PCI\\VEN_1AF4&DEV_1004 \(vioscsi → iastor\)/);
  assert.match(option, /^virtio\/txtsetup\.oem: .*viostor.*Win2003\/32-bit \(virtio\/i386\/Win2003\/\).*Win2003\/64-bit \(virtio\/amd64\/Win2003\/\)/);
  assert.match(service, /virtio\/txtsetup\.oem.*intel\/txtsetup\.oem.*viostor/);
  assert.match(id, /PCI\\VEN_1AF4&DEV_1001 \(viostor → iastor\)/);
  assert.equal(say(en, results.outcome), '2 drivers ran one after another (exit status 0, 0).');
  // A set left at the menu: its one status, no survey's warnings.
  state.result.surveys = [];
  state.result.statuses = [0];
  const left = viewModel(state, { label }).results;
  assert.deepEqual([left.warnings, say(en, left.outcome)], [[], 'The run ended (exit status 0).']);
  // An apply that failed before any run ended: why, not a status.
  Object.assign(state.result, { statuses: [], engineFailed: 'driverFileMissing virtio/txtsetup.oem' });
  assert.equal(say(en, viewModel(state, { label }).results.outcome),
               'The files for the setup folder could not be made (driverFileMissing virtio/txtsetup.oem).');
});

test('the results: each driver file as the engine\'s survey found it, the missing and the unsure named', () => {
  const state = withResult(pickedState());
  const { json } = state.survey;
  const [x86] = json.drivers[0].rows;
  const source = (path) => ({ folder: path.slice(0, path.lastIndexOf('/')), name: path.split('/').pop(), path, size: 100 });
  const file = (service, fields) => ({ service, file: `${service}.sys`, driver: 0, option: 0, state: 'absent', setupName: null, source: null,
                                       directory: null, beside: false, brought: false, missing: false, unsure: false, ...fields });
  const survey = { ...state.survey, json: { ...json, driverFiles: [
    file('a', { state: 'present', setupName: 'A.SYS', source: source('i386/Win2003/a.sys'), directory: 'i386/Win2003' }),
    file('b', { state: 'compressed', setupName: 'B.SY_' }),
    file('c', { source: source('c.sys'), directory: 'i386/Win2003', beside: true, brought: true }),
    file('d', { state: 'empty', missing: true }),
    file('e', { state: 'unknown', unsure: true }),
  ] } };
  state.result.drivers = surveyedDrivers([], survey);
  const { drivers, missing, steps } = viewModel(state, { label }).results;
  assert.deepEqual(drivers.map((d) => [d.service, d.state, d.taken, d.description, say(en, d.presence), say(en, d.source)]), [
    ['a', 'present', true, x86.option.description, en('present', 'I386/A.SYS'), en('taken', 'virtio/i386/Win2003/a.sys', 'i386/Win2003')],
    ['b', 'compressed', false, x86.option.description, en('compressed', 'I386/B.SY_'), en('notTaken')],
    ['c', 'absent', true, x86.option.description, en('absentTaken'), en('takenBeside', 'virtio/c.sys', 'i386/Win2003')],
    ['d', 'empty', false, x86.option.description, en('empty'), en('notTaken')],
    ['e', 'unknown', false, x86.option.description, en('unknown'), en('notTaken')],
  ]);
  assert.deepEqual(missing.map((m) => [m.file, m.unsure, say(en, m.text)]), [
    ['d.sys', false, en('missingFile', 'd.sys', 'virtio/txtsetup.oem')], ['e.sys', true, en('unsureFile', 'e.sys', 'virtio/txtsetup.oem')]]);
  assert.ok(steps.some((step) => step.key === 'stepMissing'), 'what to do next says to bring the missing file');
});

test('the change view: sections in file order, the first rows of each, worked out once per result', () => {
  const rows = [];
  for (let i = 0; i < 130; i++) rows.push({ kind: 'inserted', section: 'HardwareIdsDatabase', sectionMatch: 'hardwareidsdatabase', line: i + 1, now: `id${i}` });
  rows.push({ kind: 'replaced', section: 'SCSI', sectionMatch: 'scsi', line: 200, key: 'viostor', old: 'a', now: 'b' });
  rows.unshift({ kind: 'removed', section: 'SCSI.Load', sectionMatch: 'scsi.load', line: null, old: 'x = y' });
  const state = withResult(pickedState(), { changes: rows });
  const first = viewModel(state, { label }).changes;
  assert.deepEqual(first.sections.map((s) => [s.name, s.rows.length, s.more]), [['SCSI.Load', 1, 0], ['HardwareIdsDatabase', 100, 30], ['SCSI', 1, 0]]);
  assert.equal(say(en, first.summary), en('summary', '130', '1', '1'));
  state.result.rowsShown.set('hardwareidsdatabase', Infinity);
  const all = viewModel(state, { label }).changes;
  assert.deepEqual(all.sections.map((s) => [s.rows.length, s.more]), [[1, 0], [130, 0], [1, 0]]);
  assert.equal(state.result.changeSections.rows, rows);
  state.result.changes = null;
  state.result.changesFailed = 'worker';
  const failed = viewModel(state, { label }).changes;
  assert.deepEqual([failed.busy, say(en, failed.summary)], [false, en('changesFailed', 'worker')]);
});

test('a text\'s arguments are said too: texts, lists of texts, numbers in the language\'s style', () => {
  const ja = translator('ja');
  const text = { key: 'otherVersion', args: [[{ key: 'version50', args: [] }, { key: 'version51', args: [] }], { key: 'version52', args: [] }] };
  assert.equal(say(en, text), en('otherVersion', 'Windows 2000, Windows XP', 'Windows Server 2003'));
  assert.equal(say(ja, { key: 'reading', args: [{ number: 12345 }] }), ja('reading', '12,345'));
  assert.equal(say(ja, { key: 'toolMessage', args: ['ツールの言葉'] }), 'ツールの言葉');
  assert.equal(say(en, { key: 'toolMessage', args: ['ツールの言葉'] }), en('toolMessage'));
});

// What the results say of GUI-mode setup for each option the runs took,
// from the survey's names alone: the INF that serves it, or why none does,
// and the files brought for it.
test('the results: how GUI-mode setup finds each ticked option\'s device a driver, as the engine found it', () => {
  const state = withResult(pickedState({ ticked: [true, true] }));
  const survey = { ...state.survey, json: structuredClone(state.survey.json) };
  const [x86, x64] = survey.json.drivers[0].rows;
  Object.assign(x86, { infFit: 'serves', inf: 'VIOSTOR.INF', support: [{ kind: 'inf', name: 'viostor.inf', source: null, unsafe: false, inf: null }] });
  Object.assign(x64, { infFit: 'notFound', inf: null, support: [{ kind: 'inf', name: 'viostor.inf', source: null, unsafe: false, inf: null }] });
  survey.json.supportFiles = [
    { name: 'VIOSTOR.INF', listed: 'viostor.inf', kind: 'inf', driver: 0, option: 0, source: null, row: '20,,,,,,,,3', listedBySetup: false, brought: true },
    { name: 'viostor.cat', listed: 'viostor.cat', kind: 'catalog', driver: 0, option: 0, source: null, row: '20', listedBySetup: true, brought: false },
  ];
  state.result.survey = survey;
  const gui = viewModel(state, { label }).results.gui;
  assert.deepEqual(gui.map((g) => [g.key, g.fit]), [['k0', 'serves'], ['k1', 'notFound']]);
  assert.equal(say(en, gui[0].text), en('inf_serves', 'virtio/txtsetup.oem', 'Red Hat VirtIO Win2003/32-bit', 'VIOSTOR.INF'));
  assert.equal(say(en, gui[0].files), 'Brought for it: VIOSTOR.INF.');
  assert.deepEqual([say(en, gui[1].text).includes('viostor.inf is not in the driver\'s folder'), gui[1].files], [true, null]);
  // Every name the engine gives has its text in both languages.
  for (const fit of ['serves', 'noInf', 'notFound', 'notRead', 'noIds']) {
    for (const t of [en, translator('ja')]) assert.ok(!say(t, { key: `inf_${fit}`, args: ['d', 'o', 'i'] }).includes('undefined'), fit);
  }
  // An option not taken by the runs says nothing; no survey, nothing.
  x64.ticked = false;
  assert.deepEqual(viewModel(state, { label }).results.gui.map((g) => g.key), ['k0']);
  state.result.survey = null;
  assert.deepEqual(viewModel(state, { label }).results.gui, []);
});
