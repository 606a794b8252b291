// What the runs did and what goes where: the driver files the results
// name (as the engine's survey found them), the files that go into the
// setup folder, and what writing them does to a folder (the picked one,
// for the zip and the texts; the one the user writes into).
// Decides only: no DOM, no worker; the views make texts of what it returns.
//
// A result is what a chain of runs left: each "Run again" continues on the
// runs' files, never on the picked ones. {setup: the picked txtsetup.sif's
// entry, original: its bytes when the chain began, pickedBackup: the entry
// of a backup beside it or null, starts: the txtsetup.sif each set of runs
// started from, folder: lower-case name -> bytes of txtsetup.sif and its
// backup as the engine's applies left them}.
import { SETUP, BACKUP, DOSNET, DOSNET_BACKUP, compressedName, foldName, sameBytes } from './names.js';

// The driver files the runs' entries name, as the engine's survey of each
// set of runs found them (its driverFiles, engine/survey_json.h), by
// service: a later set's stand, as its entries do. Each with its driver's
// entry (`entry`) and its option's row of the survey (`row`).
export function surveyedDrivers(earlier, survey) {
  const byService = new Map(earlier.map((d) => [d.service, d]));
  for (const d of survey ? survey.json.driverFiles : []) {
    const row = survey.json.drivers[d.driver].rows.find((r) => r.option.index === d.option);
    byService.set(d.service, { ...d, entry: survey.drivers[d.driver], row });
  }
  return [...byService.values()];
}

// The results' setup files against the picked folder: txtsetup.sif changed
// or not, the backup the runs made where the folder has none, and
// dosnet.inf with the driver files added, and its backup likewise.
// result.dosnet: {name, original, bytes, pickedBackup} where the picked
// folder holds a dosnet.inf, else null.
export function resultFiles(result) {
  const setup = result.folder.get(SETUP);
  const files = [{ name: result.setup.name, lower: SETUP, bytes: setup,
                   state: sameBytes(setup, result.original) ? 'unchanged' : 'changed' }];
  const backup = result.folder.get(BACKUP);
  if (result.pickedBackup) files.push({ name: result.pickedBackup.name, lower: BACKUP, bytes: backup, state: 'unchanged' });
  else if (backup) files.push({ name: BACKUP, lower: BACKUP, bytes: backup, state: 'created' });
  const dosnet = result.dosnet;
  if (dosnet && !sameBytes(dosnet.bytes, dosnet.original)) {
    files.push({ name: dosnet.name, lower: DOSNET, bytes: dosnet.bytes, state: 'changed' });
    if (!dosnet.pickedBackup) files.push({ name: DOSNET_BACKUP, lower: DOSNET_BACKUP, bytes: dosnet.original, state: 'created' });
  }
  return files;
}

// Whether a folder (`names`: its lower-case names) is the picked setup
// folder (`listing`: its lower-case names, null where its files were picked
// one by one): the same names, leaving out the setup's own files and the
// driver files the output brings, with a few others come or gone (an
// editor's backup of txtsetup.sif). null where the listing is not known.
const LISTING_SLACK = 0.01;
export function sameListing(listing, names, output) {
  if (!listing || listing.size === 0) return null;
  const left = new Set([SETUP, BACKUP, DOSNET, DOSNET_BACKUP]);
  for (const f of output.filter((o) => o.kind === 'driver' || o.kind === 'support')) [f.lower, foldName(f.file), foldName(compressedName(f.file))].forEach((n) => left.add(n));
  const picked = [...listing].filter((n) => !left.has(n));
  const there = [...names.keys()].filter((n) => !left.has(n));
  const pickedSet = new Set(picked);
  const thereSet = new Set(there);
  const differ = picked.filter((n) => !thereSet.has(n)).length + there.filter((n) => !pickedSet.has(n)).length;
  return differ <= Math.max(2, Math.floor(picked.length * LISTING_SLACK));
}

// Why writing the results into a folder is refused (`names` maps the
// lower-case names of its files to their names there, `read` gives a file's
// bytes there; `output`: the results' files), or null where its
// txtsetup.sif is one the runs started from or their result:
// changedSince where its backup is the picked original or its files are
// the picked folder's (sameListing, with result.listing), otherFolder
// where they are not, otherOrChanged where the picked folder's files are
// not known.
export async function refusalOf(result, output, names, read) {
  const now = async (lower) => (names.has(lower) ? read(names.get(lower)) : null);
  const setupNow = await now(SETUP);
  const known = (bytes) => bytes && (sameBytes(bytes, result.folder.get(SETUP)) || result.starts.some((s) => sameBytes(bytes, s)));
  if (known(setupNow)) return null;
  const backupNow = await now(BACKUP);
  const same = backupNow && sameBytes(backupNow, result.original) ? true : sameListing(result.listing, names, output);
  return same ? 'changedSince' : same === false ? 'otherFolder' : 'otherOrChanged';
}

// An item is written where the engine wrote its file, or where the user
// ticked to replace a file of other bytes there with the results' own.
export const toWrite = (item) => ['planCreate', 'planReplace', 'planRepair'].includes(item.action) ||
  (item.action === 'planConflict' && item.replace && Boolean(item.bytes));

// The order of the writes: driver files first, then the backups, then
// dosnet.inf and txtsetup.sif, so that a write cut short never leaves a
// setup file that names a file not there yet, nor one without its backup.
export const writeOrder = (lower) => ({ [BACKUP]: 1, [DOSNET_BACKUP]: 1, [DOSNET]: 2, [SETUP]: 3 })[lower] || 0;

// The steps of "What to do next": texts' keys with their arguments, the
// ways out first, then the same by hand. `items`: the plan against the
// picked folder, or null where its files are not known.
export function nextSteps(result, items, { canWriteFolders, missing }) {
  const written = (items || []).filter(toWrite);
  const steps = [];
  const byHand = [];
  if (written.length) {
    if (canWriteFolders) steps.push(['stepWrite', written.map((i) => i.name)]);
    steps.push(['stepZip', written.map((i) => i.name)]);
  }
  if (missing) steps.push(['stepMissing']);
  const offered = resultFiles(result).filter((f) => f.state !== 'unchanged');
  if (offered.length) {
    byHand.push(['stepDownload', offered.map((f) => f.name)]);
    byHand.push(['stepReplace']);
    if (offered.some((f) => f.lower === BACKUP)) byHand.push(['stepBackup']);
    if (offered.some((f) => f.lower === DOSNET)) byHand.push(['stepDosnet']);
  }
  if (written.some((i) => i.kind === 'driver')) byHand.push(['stepDrivers']);
  if (!steps.length && !byHand.length) steps.push(['stepNothing']);
  return { steps, byHand };
}
