// What every view draws, built once per change of the page's state from
// what the engine's survey (every option's tick and why, the setup source,
// the conflicts) and the deciding modules (picks, plan) decide: rows with their
// texts (a key of texts-*.js and its arguments), what is ticked and can be
// ticked, notes, states. The views draw it and decide nothing. No DOM, no
// worker.
//
// A text is {key, args} or a string said as it is (a name); an argument is
// a value, a text, a list of texts (joined) or {number} (in the language's
// style).
import { OEM, SETUP, BACKUP, NAMES, foldName } from './names.js';
import { resolve, pickProblems, canRun } from './picks.js';
import { machineName, refusedFile } from './options.js';
import { resultFiles, nextSteps } from './plan.js';

export const text = (key, ...args) => ({ key, args });
const number = (n) => ({ number: n });
const versionText = (version) => text(`version${version}`);
const versionTexts = (versions) => [...versions].sort((a, b) => a - b).map(versionText);
// A file as the lists name it: what the page calls it, and its size.
const described = (entry, label) => ({ label: label(entry), size: entry.size });
// The folder of a picked file, as the page names it ("" at the top).
const folderOfEntry = (entry) => entry.path.slice(0, entry.path.lastIndexOf('/') + 1);
// The folder a found driver file is in, as the warnings name it.
const folderOf = (found, here) => (found.source ? found.source.path.slice(0, found.source.path.lastIndexOf('/') + 1) || here
  : `${found.directory || ''}/`);

// `state`: main.js's; `label` names a picked file; `picked`: the plan
// against the picked setup folder with its check (output-control.js's
// pickedPlan), null while it is worked out; `canWriteFolders`: whether the
// browser writes into folders.
export function viewModel(state, { label, picked = null, canWriteFolders = false }) {
  return { pick: pickModel(state, label), results: state.result ? resultsModel(state, { label, picked, canWriteFolders }) : null,
           changes: state.result ? changesModel(state.result) : null, plan: planModel(state) };
}

// The engine's survey of the pick (engine/survey_json.h), where it is of
// the setup file and drivers the pick uses now; null while it is made.
export function surveyOf(state, setup, drivers) {
  const survey = state.survey;
  if (!survey || !survey.json || survey.setup !== setup || survey.drivers.length !== drivers.length
      || survey.drivers.some((entry, i) => entry !== drivers[i])) return null;
  return survey.json;
}

// What the engine tells of the setup source, where it read one.
const identityOf = (survey) => (survey && !survey.setup.problem ? survey.setup.identity : null);

// A row of the survey with its driver file's path as the page names it
// (below what was picked, not below the driver's folder).
function pageRow(row, entry) {
  const folder = entry.path.slice(0, entry.path.lastIndexOf('/') + 1);
  const source = row.found.source && { ...row.found.source, path: folder + row.found.source.path };
  return { ...row, found: { ...row.found, source } };
}

function pickModel(state, label) {
  const used = resolve(state.entries, state.choices, state.ticks);
  const setup = used[SETUP].entry;
  const survey = surveyOf(state, setup, used[OEM].drivers.map((d) => d.entry));
  const identity = identityOf(survey);
  const drivers = used[OEM].drivers.map(({ entry, ticked, preferred }, i) => {
    const known = state.drivers.get(entry.key);
    // The tool's own messages about each option, from the driver's reading.
    const messages = new Map(((known && known.entry === entry && known.options) || []).map((o) => [o.index, o.messages]));
    const rows = survey ? survey.drivers[i].rows.map((row) => pageRow({ ...row, option: { ...row.option, messages: messages.get(row.option.index) } }, entry))
      : null;
    // What a run of the driver keeps: null all its options, [] none.
    const run = survey && survey.runs.find((r) => r.driver === i);
    return { entry, ticked, preferred, rows, kept: survey ? (run ? run.keptOptions : []) : null };
  });
  const ticked = drivers.filter((d) => d.ticked);
  const named = (driver, index) => {
    const { option, found } = drivers[driver].rows[index];
    return `${option.description} (${folderOf(found, './')})`;
  };
  const conflicts = survey ? survey.conflicts : { options: [], drivers: [], setup: [] };
  const warnings = [
    ...conflicts.options.filter((c) => drivers[c.driver].ticked).map(({ driver, what, earlier, later }) => ({ kind: 'plannedOption', what,
      text: text('plannedOption', label(drivers[driver].entry), what, named(driver, earlier), named(driver, later)) })),
    ...conflicts.drivers.filter((c) => drivers[c.earlier].ticked && drivers[c.later].ticked).flatMap(({ earlier, later, services, ids }) => {
      const [a, b] = [label(drivers[earlier].entry), label(drivers[later].entry)];
      return [services.length ? { kind: 'planned-conflictService', text: text('planned-conflictService', a, b, services) } : null,
              ids.length ? { kind: 'planned-conflictId', text: text('planned-conflictId', a, b, ids.map((id) => `${id.id} (${id.from} → ${id.to})`)) }
                : null].filter(Boolean);
    }),
    ...conflicts.setup.filter((c) => drivers[c.driver].ticked)
      .flatMap((c) => setupWarnings(c, label(drivers[c.driver].entry), (list) => list).map((w) => ({ ...w, kind: `planned-${w.kind}` }))),
  ];
  const files = NAMES.map((lower) => {
    const { entry, list } = used[lower];
    const row = { lower, list: list.map((candidate) => ({ key: candidate.key, ...described(candidate, label), chosen: candidate === entry })) };
    if (lower === OEM && list.length) return { ...row, drivers: drivers.map((d) => driverModel(d, survey && survey.setup, label)), warnings };
    if (list.length > 1) return { ...row, choose: text('choose', lower, list.length) };
    return { ...row, entry: entry ? described(entry, label) : null,
             none: text(lower === BACKUP && setup ? 'noBackup' : 'none'),
             setup: lower === SETUP && entry && identity ? setupModel(survey.setup) : null };
  });
  const { missing, unchosen, noDriverTicked } = pickProblems(used);
  // Every ticked driver with no option ticked: a run would write nothing.
  const noOptionTicked = ticked.length > 0 && ticked.every((d) => d.kept !== null && d.kept.length === 0);
  const problems = [missing.length ? text('missing', missing) : null, unchosen.length ? text('mustChoose', unchosen) : null,
                    noDriverTicked ? text('noDriverTicked') : null, noOptionTicked ? text('noOptionTicked') : null].filter(Boolean);
  const optionsPending = [...state.drivers.values()].some((known) => known.options === null) || (used[OEM].list.length > 0 && !survey);
  const busy = state.run !== null || state.reading || optionsPending || state.surveying > 0;
  // Run again goes on from the results, where they changed anything.
  const again = state.result && state.result.setup === setup && resultFiles(state.result).some((f) => f.state !== 'unchanged');
  const status = state.pickState;
  return {
    status: status === null ? null : 'waiting' in status ? text('waitingForBrowser')
      : 'reading' in status ? text('reading', number(status.reading)) : text('read', number(state.entries.size)),
    files,
    problems,
    problemShown: state.entries.size > 0,
    busy: busy && state.run === null,
    canRun: !busy && canRun(used) && !noOptionTicked,
    runLabel: again ? text('runAgain') : ticked.length > 1 ? text('runDrivers', ticked.length) : text('run'),
    canClear: state.run === null && !state.reading,
    optionsPending,
    // What a run takes: the setup file, its backup, and each ticked driver
    // with the options ticked in it (null: all of them); one with none is
    // left out.
    run: { setup, backup: used[BACKUP].entry, identity, canRun: canRun(used),
           drivers: ticked.filter((d) => !d.kept || d.kept.length > 0).map((d) => ({ entry: d.entry, keep: d.kept })),
           target: survey && identity ? survey.setup.answer : null },
  };
}

// What the setup source is, as the engine decided it, and the answer its
// version takes in the tool's menu.
function setupModel({ identity, version, answer }) {
  const name = machineName(identity.machine);
  return {
    machine: name || '', evidence: identity.evidence,
    machineText: name ? text('setupMachine', name, identity.evidence) : text('setupMachineUnknown'),
    version: version ? String(version) : '', answer: answer || '',
    versionText: version ? text('setupVersion', versionText(version), `${identity.major}.${identity.minor}`, answer) : text('setupVersionUnknown'),
  };
}

// `setup`: the survey's setup source.
function driverModel({ entry, ticked, preferred, rows }, setup, label) {
  return { key: entry.key, path: entry.path, ticked, preferred, ...described(entry, label),
           options: rows && rows.map((row) => optionModel(row, setup)) };
}

// An option of the list: its tick, what the list's attributes say of it,
// and what is said of where its driver file is and what it is built for.
function optionModel(row, setup) {
  const { option, built, fits, refused, skipped, versionFit } = row;
  return { index: option.index, key: option.key, description: option.description, ticked: row.ticked, tickable: row.tickable,
           fits, versionFit, refused: refused ? refused.why : null, skipped, built: built.how, reason: row.reason,
           info: optionInfo(row, setup) };
}

function optionInfo({ option, found, built, fits, versions, versionFit, skipped, refused }, { identity, version }) {
  // What the tool prints about the option's sections is its own Japanese
  // text: texts-*.js says how each language shows it.
  const toolSays = option.messages ? text('toolMessage', option.messages) : null;
  if (refused) return [text(`refused_${refused.why}`, refused.name), toolSays].filter(Boolean);
  if (skipped) return [text(`skipped_${skipped}`), versionFit === 'nt4' ? text('nt4Option') : null, toolSays].filter(Boolean);
  const parts = [found.source ? text(found.beside ? 'fileBeside' : 'fileAt', found.source.path, found.directory)
    : text('fileNotFound', option.driverFile, found.directory)];
  const name = machineName(built.machine);
  if (built.how === 'read') parts.push(name ? name : text('machineOther', built.machine));
  else if (built.how === 'guessed') parts.push(text('machineGuessed', name));
  else if (built.how === 'absent') parts.push(name ? text('machineByFolder', name) : text('machineNotChecked'));
  else parts.push(text('machineNotChecked'));
  if (built.problem) parts.push(text(`file_${built.problem}`));
  if (!fits) parts.push(text('otherMachine', machineName(identity.machine)));
  if (versionFit === 'nt4') parts.push(text('nt4Option'));
  if (versionFit === 'later') parts.push(text('laterVersion', versionTexts(versions)));
  if (versionFit === 'other') parts.push(text('otherVersion', versionTexts(versions), versionText(version)));
  if (versionFit === 'nearest') parts.push(text('nearestVersion', versionTexts(versions), versionText(version)));
  if (toolSays) parts.push(toolSays);
  return parts;
}

function resultsModel(state, { label, picked, canWriteFolders }) {
  const result = state.result;
  // The last set's runs as the engine's apply ended them, or the tool left
  // at its menu.
  const statuses = result.statuses;
  // The driver files as the engine's survey found them (plan.js's
  // surveyedDrivers), with their paths as the page names them.
  const files = result.drivers.map((d) => ({ ...d, path: d.source && folderOfEntry(d.entry) + d.source.path }));
  const shown = (list) => (list.length > 8 ? [...list.slice(0, 8), `… (+${list.length - 8})`] : list);
  const warnings = [...result.surveys.flatMap((survey) => runConflicts(survey, label, shown)),
                    ...optionWarnings(state, result, files, label)];
  const items = picked && picked.items;
  const check = picked && picked.check;
  const findings = check && check.findings ? check.findings : [];
  const problems = findings.filter((f) => f.problem).length;
  const folder = text('folderLabel', result.setup.path.slice(0, Math.max(0, result.setup.path.lastIndexOf('/'))));
  const clean = check && !check.skipped && check.findings && problems === 0;
  const { steps, byHand } = nextSteps(result, items, { canWriteFolders, missing: files.some((f) => f.missing) });
  const step = ([key, ...args]) => text(key, ...args, folder);
  return {
    // An apply that failed before any run ended tells why instead.
    outcome: statuses.length > 1 ? text('exitedRuns', statuses.length, statuses)
      : statuses.length ? text('exited', statuses[0]) : text('applyFailed', result.engineFailed || ''),
    downloads: downloadsOf(result),
    warnings,
    missing: files.filter((f) => f.missing || f.unsure).map((f) => ({ file: foldName(f.file), unsure: f.unsure,
      text: text(f.unsure ? 'unsureFile' : 'missingFile', f.file, label(f.entry)) })),
    findings: findingsModel(check, findings, problems),
    output: {
      items: items ? items.map((item) => ({ ...itemModel(item), what: outputWhat(item) })) : null,
      help: result.engineFailed ? text('applyFailed', result.engineFailed) : items === null || items === undefined ? text('checkingFolder')
        : text(clean ? 'outputHelp' : problems ? 'outputHelpProblems' : 'outputHelpUnchecked', folder),
    },
    steps: steps.map(step),
    byHand: byHand.map(step),
    gui: guiModel(result.survey, label),
    drivers: files.map((f) => ({
      state: f.state, taken: Boolean(f.source), service: f.service, description: f.row.option.description, file: f.file,
      presence: f.setupName ? text(f.state, folderOfEntry(result.setup) + f.setupName)
        : (f.state === 'absent' || f.state === 'empty') && f.source ? text(`${f.state}Taken`) : text(f.state),
      source: f.source ? text(f.beside ? 'takenBeside' : 'taken', f.path, f.directory) : text('notTaken'),
    })),
  };
}

// The files to download one by one: each the engine's apply wrote,
// txtsetup.sif and dosnet.inf first, each with its backup, then the files
// brought; none while it works.
const DOWNLOAD_ORDER = [SETUP, BACKUP, 'dosnet.inf', 'dosnet.inf.orig'];
function downloadsOf(result) {
  if (!result.engine) return [];
  const rank = (lower) => (DOWNLOAD_ORDER.includes(lower) ? DOWNLOAD_ORDER.indexOf(lower) : DOWNLOAD_ORDER.length);
  return [...result.engine.files.values()].filter((f) => f.bytes)
    .map(({ name, bytes, action }) => ({ name, lower: foldName(name), state: action === 'create' ? 'created' : 'changed', bytes }))
    .sort((a, b) => rank(a.lower) - rank(b.lower));
}

// How GUI-mode setup will install the device of each option the runs
// took, as the engine's survey of the run's pick found it (its `infFit`:
// the INF that serves it, or why none does), with the files brought for it.
function guiModel(survey, label) {
  if (!survey) return [];
  const { json } = survey;
  return json.runs.flatMap((run) => json.drivers[run.driver].rows.filter((row) => row.ticked).map((row) => {
    const named = row.support.find((f) => f.kind === 'inf');
    const brought = json.supportFiles.filter((f) => f.driver === run.driver && f.option === row.option.index && f.brought).map((f) => f.name);
    return { key: row.option.key, fit: row.infFit,
             text: text(`inf_${row.infFit}`, label(survey.drivers[run.driver]), row.option.description, row.inf || (named ? named.name : '')),
             files: brought.length ? text('supportBrought', brought) : null };
  }));
}

// One item of a plan: what happens to the file, and whether the user
// decides it (a tick).
const itemModel = (item) => ({
  name: item.name, lower: item.lower, action: item.action, replace: item.replace, tickable: item.action === 'planConflict' && Boolean(item.bytes),
  actionText: text(item.action, item.name), setupHas: item.setupHas ? foldName(item.setupHas) : null,
  setupHasText: item.setupHas ? text('planSetupHas', item.name, item.setupHas) : null,
});

// The writes into a folder the user picked, waiting for the confirmation;
// null where there are none for the result shown.
function planModel(state) {
  const { plan } = state;
  if (plan === null || plan.result !== state.result) return null;
  return { plan, heading: text('planHeading', plan.folder.handle.name), items: plan.items.map(itemModel) };
}

const outputWhat = (item) => (item.kind === 'driver' ? text('outputDriver', item.path) : item.kind === 'support' ? text('outputSupport', item.path)
  : text({ sif: 'outputSif', backup: 'outputBackup', dosnet: 'outputDosnet', dosnetBackup: 'outputDosnetBackup' }[item.kind]));

// What the check finds in the setup folder as the results leave it: the
// problems first, then what it could not judge; each with the check's own
// text in both languages.
function findingsModel(check, findings, problems) {
  if (!check) return { busy: true, summary: text('checking'), problem: false, items: [] };
  return {
    busy: false,
    summary: check.skipped ? text('checkSkipped') : problems ? text('checkProblems', problems) : text('checkClean'),
    problem: problems > 0,
    items: [...findings.filter((f) => f.problem), ...findings.filter((f) => !f.problem)].map((f) => ({
      problem: f.problem, kind: f.kind, file: foldName(f.file), option: f.option || '', texts: f.texts })),
  };
}

// What a set of runs wrote over each other, as the engine's survey of its
// drivers found it: two runs the same service or one id for two services,
// two options of one run one service or one file name from two folders.
// What an earlier run wrote into txtsetup.sif that the driver `b` writes
// otherwise (engine/survey.h SetupConflict).
function setupWarnings({ services, ids }, b, shown) {
  return [services.length ? { kind: 'setupService', text: text('setupService', b, shown(services)) } : null,
          ids.length ? { kind: 'setupId', text: text('setupId', b, shown(ids.map((id) => `${id.id} (${id.from} → ${id.to})`))) } : null]
    .filter(Boolean);
}

// The warnings of a set that ran: the conflicts its apply found, on the
// files the chain's earlier sets wrote.
function runConflicts(survey, label, shown) {
  const { json, drivers, conflicts } = survey;
  const named = (driver, index) => {
    const { option, found } = pageRow(json.drivers[driver].rows.find((r) => r.option.index === index), drivers[driver]);
    return `${option.description} (${folderOf(found, '.')})`;
  };
  return [
    ...conflicts.drivers.flatMap(({ earlier, later, services, ids }) => {
      const [a, b] = [label(drivers[earlier]), label(drivers[later])];
      return [services.length ? { kind: 'conflictService', text: text('conflictService', a, b, shown(services)) } : null,
              ids.length ? { kind: 'conflictId', text: text('conflictId', a, b, shown(ids.map((id) => `${id.id} (${id.from} → ${id.to})`))) }
                : null].filter(Boolean);
    }),
    ...conflicts.options.map(({ driver, what, earlier, later }) => ({ kind: 'conflictOption',
      text: text('conflictOption', label(drivers[driver]), what, named(driver, earlier), named(driver, later)) })),
    ...conflicts.setup.flatMap((c) => setupWarnings(c, label(drivers[c.driver]), shown)),
  ];
}

// Options refused before the run, and driver files that cannot load on the
// setup source.
function optionWarnings(state, result, files, label) {
  const out = [];
  // Options refused before the run stay named: nothing of them is in the
  // results.
  for (const driver of new Set(result.lastDrivers)) {
    const known = state.drivers.get(driver.key);
    for (const option of (known && known.entry === driver && known.options) || []) {
      const refused = refusedFile(option);
      if (refused) {
        out.push({ kind: 'refusedOption', file: foldName(refused.name),
                   text: text('refusedOption', label(driver), option.description, text(`refused_${refused.why}`, refused.name)) });
      }
    }
  }
  // What the engine's survey read of each driver file the runs take.
  const identity = identityOf(result.survey && result.survey.json);
  for (const f of files.filter((file) => file.source)) {
    const { built } = f.row;
    if (built.problem === 'notDriver') out.push({ kind: 'notDriver', file: foldName(f.file), text: text('notDriverWarning', f.path) });
    else if (!built.fits) {
      out.push({ kind: 'wrongMachine', file: foldName(f.file),
                 text: text('wrongMachine', f.path, machineName(built.machine), machineName(identity.machine), built.how === 'guessed') });
    }
  }
  return out;
}

// Rows of the change view shown per section before "show all".
const ROWS_SHOWN = 100;

// What changed in txtsetup.sif, section by section: worked out once per
// result, as its rows do not change.
function changesModel(result) {
  if (result.changes === null) {
    return { busy: !result.changesFailed, summary: result.changesFailed ? text('changesFailed', result.changesFailed) : text('comparing'), sections: [] };
  }
  if (!result.changeSections || result.changeSections.rows !== result.changes) {
    const rows = result.changes;
    const count = (kind) => rows.filter((r) => r.kind === kind).length;
    const bySection = new Map();
    for (const row of rows) {
      if (!bySection.has(row.sectionMatch)) bySection.set(row.sectionMatch, { match: row.sectionMatch, name: row.section, rows: [] });
      bySection.get(row.sectionMatch).rows.push(row);
    }
    result.changeSections = {
      rows,
      summary: rows.length ? text('summary', number(count('inserted')), number(count('replaced')), number(count('removed'))) : text('noChanges'),
      sections: [...bySection.values()],
    };
  }
  const { summary, sections } = result.changeSections;
  return {
    busy: false, summary,
    sections: sections.map(({ match, name, rows }) => {
      const shown = result.rowsShown.get(match) || ROWS_SHOWN;
      return { match, name, rows: rows.slice(0, shown), more: Math.max(0, rows.length - shown), all: rows.length };
    }),
  };
}
