// The ways out of the page: the zip of the results, made for the picked
// setup folder, and writing them into a setup folder the user picks (where
// the browser can), after one confirmation of the plan. Both take the files
// the engine's apply writes, with its action for each: for the zip, those
// of the picked setup folder (the result's `engine`, run-control.js); for
// a folder picked to write into, the apply of every set of runs of the
// result again, against that folder.
import { SETUP, BACKUP, DOSNET, DOSNET_BACKUP, foldName, present } from './names.js';
import { bytesOf, folderNameOf } from './picks.js';
import { toWrite } from './plan.js';
import { appliedFiles, overOf } from './run-control.js';
import { setupFolderIn, readFileIn, writeFiles } from './setup-folder.js';

// The engine's actions (web/worker/protocol.js's APPLY) as the texts name them.
const ACTIONS = { create: 'planCreate', replace: 'planReplace', same: 'planSame', keepBackup: 'planKeepBackup', repair: 'planRepair',
                  conflict: 'planConflict' };
const KINDS = { [SETUP]: 'sif', [BACKUP]: 'backup', [DOSNET]: 'dosnet', [DOSNET_BACKUP]: 'dosnetBackup' };

// The engine's files of a result (run-control.js's appliedFiles) as items:
// {name, lower, kind (sif, backup, dosnet, dosnetBackup, driver or support:
// a file for GUI-mode setup), path (a brought file's source, as the page names it),
// bytes (null where the apply wrote nothing), action, setupHas (the
// setup's own file of that name in its other form, plain or compressed,
// which stays beside it)}. `survey`: the engine's survey of the runs' pick.
export function engineItems(files, survey) {
  const driverFiles = survey ? survey.json.driverFiles : [];
  return [...files.values()].map(({ name, bytes, action, path, support }) => {
    const lower = foldName(name);
    const driver = driverFiles.find((d) => d.brought && foldName(d.source.name) === lower);
    const other = driver ? driver.setupName : null;
    return { name, lower, kind: KINDS[lower] || (support ? 'support' : 'driver'), path, bytes, action: ACTIONS[action], replace: false,
             setupHas: other && foldName(other) !== lower ? other : null };
  });
}

// `ui`: t(), status(text, problem, kind), plan() (shows state.plan), focusPlan(),
// results(), download(result, bytes, name), and the worker's zip(files),
// check(folder, files, names) and refusal(...) (worker-bridge.js).
export function outputControl(state, ui) {
  // The results' files, as the engine's refusal tells a folder by them.
  const output = (result) => engineItems(result.engine.files, result.survey).map((item) => ({ ...item, file: item.name }));
  // The user's ticks (replace a driver file there with other bytes) hold
  // for the zip and the write alike.
  const ticked = (result, items) => items.map((item) => ({ ...item, replace: result.replace.has(item.lower) }));

  // The picked setup folder's files: all of them where it was given as a
  // folder, else those given with txtsetup.sif.
  const pickedFolder = (result) => [...state.entries.values()].filter((e) => e.folder === result.setup.folder &&
    (result.setup.inFolder || [SETUP, BACKUP, DOSNET, DOSNET_BACKUP].includes(e.lower)));

  // The picked setup folder's lower-case names, where it was given as a
  // folder: what tells it from another one (engine/folder_refusal.h).
  const listingOf = (result) => (result.setup.inFolder ? new Set(pickedFolder(result).map((e) => e.lower)) : null);

  // dosnet.inf of the picked folder as the engine changed it.
  async function dosnetOf(result, folder) {
    const there = (lower) => folder.find((e) => e.lower === lower && present(e)) || null;
    const dosnet = there(DOSNET);
    const changed = result.engine.files.get(DOSNET);
    if (!dosnet || !changed || !changed.bytes) return null;
    return { name: dosnet.name, original: await bytesOf(dosnet), bytes: changed.bytes, pickedBackup: there(DOSNET_BACKUP) };
  }

  // What goes into the picked setup folder (the engine's apply, once it
  // ended), and the check of the folder as it leaves it, worked out again
  // whenever the pick changed.
  const planKey = () => `${state.pickVersion}`;
  async function planPicked(result) {
    const key = planKey(result);
    const folder = pickedFolder(result);
    const dosnet = await dosnetOf(result, folder);
    if (state.result !== result || planKey(result) !== key) return;
    result.dosnet = dosnet;
    result.picked = { key, items: engineItems(result.engine.files, result.survey), check: null };
    ui.results();
    const check = result.setup.inFolder ? await checkPicked(result, folder, result.picked.items) : { skipped: true };
    if (state.result !== result || planKey(result) !== key) return;
    result.picked.check = check;
    ui.results();
  }
  const pickedPlan = (result) => {
    if (!result.engine) return null;
    if (result.picked && result.picked.key === planKey(result)) return result.picked;
    if (result.planning === planKey(result)) return null;
    result.planning = planKey(result);
    planPicked(result).catch((error) => ui.status(ui.t()('failed', error.message), true));
    return null;
  };

  // The folder as the plan leaves it: what it writes, over what is there
  // (the picked txtsetup.sif as it was picked). The check asks for the
  // bytes it reads (worker-bridge.js).
  async function checkPicked(result, folder, items) {
    const written = items.filter(toWrite);
    const names = new Set(written.map((item) => item.name));
    const files = [...written.map((item) => ({ path: item.name, bytes: item.bytes })),
      ...folder.filter((e) => !names.has(e.name)).map((e) => (e === result.setup ? { path: e.name, bytes: result.original } : { path: e.name, entry: e }))];
    return ui.check(folderNameOf(result.setup), files);
  }

  function tick(result, lower, replace) {
    if (replace) result.replace.add(lower);
    else result.replace.delete(lower);
    if (state.plan && state.plan.items) state.plan = { ...state.plan, items: ticked(result, state.plan.items) };
    ui.results();
  }

  async function saveZip() {
    const result = state.result;
    const t = ui.t();
    const picked = pickedPlan(result);
    if (!picked || !picked.items) return;
    const { items } = picked;
    ui.status(t('zipping'));
    try {
      const bytes = await ui.zip(items.filter(toWrite).map((item) => [item.name, item.bytes]));
      if (state.result !== result) return;
      const folderName = result.setup.path.split('/').slice(-2, -1)[0];
      ui.download(result, bytes, `oem2sif-${folderName || 'setup'}.zip`);
      ui.status('');
    } catch (error) {
      ui.status(t('failed', error.message), true);
    }
  }

  // What writing the results into `folder` does: refused (the engine's refusal), or
  // the items of every set of runs applied again by the engine against the
  // folder, the user's ticks held. A file of other bytes there, which the
  // engine leaves alone, is replaced with the results' own where the user
  // ticks it.
  async function planFor(result, folder) {
    const read = (name) => readFileIn(folder.handle, name);
    const now = (lower) => (folder.names.has(lower) ? read(folder.names.get(lower)) : null);
    const listing = listingOf(result);
    const refused = await ui.refusal({
      setup: await now(SETUP), backup: await now(BACKUP), original: result.original,
      known: [...result.starts, result.folder.get(SETUP)].filter(Boolean), names: [...folder.names.values()],
      picked: listing ? [...listing] : [],
      brought: output(result).filter((o) => o.kind === 'driver' || o.kind === 'support').map((o) => o.file) });
    if (refused) return { refused };
    // The folder's files, each read only where the engine asks; their
    // sizes are not asked of the browser (thousands of files): the engine's
    // first look at one is a read, and brings its bytes.
    // Each is read once for every set applied; a copy goes each time, as
    // the worker takes the bytes it is given.
    const loaded = new Map();
    const load = async (name) => {
      if (!loaded.has(name)) loaded.set(name, read(name));
      return (await loaded.get(name)).slice();
    };
    const setupFiles = [...folder.names.values()].map((name) => [name, { load: () => load(name) }]);
    let files = new Map();
    for (const set of result.sets) {
      const applied = await set.apply(set.windows, overOf(files), setupFiles);
      if (applied.outcome.failure) throw new Error(`${applied.outcome.failure} ${applied.outcome.subject}`);
      files = appliedFiles(files, applied, set.sources);
    }
    const ours = (lower) => result.engine.files.get(lower);
    const items = engineItems(files, result.survey).map((item) => (item.action === 'planConflict' && ours(item.lower)
      ? { ...item, bytes: ours(item.lower).bytes } : item));
    return { items: ticked(result, items) };
  }

  async function writeIntoFolder() {
    const result = state.result;
    const t = ui.t();
    state.plan = null;
    ui.plan();
    ui.status(t('pickSetupFolder'));
    let picked;
    try {
      picked = await window.showDirectoryPicker({ id: 'oem2sif-setup', mode: 'readwrite' });
    } catch (error) {
      ui.status(error.name === 'AbortError' ? '' : t('writeFailed', error.message), error.name !== 'AbortError');
      return;
    }
    try {
      const folder = await setupFolderIn(picked);
      if (!folder) return ui.status(t('noSetupHere', picked.name), true);
      const plan = await planFor(result, folder);
      if (plan.refused) return ui.status(t(plan.refused, folder.handle.name), true, plan.refused);
      if (state.result !== result) return;
      state.plan = { result, folder, items: plan.items };
      ui.status('');
      ui.plan();
      ui.focusPlan();
    } catch (error) {
      ui.status(t('writeFailed', error.message), true);
    }
  }

  // The folder is read again first: the backup is never replaced, and
  // txtsetup.sif only when it is still one the plan allows.
  async function confirmPlan() {
    const { result, folder } = state.plan;
    const t = ui.t();
    state.plan = null;
    ui.plan();
    ui.status(t('writing'));
    try {
      const fresh = await setupFolderIn(folder.handle);
      const again = fresh ? await planFor(result, fresh) : { refused: 'otherFolder' };
      if (again.refused) return ui.status(t(again.refused, folder.handle.name), true, again.refused);
      const written = await writeFiles(fresh, ticked(result, again.items).filter(toWrite));
      ui.status(written.length ? t('written', folder.handle.name, written.map((item) => item.name)) : t('writtenNothing', folder.handle.name));
    } catch (error) {
      ui.status(t('writeFailed', error.message), true);
    }
  }

  function cancelPlan() {
    state.plan = null;
    ui.plan();
  }

  return { pickedPlan, tick, saveZip, writeIntoFolder, confirmPlan, cancelPlan };
}
