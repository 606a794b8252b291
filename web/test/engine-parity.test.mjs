// The engine (oem2sif-integrate --json) and the page's options.js decide the
// same, option by option, on the corpus's drivers: each laid out as a
// driver folder (txtsetup.oem alone; with stand-in driver files in the
// folders its [Disks] entries name; with them beside txtsetup.oem), against
// generated setup sources of Windows 2000 x86, XP x86 and Server 2003 x64.
// The page gets the options as the engine read them (its worker reads
// txtsetup.oem with the same C++ reader), and again as the page's other
// tests read them (corpus-options.mjs); the machines of the files as the
// worker would read them, and the setup's identity as the check reads it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { entryOf } from '../page/picks.js';
import { X86, X64, IA64, machineOfFolder, optionRows, optionSource, keptOptions } from '../page/options.js';
import { plannedConflicts } from '../page/plan.js';
import { corpusOptions } from './corpus-options.mjs';

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

// Where the page's rows differ from the engine's, field by field.
function differences(json, rows, { folder, entries, oem }) {
  const out = [];
  const differ = (key, field, engine, page) => {
    if (JSON.stringify(engine) !== JSON.stringify(page)) out.push(`${key}: ${field} engine ${JSON.stringify(engine)}, page ${JSON.stringify(page)}`);
  };
  const engineRows = json.drivers[0].rows;
  differ('-', 'keys', engineRows.map((r) => r.option.key), rows.map((r) => r.option.key));
  rows.forEach((row, i) => {
    const e = engineRows[i] || { found: {}, built: {} };
    const key = row.option.key;
    differ(key, 'ticked', e.ticked, row.ticked);
    differ(key, 'tickable', e.tickable, row.tickable);
    differ(key, 'versionFit', e.versionFit, row.versionFit);
    differ(key, 'versions', e.versions, [...row.versions].sort());
    differ(key, 'machine', e.built.machine, row.built.machine);
    differ(key, 'how', e.built.how, row.built.how);
    differ(key, 'fits', e.fits, row.fits);
    differ(key, 'skipped', e.skipped, row.skipped);
    differ(key, 'refused', e.refused, row.refused);
    differ(key, 'source', e.found.source && `${folder}/${e.found.source.path}`, row.found.source && row.found.source.path);
    differ(key, 'beside', e.found.beside, row.found.beside);
  });
  // No run where nothing is ticked.
  if (rows.length) differ('-', 'keptOptions', json.runs.length ? json.runs[0].keptOptions : [], keptOptions(rows));
  const planned = plannedConflicts([{ driver: oem, rows }], (run, o) => optionSource(entries, run.driver, o), (d) => d.path);
  differ('-', 'option conflicts', json.conflicts.options.map((c) => `${c.what} ${c.earlier}>${c.later}`),
         planned.options.map((c) => `${c.what} ${c.earlier.option.index}>${c.later.option.index}`));
  return out;
}

test('the engine and options.js tick, refuse and skip the same options of every corpus driver', { skip }, () => {
  const work = mkdtempSync(join(tmpdir(), 'oem2sif-parity-'));
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
    const builtFor = new Map();  // entry key -> the machine of the stand-in written there
    let compared = 0;
    const survey = (driverFolder) => SETUPS.map(([name]) => JSON.parse(execFileSync(integrate, [name, driverFolder, '--json'], { cwd: work })));
    for (const file of files) {
      const bare = `${file}.bare`;
      mkdirSync(join(work, bare));
      copyFileSync(join(corpus, file), join(work, bare, 'txtsetup.oem'));
      const surveys = [[bare, survey(bare)]];
      // Each driver file where its disk says (beside txtsetup.oem where it
      // names no folder), built for the machine its folder names.
      const lines = surveys[0][1][0].drivers[0].rows.flatMap((r) => r.option.files.filter((f) => f.kind === 'driver'));
      const layouts = [[`${file}.laid-out`, (line) => (line.directory ? `${line.directory}/${line.name}` : line.name)]];
      if (BESIDE.includes(file)) layouts.push([`${file}.beside`, (line) => line.name]);
      for (const [folder, placeOf] of layouts) {
        mkdirSync(join(work, folder));
        copyFileSync(join(corpus, file), join(work, folder, 'txtsetup.oem'));
        for (const line of lines) {
          const place = placeOf(line);
          if (!plainPath(place)) continue;
          mkdirSync(join(work, folder, place, '..'), { recursive: true });
          const machine = machineOfFolder(place) || X86;
          copyFileSync(images.get(machine), join(work, folder, place));
          builtFor.set(`1:${folder}/${place}`, machine);
        }
        surveys.push([folder, survey(folder)]);
      }
      for (const [folder, bySetup] of surveys) {
        const entries = entriesOf(join(work, folder), folder);
        const oem = entries.get(`1:${folder}/txtsetup.oem`);
        // What the worker reads of each file: the machine it was built for.
        const machines = new Map([...entries.keys()].filter((k) => builtFor.has(k)).map((k) => [k, builtFor.get(k)]));
        bySetup.forEach((json, s) => {
          const [setupName, , , expected] = SETUPS[s];
          const { identity } = json.setup;
          assert.deepEqual({ machine: identity.machine, major: identity.major, minor: identity.minor }, expected, setupName);
          const engineOptions = json.drivers[0].rows.map((r) => r.option);
          for (const [reading, options] of [['the module', engineOptions], ['corpus-options', corpusOptions(file)]]) {
            const rows = optionRows(entries, oem, options, machines, identity, null);
            compared += rows.length;
            disagreements.push(...differences(json, rows, { folder, entries, oem }).map((d) => `${folder} in ${setupName}, read by ${reading}: ${d}`));
          }
        });
      }
    }
    assert.ok(compared > 600, `${compared} rows compared`);
    assert.deepEqual(disagreements, []);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
