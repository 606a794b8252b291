// What the user picked, and what a run would use of it. Decides only: no
// DOM, no worker.
//
// An entry is one file given, keyed by its path within what was picked or
// dropped ("I386/txtsetup.sif"; a file given alone is its name, and giving
// it again replaces it): {path, folder, name, lower, size, file, bytes,
// inFolder}. inFolder: it came with its folder, so the folder's other files
// are known too. `bytes` is set where a run replaced the file's content.
import { OEM, SETUP, BACKUP, foldName, byPath } from './names.js';

export function entryOf(path, file, inFolder) {
  const slash = path.lastIndexOf('/');
  return { path, folder: path.slice(0, slash + 1), name: file.name, lower: foldName(file.name),
           size: file.size, file, bytes: null, inFolder };
}

export const bytesOf = async (entry) => entry.bytes || new Uint8Array(await entry.file.arrayBuffer());

const named = (entries, lower) => [...entries.values()].filter((e) => e.lower === lower);

// The file named `name` (in any letter case) in `folder`, or null.
export function findIn(entries, folder, name) {
  const lower = foldName(name);
  for (const entry of entries.values()) if (entry.folder === folder && entry.lower === lower) return entry;
  return null;
}

// What a run would use: txtsetup.sif is the one file or the user's choice
// (`choices`: lower-case name -> path); txtsetup.sif.orig must be in its
// folder. Every txtsetup.oem is a driver ({entry, ticked, preferred}); one
// alone is ticked, and of several only the one in the folder of
// txtsetup.sif, when there is exactly one; `ticks` (path -> ticked) holds
// what the user changed.
export function resolve(entries, choices, ticks) {
  const pick = (lower) => {
    const list = named(entries, lower);
    if (list.length <= 1) return { entry: list[0] || null, list };
    return { entry: list.find((e) => e.path === choices.get(lower)) || null, list };
  };
  const setup = pick(SETUP);
  const folder = setup.entry ? setup.entry.folder : null;
  // An empty txtsetup.sif.orig holds nothing to go back to (a tab closed
  // while the page wrote a backup leaves one): it is no backup, and the run
  // takes a new one.
  const backup = named(entries, BACKUP).find((e) => e.folder === folder && e.size > 0) || null;
  const oems = named(entries, OEM).sort(byPath);
  const near = oems.filter((e) => e.folder === folder);
  const preferred = oems.length > 1 && near.length === 1 ? near[0] : null;
  const drivers = oems.map((entry) => ({
    entry, preferred: entry === preferred,
    ticked: ticks.has(entry.path) ? ticks.get(entry.path) : oems.length === 1 || entry === preferred,
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
