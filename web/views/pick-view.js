// Shows the pick: what was read, the file used for each of the three names
// (with the choices and the drivers to tick), what keeps it from running.
import { $, el } from './dom.js';
import { OEM, SETUP, BACKUP, NAMES } from '../page/names.js';
import { resolve, pickProblems, tickedDrivers, canRun } from '../page/picks.js';
import { resultFiles } from '../page/plan.js';
import { optionRows, machineName } from '../page/options.js';

// Options of a driver shown before "more".
const OPTIONS_SHOWN = 4;

export function renderPick(state, t, on, label) {
  const status = $('pick-status');
  const pick = state.pickState;
  if (pick === null) status.textContent = '';
  else if ('waiting' in pick) status.textContent = t('waitingForBrowser');
  else if ('reading' in pick) status.textContent = t('reading', t.number(pick.reading));
  else status.textContent = t('read', t.number(state.entries.size));
  const used = resolve(state.entries, state.choices, state.ticks);
  const setupMachine = used[SETUP].entry ? state.setupMachines.get(used[SETUP].entry.key) : undefined;
  const table = $('files');
  table.replaceChildren(el('tr', {}, el('th', { scope: 'col' }, t('name')), el('th', { scope: 'col' }, t('used'))));
  for (const lower of NAMES) {
    const { entry, list } = used[lower];
    const cell = el('td', {});
    if (lower === OEM && list.length) cell.append(driverChoice(state, used[OEM].drivers, setupMachine, t, on, label));
    else if (list.length > 1) {
      const group = el('fieldset', { class: 'choice' }, el('legend', {}, t('choose', lower, list.length)));
      for (const candidate of list) {
        const radio = el('input', { type: 'radio', name: `choose-${lower}`, value: candidate.key, checked: candidate === entry });
        radio.addEventListener('change', () => on.choose(lower, candidate.key));
        group.append(el('label', {}, radio, describe(candidate, t, label)));
      }
      cell.append(group);
    } else {
      cell.append(entry ? describe(entry, t, label) : t(lower === BACKUP && used[SETUP].entry ? 'noBackup' : 'none'));
      if (lower === SETUP && entry && setupMachine !== undefined) {
        cell.append(el('span', { class: 'machine', 'data-machine': machineName(setupMachine) || '' },
                       setupMachine ? t('setupMachine', machineName(setupMachine)) : t('setupMachineUnknown')));
      }
    }
    table.append(el('tr', { 'data-name': lower }, el('th', { scope: 'row' }, lower), cell));
  }
  renderPickState(state, used, t);
}

// What the pick lacks, and whether it can run.
export function renderPickState(state, used, t) {
  const { missing, unchosen, noDriverTicked } = pickProblems(used);
  const problem = $('pick-problem');
  problem.textContent = [missing.length ? t('missing', missing) : '', unchosen.length ? t('mustChoose', unchosen) : '',
                         noDriverTicked ? t('noDriverTicked') : ''].join(' ').trim();
  problem.classList.toggle('problem', state.entries.size > 0);
  const busy = state.run !== null || state.reading || optionsPending(state) || state.inspecting > 0;
  $('files').setAttribute('aria-busy', String(busy && state.run === null));
  const ticked = tickedDrivers(used).length;
  $('run').disabled = busy || !canRun(used);
  // Run again goes on from the results, where they changed anything.
  const again = state.result && state.result.setup === used[SETUP].entry &&
    resultFiles(state.result).some((f) => f.state !== 'unchanged');
  $('run').textContent = again ? t('runAgain') : ticked > 1 ? t('runDrivers', ticked) : t('run');
  $('clear').disabled = state.run !== null || state.reading;
}

export const optionsPending = (state) => [...state.drivers.values()].some((known) => known.options === null);

// The drivers, each with its options, to tick; several make a choice.
function driverChoice(state, drivers, setupMachine, t, on, label) {
  const group = drivers.length > 1
    ? el('fieldset', { class: 'choice drivers-pick' }, el('legend', {}, t('chooseDrivers', drivers.length)))
    : el('div', { class: 'drivers-pick' });
  for (const { entry, ticked, preferred } of drivers) {
    const box = el('input', { type: 'checkbox', value: entry.key, checked: ticked });
    box.addEventListener('change', () => on.tick(entry.key, box.checked));
    const known = state.drivers.get(entry.key);
    const rows = known && known.entry === entry && known.options
      ? optionRows(state.entries, entry, known.options, state.machines, setupMachine, state.optionTicks.get(entry.key)) : null;
    group.append(el('div', { class: 'driver', 'data-key': entry.key, 'data-path': entry.path },
                    el('label', {}, box, describe(entry, t, label), preferred ? el('span', { class: 'tag' }, t('sameFolder')) : null),
                    optionList(rows, setupMachine, t, (index, on2) => on.tickOption(entry.key, index, on2))));
  }
  return group;
}

// A long list shows its first few options, the rest one click away. Each
// option: its tick, description, where its driver file is and what it is
// built for.
function optionList(rows, setupMachine, t, onTick) {
  if (rows === null) return el('p', { class: 'options' }, t('readingDrivers'));
  if (rows.length === 0) return el('p', { class: 'options' }, t('noOptions'));
  const items = rows.map((row) => {
    const tick = el('input', { type: 'checkbox', checked: row.ticked, 'data-index': String(row.option.index) });
    tick.addEventListener('change', () => onTick(row.option.index, tick.checked));
    return el('li', { title: row.option.key, 'data-key': row.option.key, 'data-fits': row.fits ? 'yes' : 'no' },
              el('label', {}, tick, el('span', { class: 'description' }, row.option.description)),
              el('span', { class: 'option-info' }, optionInfo(row, setupMachine, t)));
  });
  const first = rows.length > OPTIONS_SHOWN + 1 ? OPTIONS_SHOWN : rows.length;
  const more = first < rows.length
    ? el('li', {}, el('details', {}, el('summary', {}, t('moreOptions', rows.length - first)), el('ul', {}, ...items.slice(first)))) : null;
  return el('ul', { class: 'options', 'aria-label': t('options', rows.length) }, ...items.slice(0, first), more);
}

function optionInfo({ option, found, built, fits }, setupMachine, t) {
  // What the tool would print about the option's sections, as it prints it.
  if (!option.driverFile) return [t('noDriverFile'), option.messages].filter(Boolean).join(' · ');
  const parts = [found.source ? t(found.beside ? 'fileBeside' : 'fileAt', found.source.path, found.directory)
    : t('fileNotFound', option.driverFile, found.directory)];
  const name = machineName(built.machine);
  if (built.how === 'read') parts.push(name || t('machineOther', built.machine));
  else if (built.how === 'guessed') parts.push(t('machineGuessed', name));
  else parts.push(t('machineNotChecked'));
  if (built.problem) parts.push(t(`file_${built.problem}`));
  if (!fits) parts.push(t('otherMachine', machineName(setupMachine)));
  if (option.messages) parts.push(option.messages);
  return parts.join(' · ');
}

export function describe(entry, t, label) {
  return `${label(entry)} (${t('bytes', t.number(entry.size))})`;
}
