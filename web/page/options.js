// A driver's options as the setup source can take them: where each
// option's driver file is (the folder its disk's [Disks] entry names, below
// the folder of its txtsetup.oem), what it is built for, which options are
// ticked by default, and where two ticked options write over each other.
// Decides only: no DOM, no worker.
import { foldName, compressedName, present } from './names.js';
import { CODES } from '../worker/protocol.js';

// The machines of PE headers (as the module tells them), and the folder
// names that say one.
export const { x86: X86, x64: X64, ia64: IA64 } = CODES.machine;
const FOLDER_MACHINES = [[/^ia64$/, IA64], [/^(amd64|x64)$|a64$/, X64], [/^(i386|x86)$/, X86]];
// What the worker reads of a file: a PE machine, or a CODES.driverReading.
export const { notImage: NOT_IMAGE, empty: EMPTY } = CODES.driverReading;

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

// What a driver file is built for: `read` from its PE header; `guessed`
// from its disk's folder name where the file was read and holds no machine
// the page can take (no PE image, packed as setup's own files are,
// damaged); `absent` where the file is not there and `reading` while the
// worker has not answered, each with the folder's guess as `machine` for
// the default ticks; else `unknown`. `problem`: empty, notDriver, or
// notChecked. `machines`: what the worker read, by entry key.
export function machineOf(found, machines) {
  const read = found.source ? machines.get(found.source.key) : undefined;
  const problem = read === undefined ? null : read === EMPTY ? 'empty' : read === NOT_IMAGE ? 'notDriver' : read < 0 ? 'notChecked' : null;
  if (read > 0) return { machine: read, how: 'read', problem };
  const guess = found.directory ? machineOfFolder(found.directory) : 0;
  const how = !found.source ? 'absent' : read === undefined ? 'reading' : guess ? 'guessed' : 'unknown';
  return { machine: guess, how, problem };
}

export const machineName = (machine) => ({ [X86]: 'x86', [X64]: 'x64', [IA64]: 'IA64' })[machine] || null;

// An option for another machine than the setup source's cannot load there:
// it is not ticked unless the user ticks it.
const fitsSetup = (machine, setupMachine) => !machine || !setupMachine || machine === setupMachine;

// Windows versions as major * 10 + minor: what [SetupData] MajorVersion
// and MinorVersion say of a setup source, and what vendors write in the
// folder names and descriptions of their options (the corpus: ULi's
// "\win_2000", "\win_xp", "\win_nt", "\WINXPA64"; virtio's
// "\i386\Win2003"; "(WinNT 4.0)", "Windows XP/Server 2003", "for Windows
// 2000", "XP/2003/Vista").
export const NT4 = 40;
export const W2000 = 50;
export const XP = 51;
export const W2003 = 52;
const VISTA = 60;
// Each spelling stands alone: not within a word or a number ("Express",
// "ICH10", "m52812K").
const alone = (body) => new RegExp(`(?:^|[^a-z0-9])(?:${body})(?![a-z0-9])`);
const VERSION_SPELLINGS = [
  [NT4, alone('win_?nt|winnt|(?:windows |win)?nt ?4(?:\\.0)?|nt40')],
  [W2000, alone('(?:win(?:dows)?[ _]?|w)?(?:2000|2k)')],
  [XP, alone('(?:win(?:dows)?[ _]?)?xp(?:a?64)?')],
  [W2003, alone('(?:win(?:dows)?[ _]?(?:server ?)?|server ?|w)?(?:2003|2k3)|srv03|wnet')],
  [VISTA, alone('vista|wlh|(?:win(?:dows)?[ _]?|w)(?:7|8|8\\.1|10|11)|(?:win(?:dows)?[ _]?(?:server ?)?|server ?|w)20(?:08|12|16|19|22)(?: ?r2)?')],
];

// The versions an option's folder and description name: a set of the
// numbers above (every later one as VISTA).
export function versionsNamed(option, directory) {
  const texts = [directory || '', option.description || ''].map(foldName);
  return new Set(VERSION_SPELLINGS.filter(([, pattern]) => texts.some((text) => pattern.test(text))).map(([version]) => version));
}

// The setup source's version as setup reads it (5.0 2000, 5.1 XP, 5.2 Server
// 2003), or 0; the tool's menu offers 2000 and XP only, and a Server 2003
// source takes XP's entries (`answer`, the key of the tool's menu).
export function setupVersion(identity) {
  const version = identity && identity.major === 5 && identity.minor <= 2 ? 50 + identity.minor : 0;
  return { version, answer: version === W2000 ? '1' : version ? '2' : null };
}

// The versions an option may name and fit: the setup's own; a 64-bit 5.2
// is Windows XP x64 as much as Server 2003 x64.
const fittingVersions = (version, machine) =>
  (version === W2003 && (machine === X64 || machine === IA64) ? [XP, W2003] : [version]);

// How each option's versions fit the setup source: none (it names no
// version), same, nearest (the driver has no option for the setup's version;
// of the versions it has, the nearest, the later of two as near), other,
// nt4 (NT 4.0 alone: never ticked) or later (only versions after Server
// 2003, whose drivers do not load in a 2000/XP setup). With the version
// unknown, only nt4 and later count. `named`: the versions each option
// names.
export function versionFits(named, identity) {
  const { version } = setupVersion(identity);
  const fitting = fittingVersions(version, identity ? identity.machine : 0);
  const nt5 = (v) => v >= W2000 && v <= W2003;
  const has = named.some((set) => fitting.some((v) => set.has(v)));
  const offered = [...new Set(named.flatMap((set) => [...set].filter(nt5)))];
  const distance = (v) => Math.abs(v - version) * 2 - (v > version ? 1 : 0);
  const nearest = version && !has && offered.length ? offered.sort((a, b) => distance(a) - distance(b))[0] : 0;
  return named.map((set) => {
    if (set.size === 0) return 'none';
    if (![...set].some(nt5)) return set.has(NT4) && set.size === 1 ? 'nt4' : 'later';
    if (!version) return 'none';
    if (fitting.some((v) => set.has(v))) return 'same';
    return set.has(nearest) ? 'nearest' : 'other';
  });
}

// The options the tool itself skips (it writes nothing of them): no driver
// file, or no hardware id. Why, or null.
export const toolSkips = (option) => (!option.driverFile ? 'noDriverFile' : option.ids.length === 0 ? 'noIds' : null);

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

// A driver's options as the list shows them: where each driver file is,
// what it is built for and whether that fits the setup source (`fits`),
// the Windows versions it names and how they fit (`versions`, `versionFit`),
// why the tool skips it or the page refuses it, whether it can be ticked
// and whether it is (`ticks`: index -> ticked, where the user changed it).
// `identity`: the setup source's {machine, evidence, major, minor}, or
// undefined while it is read.
export function optionRows(entries, driver, options, machines, identity, ticks) {
  const setupMachine = identity ? identity.machine : 0;
  const rows = options.map((option) => {
    const found = optionSource(entries, driver, option);
    const built = machineOf(found, machines);
    // A file beside txtsetup.oem stands in for one not in the option's own
    // folder; where that folder names another machine than the setup
    // source's, the file is another option's build (picked one by one:
    // virtio's x86 viostor.sys also found for its amd64 option).
    const folderFits = !found.beside || fitsSetup(machineOfFolder(found.directory), setupMachine);
    return { option, found, built, fits: fitsSetup(built.machine, setupMachine) && folderFits, versions: versionsNamed(option, found.directory),
             skipped: toolSkips(option), refused: refusedFile(option) };
  });
  const fits = versionFits(rows.map((r) => r.versions), identity);
  return rows.map((row, i) => {
    const versionFit = fits[i];
    const tickable = !row.skipped && !row.refused && versionFit !== 'nt4';
    const byDefault = row.fits && !['other', 'later'].includes(versionFit);
    const ticked = tickable && (ticks && ticks.has(row.option.index) ? ticks.get(row.option.index) : byDefault);
    return { ...row, versionFit, tickable, ticked };
  });
}

// What a run of the driver is given: the indices of the ticked options, or
// null where all are ticked (the file as it is).
export function keptOptions(rows) {
  const ticked = rows.filter((r) => r.ticked && r.tickable).map((r) => r.option.index);
  return ticked.length === rows.length ? null : ticked;
}
