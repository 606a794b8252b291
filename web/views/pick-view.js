// Shows the pick: what was read, the file used for each of the three names
// (with the choices and the drivers to tick), what keeps it from running.
import { $, el } from './dom.js';
import { OEM, SETUP, BACKUP, NAMES } from '../page/names.js';
import { resolve, pickProblems, tickedDrivers, canRun } from '../page/picks.js';
import { resultFiles } from '../page/plan.js';
import { optionRows, keptOptions, optionSource, machineName, setupVersion } from '../page/options.js';
import { plannedConflicts } from '../page/plan.js';

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
  const identity = used[SETUP].entry ? state.setupIdentities.get(used[SETUP].entry.key) : undefined;
  const table = $('files');
  table.replaceChildren(el('tr', {}, el('th', { scope: 'col' }, t('name')), el('th', { scope: 'col' }, t('used'))));
  for (const lower of NAMES) {
    const { entry, list } = used[lower];
    const cell = el('td', {});
    if (lower === OEM && list.length) cell.append(driverChoice(state, used[OEM].drivers, identity, t, on, label));
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
      if (lower === SETUP && entry && identity) cell.append(...setupInfo(identity, t));
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
  // Every ticked driver with no option ticked: a run would write nothing.
  const identity = used[SETUP].entry ? state.setupIdentities.get(used[SETUP].entry.key) : undefined;
  const noOption = ticked > 0 && tickedDrivers(used).every((entry) => {
    const known = state.drivers.get(entry.key);
    if (!known || known.entry !== entry || !known.options) return false;
    const kept = keptOptions(optionRows(state.entries, entry, known.options, state.machines, identity, state.optionTicks.get(entry.key)));
    return kept !== null && kept.length === 0;
  });
  if (noOption) problem.textContent = `${problem.textContent} ${t('noOptionTicked')}`.trim();
  $('run').disabled = busy || !canRun(used) || noOption;
  // Run again goes on from the results, where they changed anything.
  const again = state.result && state.result.setup === used[SETUP].entry &&
    resultFiles(state.result).some((f) => f.state !== 'unchanged');
  $('run').textContent = again ? t('runAgain') : ticked > 1 ? t('runDrivers', ticked) : t('run');
  $('clear').disabled = state.run !== null || state.reading;
}

export const optionsPending = (state) => [...state.drivers.values()].some((known) => known.options === null);

// What the setup source is, as the check decided it, and the answer its
// version takes in the tool's menu.
function setupInfo(identity, t) {
  const name = machineName(identity.machine);
  const machine = el('span', { class: 'machine', 'data-machine': name || '', 'data-evidence': String(identity.evidence) },
                     name ? t('setupMachine', name, identity.evidence) : t('setupMachineUnknown'));
  const { version, answer } = setupVersion(identity);
  const versionText = version ? t('setupVersion', versionName(version, t), `${identity.major}.${identity.minor}`, answer)
    : t('setupVersionUnknown');
  return [machine, el('span', { class: 'version', 'data-version': version ? String(version) : '', 'data-answer': answer || '' }, versionText)];
}

const versionName = (version, t) => t(`version${version}`);
const versionNames = (versions, t) => [...versions].sort((a, b) => a - b).map((v) => versionName(v, t)).join(', ');

// The drivers, each with its options, to tick; several make a choice. Below
// them, what the ticked options would write over each other.
function driverChoice(state, drivers, identity, t, on, label) {
  const group = drivers.length > 1
    ? el('fieldset', { class: 'choice drivers-pick' }, el('legend', {}, t('chooseDrivers', drivers.length)))
    : el('div', { class: 'drivers-pick' });
  const ticked = [];
  for (const { entry, ticked: driverTicked, preferred } of drivers) {
    const box = el('input', { type: 'checkbox', value: entry.key, checked: driverTicked });
    box.addEventListener('change', () => on.tick(entry.key, box.checked));
    const known = state.drivers.get(entry.key);
    const rows = known && known.entry === entry && known.options
      ? optionRows(state.entries, entry, known.options, state.machines, identity, state.optionTicks.get(entry.key)) : null;
    if (driverTicked && rows) ticked.push({ driver: entry, rows });
    group.append(el('div', { class: 'driver', 'data-key': entry.key, 'data-path': entry.path },
                    el('label', {}, box, describe(entry, t, label), preferred ? el('span', { class: 'tag' }, t('sameFolder')) : null),
                    optionList(rows, identity, t, (index, on2) => on.tickOption(entry.key, index, on2))));
  }
  const planned = plannedConflicts(ticked, (run, option) => optionSource(state.entries, run.driver, option), label);
  const folderOf = (found) => (found.source ? found.source.path.slice(0, found.source.path.lastIndexOf('/') + 1) || './'
    : `${found.directory || ''}/`);
  const named = ({ option, found }) => `${option.description} (${folderOf(found)})`;
  const warnings = [
    ...planned.options.map(({ driver, what, earlier, later }) => el('li', { 'data-kind': 'plannedOption', 'data-what': what },
      t('plannedOption', label(driver), what, named(earlier), named(later)))),
    ...planned.drivers.map(({ a, b, kind, list }) => el('li', { 'data-kind': `planned-${kind}` }, t(`planned-${kind}`, a, b, list))),
  ];
  if (warnings.length) group.append(el('ul', { class: 'planned-conflicts note problem' }, ...warnings));
  return group;
}

// A long list shows its first few options, the rest one click away. Each
// option: its tick, description, where its driver file is and what it is
// built for.
function optionList(rows, identity, t, onTick) {
  if (rows === null) return el('p', { class: 'options' }, t('readingDrivers'));
  if (rows.length === 0) return el('p', { class: 'options' }, t('noOptions'));
  const items = rows.map((row) => {
    const tick = el('input', { type: 'checkbox', checked: row.ticked, disabled: !row.tickable, 'data-index': String(row.option.index) });
    tick.addEventListener('change', () => onTick(row.option.index, tick.checked));
    return el('li', { title: row.option.key, 'data-key': row.option.key, 'data-fits': row.fits ? 'yes' : 'no',
                      'data-version-fit': row.versionFit, 'data-refused': row.refused ? row.refused.why : false,
                      'data-skipped': row.skipped || false, 'data-built': row.built.how },
              el('label', {}, tick, el('span', { class: 'description' }, row.option.description)),
              el('span', { class: 'option-info' }, optionInfo(row, identity, t)));
  });
  const first = rows.length > OPTIONS_SHOWN + 1 ? OPTIONS_SHOWN : rows.length;
  const more = first < rows.length
    ? el('li', {}, el('details', {}, el('summary', {}, t('moreOptions', rows.length - first)), el('ul', {}, ...items.slice(first)))) : null;
  return el('ul', { class: 'options', 'aria-label': t('options', rows.length) }, ...items.slice(0, first), more);
}

function optionInfo({ option, found, built, fits, versions, versionFit, skipped, refused }, identity, t) {
  // What the tool prints about the option's sections is its own Japanese
  // text: shown as it is in the Japanese view only.
  const toolSays = option.messages ? (t.language === 'ja' ? option.messages : t('toolMessage')) : null;
  if (refused) return [t(`refused_${refused.why}`, refused.name), toolSays].filter(Boolean).join(' · ');
  if (skipped) return [t(`skipped_${skipped}`), versionFit === 'nt4' ? t('nt4Option') : null, toolSays].filter(Boolean).join(' · ');
  const parts = [found.source ? t(found.beside ? 'fileBeside' : 'fileAt', found.source.path, found.directory)
    : t('fileNotFound', option.driverFile, found.directory)];
  const name = machineName(built.machine);
  if (built.how === 'read') parts.push(name || t('machineOther', built.machine));
  else if (built.how === 'guessed') parts.push(t('machineGuessed', name));
  else if (built.how === 'absent') parts.push(name ? t('machineByFolder', name) : t('machineNotChecked'));
  else if (built.how === 'reading') parts.push(t('machineReading'));
  else parts.push(t('machineNotChecked'));
  if (built.problem) parts.push(t(`file_${built.problem}`));
  if (!fits) parts.push(t('otherMachine', machineName(identity.machine)));
  const { version } = setupVersion(identity);
  if (versionFit === 'nt4') parts.push(t('nt4Option'));
  if (versionFit === 'later') parts.push(t('laterVersion', versionNames(versions, t)));
  if (versionFit === 'other') parts.push(t('otherVersion', versionNames(versions, t), versionName(version, t)));
  if (versionFit === 'nearest') parts.push(t('nearestVersion', versionNames(versions, t), versionName(version, t)));
  if (toolSays) parts.push(toolSays);
  return parts.join(' · ');
}

export function describe(entry, t, label) {
  return `${label(entry)} (${t('bytes', t.number(entry.size))})`;
}
