// The ways out of the page: the zip of the results, made for the picked
// setup folder, and writing them into a setup folder the user picks (where
// the browser can), after one confirmation of the plan. Both carry out
// planWrites (plan.js), as the texts describe it.
import { SETUP } from './names.js';
import { bytesOf } from './picks.js';
import { driverFile, outputFiles, planWrites, toWrite } from './plan.js';
import { setupFolderIn, readFileIn, writeFiles } from './setup-folder.js';

// `ui`: t(), status(text, problem), plan() (shows state.plan), focusPlan(),
// results(), download(result, bytes, name), zip(files) -> bytes.
export function outputControl(state, ui) {
  const output = (result) => outputFiles(result, result.drivers.map((d) => driverFile(state.entries, result.setup, d)));
  // The user's ticks (replace a driver file there with other bytes) hold
  // for the zip and the write alike.
  const ticked = (result, items) => items.map((item) => ({ ...item, replace: result.replace.has(item.lower) }));

  // The plan against the picked setup folder, worked out again whenever the
  // pick changed: the files of its folder, where they were given with it.
  async function planPicked(result) {
    const version = state.pickVersion;
    const folder = [...state.entries.values()].filter((e) => e.folder === result.setup.folder &&
                                                          (result.setup.inFolder || e.lower === SETUP || e === result.pickedBackup));
    const byName = new Map(folder.map((e) => [e.name, e]));
    const names = new Map(folder.map((e) => [e.lower, e.name]));
    names.set(SETUP, result.setup.name);
    byName.set(result.setup.name, result.setup);
    const plan = await planWrites(result, output(result), names, (name) => bytesOf(byName.get(name)));
    if (state.result !== result || state.pickVersion !== version) return;
    result.picked = { version, items: plan.items ? ticked(result, plan.items) : null };
    ui.results();
  }
  const pickedPlan = (result) => {
    if (result.picked && result.picked.version === state.pickVersion) return result.picked.items;
    planPicked(result).catch((error) => ui.status(ui.t()('failed', error.message), true));
    return null;
  };

  function tick(result, lower, replace) {
    if (replace) result.replace.add(lower);
    else result.replace.delete(lower);
    for (const plan of [result.picked, state.plan]) if (plan && plan.items) plan.items = ticked(result, plan.items);
    ui.results();
  }

  async function saveZip() {
    const result = state.result;
    const t = ui.t();
    const items = pickedPlan(result);
    if (!items) return;
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

  const planFor = async (result, folder) =>
    planWrites(result, output(result), folder.names, (name) => readFileIn(folder.handle, name));

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
      if (plan.refused) return ui.status(t(plan.refused, folder.handle.name), true);
      if (state.result !== result) return;
      state.plan = { result, folder, items: ticked(result, plan.items) };
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
      if (again.refused) return ui.status(t(again.refused, folder.handle.name), true);
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
