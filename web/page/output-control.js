// The ways out of the page: the zip of the results, and writing them into a
// setup folder the user picks (where the browser can), after one
// confirmation of the plan.
import { driverFile, outputFiles, planWrites, toWrite } from './plan.js';
import { setupFolderIn, readFileIn, writeFiles } from './setup-folder.js';

// `ui`: t(), status(text, problem), plan() (shows state.plan), focusPlan(),
// download(bytes, name), zip(files) -> bytes.
export function outputControl(state, ui) {
  const currentOutput = (result) => outputFiles(state.entries, result, result.drivers.map((d) => driverFile(state.entries, result.setup, d)));

  async function saveZip() {
    const result = state.result;
    const t = ui.t();
    ui.status(t('zipping'));
    try {
      const files = await Promise.all(currentOutput(result).map(async (f) => [f.name, await f.read()]));
      const bytes = await ui.zip(files);
      if (state.result !== result) return;
      const folderName = result.setup.folder.replace(/\/$/, '').split('/').pop();
      ui.download(result, bytes, `oem2sif-${folderName || 'setup'}.zip`);
      ui.status('');
    } catch (error) {
      ui.status(t('failed', error.message), true);
    }
  }

  const planFor = (result, folder) =>
    planWrites(result, currentOutput(result), folder.names, (name) => readFileIn(folder.handle, name));

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
      const items = await planFor(result, folder);
      if (!items) return ui.status(t('otherSetup', folder.handle.name), true);
      if (state.result !== result) return;
      state.plan = { result, folder, items };
      ui.status('');
      ui.plan();
      ui.focusPlan();
    } catch (error) {
      ui.status(t('writeFailed', error.message), true);
    }
  }

  // The folder is read again first: the backup is never replaced, and
  // txtsetup.sif only when it is still what the plan was made for.
  async function confirmPlan() {
    const { result, folder, items } = state.plan;
    const t = ui.t();
    state.plan = null;
    ui.plan();
    ui.status(t('writing'));
    try {
      const fresh = await setupFolderIn(folder.handle);
      const again = fresh && await planFor(result, fresh);
      if (!again) return ui.status(t('otherSetup', folder.handle.name), true);
      const replace = new Set(items.filter(toWrite).map((item) => item.name));
      const chosen = again.filter((item) => toWrite(item) || (item.action === 'planConflict' && replace.has(item.name)));
      const written = await writeFiles(fresh, chosen);
      ui.status(written.length ? t('written', folder.handle.name, written.map((item) => item.name)) : t('writtenNothing', folder.handle.name));
    } catch (error) {
      ui.status(t('writeFailed', error.message), true);
    }
  }

  function cancelPlan() {
    state.plan = null;
    ui.plan();
  }

  return { saveZip, writeIntoFolder, confirmPlan, cancelPlan };
}
