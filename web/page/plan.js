// What the runs did and what goes where: the driver files the results
// name (as the engine's survey found them), and the files that go into the
// setup folder. Whether a folder may be written into is the engine's
// (engine/folder_refusal.h, the worker's REFUSAL).
// Decides only: no DOM, no worker; the views make texts of what it returns.
//
// A result is what a chain of runs left: each "Run again" continues on the
// runs' files, never on the picked ones. {setup: the picked txtsetup.sif's
// entry, original: its bytes when the chain began, pickedBackup: the entry
// of a backup beside it or null, starts: the txtsetup.sif each set of runs
// started from, folder: lower-case name -> bytes of txtsetup.sif and its
// backup as the engine's applies left them}.
import { SETUP, BACKUP, DOSNET, DOSNET_BACKUP, sameBytes } from './names.js';

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
