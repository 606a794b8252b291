// Shows the pick: what was read, the file used for each of the three names
// (with the choices and the drivers to tick), what keeps it from running.
// Draws the view model's `pick` (page/view-model.js).
import { $, el, say } from './dom.js';

// Options of a driver shown before "more".
const OPTIONS_SHOWN = 4;

// `on`: choose(lower, key), tick(driverKey, ticked), tickOption(driverKey,
// index, ticked).
export function renderPick(pick, t, on) {
  $('pick-status').textContent = pick.status ? say(t, pick.status) : '';
  const table = $('files');
  table.replaceChildren(el('tr', {}, el('th', { scope: 'col' }, t('name')), el('th', { scope: 'col' }, t('used'))));
  for (const file of pick.files) {
    const cell = el('td', {});
    if (file.drivers) cell.append(driverChoice(file, t, on));
    else if (file.choose) {
      const group = el('fieldset', { class: 'choice' }, el('legend', {}, say(t, file.choose)));
      for (const candidate of file.list) {
        const radio = el('input', { type: 'radio', name: `choose-${file.lower}`, value: candidate.key, checked: candidate.chosen });
        radio.addEventListener('change', () => on.choose(file.lower, candidate.key));
        group.append(el('label', {}, radio, describe(candidate, t)));
      }
      cell.append(group);
    } else {
      cell.append(file.entry ? describe(file.entry, t) : say(t, file.none));
      if (file.setup) cell.append(...setupInfo(file.setup, t));
    }
    table.append(el('tr', { 'data-name': file.lower }, el('th', { scope: 'row' }, file.lower), cell));
  }
  renderPickState(pick, t);
}

// What the pick lacks, and whether it can run.
export function renderPickState(pick, t) {
  const problem = $('pick-problem');
  problem.textContent = pick.problems.map((p) => say(t, p)).join(' ');
  problem.classList.toggle('problem', pick.problemShown);
  $('files').setAttribute('aria-busy', String(pick.busy));
  $('run').disabled = !pick.canRun;
  $('run').textContent = say(t, pick.runLabel);
  $('clear').disabled = !pick.canClear;
}

function setupInfo(setup, t) {
  return [el('span', { class: 'machine', 'data-machine': setup.machine, 'data-evidence': String(setup.evidence) }, say(t, setup.machineText)),
          el('span', { class: 'version', 'data-version': setup.version, 'data-answer': setup.answer }, say(t, setup.versionText))];
}

// The drivers, each with its options, to tick; several make a choice. Below
// them, what the ticked options would write over each other.
function driverChoice(file, t, on) {
  const group = file.drivers.length > 1
    ? el('fieldset', { class: 'choice drivers-pick' }, el('legend', {}, t('chooseDrivers', file.drivers.length)))
    : el('div', { class: 'drivers-pick' });
  for (const driver of file.drivers) {
    const box = el('input', { type: 'checkbox', value: driver.key, checked: driver.ticked });
    box.addEventListener('change', () => on.tick(driver.key, box.checked));
    group.append(el('div', { class: 'driver', 'data-key': driver.key, 'data-path': driver.path },
                    el('label', {}, box, describe(driver, t), driver.preferred ? el('span', { class: 'tag' }, t('sameFolder')) : null),
                    optionList(driver.options, t, (index, ticked) => on.tickOption(driver.key, index, ticked))));
  }
  const warnings = file.warnings.map((w) => el('li', { 'data-kind': w.kind, 'data-what': w.what }, say(t, w.text)));
  if (warnings.length) group.append(el('ul', { class: 'planned-conflicts note problem' }, ...warnings));
  return group;
}

// A long list shows its first few options, the rest one click away. Each
// option: its tick, description, where its driver file is and what it is
// built for.
function optionList(options, t, onTick) {
  if (options === null) return el('p', { class: 'options' }, t('readingDrivers'));
  if (options.length === 0) return el('p', { class: 'options' }, t('noOptions'));
  const items = options.map((option) => {
    const tick = el('input', { type: 'checkbox', checked: option.ticked, disabled: !option.tickable, 'data-index': String(option.index) });
    tick.addEventListener('change', () => onTick(option.index, tick.checked));
    return el('li', { title: option.key, 'data-key': option.key, 'data-fits': option.fits ? 'yes' : 'no',
                      'data-version-fit': option.versionFit, 'data-refused': option.refused || false,
                      'data-skipped': option.skipped || false, 'data-built': option.built },
              el('label', {}, tick, el('span', { class: 'description' }, option.description)),
              el('span', { class: 'option-info' }, option.info.map((part) => say(t, part)).join(' · ')));
  });
  const first = options.length > OPTIONS_SHOWN + 1 ? OPTIONS_SHOWN : options.length;
  const more = first < options.length
    ? el('li', {}, el('details', {}, el('summary', {}, t('moreOptions', options.length - first)), el('ul', {}, ...items.slice(first)))) : null;
  return el('ul', { class: 'options', 'aria-label': t('options', options.length) }, ...items.slice(0, first), more);
}

// A picked file as the lists name it: {label, size}.
export function describe(file, t) {
  return `${file.label} (${t('bytes', t.number(file.size))})`;
}
