// A driver's options as the setup source can take them: where each
// option's driver file is (the folder its disk's [Disks] entry names, below
// the folder of its txtsetup.oem), what it is built for, which options are
// ticked by default, and where two ticked options write over each other.
// Decides only: no DOM, no worker.
import { foldName, compressedName } from './names.js';

// The machines of PE headers, and the folder names that say one.
export const X86 = 0x014c;
export const X64 = 0x8664;
export const IA64 = 0x0200;
const FOLDER_MACHINES = [[/^ia64$/, IA64], [/^(amd64|x64)$|a64$/, X64], [/^(i386|x86)$/, X86]];
// What the worker reads of a file: a PE machine, or one of these.
export const NOT_IMAGE = 0;
const EMPTY = -1;

// The machine a folder's name says, or 0: "I386", "amd64/Win2003",
// "WINXPA64".
export function machineOfFolder(path) {
  for (const segment of path.split('/').reverse()) {
    const found = FOLDER_MACHINES.find(([pattern]) => pattern.test(foldName(segment)));
    if (found) return found[1];
  }
  return 0;
}

// The file of a folder (a key of picks.js, the path below it in any ASCII
// letter case), plain or compressed; empty files are not there.
function fileBelow(entries, folder, below, name) {
  const want = foldName(folder + (below ? `${below}/` : ''));
  const names = [foldName(name), foldName(compressedName(name))];
  for (const lower of names) {
    for (const e of entries.values()) if (e.size > 0 && e.lower === lower && foldName(e.folder) === want) return e;
  }
  return null;
}

// Where an option's driver file is: in the folder its disk's entry names
// (`directory`: "i386/Win2003", "" for the folder of txtsetup.oem), else
// beside txtsetup.oem (`beside`). source null: in neither.
export function optionSource(entries, driver, option) {
  if (!option.driverFile) return { source: null, directory: null, beside: false };
  const line = option.files.find((f) => f.kind === 'driver' && f.name === option.driverFile);
  const directory = line ? line.directory : null;
  const there = directory !== null ? fileBelow(entries, driver.folder, directory, option.driverFile) : null;
  const beside = there ? null : fileBelow(entries, driver.folder, '', option.driverFile);
  return { source: there || beside, directory, beside: Boolean(beside) && Boolean(directory) };
}

// What a driver file is built for: `read` from its PE header, else
// `guessed` from its disk's folder name, else unknown. `problem`: empty,
// notDriver, or notChecked (packed as setup's own files are, or damaged).
// `machines`: what the worker read, by entry key.
export function machineOf(found, machines) {
  const read = found.source ? machines.get(found.source.key) : undefined;
  const problem = read === undefined ? null : read === EMPTY ? 'empty' : read === NOT_IMAGE ? 'notDriver' : read < 0 ? 'notChecked' : null;
  if (read > 0) return { machine: read, how: 'read', problem };
  const guess = found.directory ? machineOfFolder(found.directory) : 0;
  return { machine: guess, how: guess ? 'guessed' : 'unknown', problem };
}

export const machineName = (machine) => ({ [X86]: 'x86', [X64]: 'x64', [IA64]: 'IA64' })[machine] || null;

// An option for another machine than the setup source's cannot load there:
// it is not ticked unless the user ticks it.
const fitsSetup = (machine, setupMachine) => !machine || !setupMachine || machine === setupMachine;

// Where two options written by one run give one service, or one driver
// file name, from two different folders (or one service two files): the
// later's entries and file stay. `found(run, option)`: optionSource.
export function optionConflicts(runs, found) {
  const out = [];
  for (const run of runs) {
    const written = run.options.filter((o) => o.written && o.driverFile);
    written.forEach((later, j) => written.slice(0, j).forEach((earlier) => {
      const [a, b] = [found(run, earlier), found(run, later)];
      const where = (f) => (f.source ? f.source.folder : f.directory);
      const sameService = earlier.service === later.service;
      const sameFile = foldName(earlier.driverFile) === foldName(later.driverFile);
      if (!(sameService || sameFile) || (sameFile && where(a) === where(b))) return;
      out.push({ driver: run.driver, what: sameService ? earlier.service : later.driverFile,
                 earlier: { option: earlier, found: a }, later: { option: later, found: b } });
    }));
  }
  return out;
}

// A driver's options as the list shows them: where each driver file is,
// what it is built for, whether it fits the setup source, whether it is
// ticked (`ticks`: index -> ticked, where the user changed it).
export function optionRows(entries, driver, options, machines, setupMachine, ticks) {
  return options.map((option) => {
    const found = optionSource(entries, driver, option);
    const built = machineOf(found, machines);
    const fits = fitsSetup(built.machine, setupMachine);
    return { option, found, built, fits, ticked: ticks && ticks.has(option.index) ? ticks.get(option.index) : fits };
  });
}

// What a run of the driver is given: the indices of the ticked options, or
// null where all are ticked (the file as it is).
export function keptOptions(rows) {
  const ticked = rows.filter((r) => r.ticked).map((r) => r.option.index);
  return ticked.length === rows.length ? null : ticked;
}
