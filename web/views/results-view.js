// The results of the runs: the outcome, the warnings, the driver files
// missing, what goes into the setup folder and how, what to do next, the
// downloads and the driver files' table. Shows what page/plan.js decided.
import { $, el } from './dom.js';
import { foldName } from '../page/names.js';
import { driverFile, resultFiles, nextSteps } from '../page/plan.js';
import { optionSource, optionConflicts, machineOf, machineName, refusedFile } from '../page/options.js';
import { renderChanges } from './changes-view.js';

// `on`: pickedPlan(result) -> the plan against the picked folder or null
// while it is worked out, tick(result, lower, replace), confirmPlan(),
// cancelPlan().
export function renderResults(state, t, { canWriteFolders, label, on }) {
  const result = state.result;
  if (!result) return;
  $('results').hidden = false;
  const statuses = result.lastRuns.map((r) => r.status);
  $('outcome').textContent = statuses.length > 1 ? t('exitedRuns', statuses.length, statuses) : t('exited', statuses[0]);
  renderDownloads(result, t);
  const files = result.drivers.map((d) => driverFile(state.entries, result.setup, d));
  const shown = (list) => list.length > 8 ? [...list.slice(0, 8), `… (+${list.length - 8})`] : list;
  const warnings = [...result.conflicts.map(({ a, b, kind, list }) => el('li', { 'data-kind': kind }, t(kind, a, b, shown(list)))),
                    ...optionWarnings(state, result, files, label, t)];
  $('conflicts').replaceChildren(...warnings);
  $('conflicts').hidden = warnings.length === 0;
  const missing = files.filter((f) => f.missing || f.unsure);
  $('missing').hidden = missing.length === 0;
  $('missing-files').replaceChildren(...missing.map((f) => el('li', { 'data-file': foldName(f.file), 'data-unsure': f.unsure ? 'yes' : 'no' },
    t(f.unsure ? 'unsureFile' : 'missingFile', f.file, label(f.driver)))));
  const picked = on.pickedPlan(result);
  const items = picked && picked.items;
  const check = picked && picked.check;
  const problems = check && check.findings ? check.findings.filter((f) => f.problem).length : 0;
  renderFindings(check, t);
  const folder = t('folderLabel', result.setup.path.slice(0, Math.max(0, result.setup.path.lastIndexOf('/'))));
  const done = check && !check.skipped && check.findings && problems === 0;
  renderOutput(result, items || null, folder, done ? 'outputHelp' : problems ? 'outputHelpProblems' : 'outputHelpUnchecked', t, canWriteFolders, on);
  renderPlan(state, t, on);
  const { steps, byHand } = nextSteps(result, items, { canWriteFolders, missing: files.some((f) => f.missing) });
  const step = ([key, ...args]) => el('li', {}, t(key, ...args, folder));
  const list = steps.map(step);
  if (byHand.length) list.push(el('li', {}, t('stepByHand'), el('ol', {}, ...byHand.map(step))));
  $('next-steps').replaceChildren(...list);
  renderDrivers(files, t);
  renderChanges(result, t);
}

// Two options of one run that write over each other, and driver files that
// cannot load on the setup source.
function optionWarnings(state, result, files, label, t) {
  const folderOf = (found) => (found.source ? found.source.path.slice(0, found.source.path.lastIndexOf('/') + 1) || '.'
    : `${found.directory || ''}/`);
  const out = optionConflicts(result.runs, (run, option) => optionSource(state.entries, run.driver, option))
    .map(({ driver, what, earlier, later }) => el('li', { 'data-kind': 'conflictOption' },
      t('conflictOption', label(driver), what, `${earlier.option.description} (${folderOf(earlier.found)})`,
        `${later.option.description} (${folderOf(later.found)})`)));
  // Options refused before the run stay named: nothing of them is in the
  // results.
  for (const driver of new Set(result.lastRuns.map((r) => r.driver))) {
    const known = state.drivers.get(driver.key);
    for (const option of (known && known.entry === driver && known.options) || []) {
      const refused = refusedFile(option);
      if (refused) {
        out.push(el('li', { 'data-kind': 'refusedOption', 'data-file': foldName(refused.name) },
                    `${label(driver)}: ${option.description} — ${t(`refused_${refused.why}`, refused.name)}`));
      }
    }
  }
  const identity = state.setupIdentities.get(result.setup.key);
  const setupMachine = identity ? identity.machine : 0;
  for (const f of files.filter((file) => file.source)) {
    const built = machineOf(f, state.machines);
    if (built.problem === 'notDriver') out.push(el('li', { 'data-kind': 'notDriver', 'data-file': foldName(f.file) }, t('notDriverWarning', f.source.path)));
    else if (built.machine && setupMachine && built.machine !== setupMachine) {
      out.push(el('li', { 'data-kind': 'wrongMachine', 'data-file': foldName(f.file) },
                  t('wrongMachine', f.source.path, machineName(built.machine), machineName(setupMachine), built.how === 'guessed')));
    }
  }
  return out;
}

function renderDownloads(result, t) {
  const table = $('downloads');
  table.replaceChildren();
  for (const file of resultFiles(result)) {
    const cell = el('td', {});
    if (file.state !== 'unchanged') {
      if (!result.urls.has(file.lower)) result.urls.set(file.lower, URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' })));
      cell.append(el('a', { href: result.urls.get(file.lower), download: file.name, class: 'button download', 'data-file': file.lower },
                     `${t('download')}: ${file.name}`));
    }
    table.append(el('tr', { 'data-state': file.state }, el('td', {}, file.name), el('td', {}, t(file.state)), cell));
  }
}

// What goes into the picked setup folder, each file with what it does
// there; a driver file there with other bytes goes only when ticked.
// `help`: the texts' key of what the user is to do with them, after the check.
function renderOutput(result, items, folder, help, t, canWriteFolders, on) {
  $('output').hidden = items !== null && items.length === 0;
  $('output-help').textContent = items === null ? t('checkingFolder') : t(help, folder);
  const what = (item) => (item.kind === 'driver' ? t('outputDriver', item.path)
    : t({ sif: 'outputSif', backup: 'outputBackup', dosnet: 'outputDosnet', dosnetBackup: 'outputDosnetBackup' }[item.kind]));
  $('output-files').replaceChildren(...(items || []).map((item) => el('tr', { 'data-file': item.lower, 'data-action': item.action },
    el('th', { scope: 'row' }, item.name), el('td', {}, what(item)), el('td', {}, action(item, t, (replace) => on.tick(result, item.lower, replace))))));
  $('write-folder').hidden = !canWriteFolders;
  $('write-folder').disabled = items === null;
  $('save-zip').disabled = items === null;
}

// What the check finds in the setup folder as the results leave it: the
// problems first, then what it could not judge.
function renderFindings(check, t) {
  const box = $('findings');
  box.setAttribute('aria-busy', String(!check));
  const list = $('finding-list');
  if (!check) {
    $('findings-summary').textContent = t('checking');
    list.replaceChildren();
    return;
  }
  const findings = check.findings || [];
  const problems = findings.filter((f) => f.problem);
  $('findings-summary').textContent = check.skipped ? t('checkSkipped') : problems.length ? t('checkProblems', problems.length) : t('checkClean');
  box.classList.toggle('problem', problems.length > 0);
  list.replaceChildren(...[...problems, ...findings.filter((f) => !f.problem)].map((f) => el('li',
    { class: f.problem ? 'problem' : 'note', 'data-kind': String(f.kind), 'data-file': foldName(f.file), 'data-option': f.option || '' }, t(`finding${f.kind}`, f))));
}

// One item of a plan: what happens to the file, with a tick where the
// user decides.
function action(item, t, onTick) {
  const setupHas = item.setupHas ? el('span', { class: 'setup-has', 'data-setup-has': foldName(item.setupHas) }, t('planSetupHas', item.name, item.setupHas)) : null;
  if (item.action !== 'planConflict') return el('span', {}, t(item.action, item.name), setupHas);
  const tick = el('input', { type: 'checkbox', checked: item.replace, 'data-file': foldName(item.name) });
  tick.addEventListener('change', () => onTick(tick.checked));
  return el('label', {}, tick, t(item.action, item.name), setupHas);
}

function renderDrivers(files, t) {
  $('driver-view').hidden = files.length === 0;
  const table = $('drivers');
  table.replaceChildren(el('tr', {}, ...['service', 'description', 'driverFile', 'inFolder', 'fromDriver']
    .map((k) => el('th', { scope: 'col' }, t(k)))));
  for (const f of files) {
    const text = f.plain ? t('present', f.plain.path) : f.packed ? t('compressed', f.packed.path)
      : (f.state === 'absent' || f.state === 'empty') && f.source ? t(`${f.state}Taken`) : t(f.state);
    table.append(el('tr', { 'data-state': f.state, 'data-taken': f.source ? 'yes' : 'no' },
                    el('td', {}, f.service), el('td', {}, f.description), el('td', { class: 'file' }, f.file),
                    el('td', { class: 'presence' }, text),
                    el('td', { class: 'source' }, f.source ? t(f.beside ? 'takenBeside' : 'taken', f.source.path, f.directory) : t('notTaken'))));
  }
}

// `kind`: the texts' key of a refusal, for what cannot read the text.
export function outputStatus(text, problem = false, kind = '') {
  $('output-status').textContent = text;
  $('output-status').classList.toggle('problem', problem);
  $('output-status').dataset.status = kind;
}

// The writes waiting for the user's confirmation.
export function renderPlan(state, t, on) {
  const box = $('write-plan');
  const plan = state.plan;
  box.hidden = plan === null || plan.result !== state.result;
  // Drawn again only when it changed: a tick being clicked stays.
  if (box.hidden || plan.drawn === t.language) return;
  plan.drawn = t.language;
  const list = el('ul', {}, ...plan.items.map((item) => el('li', { 'data-action': item.action },
    action(item, t, (replace) => on.tick(plan.result, item.lower, replace)))));
  const confirm = el('button', { type: 'button', id: 'write-confirm', class: 'primary' }, t('writeConfirm'));
  const cancel = el('button', { type: 'button', id: 'write-cancel' }, t('writeCancel'));
  confirm.addEventListener('click', on.confirmPlan);
  cancel.addEventListener('click', on.cancelPlan);
  box.replaceChildren(el('h4', {}, t('planHeading', plan.folder.handle.name)), list, el('p', { class: 'actions' }, confirm, cancel));
}
