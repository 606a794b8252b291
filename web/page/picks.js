// What the user picked, and what a run would use of it. Decides only: no
// DOM, no worker.
//
// An entry is one file given: {key, pick, path, folder, name, lower, size,
// file, inFolder}. `path` is its path within what was picked or dropped
// ("I386/txtsetup.sif"; a file given alone is its name). inFolder: it came
// with its folder, so the folder's other files are known too. Such a file is
// keyed by its pick's number and its path, so that two folders of one name
// stay two; a file given alone is keyed by its name, and giving it again
// replaces it. `folder` is keyed the same way: files of one folder share it.
import { OEM, SETUP, BACKUP, DOSNET, foldName, byPath, present } from './names.js';

export function entryOf(pick, path, file, inFolder) {
  const slash = path.lastIndexOf('/');
  const root = inFolder ? `${pick}:` : '';
  return { key: root + path, pick: inFolder ? pick : 0, path, folder: root + path.slice(0, slash + 1),
           name: file.name, lower: foldName(file.name), size: file.size, file, inFolder };
}

export const bytesOf = async (entry) => new Uint8Array(await entry.file.arrayBuffer());

// The name of the folder a file was picked in ("xp" for "xp/TXTSETUP.SIF"),
// which tells the check what a setup source is where its txtsetup.sif does
// not; "" for a file given alone: the browser does not say where it was.
export const folderNameOf = (entry) => (entry.inFolder ? entry.path.split('/').slice(-2, -1)[0] || '' : '');

// A folder given again (the same paths, sizes and times) replaces its
// earlier pick rather than making every driver in it twice.
export function dropRepeatedPick(entries, pick) {
  const signatures = new Map();
  for (const e of entries.values()) {
    if (!signatures.has(e.pick)) signatures.set(e.pick, []);
    signatures.get(e.pick).push(`${e.path}|${e.size}|${e.file.lastModified}`);
  }
  const signature = (n) => (signatures.get(n) || []).sort().join('\n');
  const repeated = [...signatures.keys()].filter((n) => n !== 0 && n !== pick && signature(n) === signature(pick));
  for (const [key, e] of entries) if (repeated.includes(e.pick)) entries.delete(key);
}

// What the page calls an entry: its path, and the number of its pick where
// another pick has a file of the same path.
export function labeller(entries) {
  const picks = new Map();
  for (const e of entries.values()) picks.set(e.path, (picks.get(e.path) || new Set()).add(e.pick));
  return (e) => (picks.get(e.path) && picks.get(e.path).size > 1 ? `${e.path} #${e.pick}` : e.path);
}

const named = (entries, lower) => [...entries.values()].filter((e) => e.lower === lower);

// What a run would use: txtsetup.sif is the one file or the user's choice
// (`choices`: lower-case name -> key); txtsetup.sif.orig must be in its
// folder. Every txtsetup.oem is a driver ({entry, ticked, preferred}); one
// alone is ticked, and of several only the one in the folder of
// txtsetup.sif, when there is exactly one; `ticks` (key -> ticked) holds
// what the user changed (by key).
export function resolve(entries, choices, ticks) {
  const pick = (lower) => {
    const list = named(entries, lower);
    if (list.length <= 1) return { entry: list[0] || null, list };
    return { entry: list.find((e) => e.key === choices.get(lower)) || null, list };
  };
  const setup = pick(SETUP);
  const folder = setup.entry ? setup.entry.folder : null;
  // An empty txtsetup.sif.orig holds nothing to go back to (a tab closed
  // while the page wrote a backup leaves one): it is no backup, and the run
  // takes a new one.
  const backup = named(entries, BACKUP).find((e) => e.folder === folder && present(e)) || null;
  const oems = named(entries, OEM).sort(byPath);
  const near = oems.filter((e) => e.folder === folder);
  const preferred = oems.length > 1 && near.length === 1 ? near[0] : null;
  const drivers = oems.map((entry) => ({
    entry, preferred: entry === preferred,
    ticked: ticks.has(entry.key) ? ticks.get(entry.key) : oems.length === 1 || entry === preferred,
  }));
  return { [OEM]: { drivers, list: oems }, [SETUP]: setup, [BACKUP]: { entry: backup, list: backup ? [backup] : [] } };
}

export const tickedDrivers = (used) => used[OEM].drivers.filter((d) => d.ticked).map((d) => d.entry);

// What keeps the pick from running: files missing, a txtsetup.sif to
// choose, no driver ticked.
export function pickProblems(used) {
  return {
    missing: [OEM, SETUP].filter((n) => used[n].list.length === 0),
    unchosen: [SETUP].filter((n) => used[n].list.length > 1 && !used[n].entry),
    noDriverTicked: used[OEM].list.length > 0 && tickedDrivers(used).length === 0,
  };
}

export const canRun = (used) => tickedDrivers(used).length > 0 && used[SETUP].entry !== null;

// The picked files as the engine's survey reads them, laid out as folders
// of the module's file system: each file at ROOT/N/its path (N its pick's
// number; files given alone, pick 0, make one folder). Laid out are the
// setup folder's files (the engine asks which driver files it has) and
// every file below each driver's folder (where its options' files are);
// nothing is read here: the engine asks for the bytes it reads
// (worker-bridge.js). `setup`: an entry or null; `drivers`: entries of
// txtsetup.oem in run order.
export const SURVEY_ROOT = '/pick';
const plainPath = (path) => path.split('/').every((part) => part && part !== '.' && part !== '..');
const folderPath = (e) => [SURVEY_ROOT, e.pick, ...e.path.split('/').slice(0, -1)].join('/');
export function surveyLayout(entries, setup, drivers) {
  const inSetup = (e) => setup !== null && e.pick === setup.pick && e.folder === setup.folder;
  const belowDriver = (e) => drivers.some((d) => e.pick === d.pick && e.folder.startsWith(d.folder));
  const files = [];
  for (const e of entries.values()) {
    if (!plainPath(e.path) || !(inSetup(e) || belowDriver(e))) continue;
    files.push({ path: `${e.pick}/${e.path}`, entry: e });
  }
  return {
    // No setup picked: a folder that is not there, which the survey says.
    setup: setup ? { folder: folderPath(setup), name: folderNameOf(setup) } : { folder: `${SURVEY_ROOT}/none`, name: '' },
    drivers: drivers.map(folderPath),
    files,
  };
}

// The layout the engine's apply reads: the survey's (surveyLayout).
// `setupFiles` ([name, bytes or {load}: what reads it, only where the
// engine asks; its size unknown till then]), where given, stand for the setup folder's files (a folder
// picked to write into); `over` ([name, bytes]: files an earlier apply
// wrote) are laid over them, as "Run again" goes on from them.
export function applyLayout(layout, over = [], setupFiles = null) {
  const setupPath = layout.setup.folder.slice(SURVEY_ROOT.length + 1);
  const inSetup = (path) => path.startsWith(`${setupPath}/`) && !path.slice(setupPath.length + 1).includes('/');
  const given = (setupFiles || []).map(([name, data]) => (data instanceof Uint8Array ? { path: `${setupPath}/${name}`, bytes: data }
    : { path: `${setupPath}/${name}`, load: data.load }));
  const base = setupFiles ? [...layout.files.filter((f) => !inSetup(f.path)), ...given] : layout.files;
  const laid = new Map(over.map(([name, bytes]) => [foldName(name), { name, bytes }]));
  const files = base.map((f) => {
    if (!inSetup(f.path)) return f;
    const lower = foldName(f.path.slice(setupPath.length + 1));
    const earlier = laid.get(lower);
    laid.delete(lower);
    return earlier ? { path: f.path, bytes: earlier.bytes } : f;
  });
  for (const { name, bytes } of laid.values()) files.push({ path: `${setupPath}/${name}`, bytes });
  return { ...layout, files };
}
