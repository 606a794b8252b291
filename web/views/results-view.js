// The results of the runs: the outcome, the warnings, the driver files
// missing, what goes into the setup folder and how, what to do next, the
// downloads and the driver files' table. Shows what page/plan.js decided.
import { $, el } from './dom.js';
import { foldName } from '../page/names.js';
import { driverFile, outputFiles, nextSteps } from '../page/plan.js';
import { renderChanges } from './changes-view.js';

const offeredStates = new Set(['created', 'changed']);

// `canWriteFolders`: the browser offers the File System Access API; `plan`:
// the writes waiting for the user's confirmation, or null.
export function renderResults(state, t, { canWriteFolders, on }) {
  const result = state.result;
  if (!result) return;
  $('results').hidden = false;
  $('outcome').textContent = result.runs.length > 1 ? t('exitedRuns', result.runs.length, result.statuses)
    : t('exited', result.statuses[0]);
  const table = $('downloads');
  table.replaceChildren();
  for (const file of result.files) {
    const cell = el('td', {});
    if (offeredStates.has(file.state)) {
      if (!file.url) file.url = URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' }));
      cell.append(el('a', { href: file.url, download: file.name, class: 'button download', 'data-file': file.lower },
                     `${t('download')}: ${file.name}`));
    }
    table.append(el('tr', { 'data-state': file.state }, el('td', {}, file.name), el('td', {}, t(file.state)), cell));
  }
  const files = result.drivers.map((d) => driverFile(state.entries, result.setup, d));
  const shown = (list) => list.length > 8 ? [...list.slice(0, 8), `… (+${list.length - 8})`] : list;
  $('conflicts').replaceChildren(...result.conflicts.map(({ a, b, kind, list }) => el('li', {}, t(kind, a, b, shown(list)))));
  $('conflicts').hidden = result.conflicts.length === 0;
  const missing = files.filter((f) => f.missing);
  $('missing').hidden = missing.length === 0;
  $('missing-files').replaceChildren(...missing.map((f) => el('li', { 'data-file': foldName(f.file) },
                                                                t('missingFile', f.file, f.driver.folder || f.driver.path))));
  const output = outputFiles(state.entries, result, files);
  const folder = t('folderLabel', result.setup.folder.replace(/\/$/, ''));
  $('output').hidden = output.length === 0;
  $('output-help').textContent = t('outputHelp', folder);
  const what = (f) => (f.kind === 'driver' ? t('outputDriver', f.path) : t(f.kind === 'sif' ? 'outputSif' : 'outputBackup'));
  $('output-files').replaceChildren(...output.map((f) => el('tr', { 'data-file': f.lower },
    el('th', { scope: 'row' }, f.name), el('td', {}, what(f)))));
  $('write-folder').hidden = !canWriteFolders;
  renderPlan(state, t, on);
  const { steps, byHand } = nextSteps(result, { canWriteFolders, missing: missing.length > 0, anyOutput: output.length > 0 });
  const step = ([key, ...args]) => el('li', {}, t(key, ...(args.length ? args : [folder])));
  const items = steps.map(step);
  if (byHand.length) items.push(el('li', {}, t('stepByHand'), el('ol', {}, ...byHand.map(step))));
  $('next-steps').replaceChildren(...items);
  renderDrivers(files, t);
  renderChanges(result, t);
}

function renderDrivers(files, t) {
  $('driver-view').hidden = files.length === 0;
  const table = $('drivers');
  table.replaceChildren(el('tr', {}, ...['service', 'description', 'driverFile', 'inFolder', 'fromDriver']
    .map((k) => el('th', { scope: 'col' }, t(k)))));
  for (const f of files) {
    const text = f.plain ? t('present', f.plain.path) : f.packed ? t('compressed', f.packed.path)
      : f.state === 'absent' && f.source ? t('absentTaken') : t(f.state);
    table.append(el('tr', { 'data-state': f.state, 'data-taken': f.source ? 'yes' : 'no' },
                    el('td', {}, f.service), el('td', {}, f.description), el('td', { class: 'file' }, f.file),
                    el('td', { class: 'presence' }, text),
                    el('td', { class: 'source' }, f.source ? t('taken', f.source.path) : t('notTaken'))));
  }
}

export function outputStatus(text, problem = false) {
  $('output-status').textContent = text;
  $('output-status').classList.toggle('problem', problem);
}

// The writes waiting for the user's confirmation: each file and what
// happens to it; a driver file there with other bytes is replaced only when
// ticked.
export function renderPlan(state, t, on) {
  const box = $('write-plan');
  const plan = state.plan;
  box.hidden = plan === null || plan.result !== state.result;
  if (box.hidden) return;
  const list = el('ul', {}, ...plan.items.map((item) => {
    if (item.action !== 'planConflict') return el('li', { 'data-action': item.action }, t(item.action, item.name));
    const tick = el('input', { type: 'checkbox', checked: item.replace, 'data-file': foldName(item.name) });
    tick.addEventListener('change', () => { item.replace = tick.checked; });
    return el('li', { 'data-action': item.action }, el('label', {}, tick, t(item.action, item.name)));
  }));
  const confirm = el('button', { type: 'button', id: 'write-confirm', class: 'primary' }, t('writeConfirm'));
  const cancel = el('button', { type: 'button', id: 'write-cancel' }, t('writeCancel'));
  confirm.addEventListener('click', on.confirmPlan);
  cancel.addEventListener('click', on.cancelPlan);
  box.replaceChildren(el('h4', {}, t('planHeading', plan.folder.handle.name)), list, el('p', { class: 'actions' }, confirm, cancel));
}
