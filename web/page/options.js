// Where an option's driver file is in the picked files (the folder its
// disk's [Disks] entry names, below the folder of its txtsetup.oem), and
// where two options a run wrote write over each other: what the results
// show of the runs. Which options are ticked, and why, is the engine's
// survey's (engine/survey.h). Decides only: no DOM, no worker.
import { foldName, compressedName, present } from './names.js';
import { CODES } from '../worker/protocol.js';

// The machines of PE headers, as the module tells them.
export const { x86: X86, x64: X64, ia64: IA64 } = CODES.machine;

// The file of a folder (a key of picks.js, the path below it in any ASCII
// letter case), plain or compressed; empty files are not there.
function fileBelow(entries, folder, below, name) {
  const want = foldName(folder + (below ? `${below}/` : ''));
  const names = [foldName(name), foldName(compressedName(name))];
  for (const lower of names) {
    for (const e of entries.values()) if (present(e) && e.lower === lower && foldName(e.folder) === want) return e;
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

export const machineName = (machine) => ({ [X86]: 'x86', [X64]: 'x64', [IA64]: 'IA64' })[machine] || null;

// A file line the page refuses to bring into the setup folder, as the
// module's reading of the option marks it (not a plain file name, or one of
// the setup's own files: txtsetup.sif, dosnet.inf, their backups): the
// first such line, or null.
export const refusedFile = (option) =>
  (option.driverFileRefused ? { name: option.driverFile, why: option.driverFileRefused }
    : (option.files || []).filter((f) => f.refused).map((f) => ({ name: f.name, why: f.refused }))[0] || null);

// Where two options written by one run give one service, or one driver
// file name, from two different folders (or one service two files): the
// later's entries and file stay. `found(run, option)`: optionSource.
export function optionConflicts(runs, found) {
  const out = [];
  for (const run of runs) {
    const written = run.options.filter((o) => o.written && o.driverFile);
    // Found once per option: 40 options make 780 pairs.
    const place = new Map(written.map((option) => [option, found(run, option)]));
    written.forEach((later, j) => written.slice(0, j).forEach((earlier) => {
      const [a, b] = [place.get(earlier), place.get(later)];
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
