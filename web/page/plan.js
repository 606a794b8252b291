// What the runs did and what goes where: the driver files the results
// name, the warnings where two runs wrote the same entries, the files that
// go into the setup folder, and what writing them does to a folder. Decides
// only: no DOM, no worker; the views make texts of what it returns.
import { SETUP, BACKUP, compressedName, sameBytes } from './names.js';
import { bytesOf, findIn } from './picks.js';

// A run as the worker reports it: `options`, every option the tool was
// about to write, as it read it, with `written` where a write of it landed.
// The tool maps every hardware id of an option to the option's service (the
// service of its first id). A service or id written twice keeps its last
// entries, as the file does.
export function runOutcome(driver, { status, options }) {
  const drivers = new Map();
  const ids = new Map();
  for (const option of options.filter((o) => o.written)) {
    drivers.set(option.service, { service: option.service, file: option.driverFile, description: option.description, option });
    for (const { id, match } of option.ids) ids.set(match, { id, match, service: option.service });
  }
  return { driver, status, drivers: [...drivers.values()], ids: [...ids.values()] };
}

// Per service, the entries that stay: the last run's that wrote it, with
// the driver whose folder holds its file.
export function combinedDrivers(runs) {
  const byService = new Map();
  runs.forEach(({ driver, drivers }, index) => drivers.forEach((d) => byService.set(d.service, { ...d, driver, run: index })));
  return [...byService.values()];
}

// What two runs wrote over each other: the same service, or one hardware id
// for different services. The later run's entries stay.
export function conflicts(runs) {
  const found = [];
  runs.forEach((later, j) => runs.slice(0, j).forEach((earlier) => {
    const services = new Set(earlier.drivers.map((d) => d.service));
    const shared = later.drivers.map((d) => d.service).filter((s) => services.has(s));
    const idServices = new Map(earlier.ids.map((id) => [id.match, id.service]));
    const remapped = later.ids.filter((id) => idServices.has(id.match) && idServices.get(id.match) !== id.service)
      .map((id) => `${id.id} (${idServices.get(id.match)} → ${id.service})`);
    const [a, b] = [earlier.driver.path, later.driver.path];
    if (shared.length) found.push({ a, b, kind: 'conflictService', list: shared });
    if (remapped.length) found.push({ a, b, kind: 'conflictId', list: remapped });
  }));
  return found;
}

// A driver file a run named: where the setup folder has it (state: present,
// compressed, absent, or unknown where the folder's files were not given)
// and the file in the driver's own folder, as it is or compressed (source).
export function driverFile(entries, setup, d) {
  const { folder, inFolder } = setup;
  const plain = inFolder ? findIn(entries, folder, d.file) : null;
  const packed = inFolder && !plain ? findIn(entries, folder, compressedName(d.file)) : null;
  const source = findIn(entries, d.driver.folder, d.file) || findIn(entries, d.driver.folder, compressedName(d.file));
  const state = !inFolder ? 'unknown' : plain ? 'present' : packed ? 'compressed' : 'absent';
  return { ...d, state, plain, packed, source, missing: !source && !plain && !packed };
}

// What goes into the setup folder: the setup files the runs made or
// changed, and each driver file found in its driver's folder (of two with
// one name, the later run's, as its entries stay), under the name the setup
// folder already uses for it. `kind` is sif, backup or driver.
export function outputFiles(entries, result, files) {
  const out = result.files.filter((f) => f.state === 'created' || f.state === 'changed')
    .map((f) => ({ name: f.name, lower: f.lower, kind: f.lower === SETUP ? 'sif' : 'backup', read: async () => f.bytes }));
  const taken = new Map();
  const fromDrivers = files.filter((f) => f.source && f.source.folder !== result.setup.folder);
  for (const f of fromDrivers.sort((a, b) => a.run - b.run)) taken.set(f.source.lower, f.source);
  for (const [lower, source] of taken) {
    const there = result.setup.inFolder ? findIn(entries, result.setup.folder, source.name) : null;
    out.push({ name: there ? there.name : source.name, lower, kind: 'driver', path: source.path, read: () => bytesOf(source) });
  }
  return out;
}

// The steps of "What to do next": texts' keys with their arguments, the
// ways out first, then the same by hand.
export function nextSteps(result, { canWriteFolders, missing, anyOutput }) {
  const offered = result.files.filter((f) => f.state === 'created' || f.state === 'changed');
  const steps = [];
  const byHand = [];
  if (anyOutput) {
    if (canWriteFolders) steps.push(['stepWrite']);
    steps.push(['stepZip']);
  }
  if (missing) steps.push(['stepMissing']);
  if (offered.length) {
    byHand.push(['stepDownload', offered.map((f) => f.name)]);
    if (offered.some((f) => f.lower === SETUP)) byHand.push(['stepReplace']);
    if (offered.some((f) => f.lower === BACKUP)) byHand.push(['stepBackup']);
  }
  if (result.drivers.length) byHand.push(['stepDrivers']);
  if (!steps.length && !byHand.length) steps.push(['stepNothing']);
  return { steps, byHand };
}

// What writing the output does to a folder: `names` maps the lower-case
// names of the folder's files to their names there, `current` gives a
// file's bytes there by its name. Null when the folder's txtsetup.sif is
// neither the one the runs started from nor their result. A backup there
// is never replaced (an empty one is none); a driver file there with other
// bytes waits for the user's tick (`replace`).
export async function planWrites(result, output, names, current) {
  const finalSetup = output.find((f) => f.lower === SETUP);
  const setupNow = await current(names.get(SETUP));
  if (!sameBytes(setupNow, result.initialSetup) && !(finalSetup && sameBytes(setupNow, await finalSetup.read()))) return null;
  const items = [];
  for (const f of output) {
    const bytes = await f.read();
    const name = names.get(f.lower);
    if (f.lower === BACKUP) {
      const empty = name && (await current(name)).length === 0;
      items.push({ name: name || f.name, bytes, action: name && !empty ? 'planKeepBackup' : 'planCreate' });
    } else if (!name) items.push({ name: f.name, bytes, action: 'planCreate' });
    else if (sameBytes(await current(name), bytes)) items.push({ name, bytes, action: 'planSame' });
    else items.push({ name, bytes, action: f.lower === SETUP ? 'planReplace' : 'planConflict', replace: false });
  }
  return items;
}

export const toWrite = (item) => item.action === 'planCreate' || item.action === 'planReplace' || (item.action === 'planConflict' && item.replace);

// The order of the writes: driver files first, then the backup, then
// txtsetup.sif, so that a write cut short never leaves a setup file that
// names a file not there yet, nor one without its backup.
export const writeOrder = (lower) => (lower === SETUP ? 2 : lower === BACKUP ? 1 : 0);
