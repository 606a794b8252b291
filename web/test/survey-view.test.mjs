// The page's view model shows what the engine's survey says, option by
// option, on the corpus's drivers: each laid out as a driver folder
// (txtsetup.oem alone; with stand-in driver files in the folders its
// [Disks] entries name; with them beside txtsetup.oem), against generated
// setup sources of Windows 2000 x86, XP x86 and Server 2003 x64, surveyed
// by oem2sif-integrate --json as the page's worker surveys them. Every text
// the list shows is said in both languages, and names a picked file; the
// results of a run of each show the survey's driver files.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { entryOf } from '../page/picks.js';
import { X86, X64, IA64 } from '../page/options.js';
import { viewModel } from '../page/view-model.js';
import { surveyedDrivers } from '../page/plan.js';
import { translator } from '../page/texts.js';
import { say } from '../views/dom.js';

const root = fileURLToPath(new URL('../../', import.meta.url));
const integrate = join(root, 'build/default/oem2sif-integrate');
const makeSetupFile = join(root, 'build/default/tests/make_setup_file');
const corpus = join(root, 'tests/corpus');
const missing = [integrate, makeSetupFile].find((path) => !existsSync(path));
const skip = missing ? `${missing} is not built (cmake --workflow --preset default builds it)` : false;

const SETUPS = [  // name, [SetupData] Architecture, version, identity the check must read
  ['2000-x86', 'i386', '5.0', { machine: X86, major: 5, minor: 0 }],
  ['xp-x86', 'i386', '5.1', { machine: X86, major: 5, minor: 1 }],
  ['2003-x64', 'amd64', '5.2', { machine: X64, major: 5, minor: 2 }],
];
const MACHINE_NAMES = { [X86]: 'x86', [X64]: 'x64', [IA64]: 'ia64' };
// Drivers also laid out with their files beside txtsetup.oem (picked so
// users copy them: one folder, every build in it).
const BESIDE = ['kvm-guest-drivers-windows__viostor_txtsetup_2010.oem', 'Firadisk__txtset64.oem', 'DP_MassStorage__ULi_Allx86_TXTSETUP.OEM'];

// A folder's files, as a pick of the folder gives them to the page.
function entriesOf(folder, name) {
  const entries = new Map();
  const walk = (dir, below) => {
    for (const item of readdirSync(dir)) {
      const path = below ? `${below}/${item}` : item;
      const stat = statSync(join(dir, item));
      if (stat.isDirectory()) walk(join(dir, item), path);
      else {
        const entry = entryOf(1, `${name}/${path}`, { name: item, size: stat.size }, true);
        entries.set(entry.key, entry);
      }
    }
  };
  walk(folder, '');
  return entries;
}

// A path a stand-in can be written at: plain names below the folder.
const plainPath = (path) => path.split('/').every((part) => part && part !== '.' && part !== '..' && !/[\\:]/.test(part));

// What the view model shows of the JSON that it should not: field by field.
function differences(json, vm, entries) {
  const out = [];
  const differ = (key, field, engine, page) => {
    if (JSON.stringify(engine) !== JSON.stringify(page)) out.push(`${key}: ${field} engine ${JSON.stringify(engine)}, page ${JSON.stringify(page)}`);
  };
  const rows = json.drivers[0].rows;
  const oem = vm.pick.files.find((f) => f.lower === 'txtsetup.oem');
  const options = oem.drivers[0].options;
  differ('-', 'keys', rows.map((r) => r.option.key), options.map((o) => o.key));
  rows.forEach((row, i) => {
    const o = options[i] || {};
    const key = row.option.key;
    for (const field of ['ticked', 'tickable', 'fits', 'versionFit', 'skipped', 'reason']) differ(key, field, row[field], o[field]);
    differ(key, 'refused', row.refused && row.refused.why, o.refused);
    differ(key, 'built', row.built.how, o.built);
    for (const language of LANGUAGES) {
      const said = (o.info || []).map((part) => say(language, part));
      if (said.some((text) => typeof text !== 'string' || /undefined|null|\[object/.test(text))) out.push(`${key}: ${language.language} says ${JSON.stringify(said)}`);
    }
    // The file the list names is one the user picked.
    const named = o.info && o.info[0] && o.info[0].key && o.info[0].key.startsWith('file') && row.found.source ? o.info[0].args[0] : null;
    if (named !== null && !entries.has(`1:${named}`)) out.push(`${key}: names ${named}, which was not picked`);
  });
  const run = json.runs.find((r) => r.driver === 0);
  differ('-', 'keep', run ? [run.keptOptions] : [], vm.pick.run.drivers.map((d) => d.keep));
  differ('-', 'option conflicts', json.conflicts.options.map((c) => c.what), oem.warnings.filter((w) => w.kind === 'plannedOption').map((w) => w.what));
  differ('-', 'answer', json.setup.answer, vm.pick.run.target);
  return out;
}

// What the results show of the driver files a run of the survey's pick
// names: the table and the missing list are the JSON's driverFiles, each
// file taken a picked one.
function resultDifferences(json, vm, entries) {
  const out = [];
  const { drivers, missing } = vm.results;
  const engine = json.driverFiles.map((f) => `${f.service} ${f.file} ${f.state} ${f.source ? 'taken' : '-'}`);
  const page = drivers.map((d) => `${d.service} ${d.file} ${d.state} ${d.taken ? 'taken' : '-'}`);
  if (JSON.stringify(engine) !== JSON.stringify(page)) out.push(`driver table: engine ${JSON.stringify(engine)}, page ${JSON.stringify(page)}`);
  const lacking = json.driverFiles.filter((f) => f.missing || f.unsure).map((f) => f.file.toLowerCase());
  if (JSON.stringify(lacking) !== JSON.stringify(missing.map((m) => m.file))) out.push(`missing: engine ${lacking}, page ${missing.map((m) => m.file)}`);
  for (const d of drivers.filter((row) => row.taken)) {
    if (!entries.has(`1:${d.source.args[0]}`)) out.push(`${d.service}: taken from ${d.source.args[0]}, which was not picked`);
  }
  return out;
}

const LANGUAGES = [translator('en'), translator('ja')];

test('the view model shows the engine\'s ticks, reasons, machines and conflicts for every corpus driver', { skip }, () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-survey-view-'));
  try {
    // Stand-ins for driver files: minimal PE images, one per machine.
    const images = new Map(Object.entries(MACHINE_NAMES).map(([machine, name]) => {
      const path = join(work, `stand-in-${name}.sys`);
      writeFileSync(path, execFileSync(makeSetupFile, ['--driver', name, 'ntoskrnl.exe', 'scsiport.sys']));
      return [Number(machine), path];
    }));
    for (const [name, architecture, version] of SETUPS) {
      mkdirSync(join(work, name));
      writeFileSync(join(work, name, 'TXTSETUP.SIF'), execFileSync(makeSetupFile, ['--xp', '400', '--architecture', architecture, '--version', version]));
    }
    const files = readdirSync(corpus).filter((f) => /\.oem$/i.test(f)).sort();
    assert.equal(files.length, 22, 'the corpus\'s txtsetup.oem files');
    const disagreements = [];
    const reasons = new Set();
    let compared = 0;
    let filesCompared = 0;
    const survey = (driverFolder) => SETUPS.map(([name]) => JSON.parse(execFileSync(integrate, [name, driverFolder, '--json'], { cwd: work })));
    for (const file of files) {
      const bare = `${file}.bare`;
      mkdirSync(join(work, bare));
      copyFileSync(join(corpus, file), join(work, bare, 'txtsetup.oem'));
      const surveys = [[bare, survey(bare)]];
      // Each driver file where its disk says (beside txtsetup.oem where it
      // names no folder), built for the machine the engine guessed for it.
      const rows = surveys[0][1][0].drivers[0].rows;
      const lines = rows.flatMap((r) => r.option.files.filter((f) => f.kind === 'driver').map((f) => [f, r.built.machine]));
      const layouts = [[`${file}.laid-out`, (line) => (line.directory ? `${line.directory}/${line.name}` : line.name)]];
      if (BESIDE.includes(file)) layouts.push([`${file}.beside`, (line) => line.name]);
      for (const [folder, placeOf] of layouts) {
        mkdirSync(join(work, folder));
        copyFileSync(join(corpus, file), join(work, folder, 'txtsetup.oem'));
        for (const [line, machine] of lines) {
          const place = placeOf(line);
          if (!plainPath(place)) continue;
          mkdirSync(join(work, folder, place, '..'), { recursive: true });
          copyFileSync(images.get(machine || X86), join(work, folder, place));
        }
        surveys.push([folder, survey(folder)]);
      }
      for (const [folder, bySetup] of surveys) {
        const entries = entriesOf(join(work, folder), folder);
        const oem = entries.get(`1:${folder}/txtsetup.oem`);
        bySetup.forEach((json, s) => {
          const [setupName, , , expected] = SETUPS[s];
          const { identity } = json.setup;
          assert.deepEqual({ machine: identity.machine, major: identity.major, minor: identity.minor }, expected, setupName);
          const setup = entryOf(2, `${setupName}/TXTSETUP.SIF`, { name: 'TXTSETUP.SIF', size: 100 }, true);
          const all = new Map([...entries, [setup.key, setup]]);
          const state = { entries: all, picks: 2, pickVersion: 1, choices: new Map(), ticks: new Map(),
                          drivers: new Map([[oem.key, { entry: oem, options: json.drivers[0].rows.map((r) => ({ ...r.option, messages: '' })) }]]),
                          optionTicks: new Map(), survey: { setup, drivers: [oem], json }, surveying: 0, pickState: null, reading: false,
                          run: null, result: null, plan: null };
          const vm = viewModel(state, { label: (e) => e.path });
          compared += json.drivers[0].rows.length;
          json.drivers[0].rows.forEach((r) => reasons.add(r.reason));
          disagreements.push(...differences(json, vm, entries).map((d) => `${folder} in ${setupName}: ${d}`));
          // A run of the pick, as run-control.js leaves its result.
          state.result = { setup, original: new Uint8Array(1), pickedBackup: null, starts: [], folder: new Map([['txtsetup.sif', new Uint8Array(1)]]), surveys: [],
                           lastDrivers: [oem], statuses: [0], drivers: surveyedDrivers([], state.survey), changes: [],
                           changesFailed: null, urls: new Map(), rowsShown: new Map(), replace: new Set(), engine: null, survey: state.survey };
          filesCompared += json.driverFiles.length;
          disagreements.push(...resultDifferences(json, viewModel(state, { label: (e) => e.path }), entries).map((d) => `${folder} in ${setupName} (results): ${d}`));
        });
      }
    }
    assert.ok(compared > 600, `${compared} rows compared`);
    assert.ok(filesCompared > 100, `${filesCompared} driver files compared`);
    // The reasons the corpus gives with the default ticks (its NT 4.0
    // options have no ids: skipped).
    assert.deepEqual([...reasons].sort(), ['fits', 'nearest', 'otherMachine', 'otherVersion', 'sameVersion', 'skipped']);
    assert.deepEqual(disagreements, []);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
