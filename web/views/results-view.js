// The results of the runs: the outcome, the warnings, the driver files
// missing, what goes into the setup folder and how, what to do next, the
// downloads and the driver files' table. Draws the view model's `results`
// (page/view-model.js).
import { $, el, say } from './dom.js';

// `on`: tick(lower, replace), confirmPlan(), cancelPlan(); `urls`: the
// result's download links by lower-case name, made here once per file.
export function renderResults(results, t, { canWriteFolders, urls, on }) {
  if (!results) return;
  $('results').hidden = false;
  $('outcome').textContent = say(t, results.outcome);
  renderDownloads(results.downloads, urls, t);
  const warnings = results.warnings.map((w) => el('li', { 'data-kind': w.kind, 'data-file': w.file }, say(t, w.text)));
  $('conflicts').replaceChildren(...warnings);
  $('conflicts').hidden = warnings.length === 0;
  $('missing').hidden = results.missing.length === 0;
  $('missing-files').replaceChildren(...results.missing.map((f) => el('li', { 'data-file': f.file, 'data-unsure': f.unsure ? 'yes' : 'no' },
    say(t, f.text))));
  renderFindings(results.findings, t);
  renderOutput(results.output, t, canWriteFolders, on);
  const list = results.steps.map((step) => el('li', {}, say(t, step)));
  if (results.byHand.length) list.push(el('li', {}, t('stepByHand'), el('ol', {}, ...results.byHand.map((step) => el('li', {}, say(t, step))))));
  $('next-steps').replaceChildren(...list);
  renderDrivers(results.drivers, t);
  renderGui(results.gui, t);
}

// How GUI-mode setup will find each option's device a driver.
function renderGui(gui, t) {
  $('gui-view').hidden = gui.length === 0;
  $('gui-setup').replaceChildren(...gui.map((g) => el('li', { 'data-key': g.key, 'data-fit': g.fit, class: g.fit === 'serves' ? 'note' : 'problem' },
    say(t, g.text), g.files ? el('span', { class: 'support-files' }, ` ${say(t, g.files)}`) : '')));
}

function renderDownloads(downloads, urls, t) {
  const table = $('downloads');
  table.replaceChildren();
  for (const file of downloads) {
    const cell = el('td', {});
    if (file.state !== 'unchanged') {
      if (!urls.has(file.lower)) urls.set(file.lower, URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' })));
      cell.append(el('a', { href: urls.get(file.lower), download: file.name, class: 'button download', 'data-file': file.lower },
                     `${t('download')}: ${file.name}`));
    }
    table.append(el('tr', { 'data-state': file.state }, el('td', {}, file.name), el('td', {}, t(file.state)), cell));
  }
}

// What goes into the picked setup folder, each file with what it does
// there; a driver file there with other bytes goes only when ticked.
function renderOutput(output, t, canWriteFolders, on) {
  const { items } = output;
  $('output').hidden = items !== null && items.length === 0;
  $('output-help').textContent = say(t, output.help);
  $('output-files').replaceChildren(...(items || []).map((item) => el('tr', { 'data-file': item.lower, 'data-action': item.action },
    el('th', { scope: 'row' }, item.name), el('td', {}, say(t, item.what)), el('td', {}, action(item, t, (replace) => on.tick(item.lower, replace))))));
  $('write-folder').hidden = !canWriteFolders;
  $('write-folder').disabled = items === null;
  $('save-zip').disabled = items === null;
}

// What the check finds in the setup folder as the results leave it, each
// finding in the check's own words.
function renderFindings(findings, t) {
  const box = $('findings');
  box.setAttribute('aria-busy', String(findings.busy));
  $('findings-summary').textContent = say(t, findings.summary);
  box.classList.toggle('problem', findings.problem);
  $('finding-list').replaceChildren(...findings.items.map((f) => el('li',
    { class: f.problem ? 'problem' : 'note', 'data-kind': String(f.kind), 'data-file': f.file, 'data-option': f.option }, f.texts[t.language])));
}

// One item of a plan: what happens to the file, with a tick where the
// user decides.
function action(item, t, onTick) {
  const setupHas = item.setupHas ? el('span', { class: 'setup-has', 'data-setup-has': item.setupHas }, say(t, item.setupHasText)) : null;
  if (!item.tickable) return el('span', {}, say(t, item.actionText), setupHas);
  const tick = el('input', { type: 'checkbox', checked: item.replace, 'data-file': item.lower });
  tick.addEventListener('change', () => onTick(tick.checked));
  return el('label', {}, tick, say(t, item.actionText), setupHas);
}

function renderDrivers(drivers, t) {
  $('driver-view').hidden = drivers.length === 0;
  const table = $('drivers');
  table.replaceChildren(el('tr', {}, ...['service', 'description', 'driverFile', 'inFolder', 'fromDriver']
    .map((k) => el('th', { scope: 'col' }, t(k)))));
  for (const f of drivers) {
    table.append(el('tr', { 'data-state': f.state, 'data-taken': f.taken ? 'yes' : 'no' },
                    el('td', {}, f.service), el('td', {}, f.description), el('td', { class: 'file' }, f.file),
                    el('td', { class: 'presence' }, say(t, f.presence)), el('td', { class: 'source' }, say(t, f.source))));
  }
}

// `kind`: the texts' key of a refusal, for what cannot read the text.
export function outputStatus(text, problem = false, kind = '') {
  $('output-status').textContent = text;
  $('output-status').classList.toggle('problem', problem);
  $('output-status').dataset.status = kind;
}

// The writes waiting for the user's confirmation (the view model's `plan`).
let drawn = { plan: null, language: null };
export function renderPlan(model, t, on) {
  const box = $('write-plan');
  box.hidden = model === null;
  // Drawn again only when it changed: a tick being clicked stays.
  if (box.hidden || (drawn.plan === model.plan && drawn.language === t.language)) return;
  drawn = { plan: model.plan, language: t.language };
  const list = el('ul', {}, ...model.items.map((item) => el('li', { 'data-action': item.action },
    action(item, t, (replace) => on.tick(item.lower, replace)))));
  const confirm = el('button', { type: 'button', id: 'write-confirm', class: 'primary' }, t('writeConfirm'));
  const cancel = el('button', { type: 'button', id: 'write-cancel' }, t('writeCancel'));
  confirm.addEventListener('click', on.confirmPlan);
  cancel.addEventListener('click', on.cancelPlan);
  box.replaceChildren(el('h4', {}, say(t, model.heading)), list, el('p', { class: 'actions' }, confirm, cancel));
}
